// Date texts in the nine conventions: conversion through the American form MM/DD/YY(YY),
// validation, YYYYMMDD, day of week and the day and month name tables.
#include "engine/util/dates.h"

#include "engine/util/files.h"
#include "engine/util/startup.h"
#include "engine/util/texts.h"
#include "platform/formats/formats.h"

namespace morvane {
namespace {

constexpr size_t kMaxDateText = 10;

// A name table: entries padded with blanks to Width. Latin names are code page 437 bytes, the
// Russian ones code page 866 bytes.
struct NameTable {
  int width;
  const char* names[12];
};

constexpr NameTable kEnglishDays = {
    9, {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"}};
constexpr NameTable kItalianDays = {
    9, {"Domenica", "Lunedi", "Martedi", "Mercoledi", "Giovedi", "Venerdi", "Sabato"}};
constexpr NameTable kFrenchDays = {
    8, {"Dimanche", "Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi"}};
constexpr NameTable kGermanDays = {
    10, {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"}};
constexpr NameTable kSpanishDays = {
    9, {"Domingo", "Lunes", "Martes", "Miercoles", "Jueves", "Viernes", "Sabado"}};
constexpr NameTable kRussianDays = {
    11,
    {"\x82\xAE\xE1\xAA\xE0\xA5\xE1\xA5\xAD\xEC\xA5",   // Voskresenye
     "\x8F\xAE\xAD\xA5\xA4\xA5\xAB\xEC\xAD\xA8\xAA",   // Ponedelnik
     "\x82\xE2\xAE\xE0\xAD\xA8\xAA",                   // Vtornik
     "\x91\xE0\xA5\xA4\xA0",                           // Sreda
     "\x97\xA5\xE2\xA2\xA5\xE0\xA3",                   // Chetverg
     "\x8F\xEF\xE2\xAD\xA8\xE6\xA0",                   // Pyatnitsa
     "\x91\xE3\xA1\xA1\xAE\xE2\xA0"}};                 // Subbota

constexpr NameTable kEnglishMonths = {
    9,
    {"January", "February", "March", "April", "May", "June", "July", "August", "September",
     "October", "November", "December"}};
constexpr NameTable kItalianMonths = {
    9,
    {"Gennaio", "Febbraio", "Marzo", "Aprile", "Maggio", "Giugno", "Luglio", "Agosto",
     "Settembre", "Ottobre", "Novembre", "Dicembre"}};
constexpr NameTable kFrenchMonths = {
    9,
    {"Janvier", "F\x82vrier", "Mars", "Avril", "Mai", "Juin", "Juillet", "Ao\x96t", "Septembre",
     "Octobre", "Novembre", "D\x82" "cembre"}};
constexpr NameTable kGermanMonths = {
    9,
    {"Januar", "Februar", "M\x84rz", "April", "Mai", "Juni", "Juli", "August", "September",
     "Oktober", "November", "Dezember"}};
constexpr NameTable kSpanishMonths = {
    10,
    {"Enero", "Febrero", "Marzo", "Abril", "Mayo", "Junio", "Julio", "Agosto", "Septiembre",
     "Octubre", "Noviembre", "Diciembre"}};
constexpr NameTable kRussianMonths = {
    8,
    {"\x9F\xAD\xA2\xA0\xE0\xEC",                       // Yanvar
     "\x94\xA5\xA2\xE0\xA0\xAB\xEC",                   // Fevral
     "\x8C\xA0\xE0\xE2",                               // Mart
     "\x80\xAF\xE0\xA5\xAB\xEC",                       // Aprel
     "\x8C\xA0\xA9",                                   // Mai
     "\x88\xEE\xAD\xEC",                               // Iyun
     "\x88\xEE\xAB\xEC",                               // Iyul
     "\x80\xA2\xA3\xE3\xE1\xE2",                       // Avgust
     "\x91\xA5\xAD\xE2\xEF\xA1\xE0\xEC",               // Sentyabr
     "\x8E\xAA\xE2\xEF\xA1\xE0\xEC",                   // Oktyabr
     "\x8D\xAE\xEF\xA1\xE0\xEC",                       // Noyabr
     "\x84\xA5\xAA\xA0\xA1\xE0\xEC"}};                 // Dekabr

// Day and month tables by convention 0..8.
constexpr const NameTable* kDayTables[9] = {&kEnglishDays, &kEnglishDays, &kEnglishDays,
                                            &kItalianDays, &kFrenchDays,  &kGermanDays,
                                            &kSpanishDays, &kFrenchDays,  &kRussianDays};
constexpr const NameTable* kMonthTables[9] = {&kEnglishMonths, &kEnglishMonths, &kEnglishMonths,
                                              &kItalianMonths, &kFrenchMonths,  &kGermanMonths,
                                              &kSpanishMonths, &kFrenchMonths,  &kRussianMonths};

int Convention(int c) { return c >= 0 && c <= 8 ? c : 0; }
int CurrentConvention() { return Convention(Settings.DateConvention); }

char SeparatorOf(int convention) {
  switch (Convention(convention)) {
    case 0:
    case 2: return '/';
    case 3: return '-';
    default: return '.';
  }
}

std::string Entry(const NameTable& table, int index) {
  std::string name = table.names[index];
  if (name.size() < static_cast<size_t>(table.width)) {
    name.append(static_cast<size_t>(table.width) - name.size(), ' ');
  }
  return name;
}

std::string CutAtNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return std::string(nul == std::string_view::npos ? text : text.substr(0, nul));
}

// Splits at sep into three parts (the third takes the rest), each trimmed and cut to 4.
void SplitDate(const std::string& text, char sep, std::string parts[3]) {
  size_t from = 0;
  for (int i = 0; i < 3; ++i) {
    std::string part;
    if (from <= text.size()) {
      const size_t at = i < 2 ? text.find(sep, from) : std::string::npos;
      part = text.substr(from, at == std::string::npos ? std::string::npos : at - from);
      from = at == std::string::npos ? text.size() + 1 : at + 1;
    }
    parts[i] = Trim(part).substr(0, 4);
  }
}

std::string PadTwo(const std::string& part) {
  return part.size() < 2 ? std::string(2 - part.size(), '0') + part : part;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The number of an all-digit text (at most 4 digits are ever passed), else -1.
int NumberOf(std::string_view text) {
  if (!AllDigits(text) || text.size() > 9) return -1;
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

// True for an American-form text that holds no date (blanks and separators only).
bool IsBlankAmerican(const std::string& american) {
  return american.find_first_not_of(" /") == std::string::npos;
}

// Full year of an American-form year part: a two-digit year gets its century.
int FullYear(const std::string& year) {
  const int y = NumberOf(year);
  if (y < 0) return -1;
  return year.size() <= 2 ? CenturyOf(year) + y : y;
}

std::string American(std::string_view Text) {
  std::string text(Text.substr(0, kMaxDateText));
  ToAmericanDate(text);
  return text;
}

std::string Picture(int convention, bool century) {
  const std::string yy = century ? "yyyy" : "yy";
  switch (Convention(convention)) {
    case 0: return "MM/dd/" + yy;
    case 1: return yy + ".MM.dd";
    case 2: return "dd/MM/" + yy;
    case 3: return "dd-MM-" + yy;
    default: return "dd.MM." + yy;
  }
}

}  // namespace

void SetDateConvention(int C) {
  Settings.DateConvention = Convention(C);
  platform::formats::SetShortDateFormat(Picture(Settings.DateConvention, Settings.CenturyOn));
  platform::formats::SetDateSeparator(SeparatorOf(Settings.DateConvention));
}

void SetCenturyOn(bool On) {
  Settings.CenturyOn = On;
  SetDateConvention(Settings.DateConvention);
}

std::string BlankDateText(int Convention) {
  const std::string year(Settings.CenturyOn ? 4 : 2, ' ');
  switch (morvane::Convention(Convention)) {
    case 0:
    case 2: return "  /  /" + year;
    case 1: return year + ".  .  ";
    case 3: return "  -  -" + year;
    default: return "  .  ." + year;
  }
}

int CenturyOf(std::string_view YY) {
  int yy = NumberOf(YY);
  if (yy < 0) yy = 0;
  const int base = Settings.CenturyBase;
  return (base / 100 + (yy < base % 100 ? 1 : 0)) * 100;
}

std::string CenturyDigits(std::string_view YY) {
  std::string digits = std::to_string(CenturyOf(YY) / 100);
  if (digits.size() < 2) digits.insert(0, 2 - digits.size(), '0');
  return digits.substr(0, 2);
}

std::string ExpandYear(std::string_view Y) {
  std::string year(Y);
  if (!Settings.CenturyOn) return year;
  if (year.size() == 2) year = CenturyDigits(year) + year;
  if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
  return year;
}

void ToAmericanDate(std::string& Text) {
  char sep;
  if (Text.find('/') != std::string::npos) {
    sep = '/';
  } else if (Text.find('-') != std::string::npos) {
    sep = '-';
  } else if (Text.find('.') != std::string::npos) {
    sep = '.';
  } else {
    return;
  }
  std::string parts[3];
  SplitDate(CutAtNul(Text), sep, parts);
  if (parts[0].empty() && parts[1].empty() && parts[2].empty()) {
    Text = BlankDateText(0);
    return;
  }
  for (std::string& part : parts) part = PadTwo(part);
  std::string result;
  switch (CurrentConvention()) {
    case 0: result = parts[0] + "/" + parts[1] + "/" + ExpandYear(parts[2]); break;
    case 1: result = parts[1] + "/" + parts[2] + "/" + ExpandYear(parts[0]); break;
    default: result = parts[1] + "/" + parts[0] + "/" + ExpandYear(parts[2]); break;
  }
  Text = result.substr(0, kMaxDateText);
}

void FromAmericanDate(std::string& Text) {
  std::string parts[3];
  SplitDate(CutAtNul(Text), '/', parts);
  const int convention = CurrentConvention();
  if (parts[0].empty() && parts[1].empty() && parts[2].empty()) {
    Text = BlankDateText(convention);
    return;
  }
  const std::string month = PadTwo(parts[0]);
  const std::string day = PadTwo(parts[1]);
  const std::string year = ExpandYear(PadTwo(parts[2]));
  std::string result;
  switch (convention) {
    case 0: result = month + "/" + day + "/" + year; break;
    case 1: result = year + "." + month + "." + day; break;
    case 2: result = day + "/" + month + "/" + year; break;
    case 3: result = day + "-" + month + "-" + year; break;
    default: result = day + "." + month + "." + year; break;
  }
  Text = result.substr(0, kMaxDateText);
}

bool ValidDateText(std::string& Text) {
  std::string text = Trim(Text).substr(0, kMaxDateText);
  ToAmericanDate(text);
  const int convention = CurrentConvention();
  if (text == BlankDateText(0)) {
    Text = BlankDateText(convention);
    return true;
  }
  if (text.size() != 8 && text.size() != 10) return false;
  if (text[2] != '/' || text[5] != '/') return false;
  const std::string yearText = text.substr(6);
  const int month = NumberOf(text.substr(0, 2));
  const int day = NumberOf(text.substr(3, 2));
  const int year = FullYear(yearText);
  if (month < 0 || day < 0 || year < 0) return false;
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  if (month == 2 && day > 29) return false;
  if ((month == 4 || month == 6 || month == 9 || month == 11) && day == 31) return false;
  if (month == 2 && day == 29 && !IsLeapYear(year)) return false;
  if (text.size() == 10 && !Settings.CenturyOn) text.erase(6, 2);
  if (convention != 0) FromAmericanDate(text);
  Text = text;
  return true;
}

std::string DateToYYYYMMDD(std::string_view Text) {
  const std::string american = American(Text);
  if (IsBlankAmerican(american)) return std::string(8, ' ');
  std::string month = american.substr(0, 2);
  std::string day = american.size() > 3 ? american.substr(3, 2) : "";
  std::string year = american.size() > 6 ? american.substr(6) : "";
  if (year.size() == 2) year = CenturyDigits(year) + year;
  year.resize(4, ' ');
  month.resize(2, ' ');
  day.resize(2, ' ');
  return year + month + day;
}

std::string YYYYMMDDToDate(std::string_view Text) {
  std::string digits(Text.substr(0, 8));
  digits.resize(8, ' ');
  const std::string year = Settings.CenturyOn ? digits.substr(0, 4) : digits.substr(2, 2);
  std::string text = digits.substr(4, 2) + "/" + digits.substr(6, 2) + "/" + year;
  FromAmericanDate(text);
  return text;
}

int DateDayOfWeek(std::string_view Text) {
  const std::string american = American(Text);
  int m = NumberOf(american.substr(0, 2));
  const int d = american.size() > 3 ? NumberOf(american.substr(3, 2)) : -1;
  const int year = american.size() > 6 ? FullYear(american.substr(6)) : -1;
  if (m < 0) m = 0;
  int k = year < 0 ? 0 : year % 100;
  int j = year < 0 ? 0 : year / 100;
  if (m < 3) {
    m += 12;
    if (k == 0) {
      k = 99;
      j -= 1;
    } else {
      k -= 1;
    }
  }
  const int64_t h = FloorMod((d < 0 ? 0 : d) + (26 * m + 26) / 10 + k + k / 4 + j / 4 - 2 * j, 7);
  return h == 0 ? 7 : static_cast<int>(h);
}

std::string DayName(std::string_view Text) {
  if (IsBlankAmerican(American(Text))) return std::string(10, ' ');
  return Entry(*kDayTables[CurrentConvention()], DateDayOfWeek(Text) - 1);
}

std::string MonthName(std::string_view Text) {
  const std::string american = American(Text);
  const int month = NumberOf(american.substr(0, 2));
  if (IsBlankAmerican(american) || month < 1 || month > 12) return std::string(9, ' ');
  return Entry(*kMonthTables[CurrentConvention()], month - 1).substr(0, 10);
}

int DateMonth(std::string_view Text) {
  const int month = NumberOf(American(Text).substr(0, 2));
  return month < 0 ? 0 : month;
}

int DateDay(std::string_view Text) {
  const std::string american = American(Text);
  const int day = american.size() > 3 ? NumberOf(american.substr(3, 2)) : -1;
  return day < 0 ? 0 : day;
}

int DateYear(std::string_view Text) {
  const std::string american = American(Text);
  const int year = american.size() > 6 ? NumberOf(american.substr(6)) : -1;
  return year < 0 ? 0 : year;
}

}  // namespace morvane
