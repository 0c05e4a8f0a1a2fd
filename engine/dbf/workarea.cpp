// The work-area table: selecting areas, opening tables with Use, closing them, reopening a table
// in the other sharing mode, the header's production-index flag, and the layer's part in the
// engine's start-up and shut-down.
#include "engine/dbf/workarea.h"

#include <algorithm>
#include <exception>

#include "engine/dbf/locks.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/startup.h"
#include "engine/util/texts.h"

namespace morvane {

namespace os = platform::os;

namespace {

// Restores Settings.FileMode when it leaves scope (also when an error report raises).
class FileModeScope {
 public:
  explicit FileModeScope(unsigned mode) : saved_(Settings.FileMode) { Settings.FileMode = mode; }
  ~FileModeScope() { Settings.FileMode = saved_; }
  FileModeScope(const FileModeScope&) = delete;
  FileModeScope& operator=(const FileModeScope&) = delete;

 private:
  unsigned saved_;
};

bool IsWordChar(char c) {
  return (c >= '0' && c <= '9') || c == '\\' || c == '_' || IsAlphaFirst(std::string_view(&c, 1));
}

// Removes every whole-word occurrence of Option (upper case, with its leading blank) from Text,
// finding it without regard to case but keeping the case of everything else (file names are
// case-sensitive here). True when one was found.
bool TakeOption(std::string& text, std::string_view option) {
  bool found = false;
  std::string upper = UpperText(text);
  size_t at = 0;
  while ((at = upper.find(option, at)) != std::string::npos) {
    size_t end = at + option.size();
    if (end < upper.size() && IsWordChar(upper[end])) {
      at = end;
      continue;
    }
    text.erase(at, option.size());
    upper.erase(at, option.size());
    found = true;
  }
  return found;
}

void FreeLockList(WorkArea& a) {
  while (a.RecordLocks != nullptr) {
    RecordLockNode* next = a.RecordLocks->Next;
    delete a.RecordLocks;
    a.RecordLocks = next;
  }
  a.RecordLockCount = 0;
  a.LockState = lsNone;
}

void ResetLayer() {
  // Nothing is open when start-up resets the layer; a handle still held is closed all the same.
  for (auto& slot : WorkAreas.Slots) {
    if (slot && slot->Table.File != os::kInvalidHandle) os::FileClose(slot->Table.File);
    if (slot) FreeLockList(*slot);
  }
  WorkAreas = WorkAreaState{};
  DbfSettings = DbfSettingsState{};
  IndexHooks = IndexHookTable{};
  MemoHooks = MemoHookTable{};
}

EngineLayerRegistrar registrar({"dbf", kLayerOrderDbf, &ResetLayer, nullptr,
                                &CloseAllAreasAtShutdown});

}  // namespace

WorkArea* GetWorkArea(int n) {
  if (n < 1 || n > kMaxWorkAreas) return nullptr;
  return WorkAreas.Slots[static_cast<size_t>(n)].get();
}

WorkArea* CurrentWorkArea() { return GetWorkArea(WorkAreas.Current); }

WorkArea* CheckInUse(const char* command) {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr)
    ReportError(215, std::string("No database in use [") + command +
                         "]  WorkArea = " + std::to_string(WorkAreas.Current));
  return a;
}

bool OrderActive() {
  return IndexHooks.IndexActive != nullptr && CurrentWorkArea() != nullptr &&
         IndexHooks.IndexActive();
}

void Select(int n) {
  Errors.DbfError = 0;
  if (n == 0) {
    for (int i = 1; i <= kCallerWorkAreas; ++i) {
      if (!WorkAreas.Slots[static_cast<size_t>(i)]) {
        WorkAreas.Current = static_cast<uint8_t>(i);
        return;
      }
    }
    ReportError(220, "No free workarea available [Select(0)]");
    return;
  }
  if (n >= 1 && n <= kCallerWorkAreas) {
    WorkAreas.Current = static_cast<uint8_t>(n);
    return;
  }
  ReportError(220, "Invalid workarea selected = [Select(" + std::to_string(n) + ")]");
}

int CurrentArea() { return WorkAreas.Current; }

