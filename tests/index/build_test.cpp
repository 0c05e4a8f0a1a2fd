// Building index files: the exact bytes of small files, builds that spill runs to a temporary
// file giving the same file as a build in one run, deep trees whose branch keys are the greatest
// key below them, unique, descending and FOR tags, deleted records, repeated tag names, the tag
// list and the progress calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/index/xqndx.h"
#include "engine/util/files.h"
#include "tests/index/index_fixture.h"
#include "tests/support/test_support.h"

namespace indextest {
namespace {

using morvane::IndexTagDef;
using testsupport::ReadFileBytes;

uint32_t Get32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

void PutText(Bytes& b, size_t at, const std::string& text) { std::copy(text.begin(), text.end(), b.begin() + at); }

// The header and tag table a one-tag file must start with.
Bytes ExpectedHeader(const std::string& table, uint32_t tagHeaderBlock, uint32_t rootBlock, char type) {
  Bytes b(2048, 0);
  const morvane::TodayDate today = morvane::Today();
  const uint8_t date[3] = {static_cast<uint8_t>(today.Year - 1900), static_cast<uint8_t>(today.Month),
                           static_cast<uint8_t>(today.Day)};
  b[0] = 2;
  std::copy(date, date + 3, b.begin() + 1);
  PutText(b, 4, table);
  b[20] = 2;
  b[23] = 4;  // 1024
  b[24] = 1;
  b[25] = 48;
  b[26] = 32;
  b[28] = 1;
  b[32] = static_cast<uint8_t>(rootBlock + 2);
  std::copy(date, date + 3, b.begin() + 44);
  b[512 + 17] = 1;
  b[544] = static_cast<uint8_t>(tagHeaderBlock);
  PutText(b, 548, "DUMMY_TAG");
  b[544 + 19] = 2;
  b[544 + 20] = static_cast<uint8_t>(type);
  return b;
}

// Walks a tag's tree in the file: every page within capacity, keys ascending (byte-wise), each
// branch key the greatest key below it. Returns the (key, record) pairs in order.
struct TreeWalk {
  const Bytes& file;
  size_t keyLength, itemLength, maxKeys;
  std::vector<std::pair<std::string, uint32_t>> items;
  int maxDepth = 0;

