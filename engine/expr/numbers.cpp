// ROUND, STR, SOUNDEX and the integer arguments of the expression functions.
#include "engine/expr/numbers.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace morvane::expr {

int64_t ToInteger(double X) {
  if (std::isnan(X)) return 0;
  if (X >= 9.2e18) return INT64_MAX;
  if (X <= -9.2e18) return INT64_MIN;
  return static_cast<int64_t>(X);
}

double RoundDecimal(double X, int64_t Decimals) {
  if (!std::isfinite(X) || X == 0) return X;
  if (Decimals < 0) Decimals = 0;
  if (Decimals > 400) return X;  // beyond the last decimal a double can hold
  // The shortest text that reads back as X: "d.ddde[+-]x".
  char text[64];
  const auto written = std::to_chars(text, text + sizeof text, std::fabs(X),
                                     std::chars_format::scientific);
  if (written.ec != std::errc()) return X;
  char digits[40];
  size_t count = 0;
  const char* p = text;
  for (; p < written.ptr && *p != 'e'; ++p) {
    if (*p != '.' && count < sizeof digits) digits[count++] = *p;
  }
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), written.ptr, exponent);

  const int64_t keep = exponent + 1 + Decimals;  // digits that stay
  if (keep >= static_cast<int64_t>(count)) return X;
  if (keep < 0) return 0;
  const bool up = digits[keep] >= '5';
  count = static_cast<size_t>(keep);
  if (up) {
    size_t i = count;
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i > 0) {
      ++digits[i - 1];
    } else {  // every digit carried (or none was kept): one more leading digit
      std::memmove(digits + 1, digits, count);
      digits[0] = '1';
      ++count;
      ++exponent;
    }
  }
  if (count == 0) return 0;
  // digits[0] "." digits[1..] "e" exponent
  char out[64];
  size_t n = 0;
  out[n++] = digits[0];
  out[n++] = '.';
  for (size_t i = 1; i < count; ++i) out[n++] = digits[i];
  out[n++] = 'e';
  n = static_cast<size_t>(std::to_chars(out + n, out + sizeof out, exponent).ptr - out);
  double value = 0;
  std::from_chars(out, out + n, value);
  return X < 0 ? -value : value;
}

size_t FormatStr(double X, int64_t Length, int64_t Decimals, char* Out) {
  const size_t length = static_cast<size_t>(Length < 0 ? 0 : Length > 255 ? 255 : Length);
  const int decimals = static_cast<int>(Decimals < 0 ? 0 : Decimals > 255 ? 255 : Decimals);
  char text[400];
  bool fits = std::isfinite(X);
  size_t n = 0;
  if (fits) {
    // Rounded as ROUND rounds (half away from zero on the decimal text), then written out.
    const double rounded = RoundDecimal(X, decimals);
    const auto r = std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, decimals);
    fits = r.ec == std::errc();
    n = fits ? static_cast<size_t>(r.ptr - text) : 0;
  }
  if (fits && text[0] == '-') {
    // "-0" and "-0.00" are zero: no sign.
    bool zero = true;
    for (size_t i = 1; i < n && zero; ++i) zero = text[i] == '0' || text[i] == '.';
    if (zero) std::memmove(text, text + 1, --n);
  }
  if (!fits || n > length) {
    std::memset(Out, '*', length);
    return length;
  }
  const size_t pad = length - n;
  std::memset(Out, ' ', pad);
  std::memcpy(Out + pad, text, n);
  return length;
}

void Soundex(const char* Text, size_t Length, char* Out) {
  // The digit of each letter A..Z.
  static const char kDigit[27] = "01230120022455012623010202";
  if (Length > 100) Length = 100;
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  auto digitOf = [](char c) { return c >= 'A' && c <= 'Z' ? kDigit[c - 'A'] : '0'; };
  std::memcpy(Out, "0000", 4);
  if (Length == 0) return;
  const char first = upper(Text[0]);
  Out[0] = first;
  char previous = digitOf(first);
  size_t filled = 1;
  for (size_t i = 1; i < Length && filled < 4; ++i) {
    const char c = upper(Text[i]);
    if (c < 'A' || c > 'Z') continue;
    const char d = digitOf(c);
    if (d != previous && d != '0') Out[filled++] = d;
    previous = d;
  }
}

}  // namespace morvane::expr
