// DBF table files: open and validate, record I/O, the deletion byte, the header's count and date.
//
// File layout, dBASE III/IV family (version bytes 0x03, 0x83, 0x8B, 0xF5) and level 7 (0x04,
// 0x8C). All integers little-endian.
//
//   offset size  prolog (32 bytes)
//   0      1     version byte
//   1      3     date of last update: year - 1900, month 1..12, day 1..31
//   4      4     number of records (unsigned; this engine refuses counts above 2^31 - 1)
//   8      2     header length: prolog + descriptors + 0x0D (+ the level-7 extension)
//   10     2     record length: deletion byte + all field widths
//   12     4     reserved, kept as read (0 on create)
//   16     12    multi-user area: never interpreted, re-read before every header rewrite
//   28     1     flags: non-zero = production index; version 0x30: bit 1 = memo fields
//   29     3     reserved (language driver ...), kept as read (0 on create)
//   32     36    level 7 only: language driver name (8 bytes, "DBWINWE0" on create) + 28 zeros
//
//   field descriptors follow, then one 0x0D byte; the field count is derived from the header
//   length as (header length - 32) div 32, level 7 (header length - 68) div 48:
//                    dBASE III/IV (32 bytes)   level 7 (48 bytes)
//   name             0..10 NUL-padded          0..31 NUL-padded   (at most 10 characters used)
//   type letter      11                        32
//   width            16                        33
//   decimals         17                        34
//   every other byte 0 on create, ignored on read
//
//   Records start at the header length; record r lies at header length + (r - 1) x record
//   length. Byte 0 is the deletion flag ("*" deleted, " " live), the field values follow as
//   fixed-width text in descriptor order; field offsets are recomputed from the widths (first
//   field at 1). After the last record the engine writes one 0x1A byte whenever it appended.
//
// File layout, dBASE II (version byte 0x02): prolog of 8 bytes: 0 version; 1..2 number of records
// (16-bit); 3 month, 4 day, 5 year - 1900; 6..7 record length. Up to 32 descriptors of 16 bytes
// from offset 8 (name 0..10, type 11, width 12, decimals 15), ended by 0x0D. The header is always
// 521 bytes; only the 8-byte prolog is rewritten.
//
// Validation guarantees: whatever the bytes, a file whose fields do not fit its record length,
// whose descriptors are cut short or malformed, or whose counts are out of range is refused with
// the file closed and nothing written; record positions are computed in 64 bits.
#include "engine/dbf/dbf_file.h"

#include <algorithm>
#include <cstring>

#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/startup.h"
#include "engine/util/texts.h"

