// morvane import TABLE FILE.csv [--ansi]: appends one record per line of a comma-separated file
// to a table, as the engine's delimited import does (values in table order, stored by field type;
// the file's bytes are taken as the engine's ANSI text). The table is held for exclusive use
// while the import runs (another process that has it open makes the command fail at once).
// Prints "appended: N" and "failed lines: M". A line whose record cannot be appended is counted
// and the import goes on; the last such error is printed and gives the exit status. When
// standard error is a terminal a progress bar is drawn there. The file is only read.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli/morvane/cli_support.h"
#include "cli/morvane/cli_updates.h"
#include "engine/dbf/bulk.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/startup.h"

namespace morvane_cli {

namespace {

// The progress bar on standard error: 50 characters, one "#" for every two hundredths.
struct TerminalBar {
  static inline int steps = 0;
  static inline std::string caption;
  static void Draw() {
    const int filled = steps / 2;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", caption.c_str(), std::string(filled, '#').c_str(),
                 std::string(50 - filled, '.').c_str(), steps);
    std::fflush(stderr);
  }
  static void Open(const std::string& c) {
    caption = c;
    steps = 0;
    Draw();
  }
  static void Step() {
    if (steps < 100) ++steps;
    Draw();
  }
  static void Close() { std::fputs("\n", stderr); }
};

int Run(const Args& args) {
  UpdateArgs a;
  if (!ParseUpdateArgs(args, "import", a)) return kExitUsage;
  if (a.rest.size() != 1) {
    PrintError("import: give the table and one text file");
    return kExitUsage;
  }
  const std::string source = a.rest[0];
  morvane::WorkAreas.TableLanguage = a.ansi ? morvane::tlAnsi : morvane::tlOem;
  morvane::Select(1);
  morvane::Use(a.table + " ALIAS MORVANE EXCLUSIVE", nullptr, 0);
  const bool bar = isatty(STDERR_FILENO) == 1;
  if (bar) {
    morvane::ProgressHooks.Open = &TerminalBar::Open;
    morvane::ProgressHooks.Step = &TerminalBar::Step;
    morvane::ProgressHooks.Close = &TerminalBar::Close;
  }
  // The text file is read shared; every failed append is counted instead of ending the run.
  const unsigned savedMode = morvane::Settings.FileMode;
  morvane::Settings.FileMode = platform::os::fmOpenRead | platform::os::fmShareDenyNone;
  const bool check = morvane::SetErrorCheck(false);
  const morvane::DelimitedImportResult r = morvane::AppendFromDelimited(source, bar);
  morvane::SetErrorCheck(check);
  morvane::Settings.FileMode = savedMode;
  const uint16_t code = morvane::Errors.DbfError;
  const std::string report = morvane::ErrorReport();
  morvane::CloseArea();
  if (!r.Opened) {
    const std::string name = morvane::DefaultExtension(source, "TXT");
    PrintError("import: cannot open " + name +
               (morvane::FileExists(name) ? "" : ": no such file") + "; nothing was appended");
    return morvane::ExitStatusOf(2);
  }
  PrintLine("appended: " + std::to_string(r.Appended));
  PrintLine("failed lines: " + std::to_string(r.FailedLines));
  if (r.FailedLines > 0) {
    PrintError(report.empty() ? morvane::ErrorText(code) : report);
    return morvane::ExitStatusOf(code != 0 ? code : 1);
  }
  return kExitOk;
}

}  // namespace

int cmd_import(const Args& args) { return RunGuarded(&Run, args); }

}  // namespace morvane_cli
