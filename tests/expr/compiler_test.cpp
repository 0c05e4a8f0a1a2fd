// The compiler: result type, length, decimals and working-pool size of accepted texts, the exact
// messages of rejected ones, the error window, FreeExpr and CheckCondition.
#include <string>

#include "engine/dbf/workarea.h"
#include "engine/expr/expr_hooks.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "tests/expr/expr_test_env.h"

namespace exprtest {
namespace {

using namespace morvane;

class CompilerTest : public ExprTest {
 protected:
  void SetUp() override {
    ExprTest::SetUp();
    OpenTable(2, "geo", "GEO", {{"AREA", 'C', 5, 0}, {"LAND", 'N', 10, 3}}, {});
    OpenTable(1, "ax", "AX",
              {{"SUMLEV", 'C', 3, 0}, {"GEOCODE", 'C', 11, 0}, {"RACE", 'C', 1, 0},
               {"NAME", 'C', 20, 0}, {"STUSAB", 'C', 2, 0}, {"POP", 'N', 9, 0},
               {"RATE", 'N', 8, 2}, {"BORN", 'D', 8, 0}, {"X", 'L', 1, 0}, {"Y", 'L', 1, 0},
               {"UPPER", 'C', 5, 0}, {"SHARE", 'F', 12, 4}},
              {});
  }
};

struct Accepted {
  const char* text;
  char type;
  int length;
  int decimals;
  int pool;
};

TEST_F(CompilerTest, AcceptedTextsGetTheirResultAttributes) {
  const Accepted cases[] = {
      // C: the length only for a lone C field; the pool holds every C field and literal.
      {"sumlev + geocode + race", 'C', 0, 2, 18},
      {"name", 'C', 20, 2, 21},
      {"UPPER(name)", 'C', 20, 2, 21},
      {"geo->area", 'C', 5, 2, 6},
      {"'AB'", 'C', 0, 2, 3},
      {"sumlev + name", 'C', 0, 2, 25},
      // L and D results.
      {"race == 'A'", 'L', 1, 2, 4},
      {"race = \"A\"", 'L', 1, 2, 4},
      {"stusab='SC' .and. (sumlev='050' .or. sumlev='040')", 'L', 1, 2, 22},
      {".NOT. x = y", 'L', 1, 2, 0},
      {"born", 'D', 8, 2, 0},
      {"DATE()", 'D', 8, 2, 0},
      {"DELETED()", 'L', 1, 2, 0},
      // N: decimals from the first N field, else the default; the length of a lone N field.
      {"pop", 'N', 9, 0, 0},
      {"pop + 1", 'N', 13, 2, 0},
      {"rate", 'N', 8, 2, 0},
      {"share", 'N', 12, 4, 0},
      {"geo->land", 'N', 10, 3, 0},
      {"2 ^ 3 ^ 2", 'N', 13, 2, 0},
      {"-pop", 'N', 9, 0, 0},
      {"RECNO()", 'N', 13, 2, 0},
      // Keyword pool increments, also for abbreviations.
      {"STR(pop)", 'C', 0, 2, 256},
      {"STR(pop, 5)", 'C', 0, 2, 256},
      {"STR(pop, 5, 1)", 'C', 0, 2, 256},
      {"DTOS(born)", 'C', 8, 2, 9},   // the pool is the date field's length + 1
      {"DTOC(born)", 'C', 0, 2, 11},
      {"CDOW(born) + CMON(born)", 'C', 0, 2, 30},
      {"SOUN(name)", 'C', 0, 2, 36},
      {"REPL('x', 3)", 'C', 0, 2, 258},
      {"SPAC(2) + CHR(65)", 'C', 0, 2, 258},
      {"IIF(x, 'a', 'b')", 'C', 0, 2, 260},
      {"SUBS(name, 1, 2) + LEFT(race, 1)", 'C', 0, 2, 23},
      // A field named like a function is the function when "(" follows.
      {"UPPER(upper)", 'C', 5, 2, 6},
      {"upper", 'C', 5, 2, 6},
      // Words are upper-cased; numbers may carry an exponent.
      {"Race == 'a'", 'L', 1, 2, 4},
      {"1E3 + 1", 'N', 13, 2, 0},
      {"1E+5", 'N', 13, 2, 0},  // "1E" then "+5"
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(c.text);
    CompiledExpr* e = AssignExpr(c.text);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ResultType, c.type);
    EXPECT_EQ(e->ResultLength, c.length);
    EXPECT_EQ(e->ResultDecimals, c.decimals);
    EXPECT_EQ(e->PoolSize, c.pool);
    EXPECT_EQ(e->SourceText, c.text);
    FreeExpr(e);
    EXPECT_EQ(e, nullptr);
  }
}

struct Rejected {
  const char* text;
  const char* message;
};

TEST_F(CompilerTest, RejectedTextsReportTheirMessage) {
  const Rejected cases[] = {
      {"", "Syntax error"},
      {"   ", "Syntax error"},
      {"race = 'A", "Syntax error"},
      {"nosuch + race", "Syntax error"},
      {"zz->race", "Syntax error"},        // an alias that names no open area
      {"geo->nosuch", "Syntax error"},     // no such field in the aliased area
      {"ax->area", "Syntax error"},        // the field is in another area
      {"stusab='SC'.and.(sumlev='050'.or.sumlev='040')", "Syntax error"},
      {"A.AND.B", "Syntax error"},
      {".5 + 1", "Syntax error"},
      {"(race", "Syntax error"},
      {"race)", "Syntax error"},
      {"race + ", "Syntax error"},
      {"race ! 'A'", "Syntax error"},
      {"DATE", "Syntax error"},            // a function needs its parentheses
      {"SUBSTR(name, 1)", "Syntax error"}, // three arguments required
      {"ABS(1, 2)", "Syntax error"},
      {"STR(1, 2, 3, 4)", "Syntax error"},
      {"STR()", "Syntax error"},
      {"nosuch(1)", "Syntax error"},
      {"IIF(race = 'A', 1, 2)", "PARSER:Type mismatch in function \"IIF\""},
      {"STR('a')", "PARSER:Type mismatch in function \"STR\""},
      {"STR(1, 'a')", "PARSER:Type mismatch in function \"STR\""},
      {"MAX(1, born)", "PARSER:Type mismatch in function \"MAX\""},
      {"DTOS(1)", "PARSER:Type mismatch in function \"DTOS\""},
      {"UPPER(upper(1))", "PARSER:Type mismatch in function \"UPPER\""},
      {"SUBSTR(name, '1', 2)", "PARSER:Type mismatch in function \"SUBSTR\""},
      {"STUFF(name, 1, 2, 3)", "PARSER:Type mismatch in function \"STUFF\""},
      {".NOT. pop = y", "PARSER:Type mismatch in expression \".NOT.\""},
      {"race + 1", "PARSER:Type mismatch in expression \"+\""},
      {"born + born", "PARSER:Type mismatch in expression \"+\""},
      {"1 - born", "PARSER:Type mismatch in expression \"-\""},
      {"race * 2", "PARSER:Type mismatch in expression \"*\""},
      {"race / 2", "PARSER:Type mismatch in expression \"/\""},
      {"race ^ 2", "PARSER:Type mismatch in expression \"** or ^\""},
      {"race ** 2", "PARSER:Type mismatch in expression \"** or ^\""},
      {"pop = race", "PARSER:Type mismatch in expression \"=\""},
      {"pop $ race", "PARSER:Type mismatch in expression \"$\""},
      {"pop == 1", "PARSER:Type mismatch in expression \"==\""},
      {"x > y", "PARSER:Type mismatch in expression \">\""},
      {"x < y", "PARSER:Type mismatch in expression \"<\""},
      {"x >= y", "PARSER:Type mismatch in expression \">=\""},
      {"x <= y", "PARSER:Type mismatch in expression \"<=\""},
      {"pop <> race", "PARSER:Type mismatch in expression \"<>\""},
      {"pop # race", "PARSER:Type mismatch in expression \"<>\""},
      {"x .AND. 1", "PARSER:Type mismatch in expression \".AND.\""},
      {"1 .OR. x", "PARSER:Type mismatch in expression \".OR.\""},
      {"-race", "PARSER:Type mismatch in expression \"Unary -\""},
      {"+race", "PARSER:Type mismatch in expression \"Unary +\""},
      {"-2 ^ 'a'", "PARSER:Type mismatch in expression \"** or ^\""},
  };
  for (const Rejected& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string detail = CompileError(c.text);
    EXPECT_EQ(Errors.DbfError, 351);
    const std::string prefix = std::string("Error in expression : ") + c.message + "\r\n";
    EXPECT_EQ(detail.substr(0, prefix.size()), prefix) << detail;
    EXPECT_EQ(detail.substr(detail.size() - 15), "\r\n [AssignExpr]");
  }
}

TEST_F(CompilerTest, TheWindowShowsTheTextAroundTheScanPosition) {
  const Rejected cases[] = {
      // The whole short text.
      {"stusab='SC'.and.(sumlev='050'.or.sumlev='040')",
       "Error in expression : Syntax error\r\n"
       "[stusab='SC'.and.(sumlev='050'.or.sumlev='040')]\r\n [AssignExpr]"},
      // An early error in a long text: the first 51 characters, more follows.
      {"race + 1 + sumlev + geocode + name + stusab + sumlev + geocode",
       "Error in expression : PARSER:Type mismatch in expression \"+\"\r\n"
       "[race + 1 + sumlev + geocode + name + stusab + sumle...]\r\n [AssignExpr]"},
      // A late error: the 51 characters before the scan position.
      {"sumlev + geocode + race + name + stusab + sumlev + ) + geocode + race + name",
       "Error in expression : Syntax error\r\n"
       "[...umlev + geocode + race + name + stusab + sumlev + )...]\r\n [AssignExpr]"},
      {"sumlev + geocode + race + name + stusab + sumlev + geocode + race + )",
       "Error in expression : Syntax error\r\n"
       "[... race + name + stusab + sumlev + geocode + race + )]\r\n [AssignExpr]"},
  };
  for (const Rejected& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CompileError(c.text), c.message);
  }
}

