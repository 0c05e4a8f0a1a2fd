// Open handles: opening with a sharing mode, positioned reads and writes, size, truncate, flush
// and byte-range locks, with Windows semantics built on POSIX open-file-description locks.
//
// Sharing. Every open takes a lock on the one byte at offset 2^62 (kShareLockOffset), far
// beyond any data: a shared (deny-none) open a read lock, every other sharing mode a write lock.
// Open-file-description locks belong to the open, not the process, so two handles of one
// process conflict exactly like two processes; a conflict fails the open with 32.
//
// Descriptors. A write lock needs a descriptor open for writing and a read lock one open for
// reading, so every open first tries a read/write descriptor and falls back to the access the
// caller asked for when the file does not permit that (no write permission, read-only file
// system). The handle still refuses, with 5, the reads or writes its mode does not grant. With
// the fallback, an exclusive open of a read-only file holds a read lock (it still excludes every
// exclusive open elsewhere, but not other shared or read-only opens), and a shared write-only
// open of a file that cannot be read holds no sharing lock.
//
// Byte-range locks are write locks of the exact ranges asked for (read locks when the
// descriptor could only be opened for reading). Each handle keeps the list of ranges it holds:
// POSIX would merge or silently re-grant overlapping ranges of one open, Windows refuses a lock
// that overlaps one already held (33) and an unlock of anything but exactly a held range (158).
//
// Transfers. Every read and write goes through detail::TransferAt, which first gives the test
// switch of fault_injection.h its chance to fail the call.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/os/files.h"
#include "platform/os/handle_table.h"

