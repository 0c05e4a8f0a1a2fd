// Lock bookkeeping of one work area: the lock states, the record-lock list and UnlockRec's
// variants, the operating-system ranges that go with them (seen from outside with a lock probe),
// exclusive tables and the sharing switch, the semaphore byte, and empty areas.
#include <filesystem>

#include "tests/locks/locks_fixture.h"
#include "tests/locks/other_party.h"

namespace lockstest {
namespace {

using namespace morvane;
constexpr uint64_t kAppendByte = kLockBase + 1;

class LocksTest : public TableTest {
 protected:
  bool RecordRangeLocked(int32_t n) const {
    return RangeIsLocked(table(), RecordOffset(n), kRecordLength);
  }
  bool AppendByteLocked() const { return RangeIsLocked(table(), kAppendByte, 1); }
  static std::vector<int32_t> LockList() {
    std::vector<int32_t> list;
    for (RecordLockNode* n = Area().RecordLocks; n != nullptr; n = n->Next)
      list.push_back(n->Record);
    return list;
  }
};

// The lock-state table, step by step, with the operating-system locks that go with each state.
TEST_F(LocksTest, LockStatesFollowTheTable) {
  Open();
  struct Step {
    const char* what;
    int32_t go;  // position first (0 = stay)
    bool (*action)();
    bool result;
    uint8_t state;
    std::vector<int32_t> list;  // newest first
    bool appendByte;            // the append lock is held at the operating-system level
  };
  auto unlock = [] { return (Unlock(), true); };
  auto unlockFive = [] { return UnlockRec(5); };
  auto unlockSix = [] { return UnlockRec(6); };
  const Step steps[] = {
      {"RLock 5 from state 0", 5, &RLock, true, lsRecordLocks, {5}, false},
      {"RLock 5 again", 0, &RLock, true, lsRecordLocks, {5}, false},
      {"RLock another record", 6, &RLock, true, lsRecordLocks, {6, 5}, false},
      {"ALock with record locks held", 0, &ALock, false, lsRecordLocks, {6, 5}, false},
      {"UnlockRec 5", 0, unlockFive, true, lsRecordLocks, {6}, false},
      {"UnlockRec of the last lock", 0, unlockSix, true, lsNone, {}, false},
      {"ALock from state 0", 0, &ALock, true, lsAppendLock, {}, true},
      {"ALock again", 0, &ALock, true, lsAppendLock, {}, true},
      {"RLock with the append lock held", 3, &RLock, false, lsAppendLock, {}, true},
      {"Unlock from state 2", 0, unlock, true, lsNone, {}, false},
      {"RLock after Unlock", 3, &RLock, true, lsRecordLocks, {3}, false},
      {"Unlock from state 3", 0, unlock, true, lsNone, {}, false},
      {"ALock after Unlock", 0, &ALock, true, lsAppendLock, {}, true},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    if (s.go != 0) Go(s.go);
    Errors.DbfError = 0;
    EXPECT_EQ(s.action(), s.result);
    EXPECT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    EXPECT_EQ(Area().LockState, s.state);
    EXPECT_EQ(LockList(), s.list);
    EXPECT_EQ(Area().RecordLockCount, s.list.size());
    EXPECT_EQ(AppendByteLocked(), s.appendByte);
    for (int32_t r = 1; r <= kRecords; ++r)
      EXPECT_EQ(RecordRangeLocked(r), std::find(s.list.begin(), s.list.end(), r) != s.list.end())
          << "record " << r;
  }
}

TEST_F(LocksTest, UnlockRecOldestNewestAndAll) {
  Open();
  for (int32_t r : {3, 7, 9}) {
    Go(r);
    ASSERT_TRUE(RLock());
  }
  EXPECT_EQ(LockList(), (std::vector<int32_t>{9, 7, 3}));
  EXPECT_TRUE(UnlockRec(-1));  // the oldest: 3
  EXPECT_FALSE(RecordRangeLocked(3));
  EXPECT_TRUE(UnlockRec(-2));  // the newest: 9
  EXPECT_FALSE(RecordRangeLocked(9));
  EXPECT_TRUE(IsLocked(7));
  EXPECT_TRUE(RecordRangeLocked(7));
  EXPECT_FALSE(IsLocked(3));
  Unlock();
  EXPECT_EQ(Errors.DbfError, 0);
  EXPECT_FALSE(RecordRangeLocked(7));
  EXPECT_EQ(Area().LockState, lsNone);

  for (int32_t r : {2, 4, 6}) {
    Go(r);
    ASSERT_TRUE(RLock());
  }
  EXPECT_TRUE(UnlockRec(-3));
  EXPECT_EQ(LockList(), std::vector<int32_t>{});
  EXPECT_EQ(Area().LockState, lsNone);
  for (int32_t r : {2, 4, 6}) EXPECT_FALSE(RecordRangeLocked(r));
}

// Refusals of UnlockRec store their detail without a report: even with errors raised they
// neither raise nor show a box.
TEST_F(LocksTest, UnlockRecRefusalsAreStoredNotReported) {
  Open();
  Go(2);
  ASSERT_TRUE(RLock());
  SetErrorCheck(true);
  SetRaiseErrors(true);
  struct Case {
    int32_t n;
    const char* detail;
  };
  const Case cases[] = {
      {4, "Record not locked. [UnlockRec(4)]"},
      {0, "[UnlockRec(0)]"},
      {-4, "[UnlockRec(-4)]"},
      {-100, "[UnlockRec(-100)]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    bool result = true;
    EXPECT_NO_THROW(result = UnlockRec(c.n));
    EXPECT_FALSE(result);
    EXPECT_EQ(Errors.DbfError, 220);
    EXPECT_EQ(Errors.ErrorDetail, c.detail);
  }
  EXPECT_TRUE(IsLocked(2));  // nothing was released by the refusals
  EXPECT_TRUE(UnlockRec(-2));
  EXPECT_EQ(Errors.DbfError, 0);
  bool result = true;
  EXPECT_NO_THROW(result = UnlockRec(-1));  // nothing left to release
  EXPECT_FALSE(result);
  EXPECT_EQ(Errors.ErrorDetail, "Record not locked. [UnlockRec(-1)]");
  SetRaiseErrors(false);
  SetErrorCheck(false);
}

// An exclusive table, and any table with the sharing switch off, keeps the bookkeeping, so that
// the write checks behave the same, but takes no operating-system record or append lock.
TEST_F(LocksTest, ExclusiveAndUnsharedTablesKeepBookkeepingOnly) {
  for (bool sharingOff : {false, true}) {
    SCOPED_TRACE(sharingOff ? "sharing off" : "exclusive");
    WorkAreas.Sharing = !sharingOff;
    Open(!sharingOff);
    EXPECT_TRUE(Area().Exclusive);
    Go(2);
    EXPECT_TRUE(RLock());
    EXPECT_TRUE(IsLocked(2));
    EXPECT_EQ(Area().LockState, lsRecordLocks);
    EXPECT_FALSE(RecordRangeLocked(2));
    Set("NAME", "Exclusive");
    Replace();
    EXPECT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    EXPECT_FALSE(ALock());
    Unlock();
    EXPECT_EQ(Errors.DbfError, 0);
    EXPECT_TRUE(ALock());
    EXPECT_FALSE(AppendByteLocked());
    Unlock();
    EXPECT_EQ(Area().LockState, lsNone);
    CloseArea();
  }
}

// The semaphore byte is locked whenever sharing is on, also for an exclusive table.
TEST_F(LocksTest, SemaphoreByte) {
  for (bool exclusive : {false, true}) {
    SCOPED_TRACE(exclusive ? "exclusive" : "shared");
    Open(exclusive);
    EXPECT_TRUE(LockHeaderByte());
    EXPECT_TRUE(RangeIsLocked(table(), kLockBase, 1));
    EXPECT_FALSE(AppendByteLocked());
    UnlockHeaderByte();
    EXPECT_EQ(Errors.DbfError, 0);
    EXPECT_FALSE(RangeIsLocked(table(), kLockBase, 1));
    // Releasing a byte that is not held is an error of the platform, reported.
    UnlockHeaderByte();
    ExpectError(158, "Error attempting to UNLOCK file " + table() + " in Workarea 1");
    CloseArea();
  }
  WorkAreas.Sharing = false;
  Open();
  EXPECT_TRUE(LockHeaderByte());
  EXPECT_FALSE(RangeIsLocked(table(), kLockBase, 1));
  Errors.DbfError = 0;
  UnlockHeaderByte();
  EXPECT_EQ(Errors.DbfError, 0);
}

TEST_F(LocksTest, EmptyAreaReports215) {
  Select(4);
  struct Case {
    const char* name;
    std::function<bool()> call;
    bool result;
  };
  const Case cases[] = {
      {"RLock", [] { return RLock(); }, false},
      {"ALock", [] { return ALock(); }, false},
      {"IsLocked", [] { return IsLocked(1); }, false},
      {"UnlockRec", [] { return UnlockRec(1); }, true},
      {"Unlock", [] { return (Unlock(), true); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Errors.DbfError = 0;
    EXPECT_EQ(c.call(), c.result);
    ExpectError(215, std::string("No database in use [") + c.name + "]  WorkArea = 4");
  }
}

// An empty table has no record to lock; a lock for "record 0" would reach down over the append
// and semaphore bytes.
TEST_F(LocksTest, RLockOnAnEmptyTableIsRefused) {
  dbftest::CreateTable(file("empty.dbf"), {dbftest::Fd("NAME", 'C', 200)});
  Use(file("empty.dbf"), nullptr, 0);
  ASSERT_EQ(RecNo(), 0);
  EXPECT_FALSE(RLock());
  EXPECT_EQ(Errors.DbfError, 0);
  EXPECT_EQ(Area().LockState, lsNone);
  EXPECT_FALSE(RangeIsLocked(file("empty.dbf"), 0, kLockBase + 2));
  EXPECT_TRUE(ALock());
}

// Record locks are placed in 64 bits: in a table of several gibibytes a record lock never wraps
// round onto the append lock (or onto another record's lock).
TEST_F(LocksTest, RecordLocksOfHugeTablesDoNotWrap) {
  std::vector<FieldDescriptor> fields;
  for (int i = 0; i < 10; ++i) fields.push_back(dbftest::Fd("F" + std::to_string(i), 'C', 255));
  const std::string big = file("big.dbf");
  dbftest::CreateTable(big, fields);
  const uint64_t header = 32 + 10 * 32 + 1, length = 1 + 10 * 255;
  // The record whose lock, cut to 32 bits, would cover the append byte.
  const int32_t r = static_cast<int32_t>(((uint64_t{1} << 32) + 1 - header) / length) + 1;
  const uint64_t size = header + static_cast<uint64_t>(r) * length;
  std::filesystem::resize_file(big, size);  // sparse: no data is written
  Use(big, nullptr, 0);
  ASSERT_EQ(RecCount(), r);
  Go(r);
  ASSERT_TRUE(RLock());
  EXPECT_EQ(RecordLockOffset(Area().Table, r), kLockBase + header + (r - 1) * length);
  EXPECT_FALSE(RangeIsLocked(big, kLockBase, 2));
  auto other = MakeOther(OtherKind::kWorkArea);
  EXPECT_EQ(other->Ask("use " + big), "ok");
  EXPECT_EQ(other->Ask("alock"), "true");
  EXPECT_EQ(other->Ask("close"), "ok");
  CloseArea();
  std::filesystem::remove(big);
}

}  // namespace
}  // namespace lockstest
