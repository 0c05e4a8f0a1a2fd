// Memo files: creation, open and close with the table, the memo lock, the end-of-file position of
// a new memo, the header's next free block and the dBASE IV free-block chain, and the unit's part
// in the engine's start-up (it fills MemoHooks).
//
// Block numbers count blocks of the block size from the start of the file; block 0 is the header.
//
// dBASE III memo file (type 0x83, ".DBT"); block size always 512.
//   offset size
//   0      4     next free block (little-endian)
//   4..511       zero
//   blocks       a memo starts at a block boundary: its text, ended by 0x1A 0x1A (readers stop
//                at the first 0x1A). A block that starts FF FF 08 00 was written with a dBASE IV
//                block header (older versions of this engine did so) and is read by its length.
//   A new file is 513 bytes: next free block 1, zeros, one 0x1A at offset 512.
//
// dBASE IV memo file (types 0x8B and 0x8C, ".DBT"); little-endian numbers.
//   0      4     next free block; also the head of the free-block chain
//   4      4     zero
//   8      8     table file name without folder and extension, first 8 characters, NUL-padded
//   16     2     zero
//   18     2     0x0102
//   20     2     block size (0 is read as the default memo block size)
//   22     2     zero
//   32     4     a counter this engine adds to when it rewrites the header (never read); left
//                alone when the block size puts the first memo block before byte 36
//   A new file is exactly these 24 bytes; the first memo goes to block 1.
//   A used block group: FF FF 08 00, the memo's length including these 8 bytes (32-bit), then
//   the memo's bytes. A free block group: the number of the next free group (32-bit), the
//   group's length in blocks (32-bit). The chain starts at the header's first word; its last link
//   holds the block number of the end of the file (so an empty chain is the next free block).
//
// FoxPro memo file (type 0xF5, ".FPT"); big-endian numbers.
//   0      4     next free block
//   4      2     zero
//   6      2     block size (0 is read as the default memo block size)
//   8..511       zero
//   blocks       each memo: block type (4 bytes, 1 = text), memo length without this header
//                (4 bytes), the memo's bytes.
//   A new file is 512 bytes with next free block = 511 div block size + 1.
//
// Memos are only ever appended at the end of the file by a writer holding the memo lock (byte 10
// of the memo file); a rewritten memo leaves its old blocks where they are, so a reader in another
// process never sees a block being reused. Only a memo of known size written from a text may take
// a free group of a dBASE IV chain (groups freed by other programs).
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/dbf/locks.h"
#include "engine/dbf/memo.h"
#include "engine/dbf/memo_internal.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/startup.h"

