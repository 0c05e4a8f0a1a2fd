// The morvane update commands run as a user would: what they write and print, their usage
// errors, and their refusal (at once, naming the record, nothing written) while a lock_helper
// process holds the lock they need.
#include <gmock/gmock.h>

#include "tests/cli/cli_run.h"
#include "tests/locks/locks_fixture.h"
#include "tests/locks/other_party.h"

namespace lockstest {
namespace {

using ::testing::HasSubstr;

class MorvaneUpdateTest : public TableTest {
 protected:
  clitest::RunResult Morvane(const std::vector<std::string>& args) {
    return clitest::Run(MORVANE_PATH, args);
  }
  std::string RecordOnDisk(int32_t n) const {
    const Bytes b = FileBytes();
    const size_t at = kHeaderLength + static_cast<size_t>(n - 1) * kRecordLength;
    if (b.size() < at + kRecordLength) return "";
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(at),
                       b.begin() + static_cast<std::ptrdiff_t>(at + kRecordLength));
  }
};

TEST_F(MorvaneUpdateTest, CommandsWriteAndShowTheStoredRecord) {
  clitest::RunResult r =
      Morvane({"append", table(), "NAME=Smith", "qty=42", "WHEN=12/31/1999", "OK=y"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "appended record 11\nNAME: Smith\nQTY: 42\nPRICE: 0.00\nWHEN: 19991231\nOK: T\n");
  EXPECT_EQ(RecordOnDisk(11), " Smith        42    0.0019991231T");

  // Fields not named keep their values; a number too wide for its field is stored as "*".
  r = Morvane({"replace", table(), "2", "QTY=123456", "PRICE=3.14159"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "replaced record 2\nNAME: Name02\nQTY: *****\nPRICE: 3.14\nWHEN: 20100704\nOK: T\n");
  EXPECT_EQ(RecordOnDisk(2), " Name02    *****    3.1420100704T");

  r = Morvane({"delete", table(), "3"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "deleted record 3\n");
  EXPECT_EQ(RecordOnDisk(3), "*" + FixtureRecord(3).substr(1));
  r = Morvane({"recall", table(), "3"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(RecordOnDisk(3), FixtureRecord(3));

  // The header's count follows the append (written when the command closed the table).
  EXPECT_EQ(FileBytes()[4], 11);
  r = Morvane({"zap", table()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "removed 11 records from " + table() + "\n");
  const Bytes after = FileBytes();
  ASSERT_EQ(after.size(), kHeaderLength + 1u);
  EXPECT_EQ(after.back(), 0x1A);
}

TEST_F(MorvaneUpdateTest, UsageErrorsWriteNothing) {
  dbftest::CreateTable(file("memo.dbf"), {dbftest::Fd("TEXT", 'M', 10)}, 0x8B);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::string t = table();
  const Case cases[] = {
      {{"append"}, 64, "append: which table?"},
      {{"append", t, "COLOUR=red"}, 64, "append: no field COLOUR in " + t},
      {{"append", t, "NAMEXXXXXXXXXX=cut"}, 64, "no field NAMEXXXXXXXXXX"},
      {{"append", t, "NAME"}, 64, "append: expected NAME=VALUE, not NAME"},
      {{"append", t, "WHEN=13/45/1999"}, 64, "append: WHEN takes a date"},
      {{"append", t, "QTY=many"}, 64, "append: QTY takes a number, not many"},
      {{"append", t, "--force"}, 64, "append: unknown option --force"},
      {{"append", file("memo.dbf"), "TEXT=words"}, 64, "field TEXT is a memo field"},
      {{"replace", t, "2"}, 64, "replace: expected TABLE RECNO NAME=VALUE..."},
      {{"replace", t, "two", "NAME=x"}, 64, "replace: not a record number: two"},
      {{"replace", t, "0", "NAME=x"}, 64, "replace: not a record number: 0"},
      {{"replace", t, "99", "NAME=x"},
       212,
       "replace: record 99 does not exist; " + t + " has 10 records"},
      {{"delete", t}, 64, "delete: expected TABLE RECNO"},
      {{"recall", t, "11"}, 212, "recall: record 11 does not exist"},
      {{"zap", t, "now"}, 64, "zap: expected TABLE"},
      {{"zap", file("missing.dbf")}, 2, "Failure to open " + file("missing.dbf")},
  };
  const Bytes before = FileBytes();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.size() > 1 ? c.args[0] + " " + c.args.back() : c.args[0]);
    const clitest::RunResult r = Morvane(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.message));
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(FileBytes(), before);
}

// While another process holds the lock a command needs, the command fails at once, says which
// record (or table) and why, and writes nothing.
TEST_F(MorvaneUpdateTest, LocksHeldElsewhereRefuseAtOnce) {
  HelperProcess holder;
  ASSERT_EQ(holder.Ask("use " + table()), "ok");
  ASSERT_EQ(holder.Ask("go 5"), "ok");
  ASSERT_EQ(holder.Ask("rlock"), "true");
  const Bytes before = FileBytes();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::string t = table();
  const std::string locked =
      "record 5 of " + t + " is locked by another process; nothing was written";
  const Case cases[] = {
      {{"replace", t, "5", "NAME=Mine"}, 176, "replace: " + locked},
      {{"delete", t, "5"}, 176, "delete: " + locked},
      {{"recall", t, "5"}, 176, "recall: " + locked},
      {{"zap", t}, 32, "zap: " + t + " is open in another process; zap needs the table to itself"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const clitest::RunResult r = Morvane(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.message));
    EXPECT_EQ(FileBytes(), before);
  }
  // Another record is free.
  clitest::RunResult r = Morvane({"replace", t, "6", "NAME=Free"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(holder.Ask("go 6"), "ok");
  EXPECT_EQ(holder.Ask("field NAME"), "[Free      ]");

  ASSERT_EQ(holder.Ask("unlock"), "ok 0");
  ASSERT_EQ(holder.Ask("alock"), "true");
  const Bytes locked2 = FileBytes();
  r = Morvane({"append", t, "NAME=Late"});
  EXPECT_EQ(r.status, 5);
  EXPECT_THAT(r.err,
              HasSubstr("append: cannot append record 11 to " + t +
                        ": another process holds the table's append lock; nothing was written"));
  EXPECT_EQ(FileBytes(), locked2);
  ASSERT_EQ(holder.Ask("unlock"), "ok 0");
  r = Morvane({"append", t, "NAME=Late"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(holder.Ask("reccount"), "11");
}

}  // namespace
}  // namespace lockstest
