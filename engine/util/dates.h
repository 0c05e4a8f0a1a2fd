// The engine's date texts in nine national conventions (Settings.DateConvention) with the
// century switch (Settings.CenturyOn) and the two-digit-year window (Settings.CenturyBase):
// blank texts, validation and normalisation, conversion to and from YYYYMMDD, day of week and
// day / month names. Every routine brings a text into the American order MM/DD/YY(YY) first.
// Nothing here reports errors.
#pragma once

#include <string>
#include <string_view>

namespace morvane {

// DateConvention := C (values outside 0..8 become 0); the platform's short date format and date
// separator become the convention's picture (yyyy with CenturyOn), e.g. "dd.MM.yy" and ".".
void SetDateConvention(int C);
// CenturyOn := On; the platform's short date format follows (as SetDateConvention).
void SetCenturyOn(bool On);

// The separators at their places, blanks elsewhere: "  /  /  ", "  .  .  ", "    .  .  " (1, with
// CenturyOn), ... A convention outside 0..8 counts as 0.
std::string BlankDateText(int Convention);

// The full hundreds for a two-digit year YY: (CenturyBase div 100 + (YY < CenturyBase mod 100 ?
// 1 : 0)) * 100. A non-numeric YY counts as 0.
int CenturyOf(std::string_view YY);
// The first two digits of CenturyOf(YY), e.g. "20".
std::string CenturyDigits(std::string_view YY);
// With CenturyOn: a two-character year gets CenturyDigits in front; padded with "0" to 4.
// Without CenturyOn: Y unchanged.
std::string ExpandYear(std::string_view Y);

// Text (of any convention's order, separator "/", "-" or ".") into MM/DD/YY(YY); the order is
// the current convention's. A text without separator is unchanged; all parts empty gives
// BlankDateText(0). At most 10 characters.
void ToAmericanDate(std::string& Text);
// MM/DD/YY(YY) into the current convention's order and separator; at most 10 characters.
void FromAmericanDate(std::string& Text);
// Checks a date text and normalises it (zero-padded parts, the convention's order and
// separator, the year width of CenturyOn). A blank text is valid and becomes the convention's
// blank text. False and Text unchanged when not a valid date.
bool ValidDateText(std::string& Text);

// The 8 characters YYYYMMDD of a date text (two-digit years widened by the century window).
std::string DateToYYYYMMDD(std::string_view Text);
// The date text of YYYYMMDD in the current convention (4-digit year with CenturyOn, else 2).
std::string YYYYMMDDToDate(std::string_view Text);

// 1 = Sunday ... 7 = Saturday (Zeller's congruence).
int DateDayOfWeek(std::string_view Text);
// The convention's day name padded to its table's width (OEM bytes); 10 blanks for a blank date.
std::string DayName(std::string_view Text);
// The convention's month name padded to its table's width, cut to 10 characters (OEM bytes);
// 9 blanks for a blank date.
std::string MonthName(std::string_view Text);

// Month, day and year of the American form as numbers (the year as written: 2 or 4 digits);
// 0 when not numeric.
int DateMonth(std::string_view Text);
int DateDay(std::string_view Text);
int DateYear(std::string_view Text);

}  // namespace morvane