  std::string Walk(uint32_t block, int depth) {
    maxDepth = std::max(maxDepth, depth);
    const size_t at = size_t{block} * 512;
    EXPECT_LE(at + 1024, file.size());
    if (at + 1024 > file.size() || depth > 20) return {};
    const size_t n = Get16(file, at);
    EXPECT_LE(n, maxKeys);
    const uint32_t trailing = Get32(file, at + 8 + n * itemLength);
    std::string greatest;
    for (size_t i = 0; i < n; ++i) {
      const size_t item = at + 8 + i * itemLength;
      const std::string key(file.begin() + static_cast<long>(item + 4),
                            file.begin() + static_cast<long>(item + 4 + keyLength));
      if (trailing == 0) {
        items.emplace_back(key, Get32(file, item));
      } else {
        EXPECT_EQ(Walk(Get32(file, item), depth + 1), key) << "branch key at block " << block;
      }
      greatest = key;
    }
    if (trailing != 0) greatest = Walk(trailing, depth + 1);
    return greatest;
  }
};

class BuildTest : public IndexTest {};

const std::vector<KeyRow> kNineRows = {
    {"050", "01001......", "B"}, {"040", "01.........", " "}, {"050", "01001......", " "},
    {"040", "01.........", "B"}, {"050", "01003......", "A"}, {"040", "01.........", "A"},
    {"050", "01003......", " "}, {"050", "01001......", "A"}, {"050", "01003......", "B"},
};

TEST_F(BuildTest, NineRecordFileIsByteExact) {
  OpenKeyTable("keys9.dbf", kNineRows);
  ASSERT_EQ(morvane::IndexOn("sumlev + geocode + race", file("keys9.mdx")), 1) << morvane::Errors.ErrorDetail;
  Bytes expected = ExpectedHeader("keys9", 6, 4, 'C');
  expected.resize(4096, 0);
  // The leaf (block 4): 9 items of 20 bytes, in key order.
  std::vector<std::pair<std::string, uint32_t>> keys;
  for (size_t i = 0; i < kNineRows.size(); ++i)
    keys.emplace_back(kNineRows[i].sumlev + kNineRows[i].geocode + kNineRows[i].race, static_cast<uint32_t>(i + 1));
  std::sort(keys.begin(), keys.end());
  expected[2048] = 9;
  for (size_t i = 0; i < keys.size(); ++i) {
    expected[2056 + 20 * i] = static_cast<uint8_t>(keys[i].second);
    PutText(expected, 2056 + 20 * i + 4, keys[i].first);
  }
  // The tag header page (block 6).
  expected[3072] = 4;
  expected[3080] = 0x10;
  expected[3081] = 'C';
  expected[3084] = 15;
  expected[3086] = 50;
  expected[3090] = 20;
  PutText(expected, 3096, "sumlev + geocode + race");
  morvane::CloseArea();
  EXPECT_EQ(ReadFileBytes(file("keys9.mdx")), expected) << testsupport::HexDump(ReadFileBytes(file("keys9.mdx")));
}

TEST_F(BuildTest, EmptyTableGivesAnEmptyRootLeaf) {
  OpenKeyTable("none.dbf", {});
  ASSERT_TRUE(morvane::MakeIndex({Tag("dummy_tag", "sumlev + geocode + race")}, "")) << morvane::Errors.ErrorDetail;
  const Bytes bytes = ReadFileBytes(file("none.mdx"));
  Bytes expected = ExpectedHeader("none", 6, 4, 'C');
  expected.resize(4096, 0);
  expected[3072] = 4;
  expected[3080] = 0x10;
  expected[3081] = 'C';
  expected[3084] = 15;
  expected[3086] = 50;
  expected[3090] = 20;
  PutText(expected, 3096, "sumlev + geocode + race");
  EXPECT_EQ(bytes, expected) << testsupport::HexDump(bytes);
  ASSERT_TRUE(morvane::SetIndexTo(""));
  EXPECT_TRUE(OrderFromTop().empty());
}

// Keys with many repeats, so that equal keys cross run boundaries.
std::vector<std::string> RepeatingKeys(size_t n, size_t width) {
  std::vector<std::string> keys;
  for (size_t i = 0; i < n; ++i) {
    std::string k = std::to_string((i * 7919) % 37);
    keys.push_back(std::string(width - std::min(width, k.size()), 'x') + k);
  }
  return keys;
}

TEST_F(BuildTest, SpilledRunsGiveTheSameFileAsOneRun) {
  struct Case {
    size_t records, width, runSize;
  };
  // Width 100 gives 9 keys a page, so 1000 records make a tree four levels deep.
  const Case cases[] = {{100, 15, 7}, {1000, 100, 64}, {500, 12, 1}, {8190, 4, 8189}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.records) + " records, run size " + std::to_string(c.runSize));
    OpenTextTable("runs.dbf", static_cast<int>(c.width), RepeatingKeys(c.records, c.width));
    const std::vector<IndexTagDef> defs = {Tag("K", "k"), Tag("KD", "k", "", true), Tag("KU", "k", "", false, true)};
    morvane::IndexBuildSettings.RunEntries = c.runSize;
    ASSERT_TRUE(morvane::MakeIndex(defs, file("spilled.mdx"))) << morvane::Errors.ErrorDetail;
    morvane::IndexBuildSettings.RunEntries = 1000000;
    ASSERT_TRUE(morvane::MakeIndex(defs, file("single.mdx"))) << morvane::Errors.ErrorDetail;
    const Bytes spilled = ReadFileBytes(file("spilled.mdx"));
    EXPECT_EQ(spilled, ReadFileBytes(file("single.mdx")));

    // The ascending tag holds every record, keys ascending, ties by record number.
    const size_t item = 4 + (c.width + 3) / 4 * 4;
    TreeWalk walk{spilled, c.width, item, 1012 / item, {}};
    walk.Walk(Get32(spilled, size_t{Get32(spilled, 544)} * 512), 0);
    ASSERT_EQ(walk.items.size(), c.records);
    EXPECT_TRUE(std::is_sorted(walk.items.begin(), walk.items.end()));
    if (c.width == 100) {
      EXPECT_GE(walk.maxDepth, 3);
    }
    morvane::CloseArea();
  }
}

