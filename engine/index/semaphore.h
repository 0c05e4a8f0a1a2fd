// The index semaphore: a 4-byte companion file per shared table (extension ".@S@") through
// which processes count their users, many readers or one writer of the table's index, and an
// update counter that tells readers to refresh. Used by the index manager around every read and
// change of index pages, and by the command layer through the read/write hold hooks.
#pragma once

#include <cstdint>
#include <string>

namespace morvane {

// Settings of the semaphore (EngineStartup restores these values).
struct SemaphoreSettingsState {
  int SemaphoreTimeout = 100;      // seconds a writer waits for readers; 0 waits without limit
  std::string SemaphoreFolder;     // folder of the semaphore files; empty: next to the table
  // Pause between two attempts at a byte-range lock (1001 attempts are made), and between two
  // looks of a waiting writer. 10 ms makes the attempts last about the 10 seconds the failure
  // message speaks of.
  unsigned LockPauseMicroseconds = 10000;
};
inline SemaphoreSettingsState SemaphoreSettings;

// The semaphore record of one area as this process last read it, for inspection and refresh.
struct SemaphoreRecord {
  uint8_t Users = 0;          // processes logged in
  uint8_t Access = 0;         // registered readers, or 1 while a writer holds the semaphore
  uint16_t UpdateCounter = 0; // incremented each time a writer releases
};

// Performs one action for the current area: "LOGIN", "LOGOUT", "INCREAD", "DECREAD",
// "LOCKSEMAPHORE", "UNLOCKSEMAPHORE". Nothing happens when the area is empty, its table is open
// exclusively, or (for every action but LOGIN) it has not logged in. Every failure is raised as
// EMorvaneError whatever the error switches (code 1202 for file and lock failures, 254 for
// unbalanced holds and an area number of 35 or more).
void HandleSemaphore(const std::string& Action);

// Nestable holds of the current area's index for reading / writing: the outermost On performs
// INCREAD / LOCKSEMAPHORE, the matching outermost Off DECREAD / UNLOCKSEMAPHORE. An Off without
// On raises 254 "Non-symmetrical Lock-Unlock [SetReadSemaphoreProc]" (or ...[SetLockSemaphoreProc]).
void SetReadSemaphoreProc(bool On);
void SetLockSemaphoreProc(bool On);

// The current area's table file name with extension ".@S@" (in SemaphoreFolder when set);
// empty when the area is empty.
std::string IndexSemaphoreFileName();

// True when the current area is logged in to its semaphore.
bool SemaphoreLoggedIn();
// Reads the current area's semaphore record from the file (no lock taken). False when the area
// is not logged in or the read fails.
bool ReadSemaphoreRecord(SemaphoreRecord& Out);
// The update counter the current area saw last (at login, or at its own write release), and
// setting it after a refresh.
uint16_t LastSeenUpdate();
void SetLastSeenUpdate(uint16_t Counter);

// Closes every semaphore file this process holds and forgets all states (engine start-up).
void ResetSemaphores();

}  // namespace morvane
