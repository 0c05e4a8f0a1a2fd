// Seeking and moving in key order: exact and partial Find, keys beyond the last, equal keys in
// record-number order, descending and FOR tags, numbers and dates, deleted records hidden,
// natural order with the index open, and order changes that keep the position.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/index/xqndx.h"
#include "tests/index/index_fixture.h"

namespace indextest {
namespace {

class SeekTest : public IndexTest {
 protected:
  // Find and report "found N" or "not found N" (N the record the area went to).
  static std::string Seek(const std::string& key) {
    morvane::Find(key);
    return std::string(morvane::IndexFound() ? "found " : "not found ") + std::to_string(morvane::RecNo()) +
           (morvane::dEOF() ? " eof" : "");
  }
};

// Records 1..8.
const std::vector<std::string> kTexts = {"4500", "1234", "45AB", "4500", "9000", "4501", "4499", "0000"};

TEST_F(SeekTest, FindsPartAndWholeKeys) {
  OpenTextTable("t.dbf", 4, kTexts);
  ASSERT_EQ(morvane::IndexOn("k", ""), 1);
  struct Case {
    const char* key;
    bool exact;
    const char* result;
  };
  const Case cases[] = {
      {"45", false, "found 1"},          // the first of the keys beginning 45 ...
      {"4500", false, "found 1"},        // ... and of equal keys, the lowest record
      {"45", true, "not found 9 eof"},   // exact: "45  " is no key
      {"4500", true, "found 1"},
      {"4501", true, "found 6"},
      {"45A", false, "found 3"},
      {"44", false, "found 7"},
      {"4502", false, "not found 9 eof"}, // would lie between 4501 and 45AB
      {"9", false, "found 5"},
      {"99", false, "not found 9 eof"},   // beyond the last key
      {"0", false, "found 8"},
      {"", false, "found 8"},             // an empty key changes nothing
  };
  for (const Case& c : cases) {
    if (c.exact) morvane::SetExactOn();
    EXPECT_EQ(Seek(c.key), c.result) << c.key << (c.exact ? " exact" : "");
    morvane::SetExactOff();
  }
  // After a Find the area moves on in key order.
  EXPECT_EQ(Seek("45"), "found 1");
  morvane::Skip(1);
  EXPECT_EQ(morvane::RecNo(), 4);
  morvane::Skip(1);
  EXPECT_EQ(morvane::RecNo(), 6);
  // From end of file a step back reaches the last key.
  EXPECT_EQ(Seek("99"), "not found 9 eof");
  morvane::Skip(-1);
  EXPECT_EQ(morvane::RecNo(), 5);
}

TEST_F(SeekTest, DescendingTagsFindTheFirstMatchInTheirOrder) {
  OpenTextTable("d.dbf", 4, kTexts);
  ASSERT_TRUE(morvane::MakeIndex({Tag("DOWN", "k", "", true)}, ""));
  ASSERT_TRUE(morvane::SetIndexTo(""));
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{5, 3, 6, 1, 4, 7, 2, 8}));
  EXPECT_EQ(Seek("45"), "found 3");      // 45AB comes first going down
  EXPECT_EQ(Seek("4500"), "found 1");
  EXPECT_EQ(Seek("44"), "found 7");
  EXPECT_EQ(Seek("46"), "not found 9 eof");
  EXPECT_EQ(Seek("A"), "not found 9 eof");  // above every key: the seek lands on 9000
}

TEST_F(SeekTest, NumberAndDateKeys) {
  OpenKeyTable("nd.dbf", {{"040", "A", "1", "12.5", "20100401"},
                          {"040", "B", "1", "-3", "19991231"},
                          {"040", "C", "1", "1234", "20100401"}});
  ASSERT_TRUE(morvane::MakeIndex({Tag("POP", "pop"), Tag("DAY", "day")}, ""));
  ASSERT_TRUE(morvane::SetIndexTo(""));
  EXPECT_EQ(Seek("12.5"), "found 1");
  EXPECT_EQ(Seek("12.50"), "found 1");
  EXPECT_EQ(Seek("-3"), "found 2");
  EXPECT_EQ(Seek("1234"), "found 3");
  EXPECT_EQ(Seek("12"), "not found 4 eof");  // numbers match whole, never in part
  morvane::SetOrderToTag("DAY");
  EXPECT_EQ(Seek("04/01/10"), "found 1");
  EXPECT_EQ(Seek(" 12/31/99 "), "found 2");
  EXPECT_EQ(Seek("01/01/05"), "not found 4 eof");
}

TEST_F(SeekTest, ForTagsAndDeletedRecords) {
  OpenKeyTable("f.dbf", {{"050", "A", "1"},
                         {"040", "A", "2", "", "", true},
                         {"050", "A", "2"},
                         {"040", "B", "1", "", "", true},
                         {"040", "C", "1"}});
  ASSERT_TRUE(morvane::MakeIndex({Tag("GEO", "geocode + race"), Tag("ONLY050", "geocode", "sumlev = \"050\"")}, ""));
  ASSERT_TRUE(morvane::SetIndexTo(""));
  EXPECT_EQ(Seek("A"), "found 1");
  morvane::SetIgnoreDel(true);
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{1, 3, 5}));
  EXPECT_EQ(Seek("A" + std::string(10, ' ') + "2"), "found 3");   // record 2 is deleted: the next key matches too
  EXPECT_EQ(Seek("B"), "not found 6 eof");     // the only B is deleted, the next key is C
  EXPECT_EQ(Seek("C"), "found 5");
  morvane::SetIgnoreDel(false);
  morvane::SetOrderToTag("ONLY050");
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(Seek("C"), "not found 6 eof");
  EXPECT_EQ(Seek("A"), "found 1");
}

