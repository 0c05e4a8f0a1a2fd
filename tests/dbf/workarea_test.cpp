// Work areas: selection limits, Use with its options, aliases and buffers, closing, the engine's
// start state, field functions, the production-index flag and reopening in the other mode.
#include <cstring>
#include <filesystem>
#include <functional>

#include "engine/util/dates.h"
#include "engine/util/texts.h"
#include "tests/dbf/dbf_fixture.h"
#include "tests/support/child_process.h"

namespace dbftest {
namespace {

using namespace morvane;
namespace os = platform::os;

class WorkAreaTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    CreateTable(file("customer.dbf"), {Fd("NAME", 'C', 10), Fd("BORN", 'D', 8), Fd("PAID", 'N', 8, 2),
                                       Fd("VISITS", 'N', 5), Fd("OK", 'L', 1), Fd("PIC", 'G', 10)},
                0x8B);
    AppendRaw(file("customer.dbf"), {" Ann       20100704   12.50   42T         0"});
  }
  std::string customer() const { return file("customer"); }
  // Can another process open the file (shared)?
  static bool OthersCanOpen(const std::string& path) {
    testsupport::Child child([&](testsupport::ChildChannel&) {
      os::Handle h = os::FileOpen(path, os::fmOpenReadWrite | os::fmShareDenyNone);
      return h == os::kInvalidHandle ? 1 : 0;
    });
    return child.Wait() == 0;
  }
};

TEST_F(WorkAreaTest, SelectLimits) {
  Select(5);
  ExpectNoError();
  EXPECT_EQ(CurrentArea(), 5);
  FieldCount();
  ExpectError(215, "No database in use [FieldCount()]  WorkArea = 5");
  for (int bad : {34, 35, -1, 99}) {
    Errors.DbfError = 0;
    Select(bad);
    ExpectError(220, "Invalid workarea selected = [Select(" + std::to_string(bad) + ")]");
    EXPECT_EQ(CurrentArea(), 5);
  }
  for (int i = 1; i <= 33; ++i) {
    Select(i);
    Use(customer() + " ALIAS A" + std::to_string(i), nullptr, 0);
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  }
  Select(7);
  Select(0);
  ExpectError(220, "No free workarea available [Select(0)]");
  EXPECT_EQ(CurrentArea(), 7);
  CloseArea();
  Select(1);
  Select(0);
  ExpectNoError();
  EXPECT_EQ(CurrentArea(), 7);
  CloseAll();
  EXPECT_EQ(CurrentArea(), 1);
  for (int i = 1; i <= 33; ++i) EXPECT_EQ(GetWorkArea(i), nullptr);
}

TEST_F(WorkAreaTest, UseTakesExclusiveAndAlias) {
  Use(customer() + " alias cust EXCLUSIVE", nullptr, 0);
  ExpectNoError();
  EXPECT_EQ(Alias(), "CUST");
  EXPECT_EQ(AreaFileName(), file("customer.dbf"));
  ASSERT_NE(CurrentWorkArea(), nullptr);
  EXPECT_TRUE(CurrentWorkArea()->Exclusive);
  EXPECT_FALSE(OthersCanOpen(file("customer.dbf")));

  Select(2);
  CreateTable(file("other.dbf"), {Fd("X", 'C', 1)});
  Use(file("other") + " ALIAS CUST", nullptr, 0);
  ExpectError(220, "Alias name \"CUST\" already in use. [USE]");
  EXPECT_EQ(CurrentWorkArea(), nullptr);

  // The same file under another alias, and a keyword inside a longer word.
  Select(1);
  Use(customer() + " ALIAS EXCLUSIVE_1", nullptr, 0);
  ExpectNoError();
  EXPECT_EQ(Alias(), "EXCLUSIVE_1");
  EXPECT_FALSE(CurrentWorkArea()->Exclusive);
  Select(2);
  Use(customer(), nullptr, 0);
  ExpectNoError();
  EXPECT_EQ(Alias(), "CUSTOMER");
  EXPECT_TRUE(OthersCanOpen(file("customer.dbf")));
}

TEST_F(WorkAreaTest, UseBuffersAndFailures) {
  Use(customer(), nullptr, 0);
  const size_t size = CurrentWorkArea()->TypedSize;
  EXPECT_EQ(size, 1u + 11 + 11 + 8 + 4 + 1 + 4);
  CloseArea();

  std::vector<uint8_t> small(size - 1);
  Use(customer(), small.data(), small.size());
  ExpectError(266, "Database record/buffer size mismatch: " + UpperText(customer()) +
                       " [USE()]\n\rRecord Size=" + std::to_string(size) +
                       ", Buffer Size=" + std::to_string(size - 1));
  EXPECT_EQ(CurrentWorkArea(), nullptr);

  Errors.DbfError = 0;
  Use(customer(), nullptr, 12);
  ExpectError(220, "Buffer is NIL or size is zero, attempting to open " + UpperText(customer()) +
                       " [USE]");
  EXPECT_EQ(CurrentWorkArea(), nullptr);

  Errors.DbfError = 0;
  Use(file("missing"), nullptr, 0);
  ExpectError(2, "Failure to open " + file("missing.dbf") + " [USE/OpenDbf]");
  EXPECT_EQ(CurrentWorkArea(), nullptr);

  // A caller's buffer receives the record and is never freed by the area.
  std::vector<uint8_t> mine(size, 0xEE);
  Errors.DbfError = 0;
  Use(customer(), mine.data(), mine.size());
  ExpectNoError();
  EXPECT_EQ(FieldAddress(0), mine.data());
  EXPECT_EQ(mine[1], 10);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&mine[2]), 10), "Ann       ");
  Use("   ", nullptr, 0);  // an empty command closes the area
  EXPECT_EQ(CurrentWorkArea(), nullptr);
}

