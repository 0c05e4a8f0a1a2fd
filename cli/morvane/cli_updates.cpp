// Arguments, opening and output of the update commands.
#include "cli/morvane/cli_updates.h"

#include "engine/dbf/value_text.h"
#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"
#include "engine/util/files.h"
#include "engine/util/errors.h"
#include "engine/util/texts.h"

namespace morvane_cli {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

bool ParseUpdateArgs(const Args& args, const char* command, UpdateArgs& out) {
  for (const std::string& a : args) {
    if (a == "--ansi") {
      out.ansi = true;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      PrintError(std::string(command) + ": unknown option " + ToEngineText(a));
      return false;
    } else if (out.table.empty()) {
      out.table = a;
    } else {
      out.rest.push_back(a);
    }
  }
  if (out.table.empty()) {
    PrintError(std::string(command) + ": which table?");
    return false;
  }
  return true;
}

void OpenForUpdate(const UpdateArgs& args) {
  morvane::WorkAreas.TableLanguage = args.ansi ? morvane::tlAnsi : morvane::tlOem;
  morvane::Select(1);
  // The alias is fixed so that any file name gives a valid one.
  morvane::Use(args.table + " ALIAS MORVANE", nullptr, 0);
  // The production index (the ".mdx" of the table's name) is kept in step with every change;
  // it stays in natural order so that record numbers and appends work as without it.
  if (!morvane::HasProductionIndex()) return;
  std::string name = morvane::AreaFileName();
  const size_t slash = name.rfind('/');
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.resize(dot);
  if (!morvane::FileExists(name + ".mdx")) return;
  if (morvane::SetIndexTo("")) morvane::Set_Order_To(0);
}

bool RecordArgument(const std::string& text, const char* command, int32_t& recno, int& status) {
  int64_t n = 0;
  bool digits = !text.empty() && text.size() <= 10;
  for (char c : text) {
    if (c < '0' || c > '9') digits = false;
    if (digits) n = n * 10 + (c - '0');
  }
  if (!digits || n < 1) {
    PrintError(std::string(command) + ": not a record number: " + ToEngineText(text));
    status = kExitUsage;
    return false;
  }
  const int32_t count = morvane::RecCount();
  if (n > count) {
    PrintError(std::string(command) + ": record " + std::to_string(n) + " does not exist; " +
               morvane::AreaFileName() + " has " + std::to_string(count) + " records");
    status = morvane::ExitStatusOf(212);
    return false;
  }
  recno = static_cast<int32_t>(n);
  return true;
}

bool AssignValues(const std::vector<std::string>& assignments, const char* command) {
  morvane::WorkArea* area = morvane::CurrentWorkArea();
  for (const std::string& assignment : assignments) {
    const size_t eq = assignment.find('=');
    const std::string name =
        ToEngineText(assignment.substr(0, eq == std::string::npos ? assignment.size() : eq));
    if (eq == std::string::npos || name.empty()) {
      PrintError(std::string(command) + ": expected NAME=VALUE, not " + ToEngineText(assignment));
      return false;
    }
    // The name must be a field's whole name (FieldNo alone would also take a longer text cut to
    // ten characters).
    const int n = morvane::FieldNo(name);
    if (n == 0 || morvane::UpperText(name) != area->Table.Fields[static_cast<size_t>(n - 1)].Name) {
      PrintError(std::string(command) + ": no field " + name + " in " + morvane::AreaFileName());
      return false;
    }
    const morvane::FieldDescriptor& field = area->Table.Fields[static_cast<size_t>(n - 1)];
    if (!morvane::TakesValueText(field)) {
      PrintError(std::string(command) + ": field " + field.Name +
                 " is a memo field; memo texts "
                 "cannot be set here");
      return false;
    }
    const std::string value = ToEngineText(assignment.substr(eq + 1));
    if (!morvane::StoreValueText(field, area->Typed, value)) {
      PrintError(std::string(command) + ": " + field.Name + " takes " +
                 (field.Type == 'D' ? "a date (YYYYMMDD or the date text of the user's language)"
                                    : "a number") +
                 ", not " + value);
      return false;
    }
  }
  return true;
}

void PrintStoredRecord(const std::string& verb) {
  const morvane::WorkArea* area = morvane::CurrentWorkArea();
  const morvane::DbfControlBlock& t = area->Table;
  PrintLine(verb + " record " + std::to_string(t.CurrentRecord));
  for (const morvane::FieldDescriptor& f : t.Fields) {
    std::string_view raw(t.Record() + f.Offset, f.Width);
    while (!raw.empty() && IsBlank(raw.back())) raw.remove_suffix(1);
    if (f.Type != 'C')
      while (!raw.empty() && IsBlank(raw.front())) raw.remove_prefix(1);
    PrintLine(f.Name + ": " + std::string(raw));
  }
}

int LockRefused(const std::string& message, uint16_t code) {
  PrintError(message);
  return morvane::ExitStatusOf(code);
}

}  // namespace morvane_cli
