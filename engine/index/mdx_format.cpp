// The multiple-tag index file format.
//
// The file is addressed in 512-byte blocks; every page is 1024 bytes (2 blocks) and is named by
// the number of its first block (byte offset = block * 512). Pages are appended at the end and
// never reused. All integers are little-endian.
//
// Header (offset 0, 512 bytes; read and written together with the tag table as 2048 bytes):
//     0   1  version, 2                         24   1  production-index flag, 1
//     1   3  created: year-1900, month, day     25   1  tag table entries, 48
//     4  16  table name, NUL-terminated         26   1  tag table entry length, 32
//    20   2  blocks per page, 2                 28   1  tags in use
//    22   2  page size, 1024                    32   4  block counter
//    44   3  last update (= created)            rest    0
// Tag table (offset 512, 48 entries of 32 bytes; entry 0 holds only the name tree's root, tag k
// is entry k):
//     0   4  block of the tag header page       17   1  right child (entry 0: the root, 1)
//     4  11  tag name, upper case, NUL-term.    18   1  parent tag (0 for the root)
//    16   1  left child (0 = none)              19   1  2
//                                               20   1  key type letter
//   The links form a search tree over the 11-byte names: tag 1 is the root, later tags are
//   inserted in tag order, left when smaller, right otherwise.
// Tag header page (1024 bytes; the first 983, the "anchor", are read and rewritten):
//     0   4  root page block                    23   1  unique flag
//     8   1  format 0x10 (+0x08 desc, +0x40 uq) 24 221  key expression, NUL-terminated
//     9   1  key type C, N, F or D             245   1  1 when there is a FOR condition
//    12   2  key length (1..100)               246   1  1 when a record satisfied it at build
//    14   2  maximum keys per page             762 221  FOR condition, NUL-terminated
//    16   2  1 for D keys, else 0              rest     0
//    18   2  item length = 4 + key length rounded up to a multiple of 4
// Key page (1024 bytes): 0 count n (16 bit); 2..7 zero; from 8, n items of item length: a 32-bit
//   pointer and the key (zero-padded). Leaf: pointers are record numbers and the word after the
//   last item is 0. Branch: pointers are child pages, each key is the greatest key of its child,
//   and the word after the last item is the rightmost child (keys greater than the last key).
//
// Keys. C: the text's bytes, compared byte-wise. D: the Julian day number as a double, compared
// as doubles. N and F: the 12-byte decimal form, made from the number's fixed-point text:
//   byte 0 exponent, 52 + digits before the point (52 - zeros right after the point when the
//   number is below 1); byte 1 digit count << 2 | 1, bit 7 the sign, just 1 for zero; bytes
//   2..11 up to 20 digits, two per byte, high nibble first. The digit count is the number of
//   stored digits when a point was seen and fewer trailing zeros than decimals were stored;
//   otherwise the stored digits without the trailing zeros, raised to 10 when between 1 and 9.
//   Compare: sign (negative smaller), then exponent (zero's as 0; reversed for negatives), then
//   the digit bytes over (larger count + 1) / 2 bytes (reversed for negatives).
#include "engine/index/mdx_format.h"

#include <algorithm>

