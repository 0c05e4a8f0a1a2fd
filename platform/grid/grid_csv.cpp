// CSV files of a report grid.
//
// Written (SaveToCSV): one line per grid row, row 0 first, every line ended by CR LF. A line holds
// the row's cell texts from column 0 to the last column, separated by ",". A text that contains a
// comma, a double quote, a CR or a LF is enclosed in double quotes, and each double quote inside
// it is doubled (so "a,b" and 3"5 are written as "a,b" and "3""5"); every other text is written as
// it is, blanks included. Bytes are written unchanged (Windows-1252).
//
// Read (LoadFromCSV): one grid row per line, row 0 first. A line ends at a LF; a CR before the LF
// is dropped; the last line counts also without a line end, and a file that ends with a LF has no
// empty row after it. So the row count is the file's number of lines. Fields are separated by
// ","; a field that begins with a double quote runs to the closing quote, "" inside it standing for
// one quote, and text after the closing quote up to the next "," is appended. A quoted field never
// continues on the next line: an unclosed quote ends at the line end.
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/grid/report_grid.h"
#include "platform/os/exception.h"

namespace platform::grid {
namespace {

bool NeedsQuotes(const std::string& text) {
  return text.find_first_of(",\"\r\n") != std::string::npos;
}

void AppendField(std::string& out, const std::string& text) {
  if (!NeedsQuotes(text)) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::vector<std::string> ParseLine(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  size_t i = 0;
  while (true) {
    field.clear();
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
    }
    while (i < line.size() && line[i] != ',') field += line[i++];
    fields.push_back(field);
    if (i >= line.size()) break;
    ++i;  // the comma; a trailing comma leaves one more, empty field
  }
  return fields;
}

void WriteWhole(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    throw platform::Exception("Cannot create file \"" + path + "\". " + std::strerror(errno));
  }
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) {
    throw platform::Exception("Cannot write file \"" + path + "\". " + std::strerror(errno));
  }
}

}  // namespace

std::vector<std::vector<std::string>> ReportGrid::ParseCSV(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find('\n', start);
    size_t end = lf == std::string::npos ? text.size() : lf;
    std::string line = text.substr(start, end - start);
    if (lf != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
    rows.push_back(ParseLine(line));
    start = lf == std::string::npos ? text.size() : lf + 1;
  }
  return rows;
}

std::string ReportGrid::ToCSV() const {
  std::string out;
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < cols_; ++c) {
      if (c > 0) out += ',';
      AppendField(out, Cell(c, r));
    }
    out += "\r\n";
  }
  return out;
}

void ReportGrid::SaveToCSV(const std::string& path) const { WriteWhole(path, ToCSV()); }

void ReportGrid::ExportToRTF(const std::string& path) const { WriteWhole(path, ToRTF()); }

void ReportGrid::LoadFromCSV(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw platform::Exception("Cannot open file \"" + path + "\". " + std::strerror(errno));
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    throw platform::Exception("Cannot read file \"" + path + "\". " + std::strerror(errno));
  }
  auto rows = ParseCSV(text);
  size_t cols = 0;
  for (const auto& r : rows) cols = std::max(cols, r.size());
  // A file of very uneven lines would ask for rows x cols cells; refuse that with a clear error
  // instead of exhausting memory.
  if (cols != 0 && rows.size() > kMaxCells / cols) {
    throw platform::Exception("File \"" + path + "\" is too large for the grid: " +
                              std::to_string(rows.size()) + " lines of up to " +
                              std::to_string(cols) + " fields");
  }

  ReportGrid loaded(static_cast<int>(cols), static_cast<int>(rows.size()));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size(); ++c) {
      loaded.SetCell(static_cast<int>(c), static_cast<int>(r), std::move(rows[r][c]));
    }
  }
  *this = std::move(loaded);
}

}  // namespace platform::grid
