// Type rules and instruction emission. The operand types of a rule are tested in the order of
// the tables below; the first matching line decides the operation and the result type.
#include "engine/expr/codegen.h"

#include <cstring>

namespace morvane::expr {
namespace {

struct Rule {
  char a, b;      // operand types (b unused for one operand)
  char result;
  Op op;
};

struct OperatorRules {
  Tok tok;
  const char* name;   // as the type-mismatch message names the operator
  Rule rules[4];
  int count;
};

const OperatorRules kOperators[] = {
    {Tok::Plus, "+", {{'N', 'N', 'N', Op::AddNN}, {'N', 'D', 'D', Op::AddND},
                      {'D', 'N', 'D', Op::AddDN}, {'C', 'C', 'C', Op::AddCC}}, 4},
    {Tok::Minus, "-", {{'N', 'N', 'N', Op::SubNN}, {'D', 'N', 'D', Op::SubDN},
                       {'D', 'D', 'N', Op::SubDD}, {'C', 'C', 'C', Op::SubCC}}, 4},
    {Tok::Star, "*", {{'N', 'N', 'N', Op::Mul}}, 1},
    {Tok::Slash, "/", {{'N', 'N', 'N', Op::Div}}, 1},
    {Tok::Power, "** or ^", {{'N', 'N', 'N', Op::Pow}}, 1},
    {Tok::Eq, "=", {{'N', 'N', 'L', Op::EqN}, {'C', 'C', 'L', Op::EqC},
                    {'D', 'D', 'L', Op::EqN}, {'L', 'L', 'L', Op::EqL}}, 4},
    {Tok::Dollar, "$", {{'C', 'C', 'L', Op::Contains}}, 1},
    {Tok::ExactEq, "==", {{'C', 'C', 'L', Op::ExactEq}}, 1},
    {Tok::Gt, ">", {{'N', 'N', 'L', Op::GtN}, {'C', 'C', 'L', Op::GtC},
                    {'D', 'D', 'L', Op::GtN}}, 3},
    {Tok::Lt, "<", {{'N', 'N', 'L', Op::LtN}, {'C', 'C', 'L', Op::LtC},
                    {'D', 'D', 'L', Op::LtN}}, 3},
    {Tok::Ne, "<>", {{'N', 'N', 'L', Op::NeN}, {'C', 'C', 'L', Op::NeC},
                     {'D', 'D', 'L', Op::NeN}, {'L', 'L', 'L', Op::NeL}}, 4},
    {Tok::Le, "<=", {{'N', 'N', 'L', Op::LeN}, {'C', 'C', 'L', Op::LeC},
                     {'D', 'D', 'L', Op::LeN}}, 3},
    {Tok::Ge, ">=", {{'N', 'N', 'L', Op::GeN}, {'C', 'C', 'L', Op::GeC},
                     {'D', 'D', 'L', Op::GeN}}, 3},
    {Tok::Or, ".OR.", {{'L', 'L', 'L', Op::Or}}, 1},
    {Tok::And, ".AND.", {{'L', 'L', 'L', Op::And}}, 1},
};

struct FunctionRules {
  Op op;
  const char* name;
  const char* signatures[2];  // argument type letters; the result type follows a ">"
  int count;
};

const FunctionRules kFunctions[] = {
    {Op::Abs, "ABS", {"N>N"}, 1},
    {Op::Asc, "ASC", {"C>N"}, 1},
    {Op::At, "AT", {"CC>N"}, 1},
    {Op::Cdow, "CDOW", {"D>C"}, 1},
    {Op::Chr, "CHR", {"N>C"}, 1},
    {Op::Cmonth, "CMONTH", {"D>C"}, 1},
    {Op::Ctod, "CTOD", {"C>D"}, 1},
    {Op::Date, "DATE", {">D"}, 1},
    {Op::Day, "DAY", {"D>N"}, 1},
    {Op::Deleted, "DELETED", {">L"}, 1},
    {Op::Dow, "DOW", {"D>N"}, 1},
    {Op::Dtoc, "DTOC", {"D>C"}, 1},
    {Op::Dtos, "DTOS", {"D>C"}, 1},
    {Op::Iif, "IIF", {"LCC>C"}, 1},
    {Op::Int, "INT", {"N>N"}, 1},
    {Op::Left, "LEFT", {"CN>C"}, 1},
    {Op::Len, "LEN", {"C>N"}, 1},
    {Op::Lower, "LOWER", {"C>C"}, 1},
    {Op::Ltrim, "LTRIM", {"C>C"}, 1},
    {Op::Max, "MAX", {"NN>N", "DD>D"}, 2},
    {Op::Min, "MIN", {"NN>N", "DD>D"}, 2},
    {Op::Mod, "MOD", {"NN>N"}, 1},
    {Op::Month, "MONTH", {"D>N"}, 1},
    {Op::Recno, "RECNO", {">N"}, 1},
    {Op::Replicate, "REPLICATE", {"CN>C"}, 1},
    {Op::Right, "RIGHT", {"CN>C"}, 1},
    {Op::Round, "ROUND", {"NN>N"}, 1},
    {Op::Rtrim, "RTRIM", {"C>C"}, 1},
    {Op::Soundex, "SOUNDEX", {"C>C"}, 1},
    {Op::Space, "SPACE", {"N>C"}, 1},
    {Op::Str, "STR", {"N>C", "NNN>C"}, 1},  // 1 to 3 N arguments, see Call
    {Op::Stuff, "STUFF", {"CNNC>C"}, 1},
    {Op::Substr, "SUBSTR", {"CNN>C"}, 1},
    {Op::Trim, "TRIM", {"C>C"}, 1},
    {Op::Upper, "UPPER", {"C>C"}, 1},
    {Op::Val, "VAL", {"C>N"}, 1},
    {Op::Year, "YEAR", {"D>N"}, 1},
};

std::string Mismatch(const char* kind, const char* name) {
  return std::string("PARSER:Type mismatch in ") + kind + " \"" + name + "\"";
}

}  // namespace

void CodeGen::Emit(const Instr& I, int Pops, int Pushes) {
  program_.code.push_back(I);
  depth_ += Pushes - Pops;
  if (depth_ > static_cast<int32_t>(maxDepth_)) maxDepth_ = static_cast<uint32_t>(depth_);
}

char CodeGen::Operand(const Token& T) {
  Instr i;
  switch (T.kind) {
    case Tok::Text:
      i.op = Op::PushText;
      i.constant = T.constant;
      Emit(i, 0, 1);
      return 'C';
    case Tok::Number:
      i.op = Op::PushNumber;
      i.number = T.number;
      Emit(i, 0, 1);
      return 'N';
    case Tok::True:
    case Tok::False:
      i.op = Op::PushLogical;
      i.number = T.kind == Tok::True ? 1 : 0;
      Emit(i, 0, 1);
      return 'L';
    default:  // Tok::Field
      switch (T.type) {
        case 'N': i.op = Op::FieldN; break;
        case 'D': i.op = Op::FieldD; break;
        case 'L': i.op = Op::FieldL; break;
        case 'M': i.op = Op::FieldM; break;
        default: i.op = Op::FieldC; break;
      }
      i.field = T.field;
      i.area = T.area;
      i.width = T.width;
      Emit(i, 0, 1);
      return T.type;
  }
}

bool CodeGen::Binary(Tok Op, char A, char B, char& Result) {
  for (const OperatorRules& o : kOperators) {
    if (o.tok != Op) continue;
    for (int r = 0; r < o.count; ++r) {
      if (o.rules[r].a == A && o.rules[r].b == B) {
        Instr i;
        i.op = o.rules[r].op;
        Emit(i, 2, 1);
        Result = o.rules[r].result;
        return true;
      }
    }
    error_ = Mismatch("expression", o.name);
    return false;
  }
  error_ = "Syntax error";
  return false;
}

bool CodeGen::Prefix(Tok Op, char A, char& Result) {
  if (Op == Tok::Not) {
    if (A != 'L') return error_ = Mismatch("expression", ".NOT."), false;
    Instr i;
    i.op = Op::Not;
    Emit(i, 1, 1);
    Result = 'L';
    return true;
  }
  const bool minus = Op == Tok::Minus;
  if (A != 'N') return error_ = Mismatch("expression", minus ? "Unary -" : "Unary +"), false;
  if (minus) {  // unary "+" emits nothing
    Instr i;
    i.op = Op::Neg;
    Emit(i, 1, 1);
  }
  Result = 'N';
  return true;
}

bool CodeGen::Call(Op F, int Argc, const char* Types, char& Result) {
  for (const FunctionRules& f : kFunctions) {
    if (f.op != F) continue;
    bool match = false;
    char result = 0;
    if (F == Op::Str) {
      match = true;  // every argument a number
      for (int a = 0; a < Argc; ++a) match = match && Types[a] == 'N';
      result = 'C';
    } else {
      for (int s = 0; s < f.count && !match; ++s) {
        const char* sig = f.signatures[s];
        const char* arrow = std::strchr(sig, '>');
        if (arrow - sig != Argc || std::strncmp(sig, Types, static_cast<size_t>(Argc)) != 0) continue;
        match = true;
        result = arrow[1];
      }
    }
    if (!match) {
      error_ = Mismatch("function", f.name);
      return false;
    }
    Instr i;
    i.op = F;
    i.argc = static_cast<uint8_t>(Argc);
    Emit(i, Argc, 1);
    Result = result;
    return true;
  }
  error_ = "Syntax error";
  return false;
}

void CodeGen::Finish() {
  Instr i;
  i.op = Op::End;
  Emit(i, 0, 0);
}

}  // namespace morvane::expr
