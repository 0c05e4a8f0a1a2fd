// The figures of one agemill_bench run and the table it prints: each row the engine's figure,
// SQLite's and the machine's limit for the same work, their ratios and the peak memory of each
// step, then how far the figures are from the targets set for the engine.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "bench/step_process.h"

namespace axbench {

// One piece of work done three ways. A side that was not run has Ok false and no Failure.
struct Comparison {
  StepResult Ours;    // the engine
  StepResult Theirs;  // SQLite
  StepResult Limit;   // plain reads and writes of the same bytes
};

struct Report {
  long Areas = 0;
  long Records = 0;
  long Finds = 0;
  int Repeat = 1;                     // runs of each timed step (the limit: at least 3)
  std::string SqliteVersion;
  std::string LoadBefore, LoadAfter;  // the load average at the start and at the end
  StepResult Generate;                // factfinder-sample
  StepResult Idle;                    // a bare step process
  StepResult WorkFile;                // the nine files' data lines into one
  Comparison Import;                  // delimited import
  StepResult ImportFsync;             // the import's limit with an fsync at the end
  Comparison Keys;                    // the key fields of every record (the engine only)
  Comparison Index;                   // index build
  Comparison Find;                    // random lookups of existing keys
  Comparison ReadIndex;               // every record in key order
  Comparison ReadRecord;              // every record in table order
  int64_t InputBytes = 0, TableBytes = 0, IndexBytes = 0, SqliteBytes = 0;

  // True when every step that was started succeeded.
  bool AllOk() const;
};

// Prints the table and the targets section.
void PrintReport(const Report& R, std::FILE* Out);

}  // namespace axbench
