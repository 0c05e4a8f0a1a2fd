// Dates of the expression language: Julian day numbers (proleptic Gregorian, 1 January 0001 =
// 1721426; 1e100 is the empty date), their conversion from and to calendar dates and YYYYMMDD
// texts, and the date text of DTOC in the current date convention.
#pragma once

#include <cstddef>

namespace morvane::expr {

inline constexpr double kEmptyDate = 1e100;
inline constexpr double kFirstJdn = 1721426;   // 1 January 0001
inline constexpr double kLastJdn = 5373484;    // 31 December 9999

// The JDN of (Y, M, D); kEmptyDate when the month is outside 1..12, the day outside the month
// or the year negative.
double CalendarToJdn(int Y, int M, int D);

// The calendar date of a JDN in kFirstJdn..kLastJdn (a fraction of a day is dropped); false for
// any other value (the empty date among them).
bool JdnToCalendar(double Jdn, int& Y, int& M, int& D);

// Length bytes holding YYYYMMDD; blanks, any other length or an invalid date give kEmptyDate.
double YyyymmddToJdn(const char* Text, size_t Length);

// YYYYMMDD into Out (8 bytes); 8 blanks when Jdn is not in kFirstJdn..kLastJdn.
void JdnToYyyymmdd(double Jdn, char* Out);

// DTOC: the date in the current date convention (4-digit year with the century setting, else
// 2), or that convention's blank form for a date out of range; conventions 7 and above give
// the empty text. Writes at most 10 bytes into Out and returns the length.
size_t JdnToDateText(double Jdn, char* Out);

}  // namespace morvane::expr
