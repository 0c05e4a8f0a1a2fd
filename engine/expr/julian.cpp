// Julian day numbers and DTOC's date texts.
#include "engine/expr/julian.h"

#include <cmath>
#include <cstring>

#include "engine/util/files.h"
#include "engine/util/startup.h"

namespace morvane::expr {
namespace {

constexpr int kDaysBefore[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int kDaysIn[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

void Two(int V, char* Out) {
  Out[0] = static_cast<char>('0' + V / 10 % 10);
  Out[1] = static_cast<char>('0' + V % 10);
}

}  // namespace

double CalendarToJdn(int Y, int M, int D) {
  if (Y < 0 || M < 1 || M > 12 || D < 1) return kEmptyDate;
  const bool leap = IsLeapYear(Y);
  if (D > kDaysIn[M] + (M == 2 && leap ? 1 : 0)) return kEmptyDate;
  const long long y1 = Y - 1;
  long long jdn = D + kDaysBefore[M] + (M > 2 && leap ? 1 : 0) + 365 * y1 + y1 / 4 - y1 / 100 +
                  y1 / 400 + 1721425;
  return static_cast<double>(jdn);
}

bool JdnToCalendar(double Jdn, int& Y, int& M, int& D) {
  if (!(Jdn >= kFirstJdn && Jdn < kLastJdn + 1)) return false;
  long long days = static_cast<long long>(Jdn) - 1721426;  // days since 1 January 0001
  const long long c400 = days / 146097;
  days %= 146097;
  long long c100 = days / 36524;
  if (c100 == 4) c100 = 3;  // 31 December of a year divisible by 400
  days -= c100 * 36524;
  const long long c4 = days / 1461;
  days %= 1461;
  long long c1 = days / 365;
  if (c1 == 4) c1 = 3;      // 31 December of a leap year
  days -= c1 * 365;
  Y = static_cast<int>(c400 * 400 + c100 * 100 + c4 * 4 + c1 + 1);
  const bool leap = IsLeapYear(Y);
  M = 1;
  while (M < 12) {
    const int len = kDaysIn[M] + (M == 2 && leap ? 1 : 0);
    if (days < len) break;
    days -= len;
    ++M;
  }
  D = static_cast<int>(days + 1);
  return true;
}

double YyyymmddToJdn(const char* Text, size_t Length) {
  if (Length != 8) return kEmptyDate;
  int v[8];
  for (int i = 0; i < 8; ++i) {
    if (Text[i] < '0' || Text[i] > '9') return kEmptyDate;  // blanks too
    v[i] = Text[i] - '0';
  }
  const int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  return CalendarToJdn(y, v[4] * 10 + v[5], v[6] * 10 + v[7]);
}

void JdnToYyyymmdd(double Jdn, char* Out) {
  int y, m, d;
  if (!JdnToCalendar(Jdn, y, m, d)) {
    std::memset(Out, ' ', 8);
    return;
  }
  Two(y / 100, Out);
  Two(y % 100, Out + 2);
  Two(m, Out + 4);
  Two(d, Out + 6);
}

size_t JdnToDateText(double Jdn, char* Out) {
  const int kind = Settings.DateConvention;
  const bool century = Settings.CenturyOn;
  const size_t yearLen = century ? 4 : 2;
  char sep;
  int order;  // 0 month-day-year, 1 year-month-day, 2 day-month-year
  switch (kind) {
    case 0: sep = '/'; order = 0; break;
    case 1: sep = '.'; order = 1; break;
    case 2: case 8: sep = '/'; order = 2; break;
    case 3: sep = '-'; order = 2; break;
    case 4: case 5: case 6: sep = '.'; order = 2; break;
    default: return 0;
  }
  int y = 0, m = 0, d = 0;
  const bool valid = JdnToCalendar(Jdn, y, m, d);
  char year[4], month[2], day[2];
  if (valid) {
    if (century) {
      Two(y / 100, year);
      Two(y % 100, year + 2);
    } else {
      Two(y % 100, year);
    }
    Two(m, month);
    Two(d, day);
  } else {
    std::memset(year, ' ', 4);
    std::memset(month, ' ', 2);
    std::memset(day, ' ', 2);
  }
  size_t n = 0;
  auto part = [&](const char* p, size_t len) {
    std::memcpy(Out + n, p, len);
    n += len;
  };
  auto separator = [&]() { Out[n++] = sep; };
  if (order == 0) {
    part(month, 2), separator(), part(day, 2), separator(), part(year, yearLen);
  } else if (order == 1) {
    part(year, yearLen), separator(), part(month, 2), separator(), part(day, 2);
  } else {
    part(day, 2), separator(), part(month, 2), separator(), part(year, yearLen);
  }
  return n;
}

}  // namespace morvane::expr
