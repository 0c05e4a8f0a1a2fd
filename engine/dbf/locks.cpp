// Record locks, the append lock and the semaphore byte of the current work area (layout and
// guarantees in engine/dbf/locks.h). The area's bookkeeping is its lock state and its list of
// RecordLockNode entries, newest first; operating-system locks are taken only for shared tables
// (the semaphore byte whenever sharing is on).
#include "engine/dbf/locks.h"

#include <chrono>
#include <string>
#include <thread>

#include "engine/util/errors.h"

namespace morvane {

namespace os = platform::os;

namespace {

constexpr uint64_t kAppendLockOffset = kLockBase + 1;
constexpr uint64_t kSemaphoreOffset = kLockBase;

// The table takes operating-system record and append locks.
bool Shared(const WorkArea& a) { return WorkAreas.Sharing && !a.Exclusive; }

uint32_t ReleaseRecord(const WorkArea& a, int32_t record) {
  if (!Shared(a)) return 0;
  return UnlockRange(a.Table.File, RecordLockOffset(a.Table, record), a.Table.RecordLength);
}

// Removes Node (which must be in the list) and releases its lock; 0 or the release's code.
uint32_t RemoveNode(WorkArea& a, RecordLockNode* node) {
  const uint32_t code = ReleaseRecord(a, node->Record);
  RecordLockNode** link = &a.RecordLocks;
  while (*link != node) link = &(*link)->Next;
  *link = node->Next;
  delete node;
  if (a.RecordLockCount > 0) --a.RecordLockCount;
  if (a.RecordLocks == nullptr) {
    a.RecordLockCount = 0;
    a.LockState = lsNone;
  }
  return code;
}

RecordLockNode* FindNode(const WorkArea& a, int32_t record) {
  for (RecordLockNode* n = a.RecordLocks; n != nullptr; n = n->Next)
    if (n->Record == record) return n;
  return nullptr;
}

RecordLockNode* OldestNode(const WorkArea& a) {
  RecordLockNode* n = a.RecordLocks;
  while (n != nullptr && n->Next != nullptr) n = n->Next;
  return n;
}

// Stores a refusal of UnlockRec without reporting it (no box, no raise).
bool Refuse(const std::string& detail) {
  Errors.DbfError = 220;
  Errors.LastErrorCode = 220;
  Errors.ErrorDetail = detail;
  return false;
}

}  // namespace

uint32_t LockRange(os::Handle file, uint64_t offset, uint64_t length) {
  if (!WorkAreas.Sharing) return 0;
  os::SetLastError(0);
  if (os::LockRange(file, offset, length)) return 0;
  const uint32_t code = os::LastError();
  return code != 0 ? code : os::kErrLockViolation;
}

uint32_t UnlockRange(os::Handle file, uint64_t offset, uint64_t length) {
  if (!WorkAreas.Sharing) return 0;
  os::SetLastError(0);
  if (os::UnlockRange(file, offset, length)) return 0;
  const uint32_t code = os::LastError();
  return code != 0 ? code : os::kErrLockNotHeld;
}

bool LockWithRetry(os::Handle file, uint64_t offset, uint64_t length) {
  return LockRange(file, offset, length) == 0;
}

uint64_t RecordLockOffset(const DbfControlBlock& t, int32_t n) {
  return kLockBase + t.HeaderLength +
         static_cast<uint64_t>(static_cast<int64_t>(n) - 1) * t.RecordLength;
}

bool RLock() {
  WorkArea* a = CheckInUse("RLock");
  if (a == nullptr) return false;
  const int32_t record = a->Table.CurrentRecord;
  if (a->LockState == lsRecordLocks && FindNode(*a, record) != nullptr) return true;
  if (a->LockState == lsAppendLock) return false;
  // Record 0 (an empty table) has no range of its own: it would reach down over the append and
  // semaphore bytes.
  if (record < 1) return false;
  if (Shared(*a) &&
      !LockWithRetry(a->Table.File, RecordLockOffset(a->Table, record), a->Table.RecordLength))
    return false;
  a->RecordLocks = new RecordLockNode{record, a->RecordLocks};
  ++a->RecordLockCount;
  a->LockState = lsRecordLocks;
  return true;
}

bool ALock() {
  WorkArea* a = CheckInUse("ALock");
  if (a == nullptr) return false;
  if (a->LockState == lsAppendLock) return true;
  if (a->LockState == lsRecordLocks) return false;
  if (Shared(*a) && !LockWithRetry(a->Table.File, kAppendLockOffset, 1)) return false;
  a->LockState = lsAppendLock;
  return true;
}

bool IsLocked(int32_t n) {
  WorkArea* a = CheckInUse("IsLocked");
  return a != nullptr && FindNode(*a, n) != nullptr;
}

bool UnlockRec(int32_t n) {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("UnlockRec");
  if (a == nullptr) return true;
  if (n == -3) {
    uint32_t failed = 0;
    while (a->RecordLocks != nullptr) {
      const uint32_t code = RemoveNode(*a, a->RecordLocks);
      if (code != 0) failed = code;
    }
    if (failed == 0) return true;
    Errors.DbfError = static_cast<uint16_t>(failed);
    return false;
  }
  RecordLockNode* node = nullptr;
  if (n > 0) {
    node = FindNode(*a, n);
  } else if (n == -1 || n == -2) {
    node = n == -1 ? OldestNode(*a) : a->RecordLocks;
  } else {
    return Refuse("[UnlockRec(" + std::to_string(n) + ")]");
  }
  if (node == nullptr) return Refuse("Record not locked. [UnlockRec(" + std::to_string(n) + ")]");
  const uint32_t code = RemoveNode(*a, node);
  if (code == 0) return true;
  Errors.DbfError = static_cast<uint16_t>(code);
  return false;
}

void Unlock() {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("Unlock");
  if (a == nullptr) return;
  if (a->LockState == lsRecordLocks || a->RecordLocks != nullptr) {
    UnlockRec(-3);
  } else if (a->LockState == lsAppendLock && Shared(*a)) {
    Errors.DbfError = static_cast<uint16_t>(UnlockRange(a->Table.File, kAppendLockOffset, 1));
  }
  a->LockState = lsNone;
}

bool LockHeaderByte() {
  WorkArea* a = CheckInUse("LockHeaderByte");
  if (a == nullptr) return false;
  if (!WorkAreas.Sharing) return true;
  return LockWithRetry(a->Table.File, kSemaphoreOffset, 1);
}

void UnlockHeaderByte() {
  WorkArea* a = CheckInUse("UnlockHeaderByte");
  if (a == nullptr) return;
  const uint32_t code = UnlockRange(a->Table.File, kSemaphoreOffset, 1);
  if (code != 0)
    ReportError(static_cast<uint16_t>(code), "Error attempting to UNLOCK file " +
                                                 a->Table.FileName + " in Workarea " +
                                                 std::to_string(WorkAreas.Current));
}

bool HoldAppendLockForClose(WorkArea& a) {
  if (!Shared(a) || a.Table.File == os::kInvalidHandle) return true;
  // An appender holds the lock for a few records at a time; a bounded wait of about a fifth of a
  // second covers that without stalling a close behind a process that keeps the lock.
  constexpr int kAttempts = 200;
  for (int i = 0; i < kAttempts; ++i) {
    if (LockRange(a.Table.File, kAppendLockOffset, 1) == 0) {
      const int32_t n = RecordCountFromFileSize(a.Table);
      if (n >= 0) a.Table.RecordCount = n;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const int32_t n = RecordCountFromFileSize(a.Table);
  if (n >= 0) a.Table.RecordCount = n;
  return false;
}

}  // namespace morvane
