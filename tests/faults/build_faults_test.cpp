// The index builder's spilled runs under injected failures: a table large enough for three runs
// whose merge reads each run back in more than one piece, built by MakeIndex and by Reindex.
// Every write of the run file and every read of it fails in turn, comes back short, or finds the
// disk full, with errors recorded and raised. The build must report the failure with the run
// file's name and "[MakeIndex]" (also when a later tag builds well), leave no run file behind
// and the table untouched; a build reported as done gives an index in step with the table.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "tests/faults/faults_fixture.h"
#include "tests/faults/index_state.h"

namespace faulttest {
namespace {

using namespace morvane;
using fault::Calls;
using fault::Kind;

// 2400 entries in runs of 800: the merge shares 32758 bytes of read-ahead among three runs
// (779 name entries of 14 bytes each), so every run is read back in two pieces.
constexpr int32_t kRecords = 2400;
constexpr size_t kRunEntries = 800;

class BuildFaultTest : public FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    // The run file goes to the test's own folder, where a leftover can be seen.
    const char* tmp = std::getenv("TMPDIR");
    savedTmp_ = tmp != nullptr ? tmp : "";
    hadTmp_ = tmp != nullptr;
    setenv("TMPDIR", dir_.path().c_str(), 1);
    table_ = file("t.dbf");
    index_ = file("t.mdx");
    scratch_ = file("checked.mdx");
  }
  void TearDown() override {
    if (hadTmp_) {
      setenv("TMPDIR", savedTmp_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    FaultTest::TearDown();
  }

  int RunFiles() const {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      if (e.path().extension() == ".tmp") ++n;
    return n;
  }

  std::string table_;
  std::string index_;
  std::string scratch_;
  bool hadTmp_ = false;
  std::string savedTmp_;
};

TEST_F(BuildFaultTest, ARunFileThatFailsFailsTheBuildAndLeavesNothingBehind) {
  BuildTable(table_, kRecords);
  const testsupport::Bytes tableBytes = testsupport::ReadFileBytes(table_);
  const std::vector<std::string> records = StoredRecords(table_);
  for (bool rebuild : {false, true}) {
    SCOPED_TRACE(rebuild ? "Reindex" : "MakeIndex");
    for (Calls on : {Calls::kWrites, Calls::kReads}) {
      bool built = false;
      std::string detail;
      ForEachFault(
          on, {Kind::kFail, Kind::kShort, Kind::kDiskFull},
          [&] {
            CloseAll();
            Select(1);
            Use(table_ + " EXCLUSIVE", nullptr, 0);
            IndexBuildSettings.RunEntries = kRunEntries;
            if (rebuild) {
              ASSERT_TRUE(MakeIndexAndSet(NamePopTags(), index_)) << Errors.ErrorDetail;
            }
          },
          [&] {
            built = false;
            detail.clear();
            try {
              if (rebuild) {
                Reindex();
                built = Errors.DbfError == 0;
              } else {
                built = MakeIndex(NamePopTags(), index_);
              }
            } catch (const EMorvaneError& e) {
              detail = e.what();
              throw;
            }
            detail = Errors.ErrorDetail;
          },
          [] { CloseAll(); },
          [&](const FaultRun& run) {
            // A read that comes back short with whole entries is taken as it is and the rest
            // read next time; every other fault fails the build.
            const bool survivable = run.Kind == Kind::kShort && run.On == Calls::kReads;
            if (run.Fired && !survivable) {
              EXPECT_FALSE(built) << "a build whose run file failed reported success";
              EXPECT_NE(run.Code, 0);
            }
            if (run.Code != 0) {
              EXPECT_NE(detail.find(".tmp [MakeIndex]"), std::string::npos) << detail;
            }
            EXPECT_EQ(RunFiles(), 0) << "a run file was left behind";
            EXPECT_EQ(testsupport::ReadFileBytes(table_), tableBytes);
            // (That an index left by a failed build rebuilds whole: update_faults_test.)
            if (built) {
              std::string why;
              EXPECT_EQ(InspectIndex(table_, index_, records, 0, scratch_, why),
                        IndexState::kInStep)
                  << "a build reported as done: " << why;
            }
          },
          ".tmp");
      if (HasFatalFailure()) return;
    }
  }
}

// Every tag starts by clearing the error code: a failed first tag must still be the build's
// reported error when the next one builds well (Reindex and Zap return nothing else).
TEST_F(BuildFaultTest, AFailedTagStaysReportedWhenALaterTagBuilds) {
  BuildTable(table_, 5);
  Select(1);
  Use(table_ + " EXCLUSIVE", nullptr, 0);
  IndexTagDef bad;
  bad.TagName = "BAD";
  bad.KeyExpr = "nosuchfield";
  const std::vector<IndexTagDef> defs = {bad, NamePopTags()[0]};
  Errors.DbfError = 0;
  EXPECT_FALSE(MakeIndex(defs, index_));
  EXPECT_NE(Errors.DbfError, 0) << "the failed tag was reported as success";
  std::vector<std::string> tags;
  GetTagList(tags, index_);
  EXPECT_EQ(tags.size(), 2u) << "the tag that built is in the file";
  CloseAll();
}

}  // namespace
}  // namespace faulttest
