// The two 8-bit code pages the engine's texts live in: the ANSI page (Windows-1252), in which
// every text of the program is held, and the OEM page (437), in which tables marked OEM store
// their text; plus case conversion and the letter test by Windows-1252 rules, and UTF-8 at the
// edges of the program (command line, terminal, GUI).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::codepage {

// One byte for one byte; a character without an equivalent becomes the nearest one or "?".
// Characters both pages have survive a round trip; control bytes stay as they are, except that
// OEM 0x14 and 0x15 are read as the pilcrow and section sign (where code page 437 shows them).
char AnsiToOem(char c);
char OemToAnsi(char c);
void AnsiToOemBuffer(char* text, size_t length);
void OemToAnsiBuffer(char* text, size_t length);
std::string AnsiToOem(std::string_view text);
std::string OemToAnsi(std::string_view text);

// Windows-1252 letters, accented ones included: a..z, A..Z, ƒ Š Œ Ž š œ ž Ÿ (0x83, 0x8A,
// 0x8C, 0x8E, 0x9A, 0x9C, 0x9E, 0x9F), ª µ º, and 0xC0..0xFF except the multiplication and
// division signs. Upper and lower case pair a..z / A..Z, 0xE0..0xFE / 0xC0..0xDE, š/Š, œ/Œ, ž/Ž,
// and Ÿ lowers to ÿ; ß, ÿ, µ, ª, º and ƒ have no upper case here and stay as they are.
bool IsAlphaAnsi(char c);
char UpperAnsi(char c);
char LowerAnsi(char c);
std::string UpperAnsi(std::string_view text);
std::string LowerAnsi(std::string_view text);

// UTF-8 <-> Windows-1252. Characters Windows-1252 lacks become "?"; invalid UTF-8 bytes too.
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace platform::codepage
