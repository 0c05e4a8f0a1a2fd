// Index maintenance within one process: the first leaf split byte for byte, equal keys, unique
// tags, rewrites that change no key, FOR conditions entered and left, Zap, and a long random run
// of appends and rewrites after which every tag equals a fresh build and obeys the page rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/dbf/updates.h"
#include "engine/index/xqndx.h"
#include "tests/index/index_fixture.h"
#include "tests/index_maint/maint_rows.h"
#include "tests/index_maint/mdx_checker.h"
#include "tests/support/test_support.h"

namespace indextest {
namespace {

using mdxcheck::CheckIndexFile;
using mdxcheck::KeysOf;
using mdxcheck::TagContents;
using morvane::Errors;
using testsupport::ReadFileBytes;

uint32_t Get32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

class MaintainTest : public IndexTest {
 protected:
  static void Set(int Field, const std::string& Value) { SetField(Field, Value); }
  static void AppendRow(const KeyRow& Row) {
    morvane::ClearRecord();
    Set(kSumlev, Row.sumlev);
    Set(kGeocode, Row.geocode);
    Set(kRace, Row.race);
    Set(kPop, Row.pop);
    Set(kDay, Row.day);
    morvane::Append();
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  }
  static void ReplaceField(int32_t Record, int Field, const std::string& Value) {
    morvane::Go(Record);
    Set(Field, Value);
    morvane::Replace();
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  }
  // Builds a fresh index of the open table with Defs into "fresh.mdx" and checks it.
  std::vector<TagContents> FreshBuild(const std::vector<morvane::IndexTagDef>& Defs) {
    EXPECT_TRUE(morvane::MakeIndex(Defs, file("fresh.mdx"))) << Errors.ErrorDetail;
    return CheckIndexFile(file("fresh.mdx"));
  }
};

TEST_F(MaintainTest, The64thAscendingKeySplitsTheLeafAndAddsARoot) {
  OpenKeyTable("t", {});
  ASSERT_EQ(morvane::MakeIndexAndSet({Tag("GR", "geocode + race")}, ""), 1) << Errors.ErrorDetail;
  // One tag: header 0-3, root leaf 4, tag header 6. Key 12 bytes: items of 16, 63 per page.
  for (int i = 1; i <= 64; ++i) AppendRow({"050", Geo(i), "A"});
  morvane::CloseArea();
  const Bytes b = ReadFileBytes(file("t.mdx"));
  ASSERT_EQ(b.size(), 12u * 512);
  EXPECT_EQ(Get32(b, 32), 11u) << "block counter: the new root's block + 1";
  const auto leafOf = [&](size_t block, int first, int count) {
    SCOPED_TRACE(block);
    const size_t at = block * 512;
    EXPECT_EQ(Get32(b, at), static_cast<uint32_t>(count));
    for (int i = 0; i < count; ++i) {
      const size_t item = at + 8 + static_cast<size_t>(i) * 16;
      EXPECT_EQ(Get32(b, item), static_cast<uint32_t>(first + i));
      EXPECT_EQ(std::string(b.begin() + static_cast<long>(item + 4), b.begin() + static_cast<long>(item + 16)),
                Geo(first + i) + "A");
    }
    EXPECT_TRUE(std::all_of(b.begin() + static_cast<long>(at + 8 + count * 16), b.begin() + static_cast<long>(at + 1024),
                            [](uint8_t c) { return c == 0; }))
        << "trailing word 0 and nothing after the items";
  };
  leafOf(4, 1, 32);
  leafOf(8, 33, 32);
  const size_t root = 10 * 512;
  EXPECT_EQ(Get32(b, root), 1u);
  EXPECT_EQ(Get32(b, root + 8), 4u);
  EXPECT_EQ(std::string(b.begin() + static_cast<long>(root + 12), b.begin() + static_cast<long>(root + 24)), Geo(32) + "A");
  EXPECT_EQ(Get32(b, root + 24), 8u);
  EXPECT_EQ(Get32(b, 6 * 512), 10u) << "the anchor's root";
  const auto tags = CheckIndexFile(file("t.mdx"));
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(tags[0].Items.size(), 64u);
  EXPECT_EQ(tags[0].Depth, 1);
}

TEST_F(MaintainTest, EqualKeysUniqueTagsAndUnchangedRewrites) {
  OpenKeyTable("t", {{"050", Geo(5), "A"}});
  ASSERT_EQ(morvane::MakeIndexAndSet({Tag("GEO", "geocode"), Tag("UGEO", "geocode", "", false, true)}, ""), 1);
  AppendRow({"050", Geo(5), "B"});
  AppendRow({"050", Geo(5), "C"});
  AppendRow({"050", Geo(1), "D"});
  // A new key goes before the keys equal to it.
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{4, 3, 2, 1}));
  // The unique tag kept its first item for the repeated key, without an error.
  morvane::SetOrderToTag("UGEO");
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{4, 1}));
  ExpectNoError();
  // A rewrite of a field outside every key changes no byte of the index.
  const Bytes before = ReadFileBytes(file("t.mdx"));
  ReplaceField(2, kPop, "77.50");
  ReplaceField(4, kSumlev, "140");
  EXPECT_EQ(ReadFileBytes(file("t.mdx")), before);
  // The unique tag's item moves with its record; a rewrite of a record it does not hold is no
  // error and leaves it alone.
  ReplaceField(3, kGeocode, Geo(9));
  ReplaceField(1, kGeocode, Geo(7));
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{4, 1, 3}));
  // Record 2 still has key 5, which the unique tag no longer holds: its rewrite reports nothing.
  morvane::Go(2);
  Set(kGeocode, Geo(8));
  morvane::TakeErrorDetail();
  morvane::Replace();
  EXPECT_EQ(Errors.LastErrorCode, 0) << Errors.ErrorDetail;
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{4, 1, 2, 3}));
  morvane::SetOrderToTag("GEO");
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{4, 1, 2, 3}));
  morvane::CloseArea();
  const auto tags = CheckIndexFile(file("t.mdx"));
  ASSERT_EQ(tags.size(), 2u);
}

