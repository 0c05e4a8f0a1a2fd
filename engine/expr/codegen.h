// The compiler's back half: the type rules of every operator and function, and the emission of
// instructions in reduction order (so the list is the expression in reverse Polish order). The
// grammar (grammar.y) calls it on every reduction; the first type error ends the compilation.
#pragma once

#include <cstdint>
#include <string>

#include "engine/expr/program.h"
#include "engine/expr/scanner.h"

namespace morvane::expr {

// The semantic value of a grammar symbol: the token that was scanned (for terminals) and the
// type of the value (for expressions).
struct Sem {
  Token tok;
  char type = 0;
};

class CodeGen {
 public:
  explicit CodeGen(Program& P) : program_(P) {}

  // Operands: a literal, number, logical constant or field becomes a push. Returns its type.
  char Operand(const Token& T);
  // Infix operator Op (a Tok) applied to operand types A and B; false (message recorded) when
  // no rule fits.
  bool Binary(Tok Op, char A, char B, char& Result);
  // Prefix operators .NOT., "-" and "+".
  bool Prefix(Tok Op, char A, char& Result);
  // Function F with Argc arguments of the given types.
  bool Call(Op F, int Argc, const char* Types, char& Result);
  // The end instruction.
  void Finish();

  // The message of the first type error ("PARSER:Type mismatch in ..."), empty while none.
  const std::string& Error() const { return error_; }
  // The deepest work stack the instructions so far need.
  uint32_t MaxDepth() const { return maxDepth_; }

 private:
  void Emit(const Instr& I, int Pops, int Pushes);

  Program& program_;
  std::string error_;
  int32_t depth_ = 0;
  uint32_t maxDepth_ = 0;
};

// The context the generated parser works in.
struct ParseContext {
  Scanner& scanner;
  CodeGen& gen;
  char resultType = 0;       // set when the start rule is reduced
  bool typeError = false;    // the parse was abandoned for a type error
};

// Runs the generated LALR(1) parser (at most 150 state-stack entries). 0 when the text was
// accepted, 1 for a syntax or type error, 2 when the state stack would exceed 150 entries.
int RunParser(ParseContext& Context);

}  // namespace morvane::expr
