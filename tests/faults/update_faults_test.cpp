// The update commands and the index builder under injected failures: Append, Replace and Zap of
// a work area (exclusive and shared, with its locks), MakeIndex and Reindex. Each read or write
// they make fails in turn, comes back short, or finds the disk full. The engine must report the
// failure; the table must reopen with every record written before it intact, and an index left
// behind must either open and lead only to existing records or be refused with an engine error,
// and be rebuilt whole.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "engine/dbf/locks.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "platform/os/files.h"
#include "tests/faults/faults_fixture.h"

namespace faulttest {
namespace {

using namespace morvane;
namespace os = platform::os;
using fault::Calls;
using fault::Kind;

constexpr std::initializer_list<Kind> kKinds = {Kind::kFail, Kind::kShort, Kind::kDiskFull};

void ExpectReported(const FaultRun& run) {
  if (run.On == Calls::kWrites && run.Fired) {
    EXPECT_NE(run.Code, 0) << "a failed write was not reported";
  }
}

class UpdateFaultTest : public FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    table_ = file("t.dbf");
    index_ = file("t.mdx");
  }

  // Builds t.dbf with Count records and opens it in area 1.
  void FreshArea(int32_t Count, bool Shared) {
    CloseAll();
    BuildTable(table_, Count);
    OpenArea(Shared);
  }
  void OpenArea(bool Shared) {
    Select(1);
    Use(table_ + (Shared ? "" : " EXCLUSIVE"), nullptr, 0);
    ASSERT_NE(CurrentWorkArea(), nullptr) << Errors.ErrorDetail;
  }
  // Puts RecordImage(R, Marker) into the current area's typed record.
  static void SetTyped(int32_t R, char Marker) {
    WorkArea* a = CurrentWorkArea();
    const std::string image = RecordImage(R, Marker);
    a->Table.RecordBuffer.assign(image.begin(), image.end());
    RecordToTyped(a->Table, a->Typed);
  }
  static std::vector<IndexTagDef> NameTag() {
    IndexTagDef t;
    t.TagName = "NAME";
    t.KeyExpr = "name";
    return {t};
  }

  // The index of t.dbf either opens and leads only to records 1..Count, or is refused with an
  // engine error; Reindex (or, when it cannot be opened, a new
  // build) then gives exactly records 1..Count. The area is closed afterwards.
  void ExpectIndexRebuildsWhole(int32_t Count, bool MayBeMissing) {
    fault::Disarm();
    CloseAll();
    const bool raise = SetRaiseErrors(true);
    const bool check = SetErrorCheck(true);
    // Opened as after a failure: the count from the file size (a failed write may have left the
    // header's count behind).
    DbfSettings.RecountOnOpen = true;
    OpenArea(false);
    DbfSettings.RecountOnOpen = false;
    if (!os::FileExists(index_)) {
      EXPECT_TRUE(MayBeMissing) << "the index file is gone";
    } else {
      bool opened = false;
      try {
        opened = SetIndexTo(index_);
      } catch (const EMorvaneError&) {
      }
      if (opened) {
        try {
          GoTop();
          int steps = 0;
          while (!dEOF() && ++steps <= Count + 2) {
            EXPECT_GE(RecNo(), 1);
            EXPECT_LE(RecNo(), Count);
            Skip(1);
          }
          EXPECT_LE(steps, Count + 1) << "the walk went on past the records";
        } catch (const EMorvaneError&) {
          // A torn page is refused: the rebuild below is the cure.
        }
        try {
          Reindex();
        } catch (const EMorvaneError&) {
          opened = false;  // the stored definitions are torn too: build anew
        }
      }
      if (!opened) {
        Errors.DbfError = 0;
        EXPECT_TRUE(MakeIndexAndSet(NameTag(), index_)) << Errors.ErrorDetail;
      }
      std::vector<int32_t> order;
      GoTop();
      while (!dEOF() && order.size() <= static_cast<size_t>(Count)) {
        order.push_back(RecNo());
        Skip(1);
      }
      std::vector<int32_t> expected;
      for (int32_t r = 1; r <= Count; ++r) expected.push_back(r);
      // Names R1, R10, R2 ... sort as text; compare as sets through the sorted copy.
      std::sort(order.begin(), order.end());
      EXPECT_EQ(order, expected);
    }
    CloseAll();
    SetErrorCheck(check);
    SetRaiseErrors(raise);
    Errors.DbfError = 0;
  }

  std::string table_;
  std::string index_;
};

