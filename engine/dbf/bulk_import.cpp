// The delimited import: one record per line of a comma-separated text file, values stored by
// field type through the one text-to-field conversion (engine/dbf/value_text.h), progress through
// ProgressHooks. The file and the progress window are released whatever happens, also when an
// engine error raises.
#include <algorithm>

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
  std::string_view line;
  while (reader.NextLine(line)) {
    std::copy(blank.begin(), blank.end(), a->Typed);
    size_t pos = 0;
    for (const FieldDescriptor& f : fields) {
      if (pos >= line.size()) break;  // the fields left over stay blank
      if (f.Type == 'M') continue;    // a memo field takes no value
      const size_t length = NextDelimitedValue(line, pos, value, sizeof value);
      if (TakesValueText(f)) StoreValueText(f, a->Typed, std::string_view(value, length));
    }
    Append();
    if (Errors.DbfError == 0) {
      ++result.Appended;
    } else {
      ++result.FailedLines;  // reported by Append; only here when ErrorCheck is off
    }
    progress.Consumed(reader.Consumed());
  }
  return result;
}

}  // namespace morvane
