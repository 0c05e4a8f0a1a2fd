// Record and file locking between processes that share a table: record locks, the append lock
// and the index semaphore byte, all operating-system byte-range locks far above the table's data,
// kept per work area. The update commands (engine/dbf/updates.h) refuse to write a shared table
// without the matching lock; the index semaphore and the memo layer take their bytes here too.
//
// Lock layout on the table file (B = kLockBase):
//   record lock of record r   B + header length + (r - 1) x record length, record length bytes
//   append lock               B + 1, 1 byte
//   semaphore byte            B, 1 byte
// Ranges are computed in 64 bits, so a record lock never wraps onto another lock however large
// the table. The locks are open-file-description locks: two work areas of one process that opened
// the same file block each other exactly like two processes.
#pragma once

#include <cstdint>

#include "engine/dbf/workarea.h"
#include "platform/os/files.h"

namespace morvane {

inline constexpr uint64_t kLockBase = 1073741824;  // 0x40000000

// Operating-system lock of [Offset, Offset + Length) on File: 0 on success, else the platform's
// code (33 when another handle holds part of the range). 0 at once when the sharing switch is off.
uint32_t LockRange(platform::os::Handle File, uint64_t Offset, uint64_t Length);
// Releases such a lock: 0, or the platform's code (158 when this handle does not hold exactly
// that range). 0 at once when the sharing switch is off.
uint32_t UnlockRange(platform::os::Handle File, uint64_t Offset, uint64_t Length);
// One LockRange attempt; true when the lock is held afterwards. A conflict is never waited for:
// callers (the dataset components) decide about retrying.
bool LockWithRetry(platform::os::Handle File, uint64_t Offset, uint64_t Length);

// The offset of record N's lock in Table (the lock covers RecordLength bytes from there).
uint64_t RecordLockOffset(const DbfControlBlock& Table, int32_t N);

// Locks the current record of the current area; true when this area holds that lock afterwards.
// False, with DbfError unchanged, when another work area or process holds it, when this area
// holds the append lock, or when the area is not on a record (record number below 1). On an
// exclusive table (or with sharing off) only the area's bookkeeping changes. Empty area: 215.
bool RLock();
// Takes the append lock; true when this area holds it afterwards. False, with DbfError
// unchanged, when another holds it or this area holds record locks. Empty area: 215.
bool ALock();
// True when this area holds a record lock on record N. Empty area: 215, false.
bool IsLocked(int32_t N);
// Releases record locks: N > 0 that record; -1 the oldest, -2 the newest, -3 all of them. Clears
// DbfError first. False when the release failed (DbfError := the platform's code) or N names no
// held lock or is another value (DbfError := 220 with the detail "Record not locked.
// [UnlockRec(n)]" or "[UnlockRec(n)]", stored without a report: no message box, no raise). The
// lock state becomes 0 when the last record lock goes. Empty area: 215, true.
bool UnlockRec(int32_t N);
// Releases every lock the current area holds (record locks or the append lock); lock state 0.
// Clears DbfError first and leaves a release failure's code in it, without reporting. Empty area:
// 215.
void Unlock();

// The index semaphore byte of the current area's table (also for an exclusive table, whenever
// sharing is on): true when held afterwards; true at once with sharing off. Empty area: false.
bool LockHeaderByte();
// Releases it; a failure reports its code with "Error attempting to UNLOCK file <name> in
// Workarea <n>".
void UnlockHeaderByte();

// For the work-area layer's close of a shared table whose header is about to be rewritten: takes
// the append lock at the operating-system level for Area's file (a few short attempts, since
// appenders hold it briefly) and brings the record count up to the file size under it, so that
// the rewritten header and the end-of-file byte cannot overlap records another process is
// appending. The lock is not entered in the area's bookkeeping; closing the file drops it. False
// when it could not be taken; the caller then leaves the end-of-file byte to the process that
// holds the lock.
bool HoldAppendLockForClose(WorkArea& Area);

}  // namespace morvane
