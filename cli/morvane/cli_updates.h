// What the update commands of morvane (append, replace, delete, recall, zap) share: their
// arguments, opening the table shared for writing, NAME=VALUE assignments stored as a delimited
// import stores them, the record as stored, and the message for a lock another process holds.
// The commands never wait for a lock: they fail at once, naming the record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/morvane/cli_support.h"

namespace morvane_cli {

// The table (first argument that is not an option), --ansi, and the other arguments in order.
struct UpdateArgs {
  std::string table;
  bool ansi = false;              // --ansi: the table is not OEM-translated
  std::vector<std::string> rest;  // RECNO and NAME=VALUE arguments
};
// False after printing a usage message (unknown option, no table).
bool ParseUpdateArgs(const Args& args, const char* command, UpdateArgs& out);

// Opens the table shared, read/write, in work area 1, with its production index (when the
// header says it has one and the file is there) in natural order, so that the changes keep
// every tag in step. Engine errors raise (RunGuarded).
void OpenForUpdate(const UpdateArgs& args);

// A record number argument: a whole number from 1 to the table's record count. False after
// printing a message, with Status the exit status to return (kExitUsage for a text that is not
// a number, the status of 212 for a record that does not exist).
bool RecordArgument(const std::string& text, const char* command, int32_t& recno, int& status);

// Stores NAME=VALUE assignments in the current record's typed record by field type. False after
// printing a message for a malformed assignment, an unknown field, a memo field, or a value that
// is not a date or number where the field needs one.
bool AssignValues(const std::vector<std::string>& assignments, const char* command);

// Prints "<verb> record N" and then "NAME: value" for each field as stored in the record (texts
// without trailing blanks, numbers without blanks, dates as YYYYMMDD, too-wide numbers as "*").
void PrintStoredRecord(const std::string& verb);

// Prints why a lock could not be taken and returns the exit status of Code.
int LockRefused(const std::string& message, uint16_t code);

}  // namespace morvane_cli
