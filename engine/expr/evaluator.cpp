// The stack machine: runs a compiled expression's instructions against the current records.
//
// Pushes place constants and field values on the work stack; every operation pops its operands
// (the last argument first) and pushes its result. Texts live in the working pool as a stack of
// NUL-terminated texts in push order, so the texts on the work stack always lie in the pool one
// after the other; popping a text moves the pool top back to its start, and operations that
// only shorten or re-case their argument work on it in place. Every text a function builds is
// at most 255 characters. A text that does not fit in the pool is reported (354) and, with
// error checking off, cut to what fits: no evaluation writes outside the pool, whatever the
// expression or the data.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "engine/dbf/workarea.h"
#include "engine/expr/julian.h"
#include "engine/expr/numbers.h"
#include "engine/expr/scanner.h"
#include "engine/expr/xqparser.h"
#include "engine/util/dates.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/startup.h"
#include "platform/codepage/codepage.h"

namespace morvane {
namespace {

using expr::Instr;
using expr::Item;
using expr::Op;

constexpr uint32_t kTextMax = 255;  // the longest text an operation builds

// An extended-precision result as a double; beyond the double range it is an infinity.
double Narrow(long double V) {
  if (V > std::numeric_limits<double>::max()) return std::numeric_limits<double>::infinity();
  if (V < -std::numeric_limits<double>::max()) return -std::numeric_limits<double>::infinity();
  return static_cast<double>(V);
}

void EvaluationError(const char* Reason) {
  ReportError(358, std::string("Error during evaluation: ") + Reason + " [Evaluate/Engine]");
}

struct Machine {
  char* pool;
  uint32_t size;     // usable bytes; pool[size] exists and only ever holds a NUL
  uint32_t top;      // first free byte
  Item* st;
  uint32_t sp;       // items on the stack

  Item& Top(uint32_t Below = 0) { return st[sp - 1 - Below]; }

  // Pops a text; the pool top goes back to its start.
  Item PopText() {
    Item t = st[--sp];
    top = t.off;
    return t;
  }
  double PopNum() { return st[--sp].num; }
  int32_t PopLog() { return st[--sp].log; }

  void PushNum(double V) {
    Item& it = st[sp++];
    it.type = 'N';
    it.num = V;
  }
  void PushDate(double V) {
    Item& it = st[sp++];
    it.type = 'D';
    it.num = V;
  }
  void PushLog(bool V) {
    Item& it = st[sp++];
    it.type = 'L';
    it.log = V ? 1 : 0;
  }

  // A new text item of Len characters (at most Limit) at the pool top. When the pool is too
  // small the overflow is reported and Len is cut to what fits. The caller writes item.len bytes
  // at pool + item.off, then calls Seal.
  Item& Claim(uint32_t Len, uint32_t Limit = kTextMax) {
    if (Len > Limit) Len = Limit;
    uint32_t off = top;
    if (size - off < Len + 1) {
      ReportError(354, "Working pool overflow [PARSER/Allocate]");
      Len = off < size ? size - off - 1 : 0;
    }
    Item& it = st[sp++];
    it.type = 'C';
    it.off = off;
    it.len = Len;
    top = off + Len + 1 > size ? size : off + Len + 1;
    return it;
  }
  void Seal(const Item& It) { pool[It.off + It.len] = '\0'; }

  void PushText(const char* Src, uint32_t Len) {
    Item& it = Claim(Len);
    std::memmove(pool + it.off, Src, it.len);
    Seal(it);
  }

  // Shortens the top text to Len characters in place.
  void Shrink(Item& It, uint32_t Len) {
    It.len = Len;
    pool[It.off + Len] = '\0';
    top = It.off + Len + 1 > size ? size : It.off + Len + 1;
  }

