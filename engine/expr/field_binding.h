// How the expression layer sees the work areas: at compile time, the lookup of a field name in
// the current area or in the area an alias names; at evaluation time, the raw record of an area
// and whether its fields must read as blank.
#pragma once

#include <cstdint>
#include <string_view>

namespace morvane::expr {

struct FieldRef {
  int32_t number = 0;   // field number, from 1
  char type = 'C';      // C, N (F fields too), D, L or M
  uint16_t width = 0;
  uint8_t decimals = 0;
};

// The first open area among 1..32 whose alias equals Alias (cut to 10 characters) exactly;
// 0 when none does.
int AreaOfAlias(std::string_view Alias);

// Looks Name up among the fields of area Area (0 = the current area); false when the area is
// empty or has no field of exactly that name.
bool LookupField(int Area, std::string_view Name, FieldRef& Out);

}  // namespace morvane::expr
