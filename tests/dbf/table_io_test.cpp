// Record I/O on open tables: appends and rewrites, the header's count and date on flush and
// close, the write states, the multi-user bytes, OEM translation and hooks on disk, and a failed
// append that must leave the table as it was.
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>

#include "tests/support/test_support.h"
#include "tests/dbf/dbf_fixture.h"

namespace dbftest {
namespace {

using namespace morvane;

class TableIoTest : public EngineTest {
 protected:
  // A table NAME C 5, AGE N 3 (record length 9) with the given records, opened in b_.
  void OpenTable(const std::vector<std::string>& records, bool oem = false) {
    CreateTable(file("t.dbf"), {Fd("NAME", 'C', 5), Fd("AGE", 'N', 3)});
    if (!records.empty()) AppendRaw(file("t.dbf"), records);
    b_.FileName = file("t.dbf");
    b_.OemTranslation = oem;
    OpenDbf(b_);
    ASSERT_EQ(b_.State, dsClean) << Errors.ErrorDetail;
  }
  void Put(const std::string& record, int32_t n) {
    std::memcpy(b_.Record(), record.data(), b_.RecordLength);
    PutDbfRecord(b_, n);
  }
  void TearDown() override {
    if (b_.State != dsClosed) CloseDbf(b_);
    EngineTest::TearDown();
  }
  Bytes Disk() { return testsupport::ReadFileBytes(file("t.dbf")); }
  static uint32_t CountOnDisk(const Bytes& b) {
    return b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<uint32_t>(b[7]) << 24);
  }

