// Memo streams: one memo read or written as a byte stream through a blob descriptor, with the
// OEM <-> ANSI conversion of text memos and the record hooks of the table applied to the memo's
// bytes in 512-byte units (counted from the memo's first data byte). A new memo always goes to
// the end of the memo file; its block header (dBASE IV, FoxPro) is written when the stream is
// finished, a dBASE III memo gets its two 0x1A end marks instead. Layouts: memo_file.cpp.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/dbf/dbf_file.h"
#include "engine/dbf/memo.h"
#include "engine/dbf/memo_internal.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "platform/codepage/codepage.h"

namespace morvane {

namespace os = platform::os;
using namespace memo;

namespace {

bool HasHooks(const WorkArea& a) {
  return a.Table.ReadHook != nullptr || a.Table.WriteHook != nullptr;
}

void Decide(BlobDescriptor& b, const char* p, size_t n) {
  if (b.Convert && b.Kind == MemoTextKind::Undecided)
    b.Kind = LooksLikeText(p, n) ? MemoTextKind::Text : MemoTextKind::Binary;
}

// Releases a descriptor after a failure reported while it was open.
void Fail(MemoControlBlock& m, BlobDescriptor& b, uint16_t code, const char* op) {
  const int32_t block = b.Block;
  const bool copying = b.Copying;
  b = BlobDescriptor{};
  if (copying) {
    const bool reading = std::strcmp(op, "WriteBlobStream") != 0;
    ReportMemoError(reading ? 30 : 1005, m.ShownName + " [AppendFrom/CopyTo]");
  } else {
    ReportMemoError(code, StreamDetail(m, block, op));
  }
}

// --- record-hook units -------------------------------------------------------------------------

// Writes the pending unit of a write stream (after the write hook).
bool FlushUnit(WorkArea& a, MemoControlBlock& m, BlobDescriptor& b) {
  if (!b.TransferDirty || b.TransferStart < 0) return true;
  std::vector<char> out(b.Transfer.begin(), b.Transfer.begin() + static_cast<long>(b.TransferFill));
  if (a.Table.WriteHook != nullptr) a.Table.WriteHook(out.data(), out.size());
  const uint64_t at = b.DataStart + static_cast<uint64_t>(b.TransferStart);
  b.TransferDirty = false;
  return os::FileWriteAt(m.File, at, out.data(), out.size()) == static_cast<int64_t>(out.size());
}

// Loads the unit holding data offset Offset (read hook applied). Valid bytes: as far as the file
// and a known length go. False on a read error.
bool LoadUnit(WorkArea& a, MemoControlBlock& m, BlobDescriptor& b, int64_t offset,
              int64_t validLimit) {
  const int64_t start = offset / static_cast<int64_t>(kTransferUnit) * static_cast<int64_t>(kTransferUnit);
  b.Transfer.assign(kTransferUnit, 0);
  int64_t want = static_cast<int64_t>(kTransferUnit);
  if (validLimit >= 0) want = std::min(want, std::max<int64_t>(validLimit - start, 0));
  int64_t got = 0;
  if (want > 0) {
    got = os::FileReadAt(m.File, b.DataStart + static_cast<uint64_t>(start), b.Transfer.data(),
                         static_cast<size_t>(want));
    if (got < 0) return false;
  }
  if (got > 0 && a.Table.ReadHook != nullptr) a.Table.ReadHook(b.Transfer.data(), static_cast<size_t>(got));
  b.TransferStart = start;
  b.TransferFill = static_cast<size_t>(got);
  b.TransferDirty = false;
  return true;
}

// Reads N bytes of data from Offset (N already limited to what the file holds).
bool GetBytes(WorkArea& a, MemoControlBlock& m, BlobDescriptor& b, int64_t offset, char* out,
              size_t n, int64_t fileDataEnd) {
  if (!HasHooks(a)) {
    return os::FileReadAt(m.File, b.DataStart + static_cast<uint64_t>(offset), out, n) ==
           static_cast<int64_t>(n);
  }
  while (n > 0) {
    if (b.TransferStart < 0 || offset < b.TransferStart ||
        offset >= b.TransferStart + static_cast<int64_t>(kTransferUnit)) {
      const int64_t limit = b.Length >= 0 ? std::min(b.Length, fileDataEnd) : fileDataEnd;
      if (!LoadUnit(a, m, b, offset, limit)) return false;
    }
    const size_t in = static_cast<size_t>(offset - b.TransferStart);
    if (in >= b.TransferFill) return false;
    const size_t take = std::min(n, b.TransferFill - in);
    std::memcpy(out, b.Transfer.data() + in, take);
    out += take;
    offset += static_cast<int64_t>(take);
    n -= take;
  }
  return true;
}

// Writes N bytes of data at Offset.
bool PutBytes(WorkArea& a, MemoControlBlock& m, BlobDescriptor& b, int64_t offset, const char* p,
              size_t n) {
  if (!HasHooks(a)) {
    return os::FileWriteAt(m.File, b.DataStart + static_cast<uint64_t>(offset), p, n) ==
           static_cast<int64_t>(n);
  }
  while (n > 0) {
    if (b.TransferStart < 0 || offset < b.TransferStart ||
        offset >= b.TransferStart + static_cast<int64_t>(kTransferUnit)) {
      if (!FlushUnit(a, m, b)) return false;
      // A unit written before (after a seek back) is loaded so that its other bytes stay.
      if (!LoadUnit(a, m, b, offset, b.HighWater)) return false;
    }
    const size_t in = static_cast<size_t>(offset - b.TransferStart);
    const size_t take = std::min(n, kTransferUnit - in);
    std::memcpy(b.Transfer.data() + in, p, take);
    b.TransferFill = std::max(b.TransferFill, in + take);
    b.TransferDirty = true;
    p += take;
    offset += static_cast<int64_t>(take);
    n -= take;
  }
  return true;
}

}  // namespace

namespace memo {

bool LooksLikeText(const char* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    if (c < 32 && c != 9 && c != 10 && c != 13 && c != 15 && c != 20 && c != 21) return false;
  }
  return true;
}

bool OpenRead(WorkArea& /*a*/, MemoControlBlock& m, BlobDescriptor& b, int32_t block, bool convert) {
  b = BlobDescriptor{};
  b.Convert = convert;
  b.Mode = 1;
  const int64_t n = std::llabs(static_cast<int64_t>(block));
  b.Block = static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
  if (n == 0) {
    // No memo: an empty stream (the header is never read as a memo).
    b.Length = 0;
    b.Open = true;
    return true;
  }
  os::SetLastError(0);
  const int64_t size = MemoFileSize(m);
  const uint64_t position = static_cast<uint64_t>(n) * m.BlockSize;
  if (size < 0 || position < FirstDataPosition(m) || position >= static_cast<uint64_t>(std::max<int64_t>(size - 1, 0))) {
    const int32_t shown = b.Block;
    b = BlobDescriptor{};
    b.Block = shown;
    Fail(m, b, 1003, "CreateBlobDescriptor");
    return false;
  }
  uint8_t head[8] = {};
  const int64_t got = os::FileReadAt(m.File, position, head, sizeof head);
  if (got < 0) {
    Fail(m, b, IoCode(30), "CreateBlobDescriptor");
    return false;
  }
  const bool marked = got >= 4 && std::memcmp(head, kUsedBlockMark, 4) == 0;
  if (IsFoxPro(m)) {
    if (got < 8) {
      Fail(m, b, 1003, "CreateBlobDescriptor");
      return false;
    }
    b.Length = Get32BE(head + 4);
    b.HeaderSize = 8;
  } else if (marked) {
    if (got < 8) {
      Fail(m, b, 1003, "CreateBlobDescriptor");
      return false;
    }
    const uint32_t stored = Get32LE(head + 4);
    b.Length = stored >= 8 ? stored - 8 : 0;
    b.HeaderSize = 8;
  } else {
    b.Length = -1;  // plain text up to the first 0x1A
    b.HeaderSize = 0;
  }
  b.DataStart = position + b.HeaderSize;
  b.Open = true;
  return true;
}

bool OpenWrite(WorkArea& a, MemoControlBlock& m, BlobDescriptor& b, bool convert, const char* tag,
               int64_t knownSize) {
  (void)a;
  b = BlobDescriptor{};
  uint64_t position = 0;
  const uint32_t headerSize = IsDbase3(m) ? 0 : 8;
  if (knownSize > 0 && static_cast<uint64_t>(DiskFreeKB(m.FileName)) * 1024 <
                          static_cast<uint64_t>(knownSize)) {
    ReportError(1004, m.ShownName + " [" + tag + "]");
    return false;
  }
  if (knownSize > 0 && IsDbase4(m)) {
    // With its size known a memo may take a free group of the chain.
    if (!LockMemo()) {
      ReportError(1017, m.ShownName + " [" + tag + "]");
      return false;
    }
    const uint64_t bytes = static_cast<uint64_t>(knownSize) + headerSize;
    const uint64_t blocks = (bytes + m.BlockSize - 1) / m.BlockSize;
    if (blocks <= 0xFFFFFFFFu) position = uint64_t{TakeFromFreeChain(m, static_cast<uint32_t>(blocks))} * m.BlockSize;
  }
  if (position == 0) position = LockMemoPadAndSeekEOF(tag);
  if (position == 0) return false;
  b.Mode = 2;
  b.Convert = convert;
  b.Block = static_cast<int32_t>(std::min<uint64_t>(position / m.BlockSize, INT32_MAX));
  b.HeaderSize = static_cast<uint8_t>(headerSize);
  b.DataStart = position + headerSize;
  b.Length = -1;
  b.Open = true;
  return true;
}

int32_t ReadStream(WorkArea& a, MemoControlBlock& m, BlobDescriptor& b, void* buffer,
                   int32_t count) {
  if (!b.Open || b.Mode != 1 || count <= 0 || buffer == nullptr) return 0;
  os::SetLastError(0);
  const int64_t size = MemoFileSize(m);
  if (size < 0) {
    Fail(m, b, IoCode(30), "ReadBlobStream");
    return 0;
  }
  const int64_t fileDataEnd = std::max<int64_t>(size - static_cast<int64_t>(b.DataStart), 0);
  int64_t n = std::min<int64_t>(count, std::max<int64_t>(fileDataEnd - b.Position, 0));
  if (b.Length >= 0) n = std::min(n, std::max<int64_t>(b.Length - b.Position, 0));
  char* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < n) {
    const size_t piece = static_cast<size_t>(std::min<int64_t>(n - done, kPieceSize));
    if (!GetBytes(a, m, b, b.Position + done, out + done, piece, fileDataEnd)) {
      Fail(m, b, IoCode(30), "ReadBlobStream");
      return 0;
    }
    if (b.Length < 0) {
      // A plain memo ends at its first 0x1A (when copying also at a 0 byte).
      const char* from = out + done;
      const char* end = from + piece;
      const char* mark = std::find_if(from, end, [&](char c) {
        return static_cast<uint8_t>(c) == kEndOfText || (b.ZeroEndsText && c == 0);
      });
      if (mark != end) {
        done += mark - from;
        b.Length = b.Position + done;
        break;
      }
    }
    done += static_cast<int64_t>(piece);
  }
  Decide(b, out, static_cast<size_t>(done));
  if (b.Kind == MemoTextKind::Text) platform::codepage::OemToAnsiBuffer(out, static_cast<size_t>(done));
  b.Position += done;
  return static_cast<int32_t>(done);
}

