// Every write path of the table layer under injected failures: each read or write it makes fails
// in turn, comes back short, or finds the disk full, with errors recorded and raised. The engine
// must report the failure, and the table must reopen with every record written before it intact
// (a rewrite that failed leaves its record old, new, or part of each, and nothing else changed).
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/util/errors.h"
#include "platform/os/files.h"
#include "tests/faults/faults_fixture.h"

namespace faulttest {
namespace {

using namespace morvane;
namespace os = platform::os;
using fault::Calls;
using fault::Kind;

constexpr std::initializer_list<Kind> kWriteKinds = {Kind::kFail, Kind::kShort, Kind::kDiskFull};
constexpr std::initializer_list<Kind> kReadKinds = {Kind::kFail, Kind::kShort};

// Every byte of Image comes from Old or New at the same position.
bool MixOf(const std::string& image, const std::string& old, const std::string& fresh) {
  if (image.size() != old.size() || image.size() != fresh.size()) return false;
  for (size_t i = 0; i < image.size(); ++i)
    if (image[i] != old[i] && image[i] != fresh[i]) return false;
  return true;
}

// The record count in the header on disk.
uint32_t HeaderCount(const std::string& path) {
  testsupport::Bytes b = testsupport::ReadFileBytes(path);
  if (b.size() < 8) return 0;
  return b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<uint32_t>(b[7]) << 24);
}

// A write fault that struck the operation is reported with a write error code.
void ExpectWriteFailureReported(const FaultRun& run) {
  if (run.On == Calls::kWrites && run.Fired) {
    EXPECT_TRUE(run.Code == os::kErrWriteFault || run.Code == os::kErrDiskWrite)
        << "reported " << run.Code << ": " << Errors.ErrorDetail;
  }
}

class DbfFaultTest : public FaultTest {
 protected:
  // Builds t.dbf with Count records and opens it into b_.
  void Fresh(int32_t Count) {
    path_ = file("t.dbf");
    BuildTable(path_, Count);
    Open(b_, path_);
  }
  void CloseTable() {
    if (b_.File != os::kInvalidHandle) CloseDbf(b_);
  }

