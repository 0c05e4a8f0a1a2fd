// The typed record: a packed image of one record in native types, and its conversion to and
// from the raw record; plus the in-place translation of raw records (OEM code page, hooks).
//
// Typed record layout: byte 0 the deleted flag (1 = deleted), then one slot per field in
// descriptor order (FieldDescriptor::TypedOffset):
//   C        length byte + width characters                        width + 1
//   D        length byte + the date text of the current convention  width + 3 (8 or 10 chars)
//   N, F     IEEE 754 double when decimals > 0                      8
//            signed 32-bit integer when decimals = 0               4
//   L        0 or 1                                                 1
//   M        signed 32-bit memo block number (0 = none, stored as blanks) 4
// Numbers are in native byte order and unaligned (always copied with memcpy).
// Number texts in the file always use "." as the decimal point, whatever the engine's
// separators; a number that does not fit its width is stored as "*" fill.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/dbf/dbf_file.h"
#include "engine/dbf/digit_words.h"
#include "engine/util/dates.h"
#include "engine/util/startup.h"
#include "platform/codepage/codepage.h"

namespace morvane {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// The trimmed view of a raw field.
std::string_view TrimmedField(const char* p, size_t width) {
  size_t b = 0, e = width;
  while (b < e && IsBlank(p[b])) ++b;
  while (e > b && IsBlank(p[e - 1])) --e;
  return std::string_view(p + b, e - b);
}

// The leading integer of the raw field at P (blanks skipped, an optional sign, digits up to the
// first other byte; a fraction is dropped), clamped to the 32-bit range; 0 when there is none.
// Up to 18 digits cannot overflow the 64-bit sum, so only longer runs (wide fields) pay for the
// saturation test.
int32_t ParseInt32Field(const char* p, size_t width) {
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // The usual form in a field of 8 bytes or more: spaces, then up to 8 digits at its end. The
    // last 8 bytes are read as one word; the spaces before the digits become "0" and the eight
    // digits are added up pairwise in the word.
    if (width >= 8) {
      constexpr uint64_t kSpaces = 0x2020202020202020u, kZeros = 0x3030303030303030u;
      uint64_t w;
      std::memcpy(&w, p + width - 8, sizeof w);
      const uint64_t other = NonDigitBytes(w);
      const unsigned digits = other == 0 ? 8u : static_cast<unsigned>(std::countl_zero(other)) / 8;
      const uint64_t leading = digits == 8 ? 0 : ~uint64_t{0} >> (8 * digits);  // the bytes before
      size_t k = 0;
      while (k < width - 8 && p[k] == ' ') ++k;
      if (digits > 0 && k == width - 8 && (w & leading) == (kSpaces & leading)) {
        uint64_t v = ((w & ~leading) | (kZeros & leading)) - kZeros;
        v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFu;
        v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFu;
        v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFu;
        return static_cast<int32_t>(v);
      }
    }
    // The leading spaces of a right-aligned number eight at a time (up to the first byte that
    // is not a space; other blanks are skipped below).
    constexpr uint64_t kSpaces = 0x2020202020202020u;
    while (i + 8 <= width) {
      uint64_t w;
      std::memcpy(&w, p + i, sizeof w);
      const uint64_t other = w ^ kSpaces;
      if (other != 0) {
        i += static_cast<size_t>(std::countr_zero(other)) / 8;
        break;
      }
      i += 8;
    }
  }
  while (i < width && IsBlank(p[i])) ++i;
  bool negative = false;
  if (i < width && (p[i] == '+' || p[i] == '-')) negative = p[i++] == '-';
  int64_t v = 0;
  const size_t unchecked = std::min(width, i + 18);
  for (; i < unchecked; ++i) {
    const unsigned digit = static_cast<unsigned char>(p[i]) - unsigned{'0'};
    if (digit > 9) break;
    v = v * 10 + digit;
  }
  if (i == unchecked) {
    v = std::min(v, int64_t{INT32_MAX} + 1);
    for (; i < width; ++i) {
      const unsigned digit = static_cast<unsigned char>(p[i]) - unsigned{'0'};
      if (digit > 9) break;
      v = std::min(v * 10 + digit, int64_t{INT32_MAX} + 1);  // saturate, keep scanning
    }
  }
  if (negative) v = -v;
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// A number text as a double (decimal point "."); the leading valid part, 0 when there is none.
double ParseDouble(std::string_view t) {
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  double v = 0;
  std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
  return v;
}

// Writes Text right-aligned into the Width bytes at P, or "*" fill when it is too long.
void PutRightAligned(char* p, size_t width, const char* text, size_t length) {
  if (length > width) {
    std::memset(p, '*', width);
    return;
  }
  std::memset(p, ' ', width - length);
  std::memcpy(p + width - length, text, length);
}

void PutInteger(char* p, size_t width, int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  PutRightAligned(p, width, buf, static_cast<size_t>(r.ptr - buf));
}

void PutFixed(char* p, size_t width, double v, int decimals) {
  if (!std::isfinite(v)) {
    std::memset(p, '*', width);
    return;
  }
  char buf[640];  // any finite double in fixed notation with up to 255 decimals fits
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) {
    std::memset(p, '*', width);
    return;
  }
  size_t len = static_cast<size_t>(r.ptr - buf);
  // A value that rounds to zero is written without a sign ("-0.00" becomes "0.00").
  if (len > 0 && buf[0] == '-' &&
      std::all_of(buf + 1, r.ptr, [](char c) { return c == '0' || c == '.'; })) {
    std::memmove(buf, buf + 1, --len);
  }
  PutRightAligned(p, width, buf, len);
}