TEST_F(CompilerTest, TheParserStackHoldsAtMost150Entries) {
  // Each "(" keeps one entry; "-(" two. Deep nesting fails with its own message, whatever
  // follows, and nothing stays allocated.
  for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
           {std::string(160, '(') + "1", "Parser_stack_overflow"},
           {std::string(200, '(') + "1" + std::string(56, ')'), "Parser_stack_overflow"},
           {[] { std::string t; for (int i = 0; i < 80; ++i) t += "-("; return t; }(),
            "Parser_stack_overflow"},
           {std::string(140, '(') + "1" + std::string(140, ')'), "Syntax error"},  // cut at 256
       }) {
    SCOPED_TRACE(text.size());
    const std::string detail = CompileError(text);
    EXPECT_EQ(detail.substr(0, 22 + message.size()), "Error in expression : " + message);
  }
  // The deepest nesting that fits in 256 characters compiles.
  const std::string deep = std::string(127, '(') + "1" + std::string(127, ')');
  CompiledExpr* e = AssignExpr(deep);
  ASSERT_NE(e, nullptr);
  EvaluateExpr(e);
  EXPECT_EQ(ResultNumber(e), 1);
  FreeExpr(e);
}

TEST_F(CompilerTest, OnlyTheFirst256CharactersAreScanned) {
  // A literal of 254 characters fills the text: what comes after it is never seen.
  const std::string literal = "'" + std::string(254, 'x') + "'";
  CompiledExpr* e = AssignExpr(literal + " + nosuch");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->PoolSize, 255);
  EvaluateExpr(e);
  EXPECT_EQ(ResultText(e), std::string(254, 'x'));
  FreeExpr(e);
  // A closing quote beyond the 256th character is not seen: the literal is unterminated.
  EXPECT_NE(CompileError("'" + std::string(255, 'x') + "'").find("Syntax error"), std::string::npos);
}

