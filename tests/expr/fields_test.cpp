// Field values in expressions: every field type on a live record, on the blank record of an
// empty table and at end of file, aliased fields of another area, RECNO(), DELETED(), memo
// texts, and expressions that outlive the table they were compiled against.
#include <string>

#include "engine/dbf/engine_hooks.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "tests/expr/expr_test_env.h"

namespace exprtest {
namespace {

using namespace morvane;

const std::vector<Column> kColumns = {
    {"NAME", 'C', 8, 0},  {"POP", 'N', 9, 0},  {"RATE", 'N', 7, 2}, {"SHARE", 'F', 10, 4},
    {"BORN", 'D', 8, 0},  {"OK", 'L', 1, 0},   {"NOTES", 'M', 10, 0},
};

// One expression over every field type.
const char* kAll =
    "name + '|' + STR(pop, 9) + '|' + STR(rate, 7, 2) + '|' + STR(share, 10, 4) + '|' + "
    "DTOS(born) + '|' + IIF(ok, 'T', 'F')";

class FieldsTest : public ExprTest {
 protected:
  static bool ReadMemo(int32_t Block, std::string& Text) {
    if (Block == 7) Text = "first line\r\nsecond\x8D\nline\r\n";
    if (Block == 8) Text = std::string(300, 'm') + "\r\nend";
    return Block == 7 || Block == 8;
  }
};

TEST_F(FieldsTest, EveryFieldTypeReadsFromTheCurrentRecord) {
  OpenTable(1, "people", "PEOPLE", kColumns,
            {{{"Ann", "1234", "12.50", "-0.1250", "20100105", "T", "7"}},
             {{"Bob   ", "", "", "", "", "y", ""}, true},
             {{"Cy", "x12", "1e2", " 3.5 ", "2010013X", "N", "0"}}});
  CompiledExpr* e = AssignExpr(kAll);
  ASSERT_NE(e, nullptr);
  struct Expect {
    int record;
    std::string value;
  };
  const Expect cases[] = {
      {1, "Ann     |     1234|  12.50|   -0.1250|20100105|T"},
      {2, "Bob     |        0|   0.00|    0.0000|        |T"},  // blank numbers and date
      {3, "Cy      |        0| 100.00|    3.5000|        |F"},  // not a number, not a date
  };
  for (const Expect& c : cases) {
    SCOPED_TRACE(c.record);
    Go(c.record);
    EvaluateExpr(e);
    EXPECT_EQ(ResultText(e), c.value);
  }
  FreeExpr(e);

  Go(2);
  EXPECT_EQ(Eval("DELETED()"), "L:T");
  EXPECT_EQ(Eval("RECNO()"), "N:2");
  EXPECT_EQ(Eval("name"), "C:Bob     ");  // trailing blanks kept
  EXPECT_EQ(Eval("born"), "D:empty");
  Go(1);
  EXPECT_EQ(Eval("DELETED()"), "L:F");
  EXPECT_EQ(Eval("born + 30"), "D:20100204");
  EXPECT_EQ(Eval("pop * rate"), "N:15425");
  EXPECT_EQ(Eval("share"), "N:-0.125");
  EXPECT_EQ(Eval("ok .AND. name = 'An'"), "L:T");
}

TEST_F(FieldsTest, AnEmptyTableAndTheEndOfFileReadBlank) {
  OpenTable(1, "empty", "EMPTY", kColumns, {});
  EXPECT_EQ(Eval(kAll), "C:        |        0|   0.00|    0.0000|        |F");
  EXPECT_EQ(Eval("RECNO()"), "N:0");
  EXPECT_EQ(Eval("DELETED()"), "L:F");

  OpenTable(1, "one", "ONE", kColumns,
            {{{"Ann", "1234", "12.50", "1", "20100105", "T", "7"}}});
  CompiledExpr* e = AssignExpr("name + DTOS(born)");
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), "Ann     20100105");
  Skip(1);  // the phantom end position holds a blank record
  ASSERT_TRUE(dEOF());
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), "                ");
  // BlankFieldsAtEof makes the fields blank at end of file whatever the record buffer holds.
  WorkArea* area = CurrentWorkArea();
  std::copy_n("Ann", 3, area->Table.Record() + 1);
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), "Ann             ");
  ExprConfig.BlankFieldsAtEof = true;
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), "                ");
  FreeExpr(e);
}

TEST_F(FieldsTest, AliasedFieldsReadTheirOwnArea) {
  OpenTable(2, "geo", "GEO", {{"AREA", 'C', 5, 0}, {"LAND", 'N', 10, 3}},
            {{{"north", "1.5"}}, {{"south", "2.25"}}});
  OpenTable(1, "ax", "AX", {{"RACE", 'C', 1, 0}}, {{{"A"}}, {{"B"}}, {{"C"}}});
  CompiledExpr* e = AssignExpr("race + geo->area + STR(geo->land * 100, 4) + STR(RECNO(), 2)");
  ASSERT_NE(e, nullptr);
  Go(3);
  Select(2);
  Go(2);
  Select(1);
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), "Csouth 225 3");
  // Unaliased fields and RECNO() follow the area that is current at evaluation.
  Select(2);
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), "ssouth 225 2");
  Select(1);
  FreeExpr(e);
}

TEST_F(FieldsTest, AnExpressionOutlivingItsTableReadsBlank) {
  OpenTable(2, "geo", "GEO", {{"AREA", 'C', 5, 0}}, {{{"north"}}});
  OpenTable(1, "ax", "AX", {{"RACE", 'C', 1, 0}, {"POP", 'N', 5, 0}}, {{{"A", "12"}}});
  CompiledExpr* e = AssignExpr("race + geo->area + STR(pop, 3)");
  ASSERT_NE(e, nullptr);
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), "Anorth 12");
  // Another table in area 2 with a shorter first field, then none in area 1: nothing is read
  // outside the records, the missing fields read blank, and the pool stays as sized.
  OpenTable(2, "geo2", "GEO", {{"X", 'C', 2, 0}}, {{{"zz"}}});
  Select(1);
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), "Azz    12");
  CloseArea();
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), " zz     0");
  FreeExpr(e);
}

TEST_F(FieldsTest, MemoFieldsReadTheirParagraphsUpToThePoolSize) {
  OpenTable(1, "memo", "MEMO", kColumns,
            {{{"Ann", "", "", "", "", "", "7"}}, {{"Bob", "", "", "", "", "", "8"}},
             {{"Cy", "", "", "", "", "", ""}}});
  MemoHooks.ReadMemoText = &ReadMemo;
  CompiledExpr* e = AssignExpr("notes");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->ResultType, 'M');
  EXPECT_EQ(e->PoolSize, 256);
  EXPECT_EQ(e->ResultLength, 256);
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), "first linesecondline");
  Go(2);  // a paragraph gives at most 255 characters; the pool ends the text
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), std::string(255, 'm'));
  Go(3);
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), "");
  FreeExpr(e);

  ExprConfig.MemoExprSize = 300;
  e = AssignExpr("notes");
  Go(2);
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), std::string(255, 'm') + "end");
  FreeExpr(e);
  ExprConfig.MemoExprSize = 5;
  e = AssignExpr("notes");
  Go(1);
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), "firs");
  FreeExpr(e);
  // A memo is only ever the whole expression.
  EXPECT_EQ(Eval("notes + 'x'"), "compile error");
}

}  // namespace
}  // namespace exprtest
