// OpenDbf on damaged and unusual files: every refusal with its code and message, the file closed
// and unchanged afterwards; and the oddities that still open.
#include <cstdio>
#include <cstring>

#include "tests/dbf/dbf_fixture.h"

namespace dbftest {
namespace {

using namespace morvane;
namespace os = platform::os;

class OpenTest : public EngineTest {
 protected:
  // Opens Path in a scratch block.
  DbfControlBlock Open(const std::string& path) {
    DbfControlBlock b;
    b.FileName = path;
    OpenDbf(b);
    return b;
  }
};

const std::vector<RawField> kTwoFields = {{"NAME", 'C', 10}, {"AGE", 'N', 3}};

Bytes WithRecords(Bytes header, const std::vector<std::string>& records) {
  for (const std::string& r : records) AppendText(header, r);
  header.push_back(0x1A);
  return header;
}

Bytes Dbase2File(bool terminator, size_t totalSize) {
  Bytes b(521, 0);
  b[0] = 0x02;
  b[1] = 2;  // two records
  b[3] = 7;  // month
  b[4] = 4;  // day
  b[5] = 110;
  b[6] = 14;  // record length
  auto put = [&](size_t at, const char* name, char type, uint8_t width) {
    std::copy(name, name + std::strlen(name), b.begin() + static_cast<long>(at));
    b[at + 11] = static_cast<uint8_t>(type);
    b[at + 12] = width;
  };
  if (terminator) {
    put(8, "NAME", 'C', 10);
    put(24, "AGE", 'N', 3);
    b[40] = 0x0D;
  } else {
    for (size_t i = 0; i < 32; ++i) put(8 + 16 * i, "F", 'C', 1);
  }
  AppendText(b, " Ann        42");
  AppendText(b, "*Bob         7");
  b.resize(totalSize, 0x1A);
  return b;
}

struct RefusedCase {
  const char* what;
  Bytes bytes;
  uint16_t code;
  std::string detail;  // "$" stands for the full path, "#" for the name with extension
};

TEST_F(OpenTest, DamagedFilesAreRefusedClosedAndUntouched) {
  Bytes shortProlog(10, 0x03);
  Bytes version30 = Dbase3Header(0x30, kTwoFields, 0);
  Bytes versionF4 = Dbase3Header(0xF4, kTwoFields, 0);
  Bytes noFields = Dbase3Header(0x03, {}, 0);
  Bytes tooManyFields = Dbase3Header(0x03, kTwoFields, 0, 32 * 254 + 5);
  Bytes headerBelowProlog = Dbase3Header(0x03, kTwoFields, 0, -90);
  Bytes level7TooShort = Dbase3Header(0x8C, kTwoFields, 0);  // 97 bytes: no 48-byte descriptor
  Bytes firstIsTerminator = Dbase3Header(0x03, kTwoFields, 0);
  firstIsTerminator[32] = 0x0D;
  Bytes headerPastFile = Dbase3Header(0x03, kTwoFields, 0, 500);
  Bytes badType = Dbase3Header(0x03, {{"NAME", 'C', 10}, {"AGE", 'X', 3}}, 0);
  Bytes recordTooShort = WithRecords(Dbase3Header(0x03, kTwoFields, 1, 0, -5), {"Ann     4"});
  Bytes hugeCount = Dbase3Header(0x03, kTwoFields, 0x80000000u);

  const std::vector<RefusedCase> cases = {
      {"empty file", {}, 210, "$ is not a dBASE database. (Prolog is less than 32 bytes) [USE/OpenDBF]"},
      {"prolog cut short", shortProlog, 210,
       "$ is not a dBASE database. (Prolog is less than 32 bytes) [USE/OpenDBF]"},
      {"version 0x30", version30, 210, "$ is not a dBASE database.(Invalid version byte)+ [USE/OpenDBF]"},
      {"version 0xF4", versionF4, 210, "$ is not a dBASE database.(Invalid version byte)+ [USE/OpenDBF]"},
      {"no fields", noFields, 210,
       "# is not a dBASE database. (Number of fields is out of range) [Use/OpenDbf]"},
      {"256 fields", tooManyFields, 210,
       "# is not a dBASE database. (Number of fields is out of range) [Use/OpenDbf]"},
      {"header length below the prolog", headerBelowProlog, 210,
       "# is not a dBASE database. (Number of fields is out of range) [Use/OpenDbf]"},
      {"level 7 without a descriptor", level7TooShort, 210,
       "# is not a dBASE database. (Number of fields is out of range) [Use/OpenDbf]"},
      {"terminator first", firstIsTerminator, 222, "Error reading $ [Use/OpenDbf]"},
      {"header length past the end", headerPastFile, 100, "Error reading $ [Use/OpenDbf]"},
      {"invalid type", badType, 211, "Field: AGE [X] in $ is not a valid field type"},
      {"record length below the widths", recordTooShort, 210,
       "$ is not a dBASE database. (Record length is less than the field widths) [Use/OpenDbf]"},
      {"record count above 2^31 - 1", hugeCount, 210,
       "$ is not a dBASE database. (Record count is out of range) [Use/OpenDbf]"},
      {"dBASE II shorter than its header", Dbase2File(true, 300), 210,
       "$ is not a dBASE database.(Header is less than 521 bytes) [Use/OpenDBF]"},
      {"dBASE II without terminator", Dbase2File(false, 560), 210,
       "# is not a dBASE database.(Number of fields is out of range) [Use/OpenDbf]"},
  };
  const std::string path = file("t.dbf");
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::WriteFileBytes(path, c.bytes);
    Errors.DbfError = 0;
    DbfControlBlock b = Open(path);
    std::string detail = c.detail;
    if (size_t at = detail.find('$'); at != std::string::npos) detail.replace(at, 1, path);
    if (detail[0] == '#') detail.replace(0, 1, "t.dbf");
    EXPECT_EQ(Errors.DbfError, c.code);
    EXPECT_EQ(Errors.ErrorDetail, detail);
    EXPECT_EQ(b.State, dsClosed);
    EXPECT_EQ(b.File, os::kInvalidHandle);
    EXPECT_TRUE(b.RecordBuffer.empty());
    EXPECT_TRUE(b.Fields.empty());
    EXPECT_EQ(testsupport::ReadFileBytes(path), c.bytes);
    // Nothing holds the file: an exclusive open succeeds.
    os::Handle h = os::FileOpen(path, os::fmOpenReadWrite | os::fmShareExclusive);
    EXPECT_NE(h, os::kInvalidHandle);
    os::FileClose(h);
  }
}

TEST_F(OpenTest, AMissingFileReportsTheSystemCode) {
  DbfControlBlock b = Open(file("nothere"));
  ExpectError(2, "Failure to open " + file("nothere.dbf") + " [USE/OpenDbf]");
  EXPECT_EQ(b.State, dsClosed);
}

TEST_F(OpenTest, OddButUsableHeadersOpen) {
  struct Case {
    const char* what;
    Bytes bytes;
    std::vector<std::string> names;
    std::string types;
  };
  Bytes early = Dbase3Header(0x03, {{"NAME", 'C', 10}, {"AGE", 'N', 3}, {"X", 'C', 1}}, 0);
  early[32 + 32] = 0x0D;  // terminator where the second descriptor should be
  Bytes roomy = Dbase3Header(0x03, kTwoFields, 0, 263);
  roomy.resize(roomy.size() + 263, 0);
  Bytes memoLike = Dbase3Header(0x8B, {{"G1", 'G', 10}, {"B1", 'B', 10}, {"P1", 'P', 10}}, 0);
  Bytes names = Dbase3Header(0x03, {{"ABCDEFGHIJ", 'C', 1}, {"KLMNOPQRSTU", 'C', 1},
                                    {"lower", 'C', 1}}, 0);
  const std::vector<Case> cases = {
      {"early terminator", early, {"NAME"}, "C"},
      {"263 spare bytes after the terminator", roomy, {"NAME", "AGE"}, "CN"},
      {"B, G and P read as memo", memoLike, {"G1", "B1", "P1"}, "MMM"},
      {"names without NUL, lower case", names, {"ABCDEFGHIJ", "KLMNOPQRST", "LOWER"}, "CCC"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::WriteFileBytes(file("t.dbf"), c.bytes);
    Errors.DbfError = 0;
    DbfControlBlock b = Open(file("t.dbf"));
    ExpectNoError();
    ASSERT_EQ(b.State, dsClean);
    std::vector<std::string> got;
    std::string types;
    for (const FieldDescriptor& f : b.Fields) {
      got.push_back(f.Name);
      types += f.Type;
    }
    EXPECT_EQ(got, c.names);
    EXPECT_EQ(types, c.types);
    EXPECT_EQ(b.LastUpdate, "20100704");
    EXPECT_EQ(b.CurrentRecord, 0);
    EXPECT_TRUE(b.AtEof && b.AtBof);
    CloseDbf(b);
  }
}

TEST_F(OpenTest, DbaseIITableOpensAndReads) {
  testsupport::WriteFileBytes(file("t.dbf"), Dbase2File(true, 521 + 28 + 1));
  DbfControlBlock b = Open(file("t.dbf"));
  ExpectNoError();
  ASSERT_EQ(b.FieldCount, 2);
  EXPECT_EQ(b.HeaderLength, 521);
  EXPECT_EQ(b.RecordCount, 2);
  EXPECT_EQ(b.LastUpdate, "20100704");
  EXPECT_EQ(b.Fields[1].Offset, 11);
  GetDbfRecord(b, 2);
  ExpectNoError();
  EXPECT_EQ(std::string(b.Record(), 14), "*Bob         7");
  CloseDbf(b);
}

TEST_F(OpenTest, FieldOffsetsComeFromTheWidths) {
  testsupport::WriteFileBytes(file("t.dbf"), WithRecords(Dbase3Header(0x03, kTwoFields, 1),
                                                         {" Ann        42"}));
  DbfControlBlock b = Open(file("t.dbf"));
  ASSERT_EQ(b.FieldCount, 2);
  EXPECT_EQ(b.Fields[0].Offset, 1);
  EXPECT_EQ(b.Fields[1].Offset, 11);
  EXPECT_EQ(b.RecordLength, 14);
  EXPECT_EQ(b.RecordCount, 1);
  EXPECT_EQ(b.CurrentRecord, 1);
  EXPECT_FALSE(b.AtEof || b.AtBof);
  CloseDbf(b);
}

TEST_F(OpenTest, RecordsMissingFromTheFileFailWhenRead) {
  // The header claims five records; the file holds two.
  testsupport::WriteFileBytes(file("t.dbf"), WithRecords(Dbase3Header(0x03, kTwoFields, 5),
                                                         {" Ann        42", " Bob         7"}));
  DbfControlBlock b = Open(file("t.dbf"));
  ExpectNoError();
  EXPECT_EQ(b.RecordCount, 5);
  GetDbfRecord(b, 2);
  ExpectNoError();
  GetDbfRecord(b, 4);
  ExpectError(213, "File:  " + file("t.dbf") + "  [GetDbfRecord]");
  EXPECT_EQ(b.CurrentRecord, 2);
  CloseDbf(b);

  DbfSettings.RecountOnOpen = true;
  b = Open(file("t.dbf"));
  EXPECT_EQ(b.RecordCount, 2);
  CloseDbf(b);
}

TEST_F(OpenTest, RecordNumbersOutsideTheTableAreRefused) {
  testsupport::WriteFileBytes(file("t.dbf"), WithRecords(Dbase3Header(0x03, kTwoFields, 2),
                                                         {" Ann        42", " Bob         7"}));
  DbfControlBlock b = Open(file("t.dbf"));
  GetDbfRecord(b, 1);
  for (int32_t n : {0, -1, 3}) {
    Errors.DbfError = 0;
    GetDbfRecord(b, n);
    ExpectError(212, "Invalid record number = " + std::to_string(n) + " (" + file("t.dbf") +
                         ")  [GetDbfRecord]");
    EXPECT_EQ(b.CurrentRecord, 1);
  }
  CloseDbf(b);
}

TEST_F(OpenTest, ExtraVersionBytesAreAcceptedWhenDeclared) {
  Bytes plain = Dbase3Header(0x31, kTwoFields, 0);
  testsupport::WriteFileBytes(file("t.dbf"), plain);
  DbfControlBlock b = Open(file("t.dbf"));
  EXPECT_EQ(Errors.DbfError, 210);
  DbfSettings.ExtraVersionPlain = 0x31;
  DbfSettings.ExtraVersionMemo = 0xB1;
  Errors.DbfError = 0;
  b = Open(file("t.dbf"));
  ExpectNoError();
  EXPECT_FALSE(b.HasMemo);
  CloseDbf(b);
  EXPECT_TRUE(VersionHasMemo(0xB1, 0));
  EXPECT_FALSE(VersionHasMemo(0x31, 0));
  EXPECT_TRUE(VersionHasMemo(0x30, 0x02));
  EXPECT_FALSE(VersionHasMemo(0x30, 0x00));
}

TEST(VersionTest, ValidVersionsAndMemoExtensions) {
  morvane::EngineStartup();
  std::string valid;
  for (int v = 0; v < 256; ++v)
    if (IsValidVersion(static_cast<uint8_t>(v))) valid += std::to_string(v) + " ";
  EXPECT_EQ(valid, "2 3 4 131 139 140 245 ");
  EXPECT_EQ(MemoExtension(0xF5), "FPT");
  EXPECT_EQ(MemoExtension(0x83), "DBT");
  EXPECT_EQ(MemoExtension(0x8C), "DBT");
  EXPECT_EQ(MemoExtension(0x30), "DBT");  // not valid: DefaultVersion 0x8B decides
  DbfSettings.DefaultVersion = 0xF5;
  EXPECT_EQ(MemoExtension(0x77), "FPT");
  morvane::EngineShutdown();
}

}  // namespace
}  // namespace dbftest

