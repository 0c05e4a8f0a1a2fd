// morvane zap TABLE [--ansi]: removes every record of a table (it keeps its header and fields).
// The table is opened shared and reopened for exclusive use for the zap; when another process
// has it open the command fails at once (exit status 32, sharing violation) and changes nothing.
#include "cli/morvane/cli_support.h"
#include "cli/morvane/cli_updates.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"

namespace morvane_cli {

namespace {

int Run(const Args& args) {
  UpdateArgs a;
  if (!ParseUpdateArgs(args, "zap", a)) return kExitUsage;
  if (!a.rest.empty()) {
    PrintError("zap: expected TABLE");
    return kExitUsage;
  }
  OpenForUpdate(a);
  const int32_t count = morvane::RecCount();
  const bool check = morvane::SetErrorCheck(false);
  const bool done = morvane::Zap();
  morvane::SetErrorCheck(check);
  if (!done && morvane::Errors.DbfError == 32) {
    const std::string name = morvane::AreaFileName();
    morvane::TakeErrorDetail();
    return LockRefused("zap: " + name +
                           " is open in another process; zap needs the table to "
                           "itself, nothing was removed",
                       32);
  }
  if (morvane::Errors.DbfError != 0) return EngineFailureStatus();
  PrintLine("removed " + std::to_string(count) + " records from " + morvane::AreaFileName());
  morvane::CloseArea();
  return kExitOk;
}

}  // namespace

int cmd_zap(const Args& args) { return RunGuarded(&Run, args); }

}  // namespace morvane_cli
