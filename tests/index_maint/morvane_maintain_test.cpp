// morvane append, replace and zap keep the table's production index in step, run as a user
// would: after each command the index equals a fresh build and finds the new keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/index/xqndx.h"
#include "tests/cli/cli_run.h"
#include "tests/index/index_fixture.h"
#include "tests/index_maint/mdx_checker.h"

namespace indextest {
namespace {

clitest::RunResult Morvane(const std::vector<std::string>& args) { return clitest::Run(MORVANE_PATH, args); }

class MorvaneMaintainTest : public IndexTest {};

TEST_F(MorvaneMaintainTest, AppendReplaceAndZapKeepTheProductionIndexInStep) {
  OpenKeyTable("ax.dbf", {{"050", "01001", "A", "10"}, {"040", "01", " ", "25.5"}});
  morvane::CloseArea();
  const std::string table = file("ax.dbf");
  ASSERT_EQ(Morvane({"index", table, "ax", "GEO=geocode", "ONLYA=geocode", "--for", "race = 'A'", "POP=pop"}).status, 0);

  const auto expectInStep = [&](const char* step) {
    SCOPED_TRACE(step);
    morvane::Select(1);
    morvane::Use(table + " EXCLUSIVE", nullptr, 0);
    ASSERT_TRUE(morvane::MakeIndex({Tag("GEO", "geocode"), Tag("ONLYA", "geocode", "race = 'A'"), Tag("POP", "pop")},
                                   file("fresh.mdx")));
    morvane::CloseArea();
    const auto tags = mdxcheck::CheckIndexFile(file("ax.mdx"));
    const auto fresh = mdxcheck::CheckIndexFile(file("fresh.mdx"));
    ASSERT_EQ(tags.size(), fresh.size());
    for (size_t i = 0; i < tags.size(); ++i) EXPECT_EQ(mdxcheck::KeysOf(tags[i]), mdxcheck::KeysOf(fresh[i])) << tags[i].Name;
  };

  for (int i = 0; i < 3; ++i) {
    const auto r = Morvane({"append", table, "SUMLEV=050", "GEOCODE=0200" + std::to_string(i), "RACE=A", "POP=" + std::to_string(i)});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  expectInStep("append");
  EXPECT_EQ(Morvane({"find", table, "ax", "02001"}).out.substr(0, 7), "found 4");

  const auto replaced = Morvane({"replace", table, "1", "GEOCODE=09999", "RACE=B"});
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  expectInStep("replace");
  EXPECT_EQ(Morvane({"find", table, "ax", "09999"}).out.substr(0, 7), "found 1");

  const auto zapped = Morvane({"zap", table});
  ASSERT_EQ(zapped.status, 0) << zapped.err;
  expectInStep("zap");
  ASSERT_EQ(Morvane({"append", table, "GEOCODE=03000", "RACE=A"}).status, 0);
  expectInStep("append after zap");
  EXPECT_EQ(Morvane({"find", table, "ax", "03000"}).out.substr(0, 7), "found 1");
}

}  // namespace
}  // namespace indextest
