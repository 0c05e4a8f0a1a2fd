// The geographic areas of a sample: states (summary level 040), counties (050) or census tracts
// (140), with FactFinder-style identifiers, codes and names, in ascending code order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ffsample {

enum class Level { State, County, Tract };

// "040", "050" or "140".
const char* LevelCode(Level level);
// The level for a summary-level text; false when the text is not one of the three codes.
bool ParseLevel(const std::string& text, Level& level);
// The most areas a sample of this level can hold with distinct geographic codes.
std::size_t MaxAreas(Level level);

struct Area {
  std::string id;       // geography identifier, e.g. "1400000US01001020100"
  std::string geocode;  // 2 (state), 5 (county) or 11 (tract) digits, e.g. "01001020100"
  std::string name;     // e.g. "Census Tract 201, Autauga County, Alabama"
};

// `count` areas of the level (count <= MaxAreas(level)), deterministic for the seed. The codes
// are distinct and ascending; states are the real ones in code order (then invented ones once
// those run out), counties and tracts get invented names and a random number per parent.
std::vector<Area> MakeAreas(Level level, std::size_t count, uint64_t seed);

}  // namespace ffsample
