// Operating-system file services for the engine, with the Windows-era semantics the engine was
// designed around: open modes with sharing (deny-none / deny-all), positioned I/O, byte-range
// locks that conflict between any two handles (also two handles of one process), and
// Windows-style error codes. Everything above platform/ uses these calls, never POSIX directly.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace platform::os {

using Handle = int;
inline constexpr Handle kInvalidHandle = -1;

// Open modes, as the engine's file-open mode numbers: access in the low two bits, sharing in
// bits 4 to 6. 18 = fmOpenReadWrite | fmShareExclusive is the engine's default.
enum OpenMode : unsigned {
  fmOpenRead = 0x00,
  fmOpenWrite = 0x01,
  fmOpenReadWrite = 0x02,
  fmShareCompat = 0x00,     // treated as exclusive
  fmShareExclusive = 0x10,  // deny all
  fmShareDenyWrite = 0x20,  // treated as exclusive
  fmShareDenyRead = 0x30,   // treated as exclusive
  fmShareDenyNone = 0x40,
};

// Windows-style error codes used by the engine (errno is mapped onto these).
enum ErrorCode : uint32_t {
  kErrNone = 0,
  kErrFileNotFound = 2,
  kErrPathNotFound = 3,
  kErrTooManyOpenFiles = 4,
  kErrAccessDenied = 5,
  kErrInvalidHandle = 6,
  kErrNotEnoughMemory = 8,
  kErrWriteProtected = 19,
  kErrSharingViolation = 32,
  kErrLockViolation = 33,
  kErrDiskWrite = 101,          // write failed, probably disk full
  kErrLockNotHeld = 158,        // unlocking a range that is not locked
  // Further codes the mapping below produces (Windows numbering).
  kErrInvalidAccessCode = 12,   // an open mode with an unknown access or sharing value
  kErrRenameAcrossDrives = 17,  // EXDEV
  kErrNoMoreFiles = 18,         // FindNext past the last match
  kErrDriveNotReady = 21,       // ENXIO, ENODEV
  kErrSeek = 25,                // ESPIPE
  kErrWriteFault = 29,          // EIO while writing
  kErrReadFault = 30,           // EIO while reading
  kErrGeneralFailure = 31,      // any errno without a closer code
  kErrTooManyLocks = 36,        // ENOLCK
  kErrNotSupported = 50,        // ENOSYS, EOPNOTSUPP (for example no lock support)
  kErrFileExists = 80,          // EEXIST
  kErrInvalidParameter = 87,    // EINVAL, a zero-length or out-of-range lock, a huge offset
  kErrDirNotEmpty = 145,        // ENOTEMPTY
  kErrAlreadyExists = 183,      // RenameFile onto an existing name
};

// Opens an existing file. When `path` does not exist but a file whose last path component
// matches it without regard to case does, that file is opened. Shared opens (fmShareDenyNone)
// coexist with each other; any other sharing mode excludes every other open of the file by an
// engine handle in any process (emulated with an open-file-description lock on one byte at
// offset 2^62). Returns kInvalidHandle on failure and sets LastError (32 on a sharing conflict,
// 12 for an unknown mode, 5 for a folder or other non-regular file). The descriptor is opened
// read/write whenever the file permits it, so that an exclusive read-only open can hold the
// write lock that excludes others; the handle still refuses writes its mode does not grant.
// Where the file permits only reading, an exclusive read-only open holds a read lock instead:
// it then excludes exclusive opens elsewhere but not shared ones.
Handle FileOpen(const std::string& path, unsigned mode);

// Creates (or truncates) a file and opens it read/write with the sharing of `mode`.
Handle FileCreate(const std::string& path, unsigned mode = fmOpenReadWrite | fmShareExclusive);

// Closes a handle; releases every lock it holds. False (LastError 6) for an unknown handle.
bool FileClose(Handle h);

