// morvane memo TABLE FIELD RECNO [--ansi]: prints the text of a memo field of a record (nothing
// for an empty memo). morvane memo TABLE FIELD RECNO --set FILE [--ansi]: writes the contents of
// FILE (UTF-8 text, as the terminal gives) as the record's new memo, under the record's lock, and
// prints "memo: block N" (0 for an empty file, which empties the memo). A new memo goes to the end
// of the memo file, or into a free block group of a dBASE IV memo file; the old one stays where it
// is until the file is packed by another program.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/morvane/cli_support.h"
#include "cli/morvane/cli_updates.h"
#include "engine/dbf/locks.h"
#include "engine/dbf/memo.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "engine/util/texts.h"

namespace morvane_cli {

namespace {

int Run(const Args& args) {
  UpdateArgs a;
  std::string setFile;
  Args rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--set") {
      if (i + 1 >= args.size()) {
        PrintError("memo: --set needs a file");
        return kExitUsage;
      }
      setFile = args[++i];
    } else {
      rest.push_back(args[i]);
    }
  }
  if (!ParseUpdateArgs(rest, "memo", a)) return kExitUsage;
  if (a.rest.size() != 2) {
    PrintError("usage: morvane memo <table> <field> <recno> [--set FILE]");
    return kExitUsage;
  }
  std::string text;
  if (!setFile.empty()) {
    std::ifstream in(setFile, std::ios::binary);
    if (!in) {
      PrintError("memo: cannot read " + setFile);
      return morvane::ExitStatusOf(2);
    }
    text = ToEngineText(std::string(std::istreambuf_iterator<char>(in), {}));
  }

  OpenForUpdate(a);
  morvane::WorkArea& area = *morvane::CurrentWorkArea();
  const std::string name = ToEngineText(a.rest[0]);
  const int n = morvane::FieldNo(name);
  if (n == 0 || morvane::UpperText(name) != area.Table.Fields[static_cast<size_t>(n - 1)].Name ||
      area.Table.Fields[static_cast<size_t>(n - 1)].Type != 'M') {
    PrintError("memo: no memo field " + name + " in " + morvane::AreaFileName());
    return kExitUsage;
  }
  int32_t recno = 0;
  int status = kExitOk;
  if (!RecordArgument(a.rest[1], "memo", recno, status)) return status;
  morvane::Go(recno);
  uint8_t* slot = morvane::FieldAddress(n);

  if (setFile.empty()) {
    int32_t block = 0;
    std::memcpy(&block, slot, sizeof block);
    std::string memo;
    if (block != 0) morvane::ReadMemoText(block, memo);
    const std::string shown = ToTerminal(memo);
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    morvane::CloseArea();
    return kExitOk;
  }

  if (!morvane::RLock())
    return LockRefused("memo: cannot change record " + std::to_string(recno) + " of " +
                           morvane::AreaFileName() +
                           ": another process holds its lock; nothing was written",
                       1200);
  const int32_t block = text.empty() ? 0 : morvane::WriteMemoText(text, area.Table.OemTranslation);
  std::memcpy(slot, &block, sizeof block);
  morvane::Replace();
  morvane::Unlock();
  PrintLine("memo: block " + std::to_string(block));
  morvane::CloseArea();
  return kExitOk;
}

}  // namespace

int cmd_memo(const Args& args) { return RunGuarded(&Run, args); }

}  // namespace morvane_cli