namespace morvane {

namespace os = platform::os;

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string TwoDigits(int v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

// YYYYMMDD from the header's year - 1900, month and day bytes.
std::string DateText(int yearByte, int month, int day) {
  std::string year = std::to_string(1900 + yearByte);
  while (year.size() < 4) year.insert(year.begin(), '0');
  return year + TwoDigits(month) + TwoDigits(day);
}

// The platform's last error, or Fallback when the platform reports none (a short transfer).
uint32_t IoCode(uint32_t Fallback) {
  uint32_t code = os::LastError();
  return code != 0 ? code : Fallback;
}

// Reads exactly Count bytes at Offset; false when fewer arrive (Got tells how many).
bool ReadExact(os::Handle h, uint64_t offset, void* buffer, size_t count, int64_t& got) {
  os::SetLastError(0);
  got = os::FileReadAt(h, offset, buffer, count);
  return got == static_cast<int64_t>(count);
}

// Writes exactly Count bytes at Offset; 0 on success, else the error code (101 for a short write).
uint32_t WriteExact(os::Handle h, uint64_t offset, const void* buffer, size_t count) {
  os::SetLastError(0);
  int64_t put = os::FileWriteAt(h, offset, buffer, count);
  if (put == static_cast<int64_t>(count)) return 0;
  return IoCode(os::kErrDiskWrite);
}

uint64_t RecordPosition(const DbfControlBlock& b, int32_t n) {
  return static_cast<uint64_t>(b.HeaderLength) +
         static_cast<uint64_t>(n - 1) * static_cast<uint64_t>(b.RecordLength);
}

uint64_t EndOfRecords(const DbfControlBlock& b) {
  return static_cast<uint64_t>(b.HeaderLength) +
         static_cast<uint64_t>(std::max(b.RecordCount, 0)) * b.RecordLength;
}

// The file name without folder, with "\" and ":" removed, cut to 12 characters.
std::string ShortNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string out;
  for (char c : name)
    if (c != '\\' && c != ':') out += c;
  if (out.size() > 12) out.resize(12);
  return out;
}

std::string NameAndExtension(const std::string& path) {
  PathParts parts = SplitPath(path);
  return parts.Name + parts.Ext;
}

// Releases everything an open or a half-done open holds; the block ends closed.
void ReleaseBlock(DbfControlBlock& b) {
  if (b.File != os::kInvalidHandle) os::FileClose(b.File);
  b.File = os::kInvalidHandle;
  b.State = dsClosed;
  b.Fields.clear();
  b.Fields.shrink_to_fit();
  b.RecordBuffer.clear();
  b.RecordBuffer.shrink_to_fit();
  b.FieldCount = 0;
  b.RecordCount = 0;
  b.CurrentRecord = 0;
}

// A failed open: release, then report (the report may raise or end the process).
void FailOpen(DbfControlBlock& b, uint16_t code, const std::string& detail) {
  ReleaseBlock(b);
  ReportError(code, detail);
}

// Parses one descriptor into Field. NameLen bytes hold the name (at most 10 are used).
FieldDescriptor ParseDescriptor(const uint8_t* d, size_t nameBytes, size_t typeAt, size_t widthAt,
                                size_t decimalsAt) {
  FieldDescriptor f;
  size_t limit = std::min<size_t>(nameBytes, 10);
  for (size_t j = 0; j < limit && d[j] != 0; ++j) f.Name += UpperChar(static_cast<char>(d[j]));
  char type = static_cast<char>(d[typeAt]);
  f.Type = (type == 'B' || type == 'G' || type == 'P') ? 'M' : type;
  f.Width = d[widthAt];
  f.Decimals = d[decimalsAt];
  return f;
}

struct DescriptorShape {
  size_t size, nameBytes, typeAt, widthAt, decimalsAt;
};
constexpr DescriptorShape kShape3{32, 11, 11, 16, 17};
constexpr DescriptorShape kShape7{48, 32, 32, 33, 34};
constexpr DescriptorShape kShape2{16, 11, 11, 12, 15};

// Parses up to MaxFields descriptors from Bytes, stopping at a 0x0D terminator. Returns false
// after reporting when the table cannot be used; FoundTerminator tells whether 0x0D was seen.
bool ParseFields(DbfControlBlock& b, const std::vector<uint8_t>& bytes, size_t maxFields,
                 const DescriptorShape& shape, bool& foundTerminator) {
  foundTerminator = false;
  std::vector<FieldDescriptor> fields;
  uint32_t offset = 1;  // the running offset stays below 1 + 255 x 255
  uint32_t typed = 1;
  for (size_t i = 0; i < maxFields; ++i) {
    size_t at = i * shape.size;
    if (at < bytes.size() && bytes[at] == 0x0D) {
      foundTerminator = true;
      break;
    }
    if (at + shape.size > bytes.size()) break;
    FieldDescriptor f = ParseDescriptor(&bytes[at], shape.nameBytes, shape.typeAt, shape.widthAt,
                                        shape.decimalsAt);
    if (DbfSettings.ValidTypes.find(f.Type) == std::string::npos || f.Type == '\0') {
      FailOpen(b, 211, "Field: " + f.Name + " [" + std::string(1, static_cast<char>(
                                                             bytes[at + shape.typeAt])) +
                           "] in " + b.FileName + " is not a valid field type");
      return false;
    }
    f.Offset = static_cast<uint16_t>(offset);
    f.TypedOffset = typed;
    offset += f.Width;
    typed += static_cast<uint32_t>(TypedSlotSize(f));
    fields.push_back(std::move(f));
  }
  if (fields.empty()) {
    FailOpen(b, 222, "Error reading " + b.FileName + " [Use/OpenDbf]");
    return false;
  }
  b.Fields = std::move(fields);
  b.FieldCount = static_cast<uint8_t>(b.Fields.size());
  return true;
}

// The fields must fit in the record: a record length shorter than the widths would make every
// field access run past the record buffer. False after reporting.
bool FieldsFitRecord(DbfControlBlock& b) {
  uint32_t end = 1;
  for (const FieldDescriptor& f : b.Fields) end += f.Width;
  if (end <= b.RecordLength) return true;
  FailOpen(b, 210, b.FileName + " is not a dBASE database. (Record length is less than the "
                                "field widths) [Use/OpenDbf]");
  return false;
}

// The record count a shared or recounted table takes from the file size (never negative).
int32_t CountFromSize(int64_t size, uint16_t headerLength, uint16_t recordLength) {
  if (recordLength == 0 || size <= headerLength) return 0;
  int64_t n = (size - headerLength) / recordLength;
  return static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
}

void OpenDbase2(DbfControlBlock& b, int64_t fileSize) {
  const uint8_t* h = b.Header;
  b.RecordCount = Get16(h + 1);
  b.LastUpdate = DateText(h[5], h[3], h[4]);
  b.RecordLength = Get16(h + 6);
  b.HeaderLength = 521;
  b.HasMemo = false;
  if (fileSize <= 520) {
    FailOpen(b, 210, b.FileName + " is not a dBASE database.(Header is less than 521 bytes) "
                                  "[Use/OpenDBF]");
    return;
  }
  std::vector<uint8_t> bytes(512);
  int64_t got = 0;
  if (!ReadExact(b.File, 8, bytes.data(), bytes.size(), got)) {
    FailOpen(b, static_cast<uint16_t>(IoCode(100)), "Error reading " + b.FileName +
                                                        " [Use/OpenDbf]");
    return;
  }
  bool terminator = false;
  if (!ParseFields(b, bytes, 32, kShape2, terminator)) return;
  if (!terminator) {
    FailOpen(b, 210, NameAndExtension(b.FileName) + " is not a dBASE database.(Number of fields "
                                                    "is out of range) [Use/OpenDbf]");
    return;
  }
  if (!FieldsFitRecord(b)) return;
  b.RecordBuffer.assign(b.RecordLength, ' ');
  b.State = dsClean;
}

}  // namespace

