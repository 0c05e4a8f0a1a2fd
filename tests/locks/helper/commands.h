// The other party of the locking tests: a small text protocol that opens a table in the current
// work area, takes locks and writes on command. The helper program (a real second process) reads
// the lines from standard input; the tests also run the same commands in a second work area of
// their own process, so that both kinds of other party behave alike by construction.
//
// One command a line, one answer line each:
//   use PATH [EXCLUSIVE]        ok | err CODE
//   close                       ok
//   go N                        ok | err CODE
//   rlock | alock               true | false
//   islocked N                  true | false
//   unlockrec N                 true | false CODE
//   unlock                      ok CODE
//   set NAME=VALUE...           ok | err no field NAME      (values stored as a text import does)
//   replace | delete | recall   ok | err CODE
//   append                      ok RECNO | err CODE
//   zap                         true | false CODE
//   reccount                    N
//   field NAME                  [TEXT] as stored in the current record (raw, in brackets)
//   appendburst WHO FROM COUNT BURST   ok | err CODE   (COUNT stress records numbered from FROM,
//                               in bursts of BURST under the append lock, which it waits for)
//   readuntil N SECONDS         ok READS | bad RECNO [RECORD] | timeout COUNT
#pragma once

#include <string>
#include <vector>

#include "engine/dbf/dbf_file.h"

namespace lockhelper {

// Runs one command line on the current work area and returns the answer line. Errors are
// recorded, not handled (the caller runs the engine with ErrorCheck off).
std::string Execute(const std::string& line);

// The stress records: WHO C(1), SEQ N(6), CHECK C(8) = WHO + SEQ as six digits + "#". True when
// the raw record (deletion byte first) is one of them, intact; Who and Seq receive its values.
bool StressRecordIntact(const std::string& raw, char& who, int& seq);
// The fields of the stress table.
std::vector<morvane::FieldDescriptor> StressFields();

}  // namespace lockhelper