TEST_F(UpdateFaultTest, AppendsBeforeAFailureSurvive) {
  for (bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "shared table" : "exclusive table");
    for (Calls on : {Calls::kWrites, Calls::kReads}) {
      int32_t appended = 0;
      ForEachFault(
          on, kKinds, [&] { FreshArea(5, shared); },
          [&] {
            appended = 0;
            if (shared) {
              ASSERT_TRUE(ALock());
            }
            for (int32_t r = 6; r <= 8; ++r) {
              SetTyped(r, 'A');
              Errors.DbfError = 0;
              Append();
              if (Errors.DbfError != 0) break;
              ++appended;
            }
          },
          [] { CloseAll(); },
          [&](const FaultRun& run) {
            ExpectReported(run);
            ExpectTableHolds(table_, 5 + appended, 5 + appended + 1,
                             [&](int32_t r, const std::string& image) {
                               return image == RecordImage(r, r <= 5 ? 'R' : 'A');
                             });
          });
    }
  }
}

TEST_F(UpdateFaultTest, AFailedReplaceChangesNothingButItsRecord) {
  for (bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "shared table" : "exclusive table");
    ForEachFault(
        Calls::kWrites, kKinds,
        [&] {
          FreshArea(5, shared);
          Go(3);
          if (shared) {
              ASSERT_TRUE(RLock());
            }
          SetTyped(3, 'X');
        },
        [] { Replace(); }, [] { CloseAll(); },
        [&](const FaultRun& run) {
          ExpectReported(run);
          ExpectTableHolds(table_, 5, 5, [&](int32_t r, const std::string& image) {
            if (r != 3) return image == RecordImage(r);
            if (run.Code == 0) return image == RecordImage(3, 'X');
            for (size_t i = 0; i < image.size(); ++i)
              if (image[i] != RecordImage(3)[i] && image[i] != RecordImage(3, 'X')[i]) return false;
            return true;
          });
        });
  }
}

// Zap cuts the file back to its header before it writes anything, so the records are gone
// whatever fails after that; what must hold is that the table and its index stay usable.
TEST_F(UpdateFaultTest, AFailedZapLeavesATableAndIndexThatOpen) {
  for (bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "shared table" : "exclusive table");
    for (Calls on : {Calls::kWrites, Calls::kReads}) {
      ForEachFault(
          on, kKinds,
          [&] {
            FreshArea(5, shared);
            ASSERT_TRUE(MakeIndexAndSet(NameTag(), index_)) << Errors.ErrorDetail;
          },
          [] { Zap(); }, [] { CloseAll(); },
          [&](const FaultRun& run) {
            ExpectReported(run);
            const int32_t left = ExpectTableHolds(table_, 0, 5, Built(5));
            EXPECT_TRUE(left == 0 || left == 5) << left << " records after a zap";
            ExpectIndexRebuildsWhole(left, false);
          });
    }
  }
}

// The builder with runs of two entries, so that the run file is written and read back too.
TEST_F(UpdateFaultTest, AFailedIndexBuildIsReportedAndTouchesNoRecord) {
  setenv("TMPDIR", dir_.path().c_str(), 1);
  const auto leftovers = [&] {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      if (e.path().extension() == ".tmp") ++n;
    return n;
  };
  testsupport::Bytes before;
  for (Calls on : {Calls::kWrites, Calls::kReads}) {
    for (bool rebuild : {false, true}) {
      SCOPED_TRACE(rebuild ? "Reindex" : "MakeIndex");
      bool built = false;
      ForEachFault(
          on, kKinds,
          [&] {
            FreshArea(7, false);
            IndexBuildSettings.RunEntries = 2;
            if (rebuild) {
              ASSERT_TRUE(MakeIndexAndSet(NameTag(), index_)) << Errors.ErrorDetail;
            }
            before = testsupport::ReadFileBytes(table_);
          },
          [&] {
            built = false;
            if (rebuild) {
              Reindex();
              built = Errors.DbfError == 0;
            } else {
              built = MakeIndex(NameTag(), index_);
            }
          },
          [] { CloseAll(); },
          [&](const FaultRun& run) {
            if (run.On == Calls::kWrites && run.Fired) {
              EXPECT_FALSE(built && run.Code == 0) << "a failed build reported success";
            }
            EXPECT_EQ(testsupport::ReadFileBytes(table_), before);
            EXPECT_EQ(leftovers(), 0) << "a run file was left behind";
            ExpectIndexRebuildsWhole(7, !rebuild);
          });
    }
  }
  unsetenv("TMPDIR");
}

}  // namespace
}  // namespace faulttest
