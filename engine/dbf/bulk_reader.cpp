// Lines and values of a comma-separated text file (contracts in engine/dbf/bulk_reader.h).
#include "engine/dbf/bulk_reader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/dbf/bulk.h"

namespace morvane {

namespace os = platform::os;

namespace {

constexpr char kEndOfInput = 0x1A;

// The first line end (LF, CR or 0x1A) in [From, To), or To. Eight bytes at a time where they
// are there: a byte equal to an end byte is 0 in the word XORed with that byte, and the lowest
// zero byte of a word is always found exactly (a borrow can only mark bytes after it).
const char* FindLineEnd(const char* from, const char* to) {
  const char* p = from;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    const auto zeroBytes = [](uint64_t x) { return (x - kOnes) & ~x & kHigh; };
    for (; to - p >= 8; p += 8) {
      uint64_t w;
      std::memcpy(&w, p, sizeof w);
      const uint64_t ends = zeroBytes(w ^ ('\n' * kOnes)) | zeroBytes(w ^ ('\r' * kOnes)) |
                            zeroBytes(w ^ (uint64_t{0x1A} * kOnes));
      if (ends != 0) return p + std::countr_zero(ends) / 8;
    }
  }
  for (; p < to; ++p) {
    const char c = *p;
    if (c == '\n' || c == '\r' || c == kEndOfInput) return p;
  }
  return to;
}

}  // namespace

DelimitedReader::DelimitedReader(os::Handle file, size_t bufferSize)
    : file_(file), buffer_(std::max<size_t>(bufferSize, 1)) {
  line_.reserve(kLineBufferSize);
}

bool DelimitedReader::Refill() {
  bufferStart_ += fill_;
  pos_ = 0;
  fill_ = 0;
  if (eof_ || failed_) return false;
  const int64_t got = os::FileReadAt(file_, bufferStart_, buffer_.data(), buffer_.size());
  if (got < 0) {
    failed_ = true;
    return false;
  }
  if (got == 0) {
    eof_ = true;
    return false;
  }
  fill_ = static_cast<size_t>(got);
  return true;
}

bool DelimitedReader::NextLine(std::string_view& line) {
  if (done_) return false;
  for (;;) {
    line_.clear();
    bool spanning = false;  // the line's start is in line_
    for (;;) {
      if (pos_ >= fill_ && !Refill()) {
        // The end of the file ends the last line.
        if (failed_ || line_.empty()) return false;
        line = std::string_view(line_.data(), line_.size());
        return true;
      }
      const char* begin = buffer_.data() + pos_;
      const char* end = buffer_.data() + fill_;
      const char* stop = FindLineEnd(begin, end);
      if (stop == end) {
        line_.insert(line_.end(), begin, end);
        spanning = true;
        pos_ = fill_;
        continue;
      }
      const char c = *stop;
      const size_t length = static_cast<size_t>(stop - begin);
      pos_ += length + 1;
      if (c == kEndOfInput && length == 0 && line_.empty()) {
        done_ = true;
        return false;
      }
      if (spanning || (c == '\r' && pos_ >= fill_)) {
        // The line is kept in line_ when its bytes (or the check for an LF) cross a refill.
        line_.insert(line_.end(), begin, stop);
        spanning = true;
      }
      if (c == '\r') {
        if (pos_ >= fill_) Refill();
        if (pos_ < fill_ && buffer_[pos_] == '\n') ++pos_;
      }
      if (spanning) {
        if (line_.empty()) break;  // an empty line: skipped
        line = std::string_view(line_.data(), line_.size());
        return true;
      }
      if (length == 0) break;  // an empty line: skipped
      line = std::string_view(begin, length);
      return true;
    }
  }
}

size_t NextDelimitedValue(std::string_view line, size_t& pos, char* out, size_t capacity) {
  size_t stored = 0;
  int quotes = 0;
  bool started = false;  // a character other than a leading blank or tab has been seen
  while (pos < line.size()) {
    const char c = line[pos++];
    if (c == kQuoteCharacter) {
      ++quotes;
      started = true;
      continue;
    }
    if (quotes != 1) {
      if (c == kFieldDelimiter) break;
      if (!started && (c == ' ' || c == '\t')) continue;
      started = true;
    }
    if (stored < capacity) out[stored++] = c;
  }
  return stored;
}

std::string_view NextDelimitedValueView(std::string_view line, size_t& pos, char* out,
                                        size_t capacity) {
  const size_t start = pos;
  if (start < line.size() && line[start] != ' ' && line[start] != '\t') {
    size_t end = start;
    while (end < line.size() && line[end] != kFieldDelimiter && line[end] != kQuoteCharacter) ++end;
    if (end == line.size() || line[end] == kFieldDelimiter) {
      pos = end < line.size() ? end + 1 : end;
      return line.substr(start, std::min(end - start, capacity));
    }
  }
  return std::string_view(out, NextDelimitedValue(line, pos, out, capacity));
}

}  // namespace morvane