namespace morvane {

namespace os = platform::os;
using namespace memo;

namespace memo {

MemoControlBlock* CurrentMemo(const char* op) {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr) {
    ReportError(215, std::string("No database in use [") + op + "]  WorkArea = " +
                         std::to_string(WorkAreas.Current));
    return nullptr;
  }
  if (a->Memo == nullptr) {
    ReportError(1019, ForceExtension(a->Table.FileName, "DBT") + " No Memo Field [" + op + "]");
    return nullptr;
  }
  return a->Memo;
}

void ReportMemoError(uint16_t code, const std::string& detail) {
  UnlockMemo();
  ReportError(code, detail);
}

std::string StreamDetail(const MemoControlBlock& m, int32_t block, const char* op) {
  const WorkArea* a = CurrentWorkArea();
  const int32_t recno = a ? a->Table.CurrentRecord : 0;
  return std::to_string(block) + " " + m.ShownName + " Record # " + std::to_string(recno) + " [" +
         op + "]";
}

uint16_t IoCode(uint16_t fallback) {
  const uint32_t code = os::LastError();
  return static_cast<uint16_t>(code != 0 ? code : fallback);
}

uint64_t FirstDataPosition(const MemoControlBlock& m) {
  const uint64_t header = IsDbase4(m) ? kDbase4HeaderSize : 512;
  const uint64_t bs = m.BlockSize;
  return (header + bs - 1) / bs * bs;
}

int64_t MemoFileSize(const MemoControlBlock& m) { return os::FileSize(m.File); }

namespace {

// The link a chain walk ends on: where it is stored (file offset) and its value.
struct ChainEnd {
  uint64_t LinkOffset = 0;
  uint32_t Value = 0;
  bool Sound = false;  // the chain is what it claims to be (see WalkChain)
};

// Walks the dBASE IV free chain from the header's first word, at most kChainLinkLimit links.
// EndBlock: the block number of the end of the file. The chain is sound when every group lies
// inside the file after the header, none starts like a used block, and its last link holds
// exactly EndBlock (the header's own word may hold any value at or beyond it: no chain). A
// chain that is not sound is never followed into the file: a stale or damaged header word could
// otherwise point into a memo's bytes. When Wanted > 0, Group receives the first group of at
// least Wanted blocks.
struct FreeGroup {
  bool Found = false;
  uint64_t LinkOffset = 0;  // where the link to it is stored
  uint32_t Block = 0;
  uint32_t Next = 0;
  uint32_t Length = 0;      // in blocks
};
ChainEnd WalkChain(const MemoControlBlock& m, uint32_t endBlock, uint32_t wanted,
                   FreeGroup* group) {
  ChainEnd end;
  uint8_t word[8];
  if (os::FileReadAt(m.File, 0, word, 4) != 4) return end;
  uint64_t linkOffset = 0;
  uint32_t link = Get32LE(word);
  const uint32_t firstBlock = static_cast<uint32_t>(FirstDataPosition(m) / m.BlockSize);
  for (uint32_t step = 0; step <= kChainLinkLimit; ++step) {
    if (link >= endBlock) {
      end = {linkOffset, link, linkOffset == 0 || link == endBlock};
      return end;
    }
    if (link < firstBlock || step == kChainLinkLimit) return end;  // damaged or too long
    const uint64_t at = uint64_t{link} * m.BlockSize;
    if (os::FileReadAt(m.File, at, word, 8) != 8) return end;
    if (std::memcmp(word, kUsedBlockMark, 4) == 0) return end;  // a used block, not a free one
    const uint32_t next = Get32LE(word);
    const uint32_t length = Get32LE(word + 4);
    if (length == 0 || uint64_t{link} + length > endBlock) return end;  // damaged group
    if (wanted > 0 && length >= wanted && !group->Found) *group = {true, linkOffset, link, next, length};
    linkOffset = at;
    link = next;
  }
  return end;
}

uint32_t EndBlockOf(const MemoControlBlock& m, int64_t size) {
  const uint64_t s = static_cast<uint64_t>(std::max<int64_t>(size, 0));
  const uint64_t blocks = (s + m.BlockSize - 1) / m.BlockSize;
  return static_cast<uint32_t>(std::min<uint64_t>(blocks, 0xFFFFFFFFu));
}

bool WriteWord(const MemoControlBlock& m, uint64_t offset, uint32_t value) {
  uint8_t word[4];
  if (IsFoxPro(m)) Put32BE(word, value);
  else Put32LE(word, value);
  return os::FileWriteAt(m.File, offset, word, 4) == 4;
}

}  // namespace

uint32_t TakeFromFreeChain(MemoControlBlock& m, uint32_t blocks) {
  if (!IsDbase4(m) || blocks == 0) return 0;
  const uint32_t endBlock = EndBlockOf(m, MemoFileSize(m));
  FreeGroup taken;
  // The whole chain is checked before a group of it is used.
  const ChainEnd walk = WalkChain(m, endBlock, blocks, &taken);
  m.EndBlockBeforeWrite = endBlock;
  if (!taken.Found || !walk.Sound) return 0;
  const uint64_t linkOffset = taken.LinkOffset;
  const uint32_t group = taken.Block;
  uint32_t next = taken.Next;
  const uint32_t length = taken.Length;
  if (length > blocks) {
    // The rest of the group stays free: a new group header after the blocks taken.
    uint8_t rest[8];
    Put32LE(rest, next);
    Put32LE(rest + 4, length - blocks);
    if (os::FileWriteAt(m.File, uint64_t{group + blocks} * m.BlockSize, rest, 8) != 8) return 0;
    next = group + blocks;
  }
  if (!WriteWord(m, linkOffset, next)) return 0;
  return group;
}

}  // namespace memo

uint8_t GetMemoType() {
  const WorkArea* a = CurrentWorkArea();
  if (a != nullptr) {
    const uint8_t v = a->Table.Header[0];
    if (v == 0x83 || v == 0x8B || v == 0x8C || v == 0xF5) return v;
  }
  return DbfSettings.DefaultVersion;
}

