// No text and no data makes the compiler or the evaluator read or write outside their buffers
// (the sanitizer build runs these too): random well-typed expressions built from odd values,
// random byte strings as expression texts, and fields holding odd bytes.
#include <random>
#include <string>

#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "tests/expr/expr_test_env.h"

namespace exprtest {
namespace {

using namespace morvane;

class RobustnessTest : public ExprTest {
 protected:
  std::mt19937 rng_{20100401};

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  // A random expression of type T ('C', 'N', 'D' or 'L') of at most Depth levels.
  std::string Make(char T, int Depth) {
    const bool leaf = Depth <= 0 || Pick(3) == 0;
    switch (T) {
      case 'N': {
        static const char* leaves[] = {"0", "1", "2.5", "1E300", "255", "256", "65536",
                                       "999999999999", "pop", "rate", "(0 - 3)", "1E-300"};
        if (leaf) return leaves[Pick(12)];
        const std::string a = Make('N', Depth - 1), b = Make('N', Depth - 1);
        switch (Pick(16)) {
          case 0: return a + " + " + b;
          case 1: return a + " - " + b;
          case 2: return a + " * " + b;
          case 3: return a + " / " + b;
          case 4: return a + " ^ " + b;
          case 5: return "-" + a;
          case 6: return "MOD(" + a + ", " + b + ")";
          case 7: return "ROUND(" + a + ", " + b + ")";
          case 8: return "LEN(" + Make('C', Depth - 1) + ")";
          case 9: return "AT(" + Make('C', Depth - 1) + ", " + Make('C', Depth - 1) + ")";
          case 10: return "VAL(" + Make('C', Depth - 1) + ")";
          case 11: return "ASC(" + Make('C', Depth - 1) + ")";
          case 12: return Make('D', Depth - 1) + " - " + Make('D', Depth - 1);
          case 13: return "YEAR(" + Make('D', Depth - 1) + ") + DOW(" + Make('D', Depth - 1) + ")";
          case 14: return "MAX(" + a + ", " + b + ") + INT(" + a + ")";
          default: return "ABS(" + a + ")";
        }
      }
      case 'D': {
        static const char* leaves[] = {"born", "DATE()", "CTOD('')", "CTOD('12/31/9999')",
                                       "CTOD('01/01/0001')", "CTOD('xx')"};
        if (leaf) return leaves[Pick(6)];
        switch (Pick(3)) {
          case 0: return Make('D', Depth - 1) + " + " + Make('N', Depth - 1);
          case 1: return Make('D', Depth - 1) + " - " + Make('N', Depth - 1);
          default: return "CTOD(" + Make('C', Depth - 1) + ")";
        }
      }
      case 'L': {
        if (leaf) return Pick(2) ? ".T." : "ok";
        switch (Pick(6)) {
          case 0: return Make('C', Depth - 1) + " = " + Make('C', Depth - 1);
          case 1: return Make('C', Depth - 1) + " $ " + Make('C', Depth - 1);
          case 2: return Make('C', Depth - 1) + " < " + Make('C', Depth - 1);
          case 3: return Make('N', Depth - 1) + " >= " + Make('N', Depth - 1);
          case 4: return ".NOT. " + Make('L', Depth - 1);
          default: return "(" + Make('L', Depth - 1) + " .OR. DELETED())";
        }
      }
      default: {
        static const std::string longText = "'" + std::string(60, 'w') + " '";
        static const char* leaves[] = {"''", "' '", "name", "'AbC  '", "CHR(0)", "notes2"};
        if (leaf) return Pick(7) == 0 ? longText : leaves[Pick(6)];
        const std::string a = Make('C', Depth - 1);
        const std::string n = Make('N', Depth - 1), m = Make('N', Depth - 1);
        switch (Pick(18)) {
          case 0: return a + " + " + Make('C', Depth - 1);
          case 1: return a + " - " + Make('C', Depth - 1);
          case 2: return "LEFT(" + a + ", " + n + ")";
          case 3: return "RIGHT(" + a + ", " + n + ")";
          case 4: return "SUBSTR(" + a + ", " + n + ", " + m + ")";
          case 5: return "STUFF(" + a + ", " + n + ", " + m + ", " + Make('C', Depth - 1) + ")";
          case 6: return "REPLICATE(" + a + ", " + n + ")";
          case 7: return "SPACE(" + n + ")";
          case 8: return "STR(" + n + ", " + m + ", " + Make('N', Depth - 1) + ")";
          case 9: return "IIF(" + Make('L', Depth - 1) + ", " + a + ", " + Make('C', Depth - 1) + ")";
          case 10: return "UPPER(LTRIM(" + a + "))";
          case 11: return "TRIM(LOWER(" + a + "))";
          case 12: return "SOUNDEX(" + a + ")";
          case 13: return "DTOS(" + Make('D', Depth - 1) + ")";
          case 14: return "DTOC(" + Make('D', Depth - 1) + ")";
          case 15: return "CDOW(" + Make('D', Depth - 1) + ") + CMONTH(" + Make('D', Depth - 1) + ")";
          case 16: return "CHR(" + n + ")";
          default: return "STR(" + n + ")";
        }
      }
    }
  }

