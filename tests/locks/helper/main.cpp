// lock_helper: a second process for the locking tests. Starts the engine (with the memo layer)
// with errors recorded (not handled), then runs the commands of tests/locks/helper/commands.h
// from standard input, one answer line each on standard output, until the input ends.
#include <cstdio>
#include <iostream>
#include <string>

#include "engine/dbf/memo.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "tests/locks/helper/commands.h"

int main() {
  morvane::EngineStartup();
  morvane::InstallMemoHooks();  // tables with memo fields open their memo file, as in a program
  morvane::SetErrorCheck(false);
  std::string line;
  while (std::getline(std::cin, line)) {
    const std::string answer = lockhelper::Execute(line);
    std::fwrite(answer.data(), 1, answer.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  morvane::EngineShutdown();
  return 0;
}
