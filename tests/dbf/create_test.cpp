// CreateDbf: the exact bytes of new tables in every layout, and the definitions it refuses.
#include <filesystem>

#include "tests/dbf/dbf_fixture.h"

namespace dbftest {
namespace {

using namespace morvane;

class CreateTest : public EngineTest {
 protected:
  // The header date bytes the engine writes today.
  static void PatchToday(Bytes& expected) {
    TodayDate t = Today();
    expected[1] = static_cast<uint8_t>(t.Year - 1900);
    expected[2] = static_cast<uint8_t>(t.Month);
    expected[3] = static_cast<uint8_t>(t.Day);
  }
};

TEST_F(CreateTest, DbaseIIIFileIsByteExact) {
  CreateTable(file("people.dbf"), {Fd("name", 'c', 10), Fd(" Age ", 'N', 3)}, 0x03);
  ExpectNoError();
  Bytes expected = testsupport::FromHex(
      "03 000000 00000000 6100 0E00 00000000 000000000000000000000000 00 000000"
      // NAME C 10
      "4E414D45 00000000000000 43 00000000 0A 00 0000000000000000000000000000"
      // AGE N 3
      "414745 0000000000000000 4E 00000000 03 00 0000000000000000000000000000"
      "0D 1A");
  PatchToday(expected);
  EXPECT_EQ(testsupport::HexDump(testsupport::ReadFileBytes(file("people.dbf"))),
            testsupport::HexDump(expected));
}

TEST_F(CreateTest, Level7FileIsByteExact) {
  CreateTable(file("people.dbf"), {Fd("NAME", 'C', 10), Fd("AGE", 'N', 3)}, 0x8C);
  ExpectNoError();
  Bytes expected = testsupport::FromHex(
      "04 000000 00000000 A500 0E00 00000000 000000000000000000000000 00 000000"
      "444257494E574530" + std::string(56, '0') +                    // DBWINWE0 + 28 zeros
      "4E414D45" + std::string(56, '0') + "43 0A 00" + std::string(26, '0') +
      "414745" + std::string(58, '0') + "4E 03 00" + std::string(26, '0') +
      "0D 1A");
  PatchToday(expected);
  EXPECT_EQ(testsupport::HexDump(testsupport::ReadFileBytes(file("people.dbf"))),
            testsupport::HexDump(expected));
}

// Per layout: the version byte, header length, where the descriptors and types sit.
struct LayoutCase {
  uint8_t defaultVersion;
  bool memoField;
  uint8_t versionByte;
  int headerLength;
  int descriptorSize;
  int prolog;
  std::string storedTypes;  // of the fields C, F, D, L, (M)
};

class CreateLayoutTest : public CreateTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(CreateLayoutTest, WritesTheLayout) {
  const LayoutCase& c = GetParam();
  std::vector<FieldDescriptor> fields = {Fd("CITY", 'C', 20), Fd("RATE", 'F', 9, 3),
                                         Fd("BORN", 'D', 0), Fd("OK", 'L', 7)};
  if (c.memoField) fields.push_back(Fd("NOTE", 'M', 0));
  CreateTable(file("t.dbf"), fields, c.defaultVersion);
  ExpectNoError();
  Bytes b = testsupport::ReadFileBytes(file("t.dbf"));
  ASSERT_EQ(b.size(), static_cast<size_t>(c.headerLength) + 1);
  EXPECT_EQ(b[0], c.versionByte);
  EXPECT_EQ(b[8] | (b[9] << 8), c.headerLength);
  const int recordLength = 1 + 20 + 9 + 8 + 1 + (c.memoField ? 10 : 0);
  EXPECT_EQ(b[10] | (b[11] << 8), recordLength);
  EXPECT_EQ(b[4] | b[5] | b[6] | b[7], 0);           // no records
  EXPECT_EQ(b[static_cast<size_t>(c.headerLength - 1)], 0x0D);
  EXPECT_EQ(b.back(), 0x1A);
  const int typeAt = c.descriptorSize == 48 ? 32 : 11;
  const int widthAt = c.descriptorSize == 48 ? 33 : 16;
  std::string types;
  for (size_t i = 0; i < fields.size(); ++i) {
    const uint8_t* d = &b[static_cast<size_t>(c.prolog) + i * static_cast<size_t>(c.descriptorSize)];
    types += static_cast<char>(d[typeAt]);
    const int width[] = {20, 9, 8, 1, 10};  // D always 8, L 1, M 10
    EXPECT_EQ(d[widthAt], width[i]) << i;
    EXPECT_EQ(d[widthAt + 1], i == 1 ? 3 : 0) << i;
  }
  EXPECT_EQ(types, c.storedTypes);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CreateLayoutTest,
    ::testing::Values(LayoutCase{0x03, false, 0x03, 32 + 4 * 32 + 1, 32, 32, "CFDL"},
                      LayoutCase{0x83, true, 0x83, 32 + 5 * 32 + 1, 32, 32, "CNDLM"},
                      LayoutCase{0x83, false, 0x03, 32 + 4 * 32 + 1, 32, 32, "CNDL"},
                      LayoutCase{0x8B, true, 0x8B, 32 + 5 * 32 + 1, 32, 32, "CFDLM"},
                      LayoutCase{0x8B, false, 0x03, 32 + 4 * 32 + 1, 32, 32, "CFDL"},
                      LayoutCase{0xF5, true, 0xF5, 32 + 5 * 32 + 1, 32, 32, "CFDLM"},
                      LayoutCase{0x8C, true, 0x8C, 68 + 5 * 48 + 1, 48, 68, "CFDLM"},
                      LayoutCase{0x8C, false, 0x04, 68 + 4 * 48 + 1, 48, 68, "CFDL"},
                      // A plain default version: its own layout, the memo version when needed.
                      LayoutCase{0x04, false, 0x04, 68 + 4 * 48 + 1, 48, 68, "CFDL"},
                      LayoutCase{0x04, true, 0x8C, 68 + 5 * 48 + 1, 48, 68, "CFDLM"},
                      LayoutCase{0x03, true, 0x8B, 32 + 5 * 32 + 1, 32, 32, "CFDLM"}));

TEST_F(CreateTest, EveryLayoutReadsBackWhatItWrote) {
  for (uint8_t version : {0x03, 0x83, 0x8B, 0xF5, 0x04, 0x8C}) {
    SCOPED_TRACE(static_cast<int>(version));
    const std::string path = file("r" + std::to_string(version) + ".dbf");
    CreateTable(path, {Fd("NAME", 'C', 4), Fd("N", 'N', 5, 1), Fd("NOTE", 'M', 10)}, version);
    AppendRaw(path, {" abcd 12.5         3", "*wxyz -1.0          "});
    DbfControlBlock b;
    b.FileName = path;
    OpenDbf(b);
    ExpectNoError();
    ASSERT_EQ(b.FieldCount, 3);
    EXPECT_EQ(b.Fields[2].Name, "NOTE");
    EXPECT_EQ(b.Fields[2].Offset, 10);
    EXPECT_TRUE(b.HasMemo);
    EXPECT_EQ(b.RecordCount, 2);
    GetDbfRecord(b, 2);
    ExpectNoError();
    EXPECT_EQ(std::string(b.Record(), 20), "*wxyz -1.0          ");
    CloseDbf(b);
  }
}

TEST_F(CreateTest, ExtraVersionBytesMarkPlainAndMemoTables) {
  DbfSettings.ExtraVersionPlain = 0x31;
  DbfSettings.ExtraVersionMemo = 0x32;
  CreateTable(file("plain.dbf"), {Fd("A", 'C', 1)}, 0x03);
  CreateTable(file("memo.dbf"), {Fd("A", 'C', 1), Fd("B", 'G', 0)}, 0x03);  // G: 0x8B rules
  ExpectNoError();
  EXPECT_EQ(testsupport::ReadFileBytes(file("plain.dbf"))[0], 0x31);
  EXPECT_EQ(testsupport::ReadFileBytes(file("memo.dbf"))[0], 0x32);
}

TEST_F(CreateTest, DefaultExtensionFollowsTheNamesCase) {
  CreateTable(file("lower"), {Fd("A", 'C', 1)});
  CreateTable(file("UPPER"), {Fd("A", 'C', 1)});
  EXPECT_TRUE(std::filesystem::exists(file("lower.dbf")));
  EXPECT_TRUE(std::filesystem::exists(file("UPPER.DBF")));
}

TEST_F(CreateTest, ReplacesAnExistingFile) {
  testsupport::WriteFileText(file("t.dbf"), std::string(5000, 'x'));
  CreateTable(file("t.dbf"), {Fd("A", 'C', 1)});
  EXPECT_EQ(std::filesystem::file_size(file("t.dbf")), 32u + 32 + 1 + 1);
}

TEST_F(CreateTest, InvalidDefinitionsCreateNothing) {
  struct Case {
    const char* what;
    std::vector<FieldDescriptor> fields;
    uint8_t version;
  };
  std::vector<FieldDescriptor> tooMany(256, Fd("F", 'C', 1));
  const std::vector<Case> cases = {
      {"no fields", {}, 0x03},
      {"256 fields", tooMany, 0x03},
      {"empty name", {Fd("   ", 'C', 5)}, 0x03},
      {"C of width 0", {Fd("A", 'C', 0)}, 0x03},
      {"N of width 0", {Fd("A", 'N', 0)}, 0x03},
      {"unknown type", {Fd("A", 'X', 5)}, 0x03},
      {"B outside 0x8B/0x8C", {Fd("A", 'B', 10)}, 0x83},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(file("bad.dbf"));
    CreateTable(file("bad.dbf"), c.fields, c.version);
    ExpectError(211, "Invalid dBASE field definition [CreateDBF]");
    EXPECT_FALSE(std::filesystem::exists(file("bad.dbf")));
  }
}

TEST_F(CreateTest, NamesAreTrimmedCutAndUpperCased) {
  CreateTable(file("t.dbf"), {Fd("  abcdefghijklm ", 'C', 4), Fd("x", 'n', 5, 2)});
  DbfControlBlock b;
  b.FileName = file("t.dbf");
  OpenDbf(b);
  ExpectNoError();
  ASSERT_EQ(b.FieldCount, 2);
  EXPECT_EQ(b.Fields[0].Name, "ABCDEFGHIJ");
  EXPECT_EQ(b.Fields[1].Type, 'N');
  EXPECT_EQ(b.Fields[1].Decimals, 2);
  CloseDbf(b);
}

TEST_F(CreateTest, AFolderThatDoesNotExistIsReported) {
  CreateTable(dir_.path() + "/missing/t.dbf", {Fd("A", 'C', 1)});
  EXPECT_NE(Errors.DbfError, 0);
  EXPECT_EQ(Errors.ErrorDetail, "Error writing " + dir_.path() + "/missing/t.dbf. [CreateDbf]");
}

}  // namespace
}  // namespace dbftest