TEST_F(MaintainTest, RecordsEnterAndLeaveForConditions) {
  OpenKeyTable("t", {{"050", Geo(1), "A"}, {"050", Geo(2), "B"}});
  ASSERT_EQ(morvane::MakeIndexAndSet({Tag("ONLYA", "geocode", "race = 'A'"), Tag("WIDE", "geocode + race", "race = 'A'")}, ""), 1);
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{1}));
  // Record 2 enters both conditions: with its key unchanged (ONLYA) and with a new key (WIDE).
  ReplaceField(2, kRace, "A");
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{1, 2}));
  morvane::SetOrderToTag("WIDE");
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{1, 2}));
  // Both leave; the last one leaves an empty root leaf and clears FOR-seen.
  ReplaceField(1, kRace, "C");
  ReplaceField(2, kRace, "C");
  EXPECT_TRUE(OrderFromTop().empty());
  morvane::SetOrderToTag("ONLYA");
  EXPECT_TRUE(OrderFromTop().empty());
  ExpectNoError();
  // A record that never satisfied the condition is rewritten without touching the tag.
  ReplaceField(1, kGeocode, Geo(2));
  ExpectNoError();
  morvane::CloseArea();
  for (const TagContents& t : CheckIndexFile(file("t.mdx"))) {
    SCOPED_TRACE(t.Name);
    EXPECT_TRUE(t.Items.empty());
    EXPECT_FALSE(t.ForSeen);
    EXPECT_EQ(t.Depth, 0);
  }
}

TEST_F(MaintainTest, ZapLeavesEmptyTagsThatTakeNewKeys) {
  std::vector<KeyRow> rows;
  for (int i = 0; i < 300; ++i) rows.push_back({"050", Geo(i * 7 % 301), i % 2 ? "A" : "B", std::to_string(i)});
  OpenKeyTable("t", rows);
  const std::vector<morvane::IndexTagDef> defs = {Tag("GEO", "geocode"), Tag("ONLYA", "geocode", "race = 'A'"),
                                                  Tag("POP", "pop", "", true)};
  ASSERT_EQ(morvane::MakeIndexAndSet(defs, ""), 1);
  ASSERT_TRUE(morvane::Zap()) << Errors.ErrorDetail;
  EXPECT_TRUE(OrderFromTop().empty());
  for (const TagContents& t : CheckIndexFile(file("t.mdx"))) EXPECT_TRUE(t.Items.empty()) << t.Name;
  for (int i = 0; i < 100; ++i) AppendRow({"050", Geo(100 - i), i % 3 ? "A" : "B", std::to_string(i)});
  EXPECT_EQ(OrderFromTop().size(), 100u);
  const auto fresh = FreshBuild(defs);
  morvane::CloseArea();
  const auto tags = CheckIndexFile(file("t.mdx"));
  ASSERT_EQ(tags.size(), fresh.size());
  for (size_t i = 0; i < tags.size(); ++i) EXPECT_EQ(KeysOf(tags[i]), KeysOf(fresh[i])) << tags[i].Name;
}

