// What the index commands of morvane (index, tags, find, and dump's --index) share: opening an
// index file for reading on the table open in the current work area, and the record line in
// the form of `morvane dump`.
#pragma once

#include <string>

namespace morvane_cli {

// Opens IndexFile (default extension mdx, the table's folder) read-only and shared for the
// current area, and makes Tag the controlling order when it is not empty. Engine errors raise.
void OpenIndexForReading(const std::string& IndexFile, const std::string& Tag);

// The current record of the current area as one CSV line of `morvane dump` (without line end,
// converted to UTF-8).
std::string DumpRecordLine();

}  // namespace morvane_cli
