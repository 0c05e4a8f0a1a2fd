// The other party of a locking test: a lock_helper process (a real second process, talked to over
// pipes) or a second work area of the test's own process running the same commands. Tests that
// must hold for both run once with each, so that two work areas of one process are shown to
// conflict exactly like two processes.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "tests/support/child_process.h"

namespace lockstest {

class OtherParty {
 public:
  virtual ~OtherParty() = default;
  // Runs one command of tests/locks/helper/commands.h and returns its answer ("" after a
  // recorded test failure when a process does not answer).
  virtual std::string Ask(const std::string& line) = 0;
};

// The lock_helper program, started at construction; killed if still running at destruction.
class HelperProcess : public OtherParty {
 public:
  HelperProcess();

  std::string Ask(const std::string& line) override;
  // The two halves of Ask, for several processes working at once.
  bool Send(const std::string& line);
  std::string Receive(int timeoutMs = 60000);
  // Ends the input, waits for the exit (a test failure after the timeout) and returns the status.
  int Finish(int timeoutMs = 30000);

 private:
  testsupport::Child child_;
};

// A second work area of this process; every command runs with that area selected, and the
// previously current area is selected again afterwards.
class SecondArea : public OtherParty {
 public:
  explicit SecondArea(int area) : area_(area) {}
  std::string Ask(const std::string& line) override;

 private:
  int area_;
};

enum class OtherKind { kProcess, kWorkArea };
std::unique_ptr<OtherParty> MakeOther(OtherKind kind);
// "Process" / "WorkArea", for test names.
std::string KindName(OtherKind kind);

// True when some open file description (of any process) holds a lock that overlaps
// [Offset, Offset + Length) of the file at Path; asked without taking one.
bool RangeIsLocked(const std::string& path, uint64_t offset, uint64_t length);

}  // namespace lockstest