TEST_F(SeekTest, NaturalOrderKeepsTheIndexOpen) {
  OpenTextTable("n.dbf", 4, kTexts);
  ASSERT_EQ(morvane::IndexOn("k", ""), 1);
  EXPECT_EQ(morvane::CurrentOrder(), 1);
  EXPECT_EQ(morvane::RecNo(), 8);  // opening goes to the first key
  morvane::Set_Order_To(0);
  EXPECT_EQ(morvane::CurrentOrder(), 0);
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(OrderFromBottom(), (std::vector<int32_t>{8, 7, 6, 5, 4, 3, 2, 1}));
  morvane::Find("45");
  EXPECT_EQ(morvane::Errors.DbfError, 254);
  EXPECT_NE(morvane::Errors.ErrorDetail.find("Cannot use Find() with index order 0 (natural order) [Find]"),
            std::string::npos);
  morvane::Set_Order_To(1);
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{8, 2, 7, 1, 4, 6, 3, 5}));
}

TEST_F(SeekTest, OrderChangesKeepThePosition) {
  OpenKeyTable("o.dbf", {{"050", "C", "1"}, {"040", "A", "2"}, {"060", "B", "3"}, {"040", "D", "1"}});
  ASSERT_TRUE(morvane::MakeIndex({Tag("SUM", "sumlev + geocode"), Tag("GEO", "geocode"), Tag("RACE", "race + geocode")}, ""));
  ASSERT_TRUE(morvane::SetIndexTo(""));
  morvane::Go(1);
  morvane::SetOrderToTag("geo");
  EXPECT_EQ(morvane::CurrentOrder(), 2);
  EXPECT_EQ(morvane::RecNo(), 1);
  morvane::Skip(1);
  EXPECT_EQ(morvane::RecNo(), 4);      // C -> D in geocode order
  morvane::SetOrderToTag("R");
  EXPECT_EQ(morvane::CurrentOrder(), 3);
  EXPECT_EQ(morvane::RecNo(), 4);
  morvane::Skip(-1);
  EXPECT_EQ(morvane::RecNo(), 1);      // "1C" before "1D"
  morvane::Set_Order_To(1);
  EXPECT_EQ(morvane::RecNo(), 1);
  morvane::Skip(1);
  EXPECT_EQ(morvane::RecNo(), 3);      // 050C -> 060B
  // At end of file the new order is at its end too.
  morvane::GoBottom();
  morvane::Skip(1);
  EXPECT_TRUE(morvane::dEOF());
  morvane::Set_Order_To(2);
  EXPECT_TRUE(morvane::dEOF());
  morvane::Skip(-1);
  EXPECT_EQ(morvane::RecNo(), 4);
  // Every order still lists every record.
  for (int n = 1; n <= 3; ++n) {
    morvane::Set_Order_To(n);
    EXPECT_EQ(OrderFromTop().size(), 4u) << n;
  }
}

TEST_F(SeekTest, TextKeysOfAnOemTableAreStoredAndSoughtInOem) {
  // On disk (code page 437) 0xA4 is the n with tilde; the engine reads it as ANSI 0xF1.
  OpenTextTable("oem.dbf", 8, {"Pe\xA4uelas", "Penuelas", "Pezuela"});
  ASSERT_EQ(morvane::IndexOn("k", ""), 1);
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{2, 3, 1}));  // 0xA4 sorts after 'z'
  EXPECT_EQ(Seek("Pe\xF1"), "found 1");
  EXPECT_EQ(Seek("Pe\xA4"), "not found 4 eof");  // an ANSI 0xA4 is another character
  morvane::CloseArea();
  const Bytes bytes = testsupport::ReadFileBytes(file("oem.mdx"));
  const std::string leaf(bytes.begin() + 2048, bytes.begin() + 3072);
  EXPECT_NE(leaf.find("Pe\xA4uelas"), std::string::npos);
}

TEST_F(SeekTest, RefusedRequestsRaise) {
  OpenTextTable("r.dbf", 4, kTexts);
  EXPECT_THROW(morvane::Find("45"), morvane::EMorvaneError);
  EXPECT_EQ(morvane::Errors.DbfError, 221);
  ASSERT_TRUE(morvane::MakeIndex({Tag("A", "k"), Tag("B", "k", "", true)}, ""));
  ASSERT_TRUE(morvane::SetIndexTo(""));
  EXPECT_THROW(morvane::Set_Order_To(3), morvane::EMorvaneError);
  EXPECT_NE(morvane::Errors.ErrorDetail.find("Invalid Index Order Specified: SET_ORDER_TO. [Set_Order_To(3)]"),
            std::string::npos);
  EXPECT_THROW(morvane::SetOrderToTag("C"), morvane::EMorvaneError);
  EXPECT_EQ(morvane::Errors.DbfError, 220);
  EXPECT_EQ(morvane::CurrentOrder(), 1);
  EXPECT_FALSE(morvane::SetIndexTo("missing"));
  EXPECT_EQ(morvane::Errors.DbfError, 2);
  EXPECT_NE(morvane::Errors.ErrorDetail.find("SetIndexTo("), std::string::npos);
  EXPECT_EQ(morvane::CurrentOrder(), 0);  // the old index was closed first
}

}  // namespace
}  // namespace indextest
