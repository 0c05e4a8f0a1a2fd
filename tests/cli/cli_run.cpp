#include "tests/cli/cli_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "tests/support/test_support.h"

extern char** environ;

namespace clitest {

RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env) {
  testsupport::TempDir dir;
  const std::string outPath = dir.file("stdout"), errPath = dir.file("stderr");

  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (name == "LC_ALL" || name == "LC_TIME" || name == "LC_NUMERIC" || name == "LANG" ||
        env.count(name)) {
      continue;
    }
    envText.push_back(entry);
  }
  for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : envText) envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::vector<std::string> argText = {program};
  argText.insert(argText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argText) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  RunResult result;
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.err = std::string("cannot start ") + program + ": " + std::strerror(rc);
    return result;
  }
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) == -1) {
  }
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  result.out = testsupport::ReadFileText(outPath);
  result.err = testsupport::ReadFileText(errPath);
  return result;
}

}  // namespace clitest
