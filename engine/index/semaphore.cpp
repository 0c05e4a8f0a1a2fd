// The index semaphore protocol.
//
// Semaphore file (the table's name with extension ".@S@", 4 bytes at offset 0):
//     0  1  number of processes logged in
//     1  1  access count: registered readers, or 1 while a writer holds the semaphore (<= 127)
//     2  2  update counter (16 bit, wraps), incremented each time a writer releases
// Bytes 1..4 are the "region": a process holds an operating-system byte-range lock on them
// while it changes the record, and a writer keeps holding it from LOCKSEMAPHORE to
// UNLOCKSEMAPHORE so that no reader can register meanwhile. LOGIN and LOGOUT are serialised by
// the table's semaphore byte (offset 1073741824 of the table file).
//
// Byte-range locks on this platform are advisory: reading locked bytes succeeds. A waiting
// writer therefore never relies on a failing read to notice another holder; it tries the region
// lock itself and treats "busy" as "try again".
#include "engine/index/semaphore.h"

#include <array>
#include <chrono>
#include <memory>
#include <thread>

#include "engine/dbf/locks.h"
#include "engine/dbf/workarea.h"
#include "engine/index/index_errors.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"

namespace morvane {

namespace os = platform::os;

namespace {

constexpr uint64_t kRegionOffset = 1;
constexpr uint64_t kRegionLength = 4;
constexpr int kLockAttempts = 1001;

// One area's semaphore state, from LOGIN to LOGOUT.
struct SemaphoreState {
  os::Handle File = os::kInvalidHandle;
  std::string FileName;
  uint8_t Record[4] = {};
  uint8_t UsersAtLogin = 0;
  uint16_t LastUpdate = 0;
  bool RegionHeld = false;
  bool ReaderRegistered = false;
  int ReadNesting = 0;
  int WriteNesting = 0;
};

struct AreaHolds {
  std::unique_ptr<SemaphoreState> State;
  int ReadHolds = 0;   // nesting of SetReadSemaphoreProc
  int LockHolds = 0;   // nesting of SetLockSemaphoreProc
};
std::array<AreaHolds, kMaxWorkAreas + 1> Areas;

void Pause() {
  std::this_thread::sleep_for(std::chrono::microseconds(SemaphoreSettings.LockPauseMicroseconds));
}

[[noreturn]] void Fail(uint16_t code, const std::string& text) { ndx::ReportAlways(code, text); }

uint16_t CodeOr(uint32_t code, uint16_t fallback) {
  return code != 0 ? static_cast<uint16_t>(code) : fallback;
}

// Locks the table's semaphore byte (of the current area), 1001 attempts; false when they all
// failed.
bool LockTableByte() {
  for (int i = 0; i < kLockAttempts; ++i) {
    if (LockHeaderByte()) return true;
    Pause();
  }
  return false;
}

// Holds the table byte for one LOGIN or LOGOUT, released on every path.
class TableByteHold {
 public:
  TableByteHold(const std::string& name, const std::string& action) {
    if (!LockTableByte())
      Fail(1202, "Cannot lock database for: " + name + " Action=" + action + " [Database Semaphore]");
  }
  ~TableByteHold() {
    try {
      UnlockHeaderByte();
    } catch (const EMorvaneError&) {
      // reported by UnlockHeaderByte; a destructor must not pass it on
    }
  }
  TableByteHold(const TableByteHold&) = delete;
  TableByteHold& operator=(const TableByteHold&) = delete;
};

bool TryRegion(SemaphoreState& s) {
  if (!WorkAreas.Sharing || os::LockRange(s.File, kRegionOffset, kRegionLength)) {
    s.RegionHeld = true;
    return true;
  }
  return false;
}

void HoldRegion(SemaphoreState& s, const std::string& action) {
  for (int i = 0; i < kLockAttempts; ++i) {
    if (TryRegion(s)) return;
    Pause();
  }
  const uint32_t result = os::LastError();
  Fail(1202, "10 second timeout: Cannot lock index semaphore file: " + s.FileName + " " + action +
                 "\r\nPossible cause: Network lock limit exceeded\r\n Lock result code: " +
                 std::to_string(result));
}

void ReleaseRegion(SemaphoreState& s, const std::string& action) {
  if (!s.RegionHeld) return;
  s.RegionHeld = false;
  if (WorkAreas.Sharing && !os::UnlockRange(s.File, kRegionOffset, kRegionLength))
    Fail(CodeOr(os::LastError(), 158),
         "Cannot unlock index semaphore file: " + s.FileName + " " + action);
}

bool ReadRecord(SemaphoreState& s) {
  return os::FileReadAt(s.File, 0, s.Record, 4) == 4;
}

void ReadOrFail(SemaphoreState& s, const std::string& action) {
  if (!ReadRecord(s)) {
    ReleaseRegion(s, action);
    Fail(1202, "Cannot read: " + s.FileName + " " + action);
  }
}

void WriteOrFail(SemaphoreState& s, const std::string& action) {
  if (os::FileWriteAt(s.File, 0, s.Record, 4) != 4) {
    ReleaseRegion(s, action);
    Fail(1202, "Cannot write to: " + s.FileName + " " + action);
  }
}

uint16_t Counter(const SemaphoreState& s) { return static_cast<uint16_t>(s.Record[2] | (s.Record[3] << 8)); }
void SetCounter(SemaphoreState& s, uint16_t v) {
  s.Record[2] = static_cast<uint8_t>(v);
  s.Record[3] = static_cast<uint8_t>(v >> 8);
}

void TimeoutFail(SemaphoreState& s) {
  ReleaseRegion(s, "LOCKSEMAPHORE");
  const std::string& n = s.FileName;
  Fail(1202, std::to_string(SemaphoreSettings.SemaphoreTimeout) + " second timeout, cannot read: " + n +
                 "\r\nPossible cause: Other user's program has terminated abnormally.\r\n"
                 "Cure: Log all users of this application off the network,\r\nthen delete " + n);
}

void Login(AreaHolds& holds, const std::string& action) {
  if (holds.State) return;  // already logged in
  const std::string name = IndexSemaphoreFileName();
  TableByteHold byte(name, action);
  auto s = std::make_unique<SemaphoreState>();
  s->FileName = name;
  const bool existed = os::FileExists(name);
  if (!existed) {
    os::SetLastError(0);
    const os::Handle h = os::FileCreate(name, os::fmOpenReadWrite | os::fmShareDenyNone);
    if (h == os::kInvalidHandle)
      Fail(CodeOr(os::LastError(), 1202), "Cannot open/create: " + name + " " + action);
    const uint8_t zero[4] = {0, 0, 0, 0};
    const bool written = os::FileWriteAt(h, 0, zero, 4) == 4;
    os::FileClose(h);
    if (!written) Fail(1202, "Cannot write to: " + name + " Action=" + action + " [Database Semaphore]");
  }
  s->File = os::FileOpen(name, os::fmOpenReadWrite | os::fmShareDenyNone);
  if (s->File == os::kInvalidHandle) {
    if (existed) Fail(1202, "Cannot open: " + name + " " + action);
    Fail(1202, "Cannot open: " + name + " Action=" + action + " [Database Semaphore]");
  }
  try {
    HoldRegion(*s, action);
    if (existed) {
      ReadOrFail(*s, action);
    } else {
      std::fill(std::begin(s->Record), std::end(s->Record), 0);
    }
    if (s->Record[0] < 255) ++s->Record[0];
    WriteOrFail(*s, action);
    ReleaseRegion(*s, action);
  } catch (...) {
    os::FileClose(s->File);
    throw;
  }
  s->UsersAtLogin = s->Record[0];
  s->LastUpdate = existed ? Counter(*s) : 0;
  holds.State = std::move(s);
}

void Logout(AreaHolds& holds, const std::string& action) {
  SemaphoreState& s = *holds.State;
  TableByteHold byte(s.FileName, action);
  // Whatever fails below, the area is logged out and its file closed afterwards.
  struct Closer {
    AreaHolds& h;
    ~Closer() {
      if (h.State && h.State->File != os::kInvalidHandle) os::FileClose(h.State->File);
      h.State.reset();
    }
  } closer{holds};
  HoldRegion(s, action);
  ReadOrFail(s, action);
  if (s.ReaderRegistered && s.Record[1] > 0) --s.Record[1];
  s.ReaderRegistered = false;
  if (s.Record[0] > 0) --s.Record[0];
  WriteOrFail(s, action);
  ReleaseRegion(s, action);
  const bool last = s.Record[0] == 0;
  const std::string name = s.FileName;
  os::FileClose(s.File);
  s.File = os::kInvalidHandle;
  if (last) os::DeleteFile(name);
}

void IncDecRead(SemaphoreState& s, bool increment, const std::string& action) {
  s.ReadNesting += increment ? 1 : -1;
  if (s.ReadNesting < 0) {
    s.ReadNesting = 0;
    Fail(254, "Unbalanced IncRead/DecRead for semaphore file: " + s.FileName + " " + action);
  }
  if (increment ? s.ReadNesting != 1 : s.ReadNesting != 0) return;
  if (s.RegionHeld) return;  // this area is the writer
  if (increment == s.ReaderRegistered) return;
  try {
    HoldRegion(s, action);
    ReadOrFail(s, action);
    if (increment && s.Record[1] < 127) ++s.Record[1];
    if (!increment && s.Record[1] > 0) --s.Record[1];
    WriteOrFail(s, action);
    s.ReaderRegistered = increment;
    ReleaseRegion(s, action);
  } catch (...) {
    // Not registered (or not unregistered): the count goes back to what it was before the call.
    s.ReadNesting += increment ? -1 : 1;
    throw;
  }
}

void WaitForWriterAccess(SemaphoreState& s, const std::string& action);

void LockSemaphore(SemaphoreState& s, const std::string& action) {
  if (++s.WriteNesting != 1 || s.RegionHeld) return;
  try {
    WaitForWriterAccess(s, action);
  } catch (...) {
    s.WriteNesting = 0;  // the hold was not taken
    throw;
  }
}

void WaitForWriterAccess(SemaphoreState& s, const std::string& action) {
  const uint64_t start = os::TickCountMs();
  const auto timedOut = [&] {
    return SemaphoreSettings.SemaphoreTimeout > 0 &&
           os::TickCountMs() - start > static_cast<uint64_t>(SemaphoreSettings.SemaphoreTimeout) * 1000;
  };
  for (;;) {
    // Another writer holds the region, or a reader is registering: wait and look again.
    if (!TryRegion(s)) {
      if (timedOut()) TimeoutFail(s);
      Pause();
      continue;
    }
    ReadOrFail(s, action);
    if (s.Record[1] == 0) break;
    ReleaseRegion(s, action);
    if (timedOut()) TimeoutFail(s);
    Pause();
  }
  s.Record[1] = 1;
  WriteOrFail(s, action);
}

void UnlockSemaphore(SemaphoreState& s, const std::string& action) {
  if (--s.WriteNesting < 0) {
    s.WriteNesting = 0;
    ReleaseRegion(s, action);
    Fail(254, "Unbalanced Lock/Unlock for semaphore file: " + s.FileName + " " + action);
  }
  if (s.WriteNesting != 0 || !s.RegionHeld) return;
  ReadOrFail(s, action);
  SetCounter(s, static_cast<uint16_t>(Counter(s) + 1));
  s.Record[1] = 0;
  WriteOrFail(s, action);
  ReleaseRegion(s, action);
  s.LastUpdate = Counter(s);
}

}  // namespace

std::string IndexSemaphoreFileName() {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr) return {};
  std::string name = ForceExtension(a->Table.FileName, "@S@");
  if (!SemaphoreSettings.SemaphoreFolder.empty()) {
    std::string folder = SemaphoreSettings.SemaphoreFolder;
    if (folder.back() != '/') folder += '/';
    const PathParts parts = SplitPath(name);
    name = folder + parts.Name + parts.Ext;
  }
  return name;
}

