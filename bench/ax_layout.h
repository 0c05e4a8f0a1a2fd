// The AX dataset record layout as the benchmarks build it: id1, geocode, name, the 209 numeric
// PCT12 cells (9 digits: a national population fits), sumlev and race, and the key of its index.
// Shared by the benchmark programs so that they all measure the same table.
#pragma once

#include <string>
#include <vector>

#include "engine/dbf/dbf_file.h"

namespace axbench {

inline constexpr int kCellCount = 209;
inline constexpr int kLineValues = 3 + kCellCount;  // values of one FactFinder data line
inline constexpr int kIterations = 9;               // total population, then A to H
inline constexpr char kRaceCodes[] = " ABCDEFGH";   // race code of each iteration, in file order
inline constexpr const char* kKeyExpr = "sumlev + geocode + race";
inline constexpr int kGeocodeWidth = 11;

// Field numbers (from 1) of the named fields.
inline constexpr int kId1Field = 1;
inline constexpr int kGeocodeField = 2;
inline constexpr int kNameField = 3;
inline constexpr int kSumlevField = 3 + kCellCount + 1;  // 213
inline constexpr int kRaceField = kSumlevField + 1;      // 214

// The 214 field descriptors of an AX dataset, for CreateDbf.
inline std::vector<morvane::FieldDescriptor> AxFields() {
  auto field = [](std::string name, char type, int width) {
    morvane::FieldDescriptor f;
    f.Name = std::move(name);
    f.Type = type;
    f.Width = static_cast<uint8_t>(width);
    return f;
  };
  std::vector<morvane::FieldDescriptor> fields = {
      field("ID1", 'C', 20), field("GEOCODE", 'C', kGeocodeWidth), field("NAME", 'C', 90)};
  for (int i = 1; i <= kCellCount; ++i) fields.push_back(field("P" + std::to_string(i), 'N', 9));
  fields.push_back(field("SUMLEV", 'C', 3));
  fields.push_back(field("RACE", 'C', 1));
  return fields;
}

}  // namespace axbench
