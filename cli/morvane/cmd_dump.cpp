// morvane dump TABLE [--deleted] [--ansi] [--index INDEXFILE [--tag NAME]]: the records as RFC 4180
// CSV on standard output (CR LF line ends): a header line of the field names, then one line per
// record in the table's order, or in the key order of the index file's controlling tag (NAME).
// C values without trailing blanks; N and F as the stored number text without blanks; D as
// YYYYMMDD or empty; L as T or F; M as the memo text (empty for none) when the memo file is open,
// else the block number. Deleted records are left out unless --deleted adds a first column
// _deleted.
// Values are converted from the engine's ANSI texts to UTF-8.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/morvane/cli_index.h"
#include "cli/morvane/cli_support.h"
#include "cli/morvane/cli_tables.h"
#include "engine/dbf/workarea.h"

namespace morvane_cli {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view TrimBlanks(std::string_view v, bool left) {
  while (!v.empty() && IsBlank(v.back())) v.remove_suffix(1);
  while (left && !v.empty() && IsBlank(v.front())) v.remove_prefix(1);
  return v;
}

// Appends one CSV cell, quoted when it holds a comma, a quote or a line break. Returns whether it
// holds a byte outside ASCII (the line then needs converting to UTF-8).
bool AppendCell(std::string& line, std::string_view value) {
  bool quote = false;
  unsigned char high = 0;
  for (char c : value) {
    quote |= c == ',' || c == '"' || c == '\r' || c == '\n';
    high |= static_cast<unsigned char>(c);
  }
  if (!quote) {
    line.append(value);
  } else {
    line += '"';
    for (char c : value) {
      if (c == '"') line += '"';
      line += c;
    }
    line += '"';
  }
  return (high & 0x80) != 0;
}

// The dump text of one field of the raw record (ANSI).
std::string_view FieldText(const morvane::FieldDescriptor& f, const char* record,
                           std::string& scratch) {
  std::string_view raw(record + f.Offset, f.Width);
  switch (f.Type) {
    case 'C':
      return TrimBlanks(raw, false);
    case 'L': {
      const char c = raw.empty() ? ' ' : raw[0];
      return (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? "T" : "F";
    }
    case 'M': {
      std::string_view block = TrimBlanks(raw, true);
      if (morvane::MemoHooks.ReadMemoText != nullptr && morvane::CurrentWorkArea()->Memo != nullptr) {
        int64_t n = 0;
        for (char c : block) n = (c >= '0' && c <= '9') ? std::min<int64_t>(n * 10 + (c - '0'), INT32_MAX) : n;
        if (n == 0) return {};  // no memo: an empty text
        if (morvane::MemoHooks.ReadMemoText(static_cast<int32_t>(n), scratch)) return scratch;
      }
      return block;
    }
    default:  // N, F, D: the stored text without blanks (a blank date is empty)
      return TrimBlanks(raw, true);
  }
}

// The CSV text on standard output, written in large pieces. Lines are built in place.
class Output {
 public:
  ~Output() { Flush(); }
  std::string& Begin() {
    start_ = buffer_.size();
    return buffer_;
  }
  // Ends the line begun last; Ansi: it holds bytes to convert to UTF-8.
  void End(bool ansi) {
    if (ansi) {
      const std::string utf8 = ToTerminal(std::string_view(buffer_).substr(start_));
      buffer_.replace(start_, std::string::npos, utf8);
    }
    buffer_ += "\r\n";
    if (buffer_.size() >= (1u << 20)) Flush();
  }
  void Flush() {
    std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
    buffer_.clear();
  }

 private:
  std::string buffer_;
  size_t start_ = 0;
};

int Dump(const Args& allArgs) {
  // --index and --tag choose the order; the other arguments are the table command's.
  std::string index, tag;
  Args args;
  for (size_t i = 0; i < allArgs.size(); ++i) {
    if ((allArgs[i] == "--index" || allArgs[i] == "--tag") && i + 1 < allArgs.size()) {
      (allArgs[i] == "--index" ? index : tag) = allArgs[i + 1];
      ++i;
    } else {
      args.push_back(allArgs[i]);
    }
  }
  if (!tag.empty() && index.empty()) {
    PrintError("dump: --tag needs --index");
    return kExitUsage;
  }
  TableArgs table;
  if (!ParseTableArgs(args, true, table, "dump")) return kExitUsage;
  OpenForReading(table);
  if (!index.empty()) OpenIndexForReading(index, ToEngineText(tag));
  morvane::SetIgnoreDel(!table.deleted);
  const morvane::WorkArea& area = *morvane::CurrentWorkArea();
  const morvane::DbfControlBlock& t = area.Table;

  Output out;
  {
    std::string& line = out.Begin();
    bool high = false;
    if (table.deleted) line += "_deleted,";
    for (size_t i = 0; i < t.Fields.size(); ++i) {
      if (i > 0) line += ',';
      high |= AppendCell(line, t.Fields[i].Name);
    }
    out.End(high);
  }

  std::string scratch;
  morvane::GoTop();
  while (!morvane::dEOF()) {
    const char* record = t.Record();
    std::string& line = out.Begin();
    bool high = false;
    if (table.deleted) line += record[0] == '*' ? "T," : "F,";
    for (size_t i = 0; i < t.Fields.size(); ++i) {
      if (i > 0) line += ',';
      high |= AppendCell(line, FieldText(t.Fields[i], record, scratch));
    }
    out.End(high);
    morvane::Skip(1);
  }
  out.Flush();
  morvane::CloseArea();
  return kExitOk;
}

}  // namespace

std::string DumpRecordLine() {
  const morvane::DbfControlBlock& t = morvane::CurrentWorkArea()->Table;
  std::string line, scratch;
  bool high = false;
  for (size_t i = 0; i < t.Fields.size(); ++i) {
    if (i > 0) line += ',';
    high |= AppendCell(line, FieldText(t.Fields[i], t.Record(), scratch));
  }
  return high ? ToTerminal(line) : line;
}

int cmd_dump(const Args& args) { return RunGuarded(&Dump, args); }

}  // namespace morvane_cli
