// Runs of sort entries and their merge.
//
// Temporary run file (a unique file in the temporary folder, erased when the build ends): the
// sorted runs one after the other, run k from byte k * RunEntries * E, each entry E bytes: the
// key (key length bytes) followed by the 32-bit little-endian record number.
#include "engine/index/build_runs.h"

#include <algorithm>
#include <cstring>

#include "engine/util/errors.h"
#include "engine/util/files.h"

namespace morvane::ndx {

namespace os = platform::os;

namespace {
constexpr size_t kSpillBuffer = 32756;    // bytes of entries written at a time
constexpr size_t kMinMergeMemory = 32758; // merge read-ahead shared by the runs, at least
}  // namespace

RunSorter::RunSorter(size_t KeyLength, mdx::KeyCompare Compare, size_t RunEntries)
    : keyLength_(KeyLength),
      entrySize_(KeyLength + 4),
      compare_(Compare),
      runEntries_(std::max<size_t>(RunEntries, 1)) {
  entries_.reserve(std::min<size_t>(runEntries_, 8189) * entrySize_);
}

RunSorter::~RunSorter() {
  if (temp_ != os::kInvalidHandle) os::FileClose(temp_);
  if (!tempName_.empty()) os::DeleteFile(tempName_);
}

bool RunSorter::Fail(uint16_t Code, const std::string& Detail) {
  failed_ = true;
  ReportError(Code, Detail);
  return false;
}

int RunSorter::CompareEntries(const uint8_t* A, const uint8_t* B) const {
  const int c = compare_(A, B, keyLength_);
  if (c != 0) return c;
  const uint32_t ra = mdx::Get32(A + keyLength_);
  const uint32_t rb = mdx::Get32(B + keyLength_);
  return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

void RunSorter::SortRun() {
  const size_t n = entries_.size() / entrySize_;
  order_.resize(n);
  for (size_t i = 0; i < n; ++i) order_[i] = static_cast<uint32_t>(i);
  const uint8_t* base = entries_.data();
  const size_t e = entrySize_;
  std::sort(order_.begin(), order_.end(), [&](uint32_t a, uint32_t b) {
    return CompareEntries(base + a * e, base + b * e) < 0;
  });
}

bool RunSorter::Spill() {
  if (temp_ == os::kInvalidHandle) {
    tempName_ = UniqueFilename();
    if (tempName_.empty()) {
      failed_ = true;
      return false;  // reported by UniqueFilename
    }
    temp_ = os::FileOpen(tempName_, os::fmOpenReadWrite | os::fmShareExclusive);
    if (temp_ == os::kInvalidHandle)
      return Fail(static_cast<uint16_t>(os::LastError()), "Cannot open " + tempName_ + " [MakeIndex]");
  }
  SortRun();
  Run run;
  run.Next = tempSize_;
  const size_t perWrite = std::max<size_t>(kSpillBuffer / entrySize_, 1) * entrySize_;
  std::vector<uint8_t> out;
  out.reserve(perWrite);
  const auto flush = [&]() -> bool {
    if (out.empty()) return true;
    const int64_t put = os::FileWriteAt(temp_, tempSize_, out.data(), out.size());
    if (put != static_cast<int64_t>(out.size())) {
      const uint32_t code = os::LastError();
      return Fail(static_cast<uint16_t>(code != 0 ? code : 101), "Error writing " + tempName_ + " [MakeIndex]");
    }
    tempSize_ += out.size();
    out.clear();
    return true;
  };
  for (uint32_t i : order_) {
    const uint8_t* entry = entries_.data() + size_t{i} * entrySize_;
    out.insert(out.end(), entry, entry + entrySize_);
    if (out.size() >= perWrite && !flush()) return false;
  }
  if (!flush()) return false;
  run.End = tempSize_;
  runs_.push_back(std::move(run));
  entries_.clear();
  order_.clear();
  return true;
}

bool RunSorter::Add(const uint8_t* Key, uint32_t Record) {
  if (failed_) return false;
  if (entries_.size() / entrySize_ >= runEntries_ && !Spill()) return false;
  const size_t at = entries_.size();
  entries_.resize(at + entrySize_);
  std::memcpy(entries_.data() + at, Key, keyLength_);
  mdx::Put32(entries_.data() + at + keyLength_, Record);
  return true;
}

bool RunSorter::Refill(Run& R) {
  R.Offset = 0;
  R.Filled = 0;
  if (R.Next >= R.End) return true;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(R.Buffer.size(), R.End - R.Next));
  const int64_t got = os::FileReadAt(temp_, R.Next, R.Buffer.data(), want);
  if (got < 0 || static_cast<size_t>(got) % entrySize_ != 0 || got == 0) {
    const uint32_t code = got < 0 ? os::LastError() : 0;
    return Fail(static_cast<uint16_t>(code != 0 ? code : 100), "Error reading " + tempName_ + " [MakeIndex]");
  }
  R.Next += static_cast<uint64_t>(got);
  R.Filled = static_cast<size_t>(got);
  return true;
}

bool RunSorter::Finish() {
  if (failed_) return false;
  if (runs_.empty()) {
    SortRun();  // everything fit in one run: read it directly
    current_.resize(entrySize_);
    return true;
  }
  if (!entries_.empty() && !Spill()) return false;
  entries_ = std::vector<uint8_t>();
  order_ = std::vector<uint32_t>();
  // The memory of one run is shared out as read-ahead buffers, at least one entry each.
  const size_t memory = std::max(kMinMergeMemory, runEntries_ * entrySize_);
  const size_t perRun = std::max<size_t>(memory / runs_.size() / entrySize_, 1) * entrySize_;
  for (size_t r = 0; r < runs_.size(); ++r) {
    runs_[r].Buffer.resize(perRun);
    if (!Refill(runs_[r])) return false;
    if (runs_[r].Filled > 0) heap_.push_back(r);
  }
  const auto greater = [this](size_t a, size_t b) { return CompareEntries(Head(a), Head(b)) > 0; };
  std::make_heap(heap_.begin(), heap_.end(), greater);
  merging_ = true;
  current_.resize(entrySize_);
  return true;
}

bool RunSorter::Next(const uint8_t*& Key, uint32_t& Record) {
  if (failed_) return false;
  if (!merging_) {
    if (taken_ >= order_.size()) return false;
    const uint8_t* entry = entries_.data() + size_t{order_[taken_++]} * entrySize_;
    Key = entry;
    Record = mdx::Get32(entry + keyLength_);
    return true;
  }
  if (heap_.empty()) return false;
  const auto greater = [this](size_t a, size_t b) { return CompareEntries(Head(a), Head(b)) > 0; };
  std::pop_heap(heap_.begin(), heap_.end(), greater);
  const size_t r = heap_.back();
  Run& run = runs_[r];
  std::memcpy(current_.data(), Head(r), entrySize_);
  run.Offset += entrySize_;
  if (run.Offset >= run.Filled && !Refill(run)) return false;
  if (run.Filled > 0)
    std::push_heap(heap_.begin(), heap_.end(), greater);
  else
    heap_.pop_back();
  Key = current_.data();
  Record = mdx::Get32(current_.data() + keyLength_);
  return true;
}

}  // namespace morvane::ndx