TEST_F(BuildTest, TagKindsOrderTheTable) {
  const std::vector<KeyRow> rows = {
      {"050", "B", "1", "12.5", "20100401"}, {"040", "A", "2", "-3", "19991231"},
      {"050", "A", "1", "12.5", "20100401"}, {"040", "C", "3", "100", "        "},
      {"050", "B", "2", "0.05", "20000101", true},
  };
  OpenKeyTable("kinds.dbf", rows);
  const std::vector<IndexTagDef> defs = {
      Tag("GEO", "geocode"),
      Tag("GEODESC", "geocode + race", "", true),
      Tag("POP", "pop"),
      Tag("DAY", "day"),
      Tag("UGEO", "geocode", "", false, true),
      Tag("ONLY050", "geocode", "sumlev = \"050\""),
      Tag("NONE", "geocode", "sumlev = \"999\""),
  };
  ASSERT_TRUE(morvane::MakeIndex(defs, "")) << morvane::Errors.ErrorDetail;
  ASSERT_TRUE(morvane::SetIndexTo(""));
  struct Case {
    const char* tag;
    std::vector<int32_t> order;
  };
  const Case cases[] = {
      {"GEO", {2, 3, 1, 5, 4}},      // equal keys in record-number order
      {"GEODESC", {4, 5, 1, 2, 3}},  // descending
      {"POP", {2, 5, 1, 3, 4}},      // -3, 0.05, 12.5, 12.5, 100
      {"DAY", {2, 5, 1, 3, 4}},      // the empty date sorts last
      {"UGEO", {2, 1, 4}},           // the lowest record of each key
      {"ONLY050", {3, 1, 5}},        // deleted records are indexed like any other
      {"NONE", {}},
  };
  for (const Case& c : cases) {
    morvane::SetOrderToTag(c.tag);
    EXPECT_EQ(OrderFromTop(), c.order) << c.tag;
    std::vector<int32_t> reversed(c.order.rbegin(), c.order.rend());
    EXPECT_EQ(OrderFromBottom(), reversed) << c.tag;
  }
  // A FOR condition nobody satisfied leaves FOR-seen 0 in its anchor.
  const Bytes bytes = ReadFileBytes(file("kinds.mdx"));
  const size_t noneAnchor = size_t{Get32(bytes, 512 + 32 * 7)} * 512;
  EXPECT_EQ(bytes[noneAnchor + 245], 1);
  EXPECT_EQ(bytes[noneAnchor + 246], 0);
  const size_t onlyAnchor = size_t{Get32(bytes, 512 + 32 * 6)} * 512;
  EXPECT_EQ(bytes[onlyAnchor + 246], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[onlyAnchor + 762])), "sumlev = \"050\"");
  // Numeric and date geometry.
  const size_t popAnchor = size_t{Get32(bytes, 512 + 32 * 3)} * 512;
  EXPECT_EQ(Get16(bytes, popAnchor + 12), 12);
  EXPECT_EQ(Get16(bytes, popAnchor + 18), 16);
  EXPECT_EQ(Get16(bytes, popAnchor + 14), 63);
  const size_t dayAnchor = size_t{Get32(bytes, 512 + 32 * 4)} * 512;
  EXPECT_EQ(bytes[dayAnchor + 9], 'D');
  EXPECT_EQ(Get16(bytes, dayAnchor + 12), 8);
  EXPECT_EQ(Get16(bytes, dayAnchor + 16), 1);
  EXPECT_EQ(Get16(bytes, dayAnchor + 14), 84);
}

TEST_F(BuildTest, TagListDescribesEveryTag) {
  OpenKeyTable("list.dbf", {{"040", "A", "1"}});
  ASSERT_TRUE(morvane::MakeIndex({Tag("GEO", "geocode", "", false, true), Tag("Mixed", "sumlev + race", "race = 'A'", true),
                                  Tag("GEO", "geocode + race")},
                                 "list"));
  std::vector<std::string> list;
  morvane::GetTagList(list, "list");
  // The repeated name left one tag, the second definition: the last entry moved into the place
  // of the replaced one, and the new definition came after it.
  const std::vector<std::string> expected = {"MIXED,T,F,sumlev + race", "race = 'A'", "GEO,F,F,geocode + race", ""};
  EXPECT_EQ(list, expected);
  morvane::GetTagList(list, file("missing.mdx"));
  EXPECT_TRUE(list.empty());
}