  void OpenOddTable() {
    OpenTable(1, "odd", "ODD",
              {{"NAME", 'C', 255, 0}, {"POP", 'N', 20, 0}, {"RATE", 'N', 12, 4},
               {"BORN", 'D', 8, 0}, {"OK", 'L', 1, 0}, {"NOTES2", 'C', 1, 0}},
              {{{std::string(255, 'n'), "1E308", "-99999999.99", "99991231", "T", "x"}},
               {{"", "", "", "", "", ""}},
               {{"\x01\xff\x7f", "-", "1.2.3", "00000000", "?", "\x01"}}});
  }
};

TEST_F(RobustnessTest, RandomExpressionsStayInsideTheirBuffers) {
  OpenOddTable();
  SetErrorCheck(false);  // domain errors and overflows go on with their fallback values
  int compiled = 0;
  for (int i = 0; i < 600; ++i) {
    const char type = "CNDL"[i % 4];
    const std::string text = Make(type, 1 + i % 5);
    SCOPED_TRACE(text);
    CompiledExpr* e = AssignExpr(text);
    if (e == nullptr) continue;  // longer than 256 characters, or too deep
    ++compiled;
    for (int record = 1; record <= 3; ++record) {
      Go(record);
      EvaluateExpr(e);
      if (e->ResultType == 'C') {
        ASSERT_LE(e->ResultTextLength, 255u);
        ASSERT_LT(e->ResultTextLength, e->PoolSize + 1u);
        ASSERT_EQ(static_cast<const char*>(e->ResultPointer)[e->ResultTextLength], '\0');
      }
    }
    FreeExpr(e);
  }
  EXPECT_GT(compiled, 300);
}

TEST_F(RobustnessTest, RandomBytesAreRejectedOrCompiledNeverMisread) {
  OpenOddTable();
  SetErrorCheck(false);
  const std::string alphabet = "()+-*/^$#=<>,.'\"  ABCDEFNOTRUabcnamepopborn0123456789E_->\t\x01\xff";
  for (int i = 0; i < 2000; ++i) {
    std::string text;
    const int length = Pick(300);
    for (int c = 0; c < length; ++c) text += alphabet[static_cast<size_t>(Pick(static_cast<int>(alphabet.size())))];
    CompiledExpr* e = AssignExpr(text);
    if (e != nullptr) {
      EvaluateExpr(e);
      FreeExpr(e);
    } else {
      ASSERT_EQ(Errors.DbfError, 351) << text;
      ASSERT_EQ(Errors.ErrorDetail.substr(0, 22), "Error in expression : ");
    }
  }
}

}  // namespace
}  // namespace exprtest
