// Memo writes under injected failures, in the three memo layouts (dBASE III, dBASE IV, FoxPro):
// a new memo for a new record, a memo replaced by a longer or a shorter one (through the blob
// stream), and a memo of known size written from a text. Each read or write the operation makes
// fails in turn, comes back short, or finds the disk full, with errors recorded and raised. The
// failing call must report the engine error; on reopen every memo written before is intact and
// readable, the record being changed points to its old memo or to the new one (complete), and
// the memo file takes new memos again. On a shared table the memo lock is free after a failure;
// with record hooks (dBASE IV) the memo bytes go through the hooks' 512-byte units as well.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/dbf/locks.h"
#include "engine/dbf/memo.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "platform/os/files.h"
#include "tests/faults/faults_fixture.h"

namespace faulttest {
namespace {

using namespace morvane;
namespace os = platform::os;
using fault::Calls;
using fault::Kind;

struct Layout {
  const char* name;
  uint8_t version;  // table version byte = memo type
  uint16_t blockSize;
};
constexpr Layout kDbase3{"dBASE III", 0x83, 512};
constexpr Layout kDbase4{"dBASE IV", 0x8B, 512};
constexpr Layout kFoxPro{"FoxPro", 0xF5, 64};

// The memo text of record R as the table is built: lengths from a few bytes to several blocks.
std::string MemoOf(int32_t R) {
  const size_t lengths[] = {0, 5, 700, 90};
  std::string text = "memo " + std::to_string(R) + ":";
  while (text.size() < lengths[R]) text += static_cast<char>('a' + text.size() % 26);
  return text;
}

// The change made under the fault.
enum class Change { kNewRecord, kLonger, kShorter, kKnownSize };
struct ChangeCase {
  const char* name;
  Change change;
  std::string text;  // the new memo
};

const std::vector<ChangeCase>& Changes() {
  static const std::vector<ChangeCase> cases = {
      {"a new memo for a new record", Change::kNewRecord, "the fourth memo"},
      {"a longer memo for record 2", Change::kLonger, std::string(1300, 'L') + " end"},
      {"a shorter memo for record 2", Change::kShorter, "s"},
      {"a memo of known size for record 2", Change::kKnownSize, std::string(600, 'K')},
  };
  return cases;
}

class MemoFaultTest : public FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    table_ = file("t.dbf");
  }

  // The raw record of record R: NAME, then NOTE holding Block right-aligned (blanks for 0).
  static std::string Image(int32_t R, int32_t Block) {
    char text[32];
    if (Block == 0) {
      std::snprintf(text, sizeof text, " N%-9d%10s", static_cast<int>(R), "");
    } else {
      std::snprintf(text, sizeof text, " N%-9d%10d", static_cast<int>(R), static_cast<int>(Block));
    }
    return text;
  }
  static void SetRecord(const std::string& Image) {
    WorkArea* a = CurrentWorkArea();
    a->Table.RecordBuffer.assign(Image.begin(), Image.end());
    RecordToTyped(a->Table, a->Typed);
  }
  // The block in the current record's NOTE field.
  static int32_t NoteBlock() {
    const WorkArea* a = CurrentWorkArea();
    return std::atoi(std::string(a->Table.Record() + 11, 10).c_str());
  }

  void OpenArea(bool Shared, bool Recount = false) {
    Select(1);
    DbfSettings.RecountOnOpen = Recount;
    if (hooks_) {
      UseWithHooks(table_ + (Shared ? "" : " EXCLUSIVE"), nullptr, 0, &Scramble, &Scramble);
    } else {
      Use(table_ + (Shared ? "" : " EXCLUSIVE"), nullptr, 0);
    }
    DbfSettings.RecountOnOpen = false;
    ASSERT_NE(CurrentWorkArea(), nullptr) << Errors.ErrorDetail;
    ASSERT_NE(CurrentWorkArea()->Memo, nullptr) << "no memo file";
  }

