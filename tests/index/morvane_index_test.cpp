// morvane index, tags, find and dump --index, run as a user would: building with per-tag options,
// the production-index flag, the tag list, dumps in a tag's order, seeks and the errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/util/files.h"
#include "tests/cli/cli_run.h"
#include "tests/index/index_fixture.h"

namespace indextest {
namespace {

clitest::RunResult Morvane(const std::vector<std::string>& args) { return clitest::Run(MORVANE_PATH, args); }

class MorvaneIndexTest : public IndexTest {
 protected:
  void SetUp() override {
    IndexTest::SetUp();
    OpenKeyTable("ax.dbf", {{"050", "01001", "A", "10"},
                            {"040", "01", " ", "25.5"},
                            {"050", "01003", " ", "7"},
                            {"050", "01001", " ", "3", "", true},
                            {"040", "01", "A", "12"}});
    morvane::CloseArea();
  }
};

TEST_F(MorvaneIndexTest, BuildsListsDumpsAndFinds) {
  const std::string table = file("ax.dbf");
  const clitest::RunResult built =
      Morvane({"index", table, "ax", "GEO=sumlev + geocode + race", "BYGEO=geocode", "--unique", "--descending",
               "ONLYA=geocode", "--for", "race = 'A'"});
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.out, "GEO: 5 keys\nBYGEO: 3 keys\nONLYA: 2 keys\n");
  // ax.mdx beside ax.dbf is the table's production index.
  EXPECT_NE(Morvane({"info", table}).out.find("production index: yes"), std::string::npos);

  const clitest::RunResult tags = Morvane({"tags", file("ax.mdx")});
  EXPECT_EQ(tags.status, 0) << tags.err;
  EXPECT_EQ(tags.out, "GEO,F,F,sumlev + geocode + race\n\nBYGEO,T,T,geocode\n\nONLYA,F,F,geocode\nrace = 'A'\n");

  const std::string header = "SUMLEV,GEOCODE,RACE,POP,DAY\r\n";
  const clitest::RunResult dumped = Morvane({"dump", table, "--index", "ax"});
  EXPECT_EQ(dumped.status, 0) << dumped.err;
  EXPECT_EQ(dumped.out, header + "040,01,,25.5,\r\n040,01,A,12,\r\n050,01001,A,10,\r\n050,01003,,7,\r\n");
  const clitest::RunResult byGeo = Morvane({"dump", table, "--deleted", "--index", "ax", "--tag", "bygeo"});
  EXPECT_EQ(byGeo.out, "_deleted," + header + "F,050,01003,,7,\r\nF,050,01001,A,10,\r\nF,040,01,,25.5,\r\n");

  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  };
  const Case cases[] = {
      {{"find", table, "ax", "05001"}, 0, "found 1\n050,01001,A,10,\n"},  // record 4 is deleted
      {{"find", table, "ax", "050"}, 0, "found 1\n050,01001,A,10,\n"},
      {{"find", table, "ax", "04001"}, 0, "found 2\n040,01,,25.5,\n"},
      {{"find", table, "ax", "040", "--exact"}, 1, "not found\n"},
      {{"find", table, "ax", "060"}, 1, "not found\n"},
      {{"find", table, "ax", "01", "--tag", "ONLYA"}, 0, "found 5\n040,01,A,12,\n"},
  };
  for (const Case& c : cases) {
    const clitest::RunResult r = Morvane(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[3] << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[3];
  }
  // A semaphore file is left nowhere.
  EXPECT_FALSE(morvane::FileExists(file("ax.@s@")));
}

TEST_F(MorvaneIndexTest, ReportsErrors) {
  const std::string table = file("ax.dbf");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err;
  };
  const Case cases[] = {
      {{"index", table, "other", "BAD=nosuchfield"}, 351 & 0xFF, "Error # 351"},
      {{"index", table, "other", "L=race = 'A'"}, 254, "Wrong parser return type"},
      {{"index", table, "other", "--unique"}, 64, "belongs after a TAG=EXPR"},
      {{"index", table, "other"}, 64, "at least one TAG=EXPR"},
      {{"index", table, "other", "TOOLONGNAME1=race"}, 64, "at most 10 characters"},
      {{"tags", file("missing.mdx")}, 2, "no such index file"},
      {{"find", table, "missing", "x"}, 2, "SetIndexTo("},
      {{"find", table, "ax"}, 64, "needs a table, an index file and a key"},
      {{"dump", table, "--tag", "GEO"}, 64, "--tag needs --index"},
  };
  for (const Case& c : cases) {
    const clitest::RunResult r = Morvane(c.args);
    EXPECT_EQ(r.status, c.status) << c.args.back() << ": " << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  // The production flag is set only for the table's own index name.
  EXPECT_EQ(Morvane({"index", table, file("elsewhere.mdx"), "G=geocode"}).status, 0);
  EXPECT_NE(Morvane({"info", table}).out.find("production index: no"), std::string::npos);
  // A damaged index file is an engine error, not a crash.
  testsupport::WriteFileBytes(file("bad.mdx"), Bytes(2048, 0));
  const clitest::RunResult bad = Morvane({"find", table, "bad", "x"});
  EXPECT_EQ(bad.status, 222);
  EXPECT_NE(bad.err.find("Unable to open index: "), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace indextest
