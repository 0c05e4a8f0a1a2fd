// Building index files: MakeIndex (a new file with one or more tags), AddIndexTag (one tag: read
// the table straight from its file in chunks, compute the keys, sort them in runs, write full
// pages bottom-up, then the tag header page and the tag table entry), IndexOn, MakeIndexAndSet,
// Reindex and the progress procedure.
#include <algorithm>
#include <cstring>
#include <new>

#include "engine/index/build_runs.h"
#include "engine/index/index_errors.h"
#include "engine/index/index_internal.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/texts.h"

namespace morvane {

namespace os = platform::os;

namespace {

constexpr size_t kChunkBytes = 32756;        // table bytes read at a time (whole records)
constexpr size_t kWritePages = 63;           // pages collected before one write

// The file MakeIndex has open for AddIndexTag.
struct BuildFile {
  bool Active = false;
  os::Handle File = os::kInvalidHandle;
  std::string FileName;
  std::array<uint8_t, mdx::kHeaderSize> Header{};
  bool HeaderChanged = false;
};
BuildFile Build;

// A failure of the tag being built: its code and message, reported once with " [AddIndexTag()]".
struct TagError {
  uint16_t Code;
  std::string Message;
};

// Collects pages and appends them at the end of the index file in writes of 63 pages; the
// block of each page is its place in the file. Keeps one page under construction per level.
class TreeWriter {
 public:
  TreeWriter(os::Handle File, int64_t FileSize, const IndexTag& Tag)
      : file_(File), tag_(Tag), firstBlock_(static_cast<uint32_t>(FileSize / mdx::kBlockSize)),
        nextBlock_(firstBlock_) {
    buffer_.reserve(kWritePages * mdx::kPageSize);
    levels_.emplace_back();
  }

  // Appends an entry in ascending order. False after a failed write (reported).
  bool Add(const uint8_t* Key, uint32_t Record) {
    if (tag_.Unique && havePrevious_ && tag_.Compare(Key, previous_.data(), tag_.KeyLength) == 0)
      return true;
    std::memcpy(previous_.data(), Key, tag_.KeyLength);
    havePrevious_ = true;
    Page& leaf = levels_[0];
    if (leaf.Count == tag_.MaxKeys) {
      uint32_t block;
      if (!WriteLevel(0, 0, block)) return false;
      if (!PushUp(1, block, lastKeyOfLeaf_.data())) return false;
    }
    Append(levels_[0], Record, Key);
    std::memcpy(lastKeyOfLeaf_.data(), Key, tag_.KeyLength);
    return true;
  }

  // Writes the open pages from the leaf upwards; Root receives the block of the last one.
  bool Finish(uint32_t& Root) {
    uint32_t last;
    if (!WriteLevel(0, 0, last)) return false;
    for (size_t level = 1; level < levels_.size(); ++level) {
      if (levels_[level].Count == 0) continue;
      if (!WriteLevel(level, last, last)) return false;
    }
    if (!Flush()) return false;
    Root = last;
    return true;
  }

 private:
  struct Page {
    std::array<uint8_t, mdx::kPageSize> Bytes{};
    size_t Count = 0;
  };

  void Append(Page& P, uint32_t Pointer, const uint8_t* Key) {
    uint8_t* item = P.Bytes.data() + mdx::kPageItemsOffset + P.Count * tag_.ItemLength;
    mdx::Put32(item, Pointer);
    std::memcpy(item + 4, Key, tag_.KeyLength);
    ++P.Count;
  }

  // A full branch takes the child as its trailing pointer, is written, and its item goes up.
  bool PushUp(size_t Level, uint32_t Child, const uint8_t* Key) {
    if (levels_.size() <= Level) levels_.emplace_back();
    if (levels_[Level].Count == tag_.MaxKeys) {
      uint32_t block;
      if (!WriteLevel(Level, Child, block)) return false;
      return PushUp(Level + 1, block, Key);
    }
    Append(levels_[Level], Child, Key);
    return true;
  }

