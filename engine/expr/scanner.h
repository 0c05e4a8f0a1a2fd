// The expression scanner: turns the first 256 characters of an expression text into tokens
// (quoted literals, numbers, fields and aliased fields, keywords, operators), resolving words
// against the work areas, and keeps the compile-time accumulators (length, decimals, working-
// pool estimate) that decide the result attributes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/program.h"

namespace morvane::expr {

enum class Tok : uint8_t {
  End,        // end of the text (also: an unterminated quote)
  Text,       // quoted literal; constant = index of its heap copy
  Number,     // number; number = its value
  True, False,
  Field,      // field; type, field, area, width
  Func,       // function; op, arity
  Not, And, Or,
  Plus, Minus, Star, Slash, Power,
  Eq, ExactEq, Ne, Lt, Le, Gt, Ge, Dollar,
  LParen, RParen, Comma,
  Error       // a word that is neither a field nor a keyword, or an unknown character
};

// Function arities as the grammar knows them; STR takes 1 to 3 arguments.
enum class Arity : uint8_t { A0, A1, A2, A3, A4, Str };

struct Token {
  Tok kind = Tok::End;
  Op op = Op::End;          // Func
  Arity arity = Arity::A0;  // Func
  char type = 0;            // Field: C, N (also F fields), D, L or M
  int32_t field = 0;        // Field: field number
  int32_t area = 0;         // Field: 0 without an alias, else the alias's area
  uint16_t width = 0;       // Field: width
  double number = 0;        // Number
  uint32_t constant = 0;    // Text
};

// One row of the keyword table.
struct Keyword {
  const char* word;         // an accepted (upper-case) spelling
  Tok kind;                 // Func, True, False, Not, Or, And
  Op op;                    // Func: the operation
  Arity arity;              // Func
  uint16_t poolIncrement;   // added to the pool estimate whenever the word is scanned
};
// The table, searched from the top for an exact match; null when Word is no keyword.
const Keyword* FindKeyword(std::string_view Word);

// The engine's text-to-number rule: leading blanks skipped, an optional sign, digits with at
// most one point, an optional exponent (E, optional sign, digits); the longest such prefix is
// the value; nothing usable gives 0. Reads exactly Length bytes (no NUL needed).
double TextToNumber(const char* Text, size_t Length);

class Scanner {
 public:
  // Text: the expression; only its first 256 characters (up to a NUL) are scanned. Literals are
  // copied into Constants.
  Scanner(std::string_view Text, std::vector<std::string>& Constants);

  Token Next();

  // Characters consumed so far (the position the error window is centred on).
  size_t Position() const { return pos_; }
  const std::string& Buffer() const { return text_; }

  uint8_t LengthAcc() const { return lengthAcc_; }
  uint8_t DecimalsAcc() const { return decimalsAcc_; }
  uint32_t PoolEstimate() const { return pool_; }

 private:
  Token Word();
  void NonField();

  std::string text_;
  size_t pos_ = 0;
  std::vector<std::string>& constants_;
  uint8_t lengthAcc_ = 0;
  uint8_t decimalsAcc_ = 19;  // 19 = not set
  uint32_t pool_ = 0;
};

}  // namespace morvane::expr