// Six thousand random appends and rewrites over C, N and D tags, unique and not, with and
// without FOR conditions; then every record leaves the FOR conditions and a third enters again.
// After each phase every tag holds exactly what a fresh build holds (the unique tag what its
// first-come rule keeps) and every page obeys the layout rules.
TEST_F(MaintainTest, RandomAppendsAndRewritesMatchAFreshBuild) {
  OpenKeyTable("t", {});
  const std::vector<morvane::IndexTagDef> defs = {
      Tag("GEO", "geocode"),
      Tag("UGEO", "geocode", "", false, true),
      Tag("POP", "pop"),
      Tag("DAY", "day", "", true),
      Tag("WIDE", "sumlev + geocode + race", "race = 'A'"),
      Tag("GEOA", "geocode", "race = 'A'"),
      Tag("BIGPOP", "pop", "pop > 500"),
  };
  ASSERT_EQ(morvane::MakeIndexAndSet(defs, ""), 1) << Errors.ErrorDetail;

  std::mt19937 random(20261211);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const auto geo = [&] { return Geo(pick(1500)); };
  const auto pop = [&] { return std::to_string(pick(200000) - 20000) + "." + std::to_string(pick(10)) + "5"; };
  const auto day = [&] {
    if (pick(10) == 0) return std::string();
    return std::to_string(1990 + pick(30)) + "0" + std::to_string(1 + pick(9)) + std::to_string(10 + pick(18));
  };
  const std::string races = "ABC";
  const std::string sumlevs[] = {"040", "050", "140"};

  std::vector<std::string> geocodes(1);            // by record number
  std::map<std::string, int32_t> uniqueModel;      // what the unique tag must hold
  const auto uniqueAdd = [&](const std::string& g, int32_t r) { uniqueModel.emplace(g, r); };
  const auto uniqueRemove = [&](const std::string& g, int32_t r) {
    auto it = uniqueModel.find(g);
    if (it != uniqueModel.end() && it->second == r) uniqueModel.erase(it);
  };

  const auto verify = [&](const char* phase) {
    SCOPED_TRACE(phase);
    const auto fresh = FreshBuild(defs);
    morvane::CloseArea();
    const auto tags = CheckIndexFile(file("t.mdx"));
    ASSERT_EQ(tags.size(), defs.size());
    for (size_t i = 0; i < tags.size(); ++i) {
      SCOPED_TRACE(tags[i].Name);
      if (tags[i].Unique) {
        std::vector<std::pair<std::string, uint32_t>> expected;
        for (const auto& [g, r] : uniqueModel) expected.emplace_back(g, static_cast<uint32_t>(r));
        EXPECT_EQ(tags[i].Items, expected);
        continue;
      }
      EXPECT_EQ(KeysOf(tags[i]), KeysOf(fresh[i]));
      auto mine = tags[i].Items, theirs = fresh[i].Items;
      std::sort(mine.begin(), mine.end());
      std::sort(theirs.begin(), theirs.end());
      EXPECT_TRUE(mine == theirs) << "records under their keys differ";
    }
    morvane::Use(file("t") + " EXCLUSIVE", nullptr, 0);
    ASSERT_TRUE(morvane::SetIndexTo("")) << Errors.ErrorDetail;
  };

  for (int op = 0; op < 6000; ++op) {
    const int32_t count = static_cast<int32_t>(geocodes.size()) - 1;
    if (count < 200 || pick(100) < 60) {
      const KeyRow row{sumlevs[pick(3)], geo(), std::string(1, races[static_cast<size_t>(pick(3))]), pop(), day()};
      AppendRow(row);
      geocodes.push_back(row.geocode);
      uniqueAdd(row.geocode, count + 1);
    } else {
      const int32_t r = 1 + pick(count);
      switch (pick(5)) {
        case 0: {
          const std::string g = geo();
          ReplaceField(r, kGeocode, g);
          if (g != geocodes[static_cast<size_t>(r)]) {
            uniqueRemove(geocodes[static_cast<size_t>(r)], r);
            uniqueAdd(g, r);
          }
          geocodes[static_cast<size_t>(r)] = g;
          break;
        }
        case 1: ReplaceField(r, kPop, pop()); break;
        case 2: ReplaceField(r, kDay, day()); break;
        case 3: ReplaceField(r, kRace, std::string(1, races[static_cast<size_t>(pick(3))])); break;
        default: ReplaceField(r, kSumlev, sumlevs[pick(3)]); break;
      }
    }
    if (HasFatalFailure()) return;
    // Now and then move in the order of another tag.
    if (op % 500 == 499) {
      morvane::Set_Order_To(1 + pick(static_cast<int>(defs.size())));
      EXPECT_EQ(OrderFromTop().size(), OrderFromBottom().size());
      ExpectNoError();
    }
  }
  verify("random run");
  if (HasFatalFailure()) return;
  {
    const auto tags = CheckIndexFile(file("t.mdx"));
    EXPECT_GE(tags[0].Depth, 2) << "the run should grow trees of three levels";
  }

  // Every record leaves the FOR conditions on race, in random order: leaves empty, pages are
  // unlinked and the roots shrink back.
  const int32_t count = static_cast<int32_t>(geocodes.size()) - 1;
  std::vector<int32_t> order(static_cast<size_t>(count));
  for (int32_t r = 1; r <= count; ++r) order[static_cast<size_t>(r - 1)] = r;
  std::shuffle(order.begin(), order.end(), random);
  for (int32_t r : order) {
    ReplaceField(r, kRace, "B");
    if (HasFatalFailure()) return;
  }
  verify("all left");
  if (HasFatalFailure()) return;
  morvane::SetOrderToTag("GEOA");
  EXPECT_TRUE(OrderFromTop().empty());

  // A third enter again (same key for GEOA, a new key for WIDE).
  for (size_t i = 0; i < order.size(); i += 3) {
    ReplaceField(order[i], kRace, "A");
    if (HasFatalFailure()) return;
  }
  verify("a third back");
}

}  // namespace
}  // namespace indextest