void CreateMemofile(const std::string& name, uint8_t type, uint16_t blockSize,
                    const std::string& tag) {
  const std::string fileName = ForceExtension(name, MemoExtension(type));
  const std::string shown = ForceExtension(name, "DBT");
  if (blockSize == 0) blockSize = DbfSettings.DefaultMemoBlockSize;
  if (blockSize == 0) blockSize = 512;
  std::vector<uint8_t> bytes;
  if (type == kMemoDbase3) {
    bytes.assign(513, 0);
    Put32LE(bytes.data(), 1);
    bytes[512] = kEndOfText;
  } else if (type == kMemoFoxPro) {
    bytes.assign(512, 0);
    Put32BE(bytes.data(), 511u / blockSize + 1);
    Put16BE(bytes.data() + 6, blockSize);
  } else {
    bytes.assign(kDbase4HeaderSize, 0);
    // The first memo goes to the first block after the header (block 1 for any usual size).
    Put32LE(bytes.data(), (kDbase4HeaderSize + blockSize - 1) / blockSize);
    const std::string base = SplitPath(fileName).Name.substr(0, 8);
    std::memcpy(bytes.data() + 8, base.data(), base.size());
    Put16LE(bytes.data() + 18, 0x0102);
    Put16LE(bytes.data() + 20, blockSize);
  }
  os::SetLastError(0);
  const os::Handle h = os::FileCreate(fileName, os::fmOpenReadWrite | os::fmShareExclusive);
  if (h == os::kInvalidHandle) {
    ReportError(IoCode(os::kErrAccessDenied), "Cannot create memo file " + shown + " [" + tag + "]");
    return;
  }
  const bool written =
      os::FileWriteAt(h, 0, bytes.data(), bytes.size()) == static_cast<int64_t>(bytes.size());
  const uint16_t writeCode = written ? 0 : IoCode(os::kErrWriteFault);
  const bool closed = os::FileClose(h);
  if (!written || !closed) {
    ReportError(written ? IoCode(os::kErrWriteFault) : writeCode, shown + " [" + tag + "]");
  }
}

void OpenMemofile(const std::string& tableName) {
  WorkArea* a = CheckInUse("USE");
  if (a == nullptr) return;
  const uint8_t type = GetMemoType();
  const std::string fileName = ForceExtension(tableName, MemoExtension(type));
  const std::string shown = ForceExtension(tableName, "DBT");
  if (a->Memo != nullptr) {
    ReportError(1007, shown + " [USE]");
    return;
  }
  const bool shared = WorkAreas.Sharing && !a->Exclusive;
  unsigned mode = shared ? WorkAreas.SharedOpenMode : WorkAreas.ExclusiveOpenMode;
  if (WorkAreas.FileModeOverride >= 0) mode = static_cast<unsigned>(WorkAreas.FileModeOverride);
  os::SetLastError(0);
  const os::Handle h = os::FileOpen(fileName, mode);
  if (h == os::kInvalidHandle) {
    ReportError(IoCode(os::kErrFileNotFound), "Memo file not found: " + shown + " [USE]");
    return;
  }
  auto* m = new MemoControlBlock;
  m->File = h;
  m->FileName = fileName;
  m->ShownName = shown;
  m->MemoType = type;
  uint16_t blockSize = 512;
  if (type != kMemoDbase3) {
    uint8_t header[kDbase4HeaderSize] = {};
    const int64_t got = os::FileReadAt(h, 0, header, sizeof header);
    // A header cut short reads as zeros: the block size is then the default.
    if (got < static_cast<int64_t>(sizeof header) && got >= 0)
      std::memset(header + got, 0, sizeof header - static_cast<size_t>(got));
    if (got < 0) std::memset(header, 0, sizeof header);
    blockSize = type == kMemoFoxPro ? Get16BE(header + 6) : Get16LE(header + 20);
    if (blockSize == 0) blockSize = DbfSettings.DefaultMemoBlockSize;
    if (blockSize == 0) blockSize = 512;
  }
  m->BlockSize = blockSize;
  a->Memo = m;
}

void CloseMemofile() {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Memo == nullptr) return;
  MemoControlBlock* m = a->Memo;
  // A memo still being written is finished, so that its block holds what the field points to.
  if (m->Blob.Open && m->Blob.Mode == 2) FinishStream(*a, *m, m->Blob);
  a->Memo = nullptr;
  const std::string shown = m->ShownName;
  os::SetLastError(0);
  const bool closed = os::FileClose(m->File);  // also drops the memo lock
  const uint16_t code = closed ? 0 : IoCode(os::kErrInvalidHandle);
  delete m;
  if (!closed) ReportError(code, shown + " [CloseMemofile]");
}

bool LockMemo() {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Memo == nullptr) return false;
  MemoControlBlock& m = *a->Memo;
  if (m.HoldsLock) return true;
  if (!WorkAreas.Sharing || a->Exclusive) return true;
  for (int attempt = 0; attempt < 11; ++attempt) {
    if (LockRange(m.File, 10, 1) == 0) {
      m.HoldsLock = true;
      return true;
    }
  }
  return false;
}

bool UnlockMemo() {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Memo == nullptr || !a->Memo->HoldsLock) return true;
  a->Memo->HoldsLock = false;
  return UnlockRange(a->Memo->File, 10, 1) == 0;
}

