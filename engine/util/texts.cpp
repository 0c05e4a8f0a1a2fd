// Text and number-text routines.
#include "engine/util/texts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "engine/util/startup.h"
#include "platform/codepage/codepage.h"

namespace morvane {
namespace {

bool IsBlankCode(char c) { return static_cast<unsigned char>(c) <= 32; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An optional "-" and one or more digits, the whole text; saturates at the bounds.
bool ParseWholeInteger(std::string_view text, int64_t lo, int64_t hi, int64_t& value) {
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) i = 1;
  if (i >= text.size()) return false;
  int64_t v = 0;
  const int64_t limit = negative ? -lo : hi;  // magnitude bound; both fit in int64
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    if (v < limit) v = v * 10 + (text[i] - '0');
    if (v > limit) v = limit;
  }
  value = negative ? -v : v;
  return true;
}


// X in fixed notation with exactly `decimals` decimals, rounded half away from zero on the
// shortest decimal form of X (so 2.675 gives 2.68, 0.125 gives 0.13 and 1e35 is a 1 with 35
// zeros, as typed). A value that rounds to zero has no sign.
std::string FixedDecimals(double x, int decimals) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::scientific);
  if (result.ec != std::errc()) return "0";
  // buffer holds [-]d[.ddd]e(+|-)xx: the significant digits and the power of ten of the first.
  std::string_view form(buffer, static_cast<size_t>(result.ptr - buffer));
  const bool negative = !form.empty() && form[0] == '-';
  if (negative) form.remove_prefix(1);
  const size_t e = form.find('e');
  std::string significant;
  for (char c : form.substr(0, e)) {
    if (c != '.') significant += c;
  }
  int exponent = 0;
  std::from_chars(form.data() + e + 1 + (form[e + 1] == '+' ? 1 : 0), form.data() + form.size(),
                  exponent);
  // Digits of the whole part and of the fraction.
  std::string whole, frac;
  if (exponent >= 0) {
    const size_t wholeCount = static_cast<size_t>(exponent) + 1;
    if (significant.size() <= wholeCount) {
      whole = significant + std::string(wholeCount - significant.size(), '0');
    } else {
      whole = significant.substr(0, wholeCount);
      frac = significant.substr(wholeCount);
    }
  } else {
    whole = "0";
    frac = std::string(static_cast<size_t>(-exponent - 1), '0') + significant;
  }
  bool carry = false;
  if (frac.size() > static_cast<size_t>(decimals)) {
    carry = frac[static_cast<size_t>(decimals)] >= '5';
    frac.resize(static_cast<size_t>(decimals));
  }
  frac.resize(static_cast<size_t>(decimals), '0');
  std::string number = whole + frac;  // all digits, the point left out
  for (size_t i = number.size(); carry && i > 0; --i) {
    if (number[i - 1] == '9') {
      number[i - 1] = '0';
    } else {
      ++number[i - 1];
      carry = false;
    }
  }
  if (carry) number.insert(0, 1, '1');
  const size_t wholeDigits = number.size() - static_cast<size_t>(decimals);
  std::string out = number.substr(0, wholeDigits);
  if (decimals > 0) out += "." + number.substr(wholeDigits);
  if (negative && out.find_first_not_of("0.") != std::string::npos) out.insert(0, 1, '-');
  return out;
}

}  // namespace

std::string Trim(std::string_view Text) { return TrimLeft(TrimRight(Text)); }

std::string TrimLeft(std::string_view Text) {
  size_t i = 0;
  while (i < Text.size() && IsBlankCode(Text[i])) ++i;
  return std::string(Text.substr(i));
}

std::string TrimRight(std::string_view Text) {
  size_t n = Text.size();
  while (n > 0 && IsBlankCode(Text[n - 1])) --n;
  return std::string(Text.substr(0, n));
}

std::string Replicate(char Ch, int N) { return N > 0 ? std::string(static_cast<size_t>(N), Ch) : ""; }

std::string UpperText(std::string_view Text) { return platform::codepage::UpperAnsi(Text); }
std::string LowerText(std::string_view Text) { return platform::codepage::LowerAnsi(Text); }
char UpperChar(char Ch) { return platform::codepage::UpperAnsi(Ch); }
char LowerChar(char Ch) { return platform::codepage::LowerAnsi(Ch); }

bool IsAlphaFirst(std::string_view Text) {
  return !Text.empty() && platform::codepage::IsAlphaAnsi(Text[0]);
}

int CountOf(std::string_view Sub, std::string_view Text) {
  if (Sub.empty() || Text.empty()) return 0;
  int count = 0;
  size_t from = 0;
  while (true) {
    const size_t at = Text.find(Sub, from);
    if (at == std::string_view::npos) break;
    ++count;
    from = at + Sub.size();
  }
  return count;
}

int NthPos(int N, std::string_view Sub, std::string_view Text) {
  if (N < 1 || Sub.empty() || Text.empty()) return 0;
  // Finding the next occurrence one position behind the last one is the same as searching again
  // after spoiling the first character of every occurrence found.
  size_t from = 0;
  for (int found = 0;; ++found) {
    const size_t at = Text.find(Sub, from);
    if (at == std::string_view::npos) return 0;
    if (found + 1 == N) return static_cast<int>(at) + 1;
    from = at + 1;
  }
}

