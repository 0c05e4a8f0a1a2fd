// morvane info TABLE [--ansi]: the table's header and fields, one "key: value" a line, then one
// line per field: name, type letter, width, decimals.
#include <cstdio>
#include <string>

#include "cli/morvane/cli_support.h"
#include "cli/morvane/cli_tables.h"
#include "engine/dbf/workarea.h"

namespace morvane_cli {

namespace {

int Info(const Args& args) {
  TableArgs table;
  if (!ParseTableArgs(args, false, table, "info")) return kExitUsage;
  OpenForReading(table);
  const morvane::WorkArea& area = *morvane::CurrentWorkArea();
  const morvane::DbfControlBlock& t = area.Table;
  char version[8];
  std::snprintf(version, sizeof version, "0x%02X", t.Version());
  PrintLine(std::string("version: ") + version);
  PrintLine("records: " + std::to_string(morvane::RecCount()));
  PrintLine("header length: " + std::to_string(t.HeaderLength));
  PrintLine("record length: " + std::to_string(t.RecordLength));
  PrintLine("last update: " + t.LastUpdate);
  PrintLine(std::string("production index: ") + (morvane::HasProductionIndex() ? "yes" : "no"));
  PrintLine("fields: " + std::to_string(t.FieldCount));
  for (const morvane::FieldDescriptor& f : t.Fields)
    PrintLine(f.Name + " " + f.Type + " " + std::to_string(f.Width) + " " +
              std::to_string(f.Decimals));
  morvane::CloseArea();
  return kExitOk;
}

}  // namespace

int cmd_info(const Args& args) { return RunGuarded(&Info, args); }

}  // namespace morvane_cli
