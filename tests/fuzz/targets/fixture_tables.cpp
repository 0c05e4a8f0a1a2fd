#include "tests/fuzz/targets/fixture_tables.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/dbf/memo.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/value_text.h"
#include "engine/dbf/workarea.h"
#include "engine/util/files.h"

namespace fuzz {

using namespace morvane;

FieldDescriptor Fd(const char* name, char type, uint8_t width, uint8_t decimals) {
  FieldDescriptor f;
  f.Name = name;
  f.Type = type;
  f.Width = width;
  f.Decimals = decimals;
  return f;
}

namespace {

// Creates the empty table Path of Version (memo files with BlockSize), the settings restored.
void CreateTable(const std::string& Path, uint8_t Version, uint16_t BlockSize,
                 const std::vector<FieldDescriptor>& Fields) {
  const uint8_t version = DbfSettings.DefaultVersion;
  const uint16_t blockSize = DbfSettings.DefaultMemoBlockSize;
  DbfSettings.DefaultVersion = Version;
  DbfSettings.DefaultMemoBlockSize = BlockSize;
  DbfControlBlock b;
  CreateDbf(b, Path, Fields);
  DbfSettings.DefaultVersion = version;
  DbfSettings.DefaultMemoBlockSize = blockSize;
}

void SetMemoBlock(int Field, int32_t Block) {
  std::memcpy(FieldAddress(Field), &Block, sizeof Block);
}

}  // namespace

uint8_t MemoTableVersion(MemoKind Kind) {
  switch (Kind) {
    case MemoKind::Dbase3: return kMemoDbase3;
    case MemoKind::FoxPro: return kMemoFoxPro;
    default: return 0x8B;
  }
}

std::string MemoFileOf(const std::string& Path, MemoKind Kind) {
  return ForceExtension(Path, MemoExtension(MemoTableVersion(Kind)));
}

void WriteMemoTable(const std::string& Path, MemoKind Kind) {
  CreateTable(Path, MemoTableVersion(Kind), Kind == MemoKind::FoxPro ? 64 : 512,
              {Fd("TITLE", 'C', 8), Fd("NOTES", 'M', 10), Fd("QTY", 'N', 5), Fd("EXTRA", 'M', 10)});
  Use(Path + " EXCLUSIVE", nullptr, 0);
  if (CurrentWorkArea() == nullptr) return;
  std::string lines;
  for (int i = 1; i <= 40; ++i) lines += "Line " + std::to_string(i) + " of the notes.\r\n";
  std::string wide;
  for (int i = 0; i < 50; ++i) wide += "word" + std::to_string(i % 10) + " ";
  std::string binary;
  for (int c = 0; c < 48; ++c) binary += static_cast<char>(c == 0x1A ? 0x1B : c);
  binary += "\xFF\xFE";
  struct Row {
    const char* Title;
    std::string Notes, Extra;
    int Qty;
  };
  const Row rows[] = {{"short", "Hello, memo.", "", 1},
                      {"lines", lines, "one\x8Dsoft\r\nnext\nLF only\rend", 2},
                      {"wide", wide, binary, 3},
                      {"none", "", "", 4},
                      {"oem", "Gr\x81\xE1" "e aus M\x81nchen\r\n", "", 5},
                      {"far", "", "", 6}};
  int32_t firstBlock = 0;
  for (const Row& r : rows) {
    ClearRecord();
    WorkArea& a = *CurrentWorkArea();
    StoreValueText(a.Table.Fields[0], a.Typed, r.Title);
    StoreValueText(a.Table.Fields[2], a.Typed, std::to_string(r.Qty));
    SetMemoBlock(2, WriteMemoText(r.Notes, false));
    SetMemoBlock(4, WriteMemoText(r.Extra, false));
    if (r.Qty == 1) std::memcpy(&firstBlock, FieldAddress(2), sizeof firstBlock);
    if (r.Qty == 5) SetMemoBlock(4, firstBlock);
    if (r.Qty == 6) {
      SetMemoBlock(2, 99999);
      SetMemoBlock(4, -firstBlock);
    }
    Append();
    if (r.Qty == 3) DeleteRec();
  }
  CloseArea();
}

void WriteImportTable(const std::string& Path) {
  CreateTable(Path, 0x8B, 512,
              {Fd("QTY", 'N', 5), Fd("NAME", 'C', 12), Fd("POP", 'N', 9), Fd("RATE", 'N', 7, 2),
               Fd("RATIO", 'F', 10, 4), Fd("BORN", 'D', 8), Fd("OK", 'L', 1), Fd("NOTES", 'M', 10),
               Fd("CODE", 'C', 3), Fd("BIG", 'N', 18), Fd("CITY", 'C', 30)});
}

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
