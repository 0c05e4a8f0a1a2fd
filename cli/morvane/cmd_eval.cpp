// morvane eval TABLE EXPR [--recno N | --all]: compiles EXPR against TABLE (open in area 1
// under its file name's alias) and prints the value for record N (default 1; the blank record
// of an empty table), or for every record with --all, one line each: the result type letter, a
// blank, and the value (C and M texts as they are, N with the result's decimals, D as YYYYMMDD
// or 8 blanks, L as .T. or .F.). Compile and evaluation errors are engine errors.
#include <charconv>
#include <string>

#include "cli/morvane/cli_support.h"
#include "engine/dbf/workarea.h"
#include "engine/expr/julian.h"
#include "engine/expr/xqparser.h"
#include "engine/util/errors.h"

namespace morvane_cli {
namespace {

std::string ValueLine(const morvane::CompiledExpr* e) {
  std::string line(1, e->ResultType);
  line += ' ';
  switch (e->ResultType) {
    case 'N': {
      char text[512];
      const auto r = std::to_chars(text, text + sizeof text, morvane::ResultNumber(e),
                                   std::chars_format::fixed, e->ResultDecimals);
      line.append(text, r.ec == std::errc() ? r.ptr : text);
      break;
    }
    case 'D': {
      char ymd[8];
      morvane::expr::JdnToYyyymmdd(morvane::ResultNumber(e), ymd);
      line.append(ymd, 8);
      break;
    }
    case 'L': line += morvane::ResultLogical(e) ? ".T." : ".F."; break;
    default: line += morvane::ResultText(e); break;  // C, M
  }
  return line;
}

int Body(const Args& args) {
  std::string table, text;
  int32_t recno = 1;
  bool all = false, positional = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--all") {
      all = true;
    } else if (args[i] == "--recno" && i + 1 < args.size()) {
      const std::string& n = args[++i];
      const auto r = std::from_chars(n.data(), n.data() + n.size(), recno);
      if (r.ec != std::errc() || r.ptr != n.data() + n.size()) {
        PrintError("eval: --recno needs a record number, not \"" + ToEngineText(n) + "\"");
        return kExitUsage;
      }
      positional = true;
    } else if (table.empty()) {
      table = args[i];
    } else if (text.empty()) {
      text = ToEngineText(args[i]);
    } else {
      table.clear();
      break;
    }
  }
  if (table.empty() || text.empty() || (all && positional)) {
    PrintError("usage: morvane eval <table.dbf> <expression> [--recno N | --all]");
    return kExitUsage;
  }

  morvane::Select(1);
  morvane::Use(table, nullptr, 0);
  morvane::CompiledExpr* e = morvane::AssignExpr(text);
  struct Free {
    morvane::CompiledExpr*& e;
    ~Free() { morvane::FreeExpr(e); }
  } free{e};
  const int32_t count = morvane::RecCount();
  if (all) {
    for (int32_t r = 1; r <= count; ++r) {
      morvane::Go(r);
      morvane::EvaluateExpr(e);
      PrintLine(ValueLine(e));
    }
    return kExitOk;
  }
  if (count > 0 || positional) morvane::Go(recno);
  morvane::EvaluateExpr(e);
  PrintLine(ValueLine(e));
  return kExitOk;
}

}  // namespace

int cmd_eval(const Args& args) { return RunGuarded(&Body, args); }

}  // namespace morvane_cli
