#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/util/startup.h"
#include "engine/util/texts.h"
#include "tests/util/util_test_env.h"

namespace {

using morvane::Settings;

class TextsTest : public utiltest::EngineTest {
 protected:
  // The separators of the two settings: "." with "," and "," with ".".
  void UseSeparators(char decimal) {
    Settings.DecimalSeparator = decimal;
    Settings.ThousandSeparator = decimal == '.' ? ',' : '.';
  }
};

TEST_F(TextsTest, TrimRemovesControlCodesAndBlanks) {
  struct Case {
    std::string text, both, left, right;
  };
  const Case cases[] = {
      {"", "", "", ""},
      {" \t \t ", "", "", ""},
      {std::string("\0\x01 a b\x1F ", 8), "a b", "a b\x1F ", std::string("\0\x01 a b", 6)},
      {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},   // 160 is not a blank code
      {"abc", "abc", "abc", "abc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(morvane::Trim(c.text), c.both);
    EXPECT_EQ(morvane::TrimLeft(c.text), c.left);
    EXPECT_EQ(morvane::TrimRight(c.text), c.right);
  }
}

TEST_F(TextsTest, ReplicateOfNothingOrLess) {
  const std::string code = "14015003001";  // 11 characters: no padding dots
  EXPECT_EQ(morvane::Replicate('.', 11 - static_cast<int>(code.size())), "");
  EXPECT_EQ(morvane::Replicate('.', -3), "");
  EXPECT_EQ(morvane::Replicate('.', 3), "...");
}

TEST_F(TextsTest, CaseAndLetterTestIncludeAccentedLetters) {
  EXPECT_EQ(morvane::UpperText("abc \xE9\xE4 1"), "ABC \xC9\xC4 1");
  EXPECT_EQ(morvane::LowerText("ABC \xC9\xC4 1"), "abc \xE9\xE4 1");
  EXPECT_EQ(morvane::UpperChar('\xF6'), '\xD6');
  EXPECT_EQ(morvane::LowerChar('Q'), 'q');
  EXPECT_TRUE(morvane::IsAlphaFirst("\xE9t\xE9"));
  EXPECT_TRUE(morvane::IsAlphaFirst("x1"));
  EXPECT_FALSE(morvane::IsAlphaFirst("1x"));
  EXPECT_FALSE(morvane::IsAlphaFirst(" x"));
  EXPECT_FALSE(morvane::IsAlphaFirst(""));
}

TEST_F(TextsTest, CountOfCountsNonOverlappingOccurrences) {
  struct Case {
    const char* sub;
    const char* text;
    int count;
  };
  const Case cases[] = {
      {"aa", "aaaa", 2},  {"aa", "aaaaa", 2}, {"a", "banana", 3}, {"ana", "banana", 1},
      {"x", "banana", 0}, {"", "banana", 0},  {"a", "", 0},       {"banana!", "banana", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(morvane::CountOf(c.sub, c.text), c.count) << c.sub << " in " << c.text;
}

TEST_F(TextsTest, NthPosFindsOverlappingOccurrences) {
  struct Case {
    int n;
    const char* sub;
    const char* text;
    int pos;
  };
  const Case cases[] = {
      {1, "a", "banana", 2},  {3, "a", "banana", 6},  {4, "a", "banana", 0},
      {1, "ana", "banana", 2}, {2, "ana", "banana", 4}, {3, "ana", "banana", 0},
      {3, "aa", "aaaa", 3},   {4, "aa", "aaaa", 0},   {2, ",", "a,b,c", 4},
      {0, "a", "banana", 0},  {-1, "a", "banana", 0}, {1, "", "banana", 0},
      {1, "a", "", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(morvane::NthPos(c.n, c.sub, c.text), c.pos) << c.n << " " << c.sub << " in " << c.text;
  }
}

TEST_F(TextsTest, RemoveKeywordOnlyAsAWholeWordOnTheRight) {
  struct Case {
    const char* keyword;
    const char* text;
    bool removed;
    const char* result;
  };
  const Case cases[] = {
      {" EXCLUSIVE", "pct12.dbf exclusive", true, "PCT12.DBF"},
      {" EXCLUSIVE", "pct12.dbf EXCLUSIVE alias ax ", true, "PCT12.DBF ALIAS AX"},
      {" EXCLUSIVE", "a exclusive b exclusive", true, "A B"},
      {" EXCLUSIVE", "t EXCLUSIVE_1", false, "T EXCLUSIVE_1"},
      {" EXCLUSIVE", "t EXCLUSIVEX", false, "T EXCLUSIVEX"},
      {" EXCLUSIVE", "t EXCLUSIVE1", false, "T EXCLUSIVE1"},
      {" EXCLUSIVE", "t EXCLUSIVE\\x", false, "T EXCLUSIVE\\X"},
      {" EXCLUSIVE", "t exclusive\xE9", false, "T EXCLUSIVE\xC9"},  // an accented letter joins
      {" EXCLUSIVE", "t exclusive_1 exclusive", true, "T EXCLUSIVE_1"},
      {" EXCLUSIVE", "t exclusive.", true, "T."},
      {"", "  keep Case  ", false, "keep Case"},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(morvane::RemoveKeyword(c.keyword, text), c.removed) << c.text;
    EXPECT_EQ(text, c.result) << c.text;
  }
}

TEST_F(TextsTest, IntToTextWidthNeverCuts) {
  EXPECT_EQ(morvane::IntToTextWidth(5, 3), "  5");
  EXPECT_EQ(morvane::IntToTextWidth(-5, 3), " -5");
  EXPECT_EQ(morvane::IntToTextWidth(123456, 3), "123456");
  EXPECT_EQ(morvane::IntToTextWidth(0, 0), "0");
  EXPECT_EQ(morvane::IfText(true, "a", "b") + morvane::IfText(false, "a", "b"), "ab");
}

TEST_F(TextsTest, NumberToText) {
  struct Case {
    char decimal;
    int width, decimals;
    double x;
    const char* text;
  };
  const Case cases[] = {
      {'.', 10, 2, 3.14159, "      3.14"},
      {'.', 0, 2, 2.675, "2.68"},        // rounded as written, not as the nearest double
      {'.', 0, 2, 0.125, "0.13"},
      {'.', 0, 0, 2.5, "3"},
      {'.', 0, 0, -2.5, "-3"},
      {'.', 0, 2, 9.999, "10.00"},
      {'.', 0, 2, -0.001, "0.00"},       // no "-0.00"
      {'.', 5, 0, 42, "   42"},
      {'.', 2, 3, 1234.5, "1234.500"},   // wider than Width: not cut
      {',', 8, 2, 1234.5, " 1234,50"},
      {',', 0, 0, 1234.0, "1234"},
      {'.', 0, 1, 1e35, "100000000000000000000000000000000000.0"},
      {'.', 0, 2, 5e-324, "0.00"},
      {'.', 0, 3, 1.7976931348623157e308, ""},  // 309 digits: only the length is checked
      {'.', 0, 2, 0.005, "0.01"},
      {'.', 0, 2, 0.004999, "0.00"},
      {'.', 0, 4, 123.0, "123.0000"},
  };
  for (const Case& c : cases) {
    UseSeparators(c.decimal);
    const std::string text = morvane::NumberToText(c.width, c.decimals, c.x);
    if (*c.text == '\0') {
      EXPECT_EQ(text.size(), 309u + 4u);
    } else {
      EXPECT_EQ(text, c.text) << c.x;
    }
  }
  EXPECT_EQ(morvane::NumberToText(0, 2, std::nan("")), "NAN");
  EXPECT_EQ(morvane::NumberToText(0, 2, -HUGE_VAL), "-INF");
}

TEST_F(TextsTest, CleanNumberTextInBothSeparatorSettings) {
  struct Case {
    char decimal;
    const char* text;
    const char* clean;
  };
  const Case cases[] = {
      {'.', "", ""},
      {'.', "$1,234.50", "1234.50"},
      {'.', "-.5", "-0.5"},
      {'.', "12 kg", "12"},
      {'.', "  ++42", "42"},
      {'.', "- -+3", "-3"},
      {'.', "-", ""},
      {'.', "$", ""},
      {'.', "- $", ""},
      {'.', "1.", "1"},
      {'.', ".", "0"},
      {'.', ".25", "0.25"},
      {'.', "1-2", "1"},
      {'.', "1.2.3", "1.2.3"},
      {'.', "abc", ""},
      {'.', "1e5", "1"},
      {'.', "12,5", "125"},
      {',', "1.234,50", "1234.50"},
      {',', "-,5", "-0.5"},
      {',', ",5", "0.5"},
      {',', "1,2,3", "1.2"},
      {',', "$ 1.000", "1000"},
      {',', "12.5", "125"},
  };
  for (const Case& c : cases) {
    UseSeparators(c.decimal);
    std::string text = c.text;
    morvane::CleanNumberText(text);
    EXPECT_EQ(text, c.clean) << "'" << c.text << "' with " << c.decimal;
  }
}

TEST_F(TextsTest, TextToRealAndInt32) {
  struct Case {
    char decimal;
    const char* text;
    double real;
    int32_t whole;
  };
  const Case cases[] = {
      {'.', "", 0, 0},
      {'.', "1,234.5", 1234.5, 1234},
      {'.', "-.25", -0.25, 0},
      {'.', "-3.9", -3.9, -3},
      {'.', "1.2.3", 0, 1},          // not a number after cleaning; the whole part is 1
      {'.', "-abc", 0, 0},
      {'.', "99999999999", 99999999999.0, 2147483647},
      {'.', "-99999999999", -99999999999.0, -2147483647 - 1},
      {',', "1.234,5", 1234.5, 1234},
      {',', "12,7", 12.7, 12},
      {',', "-0,5", -0.5, 0},
  };
  for (const Case& c : cases) {
    UseSeparators(c.decimal);
    EXPECT_DOUBLE_EQ(morvane::TextToReal(c.text), c.real) << c.text;
    EXPECT_EQ(morvane::TextToInt32(c.text), c.whole) << c.text;
  }
}

TEST_F(TextsTest, TextToInt16ClampsAndCutsAtTheFirstBlank) {
  struct Case {
    char decimal;
    const char* text;
    int16_t value;
  };
  const Case cases[] = {
      {'.', "", 0},
      {'.', "  + 12", 12},
      {'.', "40000", 32767},
      {'.', "-40000", -32768},
      {'.', "99999999999999999999999999", 32767},
      {'.', "1,000", 1000},
      {',', "1.000", 1000},
      {',', "1,5", 1},            // "," is not a thousands separator here and ends the number
      {'.', "$15", 15},
      {'.', "12 34", 12},
      {'.', "12abc", 12},
      {'.', "-", 0},
      {'.', "1-2", 0},
      {'.', "abc", 0},
      {'.', "++5", 0},            // only one "+" is skipped
  };
  for (const Case& c : cases) {
    UseSeparators(c.decimal);
    EXPECT_EQ(morvane::TextToInt16(c.text), c.value) << "'" << c.text << "'";
  }
}

}  // namespace
