// The index builder's sort: fixed-size entries (key bytes + record number) collected in runs of
// a bounded size, each run sorted in memory and spilled to a unique temporary file when there is
// more than one, then merged into one ascending stream (key order of the tag, ties by record
// number). Memory stays bounded by one run whatever the table's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/index/mdx_format.h"
#include "platform/os/files.h"

namespace morvane::ndx {

class RunSorter {
 public:
  // KeyLength bytes of key per entry, compared by Compare; RunEntries entries per run (>= 1).
  RunSorter(size_t KeyLength, mdx::KeyCompare Compare, size_t RunEntries);
  ~RunSorter();  // closes and erases the temporary file
  RunSorter(const RunSorter&) = delete;
  RunSorter& operator=(const RunSorter&) = delete;

  // Adds one entry; a full run is sorted and spilled. False after a reported failure.
  bool Add(const uint8_t* Key, uint32_t Record);
  // Ends the input; prepares the merge (or the single in-memory run). False after a failure.
  bool Finish();
  // The next entry in ascending order; false at the end or after a reported failure (Failed()).
  bool Next(const uint8_t*& Key, uint32_t& Record);
  bool Failed() const { return failed_; }
  // Number of runs written to the temporary file (0 when everything fit in one run).
  size_t SpilledRuns() const { return runs_.size(); }

 private:
  struct Run {
    uint64_t Next = 0;           // file position of the run's next unread entry
    uint64_t End = 0;            // end of the run in the file
    std::vector<uint8_t> Buffer; // entries read ahead
    size_t Offset = 0;           // of the current entry in Buffer
    size_t Filled = 0;           // bytes in Buffer
  };

  int CompareEntries(const uint8_t* A, const uint8_t* B) const;
  void SortRun();
  bool Spill();
  bool Refill(Run& R);
  bool Fail(uint16_t Code, const std::string& Detail);
  const uint8_t* Head(size_t R) const { return runs_[R].Buffer.data() + runs_[R].Offset; }

  size_t keyLength_;
  size_t entrySize_;
  mdx::KeyCompare compare_;
  size_t runEntries_;
  std::vector<uint8_t> entries_;    // the run being collected
  std::vector<uint32_t> order_;     // entry indexes, sorted
  size_t taken_ = 0;                // next entry of the in-memory run (single-run case)
  std::string tempName_;
  platform::os::Handle temp_ = platform::os::kInvalidHandle;
  uint64_t tempSize_ = 0;
  std::vector<Run> runs_;
  std::vector<size_t> heap_;        // runs with entries left, smallest head first
  bool merging_ = false;
  bool failed_ = false;
  std::vector<uint8_t> current_;    // the entry handed out last
};

}  // namespace morvane::ndx
