// File, path, clock and calendar routines over the platform's file services.
#include "engine/util/files.h"

#include <limits>
#include <vector>

#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "platform/codepage/codepage.h"
#include "platform/os/files.h"

namespace morvane {
namespace os = platform::os;

namespace {

// The extension an engine routine adds: lower case when the file name has no upper-case letter.
std::string AddedExtension(const std::string& name, const std::string& ext) {
  for (char c : name) {
    if (platform::codepage::LowerAnsi(c) != c) return ext;
  }
  return platform::codepage::LowerAnsi(ext);
}

// Path as found on disk (the case-insensitive fallback included), or "" when it does not exist.
std::string ExistingPath(const std::string& Path) {
  if (Path.empty()) return "";
  const std::string actual = os::ResolveCase(Path);
  if (os::FileExists(actual) || os::DirectoryExists(actual)) return actual;
  return "";
}

void FillSearchRec(const os::SearchRecord& found, TSearchRec& F) {
  F.Name = found.name;
  F.Size = static_cast<int64_t>(found.size);
  F.Time = found.mtime;
  F.Attr = found.directory ? faDirectory : faArchive;
}

// Moves the search to the next record F's attribute filter lets through; false at the end.
bool SkipExcluded(TSearchRec& F, os::SearchRecord& found) {
  while (found.directory && (F.ExcludeAttr & faDirectory) != 0) {
    if (!os::FindNext(F.Handle, found)) return false;
  }
  return true;
}

}  // namespace

PathParts SplitPath(const std::string& Path) {
  PathParts parts;
  const size_t slash = Path.rfind('/');
  const std::string file = slash == std::string::npos ? Path : Path.substr(slash + 1);
  if (slash != std::string::npos) parts.Dir = Path.substr(0, slash + 1);
  const size_t dot = file.rfind('.');
  if (dot == std::string::npos) {
    parts.Name = file;
  } else {
    parts.Name = file.substr(0, dot);
    parts.Ext = file.substr(dot);
  }
  return parts;
}

std::string DefaultExtension(const std::string& Path, const std::string& Ext) {
  const PathParts parts = SplitPath(Path);
  if (!parts.Ext.empty()) return Path;
  std::string name = parts.Name;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return parts.Dir + name + "." + AddedExtension(name, Ext);
}

std::string ForceExtension(const std::string& Path, const std::string& Ext) {
  const PathParts parts = SplitPath(Path);
  return parts.Dir + parts.Name + "." + AddedExtension(parts.Name, Ext);
}

std::string RemoveExtension(const std::string& Path) {
  const PathParts parts = SplitPath(Path);
  return parts.Dir + parts.Name;
}

std::string ExpandPath(const std::string& Path) { return os::ExpandPath(Path); }

std::string ShortPathName(const std::string& Path) { return ExistingPath(Path); }

std::string LongPathName(const std::string& Path) { return ExistingPath(Path); }

bool FileExists(const std::string& Path) { return !Path.empty() && os::FileExists(Path); }

bool FileIsFromToday(const std::string& Path) {
  if (!FileExists(Path)) return false;
  const os::Handle h = os::FileOpen(Path, os::fmOpenRead | os::fmShareDenyNone);
  if (h == os::kInvalidHandle) return false;
  os::FileClose(h);
  std::time_t mtime = 0;
  if (!os::FileModificationTime(Path, mtime)) return false;
  std::tm file{};
  localtime_r(&mtime, &file);
  const TodayDate today = Today();
  return file.tm_year + 1900 == today.Year && file.tm_mon + 1 == today.Month &&
         file.tm_mday == today.Day;
}

uint32_t EraseFile(const std::string& Path) {
  const std::string actual = os::ResolveCase(Path);
  const os::Handle h = os::FileOpen(actual, os::fmOpenRead | os::fmShareExclusive);
  if (h == os::kInvalidHandle) {
    const uint32_t code = os::LastError();
    return code != 0 ? code : os::kErrFileNotFound;
  }
  os::FileClose(h);
  if (os::DeleteFile(actual)) return 0;
  const uint32_t code = os::LastError();
  return code != 0 ? code : os::kErrAccessDenied;
}

void EraseFiles(const std::string& Pattern) {
  Errors.DbfError = 0;
  if (Pattern.find_first_of("*?") == std::string::npos) {
    const uint32_t code = EraseFile(Pattern);
    if (code != 0) ReportError(static_cast<uint16_t>(code), "Error erasing " + Pattern);
    return;
  }
  const PathParts parts = SplitPath(ExpandPath(Pattern));
  // The names are collected first, so that deleting does not disturb the search.
  std::vector<std::string> names;
  TSearchRec found;
  for (int rc = FindFirstFile(parts.Dir + parts.Name + parts.Ext, faArchive, found); rc == 0;
       rc = FindNextFile(found)) {
    if ((found.Attr & faDirectory) == 0) names.push_back(parts.Dir + found.Name);
  }
  FindClose(found);
  int failures = 0;
  for (const std::string& name : names) {
    if (EraseFile(name) != 0) ++failures;
  }
  if (failures != 0) {
    ReportError(5, "Could not erase " + std::to_string(failures) + " files like " + Pattern);
  }
}

std::string UniqueFilename() {
  const std::string folder = os::TempPath();
  std::string name = folder.empty() ? "" : os::CreateUniqueTempFile(folder, "XQP");
  if (name.empty()) {
    const uint32_t code = os::LastError();
    ReportError(static_cast<uint16_t>(code != 0 ? code : os::kErrPathNotFound),
                "Error requesting unique file name [UniqueFilename]");
  }
  return name;
}

int32_t DiskFreeKB(const std::string& Path) {
  const int64_t bytes = os::DiskFreeBytes(Path);
  if (bytes < 0) return std::numeric_limits<int32_t>::max();
  const int64_t kb = bytes / 1024;
  return kb > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                  : static_cast<int32_t>(kb);
}

int32_t DiskFreeKBOfDrive(int /*N*/) { return DiskFreeKB(""); }

int FindFirstFile(const std::string& Pattern, unsigned Attr, TSearchRec& F) {
  FindClose(F);
  F.ExcludeAttr = (Attr & faDirectory) != 0 ? 0 : faDirectory;
  os::SearchRecord found;
  F.Handle = os::FindFirst(Pattern, found);
  if (F.Handle == os::kInvalidSearch) {
    const uint32_t code = os::LastError();
    Settings.SearchResult = code != 0 ? static_cast<int>(code) : static_cast<int>(os::kErrFileNotFound);
    return Settings.SearchResult;
  }
  if (!SkipExcluded(F, found)) {
    FindClose(F);
    Settings.SearchResult = os::kErrFileNotFound;
    return Settings.SearchResult;
  }
  FillSearchRec(found, F);
  Settings.SearchResult = 0;
  return 0;
}

int FindNextFile(TSearchRec& F) {
  os::SearchRecord found;
  if (F.Handle == os::kInvalidSearch || !os::FindNext(F.Handle, found) ||
      !SkipExcluded(F, found)) {
    Settings.SearchResult = os::kErrNoMoreFiles;
    return Settings.SearchResult;
  }
  FillSearchRec(found, F);
  Settings.SearchResult = 0;
  return 0;
}

void FindClose(TSearchRec& F) {
  if (F.Handle != os::kInvalidSearch) os::FindClose(F.Handle);
  F.Handle = os::kInvalidSearch;
}

TodayDate Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  TodayDate today;
  today.Year = local.tm_year + 1900;
  today.Month = local.tm_mon + 1;
  today.Day = local.tm_mday;
  today.WeekDay = local.tm_wday + 1;
  return today;
}

uint32_t SecondsSinceStart() { return static_cast<uint32_t>(os::TickCountMs() / 1000); }

bool IsLeapYear(int Y) { return Y % 400 == 0 || (Y % 4 == 0 && Y % 100 != 0); }

int64_t FloorMod(int64_t A, int64_t B) {
  if (B == 0 || B == -1) return 0;  // -1: every A is a multiple (and INT64_MIN % -1 traps)
  int64_t r = A % B;
  if (r != 0 && ((r < 0) != (B < 0))) r += B;
  return r;
}

}  // namespace morvane
