// The morvane import, copy, locate and memo commands, and memo texts in dump, run as a user would.
#include <gtest/gtest.h>

#include "tests/cli/cli_run.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::TempDir;
using testsupport::WriteFileText;

clitest::RunResult Morvane(const std::vector<std::string>& args) {
  return clitest::Run(MORVANE_PATH, args);
}

class MorvaneBulkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const clitest::RunResult r =
        Morvane({"create", table(), "NAME,C,12", "QTY,N,5,0", "NOTE,M,10"});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  std::string table() const { return dir_.file("t.dbf"); }
  std::string Dump(const std::string& t) { return Morvane({"dump", t}).out; }
  TempDir dir_;
};

TEST_F(MorvaneBulkTest, ImportAppendsEveryLineAndSaysSo) {
  WriteFileText(dir_.file("in.csv"), "Ann,1\r\n\"Smith, J\",\"1,234\"\r\n\r\nBob\r\n");
  clitest::RunResult r = Morvane({"import", table(), dir_.file("in.csv")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "appended: 3\nfailed lines: 0\n");
  EXPECT_EQ(r.err, "");  // no terminal: no progress bar
  EXPECT_EQ(Dump(table()), "NAME,QTY,NOTE\r\nAnn,1,\r\n\"Smith, J\",1234,\r\nBob,0,\r\n");

  r = Morvane({"import", table(), dir_.file("missing.csv")});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot open " + dir_.file("missing.csv") + ": no such file"),
            std::string::npos) << r.err;
  EXPECT_EQ(Morvane({"import", table()}).status, 64);
}

TEST_F(MorvaneBulkTest, MemoSetsAndPrintsTextsThatDumpAndCopyCarry) {
  WriteFileText(dir_.file("in.csv"), "one,1\ntwo,2\nthree,3\n");
  ASSERT_EQ(Morvane({"import", table(), dir_.file("in.csv")}).status, 0);
  WriteFileText(dir_.file("note.txt"), "Caf\xC3\xA9 au lait\nsecond line");
  clitest::RunResult r = Morvane({"memo", table(), "note", "2", "--set", dir_.file("note.txt")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "memo: block 1\n");
  r = Morvane({"memo", table(), "NOTE", "2"});
  EXPECT_EQ(r.out, "Caf\xC3\xA9 au lait\nsecond line");
  EXPECT_EQ(Morvane({"memo", table(), "NOTE", "1"}).out, "");
  EXPECT_EQ(Morvane({"memo", table(), "NAME", "1"}).status, 64);
  EXPECT_NE(Morvane({"memo", table(), "NOTE", "9"}).status, 0);

  r = Morvane({"copy", table(), dir_.file("c.dbf"), "--for", "QTY >= 2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "copied: 2\n");
  EXPECT_EQ(Dump(dir_.file("c.dbf")),
            "NAME,QTY,NOTE\r\ntwo,2,\"Caf\xC3\xA9 au lait\nsecond line\"\r\nthree,3,\r\n");
  r = Morvane({"copy", table(), dir_.file("w.dbf"), "--while", "QTY < 2"});
  EXPECT_EQ(r.out, "copied: 1\n");
  EXPECT_NE(Morvane({"copy", table(), dir_.file("x.dbf"), "--for", "NAME"}).status, 0);
}

TEST_F(MorvaneBulkTest, LocatePrintsTheRecordNumberOrNotFound) {
  WriteFileText(dir_.file("in.csv"), "Jones,1\nsmith,2\nSmithers,3\n");
  ASSERT_EQ(Morvane({"import", table(), dir_.file("in.csv")}).status, 0);
  const struct {
    std::vector<std::string> options;
    std::string value, out;
    int status;
  } cases[] = {
      {{}, "Smith", "3\n", 0},
      {{"--nocase"}, "SMITH", "2\n", 0},
      {{"--exact"}, "Smith", "not found\n", 1},
      {{"--contained"}, "ones", "1\n", 0},
      {{}, "Nobody", "not found\n", 1},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"locate", table(), "NAME", c.value};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const clitest::RunResult r = Morvane(args);
    EXPECT_EQ(r.out, c.out) << c.value;
    EXPECT_EQ(r.status, c.status) << r.err;
  }
  EXPECT_NE(Morvane({"locate", table(), "COLOUR", "x"}).status, 0);
}

}  // namespace