  // t.dbf (NAME C10, NOTE M10) of Layout with records 1..3, each with its memo, kept as bytes
  // so that every case starts from the same files without writing them again.
  void BuildOnce(const Layout& L) {
    const bool check = SetErrorCheck(false);
    DbfSettings.DefaultMemoBlockSize = L.blockSize;
    DbfSettings.DefaultVersion = L.version;
    DbfControlBlock scratch;
    const std::vector<FieldDescriptor> fields = {{"NAME", 'C', 10, 0, 0, 0},
                                                 {"NOTE", 'M', 10, 0, 0, 0}};
    CreateDbf(scratch, table_, fields);
    DbfSettings.DefaultVersion = 0x8B;
    DbfSettings.DefaultMemoBlockSize = 512;
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    OpenArea(false);
    memo_ = CurrentWorkArea()->Memo->FileName;
    for (int32_t r = 1; r <= 3; ++r) {
      const int32_t block = WriteMemoText(MemoOf(r), false);
      ASSERT_NE(block, 0) << Errors.ErrorDetail;
      SetRecord(Image(r, block));
      Append();
      ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    }
    CloseAll();
    SetErrorCheck(check);
    tableBytes_ = testsupport::ReadFileBytes(table_);
    memoBytes_ = testsupport::ReadFileBytes(memo_);
    const std::string stored(memoBytes_.begin(), memoBytes_.end());
    ASSERT_EQ(stored.find(MemoOf(2)) == std::string::npos, hooks_) << "the hooks are not in use";
  }
  void Restore() {
    testsupport::WriteFileBytes(table_, tableBytes_);
    testsupport::WriteFileBytes(memo_, memoBytes_);
  }

  // The change of C through the current area; ends at the first reported failure.
  static void Make(const ChangeCase& C) {
    int32_t block = 0;
    if (C.change == Change::kKnownSize) {
      block = WriteMemoText(C.text, false);
      if (Errors.DbfError != 0 || block == 0) return;
    } else {
      block = CreateBlobDescriptor(false, 0, 2);
      if (block == 0) return;
      // In pieces, as a blob field passes them on.
      for (size_t at = 0; at < C.text.size(); at += 400) {
        const std::string piece = C.text.substr(at, 400);
        if (WriteBlobStream(piece.data(), static_cast<int32_t>(piece.size())) !=
            static_cast<int32_t>(piece.size()))
          return;
      }
      DestroyBlobDescriptor();
      if (Errors.DbfError != 0) return;
    }
    if (C.change == Change::kNewRecord) {
      SetRecord(Image(4, block));
      Append();
    } else {
      Go(2);
      if (Errors.DbfError != 0) return;
      SetRecord(Image(2, block));
      Replace();
    }
  }

  // The memo text of every record of the reopened table, checked against what may be there.
  void ExpectMemosIntact(const ChangeCase& C, const FaultRun& Run) {
    fault::Disarm();
    const bool raise = SetRaiseErrors(false);
    const bool check = SetErrorCheck(false);
    OpenArea(false, true);
    const int32_t count = RecCount();
    const bool added = C.change == Change::kNewRecord;
    EXPECT_GE(count, 3);
    EXPECT_LE(count, added ? 4 : 3);
    if (Run.Code == 0) {
      EXPECT_EQ(count, added ? 4 : 3) << "a change reported as done is missing";
    }
    for (int32_t r = 1; r <= count; ++r) {
      SCOPED_TRACE("record " + std::to_string(r));
      Go(r);
      std::string text;
      Errors.DbfError = 0;
      const bool read = ReadMemoText(NoteBlock(), text);
      EXPECT_TRUE(read) << Errors.DbfError << " " << Errors.ErrorDetail;
      const bool changed = (added && r == 4) || (!added && r == 2);
      if (!changed) {
        EXPECT_EQ(text, MemoOf(r));
      } else if (Run.Code == 0) {
        EXPECT_EQ(text, C.text);
      } else {
        EXPECT_TRUE(text == MemoOf(r) || text == C.text) << "record " << r << " points to \""
                                                         << text.substr(0, 40) << "\"";
      }
    }
    // The memo file takes the next memo, which reads back whole, and the older ones stay.
    Errors.DbfError = 0;
    const int32_t block = WriteMemoText("after the failure", false);
    EXPECT_NE(block, 0) << Errors.ErrorDetail;
    std::string text;
    EXPECT_TRUE(ReadMemoText(block, text));
    EXPECT_EQ(text, "after the failure");
    Go(1);
    EXPECT_TRUE(ReadMemoText(NoteBlock(), text));
    EXPECT_EQ(text, MemoOf(1));
    CloseAll();
    SetErrorCheck(check);
    SetRaiseErrors(raise);
    Errors.DbfError = 0;
  }

