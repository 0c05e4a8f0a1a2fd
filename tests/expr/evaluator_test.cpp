// The evaluator: every operator and function with the values that decide it, date texts in
// the national conventions, evaluation errors with and without error checking, and the
// working pool's limits.
#include <string>

#include "engine/util/dates.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "tests/expr/expr_test_env.h"

namespace exprtest {
namespace {

using namespace morvane;

class EvaluatorTest : public ExprTest {};

struct Case {
  const char* text;
  std::string value;  // as ExprTest::Eval renders it
};

TEST_F(EvaluatorTest, OperatorsFollowTheirValueSemantics) {
  const Case cases[] = {
      // Precedence and associativity.
      {"2 ^ 3 ^ 2", "N:64"},
      {"2 ** 3 ** 2", "N:64"},
      {"-2 * 3 + 1", "N:-5"},
      {"7 - 2 - 1", "N:4"},
      {"-2 ^ 2", "N:4"},           // (-2) ^ 2
      {"2 * 3 ^ 2", "N:18"},
      {"1 + 2 * 3", "N:7"},
      {"(1 + 2) * 3", "N:9"},
      {"8 / 2 / 2", "N:2"},
      {"+5", "N:5"},
      {"- -5", "N:5"},
      {"1E+5", "N:6"},             // "1E" is 1, then "+ 5"
      {"1.5E2", "N:150"},
      {"1.2.3", "compile error"},  // "1.2" then the word ".3"
      {"0.5 + 0.25 = 0.75", "L:T"},
      // The power operator, also for a base of 0 or below.
      {"0 ^ 2", "N:0"},
      {"0 ^ 0", "N:1"},
      {"0 ^ 0.5", "N:0"},
      {"(-2) ^ 3", "N:-8"},
      {"(-2) ^ -2", "N:0.25"},
      {"4 ^ 0.5", "N:2"},
      // Texts: "=" is a prefix test, "==" exact, "<>" exact inequality.
      {"'ABC' = 'AB'", "L:T"},
      {"'AB' = 'ABC'", "L:F"},
      {"'' = ''", "L:F"},
      {"'ABC' = ''", "L:F"},
      {"'ABC' == 'ABC'", "L:T"},
      {"'ABC' == 'AB'", "L:F"},
      {"'ABC' == 'ABC '", "L:F"},
      {"'ABC' <> 'AB'", "L:T"},    // so "<>" is not the negation of "="
      {"'ABC' # 'ABC'", "L:F"},
      {"'' <> ''", "L:F"},
      {"'ABC' $ 'XABCY'", "L:T"},
      {"'' $ 'XABCY'", "L:F"},
      {"'ABD' $ 'XABCY'", "L:F"},
      {"'AB' < 'ABC'", "L:T"},
      {"'B' > 'ABC'", "L:T"},
      {"'ABC' <= 'ABC'", "L:T"},
      {"'ABC' >= 'ABD'", "L:F"},
      {"CHR(200) > 'z'", "L:T"},   // bytes compare unsigned
      {"'a' < 'B'", "L:F"},
      // Concatenation; "-" moves the left text's trailing blanks to the end.
      {"'AB ' + 'C'", "C:AB C"},
      {"'ABC' - 'X'", "C:ABCX"},
      {"'AB  ' - 'X'", "C:ABX  "},
      {"'   ' - 'X'", "C:X   "},
      {"'' - ''", "C:"},
      {"'A' + '' + 'B'", "C:AB"},
      // Numbers, dates and logicals.
      {"3 = 3", "L:T"},
      {"3 <> 3", "L:F"},
      {"2 < 3 .AND. 3 <= 3 .AND. 4 > 3 .AND. 3 >= 3", "L:T"},
      {".T. .AND. .F.", "L:F"},
      {".T. .OR. .F.", "L:T"},
      {".F. .OR. .F.", "L:F"},
      {".NOT. .T.", "L:F"},
      {".NOT. .F. = .T.", "L:T"},  // (.NOT. .F.) = .T.
      {".T. = .F.", "L:F"},
      {".T. # .F.", "L:T"},
      {".t. .and. .T.", "L:T"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Eval(c.text), c.value);
  }
}

TEST_F(EvaluatorTest, FunctionsGiveTheirResultsAtTheEdges) {
  const Case cases[] = {
      {"ABS(-3.5)", "N:3.5"},
      {"ASC('A')", "N:65"},
      {"ASC(CHR(233))", "N:233"},
      {"ASC('')", "N:0"},
      {"AT('C', 'ABC')", "N:3"},
      {"AT('BC', 'ABCBC')", "N:2"},
      {"AT('', 'ABC')", "N:0"},
      {"AT('X', 'ABC')", "N:0"},
      {"CHR(65)", "C:A"},
      {"CHR(321)", "C:A"},         // the low byte
      {"INT(-2.7)", "N:-2"},
      {"INT(2.7)", "N:2"},
      {"IIF(.T., 'a', 'bc')", "C:a"},
      {"IIF(.F., 'a', 'bc')", "C:bc"},
      {"IIF(1 > 2, 'yes', 'no') + '!'", "C:no!"},
      {"LEFT('ABC', 2)", "C:AB"},
      {"LEFT('ABC', 5)", "C:ABC"},
      {"LEFT('ABC', 0)", "C:"},
      {"LEFT('ABC', -1)", "C:"},
      {"LEN('AB  ')", "N:4"},
      {"LEN('')", "N:0"},
      {"LOWER('AbC1')", "C:abc1"},
      {"UPPER('aBc1')", "C:ABC1"},
      {"UPPER(CHR(233)) = CHR(201)", "L:T"},  // accented letters of the ANSI page
      {"LTRIM('  a ')", "C:a "},
      {"RTRIM(' a  ')", "C: a"},
      {"TRIM(' a  ')", "C: a"},
      {"TRIM('   ')", "C:"},
      {"MAX(1, 2)", "N:2"},
      {"MIN(1, 2)", "N:1"},
      {"MAX(-1, -2)", "N:-1"},
      {"MOD(7, 3)", "N:1"},
      {"MOD(-7, 3)", "N:-1"},
      {"MOD(7, -3)", "N:1"},
      {"MOD(7.9, 2.5)", "N:1"},    // both taken toward zero first
      {"MOD(5, -1)", "N:0"},
      {"REPLICATE('ab', 3)", "C:ababab"},
      {"REPLICATE('ab', 0)", "C:"},
      {"REPLICATE('ab', -2)", "C:"},
      {"REPLICATE('', 5)", "C:"},
      {"RIGHT('ABC', 2)", "C:BC"},
      {"RIGHT('ABC', 0)", "C:"},
      {"RIGHT('ABC', -1)", "C:ABC"},
      {"RIGHT('ABC', 3)", "C:ABC"},
      {"RIGHT('ABC', 9)", "C:ABC"},
      // ROUND rounds half away from zero on the number as its decimal text reads.
      {"ROUND(2.567, 2)", "N:2.57"},
      {"ROUND(2.345, 2)", "N:2.35"},
      {"ROUND(-2.567, 1)", "N:-2.6"},
      {"ROUND(1.005, 2)", "N:1.01"},
      {"ROUND(2.5, 0)", "N:3"},
      {"ROUND(-2.5, 0)", "N:-3"},
      {"ROUND(2.4, 0)", "N:2"},
      {"ROUND(1234.5, -2)", "N:1235"},  // no more than whole numbers
      {"ROUND(9.995, 2)", "N:10"},
      {"ROUND(0.006, 2)", "N:0.01"},
      {"ROUND(0.004, 2)", "N:0"},
      {"ROUND(123.456, 5)", "N:123.456"},
      {"ROUND(1E300 * 10, 2)", "N:1e+301"},
      {"SOUNDEX('Robert')", "C:R163"},
      {"SOUNDEX('Rupert')", "C:R163"},
      {"SOUNDEX('tymczak')", "C:T522"},
      {"SOUNDEX('Lee')", "C:L000"},
      {"SOUNDEX('Ashcraft')", "C:A226"},  // H does not separate, in this code
      {"SOUNDEX('1abc')", "C:1120"},      // the first character whatever it is
      {"SOUNDEX('')", "C:0000"},
      {"SPACE(3)", "C:   "},
      {"SPACE(0)", "C:"},
      {"SPACE(-4)", "C:"},
      {"STR(3.7)", "C:         4"},
      {"STR(123456, 3)", "C:***"},
      {"STR(3.14159, 6, 2)", "C:  3.14"},
      {"STR(2.5)", "C:         3"},     // ties away from zero, as ROUND
      {"STR(2.345, 4, 2)", "C:2.35"},
      {"STR(-0.4)", "C:         0"},
      {"STR(-1.5, 5, 1)", "C: -1.5"},
      {"STR(1, 0)", "C:"},
      {"STR(1, -3)", "C:"},
      {"STR(12, 2)", "C:12"},
      {"STR(1.5, 3, 9)", "C:***"},
      {"STR(1E300)", "C:**********"},
      {"STR(0 - 1E300 * 1E300)", "C:**********"},  // minus infinity
      {"STUFF('ABCDE', 2, 3, 'xy')", "C:AxyE"},
      {"STUFF('ABC', 0, 1, 'x')", "C:xABC"},
      {"STUFF('ABC', 9, 1, 'x')", "C:ABCx"},
      {"STUFF('ABC', 2, 0, 'x')", "C:AxBC"},
      {"STUFF('ABC', 2, -1, 'x')", "C:AxBC"},
      {"STUFF('ABC', 2, 9, 'x')", "C:Ax"},
      {"STUFF('ABC', 4, 1, '')", "C:ABC"},
      {"SUBSTR('ABCDE', 0, 3)", "C:ABC"},
      {"SUBSTR('ABCDE', -5, 2)", "C:AB"},
      {"SUBSTR('ABCDE', 99, 3)", "C:"},
      {"SUBSTR('ABCDE', 2, 99)", "C:BCDE"},
      {"SUBSTR('ABCDE', 2, -1)", "C:"},
      {"SUBSTR('ABCDE', 5, 1)", "C:E"},
      {"SUBSTR('ABCDE', 6, 1)", "C:"},
      {"VAL('  12.5xyz  ')", "N:12.5"},
      {"VAL('')", "N:0"},
      {"VAL('-3')", "N:-3"},
      {"VAL('+3')", "N:3"},
      {"VAL('abc')", "N:0"},
      {"VAL('1E3')", "N:1000"},
      {"VAL('1E')", "N:1"},
      {"VAL('.5')", "N:0.5"},
      {"VAL('-')", "N:0"},
      {"VAL('1E999')", "N:inf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Eval(c.text), c.value);
  }
}

TEST_F(EvaluatorTest, DatesAreJulianDayNumbers) {
  // English, United States: convention 0, century off, two-digit years in the window.
  const Case cases[] = {
      {"DTOS(CTOD(''))", "C:        "},
      {"CTOD('  /  /  ')", "D:empty"},
      {"CTOD('02/29/2000')", "D:20000229"},
      {"CTOD('02/29/1900')", "D:empty"},
      {"CTOD('13/01/2000')", "D:empty"},
      {"CTOD('1/2/2011')", "D:20110102"},
      {"CTOD('01/01/0001') - CTOD('12/31/9999')", "N:-3652058"},
      {"CTOD('12/31/2010') + 1", "D:20110101"},
      {"1 + CTOD('02/28/2000')", "D:20000229"},
      {"CTOD('03/01/2000') - CTOD('02/28/2000')", "N:2"},
      {"CTOD('01/01/2000') - 1", "D:19991231"},
      {"CTOD('01/01/2000') > CTOD('12/31/1999')", "L:T"},
      {"CTOD('01/01/2000') = CTOD('1/1/2000')", "L:T"},
      {"MAX(CTOD('01/02/2010'), CTOD('01/01/2010'))", "D:20100102"},
      {"MIN(CTOD('01/02/2010'), CTOD(''))", "D:20100102"},
      {"DTOS(CTOD('01/01/0001') - 1)", "C:        "},
      {"DTOS(CTOD('12/31/9999') + 1)", "C:        "},
      {"DTOS(CTOD('01/01/0001'))", "C:00010101"},
      {"DTOS(CTOD('12/31/9999'))", "C:99991231"},
      {"DAY(CTOD('01/31/2011'))", "N:31"},
      {"MONTH(CTOD('01/31/2011'))", "N:1"},
      {"YEAR(CTOD('01/31/2011'))", "N:11"},   // as written with the century switch off
      {"DAY(CTOD(''))", "N:0"},
      {"YEAR(CTOD(''))", "N:0"},
      {"DOW(CTOD('01/01/2000'))", "N:7"},
      {"DOW(CTOD('01/02/2000'))", "N:1"},
      {"DOW(CTOD('01/01/1900'))", "N:2"},     // the weekday of the date itself, in any century
      {"DOW(CTOD(''))", "N:0"},
      {"CDOW(CTOD('01/01/2000'))", "C:Saturday "},
      {"CDOW(CTOD('01/01/1900'))", "C:Monday   "},
      {"CDOW(CTOD(''))", "C:          "},
      {"CMONTH(CTOD('02/01/2000'))", "C:February "},
      {"CMONTH(CTOD(''))", "C:         "},
      {"DTOC(CTOD('01/31/2011'))", "C:01/31/11"},
      {"DTOC(CTOD(''))", "C:  /  /  "},
      {"DTOS(DATE()) = DTOS(DATE())", "L:T"},
      {"LEN(DTOS(DATE()))", "N:8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Eval(c.text), c.value);
  }
}

TEST_F(EvaluatorTest, DateTextsFollowTheConvention) {
  struct ConventionCase {
    int convention;
    bool century;
    const char* ctod;   // a text of 31 January 2011 in the convention
    const char* dtoc;   // DTOC of it
    const char* blank;  // DTOC of the empty date
  };
  const ConventionCase cases[] = {
      {0, false, "01/31/11", "01/31/11", "  /  /  "},
      {0, true, "01/31/2011", "01/31/2011", "  /  /    "},
      {1, false, "11.01.31", "11.01.31", "  .  .  "},
      {1, true, "2011.01.31", "2011.01.31", "    .  .  "},
      {2, false, "31/01/11", "31/01/11", "  /  /  "},
      {3, false, "31-01-11", "31-01-11", "  -  -  "},
      {4, false, "31.01.11", "31.01.11", "  .  .  "},
      {5, true, "31.01.2011", "31.01.2011", "  .  .    "},
      {6, false, "31.01.11", "31.01.11", "  .  .  "},
      {7, false, "31.01.11", "", ""},
      {8, false, "31.01.11", "31/01/11", "  /  /  "},
  };
  for (const ConventionCase& c : cases) {
    SCOPED_TRACE(c.convention);
    SetDateConvention(c.convention);
    SetCenturyOn(c.century);
    EXPECT_EQ(Eval(std::string("DTOS(CTOD('") + c.ctod + "'))"), "C:20110131");
    EXPECT_EQ(Eval(std::string("DTOC(CTOD('") + c.ctod + "'))"), std::string("C:") + c.dtoc);
    EXPECT_EQ(Eval("DTOC(CTOD(''))"), std::string("C:") + c.blank);
    EXPECT_EQ(Eval(std::string("YEAR(CTOD('") + c.ctod + "'))"), c.century ? "N:2011" : "N:11");
  }
  SetDateConvention(5);
  SetCenturyOn(false);
  EXPECT_EQ(Eval("CDOW(CTOD('01.01.2000'))"), "C:Samstag   ");
  EXPECT_EQ(Eval("CMONTH(CTOD('01.01.2000'))"), "C:Januar   ");
}

TEST_F(EvaluatorTest, DivisionByZeroIsReported) {
  for (const char* text : {"1 / 0", "MOD(7, 0)", "MOD(7, 0.5)", "0 ^ -1"}) {
    SCOPED_TRACE(text);
    CompiledExpr* e = AssignExpr(text);
    ASSERT_NE(e, nullptr);
    try {
      EvaluateExpr(e);
      ADD_FAILURE() << "no exception";
    } catch (const EMorvaneError& x) {
      EXPECT_EQ(std::string(x.what()),
                "Error # 358 (Undefined error)\r\nError during evaluation: Divide by 0 "
                "[Evaluate/Engine]");
    }
    // With error checking off the quotient is 1e250 and the evaluation goes on.
    SetErrorCheck(false);
    EvaluateExpr(e);
    EXPECT_EQ(ResultNumber(e), 1e250);
    EXPECT_EQ(Errors.DbfError, 358);
    SetErrorCheck(true);
    FreeExpr(e);
  }
  SetErrorCheck(false);
  EXPECT_EQ(Eval("STR(1 / 0 - 1E250)"), "C:         0");
}

TEST_F(EvaluatorTest, APowerWithoutARealValueIsADomainError) {
  SetErrorCheck(false);
  EXPECT_EQ(Eval("(-8) ^ (1 / 3)"), "N:0");
  EXPECT_EQ(Errors.DbfError, 358);
  EXPECT_EQ(TakeErrorDetail(),
            "Error during evaluation: Power of a negative number with a fractional exponent "
            "[Evaluate/Engine]");
}

TEST_F(EvaluatorTest, LongTextsStopAt255Characters) {
  const std::string x255(255, 'x');
  std::string xy255, ab100;
  for (int i = 0; i < 255; ++i) xy255 += "xy"[i % 2];
  for (int i = 0; i < 100; ++i) ab100 += "ab";
  const Case cases[] = {
      {"REPLICATE('x', 300)", "C:" + x255},
      {"REPLICATE('xy', 1E300)", "C:" + xy255},
      {"SPACE(1E20)", "C:" + std::string(255, ' ')},
      {"SPACE(200) + SPACE(200)", "C:" + std::string(255, ' ')},
      {"REPLICATE('ab', 100) + SPACE(10) - REPLICATE('c', 100)",
       "C:" + ab100 + std::string(55, 'c')},
      {"LEN(SPACE(200) + SPACE(200))", "N:255"},
      {"STUFF(SPACE(200), 1, 0, SPACE(200))", "C:" + std::string(255, ' ')},
      {"STR(1, 300)", "C:" + std::string(254, ' ') + "1"},
      {"LEFT(SPACE(10), 1E20)", "C:" + std::string(10, ' ')},
      {"SUBSTR('ABC', -1E20, 1E20)", "C:ABC"},
      {"CHR(-1) = CHR(255)", "L:T"},
      {"MOD(1E300, 7) >= 0", "L:T"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Eval(c.text), c.value);
  }
}

TEST_F(EvaluatorTest, APoolTooSmallIsReportedAndNeverOverrun) {
  // A pool smaller than the estimate (as a wrong estimate would give): the evaluation reports
  // the overflow and, with error checking off, goes on with the texts cut to what fits.
  CompiledExpr* e = AssignExpr("'abcdef' + 'ghij'");
  ASSERT_NE(e, nullptr);
  const std::pair<uint32_t, const char*> sizes[] = {
      {0, ""}, {1, ""}, {4, "abc"}, {8, "abcdef"}, {11, "abcdefghi"}};
  for (const auto& [size, cut] : sizes) {
    SCOPED_TRACE(size);
    e->Code.poolSize = size;
    e->Code.pool = std::make_unique<char[]>(size + 1);
    e->ResultPointer = e->Code.pool.get();
    EXPECT_THROW(EvaluateExpr(e), EMorvaneError);
    SetErrorCheck(false);
    EvaluateExpr(e);
    EXPECT_EQ(Errors.DbfError, 354);
    EXPECT_EQ(TakeErrorDetail(), "Working pool overflow [PARSER/Allocate]");
    EXPECT_EQ(ResultText(e), cut);
    EXPECT_EQ(static_cast<const char*>(e->ResultPointer)[ResultText(e).size()], '\0');
    SetErrorCheck(true);
  }
  FreeExpr(e);
}

}  // namespace
}  // namespace exprtest