namespace platform::os {

namespace {

struct Range {
  uint64_t offset;
  uint64_t length;
};

struct HandleState {
  bool mayRead = false;     // the caller's mode grants reads
  bool mayWrite = false;    // the caller's mode grants writes
  bool fdWritable = false;  // the descriptor itself is open for writing
  std::vector<Range> locks; // ranges this handle holds locked, never overlapping
};

std::mutex gMutex;
std::unordered_map<int, HandleState>& Handles() {
  static std::unordered_map<int, HandleState> handles;
  return handles;
}

bool Fail(uint32_t code) {
  SetLastError(code);
  return false;
}

// Applies an open-file-description lock without waiting; returns 0 or the errno.
int OfdLock(int fd, short type, uint64_t offset, uint64_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;
  while (fcntl(fd, F_OFD_SETLK, &fl) == -1) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

bool IsConflict(int err) { return err == EAGAIN || err == EACCES; }

// Opens `path` for the open modes above, trying read/write first. Returns the descriptor or -1
// with errno set; `readable` and `writable` tell what the descriptor allows.
int OpenDescriptor(const std::string& path, int accessFlags, int extraFlags, bool& readable,
                   bool& writable) {
  const int common = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | extraFlags;
  int fd = -1;
  if (accessFlags != O_RDWR) {
    do fd = ::open(path.c_str(), O_RDWR | common, 0666);
    while (fd == -1 && errno == EINTR);
    if (fd >= 0) {
      readable = writable = true;
      return fd;
    }
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP) return -1;
  }
  do fd = ::open(path.c_str(), accessFlags | common, 0666);
  while (fd == -1 && errno == EINTR);
  readable = fd >= 0 && accessFlags != O_WRONLY;
  writable = fd >= 0 && accessFlags != O_RDONLY;
  return fd;
}

// Checks that `fd` is a regular file and takes the sharing lock. On failure closes `fd`, sets
// LastError and returns false.
bool PrepareDescriptor(int fd, bool exclusive, bool readable, bool writable) {
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    return Fail(MapErrno(err));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return Fail(kErrAccessDenied);
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

  short type = -1;
  if (exclusive) type = writable ? F_WRLCK : F_RDLCK;
  else if (readable) type = F_RDLCK;
  if (type != -1) {
    int err = OfdLock(fd, type, detail::kShareLockOffset, 1);
    if (err != 0) {
      ::close(fd);
      return Fail(IsConflict(err) ? kErrSharingViolation : MapErrno(err));
    }
  }
  return true;
}

void Register(int fd, const HandleState& state) {
  std::lock_guard<std::mutex> guard(gMutex);
  Handles()[fd] = state;
}

// Decodes an open mode: false (LastError 12) for an access value of 3 or an unknown sharing.
bool DecodeMode(unsigned mode, int& accessFlags, bool& exclusive) {
  unsigned access = mode & 0x03;
  unsigned share = mode & 0xF0;
  if (access == 0x03 || share > fmShareDenyNone) return Fail(kErrInvalidAccessCode);
  accessFlags = access == fmOpenRead ? O_RDONLY : access == fmOpenWrite ? O_WRONLY : O_RDWR;
  exclusive = share != fmShareDenyNone;
  return true;
}

bool RangeIsValid(uint64_t offset, uint64_t length) {
  if (length == 0 || offset > static_cast<uint64_t>(INT64_MAX)) return false;
  if (length > static_cast<uint64_t>(INT64_MAX) - offset) return false;
  // The sharing byte is reserved.
  return !(offset <= detail::kShareLockOffset && detail::kShareLockOffset < offset + length);
}

}  // namespace

Handle FileOpen(const std::string& path, unsigned mode) {
  int accessFlags = O_RDONLY;
  bool exclusive = true;
  if (!DecodeMode(mode, accessFlags, exclusive)) return kInvalidHandle;
  bool readable = false;
  bool writable = false;
  int fd = OpenDescriptor(path, accessFlags, 0, readable, writable);
  if (fd == -1 && errno == ENOENT) {
    std::string resolved = ResolveCase(path);
    if (resolved != path) fd = OpenDescriptor(resolved, accessFlags, 0, readable, writable);
  }
  if (fd == -1) {
    SetLastError(detail::PathErrorCode(path, errno));
    return kInvalidHandle;
  }
  if (!PrepareDescriptor(fd, exclusive, readable, writable)) return kInvalidHandle;
  HandleState state;
  state.mayRead = accessFlags != O_WRONLY;
  state.mayWrite = accessFlags != O_RDONLY;
  state.fdWritable = writable;
  Register(fd, state);
  SetLastError(kErrNone);
  return fd;
}

Handle FileCreate(const std::string& path, unsigned mode) {
  int accessFlags = O_RDWR;
  bool exclusive = true;
  if (!DecodeMode((mode & 0xF0) | fmOpenReadWrite, accessFlags, exclusive)) return kInvalidHandle;
  bool readable = false;
  bool writable = false;
  // No O_TRUNC here: a file that another handle holds must come through untouched, so the
  // length is cut only once the sharing lock is ours.
  int fd = OpenDescriptor(path, O_RDWR, O_CREAT, readable, writable);
  if (fd == -1) {
    SetLastError(detail::PathErrorCode(path, errno));
    return kInvalidHandle;
  }
  if (!PrepareDescriptor(fd, exclusive, true, true)) return kInvalidHandle;
  int rc;
  do rc = ftruncate(fd, 0);
  while (rc == -1 && errno == EINTR);
  if (rc != 0) {
    int err = errno;
    ::close(fd);
    SetLastError(MapErrno(err));
    return kInvalidHandle;
  }
  HandleState state;
  state.mayRead = state.mayWrite = state.fdWritable = true;
  Register(fd, state);
  SetLastError(kErrNone);
  return fd;
}

bool FileClose(Handle h) {
  {
    std::lock_guard<std::mutex> guard(gMutex);
    if (Handles().erase(h) == 0) return Fail(kErrInvalidHandle);
  }
  // Closing the only descriptor of the open releases every lock it holds. The descriptor is
  // gone after close() even when it reports an error, so there is no retry.
  if (::close(h) != 0 && errno != EINTR) return Fail(MapErrno(errno));
  SetLastError(kErrNone);
  return true;
}

namespace {

// Looks up `h` and checks the access it needs; false with LastError 6 or 5.
bool Check(Handle h, bool needRead, bool needWrite) {
  std::lock_guard<std::mutex> guard(gMutex);
  auto it = Handles().find(h);
  if (it == Handles().end()) return Fail(kErrInvalidHandle);
  if ((needRead && !it->second.mayRead) || (needWrite && !it->second.mayWrite))
    return Fail(kErrAccessDenied);
  return true;
}

int64_t Transfer(detail::Transfer kind, Handle h, uint64_t offset, void* buffer, size_t count) {
  const bool read = kind == detail::Transfer::kRead;
  if (!Check(h, read, !read)) return -1;
  if (offset > static_cast<uint64_t>(INT64_MAX) ||
      count > static_cast<uint64_t>(INT64_MAX) - offset) {
    SetLastError(kErrInvalidParameter);
    return -1;
  }
  if (count == 0) {
    SetLastError(kErrNone);
    return 0;
  }
  errno = 0;
  int64_t done = detail::TransferAt(kind, h, offset, buffer, count);
  if (done < 0 || (!read && static_cast<size_t>(done) < count)) {
    int err = errno != 0 ? errno : ENOSPC;
    uint32_t code = MapErrno(err);
    if (err == EIO) code = read ? kErrReadFault : kErrWriteFault;
    if (!read && (err == ENOSPC || err == EDQUOT || err == EFBIG)) code = kErrDiskWrite;
    SetLastError(code);
    return done > 0 ? done : -1;
  }
  SetLastError(kErrNone);
  return done;
}

}  // namespace

int64_t detail::TransferAt(Transfer kind, int fd, uint64_t offset, void* buffer, size_t count) {
  int64_t injected = 0;
  if (InterceptTransfer(kind, fd, offset, buffer, count, injected)) return injected;
  return RealTransferAt(kind, fd, offset, buffer, count);
}

int64_t detail::RealTransferAt(Transfer kind, int fd, uint64_t offset, void* buffer,
                               size_t count) {
  constexpr size_t kMaxChunk = size_t{1} << 30;
  auto* bytes = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    size_t chunk = count - done < kMaxChunk ? count - done : kMaxChunk;
    off_t at = static_cast<off_t>(offset + done);
    ssize_t n = kind == Transfer::kRead ? ::pread(fd, bytes + done, chunk, at)
                                        : ::pwrite(fd, bytes + done, chunk, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (done > 0 && kind == Transfer::kRead) break;  // keep what arrived
      return done > 0 ? static_cast<int64_t>(done) : -1;
    }
    if (n == 0) {
      if (kind == Transfer::kWrite) errno = ENOSPC;
      break;  // end of file, or a write that stores nothing more
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int64_t FileReadAt(Handle h, uint64_t offset, void* buffer, size_t count) {
  return Transfer(detail::Transfer::kRead, h, offset, buffer, count);
}

int64_t FileWriteAt(Handle h, uint64_t offset, const void* buffer, size_t count) {
  return Transfer(detail::Transfer::kWrite, h, offset, const_cast<void*>(buffer), count);
}

int64_t FileSize(Handle h) {
  if (!Check(h, false, false)) return -1;
  struct stat st {};
  if (fstat(h, &st) != 0) {
    SetLastError(MapErrno(errno));
    return -1;
  }
  SetLastError(kErrNone);
  return static_cast<int64_t>(st.st_size);
}

bool FileTruncate(Handle h, uint64_t size) {
  if (!Check(h, false, true)) return false;
  if (size > static_cast<uint64_t>(INT64_MAX)) return Fail(kErrInvalidParameter);
  int rc;
  do rc = ftruncate(h, static_cast<off_t>(size));
  while (rc == -1 && errno == EINTR);
  if (rc != 0) return Fail(errno == EIO ? kErrWriteFault : MapErrno(errno));
  SetLastError(kErrNone);
  return true;
}

bool FileFlush(Handle h) {
  if (!Check(h, false, false)) return false;
  int rc;
  do rc = fsync(h);
  while (rc == -1 && errno == EINTR);
  if (rc != 0) return Fail(errno == EIO ? kErrWriteFault : MapErrno(errno));
  SetLastError(kErrNone);
  return true;
}

bool LockRange(Handle h, uint64_t offset, uint64_t length) {
  std::lock_guard<std::mutex> guard(gMutex);
  auto it = Handles().find(h);
  if (it == Handles().end()) return Fail(kErrInvalidHandle);
  if (!RangeIsValid(offset, length)) return Fail(kErrInvalidParameter);
  HandleState& state = it->second;
  for (const Range& held : state.locks) {
    if (offset < held.offset + held.length && held.offset < offset + length)
      return Fail(kErrLockViolation);
  }
  int err = OfdLock(h, state.fdWritable ? F_WRLCK : F_RDLCK, offset, length);
  if (err != 0) return Fail(IsConflict(err) ? kErrLockViolation : MapErrno(err));
  state.locks.push_back({offset, length});
  SetLastError(kErrNone);
  return true;
}

bool UnlockRange(Handle h, uint64_t offset, uint64_t length) {
  std::lock_guard<std::mutex> guard(gMutex);
  auto it = Handles().find(h);
  if (it == Handles().end()) return Fail(kErrInvalidHandle);
  std::vector<Range>& locks = it->second.locks;
  for (size_t i = 0; i < locks.size(); ++i) {
    if (locks[i].offset != offset || locks[i].length != length) continue;
    int err = OfdLock(h, F_UNLCK, offset, length);
    if (err != 0) return Fail(MapErrno(err));
    locks.erase(locks.begin() + static_cast<std::ptrdiff_t>(i));
    SetLastError(kErrNone);
    return true;
  }
  return Fail(kErrLockNotHeld);
}

bool detail::FileIsOpenByHandles(const char* path) {
  int fd;
  do fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  while (fd == -1 && errno == EINTR);
  if (fd == -1) return false;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(kShareLockOffset);
  fl.l_len = 1;
  bool held = fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

}  // namespace platform::os
