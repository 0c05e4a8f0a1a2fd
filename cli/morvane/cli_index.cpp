// Opening an index for the index commands.
#include "cli/morvane/cli_index.h"

#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"

namespace morvane_cli {

void OpenIndexForReading(const std::string& IndexFile, const std::string& Tag) {
  namespace os = platform::os;
  morvane::WorkAreas.FileModeOverride = os::fmOpenRead | os::fmShareDenyNone;
  struct Restore {
    ~Restore() { morvane::WorkAreas.FileModeOverride = -1; }
  } restore;
  morvane::SetIndexTo(IndexFile);
  if (!Tag.empty()) morvane::SetOrderToTag(Tag);
}

}  // namespace morvane_cli
