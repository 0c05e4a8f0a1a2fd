// Options and opening of the table commands.
#include "cli/morvane/cli_tables.h"

#include "engine/dbf/workarea.h"

namespace morvane_cli {

bool ParseTableArgs(const Args& args, bool allowDeleted, TableArgs& out, const char* command) {
  for (const std::string& a : args) {
    if (a == "--ansi") {
      out.ansi = true;
    } else if (a == "--deleted" && allowDeleted) {
      out.deleted = true;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      PrintError(std::string(command) + ": unknown option " + ToEngineText(a));
      return false;
    } else if (out.table.empty()) {
      out.table = a;
    } else {
      PrintError(std::string(command) + ": one table only");
      return false;
    }
  }
  if (out.table.empty()) {
    PrintError(std::string(command) + ": which table?");
    return false;
  }
  return true;
}

void OpenForReading(const TableArgs& args) {
  namespace os = platform::os;
  morvane::WorkAreas.TableLanguage = args.ansi ? morvane::tlAnsi : morvane::tlOem;
  morvane::WorkAreas.FileModeOverride = os::fmOpenRead | os::fmShareDenyNone;
  morvane::Select(1);
  // The alias is fixed so that any file name gives a valid one.
  morvane::Use(args.table + " ALIAS MORVANE", nullptr, 0);
  morvane::WorkAreas.FileModeOverride = -1;
}

}  // namespace morvane_cli
