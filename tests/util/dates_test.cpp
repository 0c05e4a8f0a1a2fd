#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/util/dates.h"
#include "engine/util/files.h"
#include "engine/util/startup.h"
#include "platform/formats/formats.h"
#include "tests/util/util_test_env.h"

namespace {

using morvane::Settings;

class DatesTest : public utiltest::EngineTest {
 protected:
  void Use(int convention, bool century, int base = 1956) {
    Settings.CenturyBase = base;
    Settings.CenturyOn = century;
    morvane::SetDateConvention(convention);
  }
};

TEST_F(DatesTest, BlankDateTexts) {
  struct Case {
    int convention;
    const char* twoDigit;
    const char* fourDigit;
  };
  const Case cases[] = {
      {0, "  /  /  ", "  /  /    "}, {1, "  .  .  ", "    .  .  "}, {2, "  /  /  ", "  /  /    "},
      {3, "  -  -  ", "  -  -    "}, {4, "  .  .  ", "  .  .    "}, {5, "  .  .  ", "  .  .    "},
      {6, "  .  .  ", "  .  .    "}, {7, "  .  .  ", "  .  .    "}, {8, "  .  .  ", "  .  .    "},
      {9, "  /  /  ", "  /  /    "},
  };
  for (const Case& c : cases) {
    Settings.CenturyOn = false;
    EXPECT_EQ(morvane::BlankDateText(c.convention), c.twoDigit) << c.convention;
    Settings.CenturyOn = true;
    EXPECT_EQ(morvane::BlankDateText(c.convention), c.fourDigit) << c.convention;
  }
}

TEST_F(DatesTest, CenturyWindowEdges) {
  struct Case {
    int base;
    const char* yy;
    int century;
  };
  const Case cases[] = {{1956, "55", 2000}, {1956, "56", 1900}, {1956, "00", 2000},
                        {1956, "99", 1900}, {2000, "00", 2000}, {2000, "99", 2000},
                        {1999, "98", 2000}, {1999, "99", 1900}, {1956, "xx", 2000}};
  for (const Case& c : cases) {
    Settings.CenturyBase = c.base;
    EXPECT_EQ(morvane::CenturyOf(c.yy), c.century) << c.base << " " << c.yy;
    EXPECT_EQ(morvane::CenturyDigits(c.yy), std::to_string(c.century / 100));
  }
}

TEST_F(DatesTest, ExpandYear) {
  Use(0, true);
  EXPECT_EQ(morvane::ExpandYear("30"), "2030");
  EXPECT_EQ(morvane::ExpandYear("70"), "1970");
  EXPECT_EQ(morvane::ExpandYear("2011"), "2011");
  EXPECT_EQ(morvane::ExpandYear("5"), "0005");
  EXPECT_EQ(morvane::ExpandYear("123"), "0123");
  Use(0, false);
  EXPECT_EQ(morvane::ExpandYear("30"), "30");
  EXPECT_EQ(morvane::ExpandYear("2011"), "2011");
}

// 31 January 2011 in every convention, both ways, with and without the century; the platform's
// short date format follows the convention.
TEST_F(DatesTest, EveryConventionBothWays) {
  struct Case {
    int convention;
    const char* native2;
    const char* native4;
    const char* picture2;
    char separator;
  };
  const Case cases[] = {
      {0, "01/31/11", "01/31/2011", "MM/dd/yy", '/'}, {1, "11.01.31", "2011.01.31", "yy.MM.dd", '.'},
      {2, "31/01/11", "31/01/2011", "dd/MM/yy", '/'}, {3, "31-01-11", "31-01-2011", "dd-MM-yy", '-'},
      {4, "31.01.11", "31.01.2011", "dd.MM.yy", '.'}, {5, "31.01.11", "31.01.2011", "dd.MM.yy", '.'},
      {6, "31.01.11", "31.01.2011", "dd.MM.yy", '.'}, {7, "31.01.11", "31.01.2011", "dd.MM.yy", '.'},
      {8, "31.01.11", "31.01.2011", "dd.MM.yy", '.'},
  };
  for (const Case& c : cases) {
    for (bool century : {false, true}) {
      Use(c.convention, century);
      const std::string native = century ? c.native4 : c.native2;
      std::string text = native;
      morvane::ToAmericanDate(text);
      EXPECT_EQ(text, century ? "01/31/2011" : "01/31/11") << c.convention;
      morvane::FromAmericanDate(text);
      EXPECT_EQ(text, native) << c.convention;
      std::string picture = c.picture2;
      if (century) picture.replace(picture.find("yy"), 2, "yyyy");
      EXPECT_EQ(platform::formats::Current().shortDateFormat, picture);
      EXPECT_EQ(platform::formats::Current().dateSeparator, c.separator);
    }
  }
}

TEST_F(DatesTest, ToAmericanDateOrderComesFromTheConvention) {
  struct Case {
    int convention;
    bool century;
    std::string text;
    std::string american;
  };
  const Case cases[] = {
      {0, true, "1-31-2011", "01/31/2011"},       // "-" read in the American order all the same
      {0, false, "1.31.11", "01/31/11"},
      {2, false, "31.1.11", "01/31/11"},
      {1, true, "11/1/31", "01/31/2011"},
      {0, false, "20110131", "20110131"},         // no separator: unchanged
      {0, false, std::string("1/31/11\0/5", 10), "01/31/11"},
      {0, false, " 1 / 2 / 3 ", "01/02/03"},
      {0, false, "  /  /  ", "  /  /  "},
      {5, true, " .  . ", "  /  /    "},
      {0, false, "1/2/3/4", "01/02/3/4"},
  };
  for (const Case& c : cases) {
    Use(c.convention, c.century);
    std::string text = c.text;
    morvane::ToAmericanDate(text);
    EXPECT_EQ(text, c.american) << c.text;
  }
}

TEST_F(DatesTest, ValidDateTextChecksAndNormalises) {
  struct Case {
    int convention;
    bool century;
    const char* text;
    bool valid;
    const char* result;   // the text afterwards (unchanged when not valid)
  };
  const Case cases[] = {
      {0, true, "1/2/30", true, "01/02/2030"},
      {0, true, "1/2/70", true, "01/02/1970"},
      {0, true, "1/1/55", true, "01/01/2055"},
      {0, true, "1/1/56", true, "01/01/1956"},
      {0, true, "02/29/1900", false, "02/29/1900"},
      {0, true, "02/29/2000", true, "02/29/2000"},
      {0, true, "2/29/2004", true, "02/29/2004"},
      {0, true, "2/29/2100", false, "2/29/2100"},
      {0, false, "02/29/00", true, "02/29/00"},      // 2000
      {0, false, "02/29/56", true, "02/29/56"},      // 1956
      {0, false, "02/29/55", false, "02/29/55"},     // 2055
      {0, true, "2/30/2000", false, "2/30/2000"},
      {0, true, "4/31/2011", false, "4/31/2011"},
      {0, true, "12/31/2011", true, "12/31/2011"},
      {0, true, "13/01/2011", false, "13/01/2011"},
      {0, true, "0/10/2011", false, "0/10/2011"},
      {0, true, "1/32/2011", false, "1/32/2011"},
      {0, true, "1/0/2011", false, "1/0/2011"},
      {0, true, "ab/01/2011", false, "ab/01/2011"},
      {0, false, "1/2/123", false, "1/2/123"},
      {0, false, "20110131", false, "20110131"},
      {0, false, "", false, ""},
      {5, false, "31.1.2011", true, "31.01.11"},
      {5, true, " 31.1.11 ", true, "31.01.2011"},
      {2, true, "1/2/2011", true, "01/02/2011"},
      {3, false, "1-2-2011", true, "01-02-11"},
      {1, true, "11.1.2", true, "2011.01.02"},
      {8, false, "1.2.11", true, "01.02.11"},
      {0, false, "  /  /  ", true, "  /  /  "},
      {5, true, "  .  .    ", true, "  .  .    "},
      {1, false, "  .  .  ", true, "  .  .  "},
      {3, true, "  /  /", true, "  -  -    "},
  };
  for (const Case& c : cases) {
    Use(c.convention, c.century);
    std::string text = c.text;
    EXPECT_EQ(morvane::ValidDateText(text), c.valid) << c.convention << " '" << c.text << "'";
    EXPECT_EQ(text, c.result) << c.convention << " '" << c.text << "'";
  }
}

TEST_F(DatesTest, YYYYMMDDBothWays) {
  Use(0, false);
  EXPECT_EQ(morvane::DateToYYYYMMDD("01/31/11"), "20110131");
  EXPECT_EQ(morvane::DateToYYYYMMDD("01/31/56"), "19560131");
  EXPECT_EQ(morvane::DateToYYYYMMDD("  /  /  "), "        ");
  EXPECT_EQ(morvane::YYYYMMDDToDate("20110131"), "01/31/11");
  EXPECT_EQ(morvane::YYYYMMDDToDate("        "), "  /  /  ");
  Use(2, true);
  EXPECT_EQ(morvane::YYYYMMDDToDate("20110131"), "31/01/2011");
  EXPECT_EQ(morvane::DateToYYYYMMDD("31/01/2011"), "20110131");
  EXPECT_EQ(morvane::YYYYMMDDToDate("        "), "  /  /    ");
  Use(1, true);
  EXPECT_EQ(morvane::YYYYMMDDToDate("20110131"), "2011.01.31");
  EXPECT_EQ(morvane::DateToYYYYMMDD("2011.01.31"), "20110131");
  Use(5, false);
  EXPECT_EQ(morvane::DateToYYYYMMDD("31.01.11"), "20110131");
  EXPECT_EQ(morvane::YYYYMMDDToDate("2011"), "00.00.11");   // short input: no overrun
  EXPECT_EQ(morvane::DateToYYYYMMDD("x").size(), 8u);
}

int DaysFromCivil(int y, int m, int d) {  // days since 1970-01-01 (proleptic Gregorian)
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

TEST_F(DatesTest, DayOfWeekAgreesWithTheCalendar) {
  Use(0, true);
  EXPECT_EQ(morvane::DateDayOfWeek("01/01/2000"), 7);
  EXPECT_EQ(morvane::DateDayOfWeek("03/01/2000"), 4);
  EXPECT_EQ(morvane::DateDayOfWeek("01/01/1900"), 2);
  // Every day from 1890 to 2110 (1 January 1970 was a Thursday, day 5).
  for (int y = 1890; y <= 2110; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= 31; ++d) {
        char text[16];
        std::snprintf(text, sizeof text, "%02d/%02d/%04d", m, d, y);
        std::string check = text;
        if (!morvane::ValidDateText(check)) continue;
        const int expected = ((DaysFromCivil(y, m, d) % 7 + 7 + 4) % 7) + 1;
        ASSERT_EQ(morvane::DateDayOfWeek(text), expected) << text;
      }
    }
  }
  // Two-digit years take their century from the window.
  Use(0, false, 1956);
  EXPECT_EQ(morvane::DateDayOfWeek("01/01/00"), 7);
  EXPECT_EQ(morvane::DateDayOfWeek("01/01/99"), 6);   // 1999 was a Friday
}

