// Two processes on one shared table and index: this one appends and rewrites under its record
// and append locks while the other walks the tags and seeks. The reader must never meet a
// damaged page, a key out of order or a record missing from the order it walks, and both end
// with a file that equals a fresh build.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/dbf/locks.h"
#include "engine/dbf/updates.h"
#include "engine/index/xqndx.h"
#include "tests/index/index_fixture.h"
#include "tests/index_maint/maint_rows.h"
#include "tests/index_maint/mdx_checker.h"
#include "tests/support/child_process.h"

namespace indextest {
namespace {

using morvane::Errors;
using testsupport::Child;
using testsupport::ChildChannel;

constexpr int kStartRows = 50;
constexpr int kAppends = 600;

std::string FieldText(int Field) {
  morvane::WorkArea& a = *morvane::CurrentWorkArea();
  const morvane::FieldDescriptor& f = a.Table.Fields[static_cast<size_t>(Field - 1)];
  return std::string(reinterpret_cast<const char*>(a.Table.Record()) + f.Offset, f.Width);
}

// One walk of the GEO order: records counted, keys in order. Empty when it held.
std::string Walk(int32_t& Seen) {
  Seen = 0;
  std::string previous;
  morvane::GoTop();
  while (!morvane::dEOF()) {
    if (Errors.DbfError != 0) return "error " + std::to_string(Errors.DbfError) + ": " + Errors.ErrorDetail;
    const std::string key = FieldText(kGeocode);
    if (key < previous) return "key " + key + " after " + previous;
    previous = key;
    ++Seen;
    morvane::Skip(1);
  }
  return Errors.DbfError != 0 ? "error " + std::to_string(Errors.DbfError) + ": " + Errors.ErrorDetail : "";
}

// The reader: walks the GEO order (whose keys the writer never rewrites) until it has seen
// every record the writer appends; every walk must see at least the records that existed when
// it began. Seeks each walk's first key as well. Answers "done N" or what went wrong.
int Reader(ChildChannel& channel, const std::string& table) {
  if (!OpenSharedInChild(table)) {
    channel.WriteLine("open failed " + Errors.ErrorDetail);
    return 1;
  }
  channel.WriteLine("ready");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int walks = 0;
  try {
    for (;;) {
      const int32_t before = morvane::RecCount();
      int32_t seen = 0;
      const std::string fault = Walk(seen);
      ++walks;
      if (!fault.empty()) {
        channel.WriteLine(fault);
        return 1;
      }
      if (seen < before) {
        channel.WriteLine("walk saw " + std::to_string(seen) + " of " + std::to_string(before));
        return 1;
      }
      morvane::Find(Geo(7));
      if (Errors.DbfError != 0 || !morvane::IndexFound()) {
        channel.WriteLine("seek failed " + Errors.ErrorDetail);
        return 1;
      }
      if (seen == kStartRows + kAppends) break;
      if (std::chrono::steady_clock::now() > deadline) {
        channel.WriteLine("timeout at " + std::to_string(seen));
        return 1;
      }
    }
  } catch (const morvane::EMorvaneError& e) {
    channel.WriteLine(std::string("raised ") + e.what());
    return 1;
  }
  morvane::CloseAll();
  channel.WriteLine("done " + std::to_string(walks));
  return 0;
}

class TwoProcessMaintain : public IndexTest {};

TEST_F(TwoProcessMaintain, ReaderSeesEveryKeyWhileTheWriterAppendsAndRewrites) {
  const std::string table = file("shared.dbf");
  {
    std::vector<KeyRow> rows;
    for (int i = 0; i < kStartRows; ++i) rows.push_back({"050", Geo(i * 13 % 97), "A", std::to_string(i)});
    OpenKeyTable("shared.dbf", rows);
  }
  const std::vector<morvane::IndexTagDef> defs = {Tag("GEO", "geocode"), Tag("POP", "pop"),
                                                  Tag("BIG", "pop", "pop > 300")};
  ASSERT_TRUE(morvane::MakeIndex(defs, ""));
  morvane::SetProductionIndexFlag(true);
  morvane::CloseAll();

  Child reader([&](ChildChannel& c) { return Reader(c, table); });
  ASSERT_TRUE(reader.started());
  morvane::Select(1);
  morvane::Use(table, nullptr, 0);
  ASSERT_TRUE(morvane::SetIndexTo(""));
  morvane::SemaphoreSettings.LockPauseMicroseconds = 200;
  ASSERT_EQ(reader.Receive(), "ready");

  for (int i = 0; i < kAppends; ++i) {
    ASSERT_TRUE(morvane::ALock());
    morvane::ClearRecord();
    SetField(kSumlev, "050");
    SetField(kGeocode, Geo((i * 7919) % 1000));
    SetField(kRace, "B");
    SetField(kPop, std::to_string(i % 500));
    morvane::Append();
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    morvane::Unlock();
    if (i % 3 == 0) {
      // Rewrite an earlier record's number: it moves in POP and enters or leaves BIG.
      morvane::Go(1 + (i * 31) % (kStartRows + i));
      ASSERT_TRUE(morvane::RLock());
      SetField(kPop, std::to_string((i * 37) % 600));
      morvane::Replace();
      ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
      morvane::Unlock();
    }
  }
  const std::string answer = reader.Receive(60000);
  EXPECT_EQ(answer.substr(0, 5), "done ") << answer;
  EXPECT_EQ(reader.Wait(), 0);
  ASSERT_TRUE(morvane::MakeIndex(defs, file("fresh.mdx")));
  morvane::CloseAll();

  const auto tags = mdxcheck::CheckIndexFile(file("shared.mdx"));
  const auto fresh = mdxcheck::CheckIndexFile(file("fresh.mdx"));
  ASSERT_EQ(tags.size(), fresh.size());
  for (size_t i = 0; i < tags.size(); ++i) {
    SCOPED_TRACE(tags[i].Name);
    EXPECT_EQ(mdxcheck::KeysOf(tags[i]), mdxcheck::KeysOf(fresh[i]));
  }
  EXPECT_EQ(tags[0].Items.size(), static_cast<size_t>(kStartRows + kAppends));
}

}  // namespace
}  // namespace indextest
