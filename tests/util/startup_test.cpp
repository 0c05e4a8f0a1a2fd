#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/util/dates.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "platform/formats/formats.h"
#include "tests/util/util_test_env.h"

namespace {

using morvane::Errors;
using morvane::Settings;
using utiltest::EngineTest;
using utiltest::ScopedEnv;

int CurrentYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

class StartupTest : public EngineTest {};

TEST(StartupLanguageTest, DateConventionAndSeparatorsFromTheUserLanguage) {
  struct Case {
    const char* lang;
    int convention;
    char decimal;
    char thousands;
  };
  const Case cases[] = {
      {"de_DE.UTF-8", 5, ',', '.'}, {"de_AT.UTF-8", 5, ',', '.'}, {"en_US.UTF-8", 0, '.', ','},
      {"en_GB.UTF-8", 2, '.', ','}, {"es_ES.UTF-8", 6, ',', '.'}, {"fr_CA.UTF-8", 7, '.', ','},
      {"fr_FR.UTF-8", 4, ',', '.'}, {"it_IT.UTF-8", 3, ',', '.'}, {"ru_RU.UTF-8", 8, '.', ' '},
      {"ja_JP.UTF-8", 0, '.', ','}, {"C", 0, '.', ','},           {"", 0, '.', ','},
  };
  for (const Case& c : cases) {
    ScopedEnv env;
    env.Locale(c.lang);
    morvane::EngineStartup();
    EXPECT_EQ(Settings.DateConvention, c.convention) << c.lang;
    EXPECT_EQ(Settings.DecimalSeparator, c.decimal) << c.lang;
    EXPECT_EQ(Settings.ThousandSeparator, c.thousands) << c.lang;
    morvane::EngineShutdown();
  }
}

TEST_F(StartupTest, StartupRestoresTheStartState) {
  Errors.DbfError = 215;
  Errors.ErrorDetail = "left over";
  Errors.ErrorCheck = false;
  Errors.RaiseErrors = true;
  Errors.Halted = true;
  Errors.ErrorHook = [] {};
  Settings.CenturyOn = true;
  Settings.FileMode = 66;
  Settings.DateConvention = 8;
  morvane::EngineStartup();
  EXPECT_EQ(Errors.DbfError, 0);
  EXPECT_EQ(Errors.LastErrorCode, 0);
  EXPECT_EQ(Errors.ErrorDetail, "");
  EXPECT_TRUE(Errors.ErrorCheck);
  EXPECT_FALSE(Errors.RaiseErrors);
  EXPECT_FALSE(Errors.Halted);
  EXPECT_EQ(Errors.ErrorHook, nullptr);
  EXPECT_FALSE(Settings.CenturyOn);
  EXPECT_EQ(Settings.FileMode, 18u);
  EXPECT_EQ(Settings.DateConvention, 0);
  EXPECT_EQ(Settings.CenturyBase, CurrentYear() - 70);
  EXPECT_TRUE(morvane::EngineRunning());
}

TEST_F(StartupTest, DatasetStartupTakesThePlatformFormats) {
  struct Case {
    const char* picture;
    char separator;
    int convention;
    bool century;
    const char* rewritten;   // the platform's short date format afterwards
  };
  const Case cases[] = {
      {"dd.MM.yyyy", '.', 5, true, "dd.MM.yyyy"},  {"d.M.yy", '.', 5, false, "dd.MM.yy"},
      {"dd-MM-yy", '-', 3, false, "dd-MM-yy"},     {"dd/MM/yyyy", '/', 2, true, "dd/MM/yyyy"},
      {"D/m/YYYY", '/', 2, true, "dd/MM/yyyy"},    {"dd MM yyyy", ' ', 2, true, "dd/MM/yyyy"},
      {"yyyy-MM-dd", '-', 1, true, "yyyy.MM.dd"},  {"yy/MM/dd", '/', 1, false, "yy.MM.dd"},
      {"M/d/yyyy", '/', 0, true, "MM/dd/yyyy"},    {"MMM d yy", ' ', 0, false, "MM/dd/yy"},
  };
  for (const Case& c : cases) {
    platform::formats::SetShortDateFormat(c.picture);
    platform::formats::SetDateSeparator(c.separator);
    platform::formats::SetSeparators(',', '\'');
    morvane::DatasetStartup();
    EXPECT_EQ(Settings.DateConvention, c.convention) << c.picture;
    EXPECT_EQ(Settings.CenturyOn, c.century) << c.picture;
    EXPECT_EQ(platform::formats::Current().shortDateFormat, c.rewritten) << c.picture;
    EXPECT_EQ(Settings.DecimalSeparator, ',');
    EXPECT_EQ(Settings.ThousandSeparator, '\'');
  }
}

TEST(StartupLanguageTest, GermanDefaultsSelectConventionFiveWithCentury) {
  ScopedEnv env;
  env.Locale("de_DE.UTF-8");
  morvane::EngineStartup();
  morvane::DatasetStartup();
  EXPECT_EQ(Settings.DateConvention, 5);
  EXPECT_TRUE(Settings.CenturyOn);
  EXPECT_EQ(Settings.DecimalSeparator, ',');
  EXPECT_EQ(morvane::BlankDateText(Settings.DateConvention), "  .  .    ");
  EXPECT_EQ(platform::formats::Current().dateSeparator, '.');
  morvane::EngineShutdown();
}

// A test layer that logs its start-up and shut-down calls.
std::vector<std::string> gLog;
bool gThrowOnShutdown = false;
void LowReset() { gLog.push_back("reset low"); }
void LowInstall() { gLog.push_back("install low mode=" + std::to_string(Settings.FileMode)); }
void LowShutdown() { gLog.push_back("shutdown low"); }
void HighReset() { gLog.push_back("reset high"); }
void HighInstall() { gLog.push_back("install high"); }
void HighShutdown() {
  gLog.push_back("shutdown high");
  if (gThrowOnShutdown) throw std::runtime_error("close failed");
}

class LayerTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    // Registered in the "wrong" order: Order decides.
    morvane::RegisterEngineLayer({"test-high", 900, &HighReset, &HighInstall, &HighShutdown});
    morvane::RegisterEngineLayer({"test-low", 800, &LowReset, &LowInstall, &LowShutdown});
    gLog.clear();
    gThrowOnShutdown = false;
  }
  void TearDown() override {
    gThrowOnShutdown = false;
    morvane::RegisterEngineLayer({"test-high", 900, nullptr, nullptr, nullptr});
    morvane::RegisterEngineLayer({"test-low", 800, nullptr, nullptr, nullptr});
    EngineTest::TearDown();
  }
};