TEST_F(DatesTest, DayNamesPaddedToTheirTable) {
  struct Case {
    int convention;
    const char* date;
    std::string name;
  };
  const Case cases[] = {
      {0, "01/01/2000", "Saturday "},
      {2, "02/01/2000", "Sunday   "},
      {3, "03-01-2000", "Lunedi   "},
      {4, "01.01.2000", "Samedi  "},
      {5, "06.01.2000", "Donnerstag"},
      {6, "05.01.2000", "Miercoles"},
      {7, "04.01.2000", "Mardi   "},
      {8, "02.01.2000", "\x82\xAE\xE1\xAA\xE0\xA5\xE1\xA5\xAD\xEC\xA5"},   // Sunday, 866
      {8, "05.01.2000", "\x91\xE0\xA5\xA4\xA0      "},                       // Wednesday
      {0, "  /  /    ", "          "},
  };
  for (const Case& c : cases) {
    Use(c.convention, true);
    EXPECT_EQ(morvane::DayName(c.date), c.name) << c.convention << " " << c.date;
  }
}

TEST_F(DatesTest, MonthNamesPaddedToTheirTable) {
  struct Case {
    int convention;
    const char* date;
    std::string name;
  };
  const Case cases[] = {
      {0, "09/01/2000", "September"},
      {1, "2000.05.01", "May      "},
      {3, "01-02-2000", "Febbraio "},
      {4, "01.02.2000", "F\x82vrier  "},          // code page 437
      {4, "01.08.2000", "Ao\x96t     "},
      {4, "01.12.2000", "D\x82" "cembre "},
      {5, "01.03.2000", "M\x84rz     "},
      {6, "01.09.2000", "Septiembre"},
      {8, "01.09.2000", "\x91\xA5\xAD\xE2\xEF\xA1\xE0\xEC"},   // 866, width 8
      {8, "01.05.2000", "\x8C\xA0\xA9     "},
      {0, "  /  /    ", "         "},
      {0, "13/01/2000", "         "},   // no such month: blanks, no overrun
  };
  for (const Case& c : cases) {
    Use(c.convention, true);
    EXPECT_EQ(morvane::MonthName(c.date), c.name) << c.convention << " " << c.date;
  }
}