void CountProgress();
int gProgressCalls = 0;
void CountProgress() { ++gProgressCalls; }

TEST_F(BuildTest, ProgressIsCalledTheRegisteredNumberOfTimesPerTag) {
  OpenTextTable("progress.dbf", 4, RepeatingKeys(101, 4));
  for (int steps : {1, 7, 100, 500}) {
    gProgressCalls = 0;
    morvane::SetIndexProgressProc(&CountProgress, steps);
    ASSERT_TRUE(morvane::MakeIndex({Tag("A", "k"), Tag("B", "k", "", true)}, ""));
    EXPECT_EQ(gProgressCalls, 2 * steps) << steps;
  }
  morvane::SetIndexProgressProc(nullptr, 0);
  gProgressCalls = 0;
  ASSERT_TRUE(morvane::MakeIndex({Tag("A", "k")}, ""));
  EXPECT_EQ(gProgressCalls, 0);
}

TEST_F(BuildTest, RefusedDefinitionsFailTheirTagOnly) {
  OpenKeyTable("bad.dbf", {{"040", "A", "1", "5"}});
  struct Case {
    IndexTagDef def;
    uint16_t code;
    const char* detail;
  };
  const Case cases[] = {
      {Tag("L", "sumlev = \"040\""), 254, "Wrong parser return type [AddIndexTag()]"},
      {Tag("F", "geocode", "pop"), 362, "Invalid FOR expression for F"},
      {Tag("X", "nosuchfield"), 351, "[AssignExpr]"},
      {Tag("LONG", "replicate(geocode, 10)"), 266, "Incorrect key length: Must be 1 to 100. [AddIndexTag()]"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(morvane::MakeIndex({Tag("GOOD", "geocode"), c.def, Tag("AFTER", "race")}, "")) << c.def.TagName;
    std::vector<std::string> list;
    morvane::GetTagList(list, "");
    EXPECT_EQ(list, (std::vector<std::string>{"GOOD,F,F,geocode", "", "AFTER,F,F,race", ""})) << c.def.TagName;
  }
  // The code and detail of the failure itself (the later tag succeeded and cleared the code).
  for (const Case& c : cases) {
    EXPECT_FALSE(morvane::MakeIndex({c.def}, ""));
    EXPECT_EQ(morvane::Errors.DbfError, c.code) << c.def.TagName;
    EXPECT_NE(morvane::Errors.ErrorDetail.find(c.detail), std::string::npos) << morvane::Errors.ErrorDetail;
  }
}

TEST_F(BuildTest, FortyEighthTagIsRefusedInsteadOfOverrunningTheTable) {
  OpenKeyTable("many.dbf", {{"040", "A", "1"}});
  std::vector<IndexTagDef> defs;
  for (int i = 1; i <= 48; ++i) defs.push_back(Tag("T" + std::to_string(i), "geocode"));
  EXPECT_FALSE(morvane::MakeIndex(defs, ""));
  EXPECT_EQ(morvane::Errors.DbfError, 220);
  std::vector<std::string> list;
  morvane::GetTagList(list, "");
  EXPECT_EQ(list.size(), 2u * 47);
  ASSERT_TRUE(morvane::SetIndexTo(""));
  morvane::SetOrderToTag("T47");
  EXPECT_EQ(morvane::CurrentOrder(), 47);
}

TEST_F(BuildTest, ReindexRebuildsFromTheStoredDefinitions) {
  OpenKeyTable("re.dbf", kNineRows);
  ASSERT_TRUE(morvane::MakeIndex({Tag("GEO", "geocode + race"), Tag("SUM", "sumlev", "race = \"A\"")}, ""));
  const Bytes before = ReadFileBytes(file("re.mdx"));
  ASSERT_TRUE(morvane::SetIndexTo(""));
  morvane::SetOrderToTag("SUM");
  morvane::Reindex();
  EXPECT_EQ(morvane::CurrentOrder(), 2);
  morvane::CloseArea();
  EXPECT_EQ(ReadFileBytes(file("re.mdx")), before);
}

}  // namespace
}  // namespace indextest