void Use(const std::string& commandText, uint8_t* buffer, size_t size) {
  CloseArea();
  Errors.DbfError = 0;
  std::string command = Trim(commandText);
  if (command.empty()) return;
  const std::string shown = UpperText(command);
  if ((buffer == nullptr) != (size == 0)) {
    ReportError(220, "Buffer is NIL or size is zero, attempting to open " + shown + " [USE]");
    return;
  }
  command += ' ';
  const bool exclusiveRequested = TakeOption(command, " EXCLUSIVE");
  std::string alias;
  {
    std::string upper = UpperText(command);
    size_t at = upper.find(" ALIAS ");
    if (at != std::string::npos) {
      std::string rest = Trim(command.substr(at + 7));
      alias = rest.substr(0, std::min(rest.find(' '), size_t{64}));
      command.erase(at);
    }
  }
  std::string fileName = DefaultExtension(ExpandPath(Trim(command)), "DBF");
  if (alias.empty()) alias = SplitPath(fileName).Name;
  alias = UpperText(alias.substr(0, 64));

  const bool sharedModeIsExclusive =
      (WorkAreas.SharedOpenMode & 0x70) != os::fmShareDenyNone;
  const bool exclusive = exclusiveRequested || sharedModeIsExclusive || !WorkAreas.Sharing;
  unsigned mode = exclusive ? WorkAreas.ExclusiveOpenMode : WorkAreas.SharedOpenMode;
  if (WorkAreas.FileModeOverride >= 0) mode = static_cast<unsigned>(WorkAreas.FileModeOverride);

  auto area = std::make_unique<WorkArea>();
  area->Table.FileName = fileName;
  area->Table.OemTranslation = WorkAreas.TableLanguage != tlAnsi;
  {
    FileModeScope scope(mode);
    OpenDbf(area->Table);
  }
  if (area->Table.State == dsClosed) return;
  area->Alias = alias;
  area->Exclusive = exclusive;
  WorkArea& a = *area;
  WorkAreas.Slots[WorkAreas.Current] = std::move(area);

  const size_t required = TypedRecordSize(a.Table);
  if (buffer == nullptr) {
    a.OwnedTyped.assign(required, 0);
    a.Typed = a.OwnedTyped.data();
    a.OwnsTyped = true;
  } else if (size != required) {
    CloseArea();
    ReportError(266, "Database record/buffer size mismatch: " + shown + " [USE()]\n\rRecord Size=" +
                         std::to_string(required) + ", Buffer Size=" + std::to_string(size));
    return;
  } else {
    a.Typed = buffer;
  }
  a.TypedSize = required;

  for (int i = 1; i <= kCallerWorkAreas; ++i) {
    WorkArea* other = GetWorkArea(i);
    if (i != WorkAreas.Current && other != nullptr && other->Alias == a.Alias) {
      CloseArea();
      ReportError(220, "Alias name \"" + alias + "\" already in use. [USE]");
      return;
    }
  }

  a.Table.ReadHook = WorkAreas.PendingReadHook;
  a.Table.WriteHook = WorkAreas.PendingWriteHook;
  if (a.Table.RecordCount < 1) {
    std::fill(a.Typed, a.Typed + a.TypedSize, 0);
    ClearRecord();
    a.Table.AtEof = a.Table.AtBof = true;
  } else {
    GoTop();
  }
  a.SwapBuffer.assign(a.TypedSize, 0);

  if (a.Table.HasMemo && MemoHooks.OpenMemofile != nullptr) {
    Errors.DbfError = 0;
    const bool check = SetErrorCheck(false);
    MemoHooks.OpenMemofile(a.Table.FileName);
    SetErrorCheck(check);
    uint16_t code = Errors.DbfError;
    if (code != 0) {
      CloseArea();
      ReportError(code, "Problem opening memo file [USE(" + shown + ",<@Buffer>," +
                            std::to_string(size) + ")]");
    }
  }
}

void UseWithHooks(const std::string& command, uint8_t* buffer, size_t size, RecordHook readHook,
                  RecordHook writeHook) {
  struct PendingHooks {
    PendingHooks(RecordHook r, RecordHook w) {
      WorkAreas.PendingReadHook = r;
      WorkAreas.PendingWriteHook = w;
    }
    ~PendingHooks() { WorkAreas.PendingReadHook = WorkAreas.PendingWriteHook = nullptr; }
  } pending(readHook, writeHook);
  Use(command, buffer, size);
}

