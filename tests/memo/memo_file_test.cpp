// Memo files byte by byte: new files of the three layouts, memos written and read back through
// the blob stream, rewrites, the forms other programs write, failures, the memo lock between two
// work areas, the dBASE IV free-block chain, code-page conversion and record hooks.
#include <gtest/gtest.h>

#include "engine/dbf/updates.h"
#include "tests/memo/memo_fixture.h"

namespace memotest {
namespace {

using namespace morvane;
using testsupport::FromHex;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

TEST_F(MemoTest, NewFilesOfEachLayoutAreByteExact) {
  Bytes dbase3(513, 0);
  dbase3[0] = 1;
  dbase3[512] = 0x1A;
  Bytes dbase4 = FromHex("01000000 00000000 6E6F7465 73000000 0000 0201 0002 0000");
  Bytes foxpro(512, 0);
  foxpro[3] = 8;   // 511 div 64 + 1
  foxpro[7] = 64;  // block size, big-endian
  Bytes foxpro512(512, 0);
  foxpro512[3] = 1;
  foxpro512[6] = 2;
  const struct {
    uint8_t type;
    uint16_t blockSize;
    const char* ext;
    Bytes expected;
  } cases[] = {{0x83, 512, "dbt", dbase3}, {0x83, 64, "dbt", dbase3},  // dBASE III: always 512
               {0x8B, 512, "dbt", dbase4}, {0x8C, 512, "dbt", dbase4},
               {0xF5, 64, "fpt", foxpro},  {0xF5, 512, "fpt", foxpro512}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.blockSize));
    CreateMemofile(file("notes.dbf"), c.type, c.blockSize, "test");
    ExpectNoError();
    EXPECT_EQ(ReadFileBytes(file(std::string("notes.") + c.ext)), c.expected);
  }
}

TEST_F(MemoTest, ATableWithAMemoFieldGetsTheDefaultMemoFile) {
  dbftest::CreateTable(file("t.dbf"), {dbftest::Fd("NOTE", 'M', 10)}, 0x8B);
  const Bytes memo = ReadFileBytes(file("t.dbt"));
  ASSERT_EQ(memo.size(), 24u);
  EXPECT_EQ(Slice(memo, 0, 4), FromHex("01000000"));
  EXPECT_EQ(Slice(memo, 20, 2), FromHex("0002"));
  EXPECT_EQ(Slice(memo, 8, 8), B(std::string("t\0\0\0\0\0\0\0", 8)));
}

// Where the first memo lands and what it looks like on disk, per layout.
struct WrittenCase {
  Layout layout;
  int32_t block;
  Bytes atBlock;     // the bytes from the block's start to the end of the file
  uint32_t nextFree; // header word after the write
};

TEST_F(MemoTest, AMemoIsWrittenInItsLayoutAndReadBackExactly) {
  const WrittenCase cases[] = {
      {kDbase3, 1, FromHex("68656C6C6F 1A1A"), 2},
      {kDbase4, 1, FromHex("FFFF0800 0D000000 68656C6C6F"), 2},
      {kFoxPro, 8, FromHex("00000001 00000005 68656C6C6F"), 9},
  };
  for (const WrittenCase& c : cases) {
    SCOPED_TRACE(c.layout.name);
    MakeTable(c.layout);
    Open();
    const int32_t block = WriteMemo("hello");
    ExpectNoError();
    EXPECT_EQ(block, c.block);
    EXPECT_EQ(ReadMemo(block), "hello");
    CloseArea();
    const Bytes memo = ReadFileBytes(memoFile(c.layout));
    EXPECT_EQ(Slice(memo, size_t(block) * c.layout.blockSize, 100), c.atBlock);
    const uint32_t next = c.layout.version == 0xF5
                              ? (uint32_t(memo[0]) << 24 | uint32_t(memo[1]) << 16 | uint32_t(memo[2]) << 8 | memo[3])
                              : (uint32_t(memo[0]) | uint32_t(memo[1]) << 8 | uint32_t(memo[2]) << 16 | uint32_t(memo[3]) << 24);
    EXPECT_EQ(next, c.nextFree);
  }
}

