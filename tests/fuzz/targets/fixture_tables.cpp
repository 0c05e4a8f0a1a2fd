#include "tests/fuzz/targets/fixture_tables.h"

#include <cstdio>
#include <vector>

#include "engine/dbf/dbf_file.h"

namespace fuzz {

using namespace morvane;

namespace {

FieldDescriptor Fd(const char* name, char type, uint8_t width, uint8_t decimals = 0) {
  FieldDescriptor f;
  f.Name = name;
  f.Type = type;
  f.Width = width;
  f.Decimals = decimals;
  return f;
}

}  // namespace

void WriteIndexTable(const std::string& path) {
  const std::vector<FieldDescriptor> fields = {
      Fd("SUMLEV", 'C', 3), Fd("GEOCODE", 'C', 11), Fd("RACE", 'C', 1), Fd("NAME", 'C', 24),
      Fd("POP", 'N', 8, 2), Fd("BORN", 'D', 8),     Fd("OK", 'L', 1)};
  const uint8_t version = DbfSettings.DefaultVersion;
  DbfSettings.DefaultVersion = 0x03;
  DbfControlBlock b;
  CreateDbf(b, path, fields);
  DbfSettings.DefaultVersion = version;
  b = DbfControlBlock{};
  b.FileName = path;
  OpenDbf(b);
  if (b.State == dsClosed) return;
  static const char* const kRaces = " ABH";
  for (int r = 0; r < 30; ++r) {
    const int area = r / 4;
    char record[64];
    std::snprintf(record, sizeof record, "%c%s45%03d......%c%-24.24s%8.2f2010%02d%02d%c",
                  r == 7 ? '*' : ' ', area < 5 ? "050" : "140", area * 2 + 1, kRaces[r % 4],
                  (std::string("County number ") + std::to_string(area) + " of the state").c_str(),
                  (r * 7919 % 10000) / 4.0, r % 12 + 1, r % 28 + 1, r % 3 == 0 ? 'T' : 'F');
    b.RecordBuffer.assign(record, record + b.RecordLength);
    PutDbfRecord(b, b.RecordCount + 1);
  }
  CloseDbf(b);
}

}  // namespace fuzz
