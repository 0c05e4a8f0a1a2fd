// The compiled form of an expression: the instruction list in reverse Polish order, the text
// constants it pushes, and the work stack and working pool that evaluation runs in. Everything
// is sized at compile time, so that an evaluation allocates nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace morvane::expr {

// Operations of the stack machine. Suffixes name the operand types where one operator has
// several forms (N number, D date, C text, L logical).
enum class Op : uint8_t {
  // pushes of constants and field values
  PushText, PushNumber, PushLogical,
  FieldC, FieldN, FieldD, FieldL, FieldM,
  // operators
  AddNN, AddND, AddDN, AddCC, SubNN, SubDN, SubDD, SubCC, Mul, Div, Pow,
  EqN, EqC, EqL, Contains, ExactEq,
  LtN, LtC, GtN, GtC, LeN, LeC, GeN, GeC,
  NeN, NeC, NeL, And, Or, Not, Neg,
  // functions
  Abs, Asc, At, Cdow, Chr, Cmonth, Ctod, Date, Day, Deleted, Dow, Dtoc, Dtos, Iif, Int,
  Left, Len, Lower, Ltrim, Max, Min, Mod, Month, Recno, Replicate, Right, Round, Rtrim,
  Soundex, Space, Str, Stuff, Substr, Trim, Upper, Val, Year,
  End
};

// One instruction. A push carries its constant; a field fetch carries the field's binding; STR
// carries its argument count.
struct Instr {
  Op op = Op::End;
  uint8_t argc = 0;        // STR: 1, 2 or 3 arguments
  uint16_t width = 0;      // field fetch: the field's width at compile time
  int32_t field = 0;       // field fetch: field number (1-based)
  int32_t area = 0;        // field fetch: work area number, 0 = the area current at evaluation
  double number = 0;       // PushNumber; PushLogical: 1 or 0
  uint32_t constant = 0;   // PushText: index into Program::constants
};

// A work-stack item. Texts live in the working pool (offset, length; NUL-terminated there).
struct Item {
  double num = 0;          // N and D values (dates as Julian day numbers, 1e100 = empty)
  int32_t log = 0;         // L values, 1 or 0
  uint32_t off = 0;        // C and M: offset of the text in the pool
  uint32_t len = 0;        // C and M: length of the text
  char type = 'N';
};

struct Program {
  std::vector<Instr> code;              // ends with Op::End
  std::vector<std::string> constants;   // one heap copy per quoted literal
  std::vector<Item> stack;              // as deep as the deepest point of the program
  std::unique_ptr<char[]> pool;         // poolSize + 1 bytes (the last one only ever holds NUL)
  uint32_t poolSize = 0;
};

}  // namespace morvane::expr
