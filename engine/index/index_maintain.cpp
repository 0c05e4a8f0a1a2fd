// Keeping open tags in step with appended and rewritten records: the command layer's hooks
// IndexSaveOldKeys (remember every tag's key of the record as stored), IndexReplaceKeys (named
// "CompareKeys" in messages) and AppendNewKey, and the key insertion and deletion below them.
//
// Guarantees after every insertion or deletion (the invariants a fresh build also gives):
// - items of every page are in key order, equal keys in the order they were inserted, a new key
//   going before the keys equal to it;
// - every branch item's key is the greatest key found under its child (the rightmost child,
//   the trailing pointer, has no key); a leaf's trailing word is 0;
// - a full page is split in two halves, the upper half going to a new page at the end of the
//   file; a split root gets a new root above it; the anchor's root is rewritten at once;
// - an emptied leaf is zeroed and unlinked from its parent (its page is abandoned until the
//   index is rebuilt); an emptied root leaf stays as the tag's empty root; a branch root left
//   with only its trailing child is replaced by that child.
// New pages are always placed at the end of the file as it is measured under the write hold,
// so that no page, tag header or other process's page is ever overwritten; the header's block
// counter is then set to the new page's block + 1 and the header written by the hook.
#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include "engine/index/index_errors.h"
#include "engine/index/index_internal.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"

namespace morvane::ndx {

namespace os = platform::os;

namespace {

using Key = std::array<uint8_t, mdx::kMaxKeyLength + 1>;

// A page as a list of items, for changes that may overflow it.
struct Items {
  size_t Length = 0;           // item length
  std::vector<uint8_t> Bytes;  // Count() items of Length bytes
  uint32_t Trailing = 0;

