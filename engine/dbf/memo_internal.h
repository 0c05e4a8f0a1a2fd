// What the memo unit's files share (not for other layers): byte-order helpers, the current area's
// memo control block, error reporting that releases the memo lock first, the layout constants,
// and the stream operations on an explicit descriptor, so that internal readers (copying, the
// text reader) never disturb the stream a caller holds open in the area.
#pragma once

#include <cstdint>
#include <string>

#include "engine/dbf/memo.h"
#include "engine/dbf/workarea.h"

namespace morvane::memo {

inline uint32_t Get32LE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t Get32BE(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint16_t Get16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint16_t Get16BE(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline void Put32LE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put32BE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}
inline void Put16LE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put16BE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

inline constexpr uint8_t kEndOfText = 0x1A;
inline constexpr uint8_t kUsedBlockMark[4] = {0xFF, 0xFF, 0x08, 0x00};
inline constexpr uint32_t kDbase4HeaderSize = 24;
inline constexpr int32_t kPieceSize = 32767;      // largest single read or write of a stream
inline constexpr size_t kTransferUnit = 512;      // the record hooks' unit of memo bytes
inline constexpr uint32_t kChainLinkLimit = 100;  // free-chain links examined at most

inline bool IsFoxPro(const MemoControlBlock& m) { return m.MemoType == kMemoFoxPro; }
inline bool IsDbase3(const MemoControlBlock& m) { return m.MemoType == kMemoDbase3; }
inline bool IsDbase4(const MemoControlBlock& m) { return !IsFoxPro(m) && !IsDbase3(m); }

// The current area's memo control block. Null after reporting 215 (empty area) or 1019 (no memo
// file: "<name> No Memo Field [<Op>]").
MemoControlBlock* CurrentMemo(const char* Op);

// Releases the current area's memo lock (when held: the writer is always current), then reports
// Code with Detail.
void ReportMemoError(uint16_t Code, const std::string& Detail);

// The message of errors raised while a stream is open: "<block> <name> Record # <n> [<Op>]".
std::string StreamDetail(const MemoControlBlock& Memo, int32_t Block, const char* Op);

// The platform's last error, or Fallback when it has none.
uint16_t IoCode(uint16_t Fallback);

// The file position where the first memo may start: the header rounded up to a block.
uint64_t FirstDataPosition(const MemoControlBlock& Memo);

// The file size, -1 when it cannot be taken.
int64_t MemoFileSize(const MemoControlBlock& Memo);

// Text: every byte is at least 32 or one of 9, 10, 13, 15, 20, 21 (the test of the first piece a
// converting stream moves).
bool LooksLikeText(const char* P, size_t N);

// Stream operations on Blob of Memo (the table of Area gives the record hooks and the record
// number for messages). Contracts as the public functions of the same name.
bool OpenRead(WorkArea& Area, MemoControlBlock& Memo, BlobDescriptor& Blob, int32_t Block,
              bool Convert);
// KnownSize > 0: the memo's size in bytes, so that a dBASE IV free group may take it.
bool OpenWrite(WorkArea& Area, MemoControlBlock& Memo, BlobDescriptor& Blob, bool Convert,
               const char* Tag, int64_t KnownSize);
int32_t ReadStream(WorkArea& Area, MemoControlBlock& Memo, BlobDescriptor& Blob, void* Buffer,
                   int32_t Count);
int32_t WriteStream(WorkArea& Area, MemoControlBlock& Memo, BlobDescriptor& Blob,
                    const void* Buffer, int32_t Count);
int64_t SeekStream(WorkArea& Area, MemoControlBlock& Memo, BlobDescriptor& Blob, int64_t Offset,
                   int Origin);
// Finishes a written memo (block header or end marks, file header, lock) and closes the stream.
void FinishStream(WorkArea& Area, MemoControlBlock& Memo, BlobDescriptor& Blob);

// Reads the whole memo open in Blob (read mode) into Text, converted as the stream decides.
bool ReadAll(WorkArea& Area, MemoControlBlock& Memo, BlobDescriptor& Blob, std::string& Text);

// dBASE IV files: takes Blocks contiguous blocks from the free-block chain (first group large
// enough among at most 100 links; its rest stays in the chain). The first block, or 0 when no
// group fits or the chain is damaged (the memo then goes to the end of the file).
uint32_t TakeFromFreeChain(MemoControlBlock& Memo, uint32_t Blocks);

}  // namespace morvane::memo