int32_t WriteStream(WorkArea& a, MemoControlBlock& m, BlobDescriptor& b, const void* buffer,
                    int32_t count) {
  if (!b.Open || b.Mode != 2 || count <= 0 || buffer == nullptr) return 0;
  int64_t n = count;
  if (b.Length >= 0) n = std::min(n, std::max<int64_t>(b.Length - b.Position, 0));
  const char* in = static_cast<const char*>(buffer);
  std::vector<char> piece;
  int64_t done = 0;
  os::SetLastError(0);
  while (done < n) {
    const size_t size = static_cast<size_t>(std::min<int64_t>(n - done, kPieceSize));
    Decide(b, in + done, size);
    const char* bytes = in + done;
    if (b.Kind == MemoTextKind::Text) {
      piece.assign(in + done, in + done + size);
      platform::codepage::AnsiToOemBuffer(piece.data(), size);
      bytes = piece.data();
    }
    if (!PutBytes(a, m, b, b.Position, bytes, size)) {
      Fail(m, b, IoCode(29), "WriteBlobStream");
      return 0;
    }
    b.Position += static_cast<int64_t>(size);
    b.HighWater = std::max(b.HighWater, b.Position);
    done += static_cast<int64_t>(size);
  }
  return static_cast<int32_t>(done);
}

