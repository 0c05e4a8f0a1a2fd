// Shared helpers of the morvane commands and the command table.
#include "cli/morvane/cli_support.h"

#include <cstdio>
#include <exception>

#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "platform/codepage/codepage.h"

namespace morvane_cli {

#define MORVANE_COMMAND(name, arguments, summary) int cmd_##name(const Args& args);
#include "cli/morvane/commands.inc"
#undef MORVANE_COMMAND

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
#define MORVANE_COMMAND(name, arguments, summary) {#name, arguments, summary, &cmd_##name},
#include "cli/morvane/commands.inc"
#undef MORVANE_COMMAND
  };
  return commands;
}

void StartEngine() {
  morvane::EngineStartup();
  morvane::DatasetStartup();
}

std::string ToEngineText(std::string_view utf8) { return platform::codepage::Utf8ToAnsi(utf8); }

std::string ToTerminal(std::string_view ansi) { return platform::codepage::AnsiToUtf8(ansi); }

namespace {
void WriteLine(std::FILE* stream, std::string_view prefix, std::string_view ansi) {
  std::string text(prefix);
  for (size_t i = 0; i < ansi.size(); ++i) {
    if (ansi[i] == '\r' && i + 1 < ansi.size() && ansi[i + 1] == '\n') continue;
    text += ansi[i];
  }
  const std::string out = ToTerminal(text) + "\n";
  std::fwrite(out.data(), 1, out.size(), stream);
}
}  // namespace

void PrintLine(std::string_view ansi) { WriteLine(stdout, "", ansi); }

void PrintError(std::string_view ansi) {
  std::fflush(stdout);
  WriteLine(stderr, "morvane: ", ansi);
}

int RunGuarded(int (*body)(const Args&), const Args& args) {
  const bool previous = morvane::SetRaiseErrors(true);
  try {
    const int status = body(args);
    morvane::SetRaiseErrors(previous);
    return status;
  } catch (const morvane::EMorvaneError& e) {
    morvane::SetRaiseErrors(previous);
    PrintError(e.what());
    return morvane::ExitStatusOf(morvane::Errors.DbfError);
  } catch (const std::exception& e) {
    morvane::SetRaiseErrors(previous);
    PrintError(e.what());
    return 1;
  }
}

int EngineFailureStatus() {
  const uint16_t code = morvane::Errors.DbfError;
  if (code == 0) return kExitOk;
  const std::string report = morvane::ErrorReport();
  PrintError(report.empty() ? morvane::ErrorText(code) : report);
  return morvane::ExitStatusOf(code);
}

const char* OnOff(bool on) { return on ? "on" : "off"; }

}  // namespace morvane_cli
