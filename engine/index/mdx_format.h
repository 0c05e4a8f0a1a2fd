// The multiple-tag index file (".mdx") as bytes: the layout constants, the header and tag table
// with its name tree, the tag header page ("anchor"), key pages, and the three key encodings
// with their comparisons. Pure functions over buffers; the layout itself is described at the
// top of mdx_format.cpp. Every reader of index bytes (open, seek, build, tag list) uses these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace morvane::mdx {

inline constexpr size_t kBlockSize = 512;
inline constexpr size_t kPageSize = 1024;          // every page is two blocks
inline constexpr size_t kHeaderSize = 2048;        // header + tag table, read and written as one
inline constexpr size_t kTagTableOffset = 512;
inline constexpr size_t kTagEntrySize = 32;
inline constexpr int kTagEntries = 48;             // entry 0 holds the name tree's root only
inline constexpr int kMaxTags = 47;
inline constexpr size_t kAnchorSize = 983;         // the part of a tag header page in use
inline constexpr size_t kMaxKeyLength = 100;
inline constexpr size_t kMaxExprText = 220;        // key and FOR texts (NUL-terminated in 221)
inline constexpr size_t kMinFileSize = 3072;       // header + one page + one tag header page
inline constexpr size_t kPageItemsOffset = 8;
inline constexpr size_t kPageItemSpace = 1012;     // bytes for items (the trailing word follows)

// Header offsets.
inline constexpr size_t kHdrVersion = 0;
inline constexpr size_t kHdrCreated = 1;
inline constexpr size_t kHdrTableName = 4;         // 16 bytes, NUL-terminated
inline constexpr size_t kHdrBlocksPerPage = 20;
inline constexpr size_t kHdrPageSize = 22;
inline constexpr size_t kHdrProduction = 24;
inline constexpr size_t kHdrEntryCount = 25;
inline constexpr size_t kHdrEntryLength = 26;
inline constexpr size_t kHdrTagCount = 28;
inline constexpr size_t kHdrBlockCounter = 32;
inline constexpr size_t kHdrUpdated = 44;

// Tag table entry offsets (entry k at kTagTableOffset + 32 k).
inline constexpr size_t kTagHeaderBlock = 0;
inline constexpr size_t kTagName = 4;              // 11 bytes, NUL-terminated
inline constexpr size_t kTagNameLength = 11;
inline constexpr size_t kTagLeft = 16;
inline constexpr size_t kTagRight = 17;
inline constexpr size_t kTagParent = 18;
inline constexpr size_t kTagTwo = 19;
inline constexpr size_t kTagKeyType = 20;

// Anchor offsets.
inline constexpr size_t kAncRoot = 0;
inline constexpr size_t kAncFormat = 8;            // 0x10, + 0x08 descending, + 0x40 unique
inline constexpr size_t kAncKeyType = 9;
inline constexpr size_t kAncKeyLength = 12;
inline constexpr size_t kAncMaxKeys = 14;
inline constexpr size_t kAncDateFlag = 16;
inline constexpr size_t kAncItemLength = 18;
inline constexpr size_t kAncUnique = 23;
inline constexpr size_t kAncKeyExpr = 24;
inline constexpr size_t kAncHasFor = 245;
inline constexpr size_t kAncForSeen = 246;
inline constexpr size_t kAncForExpr = 762;
inline constexpr uint8_t kFormatBase = 0x10;
inline constexpr uint8_t kFormatDescending = 0x08;
inline constexpr uint8_t kFormatUnique = 0x40;

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A NUL-terminated text in a field of Width bytes (never reads past the field).
std::string FieldText(const uint8_t* p, size_t Width);
// Text cut to Width - 1 bytes, NUL-padded to Width.
void PutFieldText(uint8_t* p, size_t Width, std::string_view Text);

// 4 + the key length raised to the next multiple of 4.
inline size_t ItemLength(size_t KeyLength) { return 4 + (KeyLength + 3) / 4 * 4; }
// 1012 / item length.
inline size_t MaxKeysPerPage(size_t ItemLen) { return kPageItemSpace / ItemLen; }

// Tag table entry k (0..47) inside a 2048-byte header buffer.
inline uint8_t* TagEntry(uint8_t* Header, int K) { return Header + kTagTableOffset + kTagEntrySize * K; }
inline const uint8_t* TagEntry(const uint8_t* Header, int K) {
  return Header + kTagTableOffset + kTagEntrySize * K;
}

// Fills a 2048-byte buffer with a new header and an empty tag table: version 2, the date as
// creation and update date, TableName (cut to 15 characters), 2 blocks per page of 1024 bytes,
// production flag 1, 48 entries of 32 bytes, no tags, block counter 4 (the first free block).
void CreateMdxHeader(uint8_t* Header, std::string_view TableName, int Year, int Month, int Day);

// Rebuilds the name tree's link bytes of tags 1..tag count: tag 1 is the root; every further tag
// is inserted in tag order by walking from the root (left when its 11-byte name is smaller,
// right otherwise). Entry 0's root byte is 1 when there is a tag.
void RebuildNameTree(uint8_t* Header);

// The tag name of entry k (upper case, at most 10 characters).
std::string TagNameOf(const uint8_t* Header, int K);

// Key kinds: byte-wise texts, 12-byte decimal numbers, doubles (dates as Julian day numbers).
enum class KeyKind : uint8_t { Text, Decimal, Double };

// The 12-byte decimal form of a number text (see the file comment of mdx_format.cpp).
// Decimals: the expression's decimals (0 for a search text).
void EncodeDecimal(std::string_view Text, int Decimals, uint8_t* Out);
// Compares two decimal forms: < 0, 0, > 0.
int CompareDecimal(const uint8_t* A, const uint8_t* B);

// Compares two doubles stored little-endian in 8 bytes.
int CompareDoubleKeys(const uint8_t* A, const uint8_t* B);

// The comparison of a tag: by kind over Length bytes (texts), reversed when Descending.
struct KeyCompare {
  KeyKind Kind = KeyKind::Text;
  bool Descending = false;
  int operator()(const uint8_t* A, const uint8_t* B, size_t Length) const {
    int c;
    switch (Kind) {
      case KeyKind::Decimal: c = CompareDecimal(A, B); break;
      case KeyKind::Double: c = CompareDoubleKeys(A, B); break;
      default: c = std::memcmp(A, B, Length); break;
    }
    return Descending ? -c : c;
  }
};

// A key page as stored: count, items of ItemLen bytes from offset 8, trailing word.
struct PageView {
  const uint8_t* Bytes;
  size_t ItemLen;
  uint16_t Count() const { return Get16(Bytes); }
  const uint8_t* Item(size_t I) const { return Bytes + kPageItemsOffset + I * ItemLen; }
  uint32_t Pointer(size_t I) const { return Get32(Item(I)); }
  const uint8_t* Key(size_t I) const { return Item(I) + 4; }
  // The 32-bit word after the last item: 0 in a leaf, the rightmost child in a branch.
  uint32_t Trailing() const { return Get32(Item(Count())); }
  bool IsLeaf() const { return Trailing() == 0; }
};

// True when a page's count fits its capacity: count <= MaxKeys and the trailing word lies in
// the page. A page that fails this must not be interpreted.
inline bool PageCountValid(const uint8_t* Page, size_t ItemLen, size_t MaxKeys) {
  const size_t n = Get16(Page);
  return n <= MaxKeys && kPageItemsOffset + n * ItemLen + 4 <= kPageSize;
}

}  // namespace morvane::mdx
