// The steps of agemill_bench. Each runs in a process of its own (agemill_bench --step NAME ...),
// does one job on the files of the benchmark folder, and prints what it measured as "key: value"
// lines ("seconds" is always the timed part alone). The exit status is 0 on success; a failure
// is explained on standard error.
#pragma once

#include <cstdint>
#include <string>

namespace axbench {

// The arguments every step receives.
struct StepOptions {
  std::string Dir;          // the benchmark folder
  long Areas = 0;           // areas per iteration file (the table has 9 x Areas records)
  long Finds = 0;           // point lookups to time (find steps)
  uint64_t Seed = 1;        // of the random lookups
  std::string Order;        // read steps: "record" or "index"
  std::string ReadFile;     // limit step: the file to read whole
  uint64_t WriteBytes = 0;  // limit step: bytes to write to a new file
  bool Fsync = false;       // limit step: fsync the written file before the clock stops
};

// The files of the benchmark folder.
struct BenchPaths {
  explicit BenchPaths(const std::string& Dir)
      : Template(Dir + "/DEC_10_SF1_PCT12"),
        WorkFile(Dir + "/work.csv"),
        Table(Dir + "/ax.dbf"),
        Index(Dir + "/ax.mdx"),
        Sqlite(Dir + "/ax.sqlite"),
        LimitOut(Dir + "/limit.out") {}
  std::string Template;  // the nine input files: Template + "", "a" ... "h" + ".csv"
  std::string WorkFile;  // their data lines, total population first, then A to H
  std::string Table;     // the AX-layout table
  std::string Index;     // its index file
  std::string Sqlite;    // the SQLite database
  std::string LimitOut;  // scratch file of the machine's limit (removed after each use)
};

// Nothing: the peak memory of a bare step process, the floor under every other figure.
int StepIdle(const StepOptions& O);
// The work file: the data lines of the nine input files (their first 4 lines skipped), byte for
// byte, in iteration order, as dataset creation gathers them.
int StepWorkFile(const StepOptions& O);
// The machine's limit: reads ReadFile whole (1 MiB reads) and writes WriteBytes to a new file
// (1 MiB writes), with an fsync before the clock stops when Fsync is set.
int StepLimit(const StepOptions& O);

// The engine's steps (engine_steps.cpp).
int StepEngineImport(const StepOptions& O);  // new AX table, AppendFromDelimited of the work file
int StepEngineKeys(const StepOptions& O);    // race, padded geocode and sumlev: Replace per record
int StepEngineIndex(const StepOptions& O);   // IndexOn("sumlev + geocode + race")
int StepEngineFind(const StepOptions& O);    // random Find of existing keys, read the total
int StepEngineRead(const StepOptions& O);    // every record through the work area, Skip(1)

// SQLite's steps (sqlite_steps.cpp).
int StepSqliteImport(const StepOptions& O);  // the work file's lines, prepared INSERT, one transaction
int StepSqliteIndex(const StepOptions& O);   // CREATE INDEX on (sumlev, geocode, race)
int StepSqliteFind(const StepOptions& O);    // prepared point queries of existing keys
int StepSqliteRead(const StepOptions& O);    // full scan, in rowid order or through the index

// Seconds since Start on the steady clock.
double SecondsSince(int64_t StartNanoseconds);
int64_t NowNanoseconds();

// The size of a file in bytes, -1 when it cannot be read.
int64_t FileBytes(const std::string& Path);

// The race code of 0-based record (or line) number R of the work file with Areas areas per
// iteration: records are assigned to iterations by position.
char RaceOfRecord(long R, long Areas);

}  // namespace axbench
