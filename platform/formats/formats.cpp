// The user's language and the platform's date and number formats from the locale environment,
// with the Windows default formats of each known locale.
//
// Which variable counts: the language from LC_ALL, else LC_MESSAGES, else LC_TIME, else LANG;
// the short date format from LC_ALL, else LC_TIME, else LANG; the separators from LC_ALL, else
// LC_NUMERIC, else LANG. An empty variable counts as unset. A locale name is read as
// language[_COUNTRY][.charset][@modifier] ("-" is accepted for "_"). "C", "POSIX", a malformed
// name or a language without an entry below is English, United States; a known language with an
// unknown country takes the language's first entry for its formats and keeps its own country.
#include "platform/formats/formats.h"

#include <cstdlib>
#include <string_view>

namespace platform::formats {

namespace {

struct LocaleFormats {
  const char* language;
  const char* country;       // the language's first entry is its default
  const char* shortDate;
  char decimalSeparator;
  char thousandsSeparator;
};

// Windows default short date formats and separators. Where Windows uses a no-break or narrow
// no-break space for thousands, a blank stands here.
constexpr LocaleFormats kLocales[] = {
    {"en", "US", "M/d/yyyy", '.', ','},
    {"en", "GB", "dd/MM/yyyy", '.', ','},
    {"en", "AU", "dd/MM/yyyy", '.', ','},
    {"en", "IE", "dd/MM/yyyy", '.', ','},
    {"en", "NZ", "dd/MM/yyyy", '.', ','},
    {"en", "CA", "dd/MM/yyyy", '.', ','},
    {"en", "ZA", "yyyy/MM/dd", '.', ','},
    {"de", "DE", "dd.MM.yyyy", ',', '.'},
    {"de", "AT", "dd.MM.yyyy", ',', '.'},
    {"de", "LU", "dd.MM.yyyy", ',', '.'},
    {"de", "CH", "dd.MM.yyyy", '.', '\''},
    {"fr", "FR", "dd/MM/yyyy", ',', ' '},
    {"fr", "CA", "yyyy-MM-dd", ',', ' '},
    {"fr", "BE", "dd-MM-yy", ',', '.'},
    {"fr", "CH", "dd.MM.yyyy", '.', '\''},
    {"fr", "LU", "dd/MM/yyyy", ',', '.'},
    {"es", "ES", "dd/MM/yyyy", ',', '.'},
    {"es", "MX", "dd/MM/yyyy", '.', ','},
    {"es", "US", "M/d/yyyy", '.', ','},
    {"it", "IT", "dd/MM/yyyy", ',', '.'},
    {"it", "CH", "dd.MM.yyyy", '.', '\''},
    {"ru", "RU", "dd.MM.yyyy", ',', ' '},
    {"nl", "NL", "d-M-yyyy", ',', '.'},
    {"nl", "BE", "d/MM/yyyy", ',', '.'},
    {"pt", "PT", "dd/MM/yyyy", ',', ' '},
    {"pt", "BR", "dd/MM/yyyy", ',', '.'},
    {"sv", "SE", "yyyy-MM-dd", ',', ' '},
    {"sv", "FI", "yyyy-MM-dd", ',', ' '},
    {"ja", "JP", "yyyy/MM/dd", '.', ','},
    {"zh", "CN", "yyyy/M/d", '.', ','},
    {"zh", "TW", "yyyy/M/d", '.', ','},
    {"zh", "HK", "d/M/yyyy", '.', ','},
    {"zh", "SG", "d/M/yyyy", '.', ','},
};

struct ParsedLocale {
  std::string language;  // lower case, "" when unknown
  std::string country;   // upper case, may be ""
};

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The first of the variables that is set and not empty.
std::string FirstSet(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    std::string value = Variable(name);
    if (!value.empty()) return value;
  }
  return "";
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool KnownLanguage(const std::string& language) {
  for (const LocaleFormats& l : kLocales) {
    if (language == l.language) return true;
  }
  return false;
}

ParsedLocale Parse(std::string_view name) {
  ParsedLocale out;
  size_t end = name.find_first_of(".@");
  if (end != std::string_view::npos) name = name.substr(0, end);
  size_t sep = name.find_first_of("_-");
  std::string_view language = name.substr(0, sep);
  std::string_view country = sep == std::string_view::npos ? "" : name.substr(sep + 1);
  if (language.size() < 2 || language.size() > 3) return out;
  for (char c : language) {
    if (!IsAsciiLetter(c)) return out;
  }
  for (char c : country) {
    if (!IsAsciiLetter(c)) return out;
  }
  for (char c : language) out.language += ToLower(c);
  for (char c : country) out.country += ToUpper(c);
  if (!KnownLanguage(out.language)) return {};
  return out;
}

// The entry for a locale name: the exact language and country, else the language's first
// entry, else English, United States.
const LocaleFormats& Lookup(const std::string& localeName) {
  ParsedLocale p = Parse(localeName);
  const LocaleFormats* first = nullptr;
  for (const LocaleFormats& l : kLocales) {
    if (p.language != l.language) continue;
    if (p.country == l.country) return l;
    if (first == nullptr) first = &l;
  }
  return first != nullptr ? *first : kLocales[0];
}

// The first character of a picture that is not a letter, or '/' when there is none.
char SeparatorOf(const std::string& picture) {
  for (char c : picture) {
    if (!IsAsciiLetter(c)) return c;
  }
  return '/';
}

Formats FromEnvironment() {
  Formats f;
  const LocaleFormats& date = Lookup(FirstSet({"LC_ALL", "LC_TIME", "LANG"}));
  f.shortDateFormat = date.shortDate;
  f.dateSeparator = SeparatorOf(f.shortDateFormat);
  const LocaleFormats& numbers = Lookup(FirstSet({"LC_ALL", "LC_NUMERIC", "LANG"}));
  f.decimalSeparator = numbers.decimalSeparator;
  f.thousandsSeparator = numbers.thousandsSeparator;
  return f;
}

Formats& State() {
  static Formats formats = FromEnvironment();
  return formats;
}

}  // namespace

UserLanguage DefaultUserLanguage() {
  ParsedLocale p = Parse(FirstSet({"LC_ALL", "LC_MESSAGES", "LC_TIME", "LANG"}));
  if (p.language.empty()) return {"en", "US"};
  if (p.country.empty()) {
    for (const LocaleFormats& l : kLocales) {
      if (p.language == l.language) return {p.language, l.country};
    }
  }
  return {p.language, p.country};
}

const Formats& Current() { return State(); }

void SetShortDateFormat(const std::string& picture) { State().shortDateFormat = picture; }

void SetDateSeparator(char separator) { State().dateSeparator = separator; }

void SetSeparators(char decimalSeparator, char thousandsSeparator) {
  State().decimalSeparator = decimalSeparator;
  State().thousandsSeparator = thousandsSeparator;
}

void ResetFromEnvironment() { State() = FromEnvironment(); }

}  // namespace platform::formats