TEST_F(CompilerTest, ErrorsRaiseWithErrorCheckingOnAndAPendingParserErrorIsCleared) {
  try {
    AssignExpr("race +");
    FAIL() << "no exception";
  } catch (const EMorvaneError& e) {
    EXPECT_NE(std::string(e.what()).find("Error in expression : Syntax error"), std::string::npos);
  }
  EXPECT_EQ(Errors.DbfError, 351);
  CompiledExpr* e = AssignExpr("race");  // clears the pending 351
  EXPECT_EQ(Errors.DbfError, 0);
  FreeExpr(e);
  Errors.DbfError = 215;  // a code outside 350..363 stays
  e = AssignExpr("race");
  EXPECT_EQ(Errors.DbfError, 215);
  FreeExpr(e);
}

TEST_F(CompilerTest, FreeExprIgnoresUnknownHandles) {
  CompiledExpr* e = AssignExpr("race");
  CompiledExpr* copy = e;
  EXPECT_TRUE(IsLiveExpr(e));
  FreeExpr(e);
  EXPECT_EQ(e, nullptr);
  EXPECT_FALSE(IsLiveExpr(copy));
  FreeExpr(copy);  // already freed: ignored, the variable is left as it is
  EXPECT_NE(copy, nullptr);
  CompiledExpr* none = nullptr;
  FreeExpr(none);
  CompiledExpr stranger;  // never compiled
  CompiledExpr* p = &stranger;
  FreeExpr(p);
  EXPECT_EQ(p, &stranger);
  EXPECT_EQ(EvaluateExpr(nullptr), nullptr);
}

