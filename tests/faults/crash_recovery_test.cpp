// Tables left behind by a crash: a real process is killed (SIGKILL) in the middle of a run of
// appends, and the table is reopened with the record count taken from the file size. Every
// record written completely is there and readable; a record cut short at the end is not counted;
// a table whose header counts more records than the file holds refuses appends until recounted.
#include <signal.h>

#include <string>

#include "engine/dbf/locks.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "platform/os/files.h"
#include "tests/faults/faults_fixture.h"
#include "tests/support/child_process.h"

namespace faulttest {
namespace {

using namespace morvane;
namespace os = platform::os;

class CrashRecoveryTest : public FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    path_ = file("t.dbf");
    BuildTable(path_, 5);
  }

  // Puts RecordImage(R, Marker) into the current area's typed record.
  static void SetTyped(int32_t R, char Marker) {
    WorkArea* a = CurrentWorkArea();
    const std::string image = RecordImage(R, Marker);
    a->Table.RecordBuffer.assign(image.begin(), image.end());
    RecordToTyped(a->Table, a->Typed);
  }

  static RecordCheck Appended() {
    return [](int32_t r, const std::string& image) {
      return image == RecordImage(r, r <= 5 ? 'R' : 'A');
    };
  }

  std::string path_;
};

TEST_F(CrashRecoveryTest, EveryRecordWrittenBeforeAKillIsThere) {
  struct Case {
    const char* name;
    bool shared;      // appends under the append lock of a shared table
    bool flushEach;   // the header is rewritten after every append
  };
  for (const Case& c : {Case{"exclusive", false, false}, Case{"shared, locked", true, false},
                        Case{"flushed after every append", false, true}}) {
    SCOPED_TRACE(c.name);
    BuildTable(path_, 5);
    testsupport::Child child([&](testsupport::ChildChannel& channel) {
      DbfSettings.FlushAfterWrite = c.flushEach;
      Select(1);
      Use(path_ + (c.shared ? "" : " EXCLUSIVE"), nullptr, 0);
      if (CurrentWorkArea() == nullptr || (c.shared && !ALock())) return 1;
      for (int32_t r = 6; r < 10000000; ++r) {
        SetTyped(r, 'A');
        Append();
        if (Errors.DbfError != 0) return 2;
        if (r % 100 == 0 && !channel.WriteLine(std::to_string(r))) return 3;
      }
      return 0;
    });
    ASSERT_TRUE(child.started());
    // Killed once it has appended at least 1,000 records (and is busy with more).
    int32_t reported = 0;
    while (reported < 1000) {
      const std::string line = child.Receive();
      ASSERT_FALSE(line.empty()) << "the child stopped appending";
      reported = std::stoi(line);
    }
    ASSERT_EQ(::kill(child.pid(), SIGKILL), 0);
    EXPECT_EQ(child.Wait(), 128 + SIGKILL);

    const int32_t held = ExpectTableHolds(path_, reported, 10000000, Appended());
    EXPECT_GE(held, reported);
    // The table goes on from there: one more append after the recount lands right after them.
    DbfSettings.RecountOnOpen = true;
    Select(1);
    Use(path_ + " EXCLUSIVE", nullptr, 0);
    DbfSettings.RecountOnOpen = false;
    ASSERT_NE(CurrentWorkArea(), nullptr) << Errors.ErrorDetail;
    SetTyped(held + 1, 'A');
    Append();
    EXPECT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    CloseAll();
    ExpectTableHolds(path_, held + 1, held + 1, Appended());
    const testsupport::Bytes bytes = testsupport::ReadFileBytes(path_);
    EXPECT_EQ(bytes.size(), 161u + static_cast<size_t>(held + 1) * 28 + 1);
    EXPECT_EQ(bytes.back(), 0x1A);
  }
}

TEST_F(CrashRecoveryTest, ARecordCutShortAtTheEndIsNotCounted) {
  // As a power failure in the middle of the last write would leave it: 7 records and half of an
  // eighth, the header still counting 5.
  DbfControlBlock b;
  Open(b, path_);
  for (int32_t r = 6; r <= 8; ++r) Put(b, r, r, 'A');
  os::FileClose(b.File);  // no header, no end mark: the process is gone
  b.File = os::kInvalidHandle;
  testsupport::Bytes bytes = testsupport::ReadFileBytes(path_);
  bytes.resize(161 + 7 * 28 + 14);
  testsupport::WriteFileBytes(path_, bytes);

  EXPECT_EQ(ExpectTableHolds(path_, 7, 7, Appended()), 7);
  ASSERT_TRUE(Open(b, path_, true));
  Put(b, 8, 8, 'A');  // overwrites the torn half
  EXPECT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  CloseDbf(b);
  ExpectTableHolds(path_, 8, 8, Appended());
}

TEST_F(CrashRecoveryTest, AHeaderCountingMissingRecordsRefusesAppendsUntilRecounted) {
  // The header counts 5 records; a crash (or a copy cut short) left 2.
  testsupport::Bytes bytes = testsupport::ReadFileBytes(path_);
  bytes.resize(161 + 2 * 28);
  testsupport::WriteFileBytes(path_, bytes);

  DbfControlBlock b;
  ASSERT_TRUE(Open(b, path_));
  EXPECT_EQ(b.RecordCount, 5);
  Put(b, 6, 6, 'A');
  EXPECT_EQ(Errors.DbfError, 213) << "an append past the end of the file";
  EXPECT_EQ(b.RecordCount, 5);
  CloseDbf(b);
  EXPECT_EQ(testsupport::ReadFileBytes(path_), bytes) << "the refused append wrote something";

  ASSERT_TRUE(Open(b, path_, true));
  EXPECT_EQ(b.RecordCount, 2);
  Put(b, 3, 3, 'R');
  EXPECT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  CloseDbf(b);
  ExpectTableHolds(path_, 3, 3, Built(3));
  EXPECT_EQ(testsupport::ReadFileBytes(path_).size(), 161u + 3 * 28 + 1);
}

}  // namespace
}  // namespace faulttest