namespace morvane::mdx {

std::string FieldText(const uint8_t* p, size_t Width) {
  size_t n = 0;
  while (n < Width && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

void PutFieldText(uint8_t* p, size_t Width, std::string_view Text) {
  std::memset(p, 0, Width);
  const size_t n = std::min(Text.size(), Width - 1);
  std::memcpy(p, Text.data(), n);
}

void CreateMdxHeader(uint8_t* Header, std::string_view TableName, int Year, int Month, int Day) {
  std::memset(Header, 0, kHeaderSize);
  Header[kHdrVersion] = 2;
  const uint8_t date[3] = {static_cast<uint8_t>(Year - 1900), static_cast<uint8_t>(Month),
                           static_cast<uint8_t>(Day)};
  std::memcpy(Header + kHdrCreated, date, 3);
  std::memcpy(Header + kHdrUpdated, date, 3);
  PutFieldText(Header + kHdrTableName, 16, TableName.substr(0, 15));
  Put16(Header + kHdrBlocksPerPage, 2);
  Put16(Header + kHdrPageSize, kPageSize);
  Header[kHdrProduction] = 1;
  Header[kHdrEntryCount] = kTagEntries;
  Header[kHdrEntryLength] = kTagEntrySize;
  Put32(Header + kHdrBlockCounter, kHeaderSize / kBlockSize);
}

void RebuildNameTree(uint8_t* Header) {
  const int count = std::min<int>(Header[kHdrTagCount], kMaxTags);
  for (int k = 0; k <= kMaxTags; ++k) {
    uint8_t* e = TagEntry(Header, k);
    e[kTagLeft] = e[kTagRight] = e[kTagParent] = 0;
  }
  TagEntry(Header, 0)[kTagRight] = count > 0 ? 1 : 0;
  for (int k = 2; k <= count; ++k) {
    const uint8_t* name = TagEntry(Header, k) + kTagName;
    int node = 1;
    for (;;) {
      uint8_t* n = TagEntry(Header, node);
      const bool left = std::memcmp(name, n + kTagName, kTagNameLength) < 0;
      uint8_t& child = n[left ? kTagLeft : kTagRight];
      if (child == 0) {
        child = static_cast<uint8_t>(k);
        TagEntry(Header, k)[kTagParent] = static_cast<uint8_t>(node);
        break;
      }
      node = child;
    }
  }
}

std::string TagNameOf(const uint8_t* Header, int K) {
  return FieldText(TagEntry(Header, K) + kTagName, kTagNameLength);
}

void EncodeDecimal(std::string_view Text, int Decimals, uint8_t* Out) {
  std::memset(Out, 0, 12);
  size_t i = 0;
  const size_t n = Text.size();
  while (i < n && Text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (Text[i] == '+' || Text[i] == '-')) {
    negative = Text[i] == '-';
    ++i;
  }
  while (i < n && (Text[i] == ' ' || Text[i] == '0')) ++i;
  int exponent = 52;
  bool point = false;
  if (i < n && Text[i] == '.') {
    point = true;
    ++i;
    while (i < n && Text[i] == '0') {
      ++i;
      exponent = std::max(exponent - 1, 0);
    }
  }
  int stored = 0;
  int trailingZeros = 0;
  for (; i < n; ++i) {
    const char c = Text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    // Digits beyond the 20 that are kept still count toward the exponent, so that numbers of
    // more than 20 integer digits keep their order.
    if (!point) exponent = std::min(exponent + 1, 255);
    if (stored >= 20) continue;
    const uint8_t digit = static_cast<uint8_t>(c - '0');
    Out[2 + stored / 2] |= static_cast<uint8_t>(stored % 2 == 0 ? digit << 4 : digit);
    ++stored;
    trailingZeros = digit == 0 ? trailingZeros + 1 : 0;
  }
  int count;
  if (point && trailingZeros < Decimals) {
    count = stored;
  } else {
    count = stored - trailingZeros;
    if (count > 0 && count < 10) count = 10;
  }
  count = std::min(count, 20);
  Out[0] = static_cast<uint8_t>(exponent);
  Out[1] = count == 0 ? 1 : static_cast<uint8_t>((count << 2) | 1 | (negative ? 0x80 : 0));
}

int CompareDecimal(const uint8_t* A, const uint8_t* B) {
  const bool negA = (A[1] & 0x80) != 0;
  const bool negB = (B[1] & 0x80) != 0;
  if (negA != negB) return negA ? -1 : 1;
  const int countA = (A[1] >> 2) & 0x1F;
  const int countB = (B[1] >> 2) & 0x1F;
  const int expA = countA == 0 ? 0 : A[0];
  const int expB = countB == 0 ? 0 : B[0];
  int c = 0;
  if (expA != expB) {
    c = expA < expB ? -1 : 1;
  } else {
    const size_t bytes = std::min<size_t>((std::max(countA, countB) + 1) / 2, 10);
    c = std::memcmp(A + 2, B + 2, bytes);
    c = c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return negA ? -c : c;
}

int CompareDoubleKeys(const uint8_t* A, const uint8_t* B) {
  double a, b;
  std::memcpy(&a, A, 8);
  std::memcpy(&b, B, 8);
  return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace morvane::mdx