TEST_F(CompilerTest, FreeingTheCurrentKeyExpressionEmptiesTheSlot) {
  CurrentKeyExpr = AssignExpr("sumlev + race");
  ASSERT_NE(EvaluateCurrentExpr(), nullptr);
  CompiledExpr* alias = CurrentKeyExpr;
  FreeExpr(alias);
  EXPECT_EQ(CurrentKeyExpr, nullptr);
  EXPECT_EQ(EvaluateCurrentExpr(), nullptr);
}

TEST_F(CompilerTest, CheckConditionTellsLogicalConditionsFromTheRest) {
  const std::pair<const char*, int> cases[] = {
      {"race = 'A'", 0},
      {"x .AND. .NOT. y   ", 0},
      {"race", 362},
      {"pop + 1", 362},
      {"", 359},
      {"    ", 359},
      {"race +", 351},
      {"IIF(x, 1, 2)", 351},
  };
  for (const auto& [text, code] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(CheckCondition(text), code);
    EXPECT_EQ(Errors.DbfError, 0);
    EXPECT_TRUE(Errors.ErrorCheck);  // restored
    EXPECT_EQ(ExprConfig.MemoExprSize, 256);
  }
}

TEST_F(CompilerTest, StartUpInstallsTheHooksAndFreesWhatIsLeft) {
  EXPECT_TRUE(ParserLinked);
  ASSERT_NE(ExprHooks.CompileExprHook, nullptr);
  CompiledExpr* e = ExprHooks.CompileExprHook("race == 'A'");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(*static_cast<const int32_t*>(ExprHooks.EvaluateExprHook(e)), 0);
  CurrentKeyExpr = e;
  EXPECT_NE(ExprHooks.EvaluateCurrentHook(), nullptr);
  CompiledExpr* leftOver = AssignExpr("sumlev");
  EngineStartup();  // frees every live expression (the leak checker would tell otherwise)
  EXPECT_FALSE(IsLiveExpr(leftOver));
  EXPECT_EQ(CurrentKeyExpr, nullptr);
  ExprHooks.FreeExprHook(e);  // the owner's late free is ignored
  SetRaiseErrors(true);
}

TEST_F(CompilerTest, DefaultDecimalsDecideUnsetDecimals) {
  ExprConfig.DefaultDecimals = 4;
  CompiledExpr* e = AssignExpr("1 + 2");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->ResultDecimals, 4);
  EXPECT_EQ(e->ResultLength, 15);
  FreeExpr(e);
  e = AssignExpr("pop + rate");  // the second N field takes the default
  EXPECT_EQ(e->ResultDecimals, 4);
  FreeExpr(e);
}

}  // namespace
}  // namespace exprtest
