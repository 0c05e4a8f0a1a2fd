// Memo files: the second file beside a table with memo fields (DBT in the dBASE III and dBASE IV
// layouts, FPT in the FoxPro layout) that holds the memo texts; the table's M field holds the
// number of the memo's first block. This unit creates, opens and closes memo files with their
// table, reads and writes one memo at a time as a byte stream (the blob descriptor, used by the
// dataset's blob fields), copies memos between tables (CopyTo) and reads a memo as text lines.
// The work-area layer reaches it only through MemoHooks (engine/dbf/engine_hooks.h), which the
// layer fills at engine start-up. File layouts: the top of engine/dbf/memo_file.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/files.h"

namespace morvane {

// Memo types: the table's version byte.
inline constexpr uint8_t kMemoDbase3 = 0x83;
inline constexpr uint8_t kMemoFoxPro = 0xF5;

// Whether a stream's bytes are text (converted between OEM and ANSI when conversion is asked).
enum class MemoTextKind : uint8_t { Undecided, Text, Binary };

// The one memo of a work area currently open as a stream.
struct BlobDescriptor {
  bool Open = false;
  uint8_t Mode = 0;             // 1 read, 2 write
  int64_t Length = -1;          // bytes of the memo; -1 while unknown (plain dBASE III text)
  uint64_t DataStart = 0;       // file position of the memo's first data byte
  uint8_t HeaderSize = 0;       // 0 or 8: the block header in front of the data
  int64_t Position = 0;         // stream position, bytes from the first data byte
  int32_t Block = 0;            // the memo's first block
  bool Convert = false;         // OEM <-> ANSI conversion requested for text
  MemoTextKind Kind = MemoTextKind::Undecided;
  bool ZeroEndsText = false;    // a 0 byte ends a plain dBASE III memo like 0x1A (copying)
  bool Copying = false;         // failures report 30 (read) / 1005 (write) "[AppendFrom/CopyTo]"
  int64_t HighWater = 0;        // write mode: the furthest byte written
  // With record hooks: one 512-byte unit of the memo's data (units count from the first data
  // byte), the data offset of its first byte, and how many of its bytes are valid / pending.
  std::vector<char> Transfer;
  int64_t TransferStart = -1;   // -1: the unit holds nothing
  size_t TransferFill = 0;
  bool TransferDirty = false;   // write mode: the unit holds bytes not yet written
};

// One per work area whose table has memo fields (WorkArea::Memo points to it).
struct MemoControlBlock {
  platform::os::Handle File = platform::os::kInvalidHandle;
  std::string FileName;         // full name of the memo file
  std::string ShownName;        // the table's file name with extension "DBT", for messages
  uint8_t MemoType = 0;         // 0x83, 0x8B, 0x8C or 0xF5
  uint16_t BlockSize = 512;
  bool HoldsLock = false;       // this area holds the memo lock (byte 10)
  uint32_t BlocksLastTextRead = 0;  // blocks the last text read covered (header counter)
  uint32_t EndBlockBeforeWrite = 0;  // the end of the file when the current write began: the
                                     // value of a dBASE IV chain's last link (0: none pending)
  BlobDescriptor Blob;
};

// The current area's memo type: the table's version byte when it is 0x83, 0x8B, 0x8C or 0xF5,
// otherwise DbfSettings.DefaultVersion. DefaultVersion when the area is empty.
uint8_t GetMemoType();

// Creates the empty memo file Name (its extension becomes MemoExtension(Type), replacing an
// existing file) of Type with BlockSize (0 = DefaultMemoBlockSize; always 512 for dBASE III).
// Failures report the platform's code with "Cannot create memo file <name> [<Tag>]" or
// "<name> [<Tag>]" (name: the table's name with extension DBT).
void CreateMemofile(const std::string& Name, uint8_t Type, uint16_t BlockSize,
                    const std::string& Tag);

// Opens the current area's memo file for the table TableName (its name with the memo type's
// extension), shared when the table is shared and sharing is on, else exclusive. 1007 when the
// area already has one open; a failed open reports the platform's code with "Memo file not
// found: <name> [USE]" and leaves the area without memo file. A block size word that is not a
// usable size (0 is read as DefaultMemoBlockSize; below 32 is refused with 1003) never leads to a
// division by zero.
void OpenMemofile(const std::string& TableName);

// Closes the current area's memo file and frees its control block; a memo still open for writing
// is finished first.
void CloseMemofile();

// The current area's memo lock (byte 10 of the memo file): a no-op that succeeds when sharing is
// off or the table is exclusive; else up to 11 attempts. UnlockMemo releases only a lock this area
// holds; false when the release failed.
bool LockMemo();
bool UnlockMemo();

// Takes the memo lock and positions a new memo at the end of the file: the file is padded with
// zeros to a block boundary (a new dBASE III file of 513 bytes is positioned at 512, over its lone
// 0x1A). Returns the file position where the new memo starts (its block is position div block
// size), 0 after a reported failure (1017 lock, or the padding's write code); the lock is not
// held after a failure.
uint64_t LockMemoPadAndSeekEOF(const std::string& Tag);

// Rewrites the next free block (file size div block size, rounded up) at offset 0, keeping a
// dBASE IV free-block chain linked to the new end of the file, and releases the memo lock.
// 29 for a failed write, 1018 for a failed release.
void UpdateMemoHeader();

// Opens the current area's blob descriptor on memo Block (its absolute value) in Mode 1 (read)
// or 2 (write: the new memo goes to the end of the file, the memo lock is held until
// DestroyBlobDescriptor). Convert: OEM <-> ANSI for memos whose bytes turn out to be text.
// Result: the block of the memo now open (positive in every layout, so that it can be stored in
// the M field as it is); 0 on failure (1019 no memo file, 215 empty area, 1003 a block beyond the
// file or inside its header, 1017 no memo lock). Block 0 in read mode opens an empty stream (the
// field has no memo) and gives 0 without error. A stream still open in the area is finished.
int32_t CreateBlobDescriptor(bool Convert, int32_t Block, uint8_t Mode);

// Read / write Count bytes at the stream position of the open descriptor; the bytes moved. A
// read stops at the memo's end (its length, or the first 0x1A of a plain dBASE III memo). A write
// never changes the caller's buffer.
int32_t ReadBlobStream(void* Buffer, int32_t Count);
int32_t WriteBlobStream(const void* Buffer, int32_t Count);
// Origin 0 start, 1 current, 2 end; the new position (never negative), 0 when no memo is open.
int64_t SeekBlobStream(int64_t Offset, int Origin);
// Finishes a written memo (its block header, or for dBASE III its two 0x1A bytes; then the file
// header's next free block) and releases the memo lock; closes the stream in every mode. A
// written memo that received no bytes leaves nothing behind.
void DestroyBlobDescriptor();

// Copies memo Block of SourceArea to the end of the current area's memo file (the copy's area is
// current) and returns the new block; 0 for block 0 and after a failure (1005 write, 30 read).
int32_t CopyMemo(int SourceArea, int32_t Block);

// Writes Text as a new memo of the current area's memo file (ANSI to OEM when Convert and the
// text is text) and returns its block, 0 for an empty text or after a failure. The size being
// known, a dBASE IV file's free-block chain is searched first (at most 100 links; the first group
// large enough is taken and its rest stays free); otherwise the memo goes to the end of the file.
// 1004 when the disk has less free space than the text needs.
int32_t WriteMemoText(std::string_view Text, bool Convert);

// The whole text of memo Block of the current area, converted from OEM when the table is
// OEM-translated and the memo is text. False (Text empty) for block 0 and after a failure.
bool ReadMemoText(int32_t Block, std::string& Text);

// The line view of one memo (the text device of AssignMemo): at most 1024 lines of at most 253
// characters, each ended by a hard return (CR, an LF after it skipped), a soft return (0x8D) or
// the width (broken after the line's last blank when it has one). ReadLn returns paragraphs: the
// stored lines up to and including one ended by a hard return, joined.
class MemoTextFile {
 public:
  enum class LineEnd : uint8_t { Hard, Soft, Width };
  static constexpr size_t kMaxLines = 1024;
  static constexpr size_t kLineWidth = 253;

  // Binds the file to memo Block of the current area (1019 without memo file). Nothing is read.
  void AssignMemo(int32_t Block);
  // Loads the memo into the line view; false after a reported failure (217 for more than 1024
  // lines: "Reading memo field in <name>"; the lines loaded so far stay).
  bool Reset();
  // The next paragraph (without CR LF); false at the end.
  bool ReadLn(std::string& Line);
  bool Eof() const { return next_ >= lines_.size(); }

  struct StoredLine {
    std::string Text;
    LineEnd End = LineEnd::Hard;
  };
  const std::vector<StoredLine>& Lines() const { return lines_; }

 private:
  int32_t block_ = 0;
  bool assigned_ = false;
  std::vector<StoredLine> lines_;
  size_t next_ = 0;
};

// Fills MemoHooks with this unit's entry points (done at engine start-up).
void InstallMemoHooks();

}  // namespace morvane