int64_t SeekStream(WorkArea& a, MemoControlBlock& m, BlobDescriptor& b, int64_t offset,
                   int origin) {
  if (!b.Open) return 0;
  int64_t target = 0;
  switch (origin) {
    case 0: target = offset; break;
    case 1: target = b.Position + offset; break;
    case 2: {
      int64_t length = b.Length;
      if (length < 0 && b.Mode == 1) {
        // Read through to the end mark, then come back.
        const int64_t saved = b.Position;
        std::vector<char> scratch(static_cast<size_t>(kPieceSize));
        while (b.Open && b.Length < 0 &&
               ReadStream(a, m, b, scratch.data(), kPieceSize) > 0) {
        }
        if (!b.Open) return 0;
        length = b.Length >= 0 ? b.Length : b.Position;
        b.Position = saved;
      }
      if (length < 0) length = b.HighWater;
      target = length + offset;
      break;
    }
    default: target = b.Position; break;
  }
  b.Position = std::max<int64_t>(target, 0);
  return b.Position;
}

void FinishStream(WorkArea& a, MemoControlBlock& m, BlobDescriptor& b) {
  if (b.Open && b.Mode == 2) {
    os::SetLastError(0);
    const int64_t length = b.Position;
    bool ok = true;
    if (length > 0 && IsDbase3(m)) {
      // What every dBASE III reader expects: the text, then two end marks; no block header.
      const char marks[2] = {static_cast<char>(kEndOfText), static_cast<char>(kEndOfText)};
      ok = PutBytes(a, m, b, length, marks, sizeof marks);
    }
    ok = ok && FlushUnit(a, m, b);
    if (ok && length > 0 && !IsDbase3(m)) {
      uint8_t head[8];
      if (IsFoxPro(m)) {
        Put32BE(head, 1);
        Put32BE(head + 4, static_cast<uint32_t>(std::min<int64_t>(length, UINT32_MAX)));
      } else {
        std::memcpy(head, kUsedBlockMark, 4);
        Put32LE(head + 4, static_cast<uint32_t>(std::min<int64_t>(length + 8, UINT32_MAX)));
      }
      ok = os::FileWriteAt(m.File, b.DataStart - 8, head, sizeof head) == 8;
    }
    if (!ok) {
      Fail(m, b, IoCode(29), "WriteBlobStream");
      return;
    }
    b = BlobDescriptor{};
    if (length > 0) {
      // The header's next free block tells other programs where their next memo goes.
      UpdateMemoHeader();
      if (Errors.DbfError == 0) FlushFile(m.File);
    } else if (!UnlockMemo()) {
      ReportError(1018, m.ShownName + " [DestroyBlobDescriptor]");
    }
    return;
  }
  b = BlobDescriptor{};
}

