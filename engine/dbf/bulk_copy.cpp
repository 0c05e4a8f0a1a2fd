// CopyTo: the records of the current table into a new table of the same fields, written through
// the engine's reserved area 35, with each memo copied into the new memo file.
#include <cstring>
#include <vector>

#include "engine/dbf/bulk.h"
#include "engine/dbf/dbf_file.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/texts.h"

namespace morvane {

namespace {

// Area 35 while the copy runs: Close closes it (its header written, a failure reported) and
// makes the source area current again; when an engine error raises out of the copy, the
// destructor does the same and lets the first error be the one the caller sees.
class CopyTargetArea {
 public:
  explicit CopyTargetArea(uint8_t source) : source_(source) {}
  ~CopyTargetArea() {
    try {
      Close();
    } catch (...) {
    }
  }
  void Close() {
    if (closed_) return;
    closed_ = true;
    WorkAreas.Current = kCopyTargetArea;
    struct Restore {
      uint8_t area;
      ~Restore() { WorkAreas.Current = area; }
    } restore{source_};
    CloseArea();
  }
  CopyTargetArea(const CopyTargetArea&) = delete;
  CopyTargetArea& operator=(const CopyTargetArea&) = delete;

 private:
  uint8_t source_;
  bool closed_ = false;
};

}  // namespace

void CopyTo(const std::string& name, const std::function<bool()>& condition,
            const std::function<bool()>& filter) {
  Errors.DbfError = 0;
  WorkArea* source = CheckInUse("CopyTo");
  if (source == nullptr) return;
  const uint8_t sourceArea = WorkAreas.Current;
  const std::string target = DefaultExtension(ExpandPath(Trim(name)), "DBF");
  const std::string resolved = platform::os::ResolveCase(target);
  for (int i = 1; i <= kCallerWorkAreas; ++i) {
    const WorkArea* other = GetWorkArea(i);
    if (other != nullptr && platform::os::ResolveCase(other->Table.FileName) == resolved) {
      ReportError(214, "File: " + target + " is already in use. [CopyTo]");
      return;
    }
  }

  {
    DbfControlBlock scratch;
    CreateDbf(scratch, target, source->Table.Fields);
    if (Errors.DbfError != 0) return;
  }
  CopyTargetArea guard(sourceArea);
  WorkAreas.Current = kCopyTargetArea;
  Use(target + " ALIAS ?COPYTO? EXCLUSIVE", nullptr, 0);
  WorkArea* copy = CurrentWorkArea();
  WorkAreas.Current = sourceArea;
  if (Errors.DbfError != 0 || copy == nullptr) return;
  if (copy->TypedSize != source->TypedSize) {
    ReportError(266, "Database record/buffer size mismatch: " + target + " [CopyTo]");
    return;
  }

  // The memo fields' slots, whose block numbers are replaced by those of the copies.
  std::vector<uint32_t> memoSlots;
  for (const FieldDescriptor& f : source->Table.Fields)
    if (f.Type == 'M') memoSlots.push_back(f.TypedOffset);
  const bool copyMemos = !memoSlots.empty() && source->Memo != nullptr && copy->Memo != nullptr &&
                         MemoHooks.CopyMemo != nullptr;

  if (!condition) GoTop();
  while (Errors.DbfError == 0 && !dEOF()) {
    if (condition && !condition()) break;
    if (filter && !filter()) {
      Skip(1);
      continue;
    }
    std::memcpy(copy->Typed, source->Typed, source->TypedSize);
    WorkAreas.Current = kCopyTargetArea;
    for (uint32_t slot : memoSlots) {
      int32_t block = 0;
      std::memcpy(&block, source->Typed + slot, sizeof block);
      const int32_t copied = copyMemos && block != 0 ? MemoHooks.CopyMemo(sourceArea, block) : 0;
      std::memcpy(copy->Typed + slot, &copied, sizeof copied);
    }
    if (Errors.DbfError == 0) {
      TypedToRecord(copy->Table, copy->Typed);
      PutDbfRecord(copy->Table, copy->Table.RecordCount + 1);
    }
    WorkAreas.Current = sourceArea;
    if (Errors.DbfError != 0) break;
    Skip(1);
  }
  const uint16_t error = Errors.DbfError;
  guard.Close();
  if (Errors.DbfError == 0) Errors.DbfError = error;
}

}  // namespace morvane