TEST_F(MemoTest, RewritesGoToTheEndAndOldMemosStayReadable) {
  for (const Layout& layout : {kDbase3, kDbase4, kFoxPro}) {
    SCOPED_TRACE(layout.name);
    MakeTable(layout);
    Open();
    const std::string first = "first memo";
    const std::string longer(1500, 'L');  // spans blocks
    const std::string shorter = "s";
    const int32_t b1 = WriteMemo(first);
    const int32_t b2 = WriteMemo(longer);
    const int32_t b3 = WriteMemo(shorter);
    ExpectNoError();
    EXPECT_LT(b1, b2);
    EXPECT_LT(b2, b3);
    EXPECT_GE((b3 - b2) * int(layout.blockSize), 1500);  // the longer memo was not overwritten
    EXPECT_EQ(ReadMemo(b1), first);
    EXPECT_EQ(ReadMemo(b2, false, 1000), longer);
    EXPECT_EQ(ReadMemo(b3), shorter);
    CloseArea();
  }
}

TEST_F(MemoTest, PlainDbase3MemosOfOtherProgramsAndHeaderedOnesAreBothRead) {
  MakeTable(kDbase3);
  Bytes memo(512, 0);
  memo[0] = 4;
  // Block 1: plain text ended by 0x1A (another program); block 2: the dBASE IV header form.
  Bytes plain = B("plain text");
  plain.push_back(0x1A);
  plain.resize(512, 0);
  memo.insert(memo.end(), plain.begin(), plain.end());
  Bytes headed = FromHex("FFFF0800 0F000000");
  const Bytes body = B("x\x1Ay\x01" "abc");  // a header's length also covers 0x1A bytes
  headed.insert(headed.end(), body.begin(), body.end());
  headed.resize(512, 0);
  memo.insert(memo.end(), headed.begin(), headed.end());
  WriteFileBytes(file("t.dbt"), memo);
  Open();
  EXPECT_EQ(ReadMemo(1), "plain text");
  EXPECT_EQ(ReadMemo(2), std::string("x\x1Ay\x01" "abc"));
  EXPECT_EQ(SeekBlobStream(0, 2), 0);  // no stream open any more
  CreateBlobDescriptor(false, 1, 1);
  EXPECT_EQ(SeekBlobStream(0, 2), 10);  // the end is found by reading through
  EXPECT_EQ(SeekBlobStream(-3, 2), 7);
  char tail[8] = {};
  EXPECT_EQ(ReadBlobStream(tail, 8), 3);
  EXPECT_EQ(std::string(tail, 3), "ext");
  DestroyBlobDescriptor();
  ExpectNoError();
}

TEST_F(MemoTest, AStreamClosedWithoutBytesLeavesNothingBehind) {
  for (const Layout& layout : {kDbase3, kDbase4, kFoxPro}) {
    SCOPED_TRACE(layout.name);
    MakeTable(layout);
    Open();
    WriteMemo("one");
    const Bytes before = ReadFileBytes(memoFile(layout));
    EXPECT_GT(CreateBlobDescriptor(false, 0, 2), 0);
    DestroyBlobDescriptor();
    ExpectNoError();
    const Bytes after = ReadFileBytes(memoFile(layout));
    // At most zero padding up to the next block was added; no header, no end marks.
    ASSERT_GE(after.size(), before.size());
    EXPECT_EQ(Slice(after, 0, before.size()), before);
    for (size_t i = before.size(); i < after.size(); ++i) EXPECT_EQ(after[i], 0) << i;
    CloseArea();
  }
}

TEST_F(MemoTest, BlockZeroReadsAsAnEmptyMemo) {
  MakeTable(kDbase3);
  Open();
  EXPECT_EQ(CreateBlobDescriptor(false, 0, 1), 0);
  char c;
  EXPECT_EQ(ReadBlobStream(&c, 1), 0);
  DestroyBlobDescriptor();
  ExpectNoError();
  std::string text = "x";
  EXPECT_FALSE(ReadMemoText(0, text));
  EXPECT_EQ(text, "");
}

