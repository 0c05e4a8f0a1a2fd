// The lowest layer of the engine's table support: one open dBASE table (DBF file) in a
// DbfControlBlock, with open-and-validate, whole-record reads and writes, the deletion byte, the
// header's record count and date, table creation from a field list, and the conversion between
// the raw fixed-width record and the packed typed record the layers above work with. It knows
// nothing of work areas, indexes or locks (engine/dbf/workarea.h builds on it). The file layouts
// are described at the top of dbf_file.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/os/files.h"

namespace morvane {

// A procedure that transforms Count bytes at Buffer in place (encryption, custom code pages).
using RecordHook = void (*)(char* Buffer, size_t Count);

// Process-wide settings of the table layer, with their initial values (EngineStartup restores
// them). Read and written directly: morvane::DbfSettings.DefaultVersion = 0x03.
struct DbfSettingsState {
  bool FlushAfterWrite = false;       // flush to disk after every record write
  bool RecountOnOpen = false;         // OpenDbf takes the record count from the file size
  uint8_t ExtraVersionPlain = 0;      // an extra accepted version byte (no memo); 0 = none
  uint8_t ExtraVersionMemo = 0;       // an extra accepted version byte (with memo); 0 = none
  uint8_t DefaultVersion = 0x8B;      // version byte of new tables and type of new memo files
  uint16_t DefaultMemoBlockSize = 512;
  std::string ValidTypes = "CDFLMN";  // field types OpenDbf and CreateDbf accept
};
inline DbfSettingsState DbfSettings;

// One field of a table, built from its descriptor on open (or given to CreateDbf, which ignores
// Offset and TypedOffset).
struct FieldDescriptor {
  std::string Name;          // at most 10 characters, upper case
  char Type = 'C';           // C, D, F, L, M or N ("B", "G", "P" are read as "M")
  uint8_t Width = 0;         // bytes in the record
  uint8_t Decimals = 0;
  uint16_t Offset = 0;       // of the field inside the record; the first field is at 1
  uint32_t TypedOffset = 0;  // of the field's slot inside the typed record; the first is at 1
};

// The write state of an open table.
enum DbfState : uint8_t {
  dsClosed = 0,    // no file
  dsClean = 1,     // the header on disk matches the block
  dsModified = 2,  // records were rewritten; the header's date is stale
  dsAppended = 3,  // records were added; the header's count is stale, the 0x1A byte missing
};

// One open table. The work area (engine/dbf/workarea.h) owns one; CreateDbf uses one as scratch.
struct DbfControlBlock {
  std::string FileName;            // full path with extension, as opened
  std::string ShortName;           // file name without folder, at most 12 characters (OEM when
                                   // the table is OEM-translated)
  uint8_t Header[32] = {};         // copy of the prolog (dBASE II: its first 8 bytes are live)
  bool HasMemo = false;
  bool IgnoreDeleted = false;      // owned by the work-area layer (SetIgnoreDel)
  uint16_t HeaderLength = 0;
  uint16_t RecordLength = 0;
  uint8_t FieldCount = 0;
  std::vector<FieldDescriptor> Fields;   // FieldCount entries
  uint8_t State = dsClosed;
  std::string LastUpdate;          // YYYYMMDD
  std::vector<char> RecordBuffer;  // RecordLength bytes: the raw image of the current record
  int32_t RecordCount = 0;
  int32_t CurrentRecord = 0;       // 0 when empty; RecordCount + 1 at the phantom end position
  bool AtEof = false;              // positioning flags, owned by the work-area layer
  bool AtBof = false;
  uint8_t OpenMode = 0;            // the file-open mode in force when the file was opened
  bool OemTranslation = false;     // records are stored in the OEM code page
  RecordHook WriteHook = nullptr;
  RecordHook ReadHook = nullptr;
  platform::os::Handle File = platform::os::kInvalidHandle;

