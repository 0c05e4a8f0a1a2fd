// Two processes append 5,000 records each under the append lock, in small bursts, while a third
// reads every record as it appears. Afterwards the table holds exactly 10,000 intact records, each
// appender's in its own order, and the header written at the last close counts them all.
#include <map>

#include "tests/locks/helper/commands.h"
#include "tests/locks/locks_fixture.h"
#include "tests/locks/other_party.h"

namespace lockstest {
namespace {

using namespace morvane;

constexpr int kEach = 5000;

using StressTest = dbftest::EngineTest;

TEST_F(StressTest, TwoAppendersAndAReader) {
  const std::string path = file("stress.dbf");
  dbftest::CreateTable(path, lockhelper::StressFields());
  HelperProcess a, b, reader;
  for (HelperProcess* p : {&a, &b, &reader}) ASSERT_EQ(p->Ask("use " + path), "ok");

  const std::string half = std::to_string(kEach / 2);
  ASSERT_TRUE(reader.Send("readuntil " + std::to_string(2 * kEach) + " 120"));
  ASSERT_TRUE(a.Send("appendburst A 1 " + std::to_string(kEach) + " 7"));
  ASSERT_TRUE(b.Send("appendburst B 1 " + half + " 5"));
  EXPECT_EQ(b.Receive(120000), "ok");
  ASSERT_TRUE(b.Send("appendburst B " + std::to_string(kEach / 2 + 1) + " " + half + " 3"));
  // A closes as soon as it is done, most likely while B still appends: its header and end mark
  // must not land on B's records.
  EXPECT_EQ(a.Receive(120000), "ok");
  EXPECT_EQ(a.Ask("close"), "ok");
  EXPECT_EQ(b.Receive(120000), "ok");
  const std::string read = reader.Receive(120000);
  EXPECT_EQ(read.substr(0, 3), "ok ") << read;
  EXPECT_EQ(b.Ask("close"), "ok");
  EXPECT_EQ(reader.Ask("close"), "ok");
  for (HelperProcess* p : {&a, &b, &reader}) EXPECT_EQ(p->Finish(), 0);

  // Exclusive use takes the record count from the header.
  Use(path + " EXCLUSIVE", nullptr, 0);
  ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  ASSERT_EQ(RecCount(), 2 * kEach);
  std::map<char, int> last{{'A', 0}, {'B', 0}};
  for (int32_t r = 1; r <= 2 * kEach; ++r) {
    Go(r);
    const WorkArea& area = *CurrentWorkArea();
    const std::string raw(area.Table.Record(), area.Table.RecordLength);
    char who = 0;
    int seq = 0;
    ASSERT_TRUE(lockhelper::StressRecordIntact(raw, who, seq))
        << "record " << r << ": [" << raw << "]";
    ASSERT_EQ(seq, last[who] + 1) << "record " << r;
    last[who] = seq;
  }
  EXPECT_EQ(last['A'], kEach);
  EXPECT_EQ(last['B'], kEach);
  const uint64_t size = CurrentWorkArea()->Table.HeaderLength + uint64_t{2 * kEach} * 16 + 1;
  CloseArea();
  const Bytes bytes = testsupport::ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), size);
  EXPECT_EQ(bytes.back(), 0x1A);
}

}  // namespace
}  // namespace lockstest