bool ReadAll(WorkArea& a, MemoControlBlock& m, BlobDescriptor& b, std::string& text) {
  text.clear();
  std::vector<char> piece(static_cast<size_t>(kPieceSize));
  for (;;) {
    const uint16_t before = Errors.DbfError;
    Errors.DbfError = 0;
    const int32_t got = ReadStream(a, m, b, piece.data(), kPieceSize);
    if (Errors.DbfError != 0) return false;
    Errors.DbfError = before;
    if (got <= 0) break;
    text.append(piece.data(), static_cast<size_t>(got));
  }
  return true;
}

}  // namespace memo

int32_t CreateBlobDescriptor(bool convert, int32_t block, uint8_t mode) {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("CreateBlobDescriptor");
  if (a == nullptr) return 0;
  MemoControlBlock* m = CurrentMemo("CreateBlobDescriptor");
  if (m == nullptr) return 0;
  // A stream still open is finished first, so that its memo is complete and the lock released.
  if (m->Blob.Open) FinishStream(*a, *m, m->Blob);
  if (mode == 1) {
    if (!OpenRead(*a, *m, m->Blob, block, convert)) return 0;
  } else if (mode == 2) {
    if (!OpenWrite(*a, *m, m->Blob, convert, "CreateBlobDescriptor", -1)) return 0;
  } else {
    ReportError(220, "Invalid mode " + std::to_string(mode) + " [CreateBlobDescriptor]");
    return 0;
  }
  return m->Blob.Block;
}

