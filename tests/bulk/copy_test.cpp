// CopyTo: structure and visible records, the condition from the current record, targets in use,
// and memos copied between the memo layouts.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/dbf/memo.h"
#include "engine/dbf/updates.h"
#include "tests/bulk/bulk_fixture.h"

namespace bulktest {
namespace {

using namespace morvane;
using V = std::vector<std::string>;

class CopyTest : public BulkTest {
 protected:
  void MakeSource() {
    MakeOpen("src", {Fd("NAME", 'C', 8), Fd("QTY", 'N', 4), Fd("PRICE", 'N', 7, 2),
                     Fd("WHEN", 'D', 8), Fd("OK", 'L', 1)});
    AddRows({{"one", "1", "1.5", "20100101", "T"},
             {"two", "2", "2.5", "20100202", "F"},
             {"three", "3", "3.5", "20100303", "T"},
             {"four", "4", "4.5", "", "F"}});
    Go(2);
    DeleteRec();
  }
  // The rows of table Name, opened in area 9 (the current area is restored).
  std::vector<std::string> RowsOf(const std::string& name) {
    const int current = CurrentArea();
    Select(9);
    Use(file(name), nullptr, 0);
    EXPECT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    std::vector<std::string> rows = Rows();
    CloseArea();
    Select(current);
    return rows;
  }
};

TEST_F(CopyTest, CopiesTheFieldsAndEveryVisibleRecord) {
  MakeSource();
  CopyTo(file("all"));
  ExpectNoError();
  EXPECT_EQ(RowsOf("all"), (V{"one|   1|   1.50|20100101|T", "*two|   2|   2.50|20100202|F",
                              "three|   3|   3.50|20100303|T", "four|   4|   4.50||F"}));
  SetIgnoreDel(true);
  CopyTo(file("visible.dbf"));
  EXPECT_EQ(RowsOf("visible"), (V{"one|   1|   1.50|20100101|T", "three|   3|   3.50|20100303|T",
                                  "four|   4|   4.50||F"}));
  // Identical descriptors; area 35 is closed and the source area current again.
  const Bytes src = testsupport::ReadFileBytes(file("src.dbf"));
  const Bytes copy = testsupport::ReadFileBytes(file("all.dbf"));
  ASSERT_GE(copy.size(), 32u + 5 * 32);
  EXPECT_EQ(copy[0], 0x03);
  EXPECT_TRUE(std::equal(src.begin() + 32, src.begin() + 32 + 5 * 32 + 1, copy.begin() + 32));
  EXPECT_EQ(GetWorkArea(kCopyTargetArea), nullptr);
  EXPECT_EQ(CurrentArea(), 1);
}

TEST_F(CopyTest, AConditionCopiesFromTheCurrentRecordWhileItHolds) {
  MakeSource();
  Go(2);
  const FieldDescriptor qty = CurrentWorkArea()->Table.Fields[1];
  CopyTo(file("part"), [&] {
    int32_t v = 0;
    std::memcpy(&v, CurrentWorkArea()->Typed + qty.TypedOffset, sizeof v);
    return v < 4;
  });
  ExpectNoError();
  EXPECT_EQ(RowsOf("part"), (V{"*two|   2|   2.50|20100202|F", "three|   3|   3.50|20100303|T"}));
  Go(1);
  CopyTo(file("none"), [] { return false; });
  EXPECT_EQ(RowsOf("none"), V{});
  // A FOR condition passes over records from the top.
  Go(3);
  CopyTo(file("even"), nullptr, [&] {
    int32_t v = 0;
    std::memcpy(&v, CurrentWorkArea()->Typed + qty.TypedOffset, sizeof v);
    return v % 2 == 0;
  });
  EXPECT_EQ(RowsOf("even"), (V{"*two|   2|   2.50|20100202|F", "four|   4|   4.50||F"}));
}

TEST_F(CopyTest, ATargetInUseIsRefusedAndAnExistingFileReplaced) {
  MakeSource();
  const Bytes source = testsupport::ReadFileBytes(file("src.dbf"));
  CopyTo(file("src"));  // its own source: copying would destroy it
  ExpectError(214, "File: " + file("src.dbf") + " is already in use. [CopyTo]");
  EXPECT_EQ(testsupport::ReadFileBytes(file("src.dbf")), source);
  Select(4);
  dbftest::CreateTable(file("busy.dbf"), {Fd("X", 'C', 1)});
  Use(file("busy"), nullptr, 0);
  Select(1);
  CopyTo(file("busy"));
  ExpectError(214, "File: " + file("busy.dbf") + " is already in use.");
  testsupport::WriteFileText(file("old.dbf"), "not a table at all");
  CopyTo(file("old"));
  ExpectNoError();
  EXPECT_EQ(RowsOf("old").size(), 4u);
  CloseArea();
  CopyTo(file("x"));
  EXPECT_EQ(Errors.DbfError, 215);
}

TEST_F(CopyTest, MemosAreCopiedIntoTheNewMemoFile) {
  // Each source layout into a copy of the default version (dBASE IV memo file).
  for (uint8_t version : {uint8_t(0x83), uint8_t(0x8B), uint8_t(0xF5)}) {
    SCOPED_TRACE(int(version));
    DbfSettings.DefaultMemoBlockSize = version == 0xF5 ? 64 : 512;
    MakeOpen("m", {Fd("NAME", 'C', 4), Fd("NOTE", 'M', 10)}, version);
    DbfSettings.DefaultMemoBlockSize = 512;
    WorkArea& a = *CurrentWorkArea();
    const std::string texts[] = {"first note", "", std::string(2000, 'z')};
    for (const std::string& text : texts) {
      ClearRecord();
      const int32_t block = WriteMemoText(text, false);
      std::memcpy(a.Typed + a.Table.Fields[1].TypedOffset, &block, sizeof block);
      Append();
    }
    CopyTo(file("mcopy"));
    ExpectNoError();
    CloseArea();
    EXPECT_EQ(testsupport::ReadFileBytes(file("mcopy.dbf"))[0], 0x8B);
    Use(file("mcopy"), nullptr, 0);
    ExpectNoError();
    for (int32_t r = 1; r <= 3; ++r) {
      Go(r);
      int32_t block = 0;
      std::memcpy(&block, CurrentWorkArea()->Typed + CurrentWorkArea()->Table.Fields[1].TypedOffset,
                  sizeof block);
      std::string text;
      ReadMemoText(block, text);
      EXPECT_EQ(text, texts[r - 1]) << r;
      EXPECT_EQ(block == 0, texts[r - 1].empty()) << r;
    }
    CloseArea();
  }
}

TEST_F(CopyTest, ADbase3CopyGetsPlainTextWithTwoEndMarks) {
  MakeOpen("m", {Fd("NOTE", 'M', 10)}, 0xF5);
  WorkArea& a = *CurrentWorkArea();
  ClearRecord();
  const int32_t block = WriteMemoText("fox text", false);
  std::memcpy(a.Typed + a.Table.Fields[0].TypedOffset, &block, sizeof block);
  Append();
  DbfSettings.DefaultVersion = 0x83;
  CopyTo(file("iii"));
  ExpectNoError();
  const Bytes memo = testsupport::ReadFileBytes(file("iii.dbt"));
  const std::string expected = "fox text\x1A\x1A";
  ASSERT_EQ(memo.size(), 512 + expected.size());
  EXPECT_EQ(std::string(memo.begin() + 512, memo.end()), expected);
  EXPECT_EQ(memo[0], 2);  // the next free block
}

TEST_F(CopyTest, APlainDbase3MemoEndsAtItsMarkOrAZeroByte) {
  MakeOpen("m", {Fd("NOTE", 'M', 10)}, 0x83);
  CloseArea();
  Bytes memo(512, 0);
  memo[0] = 3;
  const std::string first = "ends with a mark\x1A" "garbage";
  const std::string second = "ends with zeros";
  Bytes block1(first.begin(), first.end());
  block1.resize(512, 0);
  Bytes block2(second.begin(), second.end());
  block2.resize(512, 0);
  memo.insert(memo.end(), block1.begin(), block1.end());
  memo.insert(memo.end(), block2.begin(), block2.end());
  testsupport::WriteFileBytes(file("m.dbt"), memo);
  Use(file("m") + " EXCLUSIVE", nullptr, 0);
  AddRows({{""}, {""}});
  WorkArea& a = *CurrentWorkArea();
  for (int32_t r = 1; r <= 2; ++r) {
    Go(r);
    std::memcpy(a.Typed + a.Table.Fields[0].TypedOffset, &r, sizeof r);
    Replace();
  }
  CopyTo(file("c"));
  ExpectNoError();
  CloseArea();
  Use(file("c"), nullptr, 0);
  std::string text;
  Go(1);
  ReadMemoText(std::stoi(Stored(1, "NOTE")), text);
  EXPECT_EQ(text, "ends with a mark");
  ReadMemoText(std::stoi(Stored(2, "NOTE")), text);
  EXPECT_EQ(text, "ends with zeros");
}

}  // namespace
}  // namespace bulktest
