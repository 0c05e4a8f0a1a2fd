// The engine's text and number-text routines: trimming, case, counting and finding substrings,
// removing command keywords, and the conversions between numbers and the texts users type or
// delimited files hold. All texts are byte strings of the ANSI code page; the separators are the
// engine's (Settings.DecimalSeparator, Settings.ThousandSeparator). Nothing here reports errors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

// Without leading and/or trailing characters of codes 0 to 32.
std::string Trim(std::string_view Text);
std::string TrimLeft(std::string_view Text);
std::string TrimRight(std::string_view Text);

// N copies of Ch; empty when N <= 0.
std::string Replicate(char Ch, int N);

// Upper / lower case by the Windows-1252 locale rules (accented letters included).
std::string UpperText(std::string_view Text);
std::string LowerText(std::string_view Text);
char UpperChar(char Ch);
char LowerChar(char Ch);

// True when Text is not empty and its first character is a letter (accented letters included).
bool IsAlphaFirst(std::string_view Text);

// 0 when Sub or Text is empty. One-character Sub: the positions holding it. Longer Sub: the
// non-overlapping occurrences found from the left.
int CountOf(std::string_view Sub, std::string_view Text);

// Position (from 1) of the N-th occurrence of Sub in Text; occurrences of a longer Sub may
// overlap by all but one character. 0 when there are fewer, or Sub or Text is empty, or N < 1.
int NthPos(int N, std::string_view Sub, std::string_view Text);

// Text := upper case of Text with every occurrence of Keyword (given in upper case) deleted that
// is not directly followed by a digit, "\", "_" or a letter; then trimmed. True when anything was
// deleted. An empty Keyword only trims (the case is kept then).
bool RemoveKeyword(std::string_view Keyword, std::string& Text);

// A when Cond, else B.
std::string IfText(bool Cond, std::string_view A, std::string_view B);

// The decimal digits of N (with "-" when negative) right-justified in Width; never cut.
std::string IntToTextWidth(int64_t N, int Width);

// X with exactly Decimals decimals (0..30; more are taken as 30), rounded half away from zero
// on X's shortest decimal form (2.675 -> "2.68"), right-justified in Width (0 = no padding);
// the point becomes the engine's decimal separator when Decimals > 0. Digits are never cut: a
// value needing more than 30 characters gets a longer text. A value that rounds to zero has no
// "-". Infinities and NaN give "INF", "-INF", "NAN".
std::string NumberToText(int Width, int Decimals, double X);

// Normalises a typed or imported number text: "$", leading blanks and "+" removed, thousands
// separators removed, the decimal separator made ".", cut at the first character that cannot
// belong to the number, a trailing "." dropped. "$1,234.50" -> "1234.50", "-.5" -> "-0.5".
void CleanNumberText(std::string& Text);

// The cleaned text converted; 0 for an empty text and for a cleaned text that is still not one
// decimal number (for example "1.2.3").
double TextToReal(std::string_view Text);

// The cleaned text's whole part converted (a fractional part is dropped, whatever the decimal
// separator: "12,7" with decimal separator "," gives 12); 0 for an empty text or one that is not
// a number; clamped to the 32-bit range.
int32_t TextToInt32(std::string_view Text);

// A length or decimal count from a field list: blanks and one "+" skipped, thousands separators
// and the first "$" deleted, cut at a blank, its leading run of digits and "-" converted (0 when
// that run is empty or not one integer, e.g. "1-2"), clamped to -32768..32767.
int16_t TextToInt16(std::string_view Text);

}  // namespace morvane