  // Writes level L's page with Trailing after its last item and clears it.
  bool WriteLevel(size_t L, uint32_t Trailing, uint32_t& Block) {
    Page& p = levels_[L];
    mdx::Put16(p.Bytes.data(), static_cast<uint32_t>(p.Count));
    mdx::Put32(p.Bytes.data() + mdx::kPageItemsOffset + p.Count * tag_.ItemLength, Trailing);
    Block = nextBlock_;
    nextBlock_ += 2;
    buffer_.insert(buffer_.end(), p.Bytes.begin(), p.Bytes.end());
    p = Page{};
    return buffer_.size() < kWritePages * mdx::kPageSize || Flush();
  }

  bool Flush() {
    if (buffer_.empty()) return true;
    const uint64_t offset = uint64_t{writtenBlock()} * mdx::kBlockSize;
    const int64_t put = os::FileWriteAt(file_, offset, buffer_.data(), buffer_.size());
    if (put != static_cast<int64_t>(buffer_.size())) {
      const uint32_t code = os::LastError();
      ReportError(static_cast<uint16_t>(code != 0 ? code : 101), "Error writing index file [MakeIndex]");
      return false;
    }
    flushedPages_ += buffer_.size() / mdx::kPageSize;
    buffer_.clear();
    return true;
  }

  uint32_t writtenBlock() const { return firstBlock_ + static_cast<uint32_t>(flushedPages_ * 2); }

  os::Handle file_;
  const IndexTag& tag_;
  uint32_t firstBlock_;
  uint32_t nextBlock_;
  size_t flushedPages_ = 0;
  std::vector<uint8_t> buffer_;
  std::vector<Page> levels_;  // [0] is the leaf
  std::array<uint8_t, mdx::kMaxKeyLength + 1> previous_{};
  std::array<uint8_t, mdx::kMaxKeyLength + 1> lastKeyOfLeaf_{};
  bool havePrevious_ = false;
};

// Calls the progress procedure at most ProgressSteps times per tag.
class Progress {
 public:
  explicit Progress(int64_t Records)
      : steps_(IndexBuildSettings.ProgressProc != nullptr ? IndexBuildSettings.ProgressSteps : 0),
        interval_(steps_ > 0 ? std::max<int64_t>(2 * (Records / steps_), 2) : 0) {}
  void Tick(int64_t Count) {
    if (interval_ > 0 && Count % interval_ == 0 && made_ < steps_) Call();
  }
  void Rest() {
    while (made_ < steps_) Call();
  }

