// What every morvane command shares: the command table, engine start-up, the arguments and the
// conversion between the terminal's UTF-8 and the engine's ANSI texts, output, and error
// reporting the engine's way (error text on standard error, exit status from the error code).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvane_cli {

// A command's arguments (after the command name), as the shell gave them (UTF-8 bytes).
using Args = std::vector<std::string>;

using CommandFn = int (*)(const Args& args);
struct Command {
  const char* name;
  const char* arguments;   // usage of the arguments, e.g. "<table.dbf>"
  const char* summary;     // one line for the usage text
  CommandFn run;
};

// Every command, in the order of commands.inc.
const std::vector<Command>& Commands();

// Exit statuses besides the engine's codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 64;   // bad command line (as sysexits' EX_USAGE)

// Runs the engine's start-up and the dataset unit's start-up with the default switches (an
// engine error prints "Program halted." and the error on standard error and ends the process
// with the code's exit status).
void StartEngine();

// An argument as engine text (Windows-1252). File names are passed to the engine unchanged
// (they are the operating system's bytes), not through this.
std::string ToEngineText(std::string_view utf8);
// Engine text for the terminal.
std::string ToTerminal(std::string_view ansi);

// Writes one line of engine text to standard output (converted to UTF-8).
void PrintLine(std::string_view ansi);
// Writes "morvane: " and a message of engine text to standard error.
void PrintError(std::string_view ansi);

// Runs a command body with RaiseErrors on: an EMorvaneError is printed to standard error and
// gives the exit status of the engine's error code (ExitStatusOf). Other exceptions print their
// message and give 1. Otherwise the body's own status.
int RunGuarded(int (*body)(const Args&), const Args& args);

// After a step run with ErrorCheck off: when DbfError is set, prints ErrorReport() to standard
// error and returns the code's exit status; 0 when there is no error.
int EngineFailureStatus();

// "on" / "off".
const char* OnOff(bool on);

}  // namespace morvane_cli
