// morvane find TABLE INDEXFILE KEY [--tag NAME] [--exact] [--ansi]: seeks KEY in the controlling
// tag (or NAME) of INDEXFILE and prints "found RECNO" and the record as one CSV line in the form
// of `morvane dump`, or "not found" (exit status 1). Keys match in part unless --exact; deleted
// records are passed over, as dump leaves them out.
#include <cstdio>
#include <string>

#include "cli/morvane/cli_index.h"
#include "cli/morvane/cli_support.h"
#include "cli/morvane/cli_tables.h"
#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"

namespace morvane_cli {

namespace {

int FindCommand(const Args& args) {
  std::string tag;
  bool exact = false;
  Args rest;
  Args positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--tag" && i + 1 < args.size()) {
      tag = ToEngineText(args[++i]);
    } else if (args[i] == "--exact") {
      exact = true;
    } else if (args[i] == "--ansi") {
      rest.push_back(args[i]);
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      PrintError("find: unknown option " + ToEngineText(args[i]));
      return kExitUsage;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 3) {
    PrintError("find: needs a table, an index file and a key");
    return kExitUsage;
  }
  TableArgs table;
  rest.insert(rest.begin(), positional[0]);
  if (!ParseTableArgs(rest, false, table, "find")) return kExitUsage;
  OpenForReading(table);
  OpenIndexForReading(positional[1], tag);
  morvane::SetIgnoreDel(true);
  if (exact) morvane::SetExactOn();
  morvane::Find(ToEngineText(positional[2]));
  morvane::SetExactOff();
  const bool found = morvane::IndexFound();
  if (found) {
    PrintLine("found " + std::to_string(morvane::RecNo()));
    const std::string line = DumpRecordLine() + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  } else {
    PrintLine("not found");
  }
  morvane::CloseArea();
  return found ? kExitOk : 1;
}

}  // namespace

int cmd_find(const Args& args) { return RunGuarded(&FindCommand, args); }

}  // namespace morvane_cli