void CloseArea() {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr) return;
  // The index close raises its failures (a semaphore write, an anchor) after it has released the
  // index; the table is closed all the same and the failure passed on at the end, so that a
  // failed write never leaves the table open (and locked against every other user).
  std::exception_ptr indexFailure;
  if (OrderActive() && IndexHooks.IndexClose != nullptr) {
    try {
      IndexHooks.IndexClose();
    } catch (const EMorvaneError&) {
      indexFailure = std::current_exception();
    }
  }
  const uint16_t indexCode = Errors.DbfError;
  RefreshRecCount();
  {
    // Releasing the locks must not hide the error of the command before the close.
    const uint16_t pending = Errors.DbfError;
    Unlock();
    if (Errors.DbfError == 0) Errors.DbfError = pending;
  }
  a->SwapBuffer.clear();
  if (a->Memo != nullptr && MemoHooks.CloseMemofile != nullptr) MemoHooks.CloseMemofile();
  // From here on the slot is empty whatever a report below does.
  std::unique_ptr<WorkArea> owned = std::move(WorkAreas.Slots[WorkAreas.Current]);
  FreeLockList(*owned);
  // A shared table's header and end mark are written under the append lock, so that they cannot
  // land on records another process is appending; without the lock the end mark is left out.
  if (owned->Table.State == dsModified || owned->Table.State == dsAppended) {
    if (!HoldAppendLockForClose(*owned) && owned->Table.State == dsAppended)
      owned->Table.State = dsModified;
  }
  CloseDbf(owned->Table);  // closing the file also drops every lock the area held
  if (indexFailure) {
    Errors.DbfError = indexCode;
    std::rethrow_exception(indexFailure);
  }
}

void CloseAll() {
  for (int i = 1; i <= kCallerWorkAreas; ++i) {
    WorkAreas.Current = static_cast<uint8_t>(i);
    CloseArea();
  }
  WorkAreas.Current = 1;
}

void CloseAllAreasAtShutdown() {
  // Errors while closing are recorded, not handled: shut-down may run while the process exits.
  const bool check = SetErrorCheck(false);
  try {
    for (int i : {34, 35}) {
      WorkAreas.Current = static_cast<uint8_t>(i);
      CloseArea();
    }
    CloseAll();
  } catch (const EMorvaneError&) {
    // a hook that raises ends the closing quietly
  }
  SetErrorCheck(check);
}

std::string AreaFileName() {
  WorkArea* a = CurrentWorkArea();
  return a ? a->Table.FileName : std::string();
}

std::string Alias() {
  WorkArea* a = CurrentWorkArea();
  return a ? a->Alias : std::string();
}

void RefreshRecCount() {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Exclusive) return;
  int32_t n = RecordCountFromFileSize(a->Table);
  if (n >= 0) a->Table.RecordCount = n;
}

uint32_t ReopenExclusive(bool exclusive) {
  WorkArea* a = CheckInUse("ReopenExclusive");
  if (a == nullptr) return 215;
  if (a->Exclusive && !a->ReopenedExclusive) return os::kErrAccessDenied;
  DbfControlBlock& t = a->Table;
  const unsigned mode = exclusive ? WorkAreas.ExclusiveOpenMode : WorkAreas.SharedOpenMode;
  const unsigned previous = a->Exclusive ? WorkAreas.ExclusiveOpenMode : WorkAreas.SharedOpenMode;
  os::FileClose(t.File);
  os::SetLastError(0);
  t.File = os::FileOpen(t.FileName, mode);
  if (t.File == os::kInvalidHandle) {
    uint32_t code = os::LastError() ? os::LastError() : os::kErrAccessDenied;
    // Keep the table usable: open it again as it was.
    t.File = os::FileOpen(t.FileName, previous);
    return code;
  }
  t.OpenMode = static_cast<uint8_t>(mode);
  a->Exclusive = exclusive;
  a->ReopenedExclusive = exclusive;
  WorkAreas.ReopenedExclusive = exclusive;
  return 0;
}

bool HasProductionIndex() {
  WorkArea* a = CurrentWorkArea();
  return a != nullptr && !a->Table.IsDbase2() && a->Table.Header[28] != 0;
}

void SetProductionIndexFlag(bool on) {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Table.IsDbase2()) return;
  if ((a->Table.Header[28] != 0) == on) return;
  a->Table.Header[28] = on ? 1 : 0;
  if (a->Table.State == dsClean) a->Table.State = dsModified;
}

IndexBlock** CurrentIndexBlock(int* area) {
  if (area != nullptr) *area = WorkAreas.Current;
  WorkArea* a = CurrentWorkArea();
  return a ? &a->Index : nullptr;
}

}  // namespace morvane