void HandleSemaphore(const std::string& Action) {
  const int area = CurrentArea();
  if (area >= 35)
    Fail(254, "Work area [" + std::to_string(area) + " ] out of range. [HandleSemafore]");
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Exclusive) return;
  AreaHolds& holds = Areas[static_cast<size_t>(area)];
  if (Action == "LOGIN") {
    Login(holds, Action);
    return;
  }
  if (!holds.State) return;
  SemaphoreState& s = *holds.State;
  if (Action == "LOGOUT") {
    Logout(holds, Action);
  } else if (Action == "INCREAD") {
    IncDecRead(s, true, Action);
  } else if (Action == "DECREAD") {
    IncDecRead(s, false, Action);
  } else if (Action == "LOCKSEMAPHORE") {
    LockSemaphore(s, Action);
  } else if (Action == "UNLOCKSEMAPHORE") {
    UnlockSemaphore(s, Action);
  } else {
    Fail(254, "Unknown semaphore action: " + Action + " [HandleSemafore]");
  }
}

void SetReadSemaphoreProc(bool On) {
  const int area = CurrentArea();
  if (area < 0 || area > kMaxWorkAreas) return;
  AreaHolds& holds = Areas[static_cast<size_t>(area)];
  if (On) {
    if (++holds.ReadHolds == 1) {
      try {
        HandleSemaphore("INCREAD");
      } catch (...) {
        holds.ReadHolds = 0;  // the hold was not taken: a later Off must not release it
        throw;
      }
    }
    return;
  }
  if (holds.ReadHolds <= 0) Fail(254, "Non-symmetrical Lock-Unlock [SetReadSemaphoreProc]");
  if (--holds.ReadHolds == 0) HandleSemaphore("DECREAD");
}

