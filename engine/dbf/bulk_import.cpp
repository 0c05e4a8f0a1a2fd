// The delimited import: one record per line of a comma-separated text file, values stored by
// field type through the one text-to-field conversion (engine/dbf/value_text.h), progress through
// ProgressHooks. The file and the progress window are released whatever happens, also when an
// engine error raises.
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "engine/dbf/bulk.h"
#include "engine/dbf/bulk_reader.h"
#include "engine/dbf/digit_words.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/value_text.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/startup.h"

namespace morvane {

namespace os = platform::os;

namespace {

// Closes the file when it leaves scope.
class OpenFile {
 public:
  explicit OpenFile(os::Handle h) : h_(h) {}
  ~OpenFile() {
    if (h_ != os::kInvalidHandle) os::FileClose(h_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  os::Handle get() const { return h_; }

 private:
  os::Handle h_;
};

// The progress window of one import: it steps once for every further hundredth of the file the
// reader has consumed (several steps at once for lines longer than a hundredth, so that small
// files fill the bar as well).
class ImportProgress {
 public:
  ImportProgress(bool show, int64_t fileSize)
      : show_(show && ProgressHooks.Open != nullptr && fileSize > 0), size_(fileSize) {
    if (show_) ProgressHooks.Open("Appending...");
  }
  ~ImportProgress() {
    if (show_ && ProgressHooks.Close != nullptr) ProgressHooks.Close();
  }
  ImportProgress(const ImportProgress&) = delete;
  ImportProgress& operator=(const ImportProgress&) = delete;

  // Whether Consumed(Bytes) would step the window.
  bool Due(uint64_t bytes) const {
    return show_ && static_cast<int64_t>(std::min<uint64_t>(bytes, size_) * 100 / size_) > steps_;
  }

  void Consumed(uint64_t bytes) {
    if (!show_) return;
    const int64_t due = static_cast<int64_t>(std::min<uint64_t>(bytes, size_) * 100 / size_);
    while (steps_ < due) {
      ++steps_;
      if (ProgressHooks.Step != nullptr) ProgressHooks.Step();
    }
  }

 private:
  bool show_;
  uint64_t size_;
  int64_t steps_ = 0;
};

// The records of an import waiting to be appended in one write. It is used only where Append
// would do nothing but write the record: the table exclusive or append-locked, no index order to
// keep, no flush after every write. Flush appends what is held and counts it; when the one write
// fails (nothing of it stays on disk), the records go through PutDbfRecord one at a time, so
// that each failing record is reported and counted exactly as Append would.
class AppendBatch {
 public:
  explicit AppendBatch(WorkArea& area)
      : area_(area), length_(area.Table.RecordLength),
        capacity_(std::max<size_t>(1, kBatchBytes / std::max<size_t>(length_, 1))) {}
  AppendBatch(const AppendBatch&) = delete;
  AppendBatch& operator=(const AppendBatch&) = delete;

  // True when the work area's state lets the import append through the batch.
  static bool Applies(const WorkArea& a) {
    return (a.Exclusive || a.LockState == lsAppendLock) && !OrderActive() &&
           !DbfSettings.FlushAfterWrite && a.Table.RecordLength > 0;
  }

  // Room for one more record at the end of the batch (RecordLength bytes, to be filled whole by
  // the caller before the next call), then Added.
  char* NewRecord() {
    if (records_.empty()) records_.resize(capacity_ * length_);
    return records_.data() + held_++ * length_;
  }
  // Appends the batch when it is full.
  void Added(DelimitedImportResult& result) {
    if (held_ >= capacity_) Flush(result);
  }

  // Appends the held records. Afterwards the last appended record is current, in the record
  // buffer and the typed record as Append leaves them (the buffer after the write's round trip
  // through the disk form).
  void Flush(DelimitedImportResult& result) {
    if (held_ == 0) return;
    // Taken out first: should a report below raise, no record is ever written twice.
    const int32_t count = static_cast<int32_t>(held_);
    held_ = 0;
    const char* held = records_.data();
    DbfControlBlock& t = area_.Table;
    RefreshRecCount();
    Errors.DbfError = 0;
    bool appended = false;
    if (AppendDbfRecords(t, held, count)) {
      result.Appended += count;
      std::copy_n(held + static_cast<size_t>(count - 1) * length_, length_, t.Record());
      TranslateRecord(TranslateDirection::ToDisk, t.OemTranslation, t.WriteHook, length_, length_,
                      t.Record());
      TranslateRecord(TranslateDirection::FromDisk, t.OemTranslation, t.ReadHook, length_,
                      length_, t.Record());
      appended = true;
    } else {
      for (int32_t i = 0; i < count; ++i) {
        std::copy_n(held + static_cast<size_t>(i) * length_, length_, t.Record());
        RefreshRecCount();
        Errors.DbfError = 0;
        PutDbfRecord(t, t.RecordCount + 1);
        if (Errors.DbfError == 0) {
          ++result.Appended;
          appended = true;
        } else {
          ++result.FailedLines;  // reported by PutDbfRecord; only here when ErrorCheck is off
        }
      }
    }
    if (appended) {
      const uint16_t failure = Errors.DbfError;
      RecordToTyped(t, area_.Typed);
      Errors.DbfError = failure;
      t.AtEof = t.AtBof = false;
    }
  }

 private:
  static constexpr size_t kBatchBytes = 256 * 1024;
  WorkArea& area_;
  size_t length_;
  size_t capacity_;          // records a batch holds
  std::vector<char> records_;  // capacity_ records' room, made on the first record
  size_t held_ = 0;          // records in the batch
};

// Calls Store(field, value) for the fields of Fields in order with the values of Line, one value
// a field (memo fields take none); fields past the line's last value are left alone. Value is
// the scratch room for one value (kMaxValueLength bytes). Before a value is read, StoreFast(field,
// line, pos) may store it and move Pos past it itself; it returns false to leave it to Store.
template <typename StoreFastValue, typename StoreValue>
void ForEachValue(const std::vector<FieldDescriptor>& fields, std::string_view line, char* value,
                  StoreFastValue storeFast, StoreValue store) {
  size_t pos = 0;
  for (const FieldDescriptor& f : fields) {
    if (pos >= line.size()) break;  // the fields left over stay blank
    if (f.Type == 'M') continue;    // a memo field takes no value
    if (storeFast(f, line, pos)) continue;
    const std::string_view text = NextDelimitedValueView(line, pos, value, kMaxValueLength);
    if (TakesValueText(f)) store(f, text);
  }
}

// The import's fast path for the bulk of a census line: when the value at Pos of Line is a plain
// whole number for a numeric field without decimals (1 to 7 digits, no leading zero, followed by
// a comma) and the field's bytes in Record are still those of the blank record, writes exactly
// the bytes NextDelimitedValue and StoreValueTextInBlankRecord would give for it (the digits
// right-aligned over the blank field), moves Pos past the comma and returns true. Any other
// value, or fewer than 8 bytes of the line from Pos: false, nothing written, Pos unchanged. Reads
// the 8 bytes from Pos as one word and never reads or writes outside Line or the record.
bool StorePlainWholeNumber(const FieldDescriptor& f, std::string_view line, size_t& pos,
                           char* record) {
  if constexpr (std::endian::native != std::endian::little) {
    return false;
  } else {
    if ((f.Type != 'N' && f.Type != 'F') || f.Decimals != 0 || line.size() - pos < 8) return false;
    uint64_t v;
    std::memcpy(&v, line.data() + pos, sizeof v);
    const uint64_t other = NonDigitBytes(v);
    if (other == 0) return false;  // 8 digits or more
    const size_t n = static_cast<size_t>(std::countr_zero(other)) / 8;  // the digits
    if (n == 0 || line[pos + n] != kFieldDelimiter || n > f.Width || (n > 1 && line[pos] == '0'))
      return false;
    const size_t end = size_t{f.Offset} + f.Width;  // the field's end in the record
    if (end >= 8) {
      // One word ending at the field's end: its first 8 - n bytes kept, then the digits.
      uint64_t w;
      std::memcpy(&w, record + end - 8, sizeof w);
      const unsigned kept = 8 * static_cast<unsigned>(8 - n);
      w = (w & ((uint64_t{1} << kept) - 1)) | (v << kept);
      std::memcpy(record + end - 8, &w, sizeof w);
    } else {
      std::memcpy(record + end - n, line.data() + pos, n);
    }
    pos += n + 1;
    return true;
  }
}

void ResetLayer() { ProgressHooks = ProgressHookTable{}; }

EngineLayerRegistrar registrar({"bulk-import", kLayerOrderMemo + 10, &ResetLayer, nullptr, nullptr});

}  // namespace

DelimitedImportResult AppendFromDelimited(const std::string& name, bool showProgress) {
  DelimitedImportResult result;
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("AppendFromDelimited");
  if (a == nullptr) return result;
  const std::string fileName = DefaultExtension(name, "TXT");
  OpenFile file(os::FileOpen(fileName, Settings.FileMode));
  if (file.get() == os::kInvalidHandle) return result;
  result.Opened = true;

  ImportProgress progress(showProgress, os::FileSize(file.get()));
  DelimitedReader reader(file.get(), kImportBufferSize);
  const std::vector<FieldDescriptor>& fields = a->Table.Fields;
  // Every line starts from the blank record (ClearRecord), whose typed image is taken once, and
  // (for batched appends) the record bytes Append would write for it.
  BlankRecord(*a);
  const std::vector<uint8_t> blank(a->Typed, a->Typed + a->TypedSize);
  TypedToRecord(a->Table, a->Typed);
  const std::vector<char> blankRecord(a->Table.RecordBuffer);
  std::vector<uint8_t> scratch(blank);
  char value[kMaxValueLength];
  // Where Append would only write, records are gathered and appended many at a time, each
  // encoded straight from the line's values into the bytes Append would write.
  const bool batched = AppendBatch::Applies(*a);
  AppendBatch batch(*a);
  std::string_view line;
  try {
    while (reader.NextLine(line)) {
      if (batched) {
        char* record = batch.NewRecord();
        std::copy(blankRecord.begin(), blankRecord.end(), record);
        ForEachValue(
            fields, line, value,
            [&](const FieldDescriptor& f, std::string_view l, size_t& pos) {
              return StorePlainWholeNumber(f, l, pos, record);
            },
            [&](const FieldDescriptor& f, std::string_view v) {
              StoreValueTextInBlankRecord(f, record, v, scratch.data());
            });
        batch.Added(result);
        // The window's procedures may raise: what was read before them is appended first.
        if (progress.Due(reader.Consumed())) batch.Flush(result);
      } else {
        std::copy(blank.begin(), blank.end(), a->Typed);
        ForEachValue(
            fields, line, value,
            [](const FieldDescriptor&, std::string_view, size_t&) { return false; },
            [&](const FieldDescriptor& f, std::string_view v) { StoreValueText(f, a->Typed, v); });
        Append();
        if (Errors.DbfError == 0) {
          ++result.Appended;
        } else {
          ++result.FailedLines;  // reported by Append; only here when ErrorCheck is off
        }
      }
      progress.Consumed(reader.Consumed());
    }
  } catch (...) {
    batch.Flush(result);  // the lines read before the report are appended, as one by one
    throw;
  }
  batch.Flush(result);
  return result;
}

}  // namespace morvane
