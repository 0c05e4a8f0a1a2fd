// The index semaphore: a reader and a writer in two real processes (the writer waits, and gives
// up with the timeout message while the reader stays; a reader cannot register while the writer
// holds), the counts and update counter in the file, unbalanced and nested holds, and the
// ".@S@" file gone after the last logout.
#include <gtest/gtest.h>

#include <string>

#include "engine/index/semaphore.h"
#include "engine/index/xqndx.h"
#include "engine/util/files.h"
#include "tests/index/index_fixture.h"
#include "tests/support/child_process.h"

namespace indextest {
namespace {

using testsupport::Child;
using testsupport::ChildChannel;

class SemaphoreTest : public IndexTest {
 protected:
  // A shared table with its production index, open in area 1 with the index set.
  void OpenShared() {
    OpenKeyTable("s.dbf", {{"040", "A", "1"}, {"050", "B", "2"}, {"050", "C", "3"}});
    ASSERT_TRUE(morvane::MakeIndex({Tag("GEO", "geocode")}, ""));
    morvane::CloseArea();
    morvane::Use(file("s.dbf"), nullptr, 0);
    ASSERT_TRUE(morvane::SetIndexTo(""));
    ASSERT_TRUE(morvane::SemaphoreLoggedIn());
    morvane::SemaphoreSettings.LockPauseMicroseconds = 200;
  }

  static morvane::SemaphoreRecord Record() {
    morvane::SemaphoreRecord r;
    EXPECT_TRUE(morvane::ReadSemaphoreRecord(r));
    return r;
  }

