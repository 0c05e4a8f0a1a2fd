// Two parties on one shared table: this test's work area 1 and an other party that is either a
// real second process (lock_helper) or a second work area of this process. Every case runs with
// both, and both must behave the same: locks are per open file, not per process.
#include "tests/locks/locks_fixture.h"
#include "tests/locks/other_party.h"

namespace lockstest {
namespace {

using namespace morvane;

class TwoPartyTest : public TableTest, public ::testing::WithParamInterface<OtherKind> {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    other_ = MakeOther(GetParam());
    Select(1);
    Open();
    ASSERT_EQ(other_->Ask("use " + table()), "ok");
  }
  void TearDown() override {
    other_.reset();
    TableTest::TearDown();
  }
  std::string Ask(const std::string& line) { return other_->Ask(line); }

  std::unique_ptr<OtherParty> other_;
};

TEST_P(TwoPartyTest, RecordLocksConflictPerRecord) {
  ASSERT_EQ(Ask("go 5"), "ok");
  ASSERT_EQ(Ask("rlock"), "true");

  Go(5);
  Errors.DbfError = 0;
  EXPECT_FALSE(RLock());
  EXPECT_EQ(Errors.DbfError, 0);  // a conflict is not an error
  EXPECT_EQ(Area().LockState, lsNone);
  // Reading the locked record works: the locks lie far above the data.
  EXPECT_EQ(Raw("NAME"), "Name05    ");

  const Bytes before = FileBytes();
  Set("NAME", "Mine");
  Replace();
  ExpectError(1200, "Record #5 in " + table() + " [REPLACE]");
  DeleteRec();
  ExpectError(1200, table() + " Record not locked [DeleteRec]");
  EXPECT_EQ(FileBytes(), before);

  Go(6);
  EXPECT_TRUE(RLock());
  EXPECT_EQ(Ask("go 6"), "ok");
  EXPECT_EQ(Ask("rlock"), "false");
  Set("NAME", "Six");
  Replace();
  ExpectNoError();
  EXPECT_EQ(Ask("go 6"), "ok");
  EXPECT_EQ(Ask("field NAME"), "[Six       ]");

  // Released by the other party, record 5 can be locked here.
  EXPECT_EQ(Ask("unlock"), "ok 0");
  Go(5);
  EXPECT_TRUE(RLock());
  EXPECT_EQ(Ask("go 5"), "ok");
  EXPECT_EQ(Ask("rlock"), "false");
  EXPECT_EQ(Ask("set NAME=Theirs"), "ok");
  EXPECT_EQ(Ask("replace"), "err 1200");
  EXPECT_EQ(Ask("delete"), "err 1200");
  EXPECT_EQ(Ask("field NAME"), "[Name05    ]");
}

TEST_P(TwoPartyTest, AppendLockAndRecordsAppendedByTheOther) {
  ASSERT_EQ(Ask("alock"), "true");
  Errors.DbfError = 0;
  EXPECT_FALSE(ALock());
  EXPECT_EQ(Errors.DbfError, 0);
  // Record locks do not meet the append lock.
  Go(5);
  EXPECT_TRUE(RLock());
  Unlock();

  const Bytes before = FileBytes();
  ClearRecord();
  Set("NAME", "Refused");
  Append();
  ExpectError(5, "File must be locked to append: " + table() + " [APPEND]");
  EXPECT_EQ(FileBytes(), before);

  EXPECT_EQ(Ask("set NAME=Eleven QTY=11"), "ok");
  EXPECT_EQ(Ask("append"), "ok 11");
  EXPECT_EQ(Ask("append"), "ok 12");
  // The other party's records are visible here: the count comes from the file size.
  EXPECT_EQ(RecCount(), 12);
  Go(11);
  ExpectNoError();
  EXPECT_EQ(Raw("NAME"), "Eleven    ");
  EXPECT_EQ(Raw("QTY"), "   11");

  EXPECT_EQ(Ask("unlock"), "ok 0");
  ASSERT_TRUE(ALock());
  EXPECT_EQ(Ask("alock"), "false");
  ClearRecord();
  Set("NAME", "Mine");
  Append();
  ExpectNoError();
  EXPECT_EQ(RecNo(), 13);
  EXPECT_EQ(Ask("reccount"), "13");
  EXPECT_EQ(Ask("go 13"), "ok");
  EXPECT_EQ(Ask("field NAME"), "[Mine      ]");
}

TEST_P(TwoPartyTest, ZapNeedsTheTableToItself) {
  Go(3);
  ASSERT_TRUE(RLock());
  const Bytes before = FileBytes();
  EXPECT_FALSE(Zap());
  ExpectError(32, "Cannot open " + table() + " for exclusive use [Zap]");
  EXPECT_EQ(FileBytes(), before);
  // The table is still open shared here and usable by both.
  EXPECT_FALSE(Area().Exclusive);
  EXPECT_EQ(Area().LockState, lsNone);  // the locks went before the reopen was tried
  Go(4);
  ExpectNoError();
  EXPECT_EQ(Raw("NAME"), "Name04    ");
  EXPECT_EQ(Ask("go 3"), "ok");
  EXPECT_EQ(Ask("rlock"), "true");
  EXPECT_EQ(Ask("zap"), "false 32");

  EXPECT_EQ(Ask("close"), "ok");
  EXPECT_TRUE(Zap());
  ExpectNoError();
  const Bytes after = FileBytes();
  ASSERT_EQ(after.size(), kHeaderLength + 1u);
  EXPECT_EQ(after.back(), 0x1A);
  EXPECT_EQ(after[4], 0);  // the header's record count
  // Shared again: the other party can open the empty table.
  EXPECT_FALSE(Area().Exclusive);
  EXPECT_EQ(Ask("use " + table()), "ok");
  EXPECT_EQ(Ask("reccount"), "0");
}

INSTANTIATE_TEST_SUITE_P(Both, TwoPartyTest,
                         ::testing::Values(OtherKind::kProcess, OtherKind::kWorkArea),
                         [](const ::testing::TestParamInfo<OtherKind>& info) {
                           return KindName(info.param);
                         });

}  // namespace
}  // namespace lockstest