TEST_F(WorkAreaTest, FieldFunctions) {
  Use(customer(), nullptr, 0);
  EXPECT_EQ(FieldCount(), 6);
  EXPECT_EQ(Field(1), "NAME");
  EXPECT_EQ(FieldNo("name "), 1);
  EXPECT_EQ(FieldNo("visits"), 4);
  EXPECT_EQ(FieldNo("NOPE"), 0);
  ExpectNoError();
  EXPECT_EQ(FieldType(6), 'M');  // stored as G
  EXPECT_EQ(FieldLen(3), 8);
  EXPECT_EQ(FieldDec(3), 2);
  EXPECT_EQ(FieldLen(2), 8);
  SetCenturyOn(true);
  EXPECT_EQ(FieldLen(2), 10);
  EXPECT_EQ(FieldAddress(0), CurrentWorkArea()->Typed);
  EXPECT_EQ(FieldAddress(2), CurrentWorkArea()->Typed + 12);

  struct Bad {
    std::function<void()> call;
    const char* detail;
  };
  const std::vector<Bad> bad = {
      {[] { Field(0); }, "Invalid field number. [Field(0)]"},
      {[] { EXPECT_EQ(FieldType(7), ' '); }, "Invalid field number. [FieldType(7)]"},
      {[] { FieldLen(-1); }, "Invalid field number. [FieldLen(-1)]"},
      {[] { FieldDec(9); }, "Invalid field number. [FieldDec(9)]"},
      {[] { EXPECT_EQ(FieldAddress(7), nullptr); }, "Invalid field number. [FieldAddress(7)]"},
  };
  for (const Bad& b : bad) {
    Errors.DbfError = 0;
    b.call();
    ExpectError(220, b.detail);
  }
}

TEST_F(WorkAreaTest, ClearRecordBlanksBothRecords) {
  Use(customer(), nullptr, 0);
  ClearRecord();
  const uint8_t* t = FieldAddress(0);
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(FieldAddress(1)) + 1, 10), std::string(10, ' '));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(FieldAddress(2)) + 1, FieldAddress(2)[0]),
            "  /  /  ");
  double paid;
  std::memcpy(&paid, FieldAddress(3), sizeof paid);
  EXPECT_EQ(paid, 0.0);
  EXPECT_EQ(*FieldAddress(5), 0);
  EXPECT_EQ(std::string(CurrentWorkArea()->Table.Record(), 43), std::string(43, ' '));
}

TEST_F(WorkAreaTest, CommandsOnAnEmptyAreaReport215) {
  struct Case {
    const char* name;
    std::function<bool()> call;  // true when the neutral result came back
  };
  const std::vector<Case> cases = {
      {"FieldType()", [] { return FieldType(1) == ' '; }},
      {"FieldLen()", [] { return FieldLen(1) == 0; }},
      {"FieldDec()", [] { return FieldDec(1) == 0; }},
      {"FieldAddress()", [] { return FieldAddress(1) == nullptr; }},
      {"Field()", [] { return Field(1).empty(); }},
      {"FieldNo()", [] { return FieldNo("A") == 0; }},
      {"FieldCount()", [] { return FieldCount() == 0; }},
      {"ClearRecord", [] { ClearRecord(); return true; }},
      {"dEOF", [] { return dEOF(); }},
      {"dBOF", [] { return dBOF(); }},
      {"GoTop", [] { GoTop(); return true; }},
      {"GoBottom", [] { GoBottom(); return true; }},
      {"SKIP()", [] { Skip(1); return true; }},
      {"GO()", [] { Go(1); return true; }},
      {"RecCount", [] { return RecCount() == 0; }},
      {"RecNo", [] { return RecNo() == 0; }},
      {"RecSize", [] { return RecSize() == 0; }},
      {"SetIgnoreDel", [] { return !SetIgnoreDel(true); }},
  };
  Select(9);
  for (const Case& c : cases) {
    Errors.DbfError = 0;
    EXPECT_TRUE(c.call()) << c.name;
    ExpectError(215, std::string("No database in use [") + c.name + "]  WorkArea = 9");
  }
  EXPECT_EQ(AreaFileName(), "");
  EXPECT_EQ(Alias(), "");
  EXPECT_FALSE(HasProductionIndex());
}