  const char* Text(const Item& It) const { return pool + It.off; }
};

// The bytes of a field in the current record of its area, or null when the field reads as blank
// (no such area or field any more, a table without records, end of file with BlankFieldsAtEof).
const char* FieldBytes(const Instr& In, uint32_t& Width, bool (*TypeFits)(char)) {
  const WorkArea* area = In.area == 0 ? CurrentWorkArea() : GetWorkArea(In.area);
  if (area == nullptr) return nullptr;
  const DbfControlBlock& t = area->Table;
  if (t.RecordCount <= 0 || (ExprConfig.BlankFieldsAtEof && t.AtEof)) return nullptr;
  if (In.field < 1 || static_cast<size_t>(In.field) > t.Fields.size()) return nullptr;
  const FieldDescriptor& f = t.Fields[static_cast<size_t>(In.field) - 1];
  if (!TypeFits(f.Type) || static_cast<size_t>(f.Offset) + f.Width > t.RecordBuffer.size()) {
    return nullptr;
  }
  Width = f.Width;
  return t.Record() + f.Offset;
}

bool AnyType(char) { return true; }
bool NumberType(char T) { return T == 'N' || T == 'F'; }
bool DateType(char T) { return T == 'D'; }
bool LogicalType(char T) { return T == 'L'; }
bool MemoType(char T) { return T == 'M'; }

void FetchC(Machine& M, const Instr& In) {
  uint32_t width = 0;
  const char* src = FieldBytes(In, width, &AnyType);
  Item& it = M.Claim(In.width);
  const uint32_t copy = src == nullptr ? 0 : std::min(width, it.len);
  if (copy > 0) std::memcpy(M.pool + it.off, src, copy);
  std::memset(M.pool + it.off + copy, ' ', it.len - copy);
  M.Seal(it);
}

// Appends the memo's paragraphs (each at most 255 characters) to the pool without line breaks,
// up to the pool's end.
void FetchM(Machine& M, const Instr& In) {
  uint32_t width = 0;
  const char* src = FieldBytes(In, width, &MemoType);
  std::string memo;
  if (src != nullptr && MemoHooks.ReadMemoText != nullptr) {
    const int32_t block = static_cast<int32_t>(expr::ToInteger(expr::TextToNumber(src, width)));
    if (block > 0) {
      const uint8_t current = WorkAreas.Current;
      if (In.area != 0) WorkAreas.Current = static_cast<uint8_t>(In.area);
      if (!MemoHooks.ReadMemoText(block, memo)) memo.clear();
      WorkAreas.Current = current;
    }
  }
  // The memo is the whole expression: its text starts at the pool top and stops at the end of
  // the pool (which a memo result is sized by), without an overflow report.
  const uint32_t off = M.top < M.size ? M.top : M.size;
  const uint32_t room = M.size - off;
  char* out = M.pool + off;
  uint32_t n = 0;
  uint32_t line = 0;  // characters of the current paragraph so far
  for (size_t i = 0; i < memo.size() && n + 1 < room; ++i) {
    const char c = memo[i];
    if (c == '\r' || c == static_cast<char>(0x8D)) {
      if (i + 1 < memo.size() && memo[i + 1] == '\n') ++i;
      if (c == '\r') line = 0;  // a hard return ends the paragraph
      continue;
    }
    if (line++ < kTextMax) out[n++] = c;
  }
  out[n] = '\0';
  Item& it = M.st[M.sp++];
  it.type = 'M';
  it.off = off;
  it.len = n;
  M.top = off + n + 1 > M.size ? M.size : off + n + 1;
}

// Byte-wise order of two texts over their full length; a proper prefix is the smaller.
int Compare(const char* A, uint32_t La, const char* B, uint32_t Lb) {
  const int c = std::memcmp(A, B, std::min(La, Lb));
  if (c != 0) return c;
  return La < Lb ? -1 : La > Lb ? 1 : 0;
}

bool Contains(std::string_view Needle, std::string_view Hay) {
  return !Needle.empty() && Hay.find(Needle) != std::string_view::npos;
}

int64_t Count(double X) { return expr::ToInteger(X); }

// The date text of a JDN for the day and month name tables: the current convention's order
// with a four-digit year, so that the name is that of the date itself in every century.
std::string NameDateText(double Jdn) {
  int y, m, d;
  if (!expr::JdnToCalendar(Jdn, y, m, d)) return BlankDateText(Settings.DateConvention);
  char text[16];
  if (Settings.DateConvention == 0) {
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", m, d, y);
  } else if (Settings.DateConvention == 1) {
    std::snprintf(text, sizeof text, "%04d/%02d/%02d", y, m, d);
  } else {
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", d, m, y);
  }
  return text;
}

double Ctod(std::string_view Text) {
  std::string t(Text.substr(0, 10));
  const bool century = Settings.CenturyOn;
  Settings.CenturyOn = true;
  std::string digits;
  if (ValidDateText(t)) digits = DateToYYYYMMDD(t);
  Settings.CenturyOn = century;
  return expr::YyyymmddToJdn(digits.data(), digits.size());
}

void Run(CompiledExpr& E, Machine& M) {
  char buf[2 * kTextMax + 2];  // text results are built here before they go to the pool
  const expr::Program& p = E.Code;
  for (const Instr* in = p.code.data();; ++in) {
    switch (in->op) {
      case Op::End:
        return;
      case Op::PushText: {
        const std::string& c = p.constants[in->constant];
        M.PushText(c.data(), static_cast<uint32_t>(c.size()));
        break;
      }
      case Op::PushNumber: M.PushNum(in->number); break;
      case Op::PushLogical: M.PushLog(in->number != 0); break;

      case Op::FieldC: FetchC(M, *in); break;
      case Op::FieldN: {
        uint32_t w = 0;
        const char* src = FieldBytes(*in, w, &NumberType);
        M.PushNum(src == nullptr ? 0 : expr::TextToNumber(src, w));
        break;
      }
      case Op::FieldD: {
        uint32_t w = 0;
        const char* src = FieldBytes(*in, w, &DateType);
        M.PushDate(src == nullptr ? expr::kEmptyDate : expr::YyyymmddToJdn(src, w));
        break;
      }
      case Op::FieldL: {
        uint32_t w = 0;
        const char* src = FieldBytes(*in, w, &LogicalType);
        const char c = src != nullptr && w > 0 ? src[0] : ' ';
        M.PushLog(c == 'Y' || c == 'y' || c == 'T' || c == 't');
        break;
      }
      case Op::FieldM: FetchM(M, *in); break;

      // Numbers and dates, computed in extended precision.
      case Op::AddNN: case Op::AddND: case Op::AddDN: {
        const long double b = M.PopNum();
        Item& a = M.Top();
        a.num = Narrow(a.num + b);
        if (in->op != Op::AddNN) a.type = 'D';
        break;
      }
      case Op::SubNN: case Op::SubDN: case Op::SubDD: {
        const long double b = M.PopNum();
        Item& a = M.Top();
        a.num = Narrow(a.num - b);
        a.type = in->op == Op::SubDN ? 'D' : 'N';
        break;
      }
      case Op::Mul: {
        const long double b = M.PopNum();
        M.Top().num = Narrow(M.Top().num * b);
        break;
      }
      case Op::Div: {
        const long double b = M.PopNum();
        if (b == 0) {
          EvaluationError("Divide by 0");
          M.Top().num = 1e250;
        } else {
          M.Top().num = Narrow(M.Top().num / b);
        }
        break;
      }
      case Op::Pow: {
        const long double b = M.PopNum();
        const long double a = M.Top().num;
        double r;
        if (a > 0) {
          r = Narrow(std::pow(a, b));
        } else if (a == 0) {
          if (b < 0) {
            EvaluationError("Divide by 0");
            r = 1e250;
          } else {
            r = b == 0 ? 1 : 0;
          }
        } else if (b == std::trunc(b)) {
          r = Narrow(std::pow(a, b));
        } else {
          EvaluationError("Power of a negative number with a fractional exponent");
          r = 0;
        }
        M.Top().num = r;
        break;
      }
      case Op::Neg: M.Top().num = -M.Top().num; break;

      // Comparisons.
      case Op::EqN: case Op::NeN: case Op::LtN: case Op::GtN: case Op::LeN: case Op::GeN: {
        const double b = M.PopNum();
        const double a = M.PopNum();
        bool r = false;
        switch (in->op) {
          case Op::EqN: r = a == b; break;
          case Op::NeN: r = a != b; break;
          case Op::LtN: r = a < b; break;
          case Op::GtN: r = a > b; break;
          case Op::LeN: r = a <= b; break;
          default: r = a >= b; break;
        }
        M.PushLog(r);
        break;
      }
      case Op::EqL: case Op::NeL: {
        const bool b = M.PopLog() != 0;
        const bool a = M.PopLog() != 0;
        M.PushLog(in->op == Op::EqL ? a == b : a != b);
        break;
      }
      case Op::EqC: case Op::NeC: case Op::ExactEq: case Op::Contains:
      case Op::LtC: case Op::GtC: case Op::LeC: case Op::GeC: {
        const Item b = M.PopText();
        const Item a = M.PopText();
        const std::string_view ta(M.Text(a), a.len), tb(M.Text(b), b.len);
        bool r = false;
        switch (in->op) {
          case Op::EqC: r = !tb.empty() && ta.substr(0, tb.size()) == tb; break;
          case Op::NeC: r = ta != tb; break;
          case Op::ExactEq: r = ta == tb; break;
          case Op::Contains: r = Contains(ta, tb); break;
          default: {
            const int c = Compare(ta.data(), a.len, tb.data(), b.len);
            r = in->op == Op::LtC ? c < 0 : in->op == Op::GtC ? c > 0 : in->op == Op::LeC ? c <= 0 : c >= 0;
            break;
          }
        }
        M.PushLog(r);
        break;
      }
      case Op::And: {
        const int32_t b = M.PopLog();
        M.Top().log = (M.Top().log != 0 && b != 0) ? 1 : 0;
        break;
      }
      case Op::Or: {
        const int32_t b = M.PopLog();
        M.Top().log = (M.Top().log != 0 || b != 0) ? 1 : 0;
        break;
      }
      case Op::Not: M.Top().log = M.Top().log != 0 ? 0 : 1; break;

      // Texts.
      case Op::AddCC: {  // the right text moves down onto the left one's terminator
        const Item b = M.PopText();
        Item& a = M.Top();
        const uint32_t total = std::min(a.len + b.len, kTextMax);
        std::memmove(M.pool + a.off + a.len, M.Text(b), total - a.len);
        M.Shrink(a, total);
        break;
      }
      case Op::SubCC: {  // the left text's trailing blanks go to the end
        const Item b = M.PopText();
        const Item a = M.PopText();
        uint32_t kept = a.len;
        while (kept > 0 && M.Text(a)[kept - 1] == ' ') --kept;
        const uint32_t blanks = a.len - kept;
        std::memcpy(buf, M.Text(a), kept);
        std::memcpy(buf + kept, M.Text(b), b.len);
        std::memset(buf + kept + b.len, ' ', blanks);
        M.PushText(buf, kept + b.len + blanks);
        break;
      }

      // Functions.
      case Op::Abs: M.Top().num = std::fabs(M.Top().num); break;
      case Op::Int: M.Top().num = std::trunc(M.Top().num); break;
      case Op::Asc: {
        const Item a = M.PopText();
        M.PushNum(a.len == 0 ? 0 : static_cast<unsigned char>(M.Text(a)[0]));
        break;
      }
      case Op::Len: {
        const Item a = M.PopText();
        M.PushNum(a.len);
        break;
      }
      case Op::Val: {
        const Item a = M.PopText();
        uint32_t n = a.len;
        while (n > 0 && M.Text(a)[n - 1] == ' ') --n;
        M.PushNum(expr::TextToNumber(M.Text(a), n));
        break;
      }
      case Op::At: {
        const Item b = M.PopText();
        const Item a = M.PopText();
        const std::string_view needle(M.Text(a), a.len), hay(M.Text(b), b.len);
        const size_t at = needle.empty() ? std::string_view::npos : hay.find(needle);
        M.PushNum(at == std::string_view::npos ? 0 : static_cast<double>(at + 1));
        break;
      }
      case Op::Chr: {
        buf[0] = static_cast<char>(static_cast<uint64_t>(Count(M.PopNum())) & 0xFF);
        M.PushText(buf, 1);
        break;
      }
      case Op::Space: {
        const int64_t n = Count(M.PopNum());
        const uint32_t len = n <= 0 ? 0 : n > kTextMax ? kTextMax : static_cast<uint32_t>(n);
        std::memset(buf, ' ', len);
        M.PushText(buf, len);
        break;
      }
      case Op::Replicate: {
        const int64_t n = Count(M.PopNum());
        const Item a = M.PopText();
        uint32_t len = 0;
        if (n > 0 && a.len > 0) {
          len = n > kTextMax ? kTextMax : std::min<uint32_t>(static_cast<uint32_t>(n) * a.len, kTextMax);
          for (uint32_t i = 0; i < len; ++i) buf[i] = M.Text(a)[i % a.len];
        }
        M.PushText(buf, len);
        break;
      }
      case Op::Left: {
        const int64_t n = Count(M.PopNum());
        Item& a = M.Top();
        if (n < static_cast<int64_t>(a.len)) M.Shrink(a, n < 0 ? 0 : static_cast<uint32_t>(n));
        break;
      }
      case Op::Right: {
        const int64_t n = Count(M.PopNum());
        Item& a = M.Top();
        if (n == 0) {
          M.Shrink(a, 0);
        } else if (n > 0 && n < static_cast<int64_t>(a.len)) {
          const uint32_t keep = static_cast<uint32_t>(n);
          std::memmove(M.pool + a.off, M.Text(a) + (a.len - keep), keep);
          M.Shrink(a, keep);
        }
        break;
      }
      case Op::Substr: {
        const int64_t count = Count(M.PopNum());
        int64_t start = Count(M.PopNum());
        Item& a = M.Top();
        if (start < 1) start = 1;
        if (start > static_cast<int64_t>(a.len) || count <= 0) {
          M.Shrink(a, 0);
        } else {
          const int64_t from = start - 1;
          const int64_t rest = static_cast<int64_t>(a.len) - from;
          const uint32_t take = static_cast<uint32_t>(count < rest ? count : rest);
          std::memmove(M.pool + a.off, M.Text(a) + from, take);
          M.Shrink(a, take);
        }
        break;
      }
      case Op::Stuff: {
        const Item b = M.PopText();
        const int64_t count = Count(M.PopNum());
        const int64_t start = Count(M.PopNum());
        const Item a = M.PopText();
        const int64_t len = a.len;
        int64_t at;          // where the fourth text goes (0-based)
        int64_t removed = 0;
        if (start < 1) {
          at = 0;
        } else if (start > len) {
          at = len;
        } else {
          at = start - 1;
          if (count > 0) removed = count < len - at ? count : len - at;
        }
        uint32_t n = 0;
        std::memcpy(buf, M.Text(a), static_cast<size_t>(at));
        n += static_cast<uint32_t>(at);
        std::memcpy(buf + n, M.Text(b), b.len);
        n += b.len;
        const int64_t tail = len - at - removed;
        std::memcpy(buf + n, M.Text(a) + at + removed, static_cast<size_t>(tail));
        n += static_cast<uint32_t>(tail);
        M.PushText(buf, n);
        break;
      }
      case Op::Upper: case Op::Lower: {
        Item& a = M.Top();
        char* t = M.pool + a.off;
        for (uint32_t i = 0; i < a.len; ++i) {
          t[i] = in->op == Op::Upper ? platform::codepage::UpperAnsi(t[i])
                                     : platform::codepage::LowerAnsi(t[i]);
        }
        break;
      }
      case Op::Ltrim: {
        Item& a = M.Top();
        uint32_t skip = 0;
        while (skip < a.len && M.Text(a)[skip] == ' ') ++skip;
        std::memmove(M.pool + a.off, M.Text(a) + skip, a.len - skip);
        M.Shrink(a, a.len - skip);
        break;
      }
      case Op::Rtrim: case Op::Trim: {
        Item& a = M.Top();
        uint32_t n = a.len;
        while (n > 0 && M.Text(a)[n - 1] == ' ') --n;
        M.Shrink(a, n);
        break;
      }
      case Op::Soundex: {
        const Item a = M.PopText();
        expr::Soundex(M.Text(a), a.len, buf);
        M.PushText(buf, 4);
        break;
      }
      case Op::Iif: {
        const Item c = M.PopText();
        const Item b = M.PopText();
        const bool cond = M.PopLog() != 0;
        const Item& chosen = cond ? b : c;
        M.PushText(M.Text(chosen), chosen.len);  // moves down over the other branch
        break;
      }
      case Op::Max: case Op::Min: {
        const double b = M.PopNum();
        Item& a = M.Top();
        const bool first = in->op == Op::Max ? a.num > b : a.num < b;
        if (!first) a.num = b;
        break;
      }
      case Op::Mod: {
        const int64_t b = Count(M.PopNum());
        const int64_t a = Count(M.Top().num);
        if (b == 0) {
          EvaluationError("Divide by 0");
          M.Top().num = 1e250;
        } else {
          M.Top().num = b == -1 ? 0.0 : static_cast<double>(a % b);
        }
        break;
      }
      case Op::Round: {
        const int64_t n = Count(M.PopNum());
        M.Top().num = expr::RoundDecimal(M.Top().num, n);
        break;
      }
      case Op::Str: {
        int64_t decimals = 0, length = 10;
        if (in->argc >= 3) decimals = Count(M.PopNum());
        if (in->argc >= 2) length = Count(M.PopNum());
        const double x = M.PopNum();
        M.PushText(buf, static_cast<uint32_t>(expr::FormatStr(x, length, decimals, buf)));
        break;
      }
      case Op::Recno: {
        const WorkArea* area = CurrentWorkArea();
        M.PushNum(area == nullptr ? 0 : area->Table.CurrentRecord);
        break;
      }
      case Op::Deleted: {
        const WorkArea* area = CurrentWorkArea();
        M.PushLog(area != nullptr && !area->Table.RecordBuffer.empty() &&
                  area->Table.RecordBuffer[0] == '*');
        break;
      }

      // Dates.
      case Op::Date: {
        const TodayDate t = Today();
        M.PushDate(expr::CalendarToJdn(t.Year, t.Month, t.Day));
        break;
      }
      case Op::Day: case Op::Month: case Op::Year: case Op::Dow: {
        Item& a = M.Top();
        int y, m, d;
        double r = 0;
        if (expr::JdnToCalendar(a.num, y, m, d)) {
          switch (in->op) {
            case Op::Day: r = d; break;
            case Op::Month: r = m; break;
            case Op::Year: r = Settings.CenturyOn ? y : y % 100; break;
            default: r = static_cast<double>((static_cast<int64_t>(a.num) + 1) % 7 + 1); break;
          }
        }
        a.type = 'N';
        a.num = r;
        break;
      }
      case Op::Dtos: {
        expr::JdnToYyyymmdd(M.PopNum(), buf);
        M.PushText(buf, 8);
        break;
      }
      case Op::Dtoc: {
        const size_t n = expr::JdnToDateText(M.PopNum(), buf);
        M.PushText(buf, static_cast<uint32_t>(n));
        break;
      }
      case Op::Cdow: case Op::Cmonth: {
        const std::string text = NameDateText(M.PopNum());
        const std::string name = in->op == Op::Cdow ? DayName(text) : MonthName(text);
        M.PushText(name.data(), static_cast<uint32_t>(name.size()));
        break;
      }
      case Op::Ctod: {
        const Item a = M.PopText();
        M.PushDate(Ctod(std::string_view(M.Text(a), a.len)));
        break;
      }
    }
  }
}

}  // namespace

const void* EvaluateExpr(CompiledExpr* Handle) {
  if (Handle == nullptr) return nullptr;
  expr::Program& p = Handle->Code;
  Machine m{p.pool.get(), p.poolSize, 0, p.stack.data(), 0};
  Run(*Handle, m);
  if (Handle->ResultType == 'C' || Handle->ResultType == 'M') {
    // The result is the only text left; it starts at the pool base except after an overflow
    // that left it in the last byte.
    const Item& r = m.st[0];
    if (r.off != 0) {
      std::memmove(m.pool, m.pool + r.off, r.len);
      m.pool[r.len] = '\0';
    }
    Handle->ResultTextLength = r.len;
  }
  return Handle->ResultPointer;
}

}  // namespace morvane