bool IsValidVersion(uint8_t v) {
  switch (v) {
    case 0x02: case 0x03: case 0x83: case 0x8B: case 0xF5: case 0x04: case 0x8C:
      return true;
    default:
      return v != 0 && (v == DbfSettings.ExtraVersionPlain || v == DbfSettings.ExtraVersionMemo);
  }
}

std::string MemoExtension(uint8_t v) {
  if (!IsValidVersion(v)) v = DbfSettings.DefaultVersion;
  return (v == 0xF5 || v == 0x30) ? "FPT" : "DBT";
}

bool VersionHasMemo(uint8_t v, uint8_t flags) {
  if (v == 0x30) return (flags & 0x02) != 0;
  if (DbfSettings.ExtraVersionMemo != 0) {
    if (v == DbfSettings.ExtraVersionMemo) return true;
    if (v == DbfSettings.ExtraVersionPlain) return false;
  }
  return (v & 0x80) != 0;
}

void OpenDbf(DbfControlBlock& b) {
  b.FileName = DefaultExtension(b.FileName, "DBF");
  b.OpenMode = static_cast<uint8_t>(Settings.FileMode);
  b.State = dsClosed;
  b.File = os::FileOpen(b.FileName, Settings.FileMode);
  if (b.File == os::kInvalidHandle) {
    FailOpen(b, static_cast<uint16_t>(IoCode(2)), "Failure to open " + b.FileName +
                                                      " [USE/OpenDbf]");
    return;
  }
  b.ShortName = ShortNameOf(b.FileName);
  if (b.OemTranslation) b.ShortName = AnsiToOemText(b.ShortName);
  int64_t fileSize = os::FileSize(b.File);

  int64_t got = 0;
  std::memset(b.Header, 0, sizeof b.Header);
  if (!ReadExact(b.File, 0, b.Header, 32, got)) {
    FailOpen(b, 210, b.FileName + " is not a dBASE database. (Prolog is less than 32 bytes) "
                                  "[USE/OpenDBF]");
    return;
  }
  if (!IsValidVersion(b.Header[0])) {
    FailOpen(b, 210, b.FileName + " is not a dBASE database.(Invalid version byte)+ "
                                  "[USE/OpenDBF]");
    return;
  }
  if (b.IsDbase2()) {
    OpenDbase2(b, fileSize);
    if (b.State == dsClosed) return;
  } else {
    const bool level7 = b.IsLevel7();
    const DescriptorShape& shape = level7 ? kShape7 : kShape3;
    const int prolog = level7 ? 68 : 32;
    b.HasMemo = VersionHasMemo(b.Header[0], b.Header[28]);
    b.HeaderLength = Get16(b.Header + 8);
    b.RecordLength = Get16(b.Header + 10);
    int n = (static_cast<int>(b.HeaderLength) - prolog) / static_cast<int>(shape.size);
    if (static_cast<int>(b.HeaderLength) < prolog || n < 1 || n > 255) {
      FailOpen(b, 210, NameAndExtension(b.FileName) + " is not a dBASE database. (Number of "
                                                      "fields is out of range) [Use/OpenDbf]");
      return;
    }
    b.LastUpdate = DateText(b.Header[1], b.Header[2], b.Header[3]);
    uint32_t count = Get32(b.Header + 4);
    if (count > static_cast<uint32_t>(INT32_MAX)) {
      FailOpen(b, 210, b.FileName + " is not a dBASE database. (Record count is out of range) "
                                    "[Use/OpenDbf]");
      return;
    }
    b.RecordCount = static_cast<int32_t>(count);
    // Descriptors (level 7: after the 36-byte extension, which is read and skipped).
    std::vector<uint8_t> bytes(static_cast<size_t>(b.HeaderLength - prolog));
    if (!ReadExact(b.File, static_cast<uint64_t>(prolog), bytes.data(), bytes.size(), got)) {
      FailOpen(b, 100, "Error reading " + b.FileName + " [Use/OpenDbf]");
      return;
    }
    bool terminator = false;
    if (!ParseFields(b, bytes, static_cast<size_t>(n), shape, terminator)) return;
    if (!FieldsFitRecord(b)) return;
    b.RecordBuffer.assign(b.RecordLength, ' ');
    b.State = dsClean;
  }
  if (DbfSettings.RecountOnOpen)
    b.RecordCount = CountFromSize(fileSize, b.HeaderLength, b.RecordLength);
  if (b.RecordCount <= 0) {
    b.CurrentRecord = 0;
    b.AtEof = b.AtBof = true;
  } else {
    b.CurrentRecord = 1;
    b.AtEof = b.AtBof = false;
  }
}