TEST_F(WorkAreaTest, CloseWritesThePendingHeaderAndStartupResetsEverything) {
  Use(customer(), nullptr, 0);
  PutDbfRecord(CurrentWorkArea()->Table, 2);
  SetProductionIndexFlag(true);
  Select(3);
  Use(customer() + " ALIAS SECOND", nullptr, 0);
  DbfSettings.DefaultVersion = 0x03;
  WorkAreas.TableLanguage = tlAnsi;
  EngineStartup();  // closes both areas, back to the start state
  SetErrorCheck(false);
  EXPECT_EQ(CurrentArea(), 1);
  for (int i = 1; i <= 35; ++i) EXPECT_EQ(GetWorkArea(i), nullptr);
  EXPECT_EQ(DbfSettings.DefaultVersion, 0x8B);
  EXPECT_EQ(WorkAreas.TableLanguage, tlOem);
  Bytes disk = testsupport::ReadFileBytes(file("customer.dbf"));
  EXPECT_EQ(disk[4], 2);
  EXPECT_EQ(disk[28], 1);
  Use(customer(), nullptr, 0);
  EXPECT_TRUE(HasProductionIndex());
  SetProductionIndexFlag(false);
  EXPECT_EQ(CurrentWorkArea()->Table.State, dsModified);
  CloseArea();
  EXPECT_EQ(testsupport::ReadFileBytes(file("customer.dbf"))[28], 0);
}

TEST_F(WorkAreaTest, ReopenExclusiveSwitchesTheSharingMode) {
  Use(customer(), nullptr, 0);
  EXPECT_EQ(ReopenExclusive(true), 0u);
  EXPECT_TRUE(CurrentWorkArea()->Exclusive);
  EXPECT_FALSE(OthersCanOpen(file("customer.dbf")));
  EXPECT_EQ(ReopenExclusive(false), 0u);
  EXPECT_FALSE(CurrentWorkArea()->Exclusive);
  EXPECT_TRUE(OthersCanOpen(file("customer.dbf")));
  GoTop();
  ExpectNoError();
  CloseArea();

  Use(customer() + " EXCLUSIVE", nullptr, 0);
  EXPECT_EQ(ReopenExclusive(false), 5u);
  EXPECT_TRUE(CurrentWorkArea()->Exclusive);

  // A reopen that fails (the file is held shared by another area) keeps the table usable.
  CloseArea();
  Use(customer(), nullptr, 0);
  Select(2);
  Use(customer() + " ALIAS TWO", nullptr, 0);
  EXPECT_EQ(ReopenExclusive(true), static_cast<uint32_t>(os::kErrSharingViolation));
  EXPECT_FALSE(CurrentWorkArea()->Exclusive);
  GoTop();
  ExpectNoError();
  EXPECT_EQ(RecNo(), 1);
}

TEST_F(WorkAreaTest, TableLanguageAndRecordHooks) {
  // "é" stored as OEM 0x82 by an OEM table.
  AppendRaw(file("customer.dbf"), {" Ren\x82      20100704   12.50   42T         0"});
  Use(customer(), nullptr, 0);
  Go(2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(FieldAddress(1)) + 1, 4), "Ren\xE9");
  WorkAreas.TableLanguage = tlAnsi;
  Use(customer(), nullptr, 0);
  Go(2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(FieldAddress(1)) + 1, 4), "Ren\x82");
  UseWithHooks(customer(), nullptr, 0, +[](char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) if (p[i] == 'A') p[i] = 'a';
  }, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(FieldAddress(1)) + 1, 3), "ann");
  EXPECT_EQ(WorkAreas.PendingReadHook, nullptr);
}

TEST_F(WorkAreaTest, MemoHooksAreUsedWhenInstalled) {
  static std::vector<std::string> calls;
  calls.clear();
  MemoHooks.CreateMemofile = +[](const std::string& name, uint8_t type, uint16_t size,
                                 const std::string& tag) {
    calls.push_back("create " + name + " " + std::to_string(type) + " " + std::to_string(size) +
                    " " + tag);
  };
  MemoHooks.OpenMemofile = +[](const std::string& name) {
    calls.push_back("open " + name);
    ReportError(2, "Memo file not found");
  };
  CreateTable(file("memo.dbf"), {Fd("NOTE", 'M', 10)}, 0x83);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], "create " + file("memo.dbt") + " 131 512 CreateDbf()");  // the DefaultVersion of the call
  Use(file("memo"), nullptr, 0);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1], "open " + file("memo.dbf"));
  ExpectError(2, "Problem opening memo file [USE(" + UpperText(file("memo")) + ",<@Buffer>,0)]");
  EXPECT_EQ(CurrentWorkArea(), nullptr);
}

}  // namespace
}  // namespace dbftest