TEST_F(MemoTest, FailuresAreReportedWithTheirCodes) {
  MakeTable(kDbase4);
  Open();
  WriteMemo("abc");
  EXPECT_EQ(CreateBlobDescriptor(false, 40, 1), 0);
  ExpectError(1003, "40 " + file("t.dbt") + " Record # ");
  EXPECT_EQ(CreateBlobDescriptor(false, -40, 1), 0);  // the absolute value counts
  ExpectError(1003, "[CreateBlobDescriptor]");
  EXPECT_EQ(CreateBlobDescriptor(false, 1, 7), 0);
  EXPECT_EQ(Errors.DbfError, 220);
  OpenMemofile(file("t.dbf"));
  ExpectError(1007, file("t.dbt") + " [USE]");
  CloseArea();

  dbftest::CreateTable(file("plain.dbf"), {dbftest::Fd("NAME", 'C', 4)}, 0x03);
  Use(file("plain.dbf"), nullptr, 0);
  EXPECT_EQ(CreateBlobDescriptor(false, 1, 1), 0);
  ExpectError(1019, file("plain.dbt") + " No Memo Field [CreateBlobDescriptor]");
  CloseArea();
  EXPECT_EQ(CreateBlobDescriptor(false, 1, 1), 0);
  EXPECT_EQ(Errors.DbfError, 215);

  ASSERT_EQ(std::remove(file("t.dbt").c_str()), 0);
  Use(file("t.dbf"), nullptr, 0);
  EXPECT_EQ(Errors.DbfError, 2);
  EXPECT_NE(Errors.ErrorDetail.find("Problem opening memo file"), std::string::npos);
  EXPECT_EQ(CurrentWorkArea(), nullptr);
}

TEST_F(MemoTest, TheMemoLockKeepsTwoWritersApart) {
  MakeTable(kDbase4);
  Select(1);
  Open("t", false);
  Select(2);
  Use(file("t.dbf") + " ALIAS SECOND", nullptr, 0);
  ExpectNoError();
  Select(1);
  const int32_t block = CreateBlobDescriptor(false, 0, 2);  // holds the memo lock
  ASSERT_GT(block, 0);
  WriteBlobStream("held", 4);
  Select(2);
  EXPECT_EQ(CreateBlobDescriptor(false, 0, 2), 0);
  ExpectError(1017, file("t.dbt") + " [CreateBlobDescriptor]");
  Select(1);
  DestroyBlobDescriptor();
  Select(2);
  EXPECT_EQ(ReadMemo(block), "held");
  EXPECT_EQ(ReadMemo(WriteMemo("next")), "next");
  ExpectNoError();
}

// A dBASE IV file whose chain (as dBASE IV leaves it) holds free groups at blocks 1 (2 blocks)
// and 4 (3 blocks); block 3 is used; the file ends at block 7.
Bytes ChainedDbase4File() {
  Bytes f = FromHex("01000000 00000000 54000000 00000000 0000 0201 0002 0000");
  f.resize(512, 0);
  Bytes group1 = FromHex("04000000 02000000");
  group1.resize(1024, 0);
  Bytes used = FromHex("FFFF0800 0B000000 757365");  // "use"
  used.resize(512, 0);
  Bytes group2 = FromHex("07000000 03000000");
  group2.resize(1536, 0);
  for (const Bytes* part : {&group1, &used, &group2}) f.insert(f.end(), part->begin(), part->end());
  return f;
}

TEST_F(MemoTest, AMemoOfKnownSizeReusesAFreeGroupOfADbase4Chain) {
  MakeTable(kDbase4);
  WriteFileBytes(file("t.dbt"), ChainedDbase4File());
  Open();
  // 1000 bytes + 8 need 2 blocks: the first group fits exactly and leaves the chain.
  const int32_t a = WriteMemoText(std::string(1000, 'a'), false);
  EXPECT_EQ(a, 1);
  Bytes f = ReadFileBytes(file("t.dbt"));
  EXPECT_EQ(Slice(f, 0, 4), FromHex("04000000"));
  // 600 bytes need 2 blocks: the group at 4 (3 blocks) is split, block 6 stays free.
  const int32_t b = WriteMemoText(std::string(600, 'b'), false);
  EXPECT_EQ(b, 4);
  f = ReadFileBytes(file("t.dbt"));
  EXPECT_EQ(Slice(f, 0, 4), FromHex("06000000"));
  EXPECT_EQ(Slice(f, 6 * 512, 8), FromHex("07000000 01000000"));
  // Too large for any group: the end of the file, and the chain's last link follows the end.
  const int32_t c = WriteMemoText(std::string(2000, 'c'), false);
  EXPECT_EQ(c, 7);
  f = ReadFileBytes(file("t.dbt"));
  EXPECT_EQ(Slice(f, 0, 4), FromHex("06000000"));
  const uint32_t end = uint32_t((f.size() + 511) / 512);
  EXPECT_EQ(Slice(f, 6 * 512, 4), Bytes({uint8_t(end), 0, 0, 0}));
  EXPECT_EQ(ReadMemo(a, false, 4096), std::string(1000, 'a'));
  EXPECT_EQ(ReadMemo(b, false, 4096), std::string(600, 'b'));
  EXPECT_EQ(ReadMemo(c, false, 4096), std::string(2000, 'c'));
  EXPECT_EQ(ReadMemo(3), "use");
  ExpectNoError();
}

