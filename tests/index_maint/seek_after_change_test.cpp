// Seeks keep the branch pages they have read, so that a random seek reads only its leaf. These
// tests change the tree under a block that has read many branches, by its own appends and by
// another process's, and then seek every key: a branch kept from before a split would send the
// seek to a page that no longer holds the key.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/dbf/locks.h"
#include "engine/dbf/updates.h"
#include "engine/index/xqndx.h"
#include "tests/index/index_fixture.h"
#include "tests/index_maint/maint_rows.h"
#include "tests/support/child_process.h"

namespace indextest {
namespace {

using morvane::Errors;
using testsupport::Child;
using testsupport::ChildChannel;

std::string StoredGeocode() {
  const morvane::WorkArea& a = *morvane::CurrentWorkArea();
  const morvane::FieldDescriptor& f = a.Table.Fields[kGeocode - 1];
  return std::string(a.Table.Record() + f.Offset, f.Width);
}

// Empty when Find(Key) finds the record that holds Key, else what went wrong.
std::string FindFault(const std::string& key) {
  morvane::Find(key);
  if (Errors.DbfError != 0) return "error " + std::to_string(Errors.DbfError) + ": " + Errors.ErrorDetail;
  if (!morvane::IndexFound()) return key + " not found";
  if (StoredGeocode() != key) return key + " found record holding " + StoredGeocode();
  return "";
}

void AppendGeocode(const std::string& geocode) {
  morvane::ClearRecord();
  SetField(kSumlev, "140");
  SetField(kGeocode, geocode);
  SetField(kRace, "A");
  morvane::Append();
}

// Geocodes 0..N-1 in a fixed random order.
std::vector<std::string> ShuffledGeocodes(int n, unsigned seed) {
  std::vector<int> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(seed));
  std::vector<std::string> keys;
  for (const int i : order) keys.push_back(Geo(i * 7));
  return keys;
}

class SeekAfterChange : public IndexTest {};

// Appends in random key order split leaves and branches at every level (several thousand keys
// make a tree of three levels); seeks between the appends keep reading branches.
TEST_F(SeekAfterChange, SeeksBetweenAppendsFindEveryKey) {
  OpenKeyTable("t", {});
  ASSERT_EQ(morvane::MakeIndexAndSet({Tag("GEO", "geocode")}, ""), 1) << Errors.ErrorDetail;
  const std::vector<std::string> keys = ShuffledGeocodes(6000, 11);
  std::mt19937 random(7);
  for (size_t i = 0; i < keys.size(); ++i) {
    AppendGeocode(keys[i]);
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    const std::string& earlier = keys[random() % (i + 1)];
    ASSERT_EQ(FindFault(earlier), "") << "after " << i + 1 << " appends";
    ASSERT_EQ(FindFault(keys[i]), "") << "after " << i + 1 << " appends";
  }
  for (const std::string& key : keys) ASSERT_EQ(FindFault(key), "");
}

// The writer: appends the keys it is sent (one line: first and last index into the shared key
// list) under the append lock, then answers "appended".
int Writer(ChildChannel& channel, const std::string& table, const std::vector<std::string>& keys) {
  if (!OpenSharedInChild(table)) {
    channel.WriteLine("open failed " + Errors.ErrorDetail);
    return 1;
  }
  channel.WriteLine("ready");
  std::string line;
  while (channel.ReadLine(line)) {
    const size_t space = line.find(' ');
    const size_t first = std::stoul(line.substr(0, space)), last = std::stoul(line.substr(space + 1));
    for (size_t i = first; i < last; ++i) {
      if (!morvane::ALock()) {
        channel.WriteLine("lock failed " + Errors.ErrorDetail);
        return 1;
      }
      AppendGeocode(keys[i]);
      morvane::Unlock();
      if (Errors.DbfError != 0) {
        channel.WriteLine("append failed " + Errors.ErrorDetail);
        return 1;
      }
    }
    channel.WriteLine("appended");
  }
  morvane::CloseAll();
  return 0;
}

// Another process splits the pages this one has read: after each of its rounds of appends,
// every key, old and new, is found here.
TEST_F(SeekAfterChange, SeeksAfterAnotherProcessAppendedFindEveryKey) {
  const std::vector<std::string> keys = ShuffledGeocodes(4000, 23);
  const size_t initial = 500;
  {
    std::vector<KeyRow> rows;
    for (size_t i = 0; i < initial; ++i) rows.push_back({"140", keys[i], "A"});
    OpenKeyTable("shared.dbf", rows);
  }
  ASSERT_TRUE(morvane::MakeIndex({Tag("GEO", "geocode")}, ""));
  morvane::SetProductionIndexFlag(true);
  morvane::CloseAll();
  const std::string table = file("shared.dbf");

  Child writer([&](ChildChannel& c) { return Writer(c, table, keys); });
  ASSERT_TRUE(writer.started());
  morvane::Select(1);
  morvane::Use(table, nullptr, 0);
  ASSERT_TRUE(morvane::SetIndexTo(""));
  morvane::SemaphoreSettings.LockPauseMicroseconds = 200;
  ASSERT_EQ(writer.Receive(), "ready");

  size_t appended = initial;
  for (const size_t until : {size_t{1500}, size_t{2500}, keys.size()}) {
    for (size_t i = 0; i < appended; ++i) ASSERT_EQ(FindFault(keys[i]), "") << "before " << until;
    ASSERT_EQ(writer.Ask(std::to_string(appended) + " " + std::to_string(until)), "appended");
    appended = until;
  }
  for (size_t i = 0; i < appended; ++i) ASSERT_EQ(FindFault(keys[i]), "") << "at the end";
  morvane::CloseAll();
  EXPECT_EQ(writer.Wait(), 0);
}

}  // namespace
}  // namespace indextest
