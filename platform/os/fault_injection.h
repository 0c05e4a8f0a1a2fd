// A switch for tests: makes the N-th read or write of the file services fail, come back short,
// or find the disk full, so that tests can show how every engine write path behaves when the
// disk lets it down. Nothing is injected unless a test arms a plan; programs never do.
#pragma once

#include <cstdint>
#include <string>

namespace platform::os::fault {

enum class Kind {
  kFail,      // the call fails outright, nothing moves: EIO (reads 30, writes 29)
  kShort,     // the call moves only the first half of its bytes: a read as at end of file, a
              // write as at a file-size limit (101); the calls after it work normally
  kDiskFull,  // from this write on the disk is full: this write stores its first half, every
              // later write stores nothing (ENOSPC, 101) until the plan is disarmed; reads work
};

enum class Calls { kReads, kWrites, kBoth };  // which calls count towards N

struct Plan {
  Kind kind = Kind::kFail;
  Calls on = Calls::kWrites;
  uint64_t nth = 1;        // the matching call that fails (1 = the first); 0 = only count calls
  std::string fileSuffix;  // count only calls on files whose path ends with this ("" = all)
};

// Installs Plan (replacing any other) and starts counting matching calls from 0. A kDiskFull
// plan only counts writes, whatever `on` says.
void Arm(const Plan& P);
// Removes the plan: every later call works normally. The count stays readable.
void Disarm();
// The calls that matched the plan since Arm (for a plan with nth = 0: a census of the calls an
// operation makes, so that a test can then fail each one in turn).
uint64_t MatchingCalls();
// True once the armed plan has injected its fault.
bool Fired();

// Disarms on destruction, so that a failing test never leaves the switch set for the next one.
class ScopedPlan {
 public:
  explicit ScopedPlan(const Plan& P) { Arm(P); }
  ~ScopedPlan() { Disarm(); }
  ScopedPlan(const ScopedPlan&) = delete;
  ScopedPlan& operator=(const ScopedPlan&) = delete;
};

}  // namespace platform::os::fault
