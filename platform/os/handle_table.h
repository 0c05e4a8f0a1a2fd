// Internal to platform/os: the bookkeeping behind every open handle (what access the caller
// asked for, which byte ranges it holds locked), the one function all reads and writes pass
// through, and the probe of the sharing byte used by the delete and rename checks.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::os::detail {

// The byte that carries the sharing mode of every open: shared opens hold a read lock on it,
// exclusive opens a write lock. Ranges that cover it cannot be locked by callers.
inline constexpr uint64_t kShareLockOffset = uint64_t{1} << 62;

enum class Transfer { kRead, kWrite };

// The single path of every read and write on a descriptor: transfers up to `count` bytes at
// `offset`, retrying on interruption and continuing after short transfers until `count` bytes
// moved or end of file (reads). Returns the bytes transferred, or -1 with errno set. The test
// switch of platform/os/fault_injection.h is consulted first.
int64_t TransferAt(Transfer kind, int fd, uint64_t offset, void* buffer, size_t count);
// TransferAt without the test switch.
int64_t RealTransferAt(Transfer kind, int fd, uint64_t offset, void* buffer, size_t count);
// The test switch: true when an armed fault plan takes this call over, with `result` (and errno)
// what TransferAt must return; false when the call is to run normally.
bool InterceptTransfer(Transfer kind, int fd, uint64_t offset, void* buffer, size_t count,
                       int64_t& result);

// True when an open of the file at `path` by some handle (this process or another) holds the
// sharing byte, so that Windows would refuse to delete or rename the file. False when nobody
// does or the file cannot be opened to ask.
bool FileIsOpenByHandles(const char* path);

// The code for a failure `err` of a call on `path`: MapErrno, except that a missing name in a
// folder that does not exist either is 3 (path not found) rather than 2, as on Windows.
uint32_t PathErrorCode(const std::string& path, int err);

}  // namespace platform::os::detail