int32_t ReadBlobStream(void* buffer, int32_t count) {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Memo == nullptr) return 0;
  return ReadStream(*a, *a->Memo, a->Memo->Blob, buffer, count);
}

int32_t WriteBlobStream(const void* buffer, int32_t count) {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Memo == nullptr) return 0;
  return WriteStream(*a, *a->Memo, a->Memo->Blob, buffer, count);
}

int64_t SeekBlobStream(int64_t offset, int origin) {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Memo == nullptr) return 0;
  return SeekStream(*a, *a->Memo, a->Memo->Blob, offset, origin);
}

void DestroyBlobDescriptor() {
  WorkArea* a = CheckInUse("DestroyBlobDescriptor");
  if (a == nullptr) return;
  MemoControlBlock* m = CurrentMemo("DestroyBlobDescriptor");
  if (m == nullptr) return;
  FinishStream(*a, *m, m->Blob);
}

int32_t WriteMemoText(std::string_view text, bool convert) {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("WriteMemoText");
  if (a == nullptr) return 0;
  MemoControlBlock* m = CurrentMemo("WriteMemoText");
  if (m == nullptr || text.empty()) return 0;
  BlobDescriptor b;
  if (!OpenWrite(*a, *m, b, convert, "WriteMemoText", static_cast<int64_t>(text.size())))
    return 0;
  const int32_t block = b.Block;
  size_t done = 0;
  while (done < text.size()) {
    const int32_t piece = static_cast<int32_t>(std::min<size_t>(text.size() - done, kPieceSize));
    if (WriteStream(*a, *m, b, text.data() + done, piece) != piece) return 0;
    done += static_cast<size_t>(piece);
  }
  FinishStream(*a, *m, b);
  return Errors.DbfError == 0 ? block : 0;
}

bool ReadMemoText(int32_t block, std::string& text) {
  text.clear();
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Memo == nullptr || block == 0) return false;
  BlobDescriptor b;
  if (!OpenRead(*a, *a->Memo, b, block, a->Table.OemTranslation)) return false;
  const bool ok = ReadAll(*a, *a->Memo, b, text);
  if (!ok) text.clear();
  return ok;
}

}  // namespace morvane
