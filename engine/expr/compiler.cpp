// AssignExpr, FreeExpr and CheckCondition: the compiler's entry points, the result attributes,
// the compile-time error messages with their window on the text, the list of live expressions
// and the layer's start-up (settings, hooks).
//
// Compile errors are reported with code 351 and the frame
//   "Error in expression : " + message + CR LF + window + CR LF + " [AssignExpr]"
// where the window shows up to 51 characters of the text around the scan position p: from the
// start ("[") while p - 1 < 50, else from p - 51 ("[..."), closed by "...]" when more text
// follows, else "]".
#include <memory>
#include <new>
#include <unordered_set>

#include "engine/expr/codegen.h"
#include "engine/expr/expr_hooks.h"
#include "engine/expr/xqparser.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"

namespace morvane {
namespace {

struct ExprState {
  std::unordered_set<CompiledExpr*> live;  // every expression AssignExpr returned, not yet freed
};
ExprState State;

std::string Window(const std::string& Text, size_t P) {
  std::string w;
  size_t start = 0;
  if (P < 51) {
    w = "[";
  } else {
    w = "[...";
    start = P - 51;
  }
  if (start < Text.size()) w.append(Text, start, 51);
  w += start + 51 < Text.size() ? "...]" : "]";
  return w;
}

void FreeAll() {
  for (CompiledExpr* e : State.live) delete e;
  State.live.clear();
  CurrentKeyExpr = nullptr;
}

void Reset() {
  FreeAll();
  ExprConfig = ExprSettings{};
  ExprHooks = ExprHookTable{};
  ParserLinked = false;
}

void Install() {
  ExprHooks.CompileExprHook = &AssignExpr;
  ExprHooks.FreeExprHook = &FreeExpr;
  ExprHooks.EvaluateExprHook = &EvaluateExpr;
  ExprHooks.EvaluateCurrentHook = &EvaluateCurrentExpr;
  ParserLinked = true;
}

EngineLayerRegistrar registrar({"expr", kLayerOrderExpr, &Reset, &Install, &FreeAll});

// Sets the result attributes and sizes the work stack and pool of a parsed expression.
void Complete(CompiledExpr& E, const expr::Scanner& S, char Type, uint32_t Depth) {
  const int defaultDecimals = ExprConfig.DefaultDecimals;
  const uint8_t decimals =
      S.DecimalsAcc() <= 18 ? S.DecimalsAcc() : static_cast<uint8_t>(defaultDecimals);
  const uint32_t estimate = S.PoolEstimate() > 0xFFFF ? 0xFFFF : S.PoolEstimate();
  uint16_t pool = static_cast<uint16_t>(estimate);
  uint32_t length = 0;
  switch (Type) {
    case 'C':
      length = estimate == S.LengthAcc() + 1u ? S.LengthAcc() : 0;
      break;
    case 'N': {
      uint32_t acc = S.LengthAcc();
      if (acc < decimals + 2u) acc = 0;
      length = acc != 0 ? acc : decimals + 11u;
      break;
    }
    case 'D': length = 8; break;
    case 'L': length = 1; break;
    default:  // 'M'
      pool = ExprConfig.MemoExprSize;
      length = pool;
      break;
  }
  E.ResultType = Type;
  E.ResultDecimals = decimals;
  E.ResultLength = static_cast<uint16_t>(length);
  E.PoolSize = pool;

  expr::Program& p = E.Code;
  p.stack.resize(Depth == 0 ? 1 : Depth);
  p.poolSize = pool;
  p.pool = std::make_unique<char[]>(pool + 1u);  // zero-filled: an empty text before evaluation
  if (Type == 'C' || Type == 'M') {
    E.ResultPointer = p.pool.get();
  } else if (Type == 'L') {
    E.ResultPointer = &p.stack[0].log;
  } else {
    E.ResultPointer = &p.stack[0].num;
  }
}

}  // namespace

CompiledExpr* AssignExpr(std::string_view Text) {
  if (Errors.DbfError >= 350 && Errors.DbfError <= 363) Errors.DbfError = 0;
  std::string failure;
  std::unique_ptr<CompiledExpr> e;
  try {
    e = std::make_unique<CompiledExpr>();
    e->SourceText.assign(Text);
    expr::Scanner scanner(Text, e->Code.constants);
    expr::CodeGen gen(e->Code);
    expr::ParseContext context{scanner, gen};
    const int result = expr::RunParser(context);
    if (result == 0) {
      Complete(*e, scanner, context.resultType, gen.MaxDepth());
      State.live.insert(e.get());
      return e.release();
    }
    const std::string message = result == 2          ? std::string("Parser_stack_overflow")
                                : context.typeError ? gen.Error()
                                                    : std::string("Syntax error");
    failure = "Error in expression : " + message + "\r\n" +
              Window(scanner.Buffer(), scanner.Position()) + "\r\n" + " [AssignExpr]";
  } catch (const std::bad_alloc&) {
    e.reset();
    ReportError(217, " [AssignExpr]");
    return nullptr;
  }
  e.reset();  // nothing of a failed compilation stays allocated
  ReportError(351, failure);
  return nullptr;
}

void FreeExpr(CompiledExpr*& Handle) {
  if (Handle == nullptr) return;
  auto it = State.live.find(Handle);
  if (it == State.live.end()) return;
  State.live.erase(it);
  if (CurrentKeyExpr == Handle) CurrentKeyExpr = nullptr;
  delete Handle;
  Handle = nullptr;
}

bool IsLiveExpr(const CompiledExpr* Handle) {
  return Handle != nullptr && State.live.count(const_cast<CompiledExpr*>(Handle)) != 0;
}

const void* EvaluateCurrentExpr() {
  return CurrentKeyExpr == nullptr ? nullptr : EvaluateExpr(CurrentKeyExpr);
}

int CheckCondition(std::string_view Text) {
  while (!Text.empty() && Text.back() == ' ') Text.remove_suffix(1);
  if (Text.empty()) {
    Errors.DbfError = 0;
    return 359;
  }
  struct Restore {
    bool check;
    uint16_t memo;
    ~Restore() {
      SetErrorCheck(check);
      ExprConfig.MemoExprSize = memo;
    }
  } restore{SetErrorCheck(false), ExprConfig.MemoExprSize};
  ExprConfig.MemoExprSize = 0;
  CompiledExpr* e = AssignExpr(Text);
  int code = Errors.DbfError;
  if (e != nullptr) {
    code = e->ResultType == 'L' ? 0 : 362;
    FreeExpr(e);
  }
  Errors.DbfError = 0;
  return code;
}

}  // namespace morvane
