// The page checker of the index tests (see mdx_checker.h).
#include "tests/index_maint/mdx_checker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "engine/index/mdx_format.h"
#include "tests/support/test_support.h"

namespace mdxcheck {

namespace mdx = morvane::mdx;

namespace {

struct Walker {
  const testsupport::Bytes& File;
  std::set<uint32_t>& Used;     // pages of every tag seen so far
  TagContents& Tag;
  mdx::KeyCompare Compare;
  size_t KeyLength = 0, ItemLength = 0, MaxKeys = 0;
  int LeafDepth = -1;
  bool HavePrevious = false;
  std::string Previous;

  const uint8_t* Page(uint32_t Block) {
    const size_t at = size_t{Block} * mdx::kBlockSize;
    if (Block < 4 || Block % 2 != 0 || at + mdx::kPageSize > File.size()) {
      ADD_FAILURE() << Tag.Name << ": page number " << Block << " outside the file";
      return nullptr;
    }
    if (!Used.insert(Block).second) {
      ADD_FAILURE() << Tag.Name << ": page " << Block << " is used twice";
      return nullptr;
    }
    return File.data() + at;
  }

  // Walks page Block at Depth; Greatest receives the greatest key under it. False on a failure.
  bool Walk(uint32_t Block, int Depth, std::string& Greatest) {
    if (Depth > 32) {
      ADD_FAILURE() << Tag.Name << ": tree deeper than 32 levels";
      return false;
    }
    const uint8_t* page = Page(Block);
    if (page == nullptr) return false;
    const mdx::PageView view{page, ItemLength};
    const size_t n = view.Count();
    if (!mdx::PageCountValid(page, ItemLength, MaxKeys)) {
      ADD_FAILURE() << Tag.Name << ": page " << Block << " holds " << n << " items, at most " << MaxKeys;
      return false;
    }
    if (view.IsLeaf()) {
      if (LeafDepth < 0) LeafDepth = Depth;
      EXPECT_EQ(Depth, LeafDepth) << Tag.Name << ": leaf " << Block << " at another depth";
      if (n == 0 && Depth != 0) ADD_FAILURE() << Tag.Name << ": empty leaf " << Block << " below the root";
      for (size_t i = 0; i < n; ++i) {
        std::string key(reinterpret_cast<const char*>(view.Key(i)), KeyLength);
        if (HavePrevious) {
          const int c = Compare(reinterpret_cast<const uint8_t*>(Previous.data()), view.Key(i), KeyLength);
          if (c > 0 || (Tag.Unique && c == 0)) {
            ADD_FAILURE() << Tag.Name << ": key out of order in leaf " << Block << " item " << i;
            return false;
          }
        }
        Previous = key;
        HavePrevious = true;
        Tag.Items.emplace_back(key, view.Pointer(i));
      }
      Greatest = n > 0 ? Previous : std::string();
      return true;
    }
    for (size_t i = 0; i <= n; ++i) {
      std::string below;
      if (!Walk(i < n ? view.Pointer(i) : view.Trailing(), Depth + 1, below)) return false;
      if (i < n && below != std::string(reinterpret_cast<const char*>(view.Key(i)), KeyLength)) {
        ADD_FAILURE() << Tag.Name << ": branch " << Block << " item " << i
                      << " is not the greatest key under its child";
        return false;
      }
      Greatest = below;
    }
    return true;
  }
};

}  // namespace

std::vector<TagContents> CheckIndexFile(const std::string& Path) {
  const testsupport::Bytes file = testsupport::ReadFileBytes(Path);
  std::vector<TagContents> tags;
  if (file.size() < mdx::kMinFileSize) {
    ADD_FAILURE() << Path << ": too short for an index file (" << file.size() << " bytes)";
    return tags;
  }
  EXPECT_EQ(file.size() % mdx::kPageSize, 0u) << Path << ": not a whole number of pages";
  const int count = file[mdx::kHdrTagCount];
  std::set<uint32_t> used;
  for (int k = 1; k <= count; ++k) {
    const uint8_t* entry = mdx::TagEntry(file.data(), k);
    const uint32_t header = mdx::Get32(entry + mdx::kTagHeaderBlock);
    const size_t at = size_t{header} * mdx::kBlockSize;
    if (at + mdx::kPageSize > file.size() || !used.insert(header).second) {
      ADD_FAILURE() << Path << ": tag " << k << " header page " << header << " outside or shared";
      continue;
    }
    const uint8_t* anchor = file.data() + at;
    TagContents& tag = tags.emplace_back();
    tag.Name = mdx::TagNameOf(file.data(), k);
    tag.Unique = anchor[mdx::kAncUnique] != 0;
    tag.ForSeen = anchor[mdx::kAncForSeen] != 0;
    tag.Root = mdx::Get32(anchor + mdx::kAncRoot);
    Walker w{file, used, tag, {}, mdx::Get16(anchor + mdx::kAncKeyLength), mdx::Get16(anchor + mdx::kAncItemLength),
             mdx::Get16(anchor + mdx::kAncMaxKeys), -1, false, {}};
    EXPECT_EQ(w.ItemLength, mdx::ItemLength(w.KeyLength)) << tag.Name;
    EXPECT_EQ(w.MaxKeys, mdx::MaxKeysPerPage(w.ItemLength)) << tag.Name;
    const char type = static_cast<char>(anchor[mdx::kAncKeyType]);
    w.Compare.Kind = type == 'N' ? mdx::KeyKind::Decimal : type == 'D' ? mdx::KeyKind::Double : mdx::KeyKind::Text;
    w.Compare.Descending = (anchor[mdx::kAncFormat] & mdx::kFormatDescending) != 0;
    std::string greatest;
    w.Walk(tag.Root, 0, greatest);
    tag.Depth = w.LeafDepth;
  }
  return tags;
}

std::vector<std::string> KeysOf(const TagContents& Tag) {
  std::vector<std::string> keys;
  for (const auto& item : Tag.Items) keys.push_back(item.first);
  return keys;
}

}  // namespace mdxcheck
