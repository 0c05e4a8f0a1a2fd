// The fuzz entry points: each takes one input (the bytes of a file or a text), runs one of the
// engine's readers over it, and returns 0. An input may make the engine report any error; it
// must never make it crash, read or write outside a buffer, leak, hang, or throw anything but
// the engine's own EMorvaneError. The libFuzzer programs (tests/fuzz/libfuzzer) and the replay
// suite (tests/fuzz/replay) both call these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace fuzz {

using Entry = int (*)(const uint8_t* Data, size_t Size);

// The input is a DBF file: opened through the table layer and through a work area (shared and
// exclusive, errors raised and recorded, with and without the count from the file size), every
// record read and decoded into the typed record, moved through forwards and backwards; then one
// record appended and one rewritten, and the table read again.
int FuzzDbfTable(const uint8_t* Data, size_t Size);

// The input is an expression text, optionally followed by a NUL byte and a raw record image for
// the current record of the expression table (see expr_target.cpp for its fields). The text is
// compiled against that table and an aliased second one and evaluated on every record and at
// the end position, with errors raised and recorded; it is also checked as a FOR condition.
int FuzzExpression(const uint8_t* Data, size_t Size);

// The input is an index file for the fixed index table (fixture_tables.h): opened for the
// table (exclusive and shared, errors raised and recorded), every tag walked both ways and
// searched for a few keys; on the exclusive table the keys are then maintained through an
// append and a rewrite, the file is rebuilt from its own definitions, and read again.
int FuzzMdxIndex(const uint8_t* Data, size_t Size);

// The input is a memo file: its first byte chooses the layout (dBASE III, dBASE IV, FoxPro,
// modulo 3), the rest is the file beside the fixed memo table (fixture_tables.h). Every memo of
// every record is read as a whole text, as a stream and as lines, the memo fields are searched
// and the table copied (exclusive and shared, errors raised and recorded, with and without
// record hooks); on the exclusive table a memo text and a memo stream are written and
// everything is read again. Memos stored before a write must read the same after it.
int FuzzMemoFile(const uint8_t* Data, size_t Size);

// The input is a delimited text, after a first byte that chooses the number and date
// conventions and the table language (see import_target.cpp): appended into the fixed import
// table (every field type) exclusive, shared, and shared with an index open, each table read
// back; the three must hold the same bytes.
int FuzzDelimitedImport(const uint8_t* Data, size_t Size);

struct Target {
  const char* Name;  // the folder of its corpus and regressions under tests/fuzz, and of its
                     // libFuzzer program fuzz_<Name>
  Entry Run;
};

// Every target, in a fixed order.
std::span<const Target> AllTargets();

}  // namespace fuzz
