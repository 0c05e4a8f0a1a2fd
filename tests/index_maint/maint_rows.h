// Row helpers of the maintenance suites: field values set through the typed record of the
// current area (the key table of the index suites), and eleven-digit geocodes.
#pragma once

#include <string>

#include "engine/dbf/value_text.h"
#include "engine/dbf/workarea.h"

namespace indextest {

// Key table field numbers.
enum { kSumlev = 1, kGeocode = 2, kRace = 3, kPop = 4, kDay = 5 };

inline void SetField(int Field, const std::string& Value) {
  morvane::WorkArea& a = *morvane::CurrentWorkArea();
  morvane::StoreValueText(a.Table.Fields[static_cast<size_t>(Field - 1)], a.Typed, Value);
}

inline std::string Geo(int N) {
  std::string s = std::to_string(N);
  return std::string(s.size() < 11 ? 11 - s.size() : 0, '0') + s;
}

}  // namespace indextest