TEST_F(DatesTest, DatePartsAsNumbers) {
  Use(0, true);
  EXPECT_EQ(morvane::DateMonth("01/31/2011"), 1);
  EXPECT_EQ(morvane::DateDay("01/31/2011"), 31);
  EXPECT_EQ(morvane::DateYear("01/31/2011"), 2011);
  EXPECT_EQ(morvane::DateYear("ab/cd/efgh"), 0);
  EXPECT_EQ(morvane::DateDay("ab/cd/efgh"), 0);
  EXPECT_EQ(morvane::DateMonth("ab/cd/efgh"), 0);
  EXPECT_EQ(morvane::DateYear(""), 0);
  Use(5, false);
  EXPECT_EQ(morvane::DateMonth("31.01.11"), 1);
  EXPECT_EQ(morvane::DateDay("31.01.11"), 31);
  EXPECT_EQ(morvane::DateYear("31.01.11"), 11);
}

TEST_F(DatesTest, SetDateConventionOutOfRangeIsAmerican) {
  for (int c : {9, 100, -1}) {
    Use(c, false);
    EXPECT_EQ(Settings.DateConvention, 0);
    EXPECT_EQ(platform::formats::Current().shortDateFormat, "MM/dd/yy");
  }
  Settings.DateConvention = 5;
  morvane::SetCenturyOn(true);
  EXPECT_EQ(platform::formats::Current().shortDateFormat, "dd.MM.yyyy");
}

}  // namespace
