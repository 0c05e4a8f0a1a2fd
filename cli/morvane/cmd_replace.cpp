// morvane replace TABLE RECNO NAME=VALUE... [--ansi]: changes fields of one record of a shared
// table under its record lock; values are stored by field type as a delimited import stores
// them. Prints the record as stored. When another process holds the record's lock the command
// fails at once (exit status of 1200, "Record not locked") and writes nothing.
#include "cli/morvane/cli_support.h"
#include "cli/morvane/cli_updates.h"
#include "engine/dbf/locks.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"

namespace morvane_cli {

namespace {

int Run(const Args& args) {
  UpdateArgs a;
  if (!ParseUpdateArgs(args, "replace", a)) return kExitUsage;
  if (a.rest.size() < 2) {
    PrintError("replace: expected TABLE RECNO NAME=VALUE...");
    return kExitUsage;
  }
  OpenForUpdate(a);
  int32_t recno = 0;
  int status = kExitOk;
  if (!RecordArgument(a.rest[0], "replace", recno, status)) return status;
  morvane::Go(recno);
  if (!morvane::RLock())
    return LockRefused("replace: record " + std::to_string(recno) + " of " +
                           morvane::AreaFileName() +
                           " is locked by another process; nothing was written",
                       1200);
  // The record is read again under the lock, so that the fields not named keep what another
  // process may have written before the lock was taken.
  morvane::Go(recno);
  if (!AssignValues({a.rest.begin() + 1, a.rest.end()}, "replace")) return kExitUsage;
  morvane::Replace();
  morvane::Unlock();
  PrintStoredRecord("replaced");
  morvane::CloseArea();
  return kExitOk;
}

}  // namespace

int cmd_replace(const Args& args) { return RunGuarded(&Run, args); }

}  // namespace morvane_cli
