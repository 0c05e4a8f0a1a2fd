// morvane locate TABLE FIELD VALUE [--nocase] [--exact] [--contained] [--ansi]: the first record
// (in physical order) whose field matches the value, as the engine's Locate compares: over the
// value's length unless --exact (the whole field, blanks included), anywhere in the field with
// --contained, without regard to case with --nocase; a memo field matches when a paragraph of its
// text contains the value. Prints the record number, or "not found" (exit status 1).
#include <string>

#include "cli/morvane/cli_support.h"
#include "cli/morvane/cli_tables.h"
#include "engine/dbf/bulk.h"
#include "engine/dbf/workarea.h"

namespace morvane_cli {

namespace {

int Run(const Args& args) {
  TableArgs table;
  std::string field, value, options;
  bool haveValue = false;
  for (const std::string& a : args) {
    if (a == "--nocase" || a == "--exact" || a == "--contained") {
      options += " " + a.substr(2);
    } else if (a == "--ansi") {
      table.ansi = true;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      PrintError("locate: unknown option " + ToEngineText(a));
      return kExitUsage;
    } else if (table.table.empty()) {
      table.table = a;
    } else if (field.empty()) {
      field = ToEngineText(a);
    } else if (!haveValue) {
      value = ToEngineText(a);
      haveValue = true;
    } else {
      PrintError("locate: one table, one field and one value");
      return kExitUsage;
    }
  }
  if (!haveValue) {
    PrintError("usage: morvane locate <table> <field> <value> [--nocase] [--exact] [--contained]");
    return kExitUsage;
  }
  OpenForReading(table);
  morvane::SearchState.Value = value;
  morvane::Locate(field + options);
  const bool found = !morvane::dEOF();
  PrintLine(found ? std::to_string(morvane::RecNo()) : "not found");
  morvane::CloseArea();
  return found ? kExitOk : 1;
}

}  // namespace

int cmd_locate(const Args& args) { return RunGuarded(&Run, args); }

}  // namespace morvane_cli
