#include "tests/expr/expr_test_env.h"

#include <charconv>
#include <cstdlib>

#include "engine/dbf/workarea.h"
#include "engine/expr/julian.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"

namespace exprtest {

using namespace morvane;

void ExprTest::SetUp() {
  setenv("LC_ALL", "en_US.UTF-8", 1);
  EngineStartup();
  SetRaiseErrors(true);
}

void ExprTest::TearDown() { EngineShutdown(); }

void ExprTest::OpenTable(int Area, const std::string& Name, const std::string& Alias,
                         const std::vector<Column>& Columns, const std::vector<Row>& Rows) {
  std::vector<FieldDescriptor> fields;
  for (const Column& c : Columns) {
    FieldDescriptor f;
    f.Name = c.name;
    f.Type = c.type;
    f.Width = static_cast<uint8_t>(c.width);
    f.Decimals = static_cast<uint8_t>(c.decimals);
    fields.push_back(f);
  }
  const std::string path = dir_.file(Name + ".dbf");
  DbfControlBlock block;
  CreateDbf(block, path, fields);
  block = DbfControlBlock{};
  block.FileName = path;
  OpenDbf(block);
  for (size_t r = 0; r < Rows.size(); ++r) {
    std::string record(block.RecordLength, ' ');
    record[0] = Rows[r].deleted ? '*' : ' ';
    for (size_t i = 0; i < Rows[r].values.size() && i < block.Fields.size(); ++i) {
      const FieldDescriptor& f = block.Fields[i];
      std::string v = Rows[r].values[i].substr(0, f.Width);
      const bool right = f.Type == 'N' || f.Type == 'F' || f.Type == 'M';
      const std::string pad(f.Width - v.size(), ' ');
      record.replace(f.Offset, f.Width, right ? pad + v : v + pad);
    }
    block.RecordBuffer.assign(record.begin(), record.end());
    PutDbfRecord(block, static_cast<int32_t>(r + 1));
  }
  CloseDbf(block);
  Select(Area);
  Use(path + " ALIAS " + Alias, nullptr, 0);
}

std::string ExprTest::Render(const CompiledExpr* E) {
  switch (E->ResultType) {
    case 'C':
    case 'M':
      return std::string(1, E->ResultType) + ":" + std::string(ResultText(E));
    case 'L':
      return ResultLogical(E) ? "L:T" : "L:F";
    case 'D': {
      char ymd[9] = {};
      expr::JdnToYyyymmdd(ResultNumber(E), ymd);
      return ResultNumber(E) == expr::kEmptyDate ? "D:empty" : std::string("D:") + ymd;
    }
    default: {
      char text[64];
      auto r = std::to_chars(text, text + sizeof text, ResultNumber(E));
      return "N:" + std::string(text, r.ptr);
    }
  }
}

std::string ExprTest::Eval(const std::string& Text) {
  const bool check = SetErrorCheck(false);
  CompiledExpr* e = AssignExpr(Text);
  SetErrorCheck(check);
  if (e == nullptr) return "compile error";
  std::string out;
  try {
    EvaluateExpr(e);
    out = Render(e);
  } catch (...) {
    FreeExpr(e);
    throw;
  }
  FreeExpr(e);
  return out;
}

std::string ExprTest::CompileError(const std::string& Text) {
  const bool check = SetErrorCheck(false);
  CompiledExpr* e = AssignExpr(Text);
  SetErrorCheck(check);
  if (e != nullptr) {
    FreeExpr(e);
    return "";
  }
  return Errors.ErrorDetail;
}

}  // namespace exprtest
