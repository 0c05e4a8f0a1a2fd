// INI settings files: strings and integers by section and key, as the application keeps its
// settings (folders, ages, list indexes). Reading never fails (a missing file, section or key gives
// the caller's default); writing changes one key and keeps every other line of the file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::ini {

// One INI file, addressed by path. Every call reads the file afresh, so two objects (or another
// program) writing the same file see each other's changes.
class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}

  const std::string& FileName() const { return path_; }

  // The value of `key` in `section`, or `defaultValue` when the file cannot be read or has no such
  // section or key. Section and key names match without regard to case (ASCII letters); blanks
  // around the value are removed, and so is one pair of matching quotes ("..." or '...') around it.
  // When a section or a key appears twice, the first one counts.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;

  // The value read as an integer: decimal text (an optional sign, then digits) or hexadecimal text
  // with a "0x" or "0X" prefix and 1 to 8 digits (taken as a 32-bit pattern, so 0xFFFFFFFF is -1).
  // `defaultValue` when the key is missing or its value is not such a number or does not fit in
  // 32 bits.
  int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;

  // True when the file exists and has the section / the key in the section.
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

  // Sets `key` in `section` to `value`. An existing key's line is rewritten in place, spelled as
  // `key` is now; a missing key is added after the last line of its section; a missing section is added at the end of the file; a
  // missing file is created. Every other line is kept byte for byte; lines added take the file's
  // line ends (CR LF when its first line ends so, else LF; CR LF for a new file). The file is
  // replaced atomically (a file that exists but cannot be read is left alone). Throws platform::Exception naming the file when it cannot be written, and
  // std::invalid_argument for a section or key that is empty or holds "[", "]", "=" or a line
  // break or begins with ";" or "#", or a value with a line break (they would corrupt the file).
  // Every value reads back unchanged (one with blanks at its ends or quotes around it is written
  // in double quotes).
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // WriteString with the decimal text of `value`.
  void WriteInteger(std::string_view section, std::string_view key, int value);

 private:
  std::string path_;
};

// The integer text rule of ReadInteger; false (and `out` unchanged) when `text` is not a number.
bool ParseIniInteger(std::string_view text, int& out);

}  // namespace platform::ini
