// morvane delete TABLE RECNO [--ansi] and morvane recall TABLE RECNO [--ansi]: set or clear one
// record's deletion flag in a shared table under its record lock. When another process holds the
// record's lock the command fails at once (exit status of 1200, "Record not locked") and writes
// nothing.
#include "cli/morvane/cli_support.h"
#include "cli/morvane/cli_updates.h"
#include "engine/dbf/locks.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"

namespace morvane_cli {

namespace {

// Delete (true) or recall (false) the record named by the arguments.
int Mark(const Args& args, bool deleted) {
  const char* command = deleted ? "delete" : "recall";
  UpdateArgs a;
  if (!ParseUpdateArgs(args, command, a)) return kExitUsage;
  if (a.rest.size() != 1) {
    PrintError(std::string(command) + ": expected TABLE RECNO");
    return kExitUsage;
  }
  OpenForUpdate(a);
  int32_t recno = 0;
  int status = kExitOk;
  if (!RecordArgument(a.rest[0], command, recno, status)) return status;
  morvane::Go(recno);
  if (!morvane::RLock())
    return LockRefused(std::string(command) + ": record " + std::to_string(recno) + " of " +
                           morvane::AreaFileName() +
                           " is locked by another process; nothing was written",
                       1200);
  if (deleted)
    morvane::DeleteRec();
  else
    morvane::RecallRec();
  morvane::Unlock();
  PrintLine(std::string(deleted ? "deleted" : "recalled") + " record " + std::to_string(recno));
  morvane::CloseArea();
  return kExitOk;
}

int RunDelete(const Args& args) { return Mark(args, true); }
int RunRecall(const Args& args) { return Mark(args, false); }

}  // namespace

int cmd_delete(const Args& args) { return RunGuarded(&RunDelete, args); }
int cmd_recall(const Args& args) { return RunGuarded(&RunRecall, args); }

}  // namespace morvane_cli
