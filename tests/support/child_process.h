// A real second process for tests of cross-process behaviour (sharing, locks, semaphores): the
// test forks a child that runs a function, talks to it in text lines over two pipes
// ("lock 5" -> "ok" / "busy"), and collects its exit code. Synchronise over the pipes, never
// with sleeps.
//
// The child is a copy of the test process: it must open its own files (a handle inherited from
// the parent shares the parent's open and therefore its locks), and it never returns into the
// test framework: whatever the function does, the child ends with _exit. GoogleTest assertions
// inside the child count for nothing; report through the lines or the exit code instead.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// The child's end of the conversation.
class ChildChannel {
 public:
  ChildChannel(int in, int out) : in_(in), out_(out) {}
  // The next line from the parent without its line end; false when the parent closed its end.
  bool ReadLine(std::string& line);
  // Sends one line (a line end is added); false when the parent is gone.
  bool WriteLine(const std::string& line);

 private:
  int in_;
  int out_;
  std::string pending_;
};

class Child {
 public:
  // Forks; the child runs `body` and exits with its result (250 when it throws).
  explicit Child(std::function<int(ChildChannel&)> body);
  // Starts the program argv[0] with the arguments that follow; the parent's lines are its
  // standard input and its standard output comes back as the child's lines (exit code 127 when
  // the program cannot be started).
  explicit Child(const std::vector<std::string>& argv);
  // A child still running is killed and reaped.
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // True when the fork and the pipes worked (the constructor records a test failure if not).
  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Sends one line to the child; false when it is gone.
  bool Send(const std::string& line);
  // The child's next line without its line end. Records a test failure and returns "" when the
  // child ends or says nothing within `timeoutMs`.
  std::string Receive(int timeoutMs = 30000);
  // Send, then Receive.
  std::string Ask(const std::string& line, int timeoutMs = 30000);
  // Closes the line to the child (its ReadLine then returns false), waits for it to end and
  // returns its exit code; 128 + the signal number when a signal ended it. A child that has not
  // ended within `timeoutMs` is killed, a test failure is recorded and -1 is returned.
  int Wait(int timeoutMs = 30000);

 private:
  // Forks with the two pipes; in the child runs `inChild` with its ends (it must not return
  // normally into the caller: it ends with _exit). False after a recorded failure.
  bool Start(const std::function<void(int in, int out)>& inChild);

  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  int exitCode_ = -1;
  bool reaped_ = false;
  std::string pending_;
};

}  // namespace testsupport
