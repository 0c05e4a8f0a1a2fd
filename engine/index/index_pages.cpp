// Pages and positions of an open tag: reading and writing pages with the checks that keep a
// damaged file from being misread (page numbers out of range, counts beyond capacity, paths
// deeper than any real tree), the seek down the tree and the steps to the next and previous key.
#include <algorithm>
#include <cstring>

#include "engine/index/index_errors.h"
#include "engine/index/index_internal.h"
#include "engine/util/errors.h"

namespace morvane::ndx {

namespace os = platform::os;

namespace {

int SlotOf(const IndexBlock& B, const IndexTag& T) {
  for (int s = 1; s <= mdx::kMaxTags; ++s)
    if (B.Slots[s].get() == &T) return s;
  return 0;
}

[[noreturn]] void BadNode(IndexBlock& B, IndexTag& T, uint32_t Block) {
  ReportAlways(254, "Invalid Node Number (" + std::to_string(Block) + ") in DBF Area " +
                        std::to_string(CurrentArea()) + ", Order " + std::to_string(SlotOf(B, T)) +
                        " " + TagLabel(B, T) + " [GetNode]");
}

[[noreturn]] void Corrupted(IndexBlock& B, IndexTag& T, const char* Where) {
  ReportAlways(254, "Index file corrupted. " + TagLabel(B, T) + " [" + Where + "]");
}

mdx::PageView View(const PathLevel& L, const IndexTag& T) { return {L.Page.data(), T.ItemLength}; }

// Reads page Block as a new last level of the tag's path. A page that is refused (or cannot be
// read) is not left on the path: a later seek reuses the levels it finds there as pages already
// read and checked, and would interpret the refused bytes.
PathLevel& PushPage(IndexBlock& B, IndexTag& T, uint32_t Block) {
  PathLevel& level = T.Path.emplace_back();
  level.Block = Block;
  try {
    ReadPage(B, T, Block, level.Page.data());
  } catch (...) {
    T.Path.pop_back();
    throw;
  }
  return level;
}

// Pushes the pages from Block down to a leaf, taking the first (Leftmost) or the last child in
// every branch; the leaf's position is its first item, or its last (after the last when empty).
void Descend(IndexBlock& B, IndexTag& T, uint32_t Block, bool Leftmost) {
  for (;;) {
    if (T.Path.size() >= static_cast<size_t>(kMaxDepth)) Corrupted(B, T, "GetNode");
    // A page below itself is a cycle.
    for (const PathLevel& above : T.Path)
      if (above.Block == Block) Corrupted(B, T, "GetNode");
    PathLevel& level = PushPage(B, T, Block);
    const mdx::PageView page = View(level, T);
    const int n = page.Count();
    if (page.IsLeaf()) {
      level.Position = Leftmost ? 0 : std::max(n - 1, 0);
      return;
    }
    level.Position = Leftmost ? 0 : n;
    Block = level.Position < n ? page.Pointer(static_cast<size_t>(level.Position)) : page.Trailing();
  }
}

bool LeafEmpty(const IndexTag& T) { return T.Path.empty() || T.Leaf().Count() == 0; }

// Moves to the first item of the next leaf (Forward) or the last of the previous one, skipping
// empty leaves. False, with the path unchanged, when there is none.
bool NextLeaf(IndexBlock& B, IndexTag& T, bool Forward) {
  const std::vector<PathLevel> saved = T.Path;
  for (;;) {
    int i = static_cast<int>(T.Path.size()) - 2;
    for (; i >= 0; --i) {
      const PathLevel& level = T.Path[static_cast<size_t>(i)];
      const int n = View(level, T).Count();
      if (Forward ? level.Position < n : level.Position > 0) break;
    }
    if (i < 0) {
      T.Path = saved;
      return false;
    }
    PathLevel& branch = T.Path[static_cast<size_t>(i)];
    branch.Position += Forward ? 1 : -1;
    const mdx::PageView page = View(branch, T);
    const uint32_t child = branch.Position < page.Count()
                               ? page.Pointer(static_cast<size_t>(branch.Position))
                               : page.Trailing();
    T.Path.resize(static_cast<size_t>(i) + 1);
    Descend(B, T, child, Forward);
    if (!LeafEmpty(T)) return true;
  }
}

}  // namespace

IndexBlock* CurrentBlock() {
  WorkArea* a = CurrentWorkArea();
  return a == nullptr ? nullptr : a->Index;
}

std::string TagLabel(const IndexBlock& B, const IndexTag& T) {
  return B.FileName + " [tag: " + T.Name + "]";
}

void ReadPage(IndexBlock& B, IndexTag& T, uint32_t Block, uint8_t* Out) {
  if (Block == 0) BadNode(B, T, Block);
  const uint64_t offset = uint64_t{Block} * mdx::kBlockSize;
  if (offset + mdx::kPageSize > static_cast<uint64_t>(B.FileSize)) {
    // Another process may have grown the file since it was last measured.
    B.FileSize = os::FileSize(B.File);
    if (offset + mdx::kPageSize > static_cast<uint64_t>(B.FileSize)) BadNode(B, T, Block);
  }
  if (const auto* cached = B.Branches.Find(Block)) {
    std::memcpy(Out, cached->data(), mdx::kPageSize);
    // Checked again: a damaged file may give two tags of other item lengths the same page.
    if (!mdx::PageCountValid(Out, T.ItemLength, T.MaxKeys)) Corrupted(B, T, "GetNode");
    return;
  }
  const int64_t got = os::FileReadAt(B.File, offset, Out, mdx::kPageSize);
  if (got != static_cast<int64_t>(mdx::kPageSize)) {
    const uint32_t code = got < 0 ? os::LastError() : 100;
    ReportAlways(static_cast<uint16_t>(code != 0 ? code : 100),
                 "Error reading index file: " + TagLabel(B, T) + " [SeekAndRead]");
  }
  if (!mdx::PageCountValid(Out, T.ItemLength, T.MaxKeys)) Corrupted(B, T, "GetNode");
  // Pages inside the file header are never kept: the header is written without WritePage.
  if (!mdx::PageView{Out, T.ItemLength}.IsLeaf() && offset >= mdx::kHeaderSize)
    B.Branches.Keep(Block, Out);
}

void WritePage(IndexBlock& B, IndexTag& T, uint32_t Block, const uint8_t* Page) {
  if (Block == 0) BadNode(B, T, Block);
  B.Branches.Clear();
  const uint64_t offset = uint64_t{Block} * mdx::kBlockSize;
  if (os::FileWriteAt(B.File, offset, Page, mdx::kPageSize) != static_cast<int64_t>(mdx::kPageSize)) {
    const uint32_t code = os::LastError();
    ReportAlways(static_cast<uint16_t>(code != 0 ? code : 101),
                 "Error writing index file: " + TagLabel(B, T) + " [SeekAndWrite]");
  }
  B.FileSize = std::max<int64_t>(B.FileSize, static_cast<int64_t>(offset + mdx::kPageSize));
}

SeekResult Seek(IndexBlock& B, IndexTag& T, const uint8_t* Key, bool InsertMode) {
  // The pages already on the path are the file's current pages (a change by another process
  // clears the path when the index is refreshed), so the levels the new descent shares with the
  // old one are not read again: a random seek usually reads only its leaf.
  size_t depth = 0;
  uint32_t block = T.RootBlock();
  for (;;) {
    if (depth >= static_cast<size_t>(kMaxDepth)) Corrupted(B, T, "GetNode");
    if (depth < T.Path.size() && T.Path[depth].Block == block) {
      // Kept with the levels below it: the descent may go on through them as well.
    } else {
      T.Path.resize(depth);
      for (const PathLevel& above : T.Path)
        if (above.Block == block) Corrupted(B, T, "GetNode");
      PushPage(B, T, block);
    }
    PathLevel& level = T.Path[depth++];
    const mdx::PageView page = View(level, T);
    // Lower bound: the first item whose key is not smaller than the search key.
    size_t lo = 0, hi = page.Count();
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      if (T.Compare(page.Key(mid), Key, T.KeyLength) < 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    level.Position = static_cast<int>(lo);
    if (page.IsLeaf()) break;
    block = lo < page.Count() ? page.Pointer(lo) : page.Trailing();
  }
  T.Path.resize(depth);  // levels of an earlier, deeper path below the leaf
  SeekResult result;
  if (T.Path.back().Position >= T.Leaf().Count()) {
    // After the last item of the leaf: an insertion goes there; a search moves on to the next
    // key, or ends after the last key of the tag.
    if (InsertMode) {
      result.AtEnd = true;
      return result;
    }
    if (!NextLeaf(B, T, true)) {
      GoAfterLast(B, T);
      result.AtEnd = true;
      return result;
    }
  }
  const uint8_t* key = CurrentItemKey(T);
  result.Found = T.Compare.Kind == mdx::KeyKind::Decimal
                     ? mdx::CompareDecimal(key, Key) == 0
                     : std::memcmp(key, Key, T.KeyLength) == 0;
  return result;
}

bool GoFirstKey(IndexBlock& B, IndexTag& T) {
  T.Path.clear();
  Descend(B, T, T.RootBlock(), true);
  return !LeafEmpty(T) || NextLeaf(B, T, true);
}

bool GoLastKey(IndexBlock& B, IndexTag& T) {
  T.Path.clear();
  Descend(B, T, T.RootBlock(), false);
  return !LeafEmpty(T) || NextLeaf(B, T, false);
}

void GoAfterLast(IndexBlock& B, IndexTag& T) {
  T.Path.clear();
  Descend(B, T, T.RootBlock(), false);
  if (LeafEmpty(T)) NextLeaf(B, T, false);
  T.Path.back().Position = T.Leaf().Count();
}

bool StepNext(IndexBlock& B, IndexTag& T) {
  if (T.Path.empty()) return false;
  PathLevel& leaf = T.Path.back();
  const int n = T.Leaf().Count();
  if (leaf.Position + 1 < n) {
    ++leaf.Position;
    return true;
  }
  return NextLeaf(B, T, true);
}

bool StepPrev(IndexBlock& B, IndexTag& T) {
  if (T.Path.empty()) return false;
  PathLevel& leaf = T.Path.back();
  const int n = T.Leaf().Count();
  if (leaf.Position > 0 && n > 0) {
    leaf.Position = std::min(leaf.Position - 1, n - 1);
    return true;
  }
  if (!NextLeaf(B, T, false)) return false;
  T.Path.back().Position = T.Leaf().Count() - 1;
  return true;
}

bool OnItem(const IndexTag& T) {
  if (T.Path.empty()) return false;
  const int p = T.Path.back().Position;
  return p >= 0 && p < T.Leaf().Count();
}

int32_t CurrentRecordOf(const IndexTag& T) {
  return static_cast<int32_t>(T.Leaf().Pointer(static_cast<size_t>(T.Path.back().Position)));
}

const uint8_t* CurrentItemKey(const IndexTag& T) {
  return T.Leaf().Key(static_cast<size_t>(T.Path.back().Position));
}

void RememberCurrentKey(IndexTag& T) {
  if (OnItem(T)) std::memcpy(T.CurrentKey.data(), CurrentItemKey(T), T.KeyLength);
}

void ReadAnchor(IndexBlock& B, IndexTag& T) {
  B.Branches.Clear();  // the anchors are read again when the file may have changed
  const uint64_t offset = uint64_t{T.HeaderBlock} * mdx::kBlockSize;
  std::array<uint8_t, mdx::kAnchorSize> anchor{};
  if (os::FileReadAt(B.File, offset, anchor.data(), anchor.size()) !=
      static_cast<int64_t>(anchor.size())) {
    const uint32_t code = os::LastError();
    ReportAlways(static_cast<uint16_t>(code != 0 ? code : 100),
                 "Error reading index file:  " + TagLabel(B, T) + " [ReadAnchorNodes]");
  }
  // Only the fields that change while a tag is in use are taken over: the root and FOR-seen.
  const uint32_t root = mdx::Get32(anchor.data() + mdx::kAncRoot);
  if (root == 0 || root % 2 != 0) Corrupted(B, T, "ReadAnchorNodes");
  T.Anchor = anchor;
  T.ForSeen = anchor[mdx::kAncForSeen] != 0;
}

void WriteAnchor(IndexBlock& B, IndexTag& T) {
  B.Branches.Clear();
  T.Anchor[mdx::kAncForSeen] = T.ForSeen ? 1 : 0;
  const uint64_t offset = uint64_t{T.HeaderBlock} * mdx::kBlockSize;
  if (os::FileWriteAt(B.File, offset, T.Anchor.data(), T.Anchor.size()) !=
      static_cast<int64_t>(T.Anchor.size())) {
    const uint32_t code = os::LastError();
    ReportAlways(static_cast<uint16_t>(code != 0 ? code : 101),
                 "Error writing index file:  " + TagLabel(B, T) + " [WriteAnchor]");
  }
  T.AnchorChanged = false;
}

}  // namespace morvane::ndx