TEST_F(LayerTest, LayersRunInOrderAndShutDownInReverse) {
  morvane::EngineStartup();   // the engine was running: it is shut down first
  morvane::EngineShutdown();
  morvane::EngineShutdown();  // a second shut-down does nothing
  const std::vector<std::string> expected = {
      "shutdown high", "shutdown low", "reset low",    "reset high",
      "install low mode=18", "install high", "shutdown high", "shutdown low"};
  EXPECT_EQ(gLog, expected);
  EXPECT_FALSE(morvane::EngineRunning());
}

TEST_F(LayerTest, RegisteringANameAgainReplacesTheEntry) {
  morvane::RegisterEngineLayer({"test-high", 900, nullptr, nullptr, nullptr});
  morvane::EngineStartup();
  const std::vector<std::string> expected = {"shutdown low", "reset low", "install low mode=18"};
  EXPECT_EQ(gLog, expected);
}

TEST_F(LayerTest, AFailingShutdownDoesNotKeepOthersOpen) {
  gThrowOnShutdown = true;
  EXPECT_THROW(morvane::EngineShutdown(), std::runtime_error);
  const std::vector<std::string> expected = {"shutdown high", "shutdown low"};
  EXPECT_EQ(gLog, expected);
  EXPECT_FALSE(morvane::EngineRunning());
}

void AnnouncingShutdown() { std::fprintf(stderr, "layer closed\n"); }

using StartupDeathTest = EngineTest;

// A halt on an engine error still closes what the layers hold open.
TEST_F(StartupDeathTest, HaltRunsTheShutdown) {
  morvane::RegisterEngineLayer({"test-announcer", 950, nullptr, nullptr, &AnnouncingShutdown});
  morvane::EngineStartup();
  EXPECT_EXIT(morvane::ReportError(33, "File lock violation [RLOCK]"),
              ::testing::ExitedWithCode(33), "Program halted.(.|\n)*layer closed");
  morvane::RegisterEngineLayer({"test-announcer", 950, nullptr, nullptr, nullptr});
}

TEST(StartupLanguageTest, LanguageTable) {
  struct Case {
    const char* language;
    const char* country;
    int convention;
  };
  const Case cases[] = {{"de", "CH", 5}, {"en", "US", 0}, {"en", "AU", 2}, {"en", "", 2},
                        {"es", "MX", 6}, {"fr", "CA", 7}, {"fr", "BE", 4}, {"it", "CH", 3},
                        {"ru", "RU", 8}, {"pt", "BR", 0}, {"", "", 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(morvane::DateConventionForLanguage(c.language, c.country), c.convention)
        << c.language << "_" << c.country;
  }
}

}  // namespace
