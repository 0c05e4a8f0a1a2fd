// Inside the index manager: the per-area index block with its open tags, the tag record with its
// key builder and position (the path from the root to the current leaf), page reading with the
// checks that keep damaged files from being misread, seeking and stepping in key order. Shared by
// the files of engine/index (open, seek, hooks, build, maintenance); not for other layers.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/dbf/workarea.h"
#include "engine/expr/xqparser.h"
#include "engine/index/mdx_format.h"
#include "platform/os/files.h"

namespace morvane {

// One level of a tag's path: a page and the item taken in it (in a branch, Count() means the
// rightmost child; in the leaf, Count() means after the last item).
struct PathLevel {
  uint32_t Block = 0;
  std::array<uint8_t, mdx::kPageSize> Page{};
  int Position = 0;
};

// One open tag.
struct IndexTag {
  int TagNumber = 0;                        // position in the tag table (1..47)
  std::string Name;                         // from the tag table
  uint32_t HeaderBlock = 0;                 // block of the tag header page
  std::array<uint8_t, mdx::kAnchorSize> Anchor{};
  mdx::KeyCompare Compare;
  bool CKey = false;
  bool Unique = false;
  uint16_t KeyLength = 0;
  uint16_t ItemLength = 0;
  uint16_t MaxKeys = 0;
  uint8_t Decimals = 0;                     // of an N key's expression
  bool Bof = false;
  bool Eof = false;
  std::array<uint8_t, mdx::kMaxKeyLength + 1> CurrentKey{};  // the remembered key
  std::vector<PathLevel> Path;              // root first; the leaf last; empty: no position
  CompiledExpr* KeyExpr = nullptr;
  CompiledExpr* ForExpr = nullptr;
  bool AnchorChanged = false;
  bool ForSeen = false;
  // The old key that IndexSaveOldKeys remembered (record number and key) for a rewrite.
  int32_t OldRecord = 0;
  std::array<uint8_t, mdx::kMaxKeyLength + 1> OldKey{};
  bool OldInFor = true;                     // the stored record satisfied the FOR condition

  uint32_t RootBlock() const { return mdx::Get32(Anchor.data() + mdx::kAncRoot); }
  bool HasFor() const { return ForExpr != nullptr; }
  // A tag with a FOR condition that no record has satisfied counts as empty.
  bool CountsAsEmpty() const { return HasFor() && !ForSeen; }
  mdx::PageView Leaf() const { return {Path.back().Page.data(), ItemLength}; }
};

// Branch pages of an index file as last read, so that a seek reads from the file only the leaf
// (and the branches it has not met yet). It holds only pages read since the block last wrote to
// its file or read its anchors again (which it does whenever another process may have changed
// the file), so every page in it is the file's current page. Bounded: forgotten whole when full.
class BranchPageCache {
 public:
  static constexpr size_t kMaxPages = 1024;  // 1 MB: every branch of a tag of millions of keys
  // The cached page Block, or null.
  const std::array<uint8_t, mdx::kPageSize>* Find(uint32_t Block) const {
    const auto hit = pages_.find(Block);
    return hit == pages_.end() ? nullptr : &hit->second;
  }
  void Keep(uint32_t Block, const uint8_t* Page) {
    if (pages_.size() >= kMaxPages) pages_.clear();
    std::memcpy(pages_[Block].data(), Page, mdx::kPageSize);
  }
  void Clear() { pages_.clear(); }

 private:
  std::unordered_map<uint32_t, std::array<uint8_t, mdx::kPageSize>> pages_;
};

// The index state of one work area (its index block).
struct IndexBlock {
  platform::os::Handle File = platform::os::kInvalidHandle;
  std::string FileName;
  std::array<uint8_t, mdx::kHeaderSize> Header{};
  bool HeaderModified = false;
  std::array<std::unique_ptr<IndexTag>, mdx::kMaxTags + 1> Slots;  // [1..47]; slot 1 controls
  int TagCount = 0;
  bool NaturalOrder = false;
  bool Shared = false;                      // opened shared: refresh and anchor locks apply
  int64_t FileSize = 0;                     // as last seen; pages beyond it are refused
  BranchPageCache Branches;                 // see ReadPage

