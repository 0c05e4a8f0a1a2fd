// Record search: Locate and Continue scan the table in physical order reading one field per
// record straight from the file (Peek); LocateValues searches several fields in turn for values
// given in their display form. Field texts of an OEM-translated table are compared in ANSI, as
// the search value is given.
#include <algorithm>

#include "engine/dbf/bulk.h"
#include "engine/dbf/memo.h"
#include "engine/dbf/workarea.h"
#include "engine/util/dates.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "engine/util/texts.h"
#include "platform/codepage/codepage.h"

namespace morvane {

namespace os = platform::os;

namespace {

void ResetLayer() { SearchState = SearchStateData{}; }

EngineLayerRegistrar registrar({"bulk-search", kLayerOrderMemo + 11, &ResetLayer, nullptr, nullptr});

constexpr const char* kLocateTag = "Locate/Count/Sum";

// Reads Width bytes of the record at file position Offset into Out; false when short.
bool ReadField(const DbfControlBlock& t, uint64_t offset, size_t width, std::string& out) {
  out.resize(width);
  return os::FileReadAt(t.File, offset, out.data(), width) == static_cast<int64_t>(width);
}

// Does a memo's text hold the value in one of its paragraphs?
bool MemoMatches(const std::string& raw, const std::string& value, bool noCase) {
  const std::string digits = Trim(raw);
  const int32_t block = TextToInt32(digits);
  if (block == 0) return false;
  MemoTextFile text;
  text.AssignMemo(block);
  if (!text.Reset()) return false;
  for (std::string line; text.ReadLn(line);) {
    if (noCase) line = UpperText(line);
    if (line.find(value) != std::string::npos) return true;
  }
  return false;
}

// The scan of Locate and Continue from record From with the search state.
void Scan(int32_t from) {
  WorkArea* a = CurrentWorkArea();
  DbfControlBlock& t = a->Table;
  const int n = SearchState.LastField;
  const FieldDescriptor& f = t.Fields[static_cast<size_t>(n - 1)];
  const std::string& value = SearchState.Value;
  const bool noCase = !SearchState.CaseSensitive;
  const int32_t count = RecCount();
  std::string field;
  for (int32_t r = std::max(from, 1); r <= count; ++r) {
    const uint64_t at = t.HeaderLength + uint64_t(r - 1) * t.RecordLength + f.Offset;
    if (!ReadField(t, at, f.Width, field)) break;
    bool match = false;
    if (f.Type == 'M') {
      match = MemoMatches(field, value, noCase);
      if (Errors.DbfError != 0) return;
    } else {
      if (t.OemTranslation) platform::codepage::OemToAnsiBuffer(field.data(), field.size());
      if (!SearchState.Exact && !SearchState.Contained && field.size() > value.size())
        field.resize(value.size());
      if (noCase) field = UpperText(field);
      match = SearchState.Contained ? field.find(value) != std::string::npos : field == value;
    }
    if (match) {
      Go(r);
      return;
    }
  }
  GoBottom();
  if (RecCount() > 0 && !dEOF()) Skip(1);
  SearchState.LastField = 0;
}

// The value of LocateValues in the stored form of field N.
std::string StoredForm(const FieldDescriptor& f, const std::string& value) {
  switch (f.Type) {
    case 'D':
      return DateToYYYYMMDD(value);
    case 'N':
    case 'F': {
      std::string text = NumberToText(f.Width, f.Decimals, TextToReal(value));
      // The table's decimal point is always ".", whatever the engine's separator.
      if (f.Decimals > 0) std::replace(text.begin(), text.end(), Settings.DecimalSeparator, '.');
      return text;
    }
    case 'L': {
      const char c = value.empty() ? ' ' : value[0];
      return (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? "T" : "F";
    }
    default:
      return value;
  }
}

}  // namespace

void Locate(const std::string& fieldText) {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse(kLocateTag);
  if (a == nullptr) return;
  std::string text = UpperText(Trim(fieldText));
  const bool noCase = RemoveKeyword(" NOCASE", text);
  const bool exact = RemoveKeyword(" EXACT", text);
  const bool contained = RemoveKeyword(" CONTAINED", text);
  if (text.empty()) {
    ReportError(220, "No field name specified [Locate/Count/Sum]");
    return;
  }
  const int n = FieldNo(text);
  if (n == 0) {
    ReportError(220, "Unrecognized field name [Locate/Count/Sum(" + text + ")]");
    return;
  }
  SearchState.CaseSensitive = !noCase;
  SearchState.Exact = exact;
  SearchState.Contained = contained;
  SearchState.LastField = n;
  if (!exact) SearchState.Value = TrimRight(SearchState.Value);
  if (noCase) SearchState.Value = UpperText(SearchState.Value);
  Scan(1);
}

void Continue() {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse(kLocateTag);
  if (a == nullptr) return;
  if (SearchState.LastField == 0 || SearchState.LastField > a->Table.FieldCount) {
    ReportError(220, "Call to CONTINUE not preceeded by call to LOCATE. [Continue]");
    return;
  }
  Scan(RecNo() + 1);
}

bool LocateValues(const std::string& fields, const std::vector<std::string>& values, bool noCase,
                  bool move, bool exact) {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse(kLocateTag);
  if (a == nullptr) return false;
  const int32_t saved = RecNo();
  bool found = false;
  size_t index = 0;
  for (size_t start = 0; start <= fields.size() && !found; ++index) {
    size_t stop = fields.find(';', start);
    if (stop == std::string::npos) stop = fields.size();
    const std::string item = Trim(fields.substr(start, stop - start));
    start = stop + 1;
    const std::string name = item.substr(0, item.find(' '));
    const int n = FieldNo(name);
    const std::string& value =
        values.empty() ? std::string() : values[std::min(index, values.size() - 1)];
    if (n > 0) SearchState.Value = StoredForm(a->Table.Fields[static_cast<size_t>(n - 1)], value);
    Locate(name + (noCase ? " NOCASE" : "") + (exact ? " EXACT" : ""));
    if (Errors.DbfError != 0) break;
    while (!dEOF() && !RecordVisible() && Errors.DbfError == 0) Continue();
    found = Errors.DbfError == 0 && !dEOF();
  }
  if (!(move && found)) GoIfValid(saved);
  return found;
}

std::string Peek(int field, int32_t recno) {
  WorkArea* a = CheckInUse("Peek");
  if (a == nullptr) return {};
  const DbfControlBlock& t = a->Table;
  if (recno < 1 || recno > RecCount() || field < 0 || field > t.FieldCount) return {};
  const uint64_t offset = field == 0 ? 0 : t.Fields[static_cast<size_t>(field - 1)].Offset;
  const size_t width = field == 0 ? 1 : t.Fields[static_cast<size_t>(field - 1)].Width;
  std::string out;
  if (!ReadField(t, t.HeaderLength + uint64_t(recno - 1) * t.RecordLength + offset, width, out))
    return {};
  return out;
}

}  // namespace morvane
