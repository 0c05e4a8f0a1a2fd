// What the table commands of morvane (info, dump, create) share: their options and opening a
// table for reading in the current work area.
#pragma once

#include <string>

#include "cli/morvane/cli_support.h"

namespace morvane_cli {

// The table argument and the options of a table command. Unknown options and a missing or
// second table argument are usage errors (message printed, false returned).
struct TableArgs {
  std::string table;
  bool ansi = false;      // --ansi: the table is not OEM-translated
  bool deleted = false;   // --deleted (only where allowed)
};
bool ParseTableArgs(const Args& args, bool allowDeleted, TableArgs& out, const char* command);

// Opens the table read-only and shared in the current work area, OEM-translated unless Ansi.
// Engine errors raise (the commands run under RunGuarded).
void OpenForReading(const TableArgs& args);

}  // namespace morvane_cli
