// Directory search (FindFirst / FindNext / FindClose) with "*" and "?" in the last path
// component, matched without regard to ASCII case. A search reads its folder once, at
// FindFirst, and returns the matches in name order; "." and ".." are never returned.
// As on Windows, "*.*" matches every name and a pattern ending in ".*" also matches the name
// without any extension ("pct12.*" matches "pct12").
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

#include "platform/os/files.h"

namespace platform::os {

namespace {

struct Search {
  std::vector<SearchRecord> records;
  size_t next = 0;
};

std::mutex gMutex;
SearchHandle gNextId = 1;
std::map<SearchHandle, Search>& Searches() {
  static std::map<SearchHandle, Search> searches;
  return searches;
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Glob match of "*" (any run) and "?" (any one character), linear backtracking on the last
// star only, so no input can make it take exponential time.
bool Glob(const std::string& pattern, size_t plen, const std::string& name) {
  size_t p = 0, n = 0;
  size_t starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < plen && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
      ++p;
      ++n;
    } else if (p < plen && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < plen && pattern[p] == '*') ++p;
  return p == plen;
}

}  // namespace

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*") return true;
  if (Glob(pattern, pattern.size(), name)) return true;
  const size_t n = pattern.size();
  return n >= 2 && pattern[n - 2] == '.' && pattern[n - 1] == '*' &&
         name.find('.') == std::string::npos && Glob(pattern, n - 2, name);
}

SearchHandle FindFirst(const std::string& pattern, SearchRecord& found) {
  size_t slash = pattern.rfind('/');
  std::string folder = slash == std::string::npos ? "."
                       : slash == 0                ? "/"
                                                   : pattern.substr(0, slash);
  std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd == -1) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? kErrPathNotFound : MapErrno(errno));
    return kInvalidSearch;
  }
  DIR* dir = ::fdopendir(dirFd);
  if (dir == nullptr) {
    SetLastError(MapErrno(errno));
    ::close(dirFd);
    return kInvalidSearch;
  }
  Search search;
  while (!last.empty()) {
    dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    std::string name = entry->d_name;
    if (name == "." || name == ".." || !MatchesPattern(last, name)) continue;
    struct stat st {};
    if (::fstatat(dirFd, entry->d_name, &st, 0) != 0 &&
        ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      continue;  // vanished meanwhile
    SearchRecord record;
    record.name = name;
    record.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    record.mtime = st.st_mtime;
    record.directory = S_ISDIR(st.st_mode);
    search.records.push_back(record);
  }
  ::closedir(dir);
  if (search.records.empty()) {
    SetLastError(kErrFileNotFound);
    return kInvalidSearch;
  }
  std::sort(search.records.begin(), search.records.end(),
            [](const SearchRecord& a, const SearchRecord& b) { return a.name < b.name; });
  found = search.records[0];
  search.next = 1;
  std::lock_guard<std::mutex> guard(gMutex);
  SearchHandle id = gNextId++;
  Searches()[id] = std::move(search);
  SetLastError(kErrNone);
  return id;
}

bool FindNext(SearchHandle s, SearchRecord& found) {
  std::lock_guard<std::mutex> guard(gMutex);
  auto it = Searches().find(s);
  if (it == Searches().end()) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  if (it->second.next >= it->second.records.size()) {
    SetLastError(kErrNoMoreFiles);
    return false;
  }
  found = it->second.records[it->second.next++];
  SetLastError(kErrNone);
  return true;
}

void FindClose(SearchHandle s) {
  std::lock_guard<std::mutex> guard(gMutex);
  Searches().erase(s);
}

}  // namespace platform::os