  std::string path_;
  DbfControlBlock b_;
};

TEST_F(DbfFaultTest, ARewriteThatFailsChangesNothingButItsOwnRecord) {
  for (Calls on : {Calls::kWrites, Calls::kReads}) {
    ForEachFault(
        on, kWriteKinds, [&] { Fresh(5); }, [&] { Put(b_, 3, 3, 'X'); }, [&] { CloseTable(); },
        [&](const FaultRun& run) {
          ExpectWriteFailureReported(run);
          ExpectTableHolds(path_, 5, 5, [&](int32_t r, const std::string& image) {
            if (r != 3) return image == RecordImage(r);
            if (run.Code == 0) return image == RecordImage(3, 'X');
            return MixOf(image, RecordImage(3), RecordImage(3, 'X'));
          });
        });
  }
}

TEST_F(DbfFaultTest, AppendsBeforeAFailureSurviveAndTheFailedOneLeavesNoTrace) {
  for (bool flushEach : {false, true}) {
    SCOPED_TRACE(flushEach ? "flushed after every write" : "not flushed");
    for (Calls on : {Calls::kWrites, Calls::kReads}) {
      int32_t appended = 0;
      int32_t countAfter = 0;
      auto appendThree = [&] {
        appended = 0;
        for (int32_t r = 6; r <= 8; ++r) {
          Errors.DbfError = 0;
          try {
            Put(b_, r, r, 'A');
          } catch (const EMorvaneError&) {
            countAfter = b_.RecordCount;
            throw;
          }
          countAfter = b_.RecordCount;
          if (Errors.DbfError != 0) break;
          ++appended;
        }
      };
      ForEachFault(
          on, kWriteKinds,
          [&] {
            DbfSettings.FlushAfterWrite = false;
            Fresh(5);
            DbfSettings.FlushAfterWrite = flushEach;
          },
          appendThree, [&] { CloseTable(); },
          [&](const FaultRun& run) {
            DbfSettings.FlushAfterWrite = false;
            ExpectWriteFailureReported(run);
            // The count in memory never includes a record that is not on disk. (A failed flush
            // after a stored record leaves that record counted: it is on disk.)
            EXPECT_GE(countAfter, 5 + appended);
            EXPECT_LE(countAfter, 5 + appended + 1);
            const int32_t held = ExpectTableHolds(path_, 5 + appended, 5 + appended + 1,
                                                  [&](int32_t r, const std::string& image) {
                                                    return image == RecordImage(r, r <= 5 ? 'R' : 'A');
                                                  });
            EXPECT_EQ(held, countAfter);
          });
    }
  }
}

TEST_F(DbfFaultTest, AFailedDeletionMarkLeavesTheRecordWholeEitherWay) {
  const auto deleted = [](int32_t r) { return "*" + RecordImage(r).substr(1); };
  ForEachFault(
      Calls::kWrites, kWriteKinds,
      [&] {
        Fresh(5);
        GetDbfRecord(b_, 2);
        b_.Record()[0] = '*';
      },
      [&] { WriteDeleteFlag(b_, 2); }, [&] { CloseTable(); },
      [&](const FaultRun& run) {
        ExpectWriteFailureReported(run);
        ExpectTableHolds(path_, 5, 5, [&](int32_t r, const std::string& image) {
          if (r != 2) return image == RecordImage(r);
          return image == deleted(2) || (run.Code != 0 && image == RecordImage(2));
        });
      });
}

// UpdateHeader, FlushDbf and CloseDbf after two appends: the header write fails, the records
// are on disk, and a reopen that counts from the file size finds all seven.
TEST_F(DbfFaultTest, AFailedHeaderWriteLosesNoRecord) {
  struct Case {
    const char* name;
    void (*op)(DbfControlBlock&);
    bool closes;
  };
  const Case cases[] = {
      {"UpdateHeader", [](DbfControlBlock& b) { UpdateHeader(b); }, false},
      {"FlushDbf", [](DbfControlBlock& b) { FlushDbf(b); }, false},
      {"CloseDbf", [](DbfControlBlock& b) { CloseDbf(b); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool closes = c.closes;
    for (Calls on : {Calls::kWrites, Calls::kReads}) {
      ForEachFault(
          on, kWriteKinds,
          [&] {
            Fresh(5);
            Put(b_, 6, 6, 'R');
            Put(b_, 7, 7, 'R');
          },
          [&] { c.op(b_); },
          [&] {
            if (closes) {
              // The close released the table whatever happened.
              EXPECT_EQ(b_.File, os::kInvalidHandle);
              EXPECT_EQ(b_.State, dsClosed);
            }
            CloseTable();
          },
          [&](const FaultRun& run) {
            ExpectWriteFailureReported(run);
            ExpectTableHolds(path_, 7, 7, Built(7));
            // After a one-shot fault in a flush the table stays marked, so the close writes the
            // header after all.
            if (!closes && run.Kind != Kind::kDiskFull && run.Code != 0) {
              EXPECT_EQ(HeaderCount(path_), 7u);
            }
          });
    }
  }
}

TEST_F(DbfFaultTest, AFailedCreateLeavesNoTableOrAnEmptyOneThatOpens) {
  const std::vector<FieldDescriptor> fields = {{"NAME", 'C', 10, 0, 0, 0},
                                               {"POP", 'N', 8, 0, 0, 0}};
  const std::string path = file("new.dbf");
  ForEachFault(
      Calls::kWrites, kWriteKinds, [&] { os::DeleteFile(path); },
      [&] {
        DbfControlBlock scratch;
        CreateDbf(scratch, path, fields);
      },
      [] {},
      [&](const FaultRun& run) {
        ExpectWriteFailureReported(run);
        if (!os::FileExists(path)) {
          EXPECT_NE(run.Code, 0) << "reported success without a table";
          return;
        }
        DbfControlBlock b;
        ASSERT_TRUE(Open(b, path, true));
        EXPECT_EQ(b.RecordCount, 0);
        EXPECT_EQ(b.FieldCount, 2);
        CloseDbf(b);
        Open(b, path, false);
        EXPECT_EQ(b.RecordCount, 0);
        CloseDbf(b);
      });
}

// Reading paths: a failed or short read is reported, changes nothing on disk, and leaves no
// handle open behind a failed open.
TEST_F(DbfFaultTest, FailedReadsAreReportedAndWriteNothing) {
  path_ = file("t.dbf");
  testsupport::Bytes before;
  bool openAfterOp = false;
  ForEachFault(
      Calls::kReads, kReadKinds,
      [&] {
        BuildTable(path_, 5);
        before = testsupport::ReadFileBytes(path_);
      },
      [&] {
        b_ = DbfControlBlock{};
        b_.FileName = path_;
        OpenDbf(b_);
      },
      [&] {
        openAfterOp = b_.File != os::kInvalidHandle;
        EXPECT_EQ(b_.State, openAfterOp ? dsClean : dsClosed);
        CloseTable();
      },
      [&](const FaultRun& run) {
        if (run.Fired) {
          EXPECT_NE(run.Code, 0) << "an open that read too little succeeded";
        }
        if (run.Code != 0) {
          EXPECT_FALSE(openAfterOp) << "a failed open left the table open";
        }
        EXPECT_EQ(testsupport::ReadFileBytes(path_), before);
        // Nothing holds the file: an exclusive open succeeds.
        os::Handle h = os::FileOpen(path_, os::fmOpenReadWrite | os::fmShareExclusive);
        EXPECT_NE(h, os::kInvalidHandle);
        os::FileClose(h);
      });

  int32_t stoodOn = 0;
  ForEachFault(
      Calls::kReads, kReadKinds, [&] { Fresh(5); },
      [&] {
        stoodOn = 0;
        for (int32_t r = 1; r <= 5; ++r) {
          GetDbfRecord(b_, r);
          if (Errors.DbfError != 0) break;
          stoodOn = r;
        }
      },
      [&] {
        // The failed read left the table on the record before it, and the next read works.
        EXPECT_EQ(b_.CurrentRecord, stoodOn == 0 ? 1 : stoodOn);
        fault::Disarm();
        Errors.DbfError = 0;
        GetDbfRecord(b_, 5);
        EXPECT_EQ(Errors.DbfError, 0);
        EXPECT_EQ(std::string(b_.Record(), b_.RecordLength), RecordImage(5));
        CloseTable();
      },
      [&](const FaultRun& run) {
        if (run.Fired) {
          EXPECT_TRUE(run.Code == 213 || run.Code == os::kErrReadFault) << run.Code;
        }
        ExpectTableHolds(path_, 5, 5, Built(5));
      });
}

}  // namespace
}  // namespace faulttest
