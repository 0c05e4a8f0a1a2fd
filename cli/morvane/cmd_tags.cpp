// morvane tags INDEXFILE: the tag list of an index file, two lines per tag: "NAME,D,U,key" (D and
// U are T or F for descending and unique) and the FOR condition (empty when there is none).
#include <string>
#include <vector>

#include "cli/morvane/cli_support.h"
#include "engine/index/xqndx.h"
#include "engine/util/files.h"

namespace morvane_cli {

namespace {

int Tags(const Args& args) {
  if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
    PrintError("tags: needs exactly one index file");
    return kExitUsage;
  }
  const std::string name = morvane::DefaultExtension(args[0], "mdx");
  if (!morvane::FileExists(name)) {
    PrintError("tags: no such index file: " + name);
    return 2;
  }
  std::vector<std::string> list;
  morvane::GetTagList(list, name);
  for (const std::string& line : list) PrintLine(line);
  return kExitOk;
}

}  // namespace

int cmd_tags(const Args& args) { return RunGuarded(&Tags, args); }

}  // namespace morvane_cli