  void Sweep(const Layout& L) {
    struct Variant {
      const char* name;
      bool shared;
      bool hooks;  // the table's record hooks also pass the memo bytes, in 512-byte units
    };
    for (const Variant& v : {Variant{"exclusive", false, false}, Variant{"shared", true, false},
                             Variant{"exclusive, with record hooks", false, true}}) {
      // The hooks pass every layout's bytes through the same units: one layout shows them.
      if (v.hooks && L.version != kDbase4.version) continue;
      const bool shared = v.shared;
      hooks_ = v.hooks;
      BuildOnce(L);
      if (HasFatalFailure()) return;
      for (const ChangeCase& c : Changes()) {
        SCOPED_TRACE(std::string(L.name) + ", " + c.name + ", " + v.name);
        for (Calls on : {Calls::kWrites, Calls::kReads}) {
          bool lockFree = true;
          std::string detail;  // what the failing call reported
          ForEachFault(
              on, {Kind::kFail, Kind::kShort, Kind::kDiskFull},
              [&] {
                CloseAll();
                Restore();
                OpenArea(shared);
                if (shared && c.change == Change::kNewRecord) {
                  ASSERT_TRUE(ALock());
                } else if (shared) {
                  Go(2);
                  ASSERT_TRUE(RLock());
                }
              },
              [&] {
                detail.clear();
                try {
                  Make(c);
                } catch (const EMorvaneError& e) {
                  detail = e.what();  // the error's text, then its detail
                  throw;
                }
                detail = Errors.ErrorDetail;
              },
              [&] {
                // Another area of the shared table can take the memo lock at once: a failure
                // never leaves it held.
                lockFree = true;
                if (shared) {
                  fault::Disarm();
                  Select(2);
                  Use(table_ + " ALIAS SECOND", nullptr, 0);
                  lockFree = CurrentWorkArea() != nullptr && LockMemo();
                  if (lockFree) UnlockMemo();
                  CloseArea();
                  Select(1);
                }
                CloseAll();
              },
              [&](const FaultRun& run) {
                EXPECT_TRUE(lockFree) << "the memo lock was left held";
                if (run.On == Calls::kWrites && run.Fired) {
                  EXPECT_NE(run.Code, 0) << "a failed write was not reported";
                }
                if (run.Code != 0) {
                  // The platform's code, the memo's write fault, or a record read short (213).
                  EXPECT_TRUE(run.Code == os::kErrWriteFault || run.Code == os::kErrDiskWrite ||
                              run.Code == os::kErrReadFault || run.Code == 1005 ||
                              run.Code == 213)
                      << run.Code << ": " << detail;
                  // The text names the operation: "... [WriteBlobStream]", "... [REPLACE]".
                  EXPECT_TRUE(!detail.empty() && detail.back() == ']') << detail;
                }
                ExpectMemosIntact(c, run);
              });
          if (HasFatalFailure()) return;
        }
      }
    }
  }

  // The record hooks of the hooked variant: every byte on disk is the stored one XOR 0x5A.
  static void Scramble(char* Buffer, size_t Count) {
    for (size_t i = 0; i < Count; ++i) Buffer[i] = static_cast<char>(Buffer[i] ^ 0x5A);
  }

  bool hooks_ = false;
  std::string table_;
  std::string memo_;
  testsupport::Bytes tableBytes_;
  testsupport::Bytes memoBytes_;
};

TEST_F(MemoFaultTest, Dbase3MemoWritesThatFailKeepEveryMemo) { Sweep(kDbase3); }
TEST_F(MemoFaultTest, Dbase4MemoWritesThatFailKeepEveryMemo) { Sweep(kDbase4); }
TEST_F(MemoFaultTest, FoxProMemoWritesThatFailKeepEveryMemo) { Sweep(kFoxPro); }

}  // namespace
}  // namespace faulttest
