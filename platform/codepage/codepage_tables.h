// Internal to platform/codepage: the translation tables and the Unicode mapping of
// Windows-1252 that the conversions in codepage.cpp are built on.
#pragma once

#include <array>
#include <cstdint>

namespace platform::codepage::detail {

const std::array<unsigned char, 256>& AnsiToOemTable();  // indexed by the Windows-1252 byte
const std::array<unsigned char, 256>& OemToAnsiTable();  // indexed by the code page 437 byte

// The Unicode code point of a Windows-1252 byte (the undefined bytes give their C1 control).
uint16_t AnsiToUnicode(unsigned char b);
// The Windows-1252 byte of a code point, or -1 when the page lacks it.
int UnicodeToAnsi(uint32_t u);

}  // namespace platform::codepage::detail
