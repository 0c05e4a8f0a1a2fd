// The delimited import's reader: lines of a text file through one file buffer, and the values of
// a line. Nothing here allocates per line or per value once the buffers have grown to the longest
// line; no buffer is ever written past its end, whatever the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/os/files.h"

namespace morvane {

// Reads the lines of an open file from offset 0 through a buffer of BufferSize bytes. A line ends
// at LF, at CR (an LF right after it belongs to the same end), at 0x1A, or at the end of the file;
// empty lines are skipped; a 0x1A at the start of a line ends the input. Lines longer than the
// buffer are gathered whole.
class DelimitedReader {
 public:
  explicit DelimitedReader(platform::os::Handle File, size_t BufferSize);

  // The next non-empty line without its end; false at the end of the input or after a read
  // error (Failed). The view stays valid until the next call.
  bool NextLine(std::string_view& Line);
  // Bytes of the file consumed so far (lines and their ends).
  uint64_t Consumed() const { return bufferStart_ + pos_; }
  bool Failed() const { return failed_; }

 private:
  bool Refill();  // false at the end of the file or on error

  platform::os::Handle file_;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t fill_ = 0;
  uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
  std::vector<char> line_;    // a line that spans buffer refills
  bool eof_ = false;
  bool failed_ = false;
  bool done_ = false;         // a 0x1A ended the input
};

// The value that starts at Pos of Line: quote characters are never copied; between the first and
// the second quote every character is copied; elsewhere a comma ends the value (Pos moves past
// it) and blanks and tabs before the value's first other character are dropped. At most Capacity
// characters are stored in Out (the rest of a longer value is skipped); the stored length.
size_t NextDelimitedValue(std::string_view Line, size_t& Pos, char* Out, size_t Capacity);
// The same value as NextDelimitedValue gives, as a view: into Line itself for a plain value (no
// quote, no leading blank or tab: the bulk of a census file), else into Out.
std::string_view NextDelimitedValueView(std::string_view Line, size_t& Pos, char* Out,
                                        size_t Capacity);

}  // namespace morvane
