// Small helpers shared by the test suites: a private temporary folder per test, and whole-file
// reads and writes for fixtures built byte by byte.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh, empty folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

using Bytes = std::vector<uint8_t>;

// The whole file; fails the current test (and returns nothing) when it cannot be read.
Bytes ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);
void WriteFileText(const std::string& path, const std::string& text);

// Bytes from a hex text such as "03 7B 0C 1F"; blanks and line breaks are ignored.
Bytes FromHex(const std::string& hex);
// A readable hex dump, 16 bytes a line, for failure messages.
std::string HexDump(const Bytes& bytes);

// Makes every write past Limit bytes of a file fail (EFBIG, SIGXFSZ ignored) for the life of
// the object: a real short write for tests of failing writes.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    rlimit l = saved_;
    l.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &l);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

}  // namespace testsupport
