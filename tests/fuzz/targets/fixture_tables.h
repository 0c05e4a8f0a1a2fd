// The fixed tables the fuzz targets pair their inputs with, built by the engine. The seed writer
// (tests/fuzz/seeds) uses the same builders, so that seeds and targets always agree.
#pragma once

#include <string>

namespace fuzz {

// The table an index input is opened with: SUMLEV C3, GEOCODE C11, RACE C1, NAME C24, POP N8.2,
// BORN D8, OK L1, and 30 records (geographic areas of two summary levels, each in four race
// iterations, one deleted; names long enough that a NAME + GEOCODE tag needs a branch page).
// The engine must be running; errors are reported as the switches say.
void WriteIndexTable(const std::string& Path);

}  // namespace fuzz