int32_t RecordCountFromFileSize(const DbfControlBlock& b) {
  int64_t size = os::FileSize(b.File);
  return size < 0 ? -1 : CountFromSize(size, b.HeaderLength, b.RecordLength);
}

void GetDbfRecord(DbfControlBlock& b, int32_t n) {
  if (n > b.RecordCount || n <= 0) {
    ReportError(212, "Invalid record number = " + std::to_string(n) + " (" + b.FileName +
                         ")  [GetDbfRecord]");
    return;
  }
  b.AtEof = b.AtBof = false;
  int64_t got = 0;
  if (!ReadExact(b.File, RecordPosition(b, n), b.Record(), b.RecordLength, got)) {
    uint16_t code = got >= 0 ? 213 : static_cast<uint16_t>(IoCode(100));
    ReportError(code, "File:  " + b.FileName + "  [GetDbfRecord]");
    return;
  }
  b.CurrentRecord = n;
  TranslateRecord(TranslateDirection::FromDisk, b.OemTranslation, b.ReadHook, b.RecordLength,
                  b.RecordLength, b.Record());
}

void PutDbfRecord(DbfControlBlock& b, int32_t n) {
  const std::string where = "File:  " + b.FileName + " [Replace/Append/PutDbfRecord]";
  if (n <= 0) {
    ReportError(212, "Invalid record number = " + std::to_string(n) + " (" + b.FileName +
                         ")  [PutDbfRecord]");
    return;
  }
  const bool append = n > b.RecordCount;
  if (append) n = b.RecordCount + 1;
  const uint64_t pos = RecordPosition(b, n);

  // An append that fails must leave the file as it was: remember its length and the bytes the
  // new record would overwrite (normally the 0x1A end mark).
  int64_t oldSize = -1;
  std::vector<char> tail;
  if (append) {
    oldSize = os::FileSize(b.File);
    if (oldSize < 0) {
      ReportError(static_cast<uint16_t>(IoCode(os::kErrInvalidHandle)), where);
      return;
    }
    if (static_cast<uint64_t>(oldSize) < pos) {
      // The file ends before the records its header counts (a damaged or cut-short table):
      // writing there would leave a hole that reads back as records nobody wrote, and a wild
      // count would grow the file by terabytes. Refused; RecountOnOpen recovers such a table.
      ReportError(213, where);
      return;
    }
    if (static_cast<uint64_t>(oldSize) > pos) {
      tail.resize(static_cast<size_t>(
          std::min<uint64_t>(static_cast<uint64_t>(oldSize) - pos, b.RecordLength)));
      int64_t got = 0;
      if (!ReadExact(b.File, pos, tail.data(), tail.size(), got)) tail.resize(std::max<int64_t>(got, 0));
    }
  }

  TranslateRecord(TranslateDirection::ToDisk, b.OemTranslation, b.WriteHook, b.RecordLength,
                  b.RecordLength, b.Record());
  uint32_t code = WriteExact(b.File, pos, b.Record(), b.RecordLength);
  TranslateRecord(TranslateDirection::FromDisk, b.OemTranslation, b.ReadHook, b.RecordLength,
                  b.RecordLength, b.Record());
  if (code != 0) {
    if (append) {
      // Cut off whatever part of the record reached the disk and put back what it covered.
      os::FileTruncate(b.File, static_cast<uint64_t>(oldSize));
      if (!tail.empty()) os::FileWriteAt(b.File, pos, tail.data(), tail.size());
    }
    ReportError(static_cast<uint16_t>(code), where);
    return;
  }
  if (append) {
    b.RecordCount = n;
    b.CurrentRecord = n;
    b.State = dsAppended;
    if (DbfSettings.FlushAfterWrite) FlushDbf(b);
  } else {
    if (b.State != dsAppended) b.State = dsModified;
    if (DbfSettings.FlushAfterWrite) FlushFile(b.File);
  }
}

