// Runs a built command-line tool in a child process with a chosen environment and captures its
// output and exit status.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace clitest {

struct RunResult {
  int status = -1;       // the exit status, or -1 when the program did not exit normally
  std::string out;       // standard output
  std::string err;       // standard error
};

// Runs program with args. The environment is the test's own, without the locale variables
// (LC_ALL, LC_TIME, LC_NUMERIC, LANG), plus `env`.
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env = {});

}  // namespace clitest
