// Record search: Locate with its options, Continue, memo search, LocateValues and Peek.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/dbf/locks.h"
#include "engine/dbf/memo.h"
#include "engine/dbf/updates.h"
#include "tests/bulk/bulk_fixture.h"

namespace bulktest {
namespace {

using namespace morvane;

class LocateTest : public BulkTest {
 protected:
  void SetUp() override {
    BulkTest::SetUp();
    MakeOpen("t", {Fd("NAME", 'C', 10), Fd("QTY", 'N', 5), Fd("PRICE", 'N', 7, 2),
                   Fd("WHEN", 'D', 8), Fd("OK", 'L', 1)});
    AddRows({{"Jones", "1", "1.25", "20100101", "F"},
             {"smith", "2", "2.5", "20100202", "F"},
             {"Smithers", "3", "3", "20100303", "T"},
             {"Smith", "4", "4.75", "20100404", "T"},
             {"Caf\xE9", "5", "0", "", "F"}});
  }
  // The record Locate lands on (0 at EOF).
  static int32_t Found(const std::string& value, const std::string& field) {
    SearchState.Value = value;
    Locate(field);
    return dEOF() ? 0 : RecNo();
  }
};

TEST_F(LocateTest, TheOptionsDecideWhatMatches) {
  const struct {
    const char* value;
    const char* field;
    int32_t record;
  } cases[] = {
      {"SMI", "NAME", 0},
      {"Smi", "NAME", 3},
      {"Smi", "name nocase", 2},
      {"SMI", "NAME NOCASE", 2},
      {"Smith", "NAME EXACT", 0},             // the full field text has blanks
      {"Smith     ", "NAME EXACT", 4},
      {"Smith   ", "NAME", 3},                // trailing blanks of the value are ignored
      {"ith", "NAME CONTAINED", 2},
      {"thers", "NAME CONTAINED", 3},
      {"ITH", "NAME CONTAINED NOCASE", 2},
      {"Caf\xE9", "NAME", 5},                 // compared in ANSI although stored in OEM
      {"CAF\xC9", "NAME NOCASE", 5},
      {"    3", "QTY", 3},
      {"20100404", "WHEN", 4},
      {"T", "OK", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.value) + " in " + c.field);
    EXPECT_EQ(Found(c.value, c.field), c.record);
    ExpectNoError();
  }
}

TEST_F(LocateTest, ContinueResumesAfterTheCurrentRecordUntilNothingIsLeft) {
  EXPECT_EQ(Found("S", "NAME NOCASE"), 2);
  Continue();
  EXPECT_EQ(RecNo(), 3);
  Continue();
  EXPECT_EQ(RecNo(), 4);
  Continue();
  EXPECT_TRUE(dEOF());
  EXPECT_EQ(SearchState.LastField, 0);
  Continue();
  ExpectError(220, "Call to CONTINUE not preceeded by call to LOCATE. [Continue]");
}

TEST_F(LocateTest, FieldNamesAreChecked) {
  Locate("   ");
  ExpectError(220, "No field name specified [Locate/Count/Sum]");
  Locate("colour exact");
  ExpectError(220, "Unrecognized field name [Locate/Count/Sum(COLOUR)]");
  CloseArea();
  Locate("NAME");
  ExpectError(215, "No database in use [Locate/Count/Sum]  WorkArea = 1");
  EXPECT_EQ(Peek(1, 1), "");
  EXPECT_EQ(Errors.DbfError, 215);
}

TEST_F(LocateTest, LocateValuesSearchesFieldsInTurnAndCanStayPut) {
  Go(1);
  EXPECT_TRUE(LocateValues("NAME", {"Smith"}, false, false, false));
  EXPECT_EQ(RecNo(), 1);  // not moved
  EXPECT_TRUE(LocateValues("QTY;NAME", {"9", "smithers"}, true, true, false));
  EXPECT_EQ(RecNo(), 3);  // QTY 9 is nowhere, NAME finds record 3
  EXPECT_TRUE(LocateValues("PRICE", {"4.75"}, false, true, true));
  EXPECT_EQ(RecNo(), 4);
  EXPECT_TRUE(LocateValues("WHEN", {"02/02/10"}, false, true, false));
  EXPECT_EQ(RecNo(), 2);
  EXPECT_TRUE(LocateValues("OK", {"yes"}, false, true, false));
  EXPECT_EQ(RecNo(), 3);
  EXPECT_FALSE(LocateValues("NAME", {"Nobody"}, false, true, false));
  EXPECT_EQ(RecNo(), 3);
  // Hidden deleted records are passed over.
  Go(2);
  RLock();
  DeleteRec();
  SetIgnoreDel(true);
  EXPECT_TRUE(LocateValues("NAME", {"S"}, true, true, false));
  EXPECT_EQ(RecNo(), 3);
  ExpectNoError();
}

TEST_F(LocateTest, PeekReturnsTheBytesAsStored) {
  EXPECT_EQ(Peek(1, 5), "Caf\x82      ");  // OEM, untranslated
  EXPECT_EQ(Peek(2, 4), "    4");
  EXPECT_EQ(Peek(0, 1), " ");
  EXPECT_EQ(Peek(1, 0), "");
  EXPECT_EQ(Peek(1, 6), "");
  EXPECT_EQ(Peek(6, 1), "");
  EXPECT_EQ(Peek(-1, 1), "");
  ExpectNoError();
}

TEST_F(LocateTest, AMemoFieldMatchesOnAParagraphOfItsText) {
  CloseArea();
  MakeOpen("m", {Fd("NAME", 'C', 4), Fd("NOTE", 'M', 10)}, 0x8B);
  WorkArea& a = *CurrentWorkArea();
  const std::string texts[] = {"nothing here", "line one\r\nthe Needle is here\r\n", ""};
  for (const std::string& text : texts) {
    ClearRecord();
    const int32_t block = WriteMemoText(text, true);
    std::memcpy(a.Typed + a.Table.Fields[1].TypedOffset, &block, sizeof block);
    Append();
  }
  EXPECT_EQ(Found("Needle", "NOTE"), 2);
  EXPECT_EQ(Found("needle", "NOTE"), 0);
  EXPECT_EQ(Found("needle", "NOTE NOCASE"), 2);
  ExpectNoError();
}

}  // namespace
}  // namespace bulktest
