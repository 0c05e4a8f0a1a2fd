// The fixed tables the fuzz targets pair their inputs with, built by the engine. The seed writer
// (tests/fuzz/seeds) uses the same builders, so that seeds and targets always agree.
#pragma once

#include <cstdint>
#include <string>

#include "engine/dbf/dbf_file.h"

namespace fuzz {

// A field descriptor for CreateDbf.
morvane::FieldDescriptor Fd(const char* Name, char Type, uint8_t Width, uint8_t Decimals = 0);

// The table an index input is opened with: SUMLEV C3, GEOCODE C11, RACE C1, NAME C24, POP N8.2,
// BORN D8, OK L1, and 30 records (geographic areas of two summary levels, each in four race
// iterations, one deleted; names long enough that a NAME + GEOCODE tag needs a branch page).
// The engine must be running; errors are reported as the switches say.
void WriteIndexTable(const std::string& Path);

// The memo file layouts a memo input may have (chosen by its first byte, modulo kMemoKinds).
enum class MemoKind : uint8_t { Dbase3, Dbase4, FoxPro };
inline constexpr int kMemoKinds = 3;

// The version byte of Kind's memo table (0x83, 0x8B, 0xF5), which says how its memo file is read.
uint8_t MemoTableVersion(MemoKind Kind);
// The memo file beside the table Path (its extension DBT, or FPT for FoxPro).
std::string MemoFileOf(const std::string& Path, MemoKind Kind);

// The table a memo input is opened with: TITLE C8, NOTES M10, QTY N5, EXTRA M10, in the version
// of Kind, with six records whose memos the engine writes into the memo file beside it (block
// size 512; 64 for FoxPro): a short text; a text over several blocks with CR LF lines and a
// paragraph of LF, CR and soft returns; a line longer than the line view's width and bytes that
// are not text (a deleted record); a record without memos; a text with OEM letters whose EXTRA
// shares the first record's block; a block far beyond the file and a negative block number.
// The engine must be running with errors raised.
void WriteMemoTable(const std::string& Path, MemoKind Kind);

// The table a delimited import goes into, empty: QTY N5 (first, so that a whole number ends in
// the record's first 8 bytes), NAME C12, POP N9, RATE N7.2, RATIO F10.4, BORN D8, OK L1, NOTES
// M10, CODE C3, BIG N18, CITY C30 (version 0x8B, with its memo file). The engine must be
// running with errors raised.
void WriteImportTable(const std::string& Path);

}  // namespace fuzz