namespace dbftest {
namespace {

// Damage a valid three-record table at random (bytes of the header and descriptors changed, the
// file cut short or grown): whatever opens must read to its end, and nothing is ever written.
TEST_F(OpenTest, RandomlyDamagedTablesNeverCrashOrChange) {
  CreateTable(file("good.dbf"), {Fd("NAME", 'C', 5), Fd("N", 'N', 6, 2), Fd("D", 'D', 8),
                                 Fd("L", 'L', 1), Fd("M", 'M', 10)}, 0x83);
  AppendRaw(file("good.dbf"), {" Ann   12.5020100704T         7", "*Bob   -1.00        F          ",
                               " Cid  999.99        ?         1"});
  const Bytes good = testsupport::ReadFileBytes(file("good.dbf"));
  // The memo file the damaged copies open with (the memo layer opens one for a memo table).
  testsupport::WriteFileBytes(file("t.dbt"), testsupport::ReadFileBytes(file("good.dbt")));
  uint32_t seed = 2024;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  int opened = 0;
  for (int round = 0; round < 600; ++round) {
    Bytes damaged = good;
    const uint32_t kind = next() % 4;
    if (kind == 0) {
      damaged.resize(next() % damaged.size());
    } else {
      for (uint32_t i = 0, n = 1 + next() % 4; i < n; ++i)
        damaged[next() % 200] = static_cast<uint8_t>(next());
      if (kind == 3) damaged.resize(damaged.size() + next() % 70, static_cast<uint8_t>(next()));
    }
    std::remove(file("t.dbf").c_str());  // a fresh file: rewriting one in place forces a flush
    testsupport::WriteFileBytes(file("t.dbf"), damaged);
    Errors.DbfError = 0;
    Use(file("t"), nullptr, 0);
    if (Errors.DbfError == 0) {
      ++opened;
      SetIgnoreDel(round % 2 == 0);
      for (int steps = 0; steps < 10 && !dEOF(); ++steps) Skip(1);
      GoBottom();
      Go(2);
      for (int i = 0; i <= FieldCount(); ++i) FieldAddress(i);
    }
    CloseArea();
    ASSERT_EQ(testsupport::ReadFileBytes(file("t.dbf")), damaged) << "round " << round;
  }
  EXPECT_GT(opened, 0);  // some damage leaves a usable table
}

}  // namespace
}  // namespace dbftest
