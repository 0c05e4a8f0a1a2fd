// INI file format, as read and written here:
//
//   [Section]            a section header: the name between the brackets, blanks around it
//                        ignored; anything after the closing bracket is ignored
//   key=value            a key line of the section above it: the key is the text before the first
//                        "=", the value the text after it, both with blanks and tabs removed at
//                        both ends; a value quoted as "..." or '...' loses the quotes on reading,
//                        and a value written with blanks at its ends or quotes around it is
//                        written in double quotes, so that it reads back unchanged
//   ;comment             a line whose first non-blank character is ";" or "#"; kept, never read
//   anything else        (blank lines, lines without "=") kept, never read
//
// Lines end with LF or CR LF; the last line may have no line end. Key lines before the first
// section header belong to no section and cannot be read. Names match without regard to the case
// of ASCII letters. Bytes are taken as they are (Windows-1252 text in this program).
#include "platform/ini/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "platform/os/exception.h"

namespace platform::ini {
namespace {

struct Line {
  std::string text;  // the line without its line end
  std::string end;   // "\n", "\r\n" or "" (last line without line end)
};

// The lines of the file; nullopt when it cannot be read.
std::optional<std::vector<Line>> LoadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  std::vector<Line> lines;
  size_t start = 0;
  while (start < all.size()) {
    size_t lf = all.find('\n', start);
    Line line;
    if (lf == std::string::npos) {
      line.text = all.substr(start);
      start = all.size();
    } else {
      line.text = all.substr(start, lf - start);
      line.end = "\n";
      start = lf + 1;
      if (!line.text.empty() && line.text.back() == '\r') {
        line.text.pop_back();
        line.end = "\r\n";
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The section name of a header line, or nullopt when the line is not a header.
std::optional<std::string_view> SectionOf(std::string_view text) {
  std::string_view t = Trim(text);
  if (t.empty() || t.front() != '[') return std::nullopt;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

bool IsComment(std::string_view text) {
  std::string_view t = Trim(text);
  return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// Splits a key line; false when the line is not one.
bool SplitKey(std::string_view text, std::string_view& key, std::string_view& value) {
  if (IsComment(text) || SectionOf(text)) return false;
  size_t eq = text.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(text.substr(0, eq));
  value = Trim(text.substr(eq + 1));
  return !key.empty();
}

// Where a section and a key stand in the lines.
struct Place {
  std::optional<size_t> header;     // the section's header line
  std::optional<size_t> keyLine;    // the key's line within the section
  size_t lastContent = 0;           // the section's last line that is not blank
};

Place Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Place place;
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionOf(lines[i].text)) {
      if (inSection) break;  // the first section of that name ends here
      if (SameName(*name, section)) {
        inSection = true;
        place.header = i;
        place.lastContent = i;
      }
      continue;
    }
    if (!inSection) continue;
    if (!Trim(lines[i].text).empty()) place.lastContent = i;
    std::string_view k, v;
    if (!place.keyLine && !key.empty() && SplitKey(lines[i].text, k, v) && SameName(k, key)) {
      place.keyLine = i;
    }
  }
  return place;
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

void CheckName(std::string_view what, std::string_view name) {
  if (name.empty() || Trim(name).size() != name.size() || name.front() == ';' ||
      name.front() == '#' || name.find_first_of("[]=\r\n") != std::string_view::npos) {
    throw std::invalid_argument("invalid INI " + std::string(what) + " name \"" +
                                std::string(name) + "\"");
  }
}

[[noreturn]] void ThrowWriteError(const std::string& path, int err) {
  throw platform::Exception("Cannot write settings file \"" + path + "\". " +
                            std::strerror(err));
}

// Writes `data` to `path` through a temporary file in the same folder and a rename.
void ReplaceFile(const std::string& path, const std::string& data) {
  std::string templ = path + ".tmp-XXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) ThrowWriteError(path, errno);
  struct stat st;
  if (stat(path.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);
  else fchmod(fd, 0644);
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      close(fd);
      unlink(name.data());
      ThrowWriteError(path, err);
    }
    done += static_cast<size_t>(n);
  }
  if (fsync(fd) != 0 || close(fd) != 0) {
    int err = errno;
    unlink(name.data());
    ThrowWriteError(path, err);
  }
  if (rename(name.data(), path.c_str()) != 0) {
    int err = errno;
    unlink(name.data());
    ThrowWriteError(path, err);
  }
}

}  // namespace

bool ParseIniInteger(std::string_view text, int& out) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::string_view digits = text.substr(2);
    if (digits.size() > 8) return false;
    uint32_t v = 0;
    for (char c : digits) {
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return false;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    out = static_cast<int>(static_cast<int32_t>(v));
    return true;
  }
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<int64_t>(INT32_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<int>(v);
  return true;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  auto lines = LoadLines(path_);
  if (!lines) return std::string(defaultValue);
  Place place = Find(*lines, section, key);
  if (!place.keyLine) return std::string(defaultValue);
  std::string_view k, v;
  SplitKey((*lines)[*place.keyLine].text, k, v);
  return Unquote(v);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
  if (!ValueExists(section, key)) return defaultValue;
  int value = defaultValue;
  if (!ParseIniInteger(ReadString(section, key, ""), value)) return defaultValue;
  return value;
}

bool IniFile::SectionExists(std::string_view section) const {
  auto lines = LoadLines(path_);
  return lines && Find(*lines, section, "").header.has_value();
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  auto lines = LoadLines(path_);
  return lines && Find(*lines, section, key).keyLine.has_value();
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  CheckName("section", section);
  CheckName("key", key);
  if (value.find_first_of("\r\n") != std::string_view::npos) {
    throw std::invalid_argument("INI value for \"" + std::string(key) + "\" holds a line break");
  }
  std::vector<Line> lines;
  if (access(path_.c_str(), F_OK) == 0) {
    auto loaded = LoadLines(path_);
    if (!loaded) ThrowWriteError(path_, errno ? errno : EIO);
    lines = std::move(*loaded);
  }
  const std::string eol = (lines.empty() || lines.front().end != "\n") ? "\r\n" : "\n";
  // A value that reading would change (blanks at its ends, or quotes around it) is written in
  // double quotes, which reading removes again.
  const bool quote = !value.empty() && (Trim(value).size() != value.size() ||
                                        Unquote(value).size() != value.size());
  std::string keyLine = std::string(key) + "=" + (quote ? "\"" : "") + std::string(value) +
                        (quote ? "\"" : "");

  Place place = Find(lines, section, key);
  if (place.keyLine) {
    lines[*place.keyLine].text = keyLine;
  } else {
    size_t at;  // the new lines go before index `at`
    std::vector<Line> added;
    if (place.header) {
      at = place.lastContent + 1;
      added.push_back({keyLine, eol});
    } else {
      at = lines.size();
      // A blank line between the last section and the new one, as editors write them.
      if (!lines.empty() && !Trim(lines.back().text).empty()) added.push_back({"", eol});
      added.push_back({"[" + std::string(section) + "]", eol});
      added.push_back({keyLine, eol});
    }
    if (at > 0 && lines[at - 1].end.empty()) lines[at - 1].end = eol;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
  }
  std::string data;
  for (const Line& l : lines) data += l.text + l.end;
  ReplaceFile(path_, data);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

}  // namespace platform::ini
