// The commands that change the table of the current work area: Replace, Append, DeleteRec,
// RecallRec, Zap, and LeaveHiddenRecord for the dataset components. On a shared table each write
// needs the matching lock of engine/dbf/locks.h (a record lock, the append lock, or exclusive use
// for Zap); the open index is kept in step through the index hooks. A refused or failed command
// leaves the file's bytes as they were.
#pragma once

#include <cstdint>

namespace morvane {

// Writes the typed record to the current record; the typed record then shows the values as
// stored (texts cut to the width, numbers too wide as "*" fill, which decodes to 0). 212 when the
// table is empty or at EOF; 1200 "Record #n in <file> [REPLACE]" when the table is shared and
// this area holds no lock on the record. With index maintenance on and an active order the
// old keys are saved before and replaced after the write, under the index write hold.
void Replace();

// Appends the typed record as record RecCount + 1 (counting the records other processes
// appended) and makes it current, EOF and BOF clear. A shared table must hold the append lock,
// else 5 "File must be locked to append: <file> [APPEND]". With an active order the new keys are
// added under the index write hold.
void Append();

// Set / clear the current record's deletion flag and write only that byte. A shared table must
// hold a record lock on the current record, else 1200. Outside the records DeleteRec does nothing;
// RecallRec reports 1103 "<file> at EOF [RecallRec]". The index is not touched. A failed write
// leaves the flag in the typed record and the record buffer as it is on disk.
void DeleteRec();
void RecallRec();

// Removes every record: the file becomes the header and one 0x1A byte, the header's count 0,
// the position empty (EOF and BOF), an open index is emptied (IndexZap) and a memo file is made
// again empty. A shared table is reopened for exclusive use first and shared again afterwards;
// the locks the area held are released before, because the reopen drops them. True when every
// record was removed. When another work area or process has the table open the exclusive reopen
// fails: the code (32) is reported with "Cannot open <file> for exclusive use [Zap]", nothing
// changes and the result is false.
bool Zap();

// For the dataset components after a write: false when the current record is visible. Otherwise
// releases the area's locks, moves to the next visible record or, at the end, back to the record
// before, and returns true.
bool LeaveHiddenRecord();

}  // namespace morvane
