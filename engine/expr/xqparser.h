// The engine's expression language: compiles xBase expression texts ("sumlev + geocode + race",
// `race == "A"`) against the fields of the open work areas, and evaluates the compiled form
// against the current records. Used by index keys and FOR conditions (engine/index) and by the
// filter and WHILE conditions of the command layer (through the expression hooks).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/expr/program.h"

namespace morvane {

// Settings of this layer (process-wide; EngineStartup puts them back to these values).
struct ExprSettings {
  int DefaultDecimals = 2;       // decimals of N results that no N field decides
  uint16_t MemoExprSize = 256;   // working-pool size of an expression whose result is a memo
  bool BlankFieldsAtEof = false; // at end of file every field reads as blank
};
inline ExprSettings ExprConfig;

// One compiled expression. Owned by whoever called AssignExpr; freed with FreeExpr. The result
// attributes are fixed at compile time; ResultPointer designates the value of the last
// evaluation (a NUL-terminated text for C and M, a double for N and D, an int32_t 0/1 for L).
struct CompiledExpr {
  std::string SourceText;       // the expression text as passed to AssignExpr
  char ResultType = 'C';        // 'C', 'N', 'L', 'D' or 'M'
  uint16_t ResultLength = 0;    // see AssignExpr
  uint8_t ResultDecimals = 0;
  const void* ResultPointer = nullptr;
  uint16_t PoolSize = 0;        // bytes of working pool the evaluation may use
  // The length of the text result of the last evaluation (C and M results; a text may hold NUL
  // bytes that a field stored, so the length is not always strlen(ResultPointer)).
  uint32_t ResultTextLength = 0;

  expr::Program Code;           // instructions, constants, work stack and working pool
};

// Compiles Text (its first 256 characters) against the current work area (fields without an
// alias) and the aliased areas (alias->field). First clears a pending DbfError in 350..363.
// Returns the new expression, entered in the list of live expressions, or null after the
// failure was reported (code 351 with the message and a window on the text, see the .cpp);
// nothing stays allocated after a failure.
// Result attributes: decimals from the first N field (else the default decimals); C: the length
// of the field when the expression is one C field, else 0; N: the field's length when it is one
// N field (decimals + 11 otherwise); D 8; L 1; M the pool size.
CompiledExpr* AssignExpr(std::string_view Text);

// Frees everything the expression holds and sets Handle to null. A null handle, or one that is
// not a live expression (already freed, or never compiled), is ignored. Freeing the expression
// held in CurrentKeyExpr also empties that slot.
void FreeExpr(CompiledExpr*& Handle);

// True when Handle is a live expression (compiled and not yet freed).
bool IsLiveExpr(const CompiledExpr* Handle);

// Runs a live expression against the current records and returns ResultPointer (null for a null
// handle). The value stays valid until the next evaluation or FreeExpr of the same expression.
// Evaluation errors are reported (354 working-pool overflow, 358 division by zero or a power
// without a real value); with error checking off the evaluation goes on with the value the
// error names (1e250 for a division by zero, 0 for a power error, a cut text for an overflow).
const void* EvaluateExpr(CompiledExpr* Handle);

// The global slot for the expression the index manager builds keys with.
inline CompiledExpr* CurrentKeyExpr = nullptr;
// EvaluateExpr(CurrentKeyExpr); null when the slot is empty.
const void* EvaluateCurrentExpr();

// Tests a FOR condition: 359 for an empty text (after trailing blanks are removed); else
// compiles it with error checking off and a memo pool of 0 and returns 0 when it is logical,
// 362 when it is of another type, and the compile error's code otherwise. DbfError is 0 after.
int CheckCondition(std::string_view Text);

// Typed views of the last result (for callers that know the result type).
inline double ResultNumber(const CompiledExpr* E) { return *static_cast<const double*>(E->ResultPointer); }
inline bool ResultLogical(const CompiledExpr* E) { return *static_cast<const int32_t*>(E->ResultPointer) != 0; }
inline std::string_view ResultText(const CompiledExpr* E) {
  return {static_cast<const char*>(E->ResultPointer), E->ResultTextLength};
}

}  // namespace morvane
