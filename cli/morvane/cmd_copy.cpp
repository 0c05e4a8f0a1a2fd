// morvane copy SOURCE DEST [--for COND] [--while COND] [--ansi]: writes the records of SOURCE
// into the new table DEST with the same fields (an existing DEST is replaced; memos are copied
// into DEST's own memo file; deleted records keep their mark). --for copies only the records for
// which the condition (an expression of the source's fields) is true; --while copies from the
// first record as long as it is true. Prints "copied: N" (records in DEST).
#include <functional>
#include <stdexcept>
#include <string>

#include "cli/morvane/cli_support.h"
#include "cli/morvane/cli_tables.h"
#include "engine/dbf/bulk.h"
#include "engine/dbf/workarea.h"
#include "engine/expr/xqparser.h"
#include "engine/util/errors.h"

namespace morvane_cli {

namespace {

// A compiled logical condition of the current area, freed on scope exit.
class Condition {
 public:
  explicit Condition(const std::string& text) {
    if (text.empty()) return;
    expr_ = morvane::AssignExpr(text);
    if (expr_ != nullptr && expr_->ResultType != 'L') {
      morvane::FreeExpr(expr_);
      throw std::runtime_error("copy: not a logical condition: " + text);
    }
  }
  ~Condition() { morvane::FreeExpr(expr_); }
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;

  // Null without a condition, else a test of the current record.
  std::function<bool()> Test() {
    if (expr_ == nullptr) return nullptr;
    return [this] {
      morvane::EvaluateExpr(expr_);
      return morvane::ResultLogical(expr_);
    };
  }

 private:
  morvane::CompiledExpr* expr_ = nullptr;
};

int Run(const Args& args) {
  TableArgs source;
  std::string dest, forText, whileText;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--for" || a == "--while") {
      if (i + 1 >= args.size()) {
        PrintError("copy: " + a + " needs a condition");
        return kExitUsage;
      }
      (a == "--for" ? forText : whileText) = ToEngineText(args[++i]);
    } else if (a == "--ansi") {
      source.ansi = true;
    } else if (a.size() > 1 && a[0] == '-') {
      PrintError("copy: unknown option " + ToEngineText(a));
      return kExitUsage;
    } else if (source.table.empty()) {
      source.table = a;
    } else if (dest.empty()) {
      dest = a;
    } else {
      PrintError("copy: one source and one new table only");
      return kExitUsage;
    }
  }
  if (dest.empty()) {
    PrintError("copy: give the source table and the new table");
    return kExitUsage;
  }
  OpenForReading(source);
  Condition whileCond(whileText);
  Condition forCond(forText);
  morvane::CopyTo(dest, whileCond.Test(), forCond.Test());
  morvane::CloseArea();
  OpenForReading(TableArgs{dest, source.ansi, false});
  PrintLine("copied: " + std::to_string(morvane::RecCount()));
  morvane::CloseArea();
  return kExitOk;
}

}  // namespace

int cmd_copy(const Args& args) { return RunGuarded(&Run, args); }

}  // namespace morvane_cli