bool AppendDbfRecords(DbfControlBlock& b, const char* records, int32_t count) {
  if (count <= 0 || b.File == os::kInvalidHandle || b.RecordLength == 0 ||
      count > INT32_MAX - std::max(b.RecordCount, 0)) {
    return false;
  }
  const uint64_t pos = EndOfRecords(b);
  const size_t bytes = static_cast<size_t>(count) * b.RecordLength;
  const int64_t oldSize = os::FileSize(b.File);
  if (oldSize < 0 || static_cast<uint64_t>(oldSize) < pos) return false;
  // What the new records overwrite (normally the 0x1A end mark), put back after a failure.
  std::vector<char> tail;
  if (static_cast<uint64_t>(oldSize) > pos) {
    tail.resize(static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(oldSize) - pos, bytes)));
    int64_t got = 0;
    if (!ReadExact(b.File, pos, tail.data(), tail.size(), got)) tail.resize(std::max<int64_t>(got, 0));
  }
  const bool translated = b.OemTranslation || b.WriteHook != nullptr;
  std::vector<char> disk;
  if (translated) {
    disk.assign(records, records + bytes);
    TranslateRecord(TranslateDirection::ToDisk, b.OemTranslation, b.WriteHook, bytes,
                    b.RecordLength, disk.data());
  }
  if (WriteExact(b.File, pos, translated ? disk.data() : records, bytes) != 0) {
    os::FileTruncate(b.File, static_cast<uint64_t>(oldSize));
    if (!tail.empty()) os::FileWriteAt(b.File, pos, tail.data(), tail.size());
    os::SetLastError(0);
    return false;
  }
  b.RecordCount += count;
  b.CurrentRecord = b.RecordCount;
  b.State = dsAppended;
  return true;
}