bool RemoveKeyword(std::string_view Keyword, std::string& Text) {
  if (Keyword.empty()) {
    Text = Trim(Text);
    return false;
  }
  std::string text = UpperText(Text);
  bool removed = false;
  size_t from = 0;
  while (true) {
    const size_t at = text.find(Keyword, from);
    if (at == std::string::npos) break;
    const size_t after = at + Keyword.size();
    const char next = after < text.size() ? text[after] : '\0';
    const bool joined = after < text.size() &&
                        (IsDigit(next) || next == '\\' || next == '_' ||
                         platform::codepage::IsAlphaAnsi(next));
    if (joined) {
      from = at + 1;
    } else {
      text.erase(at, Keyword.size());
      removed = true;
      from = at;
    }
  }
  Text = Trim(text);
  return removed;
}

std::string IfText(bool Cond, std::string_view A, std::string_view B) {
  return std::string(Cond ? A : B);
}

std::string IntToTextWidth(int64_t N, int Width) {
  std::string digits = std::to_string(N);
  if (Width > 0 && digits.size() < static_cast<size_t>(Width)) {
    digits.insert(0, static_cast<size_t>(Width) - digits.size(), ' ');
  }
  return digits;
}

std::string NumberToText(int Width, int Decimals, double X) {
  if (Decimals < 0) Decimals = 0;
  if (Decimals > 30) Decimals = 30;
  std::string text;
  if (std::isfinite(X)) {
    text = FixedDecimals(X, Decimals);
  } else {
    text = std::isnan(X) ? "NAN" : (X > 0 ? "INF" : "-INF");
  }
  if (Decimals > 0 && Settings.DecimalSeparator != '.') {
    const size_t point = text.find('.');
    if (point != std::string::npos) text[point] = Settings.DecimalSeparator;
  }
  if (Width > 0 && text.size() < static_cast<size_t>(Width)) {
    text.insert(0, static_cast<size_t>(Width) - text.size(), ' ');
  }
  return text;
}

void CleanNumberText(std::string& Text) {
  if (Text.empty()) return;
  const char decimal = Settings.DecimalSeparator;
  std::string t;
  t.reserve(Text.size() + 2);
  for (char c : Text) {
    if (c != '$') t += c;
  }
  size_t lead = 0;
  while (lead < t.size() && (t[lead] == ' ' || t[lead] == '+')) ++lead;
  t.erase(0, lead);

  if (!t.empty() && t[0] == '-') {
    lead = 0;
    while (lead < t.size() && (t[lead] == ' ' || t[lead] == '+' || t[lead] == '-')) ++lead;
    t.erase(0, lead);
    if (t.empty()) {
      Text.clear();
      return;
    }
    if (t[0] == decimal) t.insert(0, 1, '0');
    t.insert(0, 1, '-');
  }

  std::string s;
  s.reserve(t.size());
  if (decimal == '.') {
    for (char c : t) {
      if (c != ',') s += c;
    }
  } else {
    bool replaced = false;
    for (char c : t) {
      if (c == '.') continue;
      if (c == decimal && !replaced) {
        s += '.';
        replaced = true;
      } else {
        s += c;
      }
    }
  }

  if (!s.empty()) {
    if (s[0] == '.') s.insert(0, 1, '0');
    const size_t blank = s.find(' ');
    if (blank != std::string::npos) s.erase(blank);
    size_t run = 0;
    while (run < s.size() && (IsDigit(s[run]) || s[run] == '.' || (s[run] == '-' && run == 0))) {
      ++run;
    }
    s.erase(run);
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  Text = s;
}

double TextToReal(std::string_view Text) {
  std::string t(Text);
  CleanNumberText(t);
  if (t.empty()) return 0;
  double value = 0;
  const auto result = std::from_chars(t.data(), t.data() + t.size(), value);
  if (result.ec != std::errc() || result.ptr != t.data() + t.size()) return 0;
  return value;
}

int32_t TextToInt32(std::string_view Text) {
  // Plain digits, the usual imported count, convert directly: cleaning would change nothing.
  if (!Text.empty() && Text.size() <= 9 &&
      std::all_of(Text.begin(), Text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    int32_t value = 0;
    for (char c : Text) value = value * 10 + (c - '0');
    return value;
  }
  std::string t(Text);
  CleanNumberText(t);
  const size_t point = t.find('.');
  if (point != std::string::npos) t.erase(point);
  int64_t value = 0;
  if (!ParseWholeInteger(t, std::numeric_limits<int32_t>::min(),
                         std::numeric_limits<int32_t>::max(), value)) {
    return 0;
  }
  return static_cast<int32_t>(value);
}

int16_t TextToInt16(std::string_view Text) {
  if (Text.empty()) return 0;
  size_t i = 0;
  while (i < Text.size() && Text[i] == ' ') ++i;
  if (i < Text.size() && Text[i] == '+') ++i;
  while (i < Text.size() && Text[i] == ' ') ++i;
  const char thousands = Settings.DecimalSeparator == '.' ? ',' : '.';
  std::string t;
  for (; i < Text.size(); ++i) {
    if (Text[i] != thousands) t += Text[i];
  }
  const size_t dollar = t.find('$');
  if (dollar != std::string::npos) t.erase(dollar, 1);
  const size_t blank = t.find(' ');
  if (blank != std::string::npos) t.erase(blank);
  size_t run = 0;
  while (run < t.size() && (IsDigit(t[run]) || t[run] == '-')) ++run;
  t.erase(run);
  int64_t value = 0;
  if (!ParseWholeInteger(t, -32768, 32767, value)) return 0;
  return static_cast<int16_t>(value);
}

}  // namespace morvane
