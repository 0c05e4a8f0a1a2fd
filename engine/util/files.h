// The engine's file, path, clock and calendar routines over the platform's file services: path
// splitting and default extensions, existence and age tests, erasing files (also by pattern),
// unique temporary files, free disk space, directory search, today's date and the tick clock.
// Paths use "/". Only EraseFiles and UniqueFilename report errors (through ReportError).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace morvane {

// The parts of a path: Dir ends in "/" when not empty; Ext includes its dot.
struct PathParts {
  std::string Dir;
  std::string Name;   // up to 64 characters
  std::string Ext;    // up to 64 characters
};
PathParts SplitPath(const std::string& Path);

// Path unchanged when it has an extension (also an empty one: "name."); otherwise Dir + Name
// without trailing blanks + "." + Ext. The added extension is lower-cased when the file name has
// no upper-case letter.
std::string DefaultExtension(const std::string& Path, const std::string& Ext);
// Path with its extension replaced by "." + Ext (added when there is none), cased as above.
std::string ForceExtension(const std::string& Path, const std::string& Ext);
// Path without its extension.
std::string RemoveExtension(const std::string& Path);
// The absolute, normalised path (relative to the current directory).
std::string ExpandPath(const std::string& Path);
// Path unchanged when every component exists (Linux has no short names); "" otherwise.
std::string ShortPathName(const std::string& Path);
std::string LongPathName(const std::string& Path);

// True when Path names an existing regular file.
bool FileExists(const std::string& Path);
// True when the file exists, opens for shared reading and was last modified today (local time).
bool FileIsFromToday(const std::string& Path);
// Proves nobody uses the file (exclusive open), then deletes it. 0 = done, else the platform's
// error code (2 not found, 32 in use, 5 access denied, ...).
uint32_t EraseFile(const std::string& Path);
// Clears DbfError; erases one file, or every file matching a "*"/"?" pattern. A failure is
// reported: one file with its code and "Error erasing <pattern>", a pattern with 5 and
// "Could not erase <n> files like <pattern>". A pattern that matches nothing is no error.
void EraseFiles(const std::string& Pattern);
// A new, empty, uniquely named file "XQP..." in the temporary folder; its full name. On failure
// "" and the platform's last error reported with "Error requesting unique file name
// [UniqueFilename]".
std::string UniqueFilename();

// Free kilobytes available on the file system of Path ("" = current folder); 2147483647 when the
// query fails (or the figure does not fit).
int32_t DiskFreeKB(const std::string& Path);
// The same for a drive number (0 = current, 1 = A:, ...): every number means the current folder's
// file system on this platform.
int32_t DiskFreeKBOfDrive(int N);

// Directory search. Attribute bits as the engine passes them; regular files count as archive.
inline constexpr unsigned faReadOnly = 0x01;
inline constexpr unsigned faHidden = 0x02;
inline constexpr unsigned faSysFile = 0x04;
inline constexpr unsigned faDirectory = 0x10;
inline constexpr unsigned faArchive = 0x20;
inline constexpr unsigned faAnyFile = 0x3F;
struct TSearchRec {
  std::string Name;       // file name only
  int64_t Size = 0;
  std::time_t Time = 0;   // modification time
  unsigned Attr = 0;      // faArchive or faDirectory
  intptr_t Handle = -1;   // the platform search; -1 when none is open
  unsigned ExcludeAttr = 0;  // kinds of entry this search leaves out (set by FindFirstFile)
};
// 0 and the first match (directories only when Attr has faDirectory) in F, else the platform's
// code (2 / 3 / 18). The code is kept in Settings.SearchResult. Close with FindClose.
int FindFirstFile(const std::string& Pattern, unsigned Attr, TSearchRec& F);
// 0 and the next match in F, else 18 at the end; kept in Settings.SearchResult.
int FindNextFile(TSearchRec& F);
// Ends the search (safe to call twice or after a failed FindFirstFile).
void FindClose(TSearchRec& F);

// Today's local date; WeekDay: 1 = Sunday ... 7 = Saturday.
struct TodayDate {
  int Year = 0;
  int Month = 0;
  int Day = 0;
  int WeekDay = 0;
};
TodayDate Today();
// The monotonic millisecond tick count divided by 1000.
uint32_t SecondsSinceStart();
// Divisible by 400, or by 4 and not by 100.
bool IsLeapYear(int Y);
// A - B * floor(A / B): the result has the sign of B. B must not be 0 (0 is returned then).
int64_t FloorMod(int64_t A, int64_t B);

}  // namespace morvane
