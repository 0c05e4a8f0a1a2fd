// Record updates in one work area: what each command refuses (and that a refusal leaves the
// file's bytes alone), what it writes, the values as stored afterwards, Zap's file, the index
// hooks in the order the commands call them, the memo file made again on Zap, and
// LeaveHiddenRecord.
#include <cstring>

#include "engine/dbf/memo.h"
#include "tests/locks/locks_fixture.h"
#include "tests/locks/other_party.h"

namespace lockstest {
namespace {

using namespace morvane;

using UpdatesTest = TableTest;

// The bytes of record N in a file image.
std::string RecordBytes(const Bytes& file, int32_t n) {
  const size_t at = kHeaderLength + static_cast<size_t>(n - 1) * kRecordLength;
  return std::string(file.begin() + static_cast<std::ptrdiff_t>(at),
                     file.begin() + static_cast<std::ptrdiff_t>(at + kRecordLength));
}

TEST_F(UpdatesTest, RefusalsLeaveTheFileAlone) {
  struct Case {
    const char* what;
    bool exclusive;
    int32_t locked;  // a record locked first (0 = none)
    int32_t go;      // the record the command runs on
    bool (*lock)();  // taken there, null for none
    void (*command)();
    uint16_t code;
    std::string detail;
  };
  const std::string t = table();
  const Case cases[] = {
      {"Replace without a lock", false, 0, 5, nullptr, &Replace, 1200,
       "Record #5 in " + t + " [REPLACE]"},
      {"Replace under another record's lock", false, 4, 5, nullptr, &Replace, 1200,
       "Record #5 in "},
      {"Replace under the append lock", false, 0, 5, &ALock, &Replace, 1200, "Record #5 in "},
      {"Replace at EOF", true, 0, 11, nullptr, &Replace, 212,
       "Database \"" + t + "\" is at EOF. [REPLACE]"},
      {"Append without a lock", false, 0, 1, nullptr, &Append, 5,
       "File must be locked to append: " + t + " [APPEND]"},
      {"Append under record locks", false, 0, 1, &RLock, &Append, 5,
       "File must be locked to append"},
      {"DeleteRec without a lock", false, 0, 2, nullptr, &DeleteRec, 1200,
       t + " Record not locked [DeleteRec]"},
      {"DeleteRec under another record's lock", false, 4, 2, nullptr, &DeleteRec, 1200,
       "Record not locked [DeleteRec]"},
      {"DeleteRec under the append lock", false, 0, 2, &ALock, &DeleteRec, 1200,
       "Record not locked [DeleteRec]"},
      {"RecallRec without a lock", false, 0, 2, nullptr, &RecallRec, 1200,
       t + " Record not locked [RecallRec]"},
      {"RecallRec at EOF", true, 0, 11, nullptr, &RecallRec, 1103, t + " at EOF [RecallRec]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Open(c.exclusive);
    if (c.locked != 0) {
      Go(c.locked);
      ASSERT_TRUE(RLock());
    }
    Go(c.go);
    if (c.lock != nullptr) {
      ASSERT_TRUE(c.lock());
    }
    Set("NAME", "Changed");
    const Bytes before = FileBytes();
    Errors.DbfError = 0;
    c.command();
    ExpectError(c.code, c.detail);
    CloseArea();  // a refused command leaves nothing to write at close either
    EXPECT_EQ(FileBytes(), before);
  }
}

// Writes that fail (here: the table is open read-only) report the platform's code and leave the
// file, and the deletion flag in memory, as they were.
TEST_F(UpdatesTest, FailedWritesLeaveTheRecordAsOnDisk) {
  namespace os = platform::os;
  const Bytes before = FileBytes();
  WorkAreas.FileModeOverride = os::fmOpenRead | os::fmShareDenyNone;
  Open();
  WorkAreas.FileModeOverride = -1;
  Go(4);
  ASSERT_TRUE(RLock());
  DeleteRec();
  EXPECT_EQ(Errors.DbfError, os::kErrAccessDenied) << Errors.ErrorDetail;
  EXPECT_EQ(Area().Typed[0], 0);
  EXPECT_EQ(Area().Table.Record()[0], ' ');
  Set("NAME", "Unwritten");
  Replace();
  EXPECT_EQ(Errors.DbfError, os::kErrAccessDenied) << Errors.ErrorDetail;
  Unlock();
  ASSERT_TRUE(ALock());
  Append();
  EXPECT_EQ(Errors.DbfError, os::kErrAccessDenied) << Errors.ErrorDetail;
  EXPECT_EQ(RecCount(), kRecords);
  CloseArea();
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(UpdatesTest, ReplaceOnAnEmptyTable) {
  dbftest::CreateTable(file("empty.dbf"), {dbftest::Fd("NAME", 'C', 10)});
  Use(file("empty.dbf") + " EXCLUSIVE", nullptr, 0);
  Replace();
  ExpectError(212, "Database \"" + file("empty.dbf") + "\" is empty. [REPLACE]");
  DeleteRec();  // outside the records DeleteRec does nothing
  ExpectNoError();
}

// After Replace the typed record shows the values as stored: texts cut to the width, numbers
// rounded to the decimals, a number too wide for its field as "*" fill (which reads back as 0).
TEST_F(UpdatesTest, ReplaceShowsTheStoredValues) {
  Open();
  Go(2);
  ASSERT_TRUE(RLock());
  Set("NAME", "A name longer than ten");
  Set("QTY", "123456");
  Set("PRICE", "12345.678");
  Set("WHEN", "19991231");
  Set("OK", "n");
  Replace();
  ExpectNoError();
  EXPECT_EQ(Raw("NAME"), "A name lon");
  EXPECT_EQ(Raw("QTY"), "*****");
  EXPECT_EQ(Raw("PRICE"), "12345.68");
  EXPECT_EQ(Raw("WHEN"), "19991231");
  EXPECT_EQ(Raw("OK"), "F");
  const uint8_t* name = FieldAddress(1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(name + 1), name[0]), "A name lon");
  int32_t qty = -1;
  std::memcpy(&qty, FieldAddress(2), sizeof qty);
  EXPECT_EQ(qty, 0);
  double price = 0;
  std::memcpy(&price, FieldAddress(3), sizeof price);
  EXPECT_DOUBLE_EQ(price, 12345.68);
  CloseArea();
  const Bytes after = FileBytes();
  EXPECT_EQ(RecordBytes(after, 2), " A name lon*****12345.6819991231F");
  for (int r : {1, 3}) EXPECT_EQ(RecordBytes(after, r), FixtureRecord(r));
}

TEST_F(UpdatesTest, AppendAddsOneRecordAtTheEndEachTime) {
  Open();
  ASSERT_TRUE(ALock());
  for (int32_t expected : {11, 12}) {
    ClearRecord();
    Set("NAME", "New" + std::to_string(expected));
    Set("QTY", std::to_string(expected));
    Append();
    ExpectNoError();
    EXPECT_EQ(RecNo(), expected);
    EXPECT_EQ(RecCount(), expected);
    EXPECT_FALSE(dEOF());
    EXPECT_FALSE(dBOF());
    EXPECT_EQ(Raw("NAME"), "New" + std::to_string(expected) + "     ");
  }
  Unlock();
  CloseArea();
  const Bytes after = FileBytes();
  ASSERT_EQ(after.size(), kHeaderLength + 12u * kRecordLength + 1);
  EXPECT_EQ(after[4], 12);  // the header's count, written at close
  EXPECT_EQ(after.back(), 0x1A);
  EXPECT_EQ(RecordBytes(after, 12), " New12        12    0.00        F");
}

// DeleteRec and RecallRec write the deletion byte and nothing else.
TEST_F(UpdatesTest, DeleteAndRecallWriteOnlyTheFlag) {
  Open();
  Go(3);
  ASSERT_TRUE(RLock());
  Set("NAME", "Not written");  // only the flag goes to disk
  const Bytes before = FileBytes();
  DeleteRec();
  ExpectNoError();
  EXPECT_EQ(Area().Typed[0], 1);
  Bytes expected = before;
  expected[kHeaderLength + 2 * kRecordLength] = '*';
  EXPECT_EQ(FileBytes(), expected);
  RecallRec();
  ExpectNoError();
  EXPECT_EQ(Area().Typed[0], 0);
  EXPECT_EQ(FileBytes(), before);
  Unlock();

  // At the end of the table: DeleteRec does nothing, RecallRec reports.
  Go(kRecords);
  ASSERT_TRUE(RLock());
  Skip(1);
  ASSERT_TRUE(dEOF());
  ASSERT_TRUE(RLock());  // the phantom position is record 11
  DeleteRec();
  ExpectNoError();
  RecallRec();
  ExpectError(1103, table() + " at EOF [RecallRec]");
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(UpdatesTest, ZapEmptiesTheFile) {
  for (bool exclusive : {true, false}) {
    SCOPED_TRACE(exclusive ? "exclusive" : "shared");
    TableTest::SetUp();  // ten records again
    Open(exclusive);
    Go(3);
    ASSERT_TRUE(RLock());
    EXPECT_TRUE(Zap());
    ExpectNoError();
    EXPECT_EQ(Area().Exclusive, exclusive);  // a shared table is shared again
    EXPECT_EQ(RecCount(), 0);
    EXPECT_TRUE(dEOF());
    EXPECT_TRUE(dBOF());
    EXPECT_EQ(RecNo(), 0);
    const Bytes after = FileBytes();
    ASSERT_EQ(after.size(), kHeaderLength + 1u);
    EXPECT_EQ(after.back(), 0x1A);
    EXPECT_EQ(after[4] | after[5] | after[6] | after[7], 0);
    // The shared table's locks went with the reopen: an append needs the lock again.
    ClearRecord();
    Append();
    if (exclusive) {
      ExpectNoError();
    } else {
      ExpectError(5, "File must be locked to append");
      ASSERT_TRUE(ALock());
      Append();
      ExpectNoError();
    }
    EXPECT_EQ(RecCount(), 1);
    CloseArea();
    EXPECT_EQ(FileBytes().size(), kHeaderLength + kRecordLength + 1u);
  }
}

// The index hooks are called where the commands need them, in this order, and the write hold is
// taken around them; IndexSaveOldKeys sees the record as it is on disk.
struct HookLog {
  std::vector<std::string> calls;
  bool active = false;
};
HookLog gLog;

void Note(const std::string& what) { gLog.calls.push_back(what); }
std::string TypedName() {
  const uint8_t* slot = FieldAddress(1);
  return std::string(reinterpret_cast<const char*>(slot + 1), slot[0]);
}

class IndexHooksTest : public UpdatesTest {
 protected:
  void SetUp() override {
    UpdatesTest::SetUp();
    gLog = HookLog{};
    IndexHooks.IndexActive = [] { return gLog.active; };
    IndexHooks.SetLockSemaphoreProc = [](bool on) { Note(on ? "write hold" : "write release"); };
    IndexHooks.IndexSaveOldKeys = [] { Note("save old keys of " + TypedName()); };
    IndexHooks.IndexReplaceKeys = [] { Note("replace keys with " + TypedName()); };
    IndexHooks.AppendNewKey = [] { Note("new key " + TypedName()); };
    IndexHooks.IndexZap = [] { Note("zap"); };
    Open();
  }
  // The hook calls the command makes with an active order.
  std::vector<std::string> Run(void (*command)()) {
    gLog.calls.clear();
    gLog.active = true;
    command();
    gLog.active = false;
    return gLog.calls;
  }
};

TEST_F(IndexHooksTest, CommandsCallTheirHooks) {
  Go(2);
  ASSERT_TRUE(RLock());
  Set("NAME", "Renamed");
  using V = std::vector<std::string>;
  EXPECT_EQ(Run(&Replace), (V{"write hold", "save old keys of Name02    ",
                              "replace keys with Renamed   ", "write release"}));
  ExpectNoError();
  EXPECT_EQ(TypedName(), "Renamed   ");

  WorkAreas.IndexMaintenance = false;
  Set("NAME", "Quietly");
  EXPECT_EQ(Run(&Replace), V{});
  WorkAreas.IndexMaintenance = true;

  EXPECT_EQ(Run(&DeleteRec), V{});  // deleted records keep their keys
  EXPECT_EQ(Run(&RecallRec), V{});
  Unlock();

  ASSERT_TRUE(ALock());
  ClearRecord();
  Set("NAME", "Appended");
  EXPECT_EQ(Run(&Append), (V{"write hold", "new key Appended  ", "write release"}));
  Unlock();

  // A refused write calls no hook.
  Go(3);
  EXPECT_EQ(Run(&Replace), V{});
  EXPECT_EQ(Errors.DbfError, 1200);

  EXPECT_EQ(Run([] { Zap(); }), V{"zap"});
}

// With the memo layer: Zap leaves an empty memo file, open and usable, in place of the full one;
// after the zap of a shared table both files are shared again, so that others can open them.
TEST_F(UpdatesTest, ZapEmptiesTheMemoFile) {
  InstallMemoHooks();
  dbftest::CreateTable(file("notes.dbf"),
                       {dbftest::Fd("NAME", 'C', 10), dbftest::Fd("TEXT", 'M', 10)}, 0x8B);
  const std::string memo = file("notes.dbt");
  const Bytes fresh = testsupport::ReadFileBytes(memo);
  ASSERT_FALSE(fresh.empty());
  Use(file("notes.dbf"), nullptr, 0);
  ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  auto appendMemo = [](const std::string& text) {
    ASSERT_TRUE(ALock());
    ClearRecord();
    const int32_t block = WriteMemoText(text, false);
    ASSERT_GT(block, 0) << Errors.ErrorDetail;
    std::memcpy(FieldAddress(2), &block, sizeof block);
    Append();
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    Unlock();
  };
  appendMemo(std::string(2000, 'm'));
  ASSERT_GT(testsupport::ReadFileBytes(memo).size(), fresh.size());

  EXPECT_TRUE(Zap());
  ExpectNoError();
  EXPECT_EQ(testsupport::ReadFileBytes(memo), fresh);
  for (OtherKind kind : {OtherKind::kWorkArea, OtherKind::kProcess}) {
    SCOPED_TRACE(KindName(kind));
    auto other = MakeOther(kind);
    EXPECT_EQ(other->Ask("use " + file("notes.dbf")), "ok");
    EXPECT_EQ(other->Ask("close"), "ok");
  }
  appendMemo("written after the zap");
  int32_t block = 0;
  std::memcpy(&block, FieldAddress(2), sizeof block);
  std::string text;
  EXPECT_TRUE(ReadMemoText(block, text));
  EXPECT_EQ(text, "written after the zap");
  CloseArea();
}

TEST_F(UpdatesTest, LeaveHiddenRecord) {
  Open();
  SetIgnoreDel(true);
  Go(3);
  EXPECT_FALSE(LeaveHiddenRecord());  // visible: nothing happens
  EXPECT_EQ(RecNo(), 3);

  ASSERT_TRUE(RLock());
  DeleteRec();
  EXPECT_TRUE(LeaveHiddenRecord());
  EXPECT_EQ(RecNo(), 4);
  EXPECT_EQ(Area().LockState, lsNone);  // the locks were released
  EXPECT_FALSE(RangeIsLocked(table(), RecordOffset(3), kRecordLength));

  // Hidden at the end of the table: back to the record before it.
  Go(kRecords);
  ASSERT_TRUE(RLock());
  DeleteRec();
  EXPECT_TRUE(LeaveHiddenRecord());
  EXPECT_EQ(RecNo(), kRecords - 1);
  EXPECT_FALSE(dEOF());
}

}  // namespace
}  // namespace lockstest
