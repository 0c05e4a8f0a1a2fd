// The engine's xBase command layer: 35 numbered work areas (1..33 for callers, 34 and 35 for the
// engine), each holding one open table with its typed record, and the commands that open, close
// and select tables and move through the table of the current area (Use, Select, GoTop, Skip,
// Go, the Field functions). The dataset components, the lock, update, memo and bulk commands,
// the expression language and the index manager all work through this header. Every command
// works on the current work area and reports failures through ReportError.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/dbf/engine_hooks.h"

namespace morvane {

inline constexpr int kMaxWorkAreas = 35;      // slots 1..35
inline constexpr int kCallerWorkAreas = 33;   // 1..33 for callers; 34 and 35 for the engine
inline constexpr int kCopyTargetArea = 35;    // the target area of CopyTo

// The table language switch: tlOem gives tables OEM translation, tlAnsi none.
enum TXqTableLanguage : uint8_t { tlOem = 0, tlAnsi = 1 };

struct MemoControlBlock;  // the memo layer's, one per area whose table has memo fields
struct IndexBlock;        // the index manager's, one per area with an open index

// One record lock held by a work area; the list runs from the newest lock to the oldest.
struct RecordLockNode {
  int32_t Record = 0;
  RecordLockNode* Next = nullptr;
};

// Lock states of a work area.
enum AreaLockState : uint8_t { lsNone = 0, lsAppendLock = 2, lsRecordLocks = 3 };

// One work area in use. Created by Use, destroyed by CloseArea, which releases everything the
// area owns (a caller-supplied typed record is never freed). Layers that keep per-area state
// (locks, memo, index) hold it here and release it in CloseArea's order: index, locks, memo.
struct WorkArea {
  DbfControlBlock Table;                    // the open table and its positioning state
  uint8_t* Typed = nullptr;                 // the current record in native types
  size_t TypedSize = 0;
  bool OwnsTyped = false;                   // Typed points into OwnedTyped
  std::vector<uint8_t> OwnedTyped;
  std::string Alias;                        // upper case, unique among areas 1..33
  MemoControlBlock* Memo = nullptr;         // null when no memo file is open
  uint8_t LockState = lsNone;
  uint32_t RecordLockCount = 0;             // nodes in RecordLocks (there is no limit)
  RecordLockNode* RecordLocks = nullptr;    // newest first
  std::vector<uint8_t> SwapBuffer;          // TypedSize bytes of scratch for Replace
  bool Exclusive = false;                   // the table file is open for exclusive use
  bool ReopenedExclusive = false;           // ReopenExclusive(true) made it exclusive
  IndexBlock* Index = nullptr;              // the index manager allocates and frees it
};

// The layer's process-wide state and switches (initial values restored by EngineStartup). The
// engine's own commands select the reserved areas 34 and 35 by setting Current directly.
struct WorkAreaState {
  std::array<std::unique_ptr<WorkArea>, kMaxWorkAreas + 1> Slots;  // [1..35]; [0] unused
  uint8_t Current = 1;
  bool Sharing = true;                       // shared tables take operating-system locks
  unsigned SharedOpenMode = platform::os::fmOpenReadWrite | platform::os::fmShareDenyNone;
  unsigned ExclusiveOpenMode = platform::os::fmOpenReadWrite | platform::os::fmShareExclusive;
  int FileModeOverride = -1;                 // >= 0: replaces the open mode of Use
  TXqTableLanguage TableLanguage = tlOem;
  bool IndexMaintenance = true;              // Replace keeps the open index in step
  RecordHook PendingReadHook = nullptr;      // for the next Use (UseWithHooks)
  RecordHook PendingWriteHook = nullptr;
  bool ReopenedExclusive = false;            // the last ReopenExclusive made a table exclusive
};
inline WorkAreaState WorkAreas;

// The work area in slot N (1..35), null when empty or N is out of range.
WorkArea* GetWorkArea(int N);
// The current area's WorkArea, null when it is empty.
WorkArea* CurrentWorkArea();
// Reports 215 "No database in use [<Command>]  WorkArea = <n>" and returns null when the
// current area is empty; else the area.
WorkArea* CheckInUse(const char* Command);
// True when an index hook table is installed and the current area has an active order.
bool OrderActive();

// Area selection. Select(0) takes the first empty area of 1..33 (220 when none is free);
// 1..33 select that area; anything else reports 220.
void Select(int N);
int CurrentArea();

// Opens a table in the current area (whatever it held is closed first). Command: file name,
// optionally " EXCLUSIVE" and " ALIAS name"; an empty command only closes. Buffer/Size: the
// caller's typed record (exactly TypedRecordSize bytes), or null/0 for one the area owns.
// After any failure the area is empty.
void Use(const std::string& Command, uint8_t* Buffer, size_t Size);
// Use with record hooks installed on the table.
void UseWithHooks(const std::string& Command, uint8_t* Buffer, size_t Size, RecordHook ReadHook,
                  RecordHook WriteHook);
// Closes the current area (index, locks, memo file, table); nothing when it is empty.
void CloseArea();
// Closes areas 1..33 and selects area 1.
void CloseAll();
// Engine shut-down: areas 34 and 35, then CloseAll; an EMorvaneError stops it quietly.
void CloseAllAreasAtShutdown();

// The current area's table file name / alias; empty when the area is empty.
std::string AreaFileName();
std::string Alias();

// Positioning (natural order, or the controlling order through the index hooks).
void GoTop();
void GoBottom();
void TopWhile();      // GoTop unless the table has no records
void BottomWhile();   // GoBottom unless the table has no records
void Skip(int32_t N);
void Go(int32_t N);
void RawGo(int32_t N);        // reads record N without indexes or refresh
bool GoIfValid(int32_t N);    // Go(N) when 1 <= N <= RecCount
bool dEOF();
bool dBOF();
int32_t RecCount();           // after RefreshRecCount
int32_t RecNo();
int32_t RecSize();
// A shared table takes its record count from the file size (records other processes appended).
void RefreshRecCount();
// False when the ignore-deleted switch is on and the current record is deleted.
bool RecordVisible();
// Sets the ignore-deleted switch, re-reads the current record; returns the previous value.
bool SetIgnoreDel(bool On);

// Field access (field numbers from 1).
int FieldCount();
std::string Field(int N);
int FieldNo(const std::string& Name);    // 0 when there is no such field
char FieldType(int N);                   // ' ' on error
int FieldLen(int N);                     // a D field: 8, or 10 with the century setting on
int FieldDec(int N);
uint8_t* FieldAddress(int N);            // the slot in the typed record; 0 = deleted flag
// Blanks the record buffer and decodes it into the typed record.
void ClearRecord();

// Reopens the current table exclusive (true) or shared (false). 0 on success, else the
// operating-system code (5 when the table was opened exclusive by Use). After a failure the
// table stays open as it was.
uint32_t ReopenExclusive(bool Exclusive);

// Header byte 28: the table has a production index (false for dBASE II and empty areas).
bool HasProductionIndex();
// Sets header byte 28 to 1 or 0; a change marks the header modified so that close writes it.
void SetProductionIndexFlag(bool On);

// The current area's index block slot (null when the area is empty) and the area number.
IndexBlock** CurrentIndexBlock(int* Area);

// Reads record N of Area's table and decodes it into the typed record (no hooks, no refresh);
// clears DbfError first and returns false when the read failed (and was reported).
bool ReadCurrent(WorkArea& Area, int32_t N);
// Blanks Area's record buffer and decodes it into the typed record (ClearRecord without checks).
void BlankRecord(WorkArea& Area);
// Puts Area on the phantom end position: blank record, RecordCount + 1, EOF and BOF.
void GoPhantomEnd(WorkArea& Area);

}  // namespace morvane