  // The message of the EMorvaneError F raises, "" when it raises none.
  template <typename F>
  static std::string Raised(F f) {
    try {
      f();
    } catch (const morvane::EMorvaneError& e) {
      return e.what();
    }
    return "";
  }
};

// The other process: opens the table in its own work area and obeys "lock", "unlock" and
// "close", answering "ok" or the error text on one line.
int OtherProcess(ChildChannel& channel, const std::string& table) {
  // The fork copied the parent's semaphore handles, which a real second process would not hold
  // (they would keep the last one out from erasing the file).
  morvane::ResetSemaphores();
  morvane::Select(2);
  morvane::Use(table + " ALIAS OTHER", nullptr, 0);
  morvane::SemaphoreSettings.SemaphoreTimeout = 1;
  morvane::SemaphoreSettings.LockPauseMicroseconds = 200;
  const bool opened = morvane::Errors.DbfError == 0 && morvane::SetIndexTo("");
  channel.WriteLine(opened ? "ready" : "open failed");
  std::string line;
  while (channel.ReadLine(line)) {
    std::string answer = "ok";
    try {
      if (line == "lock") morvane::SetLockSemaphoreProc(true);
      if (line == "unlock") morvane::SetLockSemaphoreProc(false);
      if (line == "close") morvane::IndexClose();
    } catch (const morvane::EMorvaneError& e) {
      // One line back: every line break becomes "|".
      answer.clear();
      for (const char* p = e.what(); *p != 0; ++p) {
        if (*p == '\r' && p[1] == '\n') ++p;
        answer += (*p == '\r' || *p == '\n') ? '|' : *p;
      }
    }
    channel.WriteLine(answer);
  }
  return 0;
}

TEST_F(SemaphoreTest, WriterWaitsForTheReaderAndTimesOut) {
  OpenShared();
  const std::string semaphore = morvane::IndexSemaphoreFileName();
  EXPECT_EQ(semaphore, file("s.@s@"));
  EXPECT_EQ(Record().Users, 1);

  morvane::SetReadSemaphoreProc(true);  // this process reads
  EXPECT_EQ(Record().Access, 1);
  const std::string table = file("s.dbf");
  Child other([&](ChildChannel& c) { return OtherProcess(c, table); });
  ASSERT_EQ(other.Receive(), "ready");
  EXPECT_EQ(Record().Users, 2);

  // The writer gives up after its timeout of 1 second while the reader stays.
  const std::string timeout = other.Ask("lock", 10000);
  EXPECT_NE(timeout.find("Error # 1202"), std::string::npos) << timeout;
  EXPECT_NE(timeout.find("1 second timeout, cannot read: " + semaphore + "|"), std::string::npos) << timeout;
  EXPECT_NE(timeout.find("Possible cause: Other user's program has terminated abnormally.|"), std::string::npos);
  EXPECT_NE(timeout.find("Cure: Log all users of this application off the network,|then delete " + semaphore),
            std::string::npos);

  // Once the reader leaves, the writer gets in; meanwhile no reader can register.
  morvane::SetReadSemaphoreProc(false);
  EXPECT_EQ(Record().Access, 0);
  EXPECT_EQ(other.Ask("lock"), "ok");
  EXPECT_EQ(Record().Access, 1);
  const std::string refused = Raised([] { morvane::SetReadSemaphoreProc(true); });
  EXPECT_NE(refused.find("10 second timeout: Cannot lock index semaphore file: " + semaphore + " INCREAD"),
            std::string::npos)
      << refused;
  EXPECT_EQ(other.Ask("unlock"), "ok");
  const morvane::SemaphoreRecord after = Record();
  EXPECT_EQ(after.Access, 0);
  EXPECT_EQ(after.UpdateCounter, 1);

  // The reader notices the writer's release and keeps its place.
  morvane::GoTop();
  morvane::Skip(1);
  EXPECT_EQ(morvane::RecNo(), 2);
  EXPECT_EQ(morvane::LastSeenUpdate(), 1);

  EXPECT_EQ(other.Ask("close"), "ok");
  EXPECT_EQ(Record().Users, 1);
  EXPECT_EQ(other.Wait(), 0);
  EXPECT_TRUE(morvane::FileExists(semaphore));
  morvane::CloseArea();
  EXPECT_FALSE(morvane::FileExists(semaphore));
}

TEST_F(SemaphoreTest, RebuildingAnIndexAnotherProcessHasOpenIsRefused) {
  OpenShared();
  const testsupport::Bytes before = testsupport::ReadFileBytes(file("s.mdx"));
  const std::string table = file("s.dbf");
  Child other([&](ChildChannel& c) { return OtherProcess(c, table); });
  ASSERT_EQ(other.Receive(), "ready");
  // The file cannot be erased while the other process reads it, and the table cannot be had
  // exclusively: the build is refused and the other process's index stays as it was.
  EXPECT_FALSE(morvane::MakeIndex({Tag("GEO", "geocode", "", true)}, ""));
  EXPECT_EQ(morvane::Errors.DbfError, 225);
  EXPECT_NE(morvane::Errors.ErrorDetail.find(" MakeIndex()"), std::string::npos) << morvane::Errors.ErrorDetail;
  EXPECT_EQ(testsupport::ReadFileBytes(file("s.mdx")), before);
  EXPECT_EQ(other.Ask("close"), "ok");
  EXPECT_EQ(other.Wait(), 0);
  EXPECT_FALSE(morvane::FileExists(file("s.@s@")));
}

TEST_F(SemaphoreTest, HoldsNestAndUnbalancedHoldsRaise) {
  OpenShared();
  for (int i = 0; i < 3; ++i) morvane::SetReadSemaphoreProc(true);
  EXPECT_EQ(Record().Access, 1);
  for (int i = 0; i < 3; ++i) morvane::SetReadSemaphoreProc(false);
  EXPECT_EQ(Record().Access, 0);
  morvane::SetLockSemaphoreProc(true);
  morvane::SetLockSemaphoreProc(true);
  morvane::SetReadSemaphoreProc(true);  // the writer reads without registering
  morvane::SetReadSemaphoreProc(false);
  morvane::SetLockSemaphoreProc(false);
  EXPECT_EQ(Record().UpdateCounter, 0);
  morvane::SetLockSemaphoreProc(false);
  EXPECT_EQ(Record().UpdateCounter, 1);
  EXPECT_EQ(Record().Access, 0);

  struct Case {
    void (*call)();
    const char* message;
  };
  const Case cases[] = {
      {[] { morvane::SetReadSemaphoreProc(false); }, "Non-symmetrical Lock-Unlock [SetReadSemaphoreProc]"},
      {[] { morvane::SetLockSemaphoreProc(false); }, "Non-symmetrical Lock-Unlock [SetLockSemaphoreProc]"},
      {[] { morvane::HandleSemaphore("DECREAD"); }, "Unbalanced IncRead/DecRead for semaphore file: "},
      {[] { morvane::HandleSemaphore("UNLOCKSEMAPHORE"); }, "Unbalanced Lock/Unlock for semaphore file: "},
  };
  for (const Case& c : cases) {
    const std::string text = Raised(c.call);
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
    EXPECT_EQ(morvane::Errors.DbfError, 254);
  }
  // The holds still work afterwards.
  morvane::SetReadSemaphoreProc(true);
  EXPECT_EQ(Record().Access, 1);
  morvane::SetReadSemaphoreProc(false);
  morvane::WorkAreas.Current = 35;
  EXPECT_NE(Raised([] { morvane::HandleSemaphore("LOGIN"); }).find("Work area [35 ] out of range. [HandleSemafore]"),
            std::string::npos);
  morvane::WorkAreas.Current = 1;
}

TEST_F(SemaphoreTest, ExclusiveTablesUseNoSemaphoreAndTheFolderSettingMovesIt) {
  OpenKeyTable("x.dbf", {{"040", "A", "1"}});
  ASSERT_EQ(morvane::IndexOn("geocode", ""), 1);
  EXPECT_FALSE(morvane::SemaphoreLoggedIn());
  EXPECT_FALSE(morvane::FileExists(file("x.@s@")));
  morvane::CloseArea();

  testsupport::TempDir elsewhere;
  morvane::SemaphoreSettings.SemaphoreFolder = elsewhere.path();
  morvane::Use(file("x.dbf"), nullptr, 0);
  EXPECT_EQ(morvane::IndexSemaphoreFileName(), elsewhere.file("x.@s@"));
  ASSERT_TRUE(morvane::SetIndexTo(""));
  EXPECT_TRUE(morvane::FileExists(elsewhere.file("x.@s@")));
  morvane::CloseArea();
  EXPECT_FALSE(morvane::FileExists(elsewhere.file("x.@s@")));
}

}  // namespace
}  // namespace indextest