void SetLockSemaphoreProc(bool On) {
  const int area = CurrentArea();
  if (area < 0 || area > kMaxWorkAreas) return;
  AreaHolds& holds = Areas[static_cast<size_t>(area)];
  if (On) {
    if (++holds.LockHolds == 1) {
      try {
        HandleSemaphore("LOCKSEMAPHORE");
      } catch (...) {
        holds.LockHolds = 0;  // the hold was not taken: a later Off must not release it
        throw;
      }
    }
    return;
  }
  if (holds.LockHolds <= 0) Fail(254, "Non-symmetrical Lock-Unlock [SetLockSemaphoreProc]");
  if (--holds.LockHolds == 0) HandleSemaphore("UNLOCKSEMAPHORE");
}

bool SemaphoreLoggedIn() {
  const int area = CurrentArea();
  return area >= 0 && area <= kMaxWorkAreas && Areas[static_cast<size_t>(area)].State != nullptr;
}

bool ReadSemaphoreRecord(SemaphoreRecord& Out) {
  if (!SemaphoreLoggedIn()) return false;
  SemaphoreState& s = *Areas[static_cast<size_t>(CurrentArea())].State;
  if (!ReadRecord(s)) return false;
  Out.Users = s.Record[0];
  Out.Access = s.Record[1];
  Out.UpdateCounter = Counter(s);
  return true;
}

uint16_t LastSeenUpdate() {
  return SemaphoreLoggedIn() ? Areas[static_cast<size_t>(CurrentArea())].State->LastUpdate : 0;
}

void SetLastSeenUpdate(uint16_t Counter) {
  if (SemaphoreLoggedIn()) Areas[static_cast<size_t>(CurrentArea())].State->LastUpdate = Counter;
}

void ResetSemaphores() {
  for (AreaHolds& h : Areas) {
    if (h.State && h.State->File != os::kInvalidHandle) os::FileClose(h.State->File);
    h = AreaHolds{};
  }
  SemaphoreSettings = SemaphoreSettingsState{};
}

}  // namespace morvane