  uint8_t Version() const { return Header[0]; }
  bool IsDbase2() const { return Header[0] == 0x02; }
  bool IsLevel7() const { return Header[0] == 0x04 || Header[0] == 0x8C; }
  // The raw record image; valid while the table is open.
  char* Record() { return RecordBuffer.data(); }
  const char* Record() const { return RecordBuffer.data(); }
};

// Every operation below reports failure through ReportError (engine/util/errors.h) and returns
// normally (unless the error switches make the report raise or halt); callers test
// Errors.DbfError afterwards. Record numbers are 1-based.

// Opens Block.FileName (default extension "DBF") in Settings.FileMode with the block's
// OemTranslation, validates the header and descriptors, fills the block (state 1) and stands on
// record 1, or the empty position, without reading it. Any failure (codes 2..32 from the open,
// 210 not a dBASE file, 211 field type, 100/222 unreadable descriptors) closes the file and leaves
// the block closed, with nothing allocated and nothing written.
void OpenDbf(DbfControlBlock& Block);

// Writes a pending header and 0x1A byte, closes the file, frees the buffers; state 0. Releases
// everything even when a write fails (then reported after the release).
void CloseDbf(DbfControlBlock& Block);

// Reads record N into the record buffer (OEM to ANSI, read hook) and makes it current. 212 for
// N outside 1..RecordCount (nothing changes), 213 for a short read, else the I/O code; after a
// failure the current record is unchanged and the buffer's contents undefined.
void GetDbfRecord(DbfControlBlock& Block, int32_t N);

// Writes the record buffer as record N; N > RecordCount appends one record at RecordCount + 1
// (which becomes current). The buffer is unchanged afterwards. A failed append leaves the
// record count, the header and the file's length as they were, and is reported. An append to a
// file that ends before the records its record count covers is refused with 213.
void PutDbfRecord(DbfControlBlock& Block, int32_t N);

// Appends Count records (Count x RecordLength bytes at Records, each as the record buffer holds
// it) after the last record in one write; the last becomes current. The bytes at Records and the
// record buffer are unchanged. Returns false, with nothing reported and the record count, the
// header and the file's length as they were, when the write fails or the file ends before the
// records its count covers: the caller then appends the records one by one with PutDbfRecord,
// which reports the failure. For bulk appends; every other append goes through PutDbfRecord.
bool AppendDbfRecords(DbfControlBlock& Block, const char* Records, int32_t Count);

// The record count the file's size gives: (size - header length) div record length, never
// negative; -1 when the size cannot be taken. Shared tables count this way (other processes may
// have appended).
int32_t RecordCountFromFileSize(const DbfControlBlock& Block);

// Writes byte 0 of the record buffer (the deletion flag) to record N.
void WriteDeleteFlag(DbfControlBlock& Block, int32_t N);

// Rewrites the prolog with today's date and the record count, keeping the multi-user bytes 16..27
// another process may have written.
void UpdateHeader(DbfControlBlock& Block);

// In state 2 or 3: UpdateHeader, the 0x1A byte after the last record when appended; state 1;
// then FlushFile.
void FlushDbf(DbfControlBlock& Block);

// Forces the file's buffers to disk; a failure reports "Unable to flush file [FlushFile]".
void FlushFile(platform::os::Handle File);

// Creates the table Name (default extension "DBF", replacing an existing file) with the given
// fields and no records, closes it, and has the memo layer create its memo file when a field is
// a memo. Version: DbfSettings.DefaultVersion, or the extra version bytes when declared. Block is
// scratch (closed afterwards). An invalid field definition reports 211 and creates nothing.
void CreateDbf(DbfControlBlock& Block, const std::string& Name,
               std::span<const FieldDescriptor> Fields);

// 0x02, 0x03, 0x83, 0x8B, 0xF5, 0x04, 0x8C and the declared extra version bytes.
bool IsValidVersion(uint8_t Version);

// "FPT" for 0xF5 and 0x30, otherwise "DBT"; an invalid byte counts as DbfSettings.DefaultVersion.
std::string MemoExtension(uint8_t Version);

// Whether Version has memo fields, given the header's flag byte 28 (used for version 0x30).
bool VersionHasMemo(uint8_t Version, uint8_t Flags);

enum class TranslateDirection { ToDisk, FromDisk };

// Converts ByteCount div RecordLength whole records in place, leaving each deletion byte alone:
// to disk ANSI to OEM (when Oem) then Hook; from disk Hook then OEM to ANSI.
void TranslateRecord(TranslateDirection Direction, bool Oem, RecordHook Hook, size_t ByteCount,
                     size_t RecordLength, char* Buffer);

// The size of one field's slot in the typed record: C width + 1, D width + 3, N/F 8 with
// decimals else 4, L 1, M (and any other type) 4.
size_t TypedSlotSize(const FieldDescriptor& Field);
// The size of the typed record of the table: 1 + the sum of the field slots.
size_t TypedRecordSize(const DbfControlBlock& Block);

// Decodes the record buffer into Typed (TypedRecordSize bytes). Numbers and booleans are stored
// in native byte order, unaligned; texts as a length byte followed by the characters.
void RecordToTyped(const DbfControlBlock& Block, uint8_t* Typed);

// Encodes Typed into the record buffer (numbers that do not fit become "*" fill; a memo field
// without memo, block 0, becomes blanks).
void TypedToRecord(DbfControlBlock& Block, const uint8_t* Typed);
// Encodes one field's slot of Typed into its bytes of the raw record Record (RecordLength
// bytes), exactly as TypedToRecord does for that field.
void TypedFieldToRecord(const FieldDescriptor& Field, const uint8_t* Typed, char* Record);

}  // namespace morvane
