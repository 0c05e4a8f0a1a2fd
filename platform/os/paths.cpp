// Path services: the case-insensitive fallback for names that do not exist exactly, existence
// tests, delete and rename with Windows' refusal to touch a file that is open, full path names,
// temporary files, free space, the tick count and the program folder.
//
// Case. File names compare without regard to case in ASCII letters only: names on disk are
// byte strings (usually UTF-8), and folding other bytes could make two different names equal.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/os/files.h"
#include "platform/os/handle_table.h"

namespace platform::os {

namespace {

bool Fail(uint32_t code) {
  SetLastError(code);
  return false;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size(); ++i) {
    if (b[i] == '\0' || AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return b[i] == '\0';
}

bool Exists(const std::string& path, struct stat& st) {
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

}  // namespace

uint32_t detail::PathErrorCode(const std::string& path, int err) {
  if (err != ENOENT) return MapErrno(err);
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return kErrFileNotFound;
  struct stat st {};
  std::string folder = path.substr(0, slash);
  return ::stat(folder.c_str(), &st) == 0 ? kErrFileNotFound : kErrPathNotFound;
}

std::string ResolveCase(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) == 0 || errno != ENOENT) return path;
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string prefix = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return path;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return path;
  std::string match;
  int matches = 0;
  while (dirent* entry = ::readdir(dir)) {
    if (SameIgnoringCase(name, entry->d_name)) {
      match = entry->d_name;
      ++matches;
    }
  }
  ::closedir(dir);
  return matches == 1 ? prefix + match : path;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return Exists(ResolveCase(path), st) && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return Exists(ResolveCase(path), st) && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path) {
  std::string actual = ResolveCase(path);
  if (actual.empty()) return Fail(kErrFileNotFound);
  if (detail::FileIsOpenByHandles(actual.c_str())) return Fail(kErrSharingViolation);
  if (::unlink(actual.c_str()) != 0) return Fail(detail::PathErrorCode(actual, errno));
  SetLastError(kErrNone);
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  std::string actual = ResolveCase(from);
  if (actual.empty() || to.empty()) return Fail(kErrFileNotFound);
  if (detail::FileIsOpenByHandles(actual.c_str())) return Fail(kErrSharingViolation);
  if (::renameat2(AT_FDCWD, actual.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    SetLastError(kErrNone);
    return true;
  }
  int err = errno;
  if (err == EEXIST) return Fail(kErrAlreadyExists);
  if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP) {
    // A missing name is either the file itself or the folder of the new name.
    bool fromExists = ::access(actual.c_str(), F_OK) == 0;
    return Fail(detail::PathErrorCode(fromExists ? to : actual, err));
  }
  // A file system without no-replace renames: check, then rename.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return Fail(kErrAlreadyExists);
  if (::rename(actual.c_str(), to.c_str()) != 0) return Fail(MapErrno(errno));
  SetLastError(kErrNone);
  return true;
}

std::string ExpandPath(const std::string& path) {
  if (path.empty()) return path;
  std::string full = path;
  if (path[0] != '/') {
    std::vector<char> cwd(PATH_MAX + 1);
    if (::getcwd(cwd.data(), cwd.size()) == nullptr) return path;
    full = std::string(cwd.data()) + "/" + path;
  }
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= full.size()) {
    size_t next = full.find('/', i);
    if (next == std::string::npos) next = full.size();
    std::string part = full.substr(i, next - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = next + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  if (out.empty()) return "/";
  if (full.back() == '/') out += "/";
  return out;
}

bool FileModificationTime(const std::string& path, std::time_t& mtime) {
  struct stat st {};
  std::string actual = ResolveCase(path);
  if (!Exists(actual, st))
    return Fail(path.empty() ? kErrFileNotFound : detail::PathErrorCode(actual, errno));
  mtime = st.st_mtime;
  SetLastError(kErrNone);
  return true;
}

std::string TempPath() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string CreateUniqueTempFile(const std::string& folder, const std::string& prefix) {
  if (prefix.find('/') != std::string::npos) {
    SetLastError(kErrInvalidParameter);
    return "";
  }
  std::string base = folder.empty() ? "./" : folder;
  if (base.back() != '/') base += '/';
  // mkostemps creates the file with O_EXCL under a random name: unique across processes.
  static const std::string kSuffix = ".tmp";
  std::string templ = base + prefix + "XXXXXX" + kSuffix;
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  int fd;
  do fd = ::mkostemps(name.data(), static_cast<int>(kSuffix.size()), O_CLOEXEC);
  while (fd == -1 && errno == EINTR);
  if (fd == -1) {
    SetLastError(errno == ENOENT ? kErrPathNotFound : MapErrno(errno));
    return "";  // a missing folder is the only way a new name can be missing
  }
  ::close(fd);
  SetLastError(kErrNone);
  return ExpandPath(name.data());
}

int64_t DiskFreeBytes(const std::string& path) {
  // A path that does not exist yet is asked about through its nearest existing folder.
  std::string probe = ExpandPath(path.empty() ? "." : path);
  struct statvfs vfs {};
  while (::statvfs(probe.c_str(), &vfs) != 0) {
    if ((errno != ENOENT && errno != ENOTDIR) || probe == "/" || probe.empty()) {
      SetLastError(MapErrno(errno));
      return -1;
    }
    while (probe.size() > 1 && probe.back() == '/') probe.pop_back();
    size_t slash = probe.rfind('/');
    probe = slash == 0 || slash == std::string::npos ? "/" : probe.substr(0, slash);
  }
  SetLastError(kErrNone);
  unsigned __int128 bytes = static_cast<unsigned __int128>(vfs.f_bavail) * vfs.f_frsize;
  if (bytes > static_cast<unsigned __int128>(INT64_MAX)) return INT64_MAX;
  return static_cast<int64_t>(bytes);
}

uint64_t TickCountMs() {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

std::string ProgramFolder() {
  const char* home = std::getenv("AGEMILL_HOME");
  std::string folder;
  if (home != nullptr && *home != '\0') {
    folder = home;
  } else {
    std::vector<char> exe(PATH_MAX + 1);
    ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size() - 1);
    if (n <= 0) return "./";
    folder.assign(exe.data(), static_cast<size_t>(n));
    size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : folder.substr(0, slash + 1);
  }
  if (folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace platform::os
