// Fuzz entry: an expression text (and optionally a raw record image), compiled and evaluated
// against a small table.
//
// The expression table FZ (area 1) has the fields NAME C12, GEOCODE C11, SUMLEV C3, RACE C1,
// POP N9, RATE N7.2, RATIO F10.4, BORN D8, OK L1 (record length 63) and four records, one of
// them deleted; the aliased table AUX (area 2) has CODE C5 and QTY N5.1 and two records. Input:
// the text up to the first NUL byte; the bytes after it, when present, replace the first record
// of FZ in memory (cut or blank-padded to the record length) as if the file had held them.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/dbf/workarea.h"
#include "engine/expr/xqparser.h"
#include "tests/fuzz/targets/fixture_tables.h"
#include "tests/fuzz/targets/fuzz_env.h"
#include "tests/fuzz/targets/fuzz_targets.h"

namespace fuzz {

namespace {

using namespace morvane;

volatile uint8_t gSink;

void WriteTable(const std::string& path, const std::vector<FieldDescriptor>& fields,
                const std::vector<std::string>& records) {
  DbfControlBlock b;
  DbfSettings.DefaultVersion = 0x03;
  CreateDbf(b, path, fields);
  b = DbfControlBlock{};
  b.FileName = path;
  OpenDbf(b);
  for (const std::string& r : records) {
    std::fill(b.RecordBuffer.begin(), b.RecordBuffer.end(), ' ');
    std::copy_n(r.begin(), std::min(r.size(), b.RecordBuffer.size()), b.RecordBuffer.begin());
    PutDbfRecord(b, b.RecordCount + 1);
  }
  CloseDbf(b);
}

// A record image: the deletion flag, then each value in its field's width (C, D, L left-aligned,
// numbers right-aligned; a value longer than the width is cut).
std::string Record(const std::vector<FieldDescriptor>& fields, bool deleted,
                   const std::vector<std::string>& values) {
  std::string r(deleted ? "*" : " ");
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string v = i < values.size() ? values[i].substr(0, fields[i].Width) : "";
    const std::string pad(fields[i].Width - v.size(), ' ');
    r += (fields[i].Type == 'N' || fields[i].Type == 'F') ? pad + v : v + pad;
  }
  return r;
}

// Writes the two tables once per process (the engine must be running).
void EnsureTables() {
  static bool written = false;
  if (written) return;
  written = true;
  const std::vector<FieldDescriptor> fz = {
      Fd("NAME", 'C', 12),   Fd("GEOCODE", 'C', 11),   Fd("SUMLEV", 'C', 3),
      Fd("RACE", 'C', 1),    Fd("POP", 'N', 9),        Fd("RATE", 'N', 7, 2),
      Fd("RATIO", 'F', 10, 4), Fd("BORN", 'D', 8),     Fd("OK", 'L', 1)};
  WriteTable(ScratchFile("fz.dbf"), fz,
             {Record(fz, false, {"Abbeville", "45001......", "050", "A", "2533", "12.50",
                                 "0.5000", "19991231", "T"}),
              Record(fz, false, {"Zo\xEB \xE9t\xE9", "45.........", "040", " ", "999999999",
                                 "-99.99", "-1234.5678", "00000000", "y"}),
              Record(fz, true, {"", "...........", "", "H", "0", "0.00", "0.0000", "", "F"}),
              Record(fz, false, {"x\x01\x7F\xFF", "00000000000", "999", "Z", "12e3", "1.5.5",
                                 "**********", "20100229", "?"})});
  const std::vector<FieldDescriptor> aux = {Fd("CODE", 'C', 5), Fd("QTY", 'N', 5, 1)};
  WriteTable(ScratchFile("aux.dbf"), aux,
             {Record(aux, false, {"45001", "12.5"}), Record(aux, false, {"", "-0.0"})});
  DbfSettings.DefaultVersion = DbfSettingsState{}.DefaultVersion;
}

// Reads the value of the last evaluation as its type says.
void TouchResult(const CompiledExpr* e, const void* result) {
  if (result == nullptr) return;
  switch (e->ResultType) {
    case 'C':
    case 'M':
      // The text and its terminating NUL.
      gSink = Touch(result, e->ResultTextLength + 1);
      break;
    case 'L':
      gSink = Touch(result, sizeof(int32_t));
      break;
    default:
      gSink = Touch(result, sizeof(double));
      break;
  }
}

// Evaluates E on the current record, then on every following record and at the end position.
void EvaluateEverywhere(CompiledExpr* e) {
  Guarded([&] { TouchResult(e, EvaluateExpr(e)); });
  for (int i = 0; i < 6; ++i) {
    Guarded([&] { Skip(1); });
    Guarded([&] { TouchResult(e, EvaluateExpr(e)); });
    bool end = true;
    Guarded([&] { end = dEOF(); });
    if (end) break;
  }
  Guarded([&] { TouchResult(e, EvaluateExpr(e)); });
}

void Run(std::string_view text, std::string_view record, ErrorMode mode) {
  StartEngine(mode);
  Guarded([] {
    SetErrorCheck(false);
    EnsureTables();
    Select(2);
    Use(ScratchFile("aux.dbf") + " ALIAS AUX", nullptr, 0);
    Select(1);
    Use(ScratchFile("fz.dbf") + " ALIAS FZ", nullptr, 0);
    GoTop();
  });
  SetErrorCheck(mode == ErrorMode::kRaised);
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr) std::abort();  // the fixture tables must open
  if (!record.empty()) {
    // A record the file might have held.
    std::vector<char>& buffer = a->Table.RecordBuffer;
    std::fill(buffer.begin(), buffer.end(), ' ');
    std::copy_n(record.begin(), std::min(record.size(), buffer.size()), buffer.begin());
    RecordToTyped(a->Table, a->Typed);
  }

  CompiledExpr* e = nullptr;
  Guarded([&] { e = AssignExpr(text); });
  if (e != nullptr) {
    EvaluateEverywhere(e);
    // The key slot of the index manager evaluates the same way.
    CurrentKeyExpr = e;
    Guarded([&] { TouchResult(e, EvaluateCurrentExpr()); });
    FreeExpr(e);
    if (CurrentKeyExpr != nullptr) std::abort();  // freeing the key expression empties the slot
  }
  Guarded([&] { gSink = static_cast<uint8_t>(CheckCondition(text)); });
  StopEngine();
}

}  // namespace

int FuzzExpression(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string_view text = input.substr(0, nul);
  const std::string_view record = nul == std::string_view::npos ? std::string_view()
                                                                 : input.substr(nul + 1);
  Run(text, record, ErrorMode::kRaised);
  Run(text, record, ErrorMode::kRecorded);
  return 0;
}

}  // namespace fuzz