template <typename T>
void Store(uint8_t* slot, T v) {
  std::memcpy(slot, &v, sizeof v);
}
template <typename T>
T Load(const uint8_t* slot) {
  T v;
  std::memcpy(&v, slot, sizeof v);
  return v;
}

bool NumberIsDouble(const FieldDescriptor& f) { return f.Decimals > 0; }

// True for a date text that holds nothing but blanks and separators.
bool IsBlankDate(std::string_view t) {
  return std::all_of(t.begin(), t.end(),
                     [](char c) { return c == ' ' || c == '/' || c == '-' || c == '.'; });
}

// The eight characters YYYYMMDD of a typed date text, or 8 blanks for a blank or invalid date.
// A text of an unexpected length counts only when the date check accepts (and normalises) it.
std::string EncodeDate(std::string text) {
  const size_t expected = Settings.CenturyOn ? 10 : 8;
  if (text.size() != expected) {
    std::string checked = text;
    text = ValidDateText(checked) ? checked : std::string();
  }
  if (IsBlankDate(text)) return std::string(8, ' ');
  return DateToYYYYMMDD(text);
}

}  // namespace

void TranslateRecord(TranslateDirection direction, bool oem, RecordHook hook, size_t byteCount,
                     size_t recordLength, char* buffer) {
  if ((!oem && hook == nullptr) || recordLength < 2) return;
  const size_t records = byteCount / recordLength;
  for (size_t i = 0; i < records; ++i) {
    char* data = buffer + i * recordLength + 1;
    const size_t length = recordLength - 1;
    if (direction == TranslateDirection::ToDisk) {
      if (oem) platform::codepage::AnsiToOemBuffer(data, length);
      if (hook) hook(data, length);
    } else {
      if (hook) hook(data, length);
      if (oem) platform::codepage::OemToAnsiBuffer(data, length);
    }
  }
}

size_t TypedSlotSize(const FieldDescriptor& f) {
  switch (f.Type) {
    case 'C': return size_t{f.Width} + 1;
    case 'D': return size_t{f.Width} + 3;
    case 'N':
    case 'F': return NumberIsDouble(f) ? 8 : 4;
    case 'L': return 1;
    default: return 4;
  }
}

size_t TypedRecordSize(const DbfControlBlock& b) {
  size_t size = 1;
  for (const FieldDescriptor& f : b.Fields) size += TypedSlotSize(f);
  return size;
}

void RecordToTyped(const DbfControlBlock& b, uint8_t* typed) {
  const char* rec = b.Record();
  typed[0] = rec[0] == '*' ? 1 : 0;
  for (const FieldDescriptor& f : b.Fields) {
    const char* p = rec + f.Offset;
    uint8_t* slot = typed + f.TypedOffset;
    switch (f.Type) {
      case 'C':
        slot[0] = f.Width;
        std::memcpy(slot + 1, p, f.Width);
        break;
      case 'D': {
        std::string stored(p, std::min<size_t>(f.Width, 8));
        stored.resize(8, ' ');
        std::string text = YYYYMMDDToDate(stored);
        size_t length = std::min(text.size(), size_t{f.Width} + 2);
        slot[0] = static_cast<uint8_t>(length);
        std::memcpy(slot + 1, text.data(), length);
        break;
      }
      case 'N':
      case 'F':
        if (NumberIsDouble(f))
          Store(slot, ParseDouble(TrimmedField(p, f.Width)));
        else
          Store(slot, ParseInt32Field(p, f.Width));
        break;
      case 'L': {
        char c = f.Width > 0 ? p[0] : ' ';
        slot[0] = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 1 : 0;
        break;
      }
      default:
        Store(slot, ParseInt32Field(p, f.Width));
        break;
    }
  }
}

void TypedFieldToRecord(const FieldDescriptor& f, const uint8_t* typed, char* rec) {
  char* p = rec + f.Offset;
  const uint8_t* slot = typed + f.TypedOffset;
  switch (f.Type) {
    case 'C': {
      size_t length = std::min<size_t>(slot[0], f.Width);
      std::memcpy(p, slot + 1, length);
      std::memset(p + length, ' ', f.Width - length);
      break;
    }
    case 'D': {
      size_t length = std::min<size_t>(slot[0], size_t{f.Width} + 2);
      std::string stored = EncodeDate(std::string(reinterpret_cast<const char*>(slot + 1), length));
      size_t put = std::min<size_t>(f.Width, 8);
      std::memcpy(p, stored.data(), put);
      std::memset(p + put, ' ', f.Width - put);
      break;
    }
    case 'N':
    case 'F':
      if (NumberIsDouble(f))
        PutFixed(p, f.Width, Load<double>(slot), f.Decimals);
      else
        PutInteger(p, f.Width, Load<int32_t>(slot));
      break;
    case 'L':
      if (f.Width > 0) {
        p[0] = slot[0] ? 'T' : 'F';
        std::memset(p + 1, ' ', f.Width - 1u);
      }
      break;
    default: {
      // A memo block number; no memo (block 0) is stored as blanks, as other programs expect
      // (they take a "0" for block 0, the memo file's header).
      const int32_t block = Load<int32_t>(slot);
      if (block == 0) std::memset(p, ' ', f.Width);
      else PutInteger(p, f.Width, block);
      break;
    }
  }
}

void TypedToRecord(DbfControlBlock& b, const uint8_t* typed) {
  char* rec = b.Record();
  rec[0] = typed[0] ? '*' : ' ';
  for (const FieldDescriptor& f : b.Fields) TypedFieldToRecord(f, typed, rec);
}

}  // namespace morvane
