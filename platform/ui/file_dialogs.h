// Rules shared by every implementation of the UI port's file dialogs and shell "open": how a
// filter text is read, how a default extension is applied, and how a file path becomes a URL.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

// One entry of a dialog's filter list: "CSV files (*.csv)" with the patterns {"*.csv"}.
struct FilterEntry {
  std::string description;
  std::vector<std::string> patterns;
  bool operator==(const FilterEntry&) const = default;
};

// Reads "description|pattern[;pattern...]|description|pattern...". A description without a
// pattern after it (a filter such as "DBF files (*.dbf)") takes the patterns written in its
// parentheses, else "*". Empty descriptions take their pattern text. "" gives no entries.
std::vector<FilterEntry> ParseFilter(std::string_view filter);

// True when a file name holds "*" or "?" (a pattern that filters a listing, not a name).
bool IsPattern(std::string_view fileName);

// `path` with "." + `defaultExt` appended when its last component has no extension (no "." after
// its first character) and `defaultExt` is not empty; otherwise `path` unchanged.
std::string ApplyDefaultExtension(const std::string& path, std::string_view defaultExt);

// A "file://" URL for an absolute path, bytes other than letters, digits, "-._~/" percent-encoded.
std::string FileUrl(std::string_view absolutePath);

}  // namespace platform::ui