void WriteDeleteFlag(DbfControlBlock& b, int32_t n) {
  const std::string where = "File:  " + b.FileName + " [DeleteRec/RecallRec]";
  if (n <= 0 || n > b.RecordCount) {
    ReportError(212, "Invalid record number = " + std::to_string(n) + " (" + b.FileName +
                         ")  [DeleteRec/RecallRec]");
    return;
  }
  uint32_t code = WriteExact(b.File, RecordPosition(b, n), b.Record(), 1);
  if (code != 0) {
    ReportError(static_cast<uint16_t>(code), where);
    return;
  }
  if (b.State != dsAppended) b.State = dsModified;
  if (DbfSettings.FlushAfterWrite) FlushFile(b.File);
}

namespace {

// Rewrites the prolog; 0 or the I/O code. Reports nothing.
uint32_t WriteHeader(DbfControlBlock& b) {
  TodayDate today = Today();
  uint8_t* h = b.Header;
  if (b.IsDbase2()) {
    Put16(h + 1, static_cast<uint16_t>(std::clamp(b.RecordCount, 0, 0xFFFF)));
    h[3] = static_cast<uint8_t>(today.Month);
    h[4] = static_cast<uint8_t>(today.Day);
    h[5] = static_cast<uint8_t>(today.Year - 1900);
    b.LastUpdate = DateText(h[5], h[3], h[4]);
    return WriteExact(b.File, 0, h, 8);
  }
  uint8_t multiUser[12];
  int64_t got = 0;
  if (ReadExact(b.File, 16, multiUser, sizeof multiUser, got))
    std::memcpy(h + 16, multiUser, sizeof multiUser);
  h[1] = static_cast<uint8_t>(today.Year - 1900);
  h[2] = static_cast<uint8_t>(today.Month);
  h[3] = static_cast<uint8_t>(today.Day);
  Put32(h + 4, static_cast<uint32_t>(std::max(b.RecordCount, 0)));
  b.LastUpdate = DateText(h[1], h[2], h[3]);
  return WriteExact(b.File, 0, h, 32);
}

// The header and, after appends, the 0x1A byte; 0 or the I/O code. Reports nothing.
uint32_t WritePendingHeader(DbfControlBlock& b) {
  if (b.State != dsModified && b.State != dsAppended) return 0;
  uint32_t code = WriteHeader(b);
  if (code == 0 && b.State == dsAppended) {
    const char eof = 0x1A;
    code = WriteExact(b.File, EndOfRecords(b), &eof, 1);
  }
  return code;
}

}  // namespace

void UpdateHeader(DbfControlBlock& b) {
  uint32_t code = WriteHeader(b);
  if (code != 0) ReportError(static_cast<uint16_t>(code), "File:  " + b.FileName + " [UpdateHeader]");
}

void FlushDbf(DbfControlBlock& b) {
  if (b.State != dsModified && b.State != dsAppended) {
    FlushFile(b.File);
    return;
  }
  uint32_t code = WritePendingHeader(b);
  if (code != 0) {
    // The block stays modified so that the next flush or the close writes the header again.
    ReportError(static_cast<uint16_t>(code), "File:  " + b.FileName + " [FlushDbf]");
    return;
  }
  b.State = dsClean;
  FlushFile(b.File);
}

void FlushFile(os::Handle file) {
  if (!os::FileFlush(file))
    ReportError(static_cast<uint16_t>(IoCode(os::kErrInvalidHandle)),
                "Unable to flush file [FlushFile]");
}

void CloseDbf(DbfControlBlock& b) {
  uint32_t code = 0;
  if (b.File != os::kInvalidHandle) {
    code = WritePendingHeader(b);
    os::SetLastError(0);
    if (!os::FileClose(b.File) && code == 0) code = IoCode(os::kErrInvalidHandle);
    b.File = os::kInvalidHandle;
  }
  ReleaseBlock(b);
  if (code != 0)
    ReportError(static_cast<uint16_t>(code),
                "File:  " + b.FileName + " [CloseDbf(" + b.FileName + ")]");
}

}  // namespace morvane
