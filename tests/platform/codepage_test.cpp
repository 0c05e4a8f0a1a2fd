// Windows-1252 <-> code page 437 translation, the Windows-1252 case rules and letter test, and
// UTF-8 at the edges.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage/codepage.h"

namespace cp = platform::codepage;

namespace {

char B(unsigned v) { return static_cast<char>(static_cast<unsigned char>(v)); }
unsigned U(char c) { return static_cast<unsigned char>(c); }

TEST(CodePageTest, CharactersOfBothPagesMapBothWays) {
  struct Case {
    unsigned ansi, oem;
    const char* what;
  };
  const Case cases[] = {
      {0xE9, 0x82, "e acute"},   {0xC4, 0x8E, "A diaeresis"}, {0xDF, 0xE1, "sharp s"},
      {0xFC, 0x81, "u diaeresis"}, {0xDC, 0x9A, "U diaeresis"}, {0xF6, 0x94, "o diaeresis"},
      {0xD6, 0x99, "O diaeresis"}, {0xE4, 0x84, "a diaeresis"}, {0xC7, 0x80, "C cedilla"},
      {0xF1, 0xA4, "n tilde"},   {0xD1, 0xA5, "N tilde"},     {0xC5, 0x8F, "A ring"},
      {0xE6, 0x91, "ae"},        {0xFF, 0x98, "y diaeresis"}, {0x83, 0x9F, "f hook"},
      {0xA3, 0x9C, "pound"},     {0xA5, 0x9D, "yen"},         {0xB0, 0xF8, "degree"},
      {0xB1, 0xF1, "plus-minus"}, {0xB5, 0xE6, "micro"},      {0xF7, 0xF6, "division"},
      {0xA0, 0xFF, "no-break space"}, {0xBF, 0xA8, "inverted question mark"},
      {0xB7, 0xFA, "middle dot"}, {0x95, 0xF9, "bullet"},
      {0xA7, 0x15, "section sign"}, {0xB6, 0x14, "pilcrow"},
      {'A', 'A', "ASCII"},       {'~', '~', "ASCII"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(U(cp::AnsiToOem(B(c.ansi))), c.oem);
    EXPECT_EQ(U(cp::OemToAnsi(B(c.oem))), c.ansi);
  }
}

TEST(CodePageTest, MissingCharactersTakeTheirBestFit) {
  struct Case {
    bool toOem;
    unsigned from;
    char to;
  };
  const Case cases[] = {
      {true, 0xC0, 'A'},  {true, 0xC9 - 1, 'E'}, {true, 0xD8, 'O'},  {true, 0x8A, 'S'},
      {true, 0x9C, 'o'},  {true, 0x9F, 'Y'},     {true, 0x85, '.'},  {true, 0x93, '"'},
      {true, 0x96, '-'},  {true, 0xD7, 'x'},     {true, 0x80, '?'},  {true, 0x81, '?'},
      {true, 0xDE, '?'},  {false, 0xC4, '-'},    {false, 0xB3, '|'}, {false, 0xCD, '='},
      {false, 0xC9, '+'}, {false, 0xC5, '+'},    {false, 0xE0, 'a'}, {false, 0xE3, 'p'},
      {false, 0xDB, '?'}, {false, 0xB0, '?'},    {false, 0x9E, 'P'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.toOem ? "to OEM " : "to ANSI ") + std::to_string(c.from));
    EXPECT_EQ(c.toOem ? cp::AnsiToOem(B(c.from)) : cp::OemToAnsi(B(c.from)), c.to);
  }
}

TEST(CodePageTest, RoundTripsKeepEverySharedCharacter) {
  // The two pages share ASCII, the control bytes and 54 characters above 0x7F; the bullet
  // pairs with the bullet operator, and the section sign and pilcrow with OEM 0x15 and 0x14.
  // Every one of them survives a round trip from either side; nothing else can.
  int ansiKept = 0, oemKept = 0;
  for (unsigned b = 0; b < 256; ++b) {
    char oem = cp::AnsiToOem(B(b));
    if (b < 0x80) {
      EXPECT_EQ(U(oem), b) << b;  // ASCII and the control bytes stay themselves
    }
    if (cp::OemToAnsi(oem) == B(b)) ++ansiKept;
    if (cp::AnsiToOem(cp::OemToAnsi(B(b))) == B(b)) ++oemKept;
  }
  EXPECT_EQ(ansiKept, 126 + 54 + 3);  // without the control bytes 0x14 and 0x15
  EXPECT_EQ(oemKept, 128 + 54 + 1);
  std::string text = "Gr\xFC\xDF" "e aus K\xF6ln: 5\xB0, \xA3" "3 \xB1 1 \xA7 2\r\n\t";
  EXPECT_EQ(cp::OemToAnsi(cp::AnsiToOem(text)), text);
  std::string buffer = text;
  cp::AnsiToOemBuffer(buffer.data(), buffer.size());
  EXPECT_EQ(buffer, cp::AnsiToOem(text));
  cp::OemToAnsiBuffer(buffer.data(), buffer.size());
  EXPECT_EQ(buffer, text);
  EXPECT_EQ(cp::AnsiToOem(std::string("a\0b", 3)), std::string("a\0b", 3));
}

// The buffer forms pass long runs of plain ASCII through unread; each byte value, put at every
// position of an ASCII text (the word boundaries of the fast path included), must still
// come out exactly as the one-character translation gives it.
TEST(CodePageTest, BufferTranslationMatchesEachCharacterAtEveryPosition) {
  const std::string ascii = "Census Tract 12, Area ~";
  for (unsigned b = 0; b < 256; ++b) {
    for (size_t at = 0; at < ascii.size(); ++at) {
      for (bool toOem : {true, false}) {
        std::string text = ascii;
        text[at] = B(b);
        std::string expected = text;
        for (char& c : expected) c = toOem ? cp::AnsiToOem(c) : cp::OemToAnsi(c);
        if (toOem) cp::AnsiToOemBuffer(text.data(), text.size());
        else cp::OemToAnsiBuffer(text.data(), text.size());
        ASSERT_EQ(text, expected) << "byte " << b << " at " << at << (toOem ? " to OEM" : " to ANSI");
      }
    }
  }
}

TEST(CaseTest, WindowsRulesForUpperLowerAndLetters) {
  struct Case {
    unsigned lower, upper;
  };
  const Case pairs[] = {
      {'a', 'A'}, {'z', 'Z'}, {0xE9, 0xC9}, {0xE4, 0xC4}, {0xF1, 0xD1}, {0xFE, 0xDE},
      {0xE0, 0xC0}, {0xF8, 0xD8}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E},
  };
  for (const Case& c : pairs) {
    SCOPED_TRACE(c.lower);
    EXPECT_EQ(U(cp::UpperAnsi(B(c.lower))), c.upper);
    EXPECT_EQ(U(cp::LowerAnsi(B(c.upper))), c.lower);
    EXPECT_EQ(U(cp::UpperAnsi(B(c.upper))), c.upper);
    EXPECT_EQ(U(cp::LowerAnsi(B(c.lower))), c.lower);
    EXPECT_TRUE(cp::IsAlphaAnsi(B(c.lower)));
    EXPECT_TRUE(cp::IsAlphaAnsi(B(c.upper)));
  }
  // Letters without a single-byte upper case keep theirs; Ÿ lowers to ÿ.
  for (unsigned keep : {0xDFu, 0xFFu, 0xB5u, 0xAAu, 0xBAu, 0x83u}) {
    EXPECT_EQ(U(cp::UpperAnsi(B(keep))), keep) << keep;
    EXPECT_TRUE(cp::IsAlphaAnsi(B(keep))) << keep;
  }
  EXPECT_EQ(U(cp::LowerAnsi(B(0x9F))), 0xFFu);
  // Not letters: digits, signs, the multiplication and division signs, the OEM-only range.
  const unsigned notLetters[] = {'0', '_', ' ', 0xD7, 0xF7, 0x80, 0x8B, 0x9B, 0xA9, 0xBF, 0x00};
  for (unsigned no : notLetters) {
    EXPECT_FALSE(cp::IsAlphaAnsi(B(no))) << no;
    EXPECT_EQ(U(cp::UpperAnsi(B(no))), no) << no;
    EXPECT_EQ(U(cp::LowerAnsi(B(no))), no) << no;
  }
  // Whatever changes case is a letter and stays one.
  for (unsigned b = 0; b < 256; ++b) {
    char up = cp::UpperAnsi(B(b)), low = cp::LowerAnsi(B(b));
    if (up != B(b) || low != B(b)) {
      EXPECT_TRUE(cp::IsAlphaAnsi(B(b))) << b;
    }
    EXPECT_EQ(cp::IsAlphaAnsi(up), cp::IsAlphaAnsi(B(b))) << b;
  }
  EXPECT_EQ(cp::UpperAnsi("stra\xDF" "e \xE9t\xE9 \x9Cuvre"), "STRA\xDF" "E \xC9T\xC9 \x8CUVRE");
  EXPECT_EQ(cp::LowerAnsi("K\xD6LN \x9F"), "k\xF6ln \xFF");
}

