// Evaluation allocates nothing: index building evaluates a key once per record, so every
// buffer an evaluation uses is sized when the expression is compiled. This suite counts the
// program's allocations around repeated evaluations.
#include <atomic>
#include <cstdlib>
#include <new>

#include "engine/dbf/workarea.h"
#include "tests/expr/expr_test_env.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

// Every unaligned allocation function is replaced, so that each new meets its own delete.
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace exprtest {
namespace {

using namespace morvane;

class AllocationTest : public ExprTest {};

TEST_F(AllocationTest, EvaluationAllocatesNothing) {
  OpenTable(1, "ax", "AX",
            {{"SUMLEV", 'C', 3, 0}, {"GEOCODE", 'C', 11, 0}, {"RACE", 'C', 1, 0},
             {"POP", 'N', 9, 0}, {"BORN", 'D', 8, 0}, {"OK", 'L', 1, 0}},
            {{{"050", "45001......", "A", "1234", "20100105", "T"}},
             {{"040", "45.........", "B", "99", "", "F"}}});
  const char* texts[] = {
      "sumlev + geocode + race",
      "race == \"A\"",
      "geocode = '45' .OR. (sumlev = '050' .AND. .NOT. ok)",
      "UPPER(LOWER(geocode)) - TRIM(sumlev) + LTRIM(RTRIM(race)) + SUBSTR(geocode, 2, 3)",
      "LEFT(geocode, 5) + RIGHT(geocode, 2) + STUFF(sumlev, 2, 1, race) + SPACE(2)",
      "IIF(pop > 100, STR(pop, 9), STR(pop / 3, 9, 2)) + REPLICATE('-', 3) + CHR(65)",
      "DTOS(born) + DTOC(born + 1) + SOUNDEX(geocode) + STR(YEAR(born) + MONTH(born) + DAY(born))",
      "ROUND(pop * 1.5, 1) + MOD(pop, 7) + INT(pop ^ 0.5) + ABS(-pop) + MAX(pop, 3) + MIN(1, 2)",
      "VAL(geocode) + LEN(race) + ASC(race) + AT('0', sumlev) + RECNO() + DOW(born)",
      "DELETED() .OR. geocode $ sumlev .OR. sumlev < geocode .OR. born - born >= 0",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    const long beforeCompile = allocations.load();
    CompiledExpr* e = AssignExpr(text);
    ASSERT_NE(e, nullptr);
    ASSERT_GT(allocations.load(), beforeCompile);  // the count sees the compiler's allocations
    EvaluateExpr(e);
    for (int record : {1, 2, 1}) {
      Go(record);
      const long afterGo = allocations.load();
      for (int i = 0; i < 50; ++i) EvaluateExpr(e);
      EXPECT_EQ(allocations.load(), afterGo);
    }
    FreeExpr(e);
  }
}

}  // namespace
}  // namespace exprtest
