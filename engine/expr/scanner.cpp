// The expression scanner and the keyword table.
//
// Tokens: quoted literals ('...' or "...", taken as written, the other quote allowed inside);
// numbers (a digit, then digits, "E" and at most one point); words (a letter, "_" or ".", then
// letters, digits, "_" and "."; the first "->" splits an alias from a field name, after which
// only letters, digits and "_" continue the word); the operators + - * ** / ^ ( ) , $ = == <
// <= <> > >= #. Outside quotes every character is upper-cased before it is looked at. Because
// "." continues a word, ".AND." and its kind need blanks or parentheses around them.
#include "engine/expr/scanner.h"

#include <charconv>
#include <cstring>

#include "engine/expr/field_binding.h"
#include "engine/expr/xqparser.h"
#include "platform/codepage/codepage.h"

namespace morvane::expr {
namespace {

constexpr size_t kTextLimit = 256;   // characters of the text the scanner reads
constexpr size_t kWordLimit = 80;    // characters of a word or number that are used

#define KW_FN(word, op, arity, inc) {word, Tok::Func, Op::op, Arity::arity, inc}
// The keyword table, in its fixed order, with every accepted spelling.
const Keyword kKeywords[] = {
    KW_FN("ABS", Abs, A1, 0),
    KW_FN("ASC", Asc, A1, 0),
    KW_FN("AT", At, A2, 0),
    KW_FN("CDOW", Cdow, A1, 15),
    KW_FN("CHR", Chr, A1, 2),
    KW_FN("CMON", Cmonth, A1, 15), KW_FN("CMONT", Cmonth, A1, 15), KW_FN("CMONTH", Cmonth, A1, 15),
    KW_FN("CTOD", Ctod, A1, 0),
    KW_FN("DATE", Date, A0, 0),
    KW_FN("DAY", Day, A1, 0),
    KW_FN("DELE", Deleted, A0, 0), KW_FN("DELET", Deleted, A0, 0), KW_FN("DELETE", Deleted, A0, 0),
    KW_FN("DELETED", Deleted, A0, 0),
    KW_FN("DOW", Dow, A1, 0),
    KW_FN("DTOC", Dtoc, A1, 11),
    KW_FN("DTOS", Dtos, A1, 9),
    KW_FN("IIF", Iif, A3, 256),
    KW_FN("INT", Int, A1, 0),
    KW_FN("LEFT", Left, A2, 0),
    KW_FN("LEN", Len, A1, 0),
    KW_FN("LOWE", Lower, A1, 0), KW_FN("LOWER", Lower, A1, 0),
    KW_FN("LTRI", Ltrim, A1, 0), KW_FN("LTRIM", Ltrim, A1, 0),
    KW_FN("MAX", Max, A2, 0),
    KW_FN("MIN", Min, A2, 0),
    KW_FN("MOD", Mod, A2, 0),
    KW_FN("MONT", Month, A1, 0), KW_FN("MONTH", Month, A1, 0),
    KW_FN("RECN", Recno, A0, 0), KW_FN("RECNO", Recno, A0, 0),
    KW_FN("REPL", Replicate, A2, 256), KW_FN("REPLI", Replicate, A2, 256),
    KW_FN("REPLIC", Replicate, A2, 256), KW_FN("REPLICA", Replicate, A2, 256),
    KW_FN("REPLICAT", Replicate, A2, 256), KW_FN("REPLICATE", Replicate, A2, 256),
    KW_FN("RIGH", Right, A2, 0), KW_FN("RIGHT", Right, A2, 0),
    KW_FN("ROUN", Round, A2, 0), KW_FN("ROUND", Round, A2, 0),
    KW_FN("RTRI", Rtrim, A1, 0), KW_FN("RTRIM", Rtrim, A1, 0),
    KW_FN("SOUN", Soundex, A1, 15), KW_FN("SOUND", Soundex, A1, 15),
    KW_FN("SOUNDE", Soundex, A1, 15), KW_FN("SOUNDEX", Soundex, A1, 15),
    KW_FN("SPAC", Space, A1, 256), KW_FN("SPACE", Space, A1, 256),
    KW_FN("STR", Str, Str, 256),
    KW_FN("STUF", Stuff, A4, 0), KW_FN("STUFF", Stuff, A4, 0),
    KW_FN("SUBS", Substr, A3, 0), KW_FN("SUBST", Substr, A3, 0), KW_FN("SUBSTR", Substr, A3, 0),
    KW_FN("TRIM", Trim, A1, 0),
    KW_FN("UPPE", Upper, A1, 0), KW_FN("UPPER", Upper, A1, 0),
    KW_FN("VAL", Val, A1, 0),
    KW_FN("YEAR", Year, A1, 0),
    {".F.", Tok::False, Op::End, Arity::A0, 0},
    {".T.", Tok::True, Op::End, Arity::A0, 0},
    {".NOT.", Tok::Not, Op::Not, Arity::A0, 0},
    {".OR.", Tok::Or, Op::Or, Arity::A0, 0},
    {".AND.", Tok::And, Op::And, Arity::A0, 0},
};
#undef KW_FN

bool IsLetter(char c) { return platform::codepage::IsAlphaAnsi(c); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Up(char c) { return platform::codepage::UpperAnsi(c); }

}  // namespace

const Keyword* FindKeyword(std::string_view Word) {
  for (const Keyword& k : kKeywords) {
    if (Word == k.word) return &k;
  }
  return nullptr;
}

double TextToNumber(const char* Text, size_t Length) {
  size_t i = 0;
  while (i < Length && Text[i] == ' ') ++i;
  // The number's characters, without a "+" sign (from_chars takes none), in a local copy.
  char buf[kTextLimit + 8];
  size_t n = 0;
  auto put = [&](char c) {
    if (n < sizeof buf) buf[n++] = c;
  };
  if (i < Length && (Text[i] == '+' || Text[i] == '-')) {
    if (Text[i] == '-') put('-');
    ++i;
  }
  size_t digits = 0;
  while (i < Length && IsDigit(Text[i])) put(Text[i++]), ++digits;
  if (i < Length && Text[i] == '.') {
    put(Text[i++]);
    while (i < Length && IsDigit(Text[i])) put(Text[i++]), ++digits;
  }
  if (digits == 0) return 0;
  if (i < Length && (Text[i] == 'E' || Text[i] == 'e')) {
    size_t j = i + 1;
    if (j < Length && (Text[j] == '+' || Text[j] == '-')) ++j;
    if (j < Length && IsDigit(Text[j])) {
      put('e');
      if (Text[i + 1] == '-') put('-');
      while (j < Length && IsDigit(Text[j])) put(Text[j++]);
    }
  }
  if (n >= sizeof buf) return 0;  // longer than any text the engine holds
  double value = 0;
  auto result = std::from_chars(buf, buf + n, value);
  if (result.ec == std::errc::result_out_of_range) {
    // Beyond the double range: from_chars leaves the value unchanged; strtod's answer (an
    // infinity or 0) is what a user expects.
    buf[n] = '\0';
    value = std::strtod(buf, nullptr);
  }
  return value;
}

Scanner::Scanner(std::string_view Text, std::vector<std::string>& Constants)
    : constants_(Constants) {
  size_t end = Text.find('\0');
  if (end == std::string_view::npos) end = Text.size();
  text_.assign(Text.substr(0, std::min(end, kTextLimit)));
}

void Scanner::NonField() {
  lengthAcc_ = 0;
  decimalsAcc_ = static_cast<uint8_t>(ExprConfig.DefaultDecimals);
}

Token Scanner::Next() {
  Token t;
  const size_t n = text_.size();
  while (pos_ < n && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  if (pos_ >= n) return t;  // End
  const char c = Up(text_[pos_]);

  if (c == '\'' || c == '"') {
    size_t close = text_.find(text_[pos_], pos_ + 1);
    if (close == std::string::npos) {
      pos_ = n;  // an unterminated literal ends the input
      return t;
    }
    constants_.push_back(text_.substr(pos_ + 1, close - pos_ - 1));
    pool_ += static_cast<uint32_t>(constants_.back().size() + 1);
    pos_ = close + 1;
    NonField();
    t.kind = Tok::Text;
    t.constant = static_cast<uint32_t>(constants_.size() - 1);
    return t;
  }

  if (IsDigit(c)) {
    const size_t start = pos_;
    bool point = false;
    while (pos_ < n) {
      const char d = Up(text_[pos_]);
      if (d == '.') {
        if (point) break;
        point = true;
      } else if (!IsDigit(d) && d != 'E') {
        break;
      }
      ++pos_;
    }
    t.kind = Tok::Number;
    t.number = TextToNumber(text_.data() + start, std::min(pos_ - start, kWordLimit));
    NonField();
    return t;
  }

  if (IsLetter(c) || c == '_' || c == '.') return Word();

  ++pos_;
  const char next = pos_ < n ? text_[pos_] : '\0';
  auto two = [&](Tok kind) {
    ++pos_;
    t.kind = kind;
    return t;
  };
  switch (c) {
    case '+': t.kind = Tok::Plus; break;
    case '-': t.kind = Tok::Minus; break;
    case '/': t.kind = Tok::Slash; break;
    case '(': t.kind = Tok::LParen; break;
    case ')': t.kind = Tok::RParen; break;
    case ',': t.kind = Tok::Comma; break;
    case '$': t.kind = Tok::Dollar; break;
    case '^': t.kind = Tok::Power; break;
    case '#': t.kind = Tok::Ne; break;
    case '*':
      if (next == '*') return two(Tok::Power);
      t.kind = Tok::Star;
      break;
    case '=':
      if (next == '=') return two(Tok::ExactEq);
      t.kind = Tok::Eq;
      break;
    case '<':
      if (next == '=') return two(Tok::Le);
      if (next == '>') return two(Tok::Ne);
      t.kind = Tok::Lt;
      break;
    case '>':
      if (next == '=') return two(Tok::Ge);
      t.kind = Tok::Gt;
      break;
    default: t.kind = Tok::Error; break;
  }
  return t;
}

Token Scanner::Word() {
  const size_t n = text_.size();
  std::string word;  // the word upper-cased, at most its first 80 characters
  bool arrow = false;
  while (pos_ < n) {
    const char c = Up(text_[pos_]);
    const bool nameChar = IsLetter(c) || IsDigit(c) || c == '_';
    size_t take = 1;
    if (!arrow && c == '-' && pos_ + 1 < n && text_[pos_ + 1] == '>') {
      arrow = true;
      take = 2;
    } else if (!nameChar && (arrow || c != '.')) {
      break;
    }
    for (size_t i = 0; i < take; ++i) {
      if (word.size() < kWordLimit) word += Up(text_[pos_ + i]);
    }
    pos_ += take;
  }
  const size_t split = word.find("->");

  // A name followed by "(" is a function name, never a field.
  size_t look = pos_;
  while (look < n && (text_[look] == ' ' || text_[look] == '\t')) ++look;
  const bool call = look < n && text_[look] == '(';

  Token t;
  if (!call) {
    FieldRef ref;
    bool found = false;
    if (split != std::string::npos) {
      const std::string_view alias = std::string_view(word).substr(0, split);
      const int area = AreaOfAlias(alias);
      if (area != 0 && LookupField(area, std::string_view(word).substr(split + 2), ref)) {
        t.area = area;
        found = true;
      }
    } else {
      found = LookupField(0, word, ref);
    }
    if (found) {
      t.kind = Tok::Field;
      t.type = ref.type;
      t.field = ref.number;
      t.width = ref.width;
      lengthAcc_ = static_cast<uint8_t>(ref.width);
      if (ref.type == 'C') pool_ += ref.width + 1u;
      if (ref.type == 'N') {
        decimalsAcc_ = decimalsAcc_ == 19 ? ref.decimals
                                          : static_cast<uint8_t>(ExprConfig.DefaultDecimals);
      }
      return t;
    }
  }

  const Keyword* k = FindKeyword(word);
  if (k == nullptr) {
    t.kind = Tok::Error;
    return t;
  }
  pool_ += k->poolIncrement;
  NonField();
  t.kind = k->kind;
  t.op = k->op;
  t.arity = k->arity;
  return t;
}

}  // namespace morvane::expr
