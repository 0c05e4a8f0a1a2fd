// morvane info, dump and create, run as a user would: the header report of every layout, the CSV
// of a small hand-made table (quoting, types, deleted records, code pages), and the errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "tests/cli/cli_run.h"
#include "tests/support/test_support.h"

namespace {

using ::testing::HasSubstr;

clitest::RunResult Morvane(const std::vector<std::string>& args) {
  return clitest::Run(MORVANE_PATH, args);
}

std::string Today() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", &t);
  return text;
}

TEST(MorvaneTablesTest, CreateThenInfoInEveryLayout) {
  struct Case {
    const char* version;
    std::string header;  // version .. header length lines
    const char* rateType;
  };
  const std::vector<Case> cases = {
      // A memo field needs a memo version byte: a plain 0x03 becomes 0x8B, 0x04 becomes 0x8C.
      {"0x03", "version: 0x8B\nrecords: 0\nheader length: 161\n", "F"},
      {"0x83", "version: 0x83\nrecords: 0\nheader length: 161\n", "N"},
      {"0x8B", "version: 0x8B\nrecords: 0\nheader length: 161\n", "F"},
      {"0xf5", "version: 0xF5\nrecords: 0\nheader length: 161\n", "F"},
      {"0x04", "version: 0x8C\nrecords: 0\nheader length: 261\n", "F"},
      {"0x8C", "version: 0x8C\nrecords: 0\nheader length: 261\n", "F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    testsupport::TempDir dir;
    const std::string table = dir.file("t.dbf");
    const clitest::RunResult created =
        Morvane({"create", table, "name,C,10,0", " rate , F , 9 , 3 ", "born,D", "note,M",
                 "--version", c.version});
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_EQ(created.out, "");
    const clitest::RunResult info = Morvane({"info", table});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out, c.header +
                            "record length: 38\nlast update: " + Today() +
                            "\nproduction index: no\nfields: 4\nNAME C 10 0\nRATE " +
                            c.rateType + " 9 3\nBORN D 8 0\nNOTE M 10 0\n");
  }
}

// One record of the sample table: the fields padded to their widths.
std::string Record(bool deleted, std::string name, std::string n, std::string d, std::string l,
                   std::string m) {
  auto left = [](std::string v, size_t w) { return v + std::string(w - v.size(), ' '); };
  auto right = [](std::string v, size_t w) { return std::string(w - v.size(), ' ') + v; };
  return (deleted ? "*" : " ") + left(name, 8) + right(n, 6) + left(d, 8) + left(l, 1) +
         right(m, 10);
}

// NAME C 8, N N 6 2, D D, L L, M M (record length 34): five records, the fourth deleted.
testsupport::Bytes SampleTable() {
  testsupport::Bytes b = testsupport::FromHex(
      "03 6E0704 05000000 C100 2200 00000000 000000000000000000000000 00 000000"
      "4E414D45 00000000000000 43 00000000 08 00 0000000000000000000000000000"
      "4E 00000000000000000000 4E 00000000 06 02 0000000000000000000000000000"
      "44 00000000000000000000 44 00000000 08 00 0000000000000000000000000000"
      "4C 00000000000000000000 4C 00000000 01 00 0000000000000000000000000000"
      "4D 00000000000000000000 4D 00000000 0A 00 0000000000000000000000000000"
      "0D");
  const std::string records[] = {
      Record(false, "Ren\x82" "e", "12.50", "20100704", "T", "7"),  // OEM 0x82 is "é"
      Record(false, "a,b", "-1.00", "", "F", ""),
      Record(false, "say \"hi\"", "0.00", "", "y", "0"),
      Record(true, "gone", "9.99", "", "N", ""),
      Record(false, "", "******", "19991231", "?", ""),
  };
  for (const std::string& r : records) b.insert(b.end(), r.begin(), r.end());
  b.push_back(0x1A);
  return b;
}

TEST(MorvaneTablesTest, DumpWritesCsv) {
  testsupport::TempDir dir;
  const std::string table = dir.file("sample.dbf");
  testsupport::WriteFileBytes(table, SampleTable());

  const clitest::RunResult dump = Morvane({"dump", table});
  EXPECT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(dump.out,
            "NAME,N,D,L,M\r\n"
            "Ren\xC3\xA9" "e,12.50,20100704,T,7\r\n"
            "\"a,b\",-1.00,,F,\r\n"
            "\"say \"\"hi\"\"\",0.00,,T,0\r\n"
            ",******,19991231,F,\r\n");

  const clitest::RunResult deleted = Morvane({"dump", "--deleted", table});
  EXPECT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_THAT(deleted.out, HasSubstr("_deleted,NAME,N,D,L,M\r\nF,Ren\xC3\xA9" "e,"));
  EXPECT_THAT(deleted.out, HasSubstr("\r\nT,gone,9.99,,F,\r\nF,,******,"));

  // Untranslated, the OEM byte is read as Windows-1252 0x82, a low quotation mark.
  const clitest::RunResult ansi = Morvane({"dump", table, "--ansi"});
  EXPECT_THAT(ansi.out, HasSubstr("Ren\xE2\x80\x9A" "e,12.50"));

  const clitest::RunResult info = Morvane({"info", table});
  EXPECT_THAT(info.out, HasSubstr("version: 0x03\nrecords: 5\nheader length: 193\n"
                                  "record length: 34\nlast update: 20100704\n"));
}

TEST(MorvaneTablesTest, ErrorsTheEngineWay) {
  testsupport::TempDir dir;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  testsupport::WriteFileText(dir.file("junk.dbf"), "not a table at all, really not one");
  const std::vector<Case> cases = {
      {{"info", dir.file("none.dbf")}, 2, "Error # 2 (File not found)"},
      {{"dump", dir.file("junk.dbf")}, 210, "Error # 210 (Not a dBASE data file)"},
      {{"create", dir.file("bad.dbf"), "x,Q,3"}, 211, "Invalid dBASE field definition [CreateDBF]"},
      {{"create", dir.file("bad.dbf"), "x,C,0"}, 211, "Invalid dBASE field definition [CreateDBF]"},
      {{"create", dir.file("bad.dbf"), "x,C,300"}, 64, "length and decimals must be 0 to 255"},
      {{"create", dir.file("bad.dbf"), "x"}, 64, "a field is NAME,TYPE,LEN,DEC"},
      {{"create", dir.file("bad.dbf")}, 64, "at least one field"},
      {{"create", dir.file("bad.dbf"), "x,C,1", "--version", "0x30"}, 64, "--version takes"},
      {{"info"}, 64, "which table?"},
      {{"dump", "a.dbf", "b.dbf"}, 64, "one table only"},
      {{"dump", "a.dbf", "--bogus"}, 64, "unknown option --bogus"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 2 ? c.args[2] : ""));
    const clitest::RunResult r = Morvane(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_THAT(r.err, HasSubstr(c.err));
    EXPECT_EQ(r.out, "");
  }
  const clitest::RunResult usage = Morvane({});
  EXPECT_THAT(usage.out, HasSubstr("info <table>"));
  EXPECT_THAT(usage.out, HasSubstr("dump <table> [--deleted]"));
  EXPECT_THAT(usage.out, HasSubstr("create <table>"));
}

}  // namespace