  size_t Count() const { return Bytes.size() / Length; }
  uint8_t* Item(size_t I) { return Bytes.data() + I * Length; }
  uint8_t* KeyAt(size_t I) { return Item(I) + 4; }
  void Insert(size_t At, uint32_t Pointer, const uint8_t* K, size_t KeyLength) {
    std::vector<uint8_t> item(Length, 0);
    mdx::Put32(item.data(), Pointer);
    std::memcpy(item.data() + 4, K, KeyLength);
    Bytes.insert(Bytes.begin() + static_cast<std::ptrdiff_t>(At * Length), item.begin(), item.end());
  }
  void Erase(size_t At) {
    const auto from = Bytes.begin() + static_cast<std::ptrdiff_t>(At * Length);
    Bytes.erase(from, from + static_cast<std::ptrdiff_t>(Length));
  }
};

Items Decode(const uint8_t* Page, size_t ItemLength) {
  const mdx::PageView view{Page, ItemLength};
  Items items;
  items.Length = ItemLength;
  items.Bytes.assign(view.Item(0), view.Item(view.Count()));
  items.Trailing = view.Trailing();
  return items;
}

// The page bytes of Items (Count() must fit the page): count, items, trailing word, zeros.
void Encode(const Items& I, uint8_t* Page) {
  std::memset(Page, 0, mdx::kPageSize);
  mdx::Put16(Page, static_cast<uint32_t>(I.Count()));
  std::memcpy(Page + mdx::kPageItemsOffset, I.Bytes.data(), I.Bytes.size());
  mdx::Put32(Page + mdx::kPageItemsOffset + I.Bytes.size(), I.Trailing);
}

[[noreturn]] void Corrupted(IndexBlock& B, IndexTag& T, const char* Where) {
  ReportAlways(254, "Index file corrupted. " + TagLabel(B, T) + " [" + Where + "]");
}

bool KeysEqual(const IndexTag& T, const uint8_t* A, const uint8_t* B) {
  return T.Compare.Kind == mdx::KeyKind::Decimal ? mdx::CompareDecimal(A, B) == 0
                                                 : std::memcmp(A, B, T.KeyLength) == 0;
}

// A new page at the end of the file; the header's block counter follows it.
uint32_t NewPage(IndexBlock& B) {
  const int64_t size = os::FileSize(B.File);
  if (size < 0) {
    const uint32_t code = os::LastError();
    ReportAlways(static_cast<uint16_t>(code != 0 ? code : 100), "Error reading index file: " + B.FileName +
                                                                    " [AppendIndex]");
  }
  const int64_t end = std::max<int64_t>({size, B.FileSize, static_cast<int64_t>(mdx::kHeaderSize)});
  const uint32_t block =
      static_cast<uint32_t>((end + static_cast<int64_t>(mdx::kPageSize) - 1) / static_cast<int64_t>(mdx::kPageSize) * 2);
  mdx::Put32(B.Header.data() + mdx::kHdrBlockCounter, block + 1);
  B.HeaderModified = true;
  return block;
}

// The greatest key under page Block into Out, following the rightmost pointers to a leaf.
void GreatestUnder(IndexBlock& B, IndexTag& T, uint32_t Block, uint8_t* Out) {
  std::array<uint8_t, mdx::kPageSize> page{};
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    ReadPage(B, T, Block, page.data());
    const mdx::PageView view{page.data(), T.ItemLength};
    if (view.IsLeaf()) {
      if (view.Count() == 0) Corrupted(B, T, "AppendIndex");
      std::memcpy(Out, view.Key(view.Count() - 1u), T.KeyLength);
      return;
    }
    Block = view.Trailing();
  }
  Corrupted(B, T, "AppendIndex");
}

// The greatest key of a page held as Items (reading below it for a branch).
void GreatestOf(IndexBlock& B, IndexTag& T, Items& I, uint8_t* Out) {
  if (I.Trailing == 0) {
    std::memcpy(Out, I.KeyAt(I.Count() - 1), T.KeyLength);
  } else {
    GreatestUnder(B, T, I.Trailing, Out);
  }
}

// The parents above path level L learn that the greatest key under level L's page is now K:
// the first branch that holds the page as an item gets K as that item's key; a page that is
// its parent's rightmost child passes the change on upwards.
void PropagateGreatest(IndexBlock& B, IndexTag& T, size_t L, const uint8_t* K) {
  while (L-- > 0) {
    PathLevel& level = T.Path[L];
    const mdx::PageView view{level.Page.data(), T.ItemLength};
    const size_t q = static_cast<size_t>(level.Position);
    if (q >= view.Count()) continue;
    uint8_t* key = level.Page.data() + mdx::kPageItemsOffset + q * T.ItemLength + 4;
    if (std::memcmp(key, K, T.KeyLength) == 0) return;
    std::memcpy(key, K, T.KeyLength);
    WritePage(B, T, level.Block, level.Page.data());
    return;
  }
}

// Writes I as the page of path level L, splitting it when it holds more than a page can.
// NewAt is the position of the item that made it grow (decides which half takes it).
void StorePage(IndexBlock& B, IndexTag& T, size_t L, Items& I, size_t NewAt) {
  PathLevel& level = T.Path[L];
  if (I.Count() <= T.MaxKeys) {
    Encode(I, level.Page.data());
    WritePage(B, T, level.Block, level.Page.data());
    return;
  }
  // The page before the new item was full (MaxKeys items): the upper half (MaxKeys / 2 items)
  // goes to the new page with the trailing word, the new item to the half it belongs to.
  const size_t full = T.MaxKeys;
  size_t keep = full - full / 2;
  if (NewAt < keep) ++keep;
  Items left, right;
  left.Length = right.Length = I.Length;
  left.Bytes.assign(I.Bytes.begin(), I.Bytes.begin() + static_cast<std::ptrdiff_t>(keep * I.Length));
  right.Bytes.assign(I.Bytes.begin() + static_cast<std::ptrdiff_t>(keep * I.Length), I.Bytes.end());
  right.Trailing = I.Trailing;
  Key leftGreatest{};
  if (I.Trailing != 0) {
    // A branch: the left page's last item becomes its trailing pointer; its key is the greatest
    // key under that child.
    std::memcpy(leftGreatest.data(), left.KeyAt(left.Count() - 1), T.KeyLength);
    left.Trailing = mdx::Get32(left.Item(left.Count() - 1));
    left.Erase(left.Count() - 1);
  } else {
    std::memcpy(leftGreatest.data(), left.KeyAt(left.Count() - 1), T.KeyLength);
  }
  const uint32_t oldBlock = level.Block;
  const uint32_t newBlock = NewPage(B);
  std::array<uint8_t, mdx::kPageSize> rightPage{};
  Encode(right, rightPage.data());
  WritePage(B, T, newBlock, rightPage.data());
  Key rightGreatest{};
  GreatestOf(B, T, right, rightGreatest.data());

  if (L == 0) {
    // The root split: a new root above the two halves.
    Items root;
    root.Length = I.Length;
    root.Insert(0, oldBlock, leftGreatest.data(), T.KeyLength);
    root.Trailing = newBlock;
    const uint32_t rootBlock = NewPage(B);
    std::array<uint8_t, mdx::kPageSize> rootPage{};
    Encode(root, rootPage.data());
    WritePage(B, T, rootBlock, rootPage.data());
    // The old root keeps every key until the new pages above it are written: when one of those
    // writes fails (the file grows by them, so a full disk stops them), the tag still holds all
    // its keys under the old root.
    Encode(left, level.Page.data());
    WritePage(B, T, oldBlock, level.Page.data());
    mdx::Put32(T.Anchor.data() + mdx::kAncRoot, rootBlock);
    T.AnchorChanged = true;
    return;
  }
  Encode(left, level.Page.data());
  WritePage(B, T, oldBlock, level.Page.data());
  // The parent: the item for the old page gets its new greatest key, the new page follows it
  // (taking over the old page's key, or its place as the rightmost child).
  PathLevel& parentLevel = T.Path[L - 1];
  Items parent = Decode(parentLevel.Page.data(), T.ItemLength);
  const size_t q = static_cast<size_t>(parentLevel.Position);
  if (q > parent.Count()) Corrupted(B, T, "AppendIndex");
  parent.Insert(q, oldBlock, leftGreatest.data(), T.KeyLength);
  if (q + 1 < parent.Count()) {
    mdx::Put32(parent.Item(q + 1), newBlock);
    std::memcpy(parent.KeyAt(q + 1), rightGreatest.data(), T.KeyLength);
  } else {
    parent.Trailing = newBlock;
  }
  StorePage(B, T, L - 1, parent, q + 1 < parent.Count() ? q + 1 : q);
}

// Inserts (record Record, key K) into tag T, before the keys equal to K; a unique tag that
// holds K already is left as it is. The tag's path is cleared afterwards.
void InsertKey(IndexBlock& B, IndexTag& T, const uint8_t* K, int32_t Record) {
  const SeekResult found = Seek(B, T, K, true);
  if (T.Unique && found.Found) return;
  PathLevel& leaf = T.Path.back();
  if (!mdx::PageView{leaf.Page.data(), T.ItemLength}.IsLeaf()) Corrupted(B, T, "AppendIndex");
  Items items = Decode(leaf.Page.data(), T.ItemLength);
  const size_t at = std::min(static_cast<size_t>(leaf.Position), items.Count());
  items.Insert(at, static_cast<uint32_t>(Record), K, T.KeyLength);
  const bool last = at + 1 == items.Count();
  const bool splits = items.Count() > T.MaxKeys;
  StorePage(B, T, T.Path.size() - 1, items, at);
  if (last && !splits) PropagateGreatest(B, T, T.Path.size() - 1, K);
}

// Removes the page of path level L (emptied) from its parent, upwards while parents empty.
void UnlinkPage(IndexBlock& B, IndexTag& T, size_t L) {
  for (;;) {
    PathLevel& level = T.Path[L];
    if (L == 0) {
      // The root stays as the tag's empty root leaf.
      std::memset(level.Page.data(), 0, mdx::kPageSize);
      WritePage(B, T, level.Block, level.Page.data());
      if (T.HasFor() && T.ForSeen) {
        T.ForSeen = false;
        T.AnchorChanged = true;
      }
      return;
    }
    std::memset(level.Page.data(), 0, mdx::kPageSize);
    WritePage(B, T, level.Block, level.Page.data());
    PathLevel& parentLevel = T.Path[L - 1];
    Items parent = Decode(parentLevel.Page.data(), T.ItemLength);
    const size_t q = static_cast<size_t>(parentLevel.Position);
    if (parent.Count() == 0) {
      // The parent's only child went: the parent is empty too.
      --L;
      continue;
    }
    Key greatest{};
    bool greatestChanged = false;
    if (q < parent.Count()) {
      parent.Erase(q);
    } else {
      // The rightmost child went: the last item's child takes its place; the greatest key under
      // the parent becomes that item's key.
      std::memcpy(greatest.data(), parent.KeyAt(parent.Count() - 1), T.KeyLength);
      parent.Trailing = mdx::Get32(parent.Item(parent.Count() - 1));
      parent.Erase(parent.Count() - 1);
      greatestChanged = true;
    }
    if (L - 1 == 0 && parent.Count() == 0) {
      // A branch root with one child left: the child becomes the root (repeatedly while the new
      // root is such a branch).
      uint32_t root = parent.Trailing;
      std::array<uint8_t, mdx::kPageSize> page{};
      for (int depth = 0; depth < kMaxDepth; ++depth) {
        ReadPage(B, T, root, page.data());
        const mdx::PageView view{page.data(), T.ItemLength};
        if (view.IsLeaf() || view.Count() != 0) break;
        root = view.Trailing();
      }
      std::memset(parentLevel.Page.data(), 0, mdx::kPageSize);
      WritePage(B, T, parentLevel.Block, parentLevel.Page.data());
      mdx::Put32(T.Anchor.data() + mdx::kAncRoot, root);
      T.AnchorChanged = true;
      return;
    }
    Encode(parent, parentLevel.Page.data());
    WritePage(B, T, parentLevel.Block, parentLevel.Page.data());
    if (greatestChanged) PropagateGreatest(B, T, L - 1, greatest.data());
    return;
  }
}

// Removes the item of Record with key K from tag T. False (after reporting 254) when a tag
// that must hold it does not; true also when nothing was to be removed (a FOR tag without the
// key, a unique tag whose item belongs to another record). The tag's path is cleared.
bool RemoveKey(IndexBlock& B, IndexTag& T, const uint8_t* K, int32_t Record) {
  const SeekResult found = Seek(B, T, K);
  bool ours = found.Found && OnItem(T);
  while (ours && CurrentRecordOf(T) != Record) {
    ours = StepNext(B, T) && OnItem(T) && KeysEqual(T, CurrentItemKey(T), K);
  }
  if (!ours) {
    // A FOR tag need not hold the key; a unique tag holds a key for one record only, and for
    // none once that record's key changed while other records still have it.
    if (T.Unique || (T.HasFor() && !found.Found)) return true;
    ReportError(254, "Record number " + std::to_string(Record) + " not found in index. " + TagLabel(B, T) +
                         " [CompareKeys]");
    return false;
  }
  PathLevel& leaf = T.Path.back();
  Items items = Decode(leaf.Page.data(), T.ItemLength);
  const size_t at = static_cast<size_t>(leaf.Position);
  items.Erase(at);
  if (items.Count() == 0) {
    UnlinkPage(B, T, T.Path.size() - 1);
    return true;
  }
  Encode(items, leaf.Page.data());
  WritePage(B, T, leaf.Block, leaf.Page.data());
  if (at == items.Count()) PropagateGreatest(B, T, T.Path.size() - 1, items.KeyAt(at - 1));
  return true;
}

void WriteHeader(IndexBlock& B) {
  if (!B.HeaderModified) return;
  if (os::FileWriteAt(B.File, 0, B.Header.data(), mdx::kHeaderSize) != static_cast<int64_t>(mdx::kHeaderSize)) {
    const uint32_t code = os::LastError();
    ReportAlways(static_cast<uint16_t>(code != 0 ? code : 101), "Error writing index file: " + B.FileName +
                                                                    " [WriteHeader]");
  }
  B.HeaderModified = false;
}

// Under the write hold: when another process changed the index since this one last looked,
// the header and every anchor are read again and every position is dropped, so that the
// change starts from the file as it is.
void RefreshForChange(IndexBlock& B) {
  if (!B.Shared || !SemaphoreLoggedIn()) return;
  SemaphoreRecord record;
  if (!ReadSemaphoreRecord(record) || record.UpdateCounter == LastSeenUpdate()) return;
  std::array<uint8_t, mdx::kHeaderSize> header{};
  if (os::FileReadAt(B.File, 0, header.data(), header.size()) != static_cast<int64_t>(header.size())) {
    const uint32_t code = os::LastError();
    ReportAlways(static_cast<uint16_t>(code != 0 ? code : 100), "Error reading index file: " + B.FileName +
                                                                    " [ReadHeader]");
  }
  B.Header = header;
  B.HeaderModified = false;
  for (auto& t : B.Slots) {
    if (!t) continue;
    ReadAnchor(B, *t);
    t->Path.clear();
  }
  B.FileSize = os::FileSize(B.File);
}

// Ends a change of tag T: the anchor when it changed; the tag's position is dropped (the next
// move or SyncIndex finds the record again).
void FinishTag(IndexBlock& B, IndexTag& T) {
  T.Path.clear();
  if (T.AnchorChanged) WriteAnchor(B, T);
}

int32_t CurrentRecordNumber() { return CurrentWorkArea()->Table.CurrentRecord; }

}  // namespace

