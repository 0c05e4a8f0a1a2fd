// The engine's expression hooks: the procedure variables through which the command layer (and
// anything else that must not link the expression unit directly) compiles, evaluates and frees
// expressions, and ParserLinked, which the index manager checks at its start-up. EngineStartup
// empties the table; the expression unit fills it in its install step.
#pragma once

#include <string_view>

namespace morvane {

struct CompiledExpr;

struct ExprHookTable {
  CompiledExpr* (*CompileExprHook)(std::string_view Text) = nullptr;  // AssignExpr
  void (*FreeExprHook)(CompiledExpr*& Handle) = nullptr;             // FreeExpr
  const void* (*EvaluateExprHook)(CompiledExpr* Handle) = nullptr;   // EvaluateExpr
  const void* (*EvaluateCurrentHook)() = nullptr;                    // EvaluateCurrentExpr
};
inline ExprHookTable ExprHooks;

// True once the expression unit has installed its hooks.
inline bool ParserLinked = false;

}  // namespace morvane