  DbfControlBlock b_;
};

TEST_F(TableIoTest, AppendBeyondTheCountAddsOneRecordAndTheHeaderFollowsOnClose) {
  OpenTable({" Ann   42", " Bob    7"});
  Put(" Cid   99", b_.RecordCount + 5);
  ExpectNoError();
  EXPECT_EQ(b_.RecordCount, 3);
  EXPECT_EQ(b_.CurrentRecord, 3);
  EXPECT_EQ(b_.State, dsAppended);
  EXPECT_EQ(CountOnDisk(Disk()), 2u);  // not rewritten per record
  CloseDbf(b_);
  Bytes disk = Disk();
  EXPECT_EQ(CountOnDisk(disk), 3u);
  ASSERT_EQ(disk.size(), 32u + 64 + 1 + 3 * 9 + 1);
  EXPECT_EQ(disk.back(), 0x1A);
  EXPECT_EQ(std::string(disk.end() - 10, disk.end() - 1), " Cid   99");
  TodayDate t = Today();
  EXPECT_EQ(disk[1], t.Year - 1900);
  EXPECT_EQ(disk[2], t.Month);
  EXPECT_EQ(disk[3], t.Day);
}

TEST_F(TableIoTest, WriteStatesAndFlush) {
  OpenTable({" Ann   42"});
  EXPECT_EQ(b_.State, dsClean);
  Put(" Ann   43", 1);
  EXPECT_EQ(b_.State, dsModified);
  Put(" Bob    7", 2);
  EXPECT_EQ(b_.State, dsAppended);
  Put(" Ann   44", 1);
  EXPECT_EQ(b_.State, dsAppended);  // a rewrite never lowers 3 to 2
  FlushDbf(b_);
  ExpectNoError();
  EXPECT_EQ(b_.State, dsClean);
  Bytes disk = Disk();
  EXPECT_EQ(CountOnDisk(disk), 2u);
  EXPECT_EQ(disk.back(), 0x1A);
  WriteDeleteFlag(b_, 2);
  EXPECT_EQ(b_.State, dsModified);
}

TEST_F(TableIoTest, FlushAfterWriteRecordsEachAppend) {
  OpenTable({});
  DbfSettings.FlushAfterWrite = true;
  Put(" Ann   42", 1);
  EXPECT_EQ(b_.State, dsClean);
  Bytes disk = Disk();
  EXPECT_EQ(CountOnDisk(disk), 1u);
  EXPECT_EQ(disk.back(), 0x1A);
}

TEST_F(TableIoTest, WriteDeleteFlagWritesOnlyTheFlag) {
  OpenTable({" Ann   42", " Bob    7"});
  GetDbfRecord(b_, 2);
  std::memcpy(b_.Record(), "*XXXXXXXX", 9);
  WriteDeleteFlag(b_, 2);
  ExpectNoError();
  Bytes disk = Disk();
  EXPECT_EQ(std::string(disk.begin() + 97 + 9, disk.begin() + 97 + 18), "*Bob    7");
  for (int32_t n : {0, 3}) {
    Errors.DbfError = 0;
    WriteDeleteFlag(b_, n);
    EXPECT_EQ(Errors.DbfError, 212);
  }
  EXPECT_EQ(Disk().size(), disk.size());
}

TEST_F(TableIoTest, HeaderRewriteKeepsTheMultiUserBytes) {
  OpenTable({" Ann   42"});
  // Another program writes its bytes 16..27 while the table is open.
  Bytes disk = Disk();
  for (int i = 16; i < 28; ++i) disk[static_cast<size_t>(i)] = static_cast<uint8_t>(0xA0 + i);
  testsupport::WriteFileBytes(file("t.dbf"), disk);
  Put(" Ann   43", 1);
  CloseDbf(b_);
  Bytes after = Disk();
  for (int i = 16; i < 28; ++i) EXPECT_EQ(after[static_cast<size_t>(i)], 0xA0 + i) << i;
  EXPECT_EQ(std::string(after.begin() + 97, after.begin() + 106), " Ann   43");
}

TEST_F(TableIoTest, OemTablesStoreOemBytesAndShowAnsi) {
  OpenTable({}, /*oem=*/true);
  Put("*\xC4l\xE9" "e 12 ", 1);  // "Älée" in Windows-1252, deleted
  EXPECT_EQ(std::string(b_.Record(), 9), "*\xC4l\xE9" "e 12 ");  // the caller's buffer is unchanged
  Bytes disk = Disk();
  EXPECT_EQ(std::string(disk.begin() + 97, disk.begin() + 106), "*\x8El\x82" "e 12 ");
  std::memset(b_.Record(), 0, 9);
  GetDbfRecord(b_, 1);
  EXPECT_EQ(std::string(b_.Record(), 9), "*\xC4l\xE9" "e 12 ");
  CloseDbf(b_);

  b_.OemTranslation = false;
  OpenDbf(b_);
  GetDbfRecord(b_, 1);
  EXPECT_EQ(std::string(b_.Record(), 9), "*\x8El\x82" "e 12 ");
}

TEST_F(TableIoTest, RecordHooksTransformTheDiskImage) {
  OpenTable({});
  b_.WriteHook = +[](char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<char>(p[i] ^ 0x20);
  };
  b_.ReadHook = b_.WriteHook;
  Put(" abcd  1 ", 1);
  Bytes disk = Disk();
  EXPECT_EQ(std::string(disk.begin() + 97, disk.begin() + 106), std::string(" ABCD\0\0\x11\0", 9));
  GetDbfRecord(b_, 1);
  EXPECT_EQ(std::string(b_.Record(), 9), " abcd  1 ");
}

TEST_F(TableIoTest, AFailedAppendLeavesCountHeaderAndLengthAsTheyWere) {
  struct Case {
    const char* what;
    bool appendFirst;  // an append in the same session already removed the 0x1A byte
  };
  for (const Case& c : {Case{"after open", false}, Case{"after an append", true}}) {
    SCOPED_TRACE(c.what);
    OpenTable({" Ann   42", " Bob    7"});
    if (c.appendFirst) Put(" Cid   99", 3);
    const int32_t count = b_.RecordCount;
    const int32_t current = b_.CurrentRecord;
    const uint8_t state = b_.State;
    const Bytes before = Disk();
    {
      // Room for 4 bytes of the 9-byte record: the write is cut short, then fails.
      testsupport::FileSizeLimit limit(97 + static_cast<rlim_t>(count) * 9 + 4);
      Errors.DbfError = 0;
      Put(" Dan   12", count + 1);
    }
    EXPECT_NE(Errors.DbfError, 0);
    EXPECT_NE(Errors.ErrorDetail.find("[Replace/Append/PutDbfRecord]"), std::string::npos);
    EXPECT_EQ(b_.RecordCount, count);
    EXPECT_EQ(b_.CurrentRecord, current);
    EXPECT_EQ(b_.State, state);
    EXPECT_EQ(Disk(), before);
    Errors.DbfError = 0;
    CloseDbf(b_);
    ExpectNoError();
    Bytes after = Disk();
    EXPECT_EQ(CountOnDisk(after), static_cast<uint32_t>(count));
    EXPECT_EQ(after.size(), 97u + static_cast<size_t>(count) * 9 + 1);
    // The table opens and reads as before.
    b_.FileName = file("t.dbf");
    OpenDbf(b_);
    ExpectNoError();
    GetDbfRecord(b_, count);
    ExpectNoError();
    CloseDbf(b_);
  }
}

TEST_F(TableIoTest, RecordNumbersBelowOneAreNeverWritten) {
  OpenTable({" Ann   42"});
  const Bytes before = Disk();
  Put(" Bad    0", 0);
  EXPECT_EQ(Errors.DbfError, 212);
  EXPECT_EQ(Disk(), before);
}

}  // namespace
}  // namespace dbftest
