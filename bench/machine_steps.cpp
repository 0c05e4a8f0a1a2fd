// The steps of agemill_bench that involve neither engine: the work file (the nine input files'
// data lines gathered into one, as dataset creation does before it imports), the machine's
// limit (reading and writing the same number of bytes with plain 1 MiB system calls) and the
// idle step. Also the small helpers every step shares.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ax_layout.h"
#include "bench/bench_steps.h"
#include "bench/step_process.h"

namespace axbench {

namespace {

constexpr size_t kBlock = 1 << 20;

// Prints what failed with the system's reason; the step's exit status.
int Fail(const std::string& What, const std::string& File) {
  std::fprintf(stderr, "agemill_bench: %s %s: %s\n", What.c_str(), File.c_str(), std::strerror(errno));
  return 1;
}

// Writes all Count bytes of Data to Fd.
bool WriteAll(int Fd, const char* Data, size_t Count) {
  while (Count > 0) {
    const ssize_t n = write(Fd, Data, Count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    Data += n;
    Count -= static_cast<size_t>(n);
  }
  return true;
}

// A file descriptor closed on every path.
class Fd {
 public:
  Fd(const std::string& Path, int Flags) : fd_(open(Path.c_str(), Flags | O_CLOEXEC, 0644)) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and tells whether the close succeeded.
  bool Close() {
    const int rc = close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

}  // namespace

int64_t NowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double SecondsSince(int64_t StartNanoseconds) {
  return static_cast<double>(NowNanoseconds() - StartNanoseconds) / 1e9;
}

int64_t FileBytes(const std::string& Path) {
  struct stat st {};
  return stat(Path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

char RaceOfRecord(long R, long Areas) {
  if (Areas <= 0 || R < 0) return kRaceCodes[0];
  const long iteration = R / Areas;
  return iteration < kIterations ? kRaceCodes[iteration] : kRaceCodes[kIterations - 1];
}

int StepIdle(const StepOptions&) { return 0; }

int StepWorkFile(const StepOptions& O) {
  const BenchPaths P(O.Dir);
  const int64_t start = NowNanoseconds();
  Fd out(P.WorkFile, O_WRONLY | O_CREAT | O_TRUNC);
  if (out.get() < 0) return Fail("cannot create", P.WorkFile);
  std::vector<char> block(kBlock);
  uint64_t written = 0;
  for (int it = 0; it < kIterations; ++it) {
    const std::string suffix = it == 0 ? "" : std::string(1, static_cast<char>('a' + it - 1));
    const std::string name = P.Template + suffix + ".csv";
    Fd in(name, O_RDONLY);
    if (in.get() < 0) return Fail("cannot open", name);
    int headerLines = 4;
    for (;;) {
      const ssize_t n = read(in.get(), block.data(), block.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Fail("cannot read", name);
      if (n == 0) break;
      size_t from = 0;
      while (headerLines > 0 && from < static_cast<size_t>(n)) {
        if (block[from++] == '\n') --headerLines;
      }
      if (!WriteAll(out.get(), block.data() + from, static_cast<size_t>(n) - from))
        return Fail("cannot write", P.WorkFile);
      written += static_cast<size_t>(n) - from;
    }
  }
  if (!out.Close()) return Fail("cannot write", P.WorkFile);
  PutFigure("seconds", SecondsSince(start));
  PutFigure("bytes", static_cast<double>(written));
  return 0;
}

int StepLimit(const StepOptions& O) {
  const BenchPaths P(O.Dir);
  std::vector<char> block(kBlock, 'x');
  const int64_t start = NowNanoseconds();
  uint64_t read_ = 0;
  if (!O.ReadFile.empty()) {
    Fd in(O.ReadFile, O_RDONLY);
    if (in.get() < 0) return Fail("cannot open", O.ReadFile);
    for (;;) {
      const ssize_t n = read(in.get(), block.data(), block.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Fail("cannot read", O.ReadFile);
      if (n == 0) break;
      read_ += static_cast<uint64_t>(n);
    }
  }
  if (O.WriteBytes > 0) {
    Fd out(P.LimitOut, O_WRONLY | O_CREAT | O_TRUNC);
    if (out.get() < 0) return Fail("cannot create", P.LimitOut);
    for (uint64_t left = O.WriteBytes; left > 0;) {
      const size_t n = left < kBlock ? static_cast<size_t>(left) : kBlock;
      if (!WriteAll(out.get(), block.data(), n)) return Fail("cannot write", P.LimitOut);
      left -= n;
    }
    if (O.Fsync && fsync(out.get()) != 0) return Fail("cannot fsync", P.LimitOut);
    if (!out.Close()) return Fail("cannot write", P.LimitOut);
  }
  const double seconds = SecondsSince(start);
  std::remove(P.LimitOut.c_str());
  PutFigure("seconds", seconds);
  PutFigure("read bytes", static_cast<double>(read_));
  PutFigure("written bytes", static_cast<double>(O.WriteBytes));
  return 0;
}

}  // namespace axbench
