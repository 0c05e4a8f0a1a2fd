// Eight bytes of a number text (a record's field, a line's value) tested at once: the bytes read
// as one little-endian word, for the word-at-a-time paths of record decoding and the import.
#pragma once

#include <cstdint>

namespace morvane {

// The high bit of each byte of V that is not an ASCII digit (below '0', above '9', or 0x80 and
// up); exact for every byte, with no carry between bytes.
inline uint64_t NonDigitBytes(uint64_t V) {
  constexpr uint64_t kHigh = 0x8080808080808080u, kOnes = 0x0101010101010101u;
  const uint64_t below = ~((V | kHigh) - 0x30 * kOnes) & kHigh;
  const uint64_t above = ((V & ~kHigh) + 0x46 * kOnes) & kHigh;
  return below | above | (V & kHigh);
}

}  // namespace morvane