int AppendIndex(const uint8_t* K, IndexTag& T) {
  IndexBlock* b = CurrentBlock();
  if (b == nullptr) return -1;
  try {
    if (!SatisfiesFor(T)) return 0;
    if (T.HasFor() && !T.ForSeen) {
      T.ForSeen = true;
      T.AnchorChanged = true;
    }
    InsertKey(*b, T, K, CurrentRecordNumber());
    FinishTag(*b, T);
  } catch (const std::bad_alloc&) {
    T.Path.clear();
    ReportError(217, " [AppendIndex]");
    return -1;
  } catch (const EMorvaneError&) {
    T.Path.clear();
    throw;
  }
  return 0;
}

int DeleteKey(const uint8_t* K, int32_t Record, IndexTag& T) {
  IndexBlock* b = CurrentBlock();
  if (b == nullptr) return -1;
  bool ok = false;
  try {
    ok = RemoveKey(*b, T, K, Record);
    FinishTag(*b, T);
  } catch (const std::bad_alloc&) {
    T.Path.clear();
    ReportError(217, " [DeleteKey]");
    return -1;
  } catch (const EMorvaneError&) {
    T.Path.clear();
    throw;
  }
  return ok ? 0 : -1;
}

void HookIndexSaveOldKeys() {
  IndexBlock* b = CurrentBlock();
  if (b == nullptr) return;
  RefreshForChange(*b);
  // The controlling tag finds the record again on its next move (a seek here would report a
  // record that a unique tag rightly does not hold).
  if (b->Controlling() != nullptr) b->Controlling()->Path.clear();
  WorkArea& a = *CurrentWorkArea();
  for (auto& t : b->Slots) {
    if (!t) continue;
    BuildKey(a, *t, t->CurrentKey.data());
    t->OldRecord = a.Table.CurrentRecord;
    t->OldInFor = SatisfiesFor(*t);
    std::memcpy(t->OldKey.data(), t->CurrentKey.data(), t->KeyLength);
  }
}

