// The ANSI <-> OEM translation tables (Windows-1252 <-> code page 437), built once from the
// Unicode mapping of both pages and a best-fit list, as CharToOemBuffA / OemToCharBuffA do:
//
// - a character both pages hold maps to it, so such characters survive a round trip;
// - a character only one page holds maps to its best fit in the other (an accented capital to
//   its base letter, a box-drawing line to "-", "|", "=" or "+", a Greek letter to a Latin one),
//   and to "?" when nothing is close;
// - the control bytes 0x00-0x1F and 0x7F stay as they are in both directions (tabs, line ends
//   and other control bytes in memo texts come through unchanged);
// - "§" and "¶" go to 0x15 and 0x14, where code page 437 shows them (the DOS convention), and
//   OEM 0x15 and 0x14 come back as "§" and "¶". Those two control bytes therefore do not
//   survive an ANSI -> OEM -> ANSI round trip; the printable characters do.
#include <array>
#include <cstdint>

#include "platform/codepage/codepage_tables.h"

namespace platform::codepage::detail {

namespace {

// Unicode of Windows-1252 0x80..0x9F (0xA0..0xFF are the Latin-1 code points). The five bytes
// Windows leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) are the C1 controls of their value.
constexpr std::array<uint16_t, 32> kAnsiHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

// Unicode of code page 437 0x80..0xFF.
constexpr std::array<uint16_t, 128> kOemHigh = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

// Best fits: a character missing from the target page is replaced by this one when the target
// has it. Characters not listed (and fits the target lacks) become "?".
struct Fit {
  uint16_t from;
  uint16_t to;
};
constexpr Fit kBestFit[] = {
    // Windows-1252 letters code page 437 lacks.
    {0x00C0, 'A'}, {0x00C1, 'A'}, {0x00C2, 'A'}, {0x00C3, 'A'}, {0x00C8, 'E'}, {0x00CA, 'E'},
    {0x00CB, 'E'}, {0x00CC, 'I'}, {0x00CD, 'I'}, {0x00CE, 'I'}, {0x00CF, 'I'}, {0x00D0, 'D'},
    {0x00D2, 'O'}, {0x00D3, 'O'}, {0x00D4, 'O'}, {0x00D5, 'O'}, {0x00D8, 'O'}, {0x00D9, 'U'},
    {0x00DA, 'U'}, {0x00DB, 'U'}, {0x00DD, 'Y'}, {0x00E3, 'a'}, {0x00F0, 'd'}, {0x00F5, 'o'},
    {0x00F8, 'o'}, {0x00FD, 'y'}, {0x0160, 'S'}, {0x0161, 's'}, {0x0152, 'O'}, {0x0153, 'o'},
    {0x017D, 'Z'}, {0x017E, 'z'}, {0x0178, 'Y'},
    // Windows-1252 signs and punctuation code page 437 lacks.
    {0x00D7, 'x'}, {0x00A6, '|'}, {0x00A8, '"'}, {0x00A9, 'c'}, {0x00AD, '-'}, {0x00AE, 'r'},
    {0x00AF, '-'}, {0x00B3, '3'}, {0x00B4, '\''}, {0x00B8, ','}, {0x00B9, '1'}, {0x201A, ','},
    {0x201E, '"'}, {0x2026, '.'}, {0x2020, '+'}, {0x2021, '+'}, {0x02C6, '^'}, {0x2030, '%'},
    {0x2039, '<'}, {0x203A, '>'}, {0x2018, '\''}, {0x2019, '\''}, {0x201C, '"'}, {0x201D, '"'},
    {0x2022, 0x2219}, {0x2013, '-'}, {0x2014, '-'}, {0x02DC, '~'}, {0x2122, 'T'},
    // Code page 437 characters Windows-1252 lacks.
    {0x20A7, 'P'}, {0x2310, 0x00AC}, {0x2219, 0x2022}, {0x03B1, 'a'}, {0x0393, 'G'},
    {0x03C0, 'p'}, {0x03A3, 'S'}, {0x03C3, 's'}, {0x03C4, 't'}, {0x03A6, 'F'}, {0x0398, 'T'},
    {0x03A9, 'O'}, {0x03B4, 'd'}, {0x221E, '8'}, {0x03C6, 'f'}, {0x03B5, 'e'}, {0x2229, 'n'},
    {0x2261, '='}, {0x2265, '>'}, {0x2264, '<'}, {0x2320, '('}, {0x2321, ')'}, {0x2248, '~'},
    {0x221A, 'v'}, {0x207F, 'n'}, {0x2502, '|'}, {0x2551, '|'}, {0x2500, '-'}, {0x2550, '='},
};

// Box-drawing corners, tees and crosses (U+2500..U+256C other than the plain lines) fit "+".
bool IsBoxJunction(uint16_t u) {
  return u >= 0x2500 && u <= 0x256C && u != 0x2500 && u != 0x2502 && u != 0x2550 && u != 0x2551;
}

uint16_t AnsiUnicode(unsigned b) {
  if (b < 0x80) return static_cast<uint16_t>(b);
  if (b < 0xA0) return kAnsiHigh[b - 0x80];
  return static_cast<uint16_t>(b);
}

// Code page 437 read as text: 0x14 and 0x15 are the pilcrow and section signs.
uint16_t OemUnicode(unsigned b) {
  if (b == 0x14) return 0x00B6;
  if (b == 0x15) return 0x00A7;
  if (b < 0x80) return static_cast<uint16_t>(b);
  return kOemHigh[b - 0x80];
}

// The byte of the page that stands for `u`, or -1; control bytes never stand for a character.
template <typename ToUnicode>
int Find(ToUnicode toUnicode, uint16_t u) {
  for (unsigned b = 0; b < 0x100; ++b) {
    uint16_t v = toUnicode(b);
    if (v == u && v >= 0x20 && v != 0x7F) return static_cast<int>(b);
  }
  return -1;
}

template <typename FromUnicode, typename ToUnicode>
std::array<unsigned char, 256> Build(FromUnicode fromUnicode, ToUnicode toUnicode) {
  std::array<unsigned char, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    uint16_t u = fromUnicode(b);
    if (u < 0x20 || u == 0x7F) {
      table[b] = static_cast<unsigned char>(b);
      continue;
    }
    int target = Find(toUnicode, u);
    if (target < 0) {
      uint16_t fit = IsBoxJunction(u) ? uint16_t{'+'} : uint16_t{0};
      for (const Fit& f : kBestFit) {
        if (f.from == u) fit = f.to;
      }
      if (fit != 0) target = Find(toUnicode, fit);
    }
    table[b] = static_cast<unsigned char>(target < 0 ? '?' : target);
  }
  return table;
}

}  // namespace

const std::array<unsigned char, 256>& AnsiToOemTable() {
  static const std::array<unsigned char, 256> table = Build(AnsiUnicode, OemUnicode);
  return table;
}

const std::array<unsigned char, 256>& OemToAnsiTable() {
  static const std::array<unsigned char, 256> table = Build(OemUnicode, AnsiUnicode);
  return table;
}

uint16_t AnsiToUnicode(unsigned char b) { return AnsiUnicode(b); }

int UnicodeToAnsi(uint32_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<int>(u);
  for (unsigned i = 0; i < kAnsiHigh.size(); ++i) {
    if (kAnsiHigh[i] == u) return static_cast<int>(0x80 + i);
  }
  return -1;
}

}  // namespace platform::codepage::detail
