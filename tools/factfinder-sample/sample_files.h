// Writes the nine FactFinder PCT12 files of a sample (template + "", "a" ... "h" + ".csv").
// The files appear under their names only when all nine were written completely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/factfinder-sample/geography.h"
#include "tools/factfinder-sample/population.h"

namespace ffsample {

struct SampleHeader {
  Level level;
  uint64_t seed;
  std::size_t areas;
};

class SampleFiles {
 public:
  // Prepares the nine files for `stem`; lines end with "\r\n" when `crlf`, else "\n".
  SampleFiles(std::string stem, bool crlf);
  ~SampleFiles();  // removes whatever was written when Commit did not succeed
  SampleFiles(const SampleFiles&) = delete;
  SampleFiles& operator=(const SampleFiles&) = delete;

  // Opens a temporary file beside each target and writes the 4 header lines. False (see
  // Error) when a target is a folder or a file cannot be created; nothing is replaced then.
  bool Begin(const SampleHeader& header);
  // Appends the area's data line to each of the nine files. False after a write error.
  bool WriteArea(const Area& area, const AreaCounts& counts);
  // Flushes and closes the files and moves them onto their final names. False on any error.
  bool Commit();

  // The final name of iteration i (0..8).
  std::string FileName(int iteration) const;
  // Bytes written to iteration i so far.
  uint64_t Bytes(int iteration) const;
  // What went wrong, for the user: the file and the system's reason.
  const std::string& Error() const { return error_; }

 private:
  struct Output;
  bool Fail(const std::string& file, int err);

  std::string stem_;
  const char* eol_;
  std::unique_ptr<Output[]> outputs_;
  std::string error_;
  bool committed_ = false;
};

}  // namespace ffsample