TEST(Utf8Test, ConvertsToAndFromWindows1252) {
  struct Case {
    std::string utf8, ansi;
  };
  const Case cases[] = {
      {"caf\xC3\xA9", "caf\xE9"},
      {"\xE2\x82\xAC 5", "\x80 5"},            // euro
      {"\xC5\xB8\xC5\xA1", "\x9F\x9A"},        // Ÿ š
      {"\xE2\x80\x9Cq\xE2\x80\x9D", "\x93q\x94"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ansi);
    EXPECT_EQ(cp::Utf8ToAnsi(c.utf8), c.ansi);
    EXPECT_EQ(cp::AnsiToUtf8(c.ansi), c.utf8);
  }
  const Case oneWay[] = {
      {"\xC4\x81", "?"},                  // ā is not in the page
      {"\xF0\x9F\x98\x80!", "?!"},        // one character beyond the BMP
      {"\xC3", "?"},                      // truncated
      {"a\xC3(", "a?("},
      {"\xC0\xAF", "??"},                 // overlong
      {"\xED\xA0\x80", "???"},            // a surrogate
      {"\x80x", "?x"},                    // a stray continuation byte
      {"\xF5\x80\x80\x80", "????"},       // above U+10FFFF
  };
  for (const Case& c : oneWay) {
    SCOPED_TRACE(c.ansi);
    EXPECT_EQ(cp::Utf8ToAnsi(c.utf8), c.ansi);
  }
  std::string all;
  for (unsigned b = 0; b < 256; ++b) all += B(b);
  EXPECT_EQ(cp::Utf8ToAnsi(cp::AnsiToUtf8(all)), all);
}

}  // namespace
