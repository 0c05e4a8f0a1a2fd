// The FactFinder PCT12 file format as this generator writes it. Each of the nine files:
//
//   line 1   a title saying the data is synthetic, with the level, seed and number of areas
//   line 2   the table id, title and universe of the iteration ("Synthetic PCT12A. SEX BY ...")
//   line 3   column ids:    GEO.id,GEO.id2,GEO.display-label,D001,...,D209
//   line 4   column labels: Id,Id2,Geography,Total:,Male:,Male: - Under 1 year,...
//   line 5.. one line per area:
//            geography id,geographic code,area name,count 1,...,count 209
//
// Every header line says "synthetic". Fields are separated by ","; the area name is enclosed in
// double quotes when it holds a comma (names never hold a quote); counts are plain decimal
// integers. All nine files list the same areas in the same order, ascending by code. Lines end
// with LF (or CR LF). A data line of the largest areas stays well under 2,048 bytes.
#include "tools/factfinder-sample/sample_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

namespace ffsample {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
// Room for the longest data line: the texts plus 209 counts of at most 11 digits and a comma.
std::size_t LineRoom(const Area& area) {
  return area.id.size() + area.geocode.size() + area.name.size() + 16 + kCellCount * 12;
}
}  // namespace

// One file being written: a temporary beside the target, filled through a buffer.
struct SampleFiles::Output {
  std::string target;
  std::string temp;
  int fd = -1;
  std::vector<char> buffer;
  std::size_t used = 0;
  uint64_t bytes = 0;

  // Writes out the buffer; errno is kept on failure.
  bool Flush() {
    std::size_t done = 0;
    while (done < used) {
      ssize_t n = ::write(fd, buffer.data() + done, used - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    used = 0;
    return true;
  }
  void Put(const char* text, std::size_t n) {
    std::memcpy(buffer.data() + used, text, n);
    used += n;
    bytes += n;
  }
  void Put(const std::string& text) { Put(text.data(), text.size()); }
  void Put(char c) { Put(&c, 1); }
  void PutNumber(int32_t v) {
    auto [end, ec] = std::to_chars(buffer.data() + used, buffer.data() + buffer.size(), v);
    (void)ec;  // the caller reserved room for any 32-bit number
    std::size_t n = static_cast<std::size_t>(end - (buffer.data() + used));
    used += n;
    bytes += n;
  }
  // Makes room for n more bytes, flushing when needed (n never exceeds the buffer size).
  bool Reserve(std::size_t n) { return buffer.size() - used >= n || Flush(); }
};

SampleFiles::SampleFiles(std::string stem, bool crlf)
    : stem_(std::move(stem)), eol_(crlf ? "\r\n" : "\n"), outputs_(new Output[kIterationCount]) {
  for (int i = 0; i < kIterationCount; ++i) outputs_[i].target = FileName(i);
}

SampleFiles::~SampleFiles() {
  for (int i = 0; i < kIterationCount; ++i) {
    Output& o = outputs_[i];
    if (o.fd >= 0) ::close(o.fd);
    if (!committed_ && !o.temp.empty()) ::unlink(o.temp.c_str());
  }
}

std::string SampleFiles::FileName(int iteration) const {
  return stem_ + kIterations[iteration].suffix + ".csv";
}

uint64_t SampleFiles::Bytes(int iteration) const { return outputs_[iteration].bytes; }

bool SampleFiles::Fail(const std::string& file, int err) {
  if (error_.empty()) error_ = "cannot write " + file + ": " + std::strerror(err);
  return false;
}

bool SampleFiles::Begin(const SampleHeader& header) {
  // Refuse before anything is written when a target cannot be replaced by a file.
  for (int i = 0; i < kIterationCount; ++i) {
    struct stat st;
    if (::stat(outputs_[i].target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      return Fail(outputs_[i].target, EISDIR);
  }
  for (int i = 0; i < kIterationCount; ++i) {
    Output& o = outputs_[i];
    for (int attempt = 0; o.fd < 0; ++attempt) {
      o.temp = o.target + ".part" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
      o.fd = ::open(o.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (o.fd < 0 && (errno != EEXIST || attempt >= 100)) {
        int err = errno;
        o.temp.clear();
        return Fail(o.target, err);
      }
    }
    o.buffer.resize(kBufferSize);
  }

  std::string ids = "GEO.id,GEO.id2,GEO.display-label";
  std::string labels = "Id,Id2,Geography";
  char code[8];
  for (int cell = 1; cell <= kCellCount; ++cell) {
    std::snprintf(code, sizeof code, ",D%03d", cell);
    ids += code;
  }
  for (int sex = 0; sex < 2; ++sex) {
    const std::string word = sex == 0 ? "Male:" : "Female:";
    if (sex == 0) labels += ",Total:";
    labels += "," + word;
    for (int c = 0; c < kAgeCategories; ++c) labels += "," + word + " - " + AgeLabel(c);
  }
  const std::string title = std::string("Synthetic sample data from factfinder-sample (level ") +
                            LevelCode(header.level) + "; seed " + std::to_string(header.seed) +
                            "; " + std::to_string(header.areas) +
                            " areas): invented counts in the layout of census table PCT12;"
                            " not census figures";
  for (int i = 0; i < kIterationCount; ++i) {
    Output& o = outputs_[i];
    const Iteration& it = kIterations[i];
    const std::string lines[4] = {
        title,
        std::string("Synthetic ") + it.table + ". " + it.title + " - Universe: " + it.universe,
        "GEO.id (synthetic)" + ids.substr(6),
        "Id (synthetic)" + labels.substr(2),
    };
    for (const std::string& line : lines) {
      if (!o.Reserve(line.size() + 2)) return Fail(o.target, errno);
      o.Put(line);
      o.Put(eol_);
    }
  }
  return true;
}

bool SampleFiles::WriteArea(const Area& area, const AreaCounts& counts) {
  const bool quote = area.name.find(',') != std::string::npos;
  const std::size_t room = LineRoom(area);
  for (int i = 0; i < kIterationCount; ++i) {
    Output& o = outputs_[i];
    if (!o.Reserve(room)) return Fail(o.target, errno);
    o.Put(area.id);
    o.Put(',');
    o.Put(area.geocode);
    o.Put(',');
    if (quote) o.Put('"');
    o.Put(area.name);
    if (quote) o.Put('"');
    for (int32_t v : counts[i]) {
      o.Put(',');
      o.PutNumber(v);
    }
    o.Put(eol_);
  }
  return true;
}

bool SampleFiles::Commit() {
  for (int i = 0; i < kIterationCount; ++i) {
    Output& o = outputs_[i];
    if (o.fd < 0) return Fail(o.target, EBADF);
    if (!o.Flush()) return Fail(o.target, errno);
    int fd = o.fd;
    o.fd = -1;
    if (::close(fd) != 0) return Fail(o.target, errno);
  }
  for (int i = 0; i < kIterationCount; ++i) {
    Output& o = outputs_[i];
    if (::rename(o.temp.c_str(), o.target.c_str()) != 0) return Fail(o.target, errno);
    o.temp.clear();
  }
  committed_ = true;
  return true;
}

}  // namespace ffsample
