// Record updates of the current work area (contracts in engine/dbf/updates.h). Each command
// checks its lock before it touches the file, so that a refusal writes nothing; the index write
// hold is released also when a report raises.
#include "engine/dbf/semaphore_hold.h"
#include "engine/dbf/updates.h"

#include <algorithm>
#include <string>

#include "engine/dbf/locks.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"

namespace morvane {

namespace os = platform::os;

namespace {


void Call(void (*hook)()) {
  if (hook != nullptr) hook();
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The area holds a record lock on its current record (what DeleteRec and RecallRec need).
bool HoldsCurrentRecordLock(const WorkArea& a) {
  if (a.LockState != lsRecordLocks) return false;
  for (const RecordLockNode* n = a.RecordLocks; n != nullptr; n = n->Next)
    if (n->Record == a.Table.CurrentRecord) return true;
  return false;
}

// Sets the deletion flag of the current record to Deleted and writes that byte; on a failed
// write the flag in memory goes back to what the disk holds.
void WriteDeletionFlag(WorkArea& a, bool deleted) {
  DbfControlBlock& t = a.Table;
  const uint8_t typedBefore = a.Typed[0];
  const char recordBefore = t.Record()[0];
  a.Typed[0] = deleted ? 1 : 0;
  t.Record()[0] = deleted ? '*' : ' ';
  Errors.DbfError = 0;
  try {
    WriteDeleteFlag(t, t.CurrentRecord);
  } catch (...) {
    a.Typed[0] = typedBefore;
    t.Record()[0] = recordBefore;
    throw;
  }
  if (Errors.DbfError != 0) {
    a.Typed[0] = typedBefore;
    t.Record()[0] = recordBefore;
  }
}

}  // namespace

void Replace() {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("Replace");
  if (a == nullptr) return;
  DbfControlBlock& t = a->Table;
  const int32_t n = t.CurrentRecord;
  if (n < 1) {
    ReportError(212, "Database " + Quoted(t.FileName) + " is empty. [REPLACE]");
    return;
  }
  if (n > t.RecordCount) {
    ReportError(212, "Database " + Quoted(t.FileName) + " is at EOF. [REPLACE]");
    return;
  }
  if (!a->Exclusive && !IsLocked(n)) {
    ReportError(1200, "Record #" + std::to_string(n) + " in " + t.FileName + " [REPLACE]");
    return;
  }
  const bool maintain = WorkAreas.IndexMaintenance && OrderActive();
  SemaphoreHold hold(IndexHooks.SetLockSemaphoreProc, maintain);
  if (maintain) {
    // The index needs the keys of the record as it is on disk before it changes.
    std::copy(a->Typed, a->Typed + a->TypedSize, a->SwapBuffer.begin());
    if (!ReadCurrent(*a, n)) return;
    Call(IndexHooks.IndexSaveOldKeys);
    std::copy(a->SwapBuffer.begin(), a->SwapBuffer.end(), a->Typed);
  }
  TypedToRecord(t, a->Typed);
  Errors.DbfError = 0;
  PutDbfRecord(t, n);
  RecordToTyped(t, a->Typed);
  if (maintain && Errors.DbfError == 0) Call(IndexHooks.IndexReplaceKeys);
}

void Append() {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("Append");
  if (a == nullptr) return;
  DbfControlBlock& t = a->Table;
  if (!a->Exclusive && a->LockState != lsAppendLock) {
    ReportError(5, "File must be locked to append: " + t.FileName + " [APPEND]");
    return;
  }
  RefreshRecCount();
  TypedToRecord(t, a->Typed);
  const bool ordered = OrderActive();
  SemaphoreHold hold(IndexHooks.SetLockSemaphoreProc, ordered);
  Errors.DbfError = 0;
  PutDbfRecord(t, t.RecordCount + 1);
  if (Errors.DbfError != 0) return;
  RecordToTyped(t, a->Typed);
  if (ordered) Call(IndexHooks.AppendNewKey);
  t.AtEof = t.AtBof = false;
}

void DeleteRec() {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("DeleteRec");
  if (a == nullptr) return;
  DbfControlBlock& t = a->Table;
  if (!a->Exclusive && !HoldsCurrentRecordLock(*a)) {
    ReportError(1200, t.FileName + " Record not locked [DeleteRec]");
    return;
  }
  if (t.CurrentRecord < 1 || t.CurrentRecord > t.RecordCount) return;
  WriteDeletionFlag(*a, true);
}

void RecallRec() {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("RecallRec");
  if (a == nullptr) return;
  DbfControlBlock& t = a->Table;
  if (!a->Exclusive && !HoldsCurrentRecordLock(*a)) {
    ReportError(1200, t.FileName + " Record not locked [RecallRec]");
    return;
  }
  RefreshRecCount();
  if (t.CurrentRecord < 1 || t.CurrentRecord > t.RecordCount) {
    ReportError(1103, t.FileName + " at EOF [RecallRec]");
    return;
  }
  WriteDeletionFlag(*a, false);
}

namespace {

// What EmptyTable got done.
struct ZapSteps {
  bool removed = false;  // the records are gone (the file was cut back to its header)
  bool memo = false;     // the memo file was made again (and opened while exclusive)
};

// Empties the table (the steps after the exclusive reopen); false after reporting an error.
bool EmptyTable(WorkArea& a, ZapSteps& done) {
  DbfControlBlock& t = a.Table;
  // The header says "no records" before the records go, so that no failed write can leave a
  // header counting records the file no longer holds (every read of them would fail, and the
  // table could not be appended to). When this write fails nothing is removed; the close then
  // writes the real count again.
  const int32_t count = t.RecordCount;
  t.RecordCount = 0;
  const bool check = SetErrorCheck(false);
  Errors.DbfError = 0;
  UpdateHeader(t);
  SetErrorCheck(check);
  if (Errors.DbfError != 0) {
    t.RecordCount = count;
    if (t.State == dsClean) t.State = dsModified;
    ReportError(Errors.DbfError, "Error zapping " + t.FileName);
    return false;
  }
  os::SetLastError(0);
  if (!os::FileTruncate(t.File, t.HeaderLength)) {
    t.RecordCount = count;  // the records are still there: the close counts them again
    t.State = dsModified;
    ReportError(static_cast<uint16_t>(os::LastError() ? os::LastError() : os::kErrWriteFault),
                "Error zapping " + t.FileName);
    return false;
  }
  // From here on the records are gone: the block says so even if the end mark cannot be written,
  // so that the close writes a header with the count 0 (and tries the end mark again).
  done.removed = true;
  t.RecordCount = 0;
  t.State = dsAppended;
  ClearRecord();
  t.CurrentRecord = 0;
  t.AtEof = t.AtBof = true;
  const char eof = 0x1A;
  os::SetLastError(0);
  if (os::FileWriteAt(t.File, t.HeaderLength, &eof, 1) != 1) {
    ReportError(static_cast<uint16_t>(os::LastError() ? os::LastError() : os::kErrDiskWrite),
                "Error zapping " + t.FileName);
    return false;
  }
  FlushDbf(t);
  if (Errors.DbfError != 0) return false;

  if (t.HasMemo && a.Memo != nullptr && MemoHooks.MemoFileInfo != nullptr &&
      MemoHooks.CloseMemofile != nullptr && MemoHooks.CreateMemofile != nullptr &&
      MemoHooks.OpenMemofile != nullptr) {
    std::string name;
    uint8_t type = 0;
    uint16_t blockSize = 0;
    MemoHooks.MemoFileInfo(name, type, blockSize);
    MemoHooks.CloseMemofile();
    MemoHooks.CreateMemofile(name, type, blockSize, "Zap()");
    MemoHooks.OpenMemofile(t.FileName);
    done.memo = true;
  }
  if (OrderActive()) Call(IndexHooks.IndexZap);
  return true;
}

}  // namespace

bool Zap() {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("Zap");
  if (a == nullptr) return false;
  const bool reopen = !a->Exclusive;
  if (reopen) {
    // Reopening the file drops every operating-system lock the area holds; release them first
    // so that the bookkeeping never claims a lock that is gone.
    Unlock();
    Errors.DbfError = 0;
    const uint32_t code = ReopenExclusive(true);
    if (code != 0) {
      ReportError(static_cast<uint16_t>(code),
                  "Cannot open " + a->Table.FileName + " for exclusive use [Zap]");
      return false;
    }
  }
  bool emptied = false;
  ZapSteps done;
  try {
    emptied = EmptyTable(*a, done);
  } catch (...) {
    if (reopen && done.removed) ReopenExclusive(false);
    throw;
  }
  // A failure before the records were removed leaves the table exclusive, so that the caller can
  // try again without another process stepping in.
  if (reopen && done.removed) {
    const uint16_t pending = Errors.DbfError;
    const uint32_t code = ReopenExclusive(false);
    if (code != 0) {
      ReportError(static_cast<uint16_t>(code),
                  "Cannot re-open database sharable. " + a->Table.FileName + " [Zap]");
    } else {
      // The memo file made again was opened while the table was exclusive, and so for exclusive
      // use too; opened again it is shared like the table, or other processes could not open
      // the table at all.
      if (done.memo && a->Memo != nullptr) {
        MemoHooks.CloseMemofile();
        MemoHooks.OpenMemofile(a->Table.FileName);
      }
      if (Errors.DbfError == 0) Errors.DbfError = pending;
    }
  }
  return emptied;
}

bool LeaveHiddenRecord() {
  WorkArea* a = CheckInUse("LeaveHiddenRecord");
  if (a == nullptr || RecordVisible()) return false;
  Unlock();
  const int32_t record = a->Table.CurrentRecord;
  Skip(1);
  if (dEOF()) {
    GoIfValid(record);
    Skip(-1);
  }
  return true;
}

}  // namespace morvane