 private:
  void Call() {
    ++made_;
    IndexBuildSettings.ProgressProc();
  }
  int steps_;
  int64_t interval_;
  int made_ = 0;
};

// Builds the tree of tag T over the current area's table; the root's block, or throws TagError
// (the failure already reported when Code is 0).
uint32_t BuildTree(WorkArea& A, IndexTag& T) {
  DbfControlBlock& table = A.Table;
  RefreshRecCount();
  const int64_t records = std::max<int32_t>(table.RecordCount, 0);
  const size_t entry = T.KeyLength + 4u;

  // Disk space: the run file plus every level's pages plus the tag header page.
  int64_t levels = 2;
  for (int64_t n = records; n > 0; n /= T.MaxKeys) ++levels;
  int64_t needed = static_cast<int64_t>(entry) * records + 1024;
  {
    int64_t n = records;
    for (int64_t i = 1; i <= levels; ++i) {
      n /= T.MaxKeys;
      needed += 1024 * n;
    }
  }
  const std::string folder = SplitPath(Build.FileName).Dir;
  const int64_t freeKb = DiskFreeKB(folder);
  if (freeKb < needed / 1024)
    throw TagError{227, "Available disk space: " + std::to_string(freeKb) + " KBytes;" + "needed: " +
                            std::to_string(needed / 1024) + " KBytes [MakeIndex]"};

  Progress progress(records);
  ndx::RunSorter sorter(T.KeyLength, T.Compare, IndexBuildSettings.RunEntries);
  std::array<uint8_t, mdx::kMaxKeyLength + 1> key{};
  {
    // The record buffer and number follow the record being read, and are restored afterwards.
    const std::vector<char> savedRecord = table.RecordBuffer;
    const int32_t savedNumber = table.CurrentRecord;
    struct Restore {
      DbfControlBlock& t;
      const std::vector<char>& record;
      int32_t number;
      ~Restore() {
        t.RecordBuffer = record;
        t.CurrentRecord = number;
      }
    } restore{table, savedRecord, savedNumber};

    const size_t length = table.RecordLength;
    const size_t perChunk = std::max<size_t>(kChunkBytes / std::max<size_t>(length, 1), 1);
    std::vector<char> chunk(perChunk * length);
    for (int64_t first = 1; first <= records; first += static_cast<int64_t>(perChunk)) {
      const size_t count = static_cast<size_t>(std::min<int64_t>(perChunk, records - first + 1));
      const uint64_t offset = table.HeaderLength + static_cast<uint64_t>(first - 1) * length;
      const int64_t got = os::FileReadAt(table.File, offset, chunk.data(), count * length);
      if (got != static_cast<int64_t>(count * length)) {
        const uint32_t code = got < 0 ? os::LastError() : 213;
        throw TagError{static_cast<uint16_t>(code != 0 ? code : 213),
                       "Error reading " + table.FileName + " [MakeIndex]"};
      }
      TranslateRecord(TranslateDirection::FromDisk, table.OemTranslation, table.ReadHook,
                      count * length, length, chunk.data());
      for (size_t i = 0; i < count; ++i) {
        const int64_t r = first + static_cast<int64_t>(i);
        progress.Tick(r);
        std::memcpy(table.RecordBuffer.data(), chunk.data() + i * length, length);
        table.CurrentRecord = static_cast<int32_t>(r);
        if (T.HasFor()) {
          if (!ndx::SatisfiesFor(T)) continue;
          T.ForSeen = true;
        }
        ndx::BuildKey(A, T, key.data());
        if (!sorter.Add(key.data(), static_cast<uint32_t>(r))) throw TagError{0, ""};
      }
    }
  }
  if (!sorter.Finish()) throw TagError{0, ""};

  TreeWriter writer(Build.File, os::FileSize(Build.File), T);
  const uint8_t* k;
  uint32_t r;
  int64_t taken = 0;
  while (sorter.Next(k, r)) {
    progress.Tick(++taken);
    if (!writer.Add(k, r)) throw TagError{0, ""};
  }
  if (sorter.Failed()) throw TagError{0, ""};
  progress.Rest();
  uint32_t root = 0;
  if (!writer.Finish(root)) throw TagError{0, ""};
  return root;
}

// The tag header page of a built tag.
void MakeTagHeader(const IndexTag& T, const IndexTagDef& Def, char Type, uint32_t Root,
                   const std::string& KeyText, const std::string& ForText, uint8_t* Page) {
  std::memset(Page, 0, mdx::kPageSize);
  mdx::Put32(Page + mdx::kAncRoot, Root);
  Page[mdx::kAncFormat] = static_cast<uint8_t>(mdx::kFormatBase | (Def.Descending ? mdx::kFormatDescending : 0) |
                                               (Def.Unique ? mdx::kFormatUnique : 0));
  Page[mdx::kAncKeyType] = static_cast<uint8_t>(Type);
  mdx::Put16(Page + mdx::kAncKeyLength, T.KeyLength);
  mdx::Put16(Page + mdx::kAncMaxKeys, T.MaxKeys);
  mdx::Put16(Page + mdx::kAncDateFlag, Type == 'D' ? 1 : 0);
  mdx::Put16(Page + mdx::kAncItemLength, T.ItemLength);
  Page[mdx::kAncUnique] = Def.Unique ? 1 : 0;
  mdx::PutFieldText(Page + mdx::kAncKeyExpr, mdx::kMaxExprText + 1, KeyText);
  Page[mdx::kAncHasFor] = ForText.empty() ? 0 : 1;
  Page[mdx::kAncForSeen] = T.ForSeen ? 1 : 0;
  mdx::PutFieldText(Page + mdx::kAncForExpr, mdx::kMaxExprText + 1, ForText);
}

// Enters the tag in the tag table (replacing a tag of the same name) and rebuilds the name tree.
void EnterTag(const std::string& Name, uint32_t HeaderBlock, char Type, uint32_t Root) {
  uint8_t* h = Build.Header.data();
  std::array<uint8_t, mdx::kTagNameLength> name{};
  std::memcpy(name.data(), Name.data(), std::min(Name.size(), name.size() - 1));
  int count = h[mdx::kHdrTagCount];
  for (int k = 1; k <= count; ++k) {
    if (std::memcmp(mdx::TagEntry(h, k) + mdx::kTagName, name.data(), name.size()) != 0) continue;
    if (k != count) std::memcpy(mdx::TagEntry(h, k), mdx::TagEntry(h, count), mdx::kTagEntrySize);
    std::memset(mdx::TagEntry(h, count), 0, mdx::kTagEntrySize);
    --count;
    break;
  }
  ++count;
  uint8_t* e = mdx::TagEntry(h, count);
  std::memset(e, 0, mdx::kTagEntrySize);
  mdx::Put32(e + mdx::kTagHeaderBlock, HeaderBlock);
  std::memcpy(e + mdx::kTagName, name.data(), name.size());
  e[mdx::kTagTwo] = 2;
  e[mdx::kTagKeyType] = static_cast<uint8_t>(Type);
  h[mdx::kHdrTagCount] = static_cast<uint8_t>(count);
  mdx::RebuildNameTree(h);
  mdx::Put32(h + mdx::kHdrBlockCounter, Root + 2);
  Build.HeaderChanged = true;
}

bool TagAlreadyListed(const std::string& Name) {
  const uint8_t* h = Build.Header.data();
  for (int k = 1; k <= h[mdx::kHdrTagCount]; ++k)
    if (mdx::TagNameOf(h, k) == Name) return true;
  return false;
}

}  // namespace

void SetIndexProgressProc(void (*Proc)(), int Steps) {
  IndexBuildSettings.ProgressProc = Steps > 0 ? Proc : nullptr;
  IndexBuildSettings.ProgressSteps = Proc != nullptr ? std::max(Steps, 0) : 0;
}

bool AddIndexTag(const IndexTagDef& Def) {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("AddIndexTag");
  if (a == nullptr) return false;
  if (!Build.Active) {
    ReportError(254, "No index file is being built [AddIndexTag()]");
    return false;
  }
  const std::string name = UpperText(Def.TagName.substr(0, std::min<size_t>(Def.TagName.size(), 10)));
  const std::string keyText = Def.KeyExpr.substr(0, std::min<size_t>(Def.KeyExpr.size(), mdx::kMaxExprText));
  const std::string forText =
      TrimRight(Def.ForCond.substr(0, std::min<size_t>(Def.ForCond.size(), mdx::kMaxExprText)));
  // The tag table holds 47 tags: a 48th would be written past its end.
  if (Build.Header[mdx::kHdrTagCount] >= mdx::kMaxTags && !TagAlreadyListed(name)) {
    ReportError(220, "Too many tags in " + Build.FileName + ": at most 47 [AddIndexTag()]");
    return false;
  }
  if (!forText.empty()) {
    const int code = CheckCondition(forText);
    if (code != 0) {
      ReportError(static_cast<uint16_t>(code), "Invalid FOR expression for " + name + " [AddIndexTag()]");
      return false;
    }
  }
  IndexTag tag;
  tag.Name = name;
  struct Cleanup {
    IndexTag& t;
    ~Cleanup() {
      if (CurrentKeyExpr == t.KeyExpr) CurrentKeyExpr = nullptr;
      ndx::FreeTag(t);
    }
  } cleanup{tag};
  CurrentKeyExpr = AssignExpr(keyText);
  if (CurrentKeyExpr == nullptr) return false;  // reported by the compiler
  tag.KeyExpr = CurrentKeyExpr;
  try {
    char type;
    switch (tag.KeyExpr->ResultType) {
      case 'C': type = 'C'; tag.Compare.Kind = mdx::KeyKind::Text; tag.CKey = true; break;
      case 'N': type = 'N'; tag.Compare.Kind = mdx::KeyKind::Decimal; break;
      case 'D': type = 'D'; tag.Compare.Kind = mdx::KeyKind::Double; break;
      default: throw TagError{254, "Wrong parser return type"};
    }
    tag.Compare.Descending = Def.Descending;
    tag.Unique = Def.Unique;
    tag.Decimals = tag.KeyExpr->ResultDecimals;
    size_t length = type == 'N' ? 12 : 8;
    if (tag.CKey) {
      if (EvaluateExpr(tag.KeyExpr) == nullptr) throw TagError{0, ""};
      length = ResultText(tag.KeyExpr).size();
    }
    if (length < 1 || length > mdx::kMaxKeyLength)
      throw TagError{266, "Incorrect key length: Must be 1 to 100."};
    tag.KeyLength = static_cast<uint16_t>(length);
    tag.ItemLength = static_cast<uint16_t>(mdx::ItemLength(length));
    tag.MaxKeys = static_cast<uint16_t>(mdx::MaxKeysPerPage(tag.ItemLength));
    if (!forText.empty()) {
      tag.ForExpr = AssignExpr(forText);
      if (tag.ForExpr == nullptr) throw TagError{0, ""};
    }

    const uint32_t root = BuildTree(*a, tag);

    std::array<uint8_t, mdx::kPageSize> page{};
    MakeTagHeader(tag, Def, type, root, keyText, forText, page.data());
    const int64_t size = os::FileSize(Build.File);
    if (size < 0 || os::FileWriteAt(Build.File, static_cast<uint64_t>(size), page.data(), page.size()) !=
                        static_cast<int64_t>(page.size())) {
      const uint32_t code = os::LastError();
      throw TagError{static_cast<uint16_t>(code != 0 ? code : 101), "Error writing index file [MakeIndex]"};
    }
    EnterTag(name, static_cast<uint32_t>(size / mdx::kBlockSize), type, root);
  } catch (const TagError& e) {
    if (e.Code != 0) ReportError(e.Code, e.Message + " [AddIndexTag()]");
    return false;
  } catch (const std::bad_alloc&) {
    ReportError(217, " to allocate RW buffer [MakeIndex] [AddIndexTag()]");
    return false;
  }
  return true;
}

bool MakeIndex(const std::vector<IndexTagDef>& Defs, const std::string& FileName) {
  WorkArea* a = CheckInUse("MakeIndex");
  if (a == nullptr) return false;
  const std::string name = ndx::ResolveIndexName(a, FileName);
  IndexClose();
  Errors.DbfError = 0;
  bool reopened = false;
  if (!a->Exclusive) {
    const bool check = SetErrorCheck(false);
    const uint32_t code = EraseFile(name);
    SetErrorCheck(check);
    Errors.DbfError = 0;
    if (code == 5 || code == 32) {
      if (ReopenExclusive(true) != 0) {
        ReportError(225, a->Table.FileName + " MakeIndex(" + FileName + ")");
        return false;
      }
      reopened = true;
    }
  }
  const auto reopenShared = [&] {
    if (!reopened) return;
    const uint32_t code = ReopenExclusive(false);
    if (code != 0 && Errors.DbfError == 0)
      ReportError(static_cast<uint16_t>(code), "Cannot_Reopen_Database_Sharable MakeIndex(" + FileName + ")");
  };
  if (FileExists(name)) EraseFile(name);
  os::SetLastError(0);
  const os::Handle h = os::FileCreate(name, os::fmOpenReadWrite | os::fmShareExclusive);
  if (h == os::kInvalidHandle) {
    const uint32_t code = os::LastError();
    ReportError(static_cast<uint16_t>(code != 0 ? code : 5), "Unable to create index: " + name + " [MakeIndex]");
    reopenShared();
    return false;
  }
  Build = BuildFile{};
  Build.Active = true;
  Build.File = h;
  Build.FileName = name;
  const TodayDate today = Today();
  mdx::CreateMdxHeader(Build.Header.data(), SplitPath(a->Table.FileName).Name, today.Year, today.Month,
                       today.Day);
  bool ok = true;
  struct {
    uint16_t Code = 0;
    std::string Detail;
  } firstFailure;
  try {
    if (os::FileWriteAt(h, 0, Build.Header.data(), mdx::kHeaderSize) != static_cast<int64_t>(mdx::kHeaderSize)) {
      const uint32_t code = os::LastError();
      ReportError(static_cast<uint16_t>(code != 0 ? code : 101), "Error writing index file " + name + " [MakeIndex]");
      ok = false;
    }
    // A failed tag leaves no entry; the next definition is built all the same. Each tag starts
    // by clearing the error code, so the first failure is kept to be the build's own: callers
    // that only see the code (Reindex, Zap) must never take a lost tag for success.
    const bool headerWritten = ok;
    for (const IndexTagDef& def : Defs) {
      if (!headerWritten || def.TagName.empty()) break;
      if (!AddIndexTag(def)) {
        ok = false;
        if (firstFailure.Code == 0) firstFailure = {Errors.DbfError, Errors.ErrorDetail};
      }
    }
  } catch (...) {
    if (Build.HeaderChanged) os::FileWriteAt(h, 0, Build.Header.data(), mdx::kHeaderSize);
    os::FileClose(h);
    Build = BuildFile{};
    // A table made exclusive for the build goes back to shared use also after a raised error;
    // the build's own error is the one passed on.
    try {
      reopenShared();
    } catch (const EMorvaneError&) {
    }
    throw;
  }
  // The file is closed and the table shared again before the header's failure is reported: the
  // report may raise, and must not leave the new file open (nobody could build it again).
  uint32_t headerCode = 0;
  if (Build.HeaderChanged &&
      os::FileWriteAt(h, 0, Build.Header.data(), mdx::kHeaderSize) != static_cast<int64_t>(mdx::kHeaderSize)) {
    headerCode = os::LastError() != 0 ? os::LastError() : 101;
    ok = false;
  }
  os::FileClose(h);
  Build = BuildFile{};
  reopenShared();
  if (headerCode != 0)
    ReportError(static_cast<uint16_t>(headerCode), "Error writing index file " + name + " [MakeIndex]");
  if (!ok && Errors.DbfError == 0 && firstFailure.Code != 0) {
    // Recorded again, not handled again: it was handled when the tag failed.
    const bool check = SetErrorCheck(false);
    ReportError(firstFailure.Code, firstFailure.Detail);
    SetErrorCheck(check);
  }
  return ok;
}

int IndexOn(const std::string& KeyExpr, const std::string& FileName) {
  IndexTagDef def;
  def.TagName = "dummy_tag";
  def.KeyExpr = KeyExpr.substr(0, std::min<size_t>(KeyExpr.size(), mdx::kMaxExprText));
  return MakeIndexAndSet({def}, FileName);
}

int MakeIndexAndSet(const std::vector<IndexTagDef>& Defs, const std::string& FileName) {
  if (!MakeIndex(Defs, FileName)) return 0;
  return SetIndexTo(FileName) ? 1 : 0;
}

void Reindex() {
  WorkArea* a = CheckInUse("Reindex");
  if (a == nullptr) return;
  IndexBlock* b = a->Index;
  if (b == nullptr) ndx::ReportAlways(221, "Index not open. (DBF=" + a->Table.FileName + ") [Reindex]");
  std::vector<IndexTagDef> defs;
  for (int k = 1; k <= b->TagCount; ++k) {
    const IndexTag* t = nullptr;
    for (const auto& slot : b->Slots)
      if (slot && slot->TagNumber == k) t = slot.get();
    if (t == nullptr) continue;
    IndexTagDef def;
    def.TagName = mdx::TagNameOf(b->Header.data(), k);
    def.KeyExpr = mdx::FieldText(t->Anchor.data() + mdx::kAncKeyExpr, mdx::kMaxExprText + 1);
    def.ForCond = mdx::FieldText(t->Anchor.data() + mdx::kAncForExpr, mdx::kMaxExprText + 1);
    def.Descending = (t->Anchor[mdx::kAncFormat] & mdx::kFormatDescending) != 0;
    def.Unique = (t->Anchor[mdx::kAncFormat] & mdx::kFormatUnique) != 0;
    defs.push_back(def);
  }
  const std::string controlling = b->Controlling() != nullptr ? b->Controlling()->Name : "";
  const bool natural = b->NaturalOrder;
  const std::string file = b->FileName;
  if (MakeIndexAndSet(defs, file) == 0) return;
  if (!controlling.empty()) SetOrderToTag(controlling);
  if (natural) Set_Order_To(0);
}

}  // namespace morvane
