// Shared fixture of the expression tests: a fresh engine per test (English, United States
// conventions, errors raised as EMorvaneError), small tables built in a private folder, and
// helpers that compile and evaluate a text and render the value as "<type>:<value>".
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/expr/xqparser.h"
#include "tests/support/test_support.h"

namespace exprtest {

struct Column {
  const char* name;
  char type;
  int width;
  int decimals;
};

// One record: the deletion flag and the field texts (C, D, L left-aligned, N, F, M
// right-aligned; each padded or cut to the field's width).
struct Row {
  std::vector<std::string> values;
  bool deleted = false;
};

class ExprTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates Name.dbf with the columns and rows and opens it in area Area under Alias (the
  // current area is Area afterwards).
  void OpenTable(int Area, const std::string& Name, const std::string& Alias,
                 const std::vector<Column>& Columns, const std::vector<Row>& Rows);

  // The value of an expression as "C:text", "N:number" (shortest form), "L:T"/"L:F", "D:YYYYMMDD"
  // or "D:empty"; "compile error" when the text does not compile.
  std::string Eval(const std::string& Text);
  // Renders the last value of a compiled expression as Eval does.
  static std::string Render(const morvane::CompiledExpr* E);

  // The detail of the compile error of Text (error checking off), "" when it compiles.
  std::string CompileError(const std::string& Text);

  testsupport::TempDir dir_;
};

}  // namespace exprtest
