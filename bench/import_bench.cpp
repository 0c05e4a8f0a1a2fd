// import_bench: the time `morvane import` takes for the data lines of a FactFinder PCT12 download
// (212 values a line: identifier, code, name, 209 counts) into a new table of the AX layout, next
// to what the machine needs just to read that file and to write a file of the resulting table's
// size (1 MiB reads and writes, no fsync: the import does not sync either), all in one run.
//
//   import_bench [--areas N] [--dir DIR] [--keep]
//
// N areas per iteration file (default 73334: 9 x 73334 = 660,006 lines, the size of a census
// tract download). The nine files are written by factfinder-sample into DIR (default: a fresh
// folder in the temporary folder, removed afterwards unless --keep) and their data lines gathered
// into one work file, as dataset creation does. Figures are printed as "key: value" lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/ax_layout.h"
#include "engine/dbf/dbf_file.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

constexpr size_t kBlock = 1 << 20;

// Runs Program with Args; true when it exited with status 0. Its standard output goes to Out
// (a file name) when given.
bool Run(const std::string& program, const std::vector<std::string>& args,
         const std::string& out = "") {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (!out.empty()) {
      const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(127);
      close(fd);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The data lines of the nine iteration files (their 4 header lines skipped) in one file.
bool GatherWorkFile(const std::string& stem, const std::string& work, uint64_t& lines) {
  std::FILE* out = std::fopen(work.c_str(), "wb");
  if (out == nullptr) return false;
  lines = 0;
  bool ok = true;
  for (const char* suffix : {"", "a", "b", "c", "d", "e", "f", "g", "h"}) {
    std::FILE* in = std::fopen((stem + suffix + ".csv").c_str(), "rb");
    if (in == nullptr) {
      ok = false;
      break;
    }
    int headerBreaks = 0;
    std::vector<char> buffer(kBlock);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
      size_t from = 0;
      while (headerBreaks < 4 && from < n)
        if (buffer[from++] == '\n') ++headerBreaks;
      for (size_t i = from; i < n; ++i) lines += buffer[i] == '\n';
      ok = ok && std::fwrite(buffer.data() + from, 1, n - from, out) == n - from;
    }
    std::fclose(in);
  }
  return std::fclose(out) == 0 && ok;
}

// Reads Path whole in 1 MiB reads; the bytes read, -1 on failure.
int64_t ReadWhole(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return -1;
  std::vector<char> buffer(kBlock);
  int64_t total = 0;
  ssize_t n;
  while ((n = read(fd, buffer.data(), buffer.size())) > 0) total += n;
  close(fd);
  return n < 0 ? -1 : total;
}

// Writes Bytes bytes to a new file Path in 1 MiB writes.
bool WriteBytes(const std::string& path, uint64_t bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  std::vector<char> buffer(kBlock, ' ');
  bool ok = true;
  while (ok && bytes > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, buffer.size()));
    ok = write(fd, buffer.data(), n) == static_cast<ssize_t>(n);
    bytes -= n;
  }
  return close(fd) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  long areas = 73334;
  std::string dir;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--areas") == 0 && i + 1 < argc) {
      areas = std::atol(argv[++i]);
    } else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
      dir = argv[++i];
    } else if (std::strcmp(argv[i], "--keep") == 0) {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: import_bench [--areas N] [--dir DIR] [--keep]\n");
      return 64;
    }
  }
  const bool made = dir.empty();
  if (made) {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/import_bench_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
  }
  const std::string stem = dir + "/DEC_10_SF1_PCT12";
  const std::string work = dir + "/work.csv";
  const std::string table = dir + "/ax.dbf";
  const std::string scratch = dir + "/limit.out";
  int status = 0;
  auto fail = [&](const char* what) {
    std::fprintf(stderr, "import_bench: %s failed\n", what);
    status = 1;
  };

  uint64_t lines = 0;
  if (!Run(FACTFINDER_SAMPLE_PATH, {"--areas", std::to_string(areas), "--out", stem})) {
    fail("factfinder-sample");
  } else if (!GatherWorkFile(stem, work, lines)) {
    fail("gathering the work file");
  } else {
    morvane::EngineStartup();
    morvane::DbfControlBlock block;
    morvane::CreateDbf(block, table, axbench::AxFields());
    const bool created = morvane::Errors.DbfError == 0;
    morvane::EngineShutdown();
    if (!created) {
      fail("creating the AX table");
    } else {
      const Clock::time_point importStart = Clock::now();
      const bool imported = Run(MORVANE_PATH, {"import", table, work}, dir + "/import.out");
      const double importSeconds = Seconds(importStart);
      const uint64_t tableBytes = std::filesystem::file_size(table);

      const Clock::time_point readStart = Clock::now();
      const int64_t readBytes = ReadWhole(work);
      const double readSeconds = Seconds(readStart);
      const Clock::time_point writeStart = Clock::now();
      const bool written = WriteBytes(scratch, tableBytes);
      const double writeSeconds = Seconds(writeStart);
      std::remove(scratch.c_str());

      std::printf("lines: %llu\n", static_cast<unsigned long long>(lines));
      std::printf("values per line: %d\n", axbench::kLineValues);
      std::printf("work file bytes: %lld\n", static_cast<long long>(readBytes));
      std::printf("table bytes: %llu\n", static_cast<unsigned long long>(tableBytes));
      std::printf("morvane import seconds: %.3f\n", importSeconds);
      std::printf("read work file seconds: %.3f\n", readSeconds);
      std::printf("write table-size file seconds: %.3f\n", writeSeconds);
      if (readSeconds + writeSeconds > 0)
        std::printf("import / (read + write): %.2f\n", importSeconds / (readSeconds + writeSeconds));
      std::FILE* out = std::fopen((dir + "/import.out").c_str(), "r");
      char line[256];
      while (out != nullptr && std::fgets(line, sizeof line, out) != nullptr)
        std::printf("morvane %s", line);
      if (out != nullptr) std::fclose(out);
      if (!imported) fail("morvane import");
      if (readBytes < 0 || !written) fail("the read or write of the machine's limit");
    }
  }
  if (made && !keep) std::filesystem::remove_all(dir);
  else std::printf("folder: %s\n", dir.c_str());
  return status;
}
