// The delimited import: one record per line of a comma-separated text file, values stored by
// field type through the one text-to-field conversion (engine/dbf/value_text.h), progress through
// ProgressHooks. The file and the progress window are released whatever happens, also when an
// engine error raises.
#include <algorithm>
#include <vector>

#include "engine/dbf/bulk.h"
#include "engine/dbf/bulk_reader.h"
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
        capacity_(std::max<size_t>(1, kBatchBytes / std::max<size_t>(length_, 1))) {
    records_.reserve(capacity_ * length_);
  }
  AppendBatch(const AppendBatch&) = delete;
  AppendBatch& operator=(const AppendBatch&) = delete;

  // True when the work area's state lets the import append through the batch.
  static bool Applies(const WorkArea& a) {
    return (a.Exclusive || a.LockState == lsAppendLock) && !OrderActive() &&
           !DbfSettings.FlushAfterWrite && a.Table.RecordLength > 0;
  }

  // Adds the record buffer's bytes; appends the batch when it is full.
  void Add(DelimitedImportResult& result) {
    const char* record = area_.Table.Record();
    records_.insert(records_.end(), record, record + length_);
    if (records_.size() >= capacity_ * length_) Flush(result);
  }

  // Appends the held records. Afterwards the last appended record is current, in the record
  // buffer and the typed record as Append leaves them (the buffer after the write's round trip
  // through the disk form).
  void Flush(DelimitedImportResult& result) {
    if (records_.empty()) return;
    // Taken out first: should a report below raise, no record is ever written twice.
    std::vector<char> held;
    held.swap(records_);
    DbfControlBlock& t = area_.Table;
    const int32_t count = static_cast<int32_t>(held.size() / length_);
    RefreshRecCount();
    Errors.DbfError = 0;
    bool appended = false;
    if (AppendDbfRecords(t, held.data(), count)) {
      result.Appended += count;
      std::copy(held.end() - static_cast<std::ptrdiff_t>(length_), held.end(), t.Record());
      TranslateRecord(TranslateDirection::ToDisk, t.OemTranslation, t.WriteHook, length_, length_,
                      t.Record());
      TranslateRecord(TranslateDirection::FromDisk, t.OemTranslation, t.ReadHook, length_,
                      length_, t.Record());
      appended = true;
    } else {
      for (int32_t i = 0; i < count; ++i) {
        std::copy_n(held.data() + static_cast<size_t>(i) * length_, length_, t.Record());
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
    held.clear();
    records_.swap(held);  // keeps the reserved room
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
  size_t capacity_;
  std::vector<char> records_;
};

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
  // Every line starts from the blank record (ClearRecord), whose typed image is taken once.
  BlankRecord(*a);
  const std::vector<uint8_t> blank(a->Typed, a->Typed + a->TypedSize);
  char value[kMaxValueLength];
  // Where Append would only write, records are gathered and appended many at a time.
  const bool batched = AppendBatch::Applies(*a);
  AppendBatch batch(*a);
  std::string_view line;
  try {
    while (reader.NextLine(line)) {
      std::copy(blank.begin(), blank.end(), a->Typed);
      size_t pos = 0;
      for (const FieldDescriptor& f : fields) {
        if (pos >= line.size()) break;  // the fields left over stay blank
        if (f.Type == 'M') continue;    // a memo field takes no value
        const size_t length = NextDelimitedValue(line, pos, value, sizeof value);
        if (TakesValueText(f)) StoreValueText(f, a->Typed, std::string_view(value, length));
      }
      if (batched) {
        TypedToRecord(a->Table, a->Typed);
        batch.Add(result);
        // The window's procedures may raise: what was read before them is appended first.
        if (progress.Due(reader.Consumed())) batch.Flush(result);
      } else {
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