// Positioned read and write. They return the number of bytes transferred (a read may return
// fewer at end of file) or -1 on failure with LastError set. They do not move a file pointer.
// A write that stops early (disk full, file size limit) returns the bytes it stored and sets
// LastError (101 for a full disk); a handle opened without read (write) access refuses reads
// (writes) with 5. Every read and write of the engine passes through these two calls.
int64_t FileReadAt(Handle h, uint64_t offset, void* buffer, size_t count);
int64_t FileWriteAt(Handle h, uint64_t offset, const void* buffer, size_t count);

int64_t FileSize(Handle h);                      // -1 on failure
bool FileTruncate(Handle h, uint64_t size);      // sets the length (shorter or longer)
bool FileFlush(Handle h);                        // to stable storage (FlushFileBuffers)

// Byte-range locks (LockFile / UnlockFile). A range locked through one handle blocks the same
// bytes for every other handle of the file, in this process or another; they never wait.
// LockRange: false with LastError 33 on a conflict, also with a range this handle already holds
// in part; 87 for a length of 0 or a range reaching the reserved sharing byte at 2^62.
// UnlockRange: false with LastError 158 when this handle holds no lock on exactly that range.
// The locks are advisory: reads and writes of locked bytes are not refused.
bool LockRange(Handle h, uint64_t offset, uint64_t length);
bool UnlockRange(Handle h, uint64_t offset, uint64_t length);

// The last error of this thread's most recent failing call, as a Windows-style code.
uint32_t LastError();
void SetLastError(uint32_t code);
uint32_t MapErrno(int err);  // ENOENT 2, ENOTDIR 3, EMFILE 4, EACCES/EPERM 5, EBADF 6, ...

// Paths.
bool FileExists(const std::string& path);        // a regular file (exact or case-insensitive)
bool DirectoryExists(const std::string& path);
// `path` when it exists; otherwise the existing file in its folder whose last component matches
// without regard to case; otherwise `path` unchanged.
std::string ResolveCase(const std::string& path);
// Both refuse (32) a file that a handle of this or another process holds open, as Windows
// does; RenameFile never replaces an existing `to` (183). Both use the case fallback for the
// existing name.
bool DeleteFile(const std::string& path);        // false with LastError set
bool RenameFile(const std::string& from, const std::string& to);
std::string ExpandPath(const std::string& path); // absolute, normalised; need not exist
bool FileModificationTime(const std::string& path, std::time_t& mtime);

// Temporary files: the temporary folder ($TMPDIR, else /tmp) with a trailing "/", and a new,
// empty, uniquely named file in `folder` ("" = the current folder) whose name is `prefix`, six
// random characters and ".tmp"; returned as a full path. The name is created exclusively, so
// it is unique across processes. Empty on failure (LastError 3 for a missing folder).
std::string TempPath();
std::string CreateUniqueTempFile(const std::string& folder, const std::string& prefix);

// Free bytes available to the caller on the file system of `path` ("" = current folder);
// -1 when the query fails.
int64_t DiskFreeBytes(const std::string& path);

// Milliseconds of a monotonic clock.
uint64_t TickCountMs();

// Directory search with "*" and "?" in the last path component (matched without regard to case).
struct SearchRecord {
  std::string name;        // the file name only
  uint64_t size = 0;
  std::time_t mtime = 0;
  bool directory = false;
};
using SearchHandle = intptr_t;
inline constexpr SearchHandle kInvalidSearch = -1;
// Returns kInvalidSearch (LastError 2 or 3) when nothing matches.
SearchHandle FindFirst(const std::string& pattern, SearchRecord& found);
bool FindNext(SearchHandle s, SearchRecord& found);   // false (LastError 18) at the end
void FindClose(SearchHandle s);
bool MatchesPattern(const std::string& pattern, const std::string& name);  // "*", "?", no case

// The program folder (with a trailing "/"): $AGEMILL_HOME when set and not empty, else the
// folder of the running executable.
std::string ProgramFolder();

}  // namespace platform::os
