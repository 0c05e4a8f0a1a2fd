// The table-wide operations of the command layer: CopyTo writes the records of the current table
// into a new table of the same structure (memos copied along), AppendFromDelimited appends one
// record per line of a comma-separated text file, and Locate, Continue, LocateValues and Peek
// search the table record by record for a field value. The dataset components reach them with
// their own positioning around; the morvane tool calls them directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morvane {

// The progress window a long operation shows (the dataset unit installs its window, the morvane
// tool a bar on standard error; none installed: no window). One window at a time.
struct ProgressHookTable {
  void (*Open)(const std::string& Caption) = nullptr;  // shows the window with a full bar
  void (*Step)() = nullptr;                            // one hundredth of the work done
  void (*Close)() = nullptr;                           // frees the window
};
inline ProgressHookTable ProgressHooks;

// The delimited import's settings.
inline constexpr char kFieldDelimiter = ',';
inline constexpr char kQuoteCharacter = '"';
inline constexpr size_t kLineBufferSize = 2048;   // the usual line; longer lines are read whole
inline constexpr size_t kImportBufferSize = 65520;  // the reader's file buffer
inline constexpr size_t kMaxValueLength = 255;    // longer values are cut

// Writes the records of the current table into the new table Name (default extension "DBF",
// replacing an existing file) with the same fields, through the reserved area 35. Without a
// While condition every visible record from the top; with one, from the current record while the
// condition holds (tested before each record). A For condition, when given, passes over the
// records for which it is false. Deleted records that are visible keep their flag; memos are
// copied into the new memo file. 214 "File: <name> is already in use. [CopyTo]" when any area of
// 1..33 has that file open, the current one included (a copy onto its own source would destroy
// it). The copy's area is closed in every case, also after a failure.
void CopyTo(const std::string& Name, const std::function<bool()>& While = nullptr,
            const std::function<bool()>& For = nullptr);

// What a delimited import did.
struct DelimitedImportResult {
  int32_t Appended = 0;     // records actually appended
  int32_t FailedLines = 0;  // lines whose Append failed (only with ErrorCheck off)
  bool Opened = false;      // the file could be opened
};

// Appends one record per non-empty line of the text file Name (default extension "TXT"), opened
// with the engine's current file mode: the values, separated by commas and optionally quoted, go
// into the fields in table order (memo fields take none) and are stored by field type. Lines end
// at LF, CR, CR LF or 0x1A; a 0x1A at the start of a line ends the input. Lines of any length are
// read whole, every value is cut at 255 characters. With ShowProgress a window captioned
// "Appending..." steps with every hundredth of the file read. A file that cannot be opened gives
// an empty result without a message. On a shared table the caller holds the append lock. With
// ErrorCheck off a failed Append is counted in FailedLines and the import goes on.
DelimitedImportResult AppendFromDelimited(const std::string& Name, bool ShowProgress);

// The search state: one search at a time, engine-wide.
struct SearchStateData {
  std::string Value;          // the value Locate looks for (set before the call)
  bool CaseSensitive = true;
  bool Exact = false;
  bool Contained = false;
  int LastField = 0;          // field of the last Locate, 0 = none (Continue needs one)
};
inline SearchStateData SearchState;

// Positions on the first record (physical order) whose field matches SearchState.Value, or at EOF.
// FieldText: the field name, then any of " NOCASE", " EXACT", " CONTAINED". Without EXACT the
// value's trailing blanks are ignored and the field is compared over the value's length; with
// CONTAINED the value may stand anywhere in the field; a memo field matches when a paragraph of
// its text contains the value. 220 for an empty or unknown field name.
void Locate(const std::string& FieldText);
// Resumes the last Locate after the current record; 220 when there was none.
void Continue();

// Searches the fields named in Fields (separated by ";") in turn, each for its value (Values: one
// for all, or one per field), until one finds a visible record. The value is compared in the
// field's stored form (dates as YYYYMMDD, numbers right-aligned in the width, logicals T or F).
// Unless Move is set and a record was found, the record pointer goes back where it was.
bool LocateValues(const std::string& Fields, const std::vector<std::string>& Values, bool NoCase,
                  bool Move, bool Exact);

// The raw text of field N (0 = the deletion byte) of record RecNo as stored on disk (no
// translation); empty when out of range.
std::string Peek(int Field, int32_t RecNo);

}  // namespace morvane
