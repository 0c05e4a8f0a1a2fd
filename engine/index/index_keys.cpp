// Key building: the key of the current record for a tag (from its key expression, in the tag's
// encoding), the key of a search text, and the FOR test.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "engine/expr/julian.h"
#include "engine/expr/numbers.h"
#include "engine/index/index_internal.h"
#include "engine/util/dates.h"
#include "engine/util/texts.h"
#include "platform/codepage/codepage.h"

namespace morvane::ndx {

namespace {

// The number in fixed-point notation with Decimals decimals, rounded half away from zero.
void NumberKey(double Value, int Decimals, uint8_t* Out) {
  std::array<char, 700> text{};
  const double rounded = expr::RoundDecimal(Value, Decimals);
  const int n = std::snprintf(text.data(), text.size(), "%.*f", std::min(Decimals, 255), rounded);
  const size_t length = n < 0 ? 0 : std::min(static_cast<size_t>(n), text.size() - 1);
  mdx::EncodeDecimal(std::string_view(text.data(), length), Decimals, Out);
}

}  // namespace

void BuildKey(const WorkArea& A, IndexTag& T, uint8_t* Out) {
  const void* value = EvaluateExpr(T.KeyExpr);
  if (value == nullptr) {
    std::memset(Out, T.CKey ? ' ' : 0, T.KeyLength);
    return;
  }
  switch (T.Compare.Kind) {
    case mdx::KeyKind::Text: {
      const std::string_view text = ResultText(T.KeyExpr);
      const size_t n = std::min<size_t>(text.size(), T.KeyLength);
      std::memcpy(Out, text.data(), n);
      std::memset(Out + n, ' ', T.KeyLength - n);
      if (A.Table.OemTranslation)
        platform::codepage::AnsiToOemBuffer(reinterpret_cast<char*>(Out), T.KeyLength);
      break;
    }
    case mdx::KeyKind::Decimal:
      NumberKey(ResultNumber(T.KeyExpr), T.Decimals, Out);
      break;
    case mdx::KeyKind::Double: {
      const double d = ResultNumber(T.KeyExpr);
      std::memcpy(Out, &d, 8);
      break;
    }
  }
}

bool SatisfiesFor(IndexTag& T) {
  if (T.ForExpr == nullptr) return true;
  const void* value = EvaluateExpr(T.ForExpr);
  return value != nullptr && ResultLogical(T.ForExpr);
}

size_t SearchKey(const WorkArea& A, const IndexTag& T, std::string_view Text, uint8_t* Out) {
  std::memset(Out, 0, mdx::kMaxKeyLength + 1);
  switch (T.Compare.Kind) {
    case mdx::KeyKind::Text: {
      size_t n = std::min<size_t>(Text.size(), T.KeyLength);
      std::memcpy(Out, Text.data(), n);
      if (IndexState.ExactFind) {
        std::memset(Out + n, ' ', T.KeyLength - n);
        n = T.KeyLength;
      }
      if (A.Table.OemTranslation) platform::codepage::AnsiToOemBuffer(reinterpret_cast<char*>(Out), n);
      // A descending order seeks past every key that begins with the text.
      if (T.Compare.Descending) std::memset(Out + n, 0xFE, T.KeyLength - n);
      return n;
    }
    case mdx::KeyKind::Decimal:
      mdx::EncodeDecimal(Text, 0, Out);
      return 12;
    case mdx::KeyKind::Double: {
      const std::string ymd = DateToYYYYMMDD(Trim(Text));
      const double d = expr::YyyymmddToJdn(ymd.data(), ymd.size());
      std::memcpy(Out, &d, 8);
      return 8;
    }
  }
  return 0;
}

void RememberRecordKey(IndexTag& T) {
  const WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Table.RecordCount == 0 || a->Table.CurrentRecord == 0) {
    T.CurrentKey.fill(0);
    if (T.CKey) std::memset(T.CurrentKey.data(), ' ', T.KeyLength);
    return;
  }
  BuildKey(*a, T, T.CurrentKey.data());
}

}  // namespace morvane::ndx
