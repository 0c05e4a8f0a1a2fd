// The AX dataset record layout as the benchmarks build it: id1, geocode, name, the 209 numeric
// PCT12 cells (9 digits: a national population fits), sumlev and race, and the key of its index.
// Shared by the benchmark programs so that they all measure the same table.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/util/errors.h"

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

// Writes a new AX-layout table of `Records` records through the table layer: record r (from 0)
// gets the 15-character key KeyOf(r) (sumlev + geocode + race), an identifier and a name made
// from it, and pseudo-random counts. False when the engine reports an error.
template <typename KeyFn>
bool WriteAxTable(const std::string& Path, long Records, KeyFn KeyOf) {
  morvane::DbfControlBlock b;
  morvane::CreateDbf(b, Path, AxFields());
  if (morvane::Errors.DbfError != 0) return false;
  b.FileName = Path;
  morvane::OpenDbf(b);
  if (morvane::Errors.DbfError != 0) return false;
  uint32_t seed = 12345;
  for (long r = 0; r < Records; ++r) {
    char* rec = b.Record();
    std::memset(rec, ' ', b.RecordLength);
    const std::string key = KeyOf(r);
    char text[128];
    std::snprintf(text, sizeof text, "%s0000US%s", key.substr(0, 3).c_str(), key.substr(3, kGeocodeWidth).c_str());
    std::memcpy(rec + b.Fields[kId1Field - 1].Offset, text, std::strlen(text));
    std::memcpy(rec + b.Fields[kGeocodeField - 1].Offset, key.data() + 3, kGeocodeWidth);
    std::snprintf(text, sizeof text, "Census Tract %ld, Sample County", r / kIterations);
    std::memcpy(rec + b.Fields[kNameField - 1].Offset, text, std::strlen(text));
    for (int i = kNameField; i < kNameField + kCellCount; ++i) {
      seed = seed * 1103515245u + 12345u;
      std::snprintf(text, sizeof text, "%9u", (seed >> 16) % 5000);
      std::memcpy(rec + b.Fields[static_cast<size_t>(i)].Offset, text, 9);
    }
    std::memcpy(rec + b.Fields[kSumlevField - 1].Offset, key.data(), 3);
    rec[b.Fields[kRaceField - 1].Offset] = key[14];
    morvane::PutDbfRecord(b, b.RecordCount + 1);
    if (morvane::Errors.DbfError != 0) return false;
  }
  morvane::CloseDbf(b);
  return morvane::Errors.DbfError == 0;
}

}  // namespace axbench