void HookIndexReplaceKeys() {
  IndexBlock* b = CurrentBlock();
  if (b == nullptr) return;
  WorkArea& a = *CurrentWorkArea();
  const int32_t rec = a.Table.CurrentRecord;
  const bool natural = b->NaturalOrder;
  b->NaturalOrder = false;
  struct Restore {
    IndexBlock* B;
    bool Natural;
    ~Restore() { B->NaturalOrder = Natural; }
  } restore{b, natural};
  Key key{};
  for (auto& t : b->Slots) {
    if (!t) continue;
    BuildKey(a, *t, key.data());
    if (!t->Unique && t->OldRecord != rec) {
      ReportError(254, "Record number " + std::to_string(rec) + " not found in index. " + TagLabel(*b, *t) +
                           " [CompareKeys]");
      return;
    }
    // A record that stays out of a FOR condition has no item, one that enters it gets one, one
    // that leaves it loses its item; otherwise only a changed key moves the item.
    const bool nowInFor = SatisfiesFor(*t);
    const bool changed = std::memcmp(key.data(), t->OldKey.data(), t->KeyLength) != 0;
    if (changed || nowInFor != t->OldInFor) {
      if (t->OldInFor && DeleteKey(t->OldKey.data(), t->OldRecord, *t) != 0) return;
      if (nowInFor && AppendIndex(key.data(), *t) != 0) return;
    }
    std::memcpy(t->OldKey.data(), key.data(), t->KeyLength);
    std::memcpy(t->CurrentKey.data(), key.data(), t->KeyLength);
    t->OldInFor = nowInFor;
  }
  WriteHeader(*b);
}

