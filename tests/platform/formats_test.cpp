// The user's language and the platform formats taken from the locale environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <vector>
#include <string>

#include "platform/formats/formats.h"

namespace fmt = platform::formats;

namespace {

const char* const kVariables[] = {"LC_ALL", "LC_MESSAGES", "LC_TIME", "LC_NUMERIC", "LANG"};

// Clears the locale variables for one test and puts the old values back afterwards.
class LocaleEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) setenv(kVariables[i], saved_[i]->c_str(), 1);
      else unsetenv(kVariables[i]);
    }
    fmt::ResetFromEnvironment();
  }
  std::vector<std::optional<std::string>> saved_;
};

struct Case {
  const char* lang;
  const char* language;
  const char* country;
  const char* shortDate;
  char dateSeparator, decimal, thousands;
};

TEST_F(LocaleEnvironment, FormatsOfEachLanguage) {
  const Case cases[] = {
      {nullptr, "en", "US", "M/d/yyyy", '/', '.', ','},
      {"", "en", "US", "M/d/yyyy", '/', '.', ','},
      {"C", "en", "US", "M/d/yyyy", '/', '.', ','},
      {"POSIX", "en", "US", "M/d/yyyy", '/', '.', ','},
      {"C.UTF-8", "en", "US", "M/d/yyyy", '/', '.', ','},
      {"en_US.UTF-8", "en", "US", "M/d/yyyy", '/', '.', ','},
      {"en_GB.UTF-8", "en", "GB", "dd/MM/yyyy", '/', '.', ','},
      {"en_AU", "en", "AU", "dd/MM/yyyy", '/', '.', ','},
      {"en_IE.UTF-8", "en", "IE", "dd/MM/yyyy", '/', '.', ','},
      {"en_NZ", "en", "NZ", "dd/MM/yyyy", '/', '.', ','},
      {"en_CA.UTF-8", "en", "CA", "dd/MM/yyyy", '/', '.', ','},
      {"de_DE.UTF-8", "de", "DE", "dd.MM.yyyy", '.', ',', '.'},
      {"de_AT@euro", "de", "AT", "dd.MM.yyyy", '.', ',', '.'},
      {"de_CH.UTF-8", "de", "CH", "dd.MM.yyyy", '.', '.', '\''},
      {"de", "de", "DE", "dd.MM.yyyy", '.', ',', '.'},
      {"fr_FR.UTF-8", "fr", "FR", "dd/MM/yyyy", '/', ',', ' '},
      {"fr_CA.UTF-8", "fr", "CA", "yyyy-MM-dd", '-', ',', ' '},
      {"es_ES.UTF-8", "es", "ES", "dd/MM/yyyy", '/', ',', '.'},
      {"it_IT.UTF-8", "it", "IT", "dd/MM/yyyy", '/', ',', '.'},
      {"ru_RU.UTF-8", "ru", "RU", "dd.MM.yyyy", '.', ',', ' '},
      {"nl_NL.UTF-8", "nl", "NL", "d-M-yyyy", '-', ',', '.'},
      {"pt_BR.UTF-8", "pt", "BR", "dd/MM/yyyy", '/', ',', '.'},
      {"sv_SE.UTF-8", "sv", "SE", "yyyy-MM-dd", '-', ',', ' '},
      {"ja_JP.UTF-8", "ja", "JP", "yyyy/MM/dd", '/', '.', ','},
      {"zh_CN.UTF-8", "zh", "CN", "yyyy/M/d", '/', '.', ','},
      {"de-DE", "de", "DE", "dd.MM.yyyy", '.', ',', '.'},
      {"DE_de", "de", "DE", "dd.MM.yyyy", '.', ',', '.'},
      {"de_XX", "de", "XX", "dd.MM.yyyy", '.', ',', '.'},  // known language, unknown country
      {"pl_PL.UTF-8", "en", "US", "M/d/yyyy", '/', '.', ','},  // unknown language
      {"12_34", "en", "US", "M/d/yyyy", '/', '.', ','},
      {"x", "en", "US", "M/d/yyyy", '/', '.', ','},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang ? c.lang : "(unset)");
    if (c.lang) setenv("LANG", c.lang, 1);
    else unsetenv("LANG");
    fmt::ResetFromEnvironment();
    fmt::UserLanguage user = fmt::DefaultUserLanguage();
    EXPECT_EQ(user.language, c.language);
    EXPECT_EQ(user.country, c.country);
    const fmt::Formats& f = fmt::Current();
    EXPECT_EQ(f.shortDateFormat, c.shortDate);
    EXPECT_EQ(f.dateSeparator, c.dateSeparator);
    EXPECT_EQ(f.decimalSeparator, c.decimal);
    EXPECT_EQ(f.thousandsSeparator, c.thousands);
  }
}

TEST_F(LocaleEnvironment, EachSettingReadsItsOwnVariables) {
  setenv("LANG", "de_DE.UTF-8", 1);
  setenv("LC_TIME", "en_US.UTF-8", 1);
  setenv("LC_NUMERIC", "fr_FR.UTF-8", 1);
  setenv("LC_MESSAGES", "it_IT.UTF-8", 1);
  fmt::ResetFromEnvironment();
  EXPECT_EQ(fmt::DefaultUserLanguage().language, "it");
  EXPECT_EQ(fmt::Current().shortDateFormat, "M/d/yyyy");
  EXPECT_EQ(fmt::Current().decimalSeparator, ',');
  EXPECT_EQ(fmt::Current().thousandsSeparator, ' ');

  unsetenv("LC_MESSAGES");
  EXPECT_EQ(fmt::DefaultUserLanguage().language, "en");  // from LC_TIME now
  unsetenv("LC_TIME");
  EXPECT_EQ(fmt::DefaultUserLanguage().language, "de");

  // LC_ALL overrides everything; an empty LC_ALL counts as unset.
  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  fmt::ResetFromEnvironment();
  EXPECT_EQ(fmt::DefaultUserLanguage().language, "ru");
  EXPECT_EQ(fmt::Current().shortDateFormat, "dd.MM.yyyy");
  EXPECT_EQ(fmt::Current().thousandsSeparator, ' ');
  setenv("LC_ALL", "", 1);
  fmt::ResetFromEnvironment();
  EXPECT_EQ(fmt::DefaultUserLanguage().language, "de");
  EXPECT_EQ(fmt::Current().shortDateFormat, "dd.MM.yyyy");
  EXPECT_EQ(fmt::Current().decimalSeparator, ',');  // LC_NUMERIC fr_FR
}

TEST_F(LocaleEnvironment, EngineSettingsLastUntilReset) {
  setenv("LANG", "de_DE.UTF-8", 1);
  fmt::ResetFromEnvironment();
  fmt::SetShortDateFormat("MM/dd/yy");
  fmt::SetDateSeparator('/');
  fmt::SetSeparators('.', ',');
  setenv("LANG", "fr_FR.UTF-8", 1);  // not read until the reset
  EXPECT_EQ(fmt::Current().shortDateFormat, "MM/dd/yy");
  EXPECT_EQ(fmt::Current().dateSeparator, '/');
  EXPECT_EQ(fmt::Current().decimalSeparator, '.');
  EXPECT_EQ(fmt::Current().thousandsSeparator, ',');
  fmt::ResetFromEnvironment();
  EXPECT_EQ(fmt::Current().shortDateFormat, "dd/MM/yyyy");
  EXPECT_EQ(fmt::Current().decimalSeparator, ',');
}

}  // namespace
