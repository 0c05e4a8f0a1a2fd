// Positioning: GoTop, GoBottom, Skip, Go and RawGo on empty, one-record and three-record tables,
// with deleted records hidden or shown; a shared table's count after another process appended;
// and the index hooks driving the order.
#include <cstring>
#include <sstream>

#include "tests/dbf/dbf_fixture.h"
#include "tests/support/child_process.h"

namespace dbftest {
namespace {

using namespace morvane;

class NavigationTest : public EngineTest {
 protected:
  // A table ID N 3 whose records are given as "L" (live) / "D" (deleted), ids 1, 2, 3 ...
  void OpenTable(const std::string& pattern, const std::string& options = "") {
    CreateTable(file("nav.dbf"), {Fd("ID", 'N', 3)});
    std::vector<std::string> records;
    for (size_t i = 0; i < pattern.size(); ++i) {
      std::string id = std::to_string(i + 1);
      records.push_back((pattern[i] == 'D' ? "*" : " ") + std::string(3 - id.size(), ' ') + id);
    }
    if (!records.empty()) AppendRaw(file("nav.dbf"), records);
    Use(file("nav") + options, nullptr, 0);
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  }
  // The ID in the typed record (0 on the blank phantom record).
  static int32_t Id() {
    int32_t v;
    std::memcpy(&v, FieldAddress(1), sizeof v);
    return v;
  }
  // Runs "top", "bottom", "skip N", "go N", "rawgo N" separated by ";" (each clears DbfError).
  static void Run(const std::string& script) {
    std::stringstream ops(script);
    std::string op;
    while (std::getline(ops, op, ';')) {
      std::stringstream words(op);
      std::string verb;
      int32_t n = 0;
      words >> verb >> n;
      if (verb == "top") GoTop();
      else if (verb == "bottom") GoBottom();
      else if (verb == "skip") Skip(n);
      else if (verb == "go") Go(n);
      else if (verb == "rawgo") RawGo(n);
      else ADD_FAILURE() << "unknown step " << verb;
    }
  }
};

struct NavCase {
  std::string pattern;
  bool hideDeleted;
  std::string script;
  int32_t recNo;
  bool eof, bof;
  int32_t id;
  uint16_t error = 0;
  std::string detail = "";
};

TEST_F(NavigationTest, Positions) {
  const std::vector<NavCase> cases = {
      // empty table
      {"", false, "top", 0, true, true, 0},
      {"", false, "bottom", 0, true, true, 0},
      {"", false, "skip 1", 0, true, true, 0, 212, "\" is empty. [SKIP]"},
      {"", false, "skip -1", 0, true, true, 0, 212, "\" is empty. [SKIP]"},
      {"", false, "go 1", 0, true, true, 0, 212, "Invalid record number = 1 Database \""},
      {"", false, "skip 0", 0, true, true, 0},
      // one record
      {"L", false, "top", 1, false, false, 1},
      {"L", false, "bottom", 1, false, false, 1},
      {"L", false, "top;skip 1", 2, true, false, 0},
      {"L", false, "top;skip -1", 1, false, true, 1},
      {"L", false, "top;skip 1;skip -1", 1, false, false, 1},
      // three records
      {"LLL", false, "top;skip 2", 3, false, false, 3},
      {"LLL", false, "go 3;skip 1", 4, true, false, 0},
      {"LLL", false, "top;skip 5", 4, true, false, 0},
      {"LLL", false, "go 3;skip -2", 1, false, false, 1},
      {"LLL", false, "go 1;skip -1", 1, false, true, 1},
      {"LLL", false, "go 2;skip -5", 1, false, true, 1},
      {"LLL", false, "go 2", 2, false, false, 2},
      {"LLL", false, "go 4;skip -1", 3, false, false, 3},
      {"LLL", false, "go 2;skip 0", 2, false, false, 2},
      {"LLL", false, "go 0", 4, true, false, 0, 212, "Invalid record number = 0 Database \""},
      {"LLL", false, "go 4", 4, true, false, 0, 212, "Invalid record number = 4 Database \""},
      {"LLL", false, "bottom;skip 1;skip 1", 4, true, false, 0, 212, "\" is past EOF. [SKIP]"},
      {"LLL", false, "rawgo 2", 2, false, false, 2},
      {"LLL", false, "rawgo 5", 4, true, false, 0},
      {"LLL", false, "go 2;rawgo 0", 2, false, false, 2, 212, " [Dbf4RawGo]"},
      // deleted records shown
      {"DLL", false, "top", 1, false, false, 1},
      {"DDD", false, "bottom", 3, false, false, 3},
      // deleted records hidden
      {"DLL", true, "top", 2, false, false, 2},
      {"DDD", true, "top", 4, true, true, 0},
      {"DDD", true, "bottom", 4, true, true, 0},
      {"LDL", true, "top;skip 1", 3, false, false, 3},
      {"LDL", true, "go 3;skip -1", 1, false, false, 1},
      {"LLD", true, "bottom", 2, false, false, 2},
      {"LLD", true, "top;skip 2", 4, true, false, 0},
      {"DLL", true, "go 3;skip -2", 2, false, true, 2},
      {"DLD", true, "go 2;skip 1", 4, true, false, 0},
  };
  for (const NavCase& c : cases) {
    SCOPED_TRACE("\"" + c.pattern + "\" " + (c.hideDeleted ? "hidden: " : "shown: ") + c.script);
    OpenTable(c.pattern);
    SetIgnoreDel(c.hideDeleted);
    Errors.DbfError = 0;
    Run(c.script);
    EXPECT_EQ(Errors.DbfError, c.error) << Errors.ErrorDetail;
    if (c.error != 0) {
      EXPECT_NE(Errors.ErrorDetail.find(c.detail), std::string::npos) << Errors.ErrorDetail;
    }
    EXPECT_EQ(RecNo(), c.recNo);
    EXPECT_EQ(dEOF(), c.eof);
    EXPECT_EQ(dBOF(), c.bof);
    EXPECT_EQ(Id(), c.id);
    CloseArea();
  }
}

TEST_F(NavigationTest, UseStandsOnTheFirstVisibleRecord) {
  OpenTable("LL");
  EXPECT_EQ(RecNo(), 1);
  EXPECT_EQ(Id(), 1);
  EXPECT_FALSE(dEOF());
  EXPECT_EQ(RecCount(), 2);
  EXPECT_EQ(RecSize(), 4);
}

TEST_F(NavigationTest, SkipZeroRereadsAndSetIgnoreDelReturnsThePreviousValue) {
  OpenTable("LLL");
  Go(2);
  Bytes disk = testsupport::ReadFileBytes(file("nav.dbf"));
  std::memcpy(&disk[33 + 32 + 4 + 1], " 42", 3);  // record 2's ID changed by another program
  testsupport::WriteFileBytes(file("nav.dbf"), disk);
  EXPECT_EQ(Id(), 2);
  Skip(0);
  EXPECT_EQ(Id(), 42);
  EXPECT_FALSE(SetIgnoreDel(true));
  EXPECT_TRUE(SetIgnoreDel(false));
  EXPECT_TRUE(RecordVisible());
}

TEST_F(NavigationTest, GoIfValidAndTopWhile) {
  OpenTable("LLL");
  EXPECT_FALSE(GoIfValid(0));
  EXPECT_FALSE(GoIfValid(4));
  ExpectNoError();
  EXPECT_TRUE(GoIfValid(3));
  EXPECT_EQ(RecNo(), 3);
  TopWhile();
  EXPECT_EQ(RecNo(), 1);
  BottomWhile();
  EXPECT_EQ(RecNo(), 3);
  CloseArea();
  OpenTable("");
  TopWhile();
  BottomWhile();
  ExpectNoError();
}

TEST_F(NavigationTest, ASharedTableCountsRecordsAnotherProcessAppended) {
  OpenTable("LLL");
  EXPECT_EQ(RecCount(), 3);
  const std::string path = file("nav.dbf");
  testsupport::Child child([&](testsupport::ChildChannel& channel) {
    std::string line;
    if (!channel.ReadLine(line)) return 1;
    Settings.FileMode = platform::os::fmOpenReadWrite | platform::os::fmShareDenyNone;
    DbfControlBlock b;
    b.FileName = path;
    OpenDbf(b);
    for (const char* r : {"   4", "   5"}) {
      std::memcpy(b.Record(), r, 4);
      PutDbfRecord(b, b.RecordCount + 1);
    }
    channel.WriteLine(Errors.DbfError == 0 ? "appended" : Errors.ErrorDetail);
    channel.ReadLine(line);  // keeps the table open (its header not yet rewritten)
    CloseDbf(b);
    return 0;
  });
  EXPECT_EQ(child.Ask("append"), "appended");
  EXPECT_EQ(RecCount(), 5);
  Go(3);
  Skip(1);
  EXPECT_EQ(Id(), 4);
  GoBottom();
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(NavigationTest, AnExclusiveTableKeepsItsOwnCount) {
  OpenTable("LL", " EXCLUSIVE");
  // Bytes appended behind the engine's back do not count for an exclusive table.
  Bytes disk = testsupport::ReadFileBytes(file("nav.dbf"));
  AppendText(disk, "   3   4");
  testsupport::WriteFileBytes(file("nav.dbf"), disk);
  EXPECT_EQ(RecCount(), 2);
  GoBottom();
  EXPECT_EQ(Id(), 2);
}

// A fake controlling order: the records in reverse, to show the commands follow the hooks.
struct ReverseOrder {
  static inline int holds = 0;
  static inline int afterMoves = 0;
  static int32_t Count() { return CurrentWorkArea()->Table.RecordCount; }
  static int32_t Cur() { return CurrentWorkArea()->Table.CurrentRecord; }
  static void Install() {
    holds = afterMoves = 0;
    IndexHooks.IndexActive = [] { return true; };
    IndexHooks.IndexFirst = [] { return Count(); };
    IndexHooks.IndexLast = [] { return int32_t{1}; };
    IndexHooks.IndexNext = [] { return Cur() > 1 ? Cur() - 1 : Cur(); };
    IndexHooks.IndexPrev = [] { return Cur() < Count() ? Cur() + 1 : Cur(); };
    IndexHooks.IndexEof = [] { return CurrentWorkArea()->Table.AtEof; };
    IndexHooks.IndexBof = [] { return CurrentWorkArea()->Table.AtBof; };
    IndexHooks.IndexAfterMove = [] { ++afterMoves; };
    IndexHooks.SetReadSemaphoreProc = [](bool on) { holds += on ? 1 : -1; };
  }
};

TEST_F(NavigationTest, IndexHooksDriveTheOrder) {
  OpenTable("LLL");
  ReverseOrder::Install();
  GoTop();
  EXPECT_EQ(Id(), 3);
  Skip(1);
  EXPECT_EQ(Id(), 2);
  Skip(1);
  EXPECT_EQ(Id(), 1);
  Skip(1);
  EXPECT_TRUE(CurrentWorkArea()->Table.AtEof);
  GoBottom();
  EXPECT_EQ(Id(), 1);
  Skip(-2);
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(ReverseOrder::holds, 0);  // every hold released
  EXPECT_GT(ReverseOrder::afterMoves, 0);
}

}  // namespace
}  // namespace dbftest
