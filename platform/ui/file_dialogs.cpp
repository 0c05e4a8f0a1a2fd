#include "platform/ui/file_dialogs.h"

#include <cstdio>

namespace platform::ui {
namespace {

std::vector<std::string> Split(std::string_view text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t at = text.find(sep, start);
    parts.emplace_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos
                                                                       : at - start));
    if (at == std::string_view::npos) break;
    start = at + 1;
  }
  return parts;
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return std::string(s.substr(b, e - b));
}

std::vector<std::string> Patterns(std::string_view text) {
  std::vector<std::string> out;
  for (const std::string& p : Split(text, ';')) {
    std::string t = Trim(p);
    if (!t.empty()) out.push_back(t);
  }
  return out;
}

}  // namespace

std::vector<FilterEntry> ParseFilter(std::string_view filter) {
  std::vector<FilterEntry> entries;
  if (filter.empty()) return entries;
  std::vector<std::string> parts = Split(filter, '|');
  for (size_t i = 0; i < parts.size(); i += 2) {
    FilterEntry e;
    e.description = parts[i];
    if (i + 1 < parts.size()) {
      e.patterns = Patterns(parts[i + 1]);
    } else {
      size_t open = e.description.rfind('(');
      size_t close = e.description.rfind(')');
      if (open != std::string::npos && close != std::string::npos && close > open) {
        e.patterns = Patterns(std::string_view(e.description).substr(open + 1, close - open - 1));
      }
    }
    if (e.patterns.empty()) e.patterns.push_back("*");
    if (Trim(e.description).empty()) {
      e.description.clear();
      for (size_t k = 0; k < e.patterns.size(); ++k) {
        e.description += (k ? ";" : "") + e.patterns[k];
      }
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

bool IsPattern(std::string_view fileName) {
  return fileName.find_first_of("*?") != std::string_view::npos;
}

std::string ApplyDefaultExtension(const std::string& path, std::string_view defaultExt) {
  if (defaultExt.empty() || path.empty() || path.back() == '/') return path;
  size_t slash = path.rfind('/');
  std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
  if (name.find('.', 1) != std::string_view::npos) return path;
  return path + "." + std::string(defaultExt);
}

std::string FileUrl(std::string_view absolutePath) {
  std::string url = "file://";
  for (char ch : absolutePath) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
        c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      url += ch;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      url += hex;
    }
  }
  return url;
}

}  // namespace platform::ui
