#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <string>

#include "tests/cli/cli_run.h"

namespace {

using ::testing::HasSubstr;

clitest::RunResult Morvane(const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env = {}) {
  return clitest::Run(MORVANE_PATH, args, env);
}

TEST(MorvaneCliTest, UsageText) {
  const clitest::RunResult none = Morvane({});
  EXPECT_EQ(none.status, 64);
  EXPECT_THAT(none.out, HasSubstr("usage: morvane <command>"));
  EXPECT_THAT(none.out, HasSubstr("settings"));

  const clitest::RunResult help = Morvane({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, none.out);

  const clitest::RunResult unknown = Morvane({"frobnicate"});
  EXPECT_EQ(unknown.status, 64);
  EXPECT_THAT(unknown.err, HasSubstr("unknown command \"frobnicate\""));
  EXPECT_THAT(unknown.err, HasSubstr("usage: morvane"));

  EXPECT_EQ(Morvane({"settings", "extra"}).status, 64);
}

TEST(MorvaneCliTest, SettingsFollowTheLocale) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string base = std::to_string(local.tm_year + 1900 - 70);

  struct Case {
    std::map<std::string, std::string> env;
    std::string expected;
  };
  const Case cases[] = {
      {{{"LANG", "de_DE.UTF-8"}},
       "user language: de_DE\ndate convention: 5\ncentury: on\ncentury base: " + base +
           "\nblank date text: \"  .  .    \"\ndecimal separator: \",\"\n"
           "thousands separator: \".\"\nerror check: on\nraise errors: off\n"},
      {{},
       "user language: en_US\ndate convention: 0\ncentury: on\ncentury base: " + base +
           "\nblank date text: \"  /  /    \"\ndecimal separator: \".\"\n"
           "thousands separator: \",\"\nerror check: on\nraise errors: off\n"},
      // LC_ALL wins over LANG; the British short date format is day/month/year.
      {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "en_GB.UTF-8"}},
       "user language: en_GB\ndate convention: 2\ncentury: on\ncentury base: " + base +
           "\nblank date text: \"  /  /    \"\ndecimal separator: \".\"\n"
           "thousands separator: \",\"\nerror check: on\nraise errors: off\n"},
  };
  for (const Case& c : cases) {
    const clitest::RunResult r = Morvane({"settings"}, c.env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.expected);
    EXPECT_EQ(r.err, "");
  }
}

}  // namespace
