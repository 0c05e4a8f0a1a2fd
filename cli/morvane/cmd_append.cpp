// morvane append TABLE [NAME=VALUE...] [--ansi]: appends one record to a shared table under the
// append lock; fields not named stay blank, values are stored by field type as a delimited
// import stores them. Prints the record as stored. When another process holds the append lock
// the command fails at once (exit status 5) and writes nothing.
#include "cli/morvane/cli_support.h"
#include "cli/morvane/cli_updates.h"
#include "engine/dbf/locks.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"

namespace morvane_cli {

namespace {

int Run(const Args& args) {
  UpdateArgs a;
  if (!ParseUpdateArgs(args, "append", a)) return kExitUsage;
  OpenForUpdate(a);
  morvane::ClearRecord();
  if (!AssignValues(a.rest, "append")) return kExitUsage;
  if (!morvane::ALock())
    return LockRefused("append: cannot append record " + std::to_string(morvane::RecCount() + 1) +
                           " to " + morvane::AreaFileName() +
                           ": another process holds the table's append lock; nothing was written",
                       5);
  morvane::Append();
  morvane::Unlock();
  PrintStoredRecord("appended");
  morvane::CloseArea();
  return kExitOk;
}

}  // namespace

int cmd_append(const Args& args) { return RunGuarded(&Run, args); }

}  // namespace morvane_cli
