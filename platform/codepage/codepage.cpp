// ANSI/OEM conversion through the tables of tables.cpp, the Windows-1252 case rules and letter
// test, and UTF-8 <-> Windows-1252.
//
// Case rules: a..z <-> A..Z, the Latin-1 letters 0xE0..0xFE <-> 0xC0..0xDE (not the division
// and multiplication signs 0xF7 / 0xD7), š/Š, œ/Œ, ž/Ž; lower case of Ÿ is ÿ. ß, ÿ, µ, ª, º and
// ƒ have no upper case in the page and stay as they are.
#include "platform/codepage/codepage.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "platform/codepage/codepage_tables.h"

namespace platform::codepage {

namespace {

unsigned char U8(char c) { return static_cast<unsigned char>(c); }
char C(unsigned v) { return static_cast<char>(static_cast<unsigned char>(v)); }

}  // namespace

char AnsiToOem(char c) { return C(detail::AnsiToOemTable()[U8(c)]); }
char OemToAnsi(char c) { return C(detail::OemToAnsiTable()[U8(c)]); }

namespace {

// True when Table maps every printable ASCII byte (0x20..0x7F) to itself, so that runs of such
// bytes can be left as they are.
bool KeepsPrintableAscii(const std::array<unsigned char, 256>& table) {
  for (unsigned b = 0x20; b <= 0x7F; ++b)
    if (table[b] != b) return false;
  return true;
}

// Translates Length bytes at Text through Table in one pass. When the table keeps printable
// ASCII (Identity), eight bytes at a time that are all printable ASCII are skipped unread by the
// table; every other byte goes through it, so the result is the same as a plain table pass.
void TranslateBuffer(char* text, size_t length, const std::array<unsigned char, 256>& table,
                     bool identity) {
  if (text == nullptr) return;
  size_t i = 0;
  if (identity) {
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    constexpr uint64_t kSpaces = 0x2020202020202020ull;
    // 32 bytes a time while they are all printable ASCII, then 8 at a time.
    for (; i + 32 <= length; i += 32) {
      uint64_t w[4];
      std::memcpy(w, text + i, sizeof w);
      if ((((w[0] | (w[0] - kSpaces)) | (w[1] | (w[1] - kSpaces)) | (w[2] | (w[2] - kSpaces)) |
            (w[3] | (w[3] - kSpaces))) & kHigh) != 0)
        break;
    }
    for (; i + 8 <= length; i += 8) {
      uint64_t w;
      std::memcpy(&w, text + i, sizeof w);
      // A byte at or above 0x80 sets its own high bit; one below 0x20 sets it in w - kSpaces
      // (a borrow can only mark further bytes, which are then merely translated).
      if (((w | (w - kSpaces)) & kHigh) == 0) continue;
      for (size_t k = i; k < i + 8; ++k) text[k] = C(table[U8(text[k])]);
    }
  }
  for (; i < length; ++i) text[i] = C(table[U8(text[i])]);
}

}  // namespace

void AnsiToOemBuffer(char* text, size_t length) {
  static const bool identity = KeepsPrintableAscii(detail::AnsiToOemTable());
  TranslateBuffer(text, length, detail::AnsiToOemTable(), identity);
}

void OemToAnsiBuffer(char* text, size_t length) {
  static const bool identity = KeepsPrintableAscii(detail::OemToAnsiTable());
  TranslateBuffer(text, length, detail::OemToAnsiTable(), identity);
}

std::string AnsiToOem(std::string_view text) {
  std::string out(text);
  AnsiToOemBuffer(out.data(), out.size());
  return out;
}

std::string OemToAnsi(std::string_view text) {
  std::string out(text);
  OemToAnsiBuffer(out.data(), out.size());
  return out;
}

bool IsAlphaAnsi(char c) {
  unsigned b = U8(c);
  if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) return true;
  switch (b) {
    case 0x83: case 0x8A: case 0x8C: case 0x8E: case 0x9A: case 0x9C: case 0x9E: case 0x9F:
    case 0xAA: case 0xB5: case 0xBA:
      return true;
    default:
      return b >= 0xC0 && b != 0xD7 && b != 0xF7;
  }
}

char UpperAnsi(char c) {
  unsigned b = U8(c);
  if (b >= 'a' && b <= 'z') return C(b - 0x20);
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return C(b - 0x20);
  switch (b) {
    case 0x9A: return C(0x8A);
    case 0x9C: return C(0x8C);
    case 0x9E: return C(0x8E);
    default: return c;
  }
}

char LowerAnsi(char c) {
  unsigned b = U8(c);
  if (b >= 'A' && b <= 'Z') return C(b + 0x20);
  if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return C(b + 0x20);
  switch (b) {
    case 0x8A: return C(0x9A);
    case 0x8C: return C(0x9C);
    case 0x8E: return C(0x9E);
    case 0x9F: return C(0xFF);
    default: return c;
  }
}

std::string UpperAnsi(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAnsi(c);
  return out;
}

std::string LowerAnsi(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAnsi(c);
  return out;
}

namespace {

// Decodes one UTF-8 sequence at `i`. Returns the code point and sets `length`, or returns -1
// (length 1) for a byte that does not start a well-formed sequence: stray continuation bytes,
// truncated sequences, overlong forms, surrogates and values above U+10FFFF.
int32_t DecodeUtf8(std::string_view s, size_t i, size_t& length) {
  length = 1;
  unsigned b0 = U8(s[i]);
  if (b0 < 0x80) return static_cast<int32_t>(b0);
  size_t need;
  uint32_t cp;
  uint32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    return -1;
  }
  if (s.size() - i <= need) return -1;
  for (size_t k = 1; k <= need; ++k) {
    unsigned b = U8(s[i + k]);
    if ((b & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  length = need + 1;
  return static_cast<int32_t>(cp);
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += C(cp);
  } else if (cp < 0x800) {
    out += C(0xC0 | (cp >> 6));
    out += C(0x80 | (cp & 0x3F));
  } else {
    out += C(0xE0 | (cp >> 12));
    out += C(0x80 | ((cp >> 6) & 0x3F));
    out += C(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    size_t length = 1;
    int32_t cp = DecodeUtf8(utf8, i, length);
    int b = cp < 0 ? -1 : detail::UnicodeToAnsi(static_cast<uint32_t>(cp));
    out += b < 0 ? '?' : C(static_cast<unsigned>(b));
    i += length;
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 2);
  for (char c : ansi) AppendUtf8(out, detail::AnsiToUnicode(U8(c)));
  return out;
}

}  // namespace platform::codepage
