// Running a step in its own process: fork, exec, read its standard output through a pipe, and
// take its resource usage from wait4.
#include "bench/step_process.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace axbench {

double StepResult::Number(const std::string& Key) const {
  auto it = Figures.find(Key);
  if (it == Figures.end() || it->second.empty()) return std::nan("");
  char* end = nullptr;
  const double v = std::strtod(it->second.c_str(), &end);
  return end != nullptr && *end == '\0' ? v : std::nan("");
}

namespace {

// Splits the collected output into "key: value" figures; other lines are ignored.
void ParseFigures(const std::string& Output, std::map<std::string, std::string>& Figures) {
  size_t from = 0;
  while (from < Output.size()) {
    size_t end = Output.find('\n', from);
    if (end == std::string::npos) end = Output.size();
    const std::string line = Output.substr(from, end - from);
    const size_t colon = line.find(": ");
    if (colon != std::string::npos && colon > 0) Figures[line.substr(0, colon)] = line.substr(colon + 2);
    from = end + 1;
  }
}

}  // namespace

StepResult RunProcess(const std::string& Program, const std::vector<std::string>& Args) {
  StepResult result;
  int fds[2];
  if (pipe(fds) != 0) {
    result.Failure = std::string("pipe: ") + std::strerror(errno);
    return result;
  }
  std::vector<std::string> argvText;
  argvText.push_back(Program);
  argvText.insert(argvText.end(), Args.begin(), Args.end());
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::fflush(stdout);
  std::fflush(stderr);
  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    result.Failure = std::string("fork: ") + std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return result;
  }
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execv(Program.c_str(), argv.data());
    std::fprintf(stderr, "cannot start %s: %s\n", Program.c_str(), std::strerror(errno));
    _exit(127);
  }
  close(fds[1]);
  std::string output;
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(fds[0], chunk, sizeof chunk);
    if (n > 0) {
      output.append(chunk, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  close(fds[0]);
  int status = 0;
  struct rusage usage {};
  pid_t waited;
  do {
    waited = wait4(pid, &status, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  result.WallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (waited != pid) {
    result.Failure = std::string("wait: ") + std::strerror(errno);
    return result;
  }
  result.PeakKB = usage.ru_maxrss;
  ParseFigures(output, result.Figures);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    result.Ok = true;
  } else if (WIFEXITED(status)) {
    result.Failure = "exit status " + std::to_string(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    result.Failure = std::string("killed by signal ") + strsignal(WTERMSIG(status));
  } else {
    result.Failure = "ended abnormally";
  }
  return result;
}

std::string SelfPath() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return {};
  path.resize(static_cast<size_t>(n));
  return path;
}

void PutFigure(const char* Key, double Value) { std::printf("%s: %.9g\n", Key, Value); }

void PutFigure(const char* Key, const std::string& Value) { std::printf("%s: %s\n", Key, Value.c_str()); }

}  // namespace axbench