void HookAppendNewKey() {
  IndexBlock* b = CurrentBlock();
  if (b == nullptr) return;
  RefreshForChange(*b);
  WorkArea& a = *CurrentWorkArea();
  const bool natural = b->NaturalOrder;
  b->NaturalOrder = false;
  struct Restore {
    IndexBlock* B;
    bool Natural;
    ~Restore() { B->NaturalOrder = Natural; }
  } restore{b, natural};
  // Tags in tag order 1..47, whichever slot holds them.
  std::vector<IndexTag*> tags;
  for (int k = 1; k <= mdx::kMaxTags; ++k)
    for (auto& t : b->Slots)
      if (t && t->TagNumber == k) tags.push_back(t.get());
  Key key{};
  size_t done = 0;
  bool failed = false;
  std::exception_ptr raised;
  try {
    for (; done < tags.size(); ++done) {
      BuildKey(a, *tags[done], key.data());
      if (AppendIndex(key.data(), *tags[done]) != 0) {
        failed = true;
        break;
      }
    }
  } catch (const EMorvaneError&) {
    failed = true;
    raised = std::current_exception();
  }
  if (failed) {
    // Take the new record's keys out of the tags that received them; the failure that stopped
    // the insertion is what the caller learns (unless the removal fails too).
    for (size_t i = 0; i < done; ++i) {
      IndexTag& t = *tags[i];
      bool removed = false;
      try {
        BuildKey(a, t, key.data());
        removed = !SatisfiesFor(t) || DeleteKey(key.data(), a.Table.CurrentRecord, t) == 0;
      } catch (const EMorvaneError&) {
      }
      if (!removed) {
        try {
          WriteHeader(*b);
        } catch (const EMorvaneError&) {
        }
        ReportAlways(254, "Index file corrupted. " + TagLabel(*b, t) + " [AppendNewKey]");
      }
    }
    WriteHeader(*b);
    if (raised) std::rethrow_exception(raised);
    return;
  }
  WriteHeader(*b);
  SyncIndex();
  for (auto& t : b->Slots)
    if (t) RememberRecordKey(*t);
}

}  // namespace morvane::ndx