uint64_t LockMemoPadAndSeekEOF(const std::string& tag) {
  MemoControlBlock* m = CurrentMemo(tag.c_str());
  if (m == nullptr) return 0;
  if (!LockMemo()) {
    ReportError(1017, m->ShownName + " [" + tag + "]");
    return 0;
  }
  os::SetLastError(0);
  const int64_t size = MemoFileSize(*m);
  if (size < 0) {
    ReportMemoError(IoCode(os::kErrReadFault), m->ShownName + " [LockMemoPadAndSeekEOF]");
    return 0;
  }
  m->EndBlockBeforeWrite = EndBlockOf(*m, size);
  if (IsDbase3(*m) && size == 513) {
    // A new file: the first memo overwrites the lone end mark at 512.
    uint8_t last = 0;
    if (os::FileReadAt(m->File, 512, &last, 1) == 1 && last == kEndOfText) return 512;
  }
  // The new memo starts at a block boundary, never inside the header.
  const uint64_t bs = m->BlockSize;
  uint64_t position = (static_cast<uint64_t>(size) + bs - 1) / bs * bs;
  position = std::max(position, FirstDataPosition(*m));
  if (position > static_cast<uint64_t>(size)) {
    const std::vector<uint8_t> zeros(static_cast<size_t>(position - static_cast<uint64_t>(size)), 0);
    if (os::FileWriteAt(m->File, static_cast<uint64_t>(size), zeros.data(), zeros.size()) !=
        static_cast<int64_t>(zeros.size())) {
      ReportMemoError(IoCode(os::kErrWriteFault), m->ShownName + " [LockMemoPadAndSeekEOF]");
      return 0;
    }
  }
  return position;
}

void UpdateMemoHeader() {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Memo == nullptr) return;
  MemoControlBlock& m = *a->Memo;
  os::SetLastError(0);
  const int64_t size = MemoFileSize(m);
  bool ok = size >= 0;
  if (ok) {
    const uint32_t endBlock = EndBlockOf(m, size);
    uint64_t linkOffset = 0;
    if (IsDbase4(m)) {
      // Keep a free-block chain (made by other programs) linked to the new end of the file: its
      // last link holds the end the file had before this write. A damaged or overlong chain is
      // dropped: the header then names the end of the file.
      const uint32_t before = m.EndBlockBeforeWrite != 0 ? m.EndBlockBeforeWrite : endBlock;
      FreeGroup unused;
      const ChainEnd end = WalkChain(m, before, 0, &unused);
      if (end.Sound) linkOffset = end.LinkOffset;
    }
    m.EndBlockBeforeWrite = 0;
    ok = WriteWord(m, linkOffset, endBlock);
    // The counter lies in the header only when the first memo starts after it; with a block
    // size that puts the first block before byte 36 its bytes are memo bytes, never written here.
    if (ok && IsDbase4(m) && m.BlocksLastTextRead != 0 && FirstDataPosition(m) >= 36) {
      uint8_t counter[4] = {};
      if (os::FileReadAt(m.File, 32, counter, 4) == 4) {
        Put32LE(counter, Get32LE(counter) + m.BlocksLastTextRead);
        ok = os::FileWriteAt(m.File, 32, counter, 4) == 4;
      }
    }
    m.BlocksLastTextRead = 0;
  }
  if (!ok) {
    ReportMemoError(29, m.ShownName + " [UpdateMemoHeader()]");
    return;
  }
  if (!UnlockMemo()) ReportError(1018, m.ShownName + " [UpdateMemoHeader()]");
}

namespace {

void MemoFileInfoHook(std::string& name, uint8_t& type, uint16_t& blockSize) {
  const WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Memo == nullptr) return;
  name = a->Memo->FileName;
  type = a->Memo->MemoType;
  blockSize = a->Memo->BlockSize;
}

void InstallLayer() { InstallMemoHooks(); }

EngineLayerRegistrar registrar({"memo", kLayerOrderMemo, nullptr, &InstallLayer, nullptr});

}  // namespace

// Referenced by the link options of engine_dbf (engine/dbf/CMakeLists.txt), so that this file and
// its registration are part of every program that uses tables.
extern "C" {
extern const int morvane_memo_layer_linked;
const int morvane_memo_layer_linked = 1;
}

void InstallMemoHooks() {
  MemoHooks.CreateMemofile = &CreateMemofile;
  MemoHooks.OpenMemofile = &OpenMemofile;
  MemoHooks.CloseMemofile = &CloseMemofile;
  MemoHooks.MemoFileInfo = &MemoFileInfoHook;
  MemoHooks.CopyMemo = &CopyMemo;
  MemoHooks.ReadMemoText = &ReadMemoText;
}

}  // namespace morvane
