// morvane settings: runs both start-ups and prints the engine's settings, one "key: value" a
// line (texts that may hold blanks in double quotes).
#include <string>

#include "cli/morvane/cli_support.h"
#include "engine/util/dates.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "platform/formats/formats.h"

namespace morvane_cli {

namespace {
std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
}  // namespace

int cmd_settings(const Args& args) {
  if (!args.empty()) {
    PrintError("settings takes no arguments");
    return kExitUsage;
  }
  const platform::formats::UserLanguage user = platform::formats::DefaultUserLanguage();
  const morvane::EngineSettings& s = morvane::Settings;
  PrintLine("user language: " + user.language + (user.country.empty() ? "" : "_" + user.country));
  PrintLine("date convention: " + std::to_string(s.DateConvention));
  PrintLine(std::string("century: ") + OnOff(s.CenturyOn));
  PrintLine("century base: " + std::to_string(s.CenturyBase));
  PrintLine("blank date text: " + Quoted(morvane::BlankDateText(s.DateConvention)));
  PrintLine("decimal separator: " + Quoted(std::string(1, s.DecimalSeparator)));
  PrintLine("thousands separator: " + Quoted(std::string(1, s.ThousandSeparator)));
  PrintLine(std::string("error check: ") + OnOff(morvane::Errors.ErrorCheck));
  PrintLine(std::string("raise errors: ") + OnOff(morvane::Errors.RaiseErrors));
  return kExitOk;
}

}  // namespace morvane_cli
