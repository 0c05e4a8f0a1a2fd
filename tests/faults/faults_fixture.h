// Shared fixture of the fault suites: a fresh engine per test, tables whose every record can be
// recomputed from its number (so that a reopened table shows exactly what survived), a census of
// the reads and writes an operation makes, and a check that a table reopens whole.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "engine/dbf/dbf_file.h"
#include "platform/os/fault_injection.h"
#include "tests/support/test_support.h"

namespace faulttest {

namespace fault = platform::os::fault;

// How a reported error reaches the test: recorded in DbfError (error checking off), or raised
// as EMorvaneError (RaiseErrors on).
enum class ErrorMode { kRecorded, kRaised };
const char* ModeName(ErrorMode Mode);
const char* KindName(fault::Kind Kind);

// The raw image of record R of a test table (28 bytes: flag, NAME C10, POP N8, BORN D8, OK L1).
// Marker is the first letter of the name: tables are built with 'R', rewrites use others.
std::string RecordImage(int32_t R, char Marker = 'R');

// One injected fault and what the operation made of it.
struct FaultRun {
  ErrorMode Mode;
  fault::Kind Kind;
  fault::Calls On;
  uint64_t Nth;
  uint16_t Code = 0;   // the error the operation reported, 0 when none
  bool Fired = false;  // the fault was injected while the operation ran
  std::string Describe() const;
};

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Switches to Mode (raised or recorded errors) and clears DbfError.
  void UseMode(ErrorMode Mode);
  // Runs Op; returns the error code it reported (0 when none). An EMorvaneError ends Op early,
  // as it would end the caller's operation.
  uint16_t Attempt(const std::function<void()>& Op);

  // Creates Path (dBASE III, the test fields) holding records 1..Count, closed again.
  void BuildTable(const std::string& Path, int32_t Count);
  // Opens Path into B; false (with a test failure) when the open fails.
  bool Open(morvane::DbfControlBlock& B, const std::string& Path, bool Recount = false);
  // Puts RecordImage(R, Marker) into the record buffer and writes it as record N.
  void Put(morvane::DbfControlBlock& B, int32_t N, int32_t R, char Marker);

  // The number of calls of the kind On that Op makes (Op runs once, with nothing injected);
  // with Suffix only the calls on files whose path ends with it.
  uint64_t Census(fault::Calls On, const std::function<void()>& Op, const std::string& Suffix = "");

  // Reopens Path with the record count taken from the file size and checks that it holds
  // between MinCount and MaxCount records, each one readable and accepted by Accepts(r, image);
  // also that a plain open (count from the header) succeeds and claims no record the file does
  // not hold. Returns the count from the file size (-1 when the table does not open).
  using RecordCheck = std::function<bool(int32_t, const std::string&)>;
  int32_t ExpectTableHolds(const std::string& Path, int32_t MinCount, int32_t MaxCount,
                           const RecordCheck& Accepts);
  // Accepts exactly the records 1..Count built by BuildTable.
  static RecordCheck Built(int32_t Count);

  // For each error mode, each of Kinds and every N from 1 to the number of On calls that
  // Prepare + Op make: Prepare (nothing injected), arm the plan, run Op, run Finish (the
  // caller's clean-up, such as closing the table: still under the plan, so a full disk stays
  // full), disarm, then Verify. Op and Finish may end early on a raised error. Nothing runs
  // when Op makes no such call. With Suffix only calls on files whose path ends with it count.
  void ForEachFault(fault::Calls On, std::initializer_list<fault::Kind> Kinds,
                    const std::function<void()>& Prepare, const std::function<void()>& Op,
                    const std::function<void()>& Finish,
                    const std::function<void(const FaultRun&)>& Verify,
                    const std::string& Suffix = "");

  std::string file(const std::string& name) const { return dir_.file(name); }

  testsupport::TempDir dir_;
};


}  // namespace faulttest
