// What an index file left behind by a failed write or a killed process is worth: the fault
// suites classify it against the records the table holds (refused by the engine, in step, behind
// by the one record being changed, or broken), and show that a rebuild makes it whole.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "engine/index/xqndx.h"
#include "tests/faults/faults_fixture.h"

namespace faulttest {

enum class IndexState {
  kRefused,  // opening it or walking its tags gives an engine error
  kInStep,   // passes the page checks and holds exactly one right item for every record
  kBehind,   // passes the page checks; only the changed record's item is missing or stale
  kBroken,   // page checks fail, or another record's item is missing, doubled or wrong
};
const char* StateName(IndexState State);
inline void PrintTo(IndexState State, std::ostream* Out) { *Out << StateName(State); }
// " in step 3 behind by the changed record 2": how often each state was seen.
std::string TallyText(const std::map<IndexState, int>& Tally);

// The index of the fault suites' test table: tag NAME on "name" (C 10) and tag POP on "pop".
std::vector<morvane::IndexTagDef> NamePopTags();

// The raw records of Table as stored (count from the file size). Uses work area 1 and closes
// every area.
std::vector<std::string> StoredRecords(const std::string& Table);

// Classifies Index of Table against Records. Changed: the record whose item may be missing or
// stale (0: none). Scratch: a file the check may write. Why receives what made it refused or
// broken. Uses work area 1 and closes every area; raises nothing, fails no test.
IndexState InspectIndex(const std::string& Table, const std::string& Index,
                        const std::vector<std::string>& Records, int32_t Changed,
                        const std::string& Scratch, std::string& Why);

// Rebuilds Index of Table (Reindex, or a new build with NamePopTags when the file's own
// definitions cannot be used) and expects it in step with Records.
void ExpectRebuiltInStep(const std::string& Table, const std::string& Index,
                         const std::vector<std::string>& Records, const std::string& Scratch);

// The fault fixture with the paths of an indexed test table: the table, its index, and a scratch
// index file for the checks.
class IndexedTableTest : public FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    table_ = file("t.dbf");
    index_ = file("t.mdx");
    scratch_ = file("checked.mdx");
  }

  std::string table_;
  std::string index_;
  std::string scratch_;
};

}  // namespace faulttest
