// The last error of each thread and the mapping of errno onto the Windows-style codes the
// engine reports (its error table knows these numbers and their texts).
#include <cerrno>

#include "platform/os/files.h"

namespace platform::os {

namespace {
thread_local uint32_t gLastError = kErrNone;
}  // namespace

uint32_t LastError() { return gLastError; }

void SetLastError(uint32_t code) { gLastError = code; }

uint32_t MapErrno(int err) {
  switch (err) {
    case 0: return kErrNone;
    case ENOENT: return kErrFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return kErrPathNotFound;
    case EMFILE:
    case ENFILE: return kErrTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR: return kErrAccessDenied;
    case EBADF: return kErrInvalidHandle;
    case ENOMEM: return kErrNotEnoughMemory;
    case EROFS: return kErrWriteProtected;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kErrDiskWrite;
    case EAGAIN:
    case EDEADLK: return kErrLockViolation;
    case EBUSY:
    case ETXTBSY: return kErrSharingViolation;
    case ENOLCK: return kErrTooManyLocks;
    case ENOSYS:
    case EOPNOTSUPP: return kErrNotSupported;
    case EEXIST: return kErrFileExists;
    case EINVAL:
    case EOVERFLOW: return kErrInvalidParameter;
    case EXDEV: return kErrRenameAcrossDrives;
    case ENOTEMPTY: return kErrDirNotEmpty;
    case ESPIPE: return kErrSeek;
    case ENXIO:
    case ENODEV: return kErrDriveNotReady;
    default: return kErrGeneralFailure;
  }
}

}  // namespace platform::os