TEST_F(MemoTest, ADamagedChainIsNeverFollowedIntoTheData) {
  const struct {
    const char* name;
    size_t offset;
    Bytes bytes;
  } damages[] = {
      {"a group links to itself", 512, FromHex("01000000 02000000")},
      {"a group runs past the end", 512, FromHex("04000000 09000000")},
      {"the header names a used block", 0, FromHex("03000000")},
      {"the last link is not the end", 4 * 512, FromHex("09000000 03000000")},
  };
  for (const auto& d : damages) {
    SCOPED_TRACE(d.name);
    MakeTable(kDbase4);
    Bytes f = ChainedDbase4File();
    std::copy(d.bytes.begin(), d.bytes.end(), f.begin() + static_cast<long>(d.offset));
    WriteFileBytes(file("t.dbt"), f);
    Open();
    EXPECT_EQ(WriteMemoText("goes to the end", false), 7);
    EXPECT_EQ(ReadMemo(3), "use");
    // The header then names the end of the file; the chain is left alone.
    const Bytes after = ReadFileBytes(file("t.dbt"));
    EXPECT_EQ(Slice(after, 0, 4), Bytes({uint8_t((after.size() + 511) / 512), 0, 0, 0}));
    EXPECT_EQ(Slice(after, 512, 3 * 512 + 8), Slice(f, 512, 3 * 512 + 8));
    ExpectNoError();
    CloseArea();
  }
}

TEST_F(MemoTest, TextMemosAreConvertedAndOtherBytesPassUnchanged) {
  MakeTable(kDbase4);
  Open();
  const int32_t text = WriteMemo("caf\xE9", true);  // é in Windows-1252
  const int32_t binary = WriteMemo(std::string("\x01\xE9", 2), true);
  const Bytes f = ReadFileBytes(file("t.dbt"));
  EXPECT_EQ(Slice(f, size_t(text) * 512 + 8, 4), FromHex("636166 82"));  // é in code page 437
  EXPECT_EQ(Slice(f, size_t(binary) * 512 + 8, 2), FromHex("01 E9"));
  EXPECT_EQ(ReadMemo(text, true), "caf\xE9");
  EXPECT_EQ(ReadMemo(text, false), "caf\x82");
  EXPECT_EQ(ReadMemo(binary, true), std::string("\x01\xE9", 2));
  std::string read;
  EXPECT_TRUE(ReadMemoText(text, read));  // the table is OEM-translated
  EXPECT_EQ(read, "caf\xE9");
}

TEST_F(MemoTest, RecordHooksApplyToTheMemoBytes) {
  const RecordHook flip = +[](char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<char>(p[i] ^ 0x5A);
  };
  for (const Layout& layout : {kDbase3, kDbase4, kFoxPro}) {
    SCOPED_TRACE(layout.name);
    MakeTable(layout);
    UseWithHooks(file("t.dbf") + " EXCLUSIVE", nullptr, 0, flip, flip);
    ExpectNoError();
    std::string text(1300, 'q');
    text[700] = 'Z';
    const int32_t block = WriteMemo(text);
    WriteMemo("after");
    const Bytes f = ReadFileBytes(memoFile(layout));
    const size_t data = size_t(block) * layout.blockSize + (layout.version == 0x83 ? 0 : 8);
    EXPECT_EQ(f[data], uint8_t('q' ^ 0x5A));
    EXPECT_EQ(ReadMemo(block, false, 333), text);
    CloseArea();
  }
}

TEST_F(MemoTest, ZapLeavesAnEmptyMemoFileOfTheSameLayout) {
  MakeTable(kFoxPro);
  Open();
  ClearRecord();
  Append();
  WriteMemo("gone");
  EXPECT_TRUE(Zap());
  ExpectNoError();
  const Bytes f = ReadFileBytes(memoFile(kFoxPro));
  ASSERT_EQ(f.size(), 512u);
  EXPECT_EQ(Slice(f, 0, 8), FromHex("00000008 00000040"));
  EXPECT_EQ(ReadMemo(WriteMemo("new")), "new");
}

}  // namespace
}  // namespace memotest
