// The user's default language and the platform's date and number formats, read from the locale
// environment (LC_ALL, then LC_TIME / LC_NUMERIC, then LANG; an empty variable counts as unset;
// no locale or an unknown one is English, United States). The engine may overwrite the current
// short date format and date separator, so that platform date conversions follow its settings.
#pragma once

#include <string>

namespace platform::formats {

// The user's language as an ISO 639 language and ISO 3166 country code, lower and upper case:
// {"de", "DE"} for de_DE.UTF-8; {"en", "US"} when nothing is set or "C"/"POSIX".
struct UserLanguage {
  std::string language;
  std::string country;
};
UserLanguage DefaultUserLanguage();

// Process-wide current formats, initialised from the locale on first use.
struct Formats {
  std::string shortDateFormat;   // a picture such as "M/d/yyyy", "dd.MM.yyyy"
  char dateSeparator = '/';
  char decimalSeparator = '.';
  char thousandsSeparator = ',';
};
const Formats& Current();
void SetShortDateFormat(const std::string& picture);
void SetDateSeparator(char separator);
void SetSeparators(char decimalSeparator, char thousandsSeparator);
// Forgets every change and reads the environment again (tests, start-up).
void ResetFromEnvironment();

}  // namespace platform::formats
