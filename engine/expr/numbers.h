// Number and sound-code routines of the expression functions: the integer taken from an N
// argument, ROUND, STR and SOUNDEX.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvane::expr {

// X taken toward zero to an integer, saturated at the 64-bit range; NaN gives 0.
int64_t ToInteger(double X);

// X rounded half away from zero at Decimals decimals, on the number as its shortest decimal
// text reads (so 2.345 rounds to 2.35 although its binary value lies just below). Decimals of
// 0 or less round to a whole number. Infinities and NaN are returned unchanged.
double RoundDecimal(double X, int64_t Decimals);

// STR: X in fixed-point notation with Decimals decimals, rounded as RoundDecimal rounds,
// right-aligned with blanks in Length characters; Length "*" when it does not fit. Length is
// taken as 0..255, Decimals as 0..255 (negative values as 0). Writes into Out (256 bytes) and
// returns the length.
size_t FormatStr(double X, int64_t Length, int64_t Decimals, char* Out);

// SOUNDEX of the first min(Length, 100) characters: 4 characters into Out.
void Soundex(const char* Text, size_t Length, char* Out);

}  // namespace morvane::expr