  IndexTag* Controlling() const { return Slots[1].get(); }
};

// Process-wide state of the index manager (EngineStartup restores it).
struct IndexManagerState {
  bool Found = false;        // the result of the last seek
  bool ExactFind = false;    // full-length comparison of text keys in Find
  int MoveSlot = 1;
  int KeySlot = 1;
};
inline IndexManagerState IndexState;

namespace ndx {

inline constexpr int kMaxDepth = 32;   // deeper paths mean a cycle or a damaged file

// The current area's index block (null when none is open) and its area.
IndexBlock* CurrentBlock();
// " [tag: NAME]" label used in messages: the file name followed by the tag.
std::string TagLabel(const IndexBlock& B, const IndexTag& T);

// Reads page Block of the tag into Out, checking the block number against the file and the
// page's item count against the tag's capacity; a branch page comes from the block's cache when
// it is there, and is kept there when it is read from the file. Failures are raised (254 for a page number 0,
// out of range or a damaged page; the I/O code for a failed read).
void ReadPage(IndexBlock& B, IndexTag& T, uint32_t Block, uint8_t* Out);
// Writes a page (the I/O code on failure, raised).
void WritePage(IndexBlock& B, IndexTag& T, uint32_t Block, const uint8_t* Page);

// The tag's key for the current record of the current area into Out (KeyLength bytes): C texts
// blank-padded or cut to the key length and OEM-converted for an OEM table; numbers in the
// decimal form; dates as doubles.
void BuildKey(const WorkArea& A, IndexTag& T, uint8_t* Out);
// True when the tag has no FOR condition or the current record satisfies it.
bool SatisfiesFor(IndexTag& T);
// The key built from a search text (Find): C texts as given (Length is the text's length),
// numbers in the decimal form (decimals 0), dates from the current date format.
size_t SearchKey(const WorkArea& A, const IndexTag& T, std::string_view Text, uint8_t* Out);

// Results of a seek.
struct SeekResult {
  bool Found = false;     // the position holds a key equal to the search key
  bool AtEnd = false;     // after the last item of the tag
};
// Seeks the first item whose key is not smaller than Key (the tag's comparison over the key
// length) and builds the path. InsertMode leaves the position after a leaf's last item instead
// of moving on to the next leaf.
SeekResult Seek(IndexBlock& B, IndexTag& T, const uint8_t* Key, bool InsertMode = false);
// Positions on the first / last key; false when the tag holds none (the path then describes
// the empty position).
bool GoFirstKey(IndexBlock& B, IndexTag& T);
bool GoLastKey(IndexBlock& B, IndexTag& T);
// Steps to the next / previous key; false at the end (the position stays on the end item).
bool StepNext(IndexBlock& B, IndexTag& T);
bool StepPrev(IndexBlock& B, IndexTag& T);
// Positions after the last key of the tag (end of file in key order).
void GoAfterLast(IndexBlock& B, IndexTag& T);
// True when the position is on an item (not before the first or after the last).
bool OnItem(const IndexTag& T);
// The record number and key of the current item (OnItem must hold).
int32_t CurrentRecordOf(const IndexTag& T);
const uint8_t* CurrentItemKey(const IndexTag& T);
// Copies the current item's key into the tag's remembered key.
void RememberCurrentKey(IndexTag& T);

// Re-reads every anchor when another process changed the index (the semaphore's counter moved)
// and resynchronises the controlling tag; nothing for an unshared index.
void RefreshIfChanged(IndexBlock& B);

// Positions tag T on the current record (see SyncIndex); reports 212 when the record's key is
// missing. Controlling: at the end of file in key order instead of the last key when the record
// is outside the table or fails the FOR condition.
void SyncTag(IndexBlock& B, IndexTag& T, bool Controlling);

// Remembers the current record's key of tag T (blank for an empty table or record 0).
void RememberRecordKey(IndexTag& T);

// Anchor of a tag: read from / written to its header page.
void ReadAnchor(IndexBlock& B, IndexTag& T);
void WriteAnchor(IndexBlock& B, IndexTag& T);

// Key maintenance of one tag (index_maintain.cpp), for the current area's record. AppendIndex
// inserts K for the current record (nothing when the record fails the tag's FOR condition or a
// unique tag holds K already); DeleteKey removes Record's item with key K (nothing for a FOR tag
// without K or a unique tag whose item is another record's). 0, or -1 after a reported error;
// page read and write failures raise.
int AppendIndex(const uint8_t* K, IndexTag& T);
int DeleteKey(const uint8_t* K, int32_t Record, IndexTag& T);

// Opens tag K of the block's file (anchor, expressions, checks) into a new IndexTag; raises
// 217 / 222 / 266 on failure after freeing what it made.
std::unique_ptr<IndexTag> OpenTag(IndexBlock& B, int K);
// The layer's state back to its start values (engine start-up; IndexInit then installs hooks).
void ResetIndexLayer();

// Frees a tag's expressions.
void FreeTag(IndexTag& T);

// An index file name as SetIndexTo, MakeIndex and GetTagList take it: trimmed; empty means the
// table's name with extension MDX; without extension MDX is added; without "/" it is placed in
// the table's folder (A may be null: no default folder then).
std::string ResolveIndexName(const WorkArea* A, const std::string& Name);

// Puts the area's record buffer on the blank record (record count + 1) for its lifetime, for
// evaluations on the blank record; the record and its number are restored afterwards.
class BlankRecordScope {
 public:
  explicit BlankRecordScope(WorkArea& A);
  ~BlankRecordScope();
  BlankRecordScope(const BlankRecordScope&) = delete;
  BlankRecordScope& operator=(const BlankRecordScope&) = delete;

 private:
  WorkArea& a_;
  std::vector<char> saved_;
  int32_t record_;
};

// Holds the current area's index for reading for its lifetime (SetReadSemaphoreProc).
class ReadHoldScope {
 public:
  ReadHoldScope();
  ~ReadHoldScope();
  ReadHoldScope(const ReadHoldScope&) = delete;
  ReadHoldScope& operator=(const ReadHoldScope&) = delete;
};

}  // namespace ndx
}  // namespace morvane
