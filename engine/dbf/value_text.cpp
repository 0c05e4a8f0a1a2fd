// Text values stored by field type into the typed record (layout in engine/dbf/typed_record.cpp:
// C length byte + characters; D length byte + date text; N/F double with decimals, else 32-bit
// integer; L one byte 0/1).
#include "engine/dbf/value_text.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/util/dates.h"
#include "engine/util/startup.h"
#include "engine/util/texts.h"

namespace morvane {

namespace {

bool IsBlankText(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= 32; });
}

// A number text as the conversions read it: after cleaning, an optional "-", digits and at most
// one "." with digits (a blank text counts as 0 and is accepted).
bool IsNumberText(std::string_view value) {
  // The common case without copying: blanks, an optional "-", digits, at most one decimal
  // separator with digits, blanks.
  {
    size_t i = 0, n = value.size();
    while (i < n && value[i] == ' ') ++i;
    while (n > i && value[n - 1] == ' ') --n;
    if (i == n) return true;
    if (value[i] == '-') ++i;
    bool digit = false, point = false, plain = true;
    for (; i < n && plain; ++i) {
      const char c = value[i];
      if (c >= '0' && c <= '9')
        digit = true;
      else if (c == Settings.DecimalSeparator && !point)
        point = true;
      else
        plain = false;
    }
    if (plain) return digit;
  }
  if (IsBlankText(value)) return true;
  std::string text(value);
  CleanNumberText(text);
  size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
  bool digit = false, point = false;
  for (; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      digit = true;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit;
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A length-prefixed text into a slot that holds at most Capacity characters.
void PutCounted(uint8_t* slot, std::string_view text, size_t capacity) {
  const size_t length = std::min(text.size(), capacity);
  slot[0] = static_cast<uint8_t>(length);
  std::memcpy(slot + 1, text.data(), length);
}

}  // namespace

bool TakesValueText(const FieldDescriptor& field) {
  switch (field.Type) {
    case 'C':
    case 'D':
    case 'F':
    case 'L':
    case 'N':
      return true;
    default:
      return false;
  }
}

bool StoreValueText(const FieldDescriptor& field, uint8_t* typed, std::string_view value) {
  uint8_t* slot = typed + field.TypedOffset;
  switch (field.Type) {
    case 'C':
      PutCounted(slot, value, field.Width);
      return true;
    case 'D': {
      // The slot holds the width + 2 characters of a date text, 10 for the usual width of 8.
      const size_t capacity = std::min<size_t>(10, size_t{field.Width} + 2);
      std::string text = AllDigits(value) ? YYYYMMDDToDate(value) : std::string(value);
      text.resize(std::min(text.size(), size_t{10}));
      const bool valid = IsBlankText(text) || ValidDateText(text);
      if (!valid || IsBlankText(text)) text = BlankDateText(Settings.DateConvention);
      PutCounted(slot, text, capacity);
      return valid;
    }
    case 'N':
    case 'F':
      if (field.Decimals > 0) {
        const double v = TextToReal(value);
        std::memcpy(slot, &v, sizeof v);
      } else {
        const int32_t v = TextToInt32(value);
        std::memcpy(slot, &v, sizeof v);
      }
      return IsNumberText(value);
    case 'L': {
      const char c = value.empty() ? ' ' : value[0];
      slot[0] = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 1 : 0;
      return true;
    }
    default:
      return true;  // memo fields take no value from a text
  }
}

bool StoreValueTextInBlankRecord(const FieldDescriptor& field, char* record,
                                 std::string_view value, uint8_t* scratch) {
  char* p = record + field.Offset;
  const size_t width = field.Width;
  if (field.Type == 'C') {
    // The blank record's field is all blanks.
    std::memcpy(p, value.data(), std::min(value.size(), width));
    return true;
  }
  if ((field.Type == 'N' || field.Type == 'F') && field.Decimals == 0 && !value.empty() &&
      value.size() <= 9) {
    // Up to 9 digits always fit 32 bits, so TextToInt32 gives their value unchanged, which is
    // written without leading zeros, right-aligned, or as "*" fill when wider than the field.
    // The blank record's field holds blanks and a "0" in its last byte, which the last digit
    // overwrites.
    size_t first = 0;
    while (first + 1 < value.size() && value[first] == '0') ++first;
    bool digits = true;
    for (const char c : value) digits &= c >= '0' && c <= '9';
    if (digits) {
      const size_t length = value.size() - first;
      if (length > width)
        std::memset(p, '*', width);
      else
        for (size_t i = 0; i < length; ++i) p[width - length + i] = value[first + i];
      return true;
    }
  }
  const bool valid = StoreValueText(field, scratch, value);
  TypedFieldToRecord(field, scratch, record);
  return valid;
}

}  // namespace morvane
