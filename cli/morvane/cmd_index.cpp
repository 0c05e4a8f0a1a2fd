// morvane index TABLE INDEXFILE TAG=EXPR [--for COND] [--unique] [--descending] [TAG=EXPR ...]
// [--ansi]: builds INDEXFILE (default extension mdx, in the table's folder) with the tags given,
// each option applying to the tag before it, and prints one line per tag: "NAME: N keys". When
// INDEXFILE is the table's own name with extension mdx, the table's production-index flag is set.
#include <string>
#include <vector>

#include "cli/morvane/cli_support.h"
#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/texts.h"

namespace morvane_cli {

namespace {

struct IndexArgs {
  std::string table;
  std::string index;
  bool ansi = false;
  std::vector<morvane::IndexTagDef> tags;
};

bool Parse(const Args& args, IndexArgs& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool option = a.size() > 1 && a[0] == '-';
    if (option && a == "--ansi") {
      out.ansi = true;
    } else if (option && (a == "--for" || a == "--unique" || a == "--descending")) {
      if (out.tags.empty()) {
        PrintError("index: " + a + " belongs after a TAG=EXPR");
        return false;
      }
      morvane::IndexTagDef& tag = out.tags.back();
      if (a == "--unique") {
        tag.Unique = true;
      } else if (a == "--descending") {
        tag.Descending = true;
      } else if (i + 1 >= args.size()) {
        PrintError("index: --for needs a condition");
        return false;
      } else {
        tag.ForCond = ToEngineText(args[++i]);
      }
    } else if (option) {
      PrintError("index: unknown option " + ToEngineText(a));
      return false;
    } else if (out.table.empty()) {
      out.table = a;
    } else if (out.index.empty()) {
      out.index = a;
    } else {
      const size_t eq = a.find('=');
      if (eq == std::string::npos || eq == 0 || eq + 1 == a.size()) {
        PrintError("index: a tag is NAME=EXPRESSION, not " + ToEngineText(a));
        return false;
      }
      morvane::IndexTagDef tag;
      tag.TagName = ToEngineText(a.substr(0, eq));
      tag.KeyExpr = ToEngineText(a.substr(eq + 1));
      if (tag.TagName.size() > 10) {
        PrintError("index: a tag name has at most 10 characters: " + tag.TagName);
        return false;
      }
      out.tags.push_back(tag);
    }
  }
  if (out.table.empty() || out.index.empty() || out.tags.empty()) {
    PrintError("index: needs a table, an index file and at least one TAG=EXPR");
    return false;
  }
  return true;
}

// Keys of the controlling tag: its records in key order, deleted ones included.
long CountKeys() {
  long n = 0;
  morvane::GoTop();
  while (!morvane::dEOF()) {
    ++n;
    morvane::Skip(1);
  }
  return n;
}

int Index(const Args& args) {
  IndexArgs a;
  if (!Parse(args, a)) return kExitUsage;
  morvane::WorkAreas.TableLanguage = a.ansi ? morvane::tlAnsi : morvane::tlOem;
  morvane::Select(1);
  morvane::Use(a.table + " ALIAS MORVANE", nullptr, 0);
  const std::string table = morvane::AreaFileName();
  const bool check = morvane::SetErrorCheck(false);
  const bool built = morvane::MakeIndex(a.tags, a.index);
  morvane::SetErrorCheck(check);
  if (!built) {
    const int status = EngineFailureStatus();
    return status != kExitOk ? status : 1;
  }
  // The table's own name with extension mdx: its production index.
  const morvane::PathParts file = morvane::SplitPath(morvane::DefaultExtension(a.index, "mdx"));
  const morvane::PathParts own = morvane::SplitPath(table);
  const bool sameFolder = file.Dir.empty() || morvane::ExpandPath(file.Dir) == morvane::ExpandPath(own.Dir);
  if (sameFolder && file.Name == own.Name && morvane::UpperText(file.Ext) == ".MDX")
    morvane::SetProductionIndexFlag(true);

  morvane::SetIndexTo(a.index);
  morvane::SetIgnoreDel(false);
  for (size_t k = 1; k <= a.tags.size(); ++k) {
    const std::string name = morvane::UpperText(a.tags[k - 1].TagName);
    morvane::SetOrderToTag(name);
    PrintLine(name + ": " + std::to_string(CountKeys()) + " keys");
  }
  morvane::CloseArea();
  return kExitOk;
}

}  // namespace

int cmd_index(const Args& args) { return RunGuarded(&Index, args); }

}  // namespace morvane_cli
