#include "tests/faults/faults_fixture.h"

#include <cstdio>
#include <vector>

#include "engine/util/errors.h"
#include "engine/util/startup.h"

namespace faulttest {

using namespace morvane;

const char* ModeName(ErrorMode Mode) {
  return Mode == ErrorMode::kRecorded ? "errors recorded" : "errors raised";
}

const char* KindName(fault::Kind Kind) {
  switch (Kind) {
    case fault::Kind::kFail: return "call fails";
    case fault::Kind::kShort: return "call comes back short";
    default: return "disk full";
  }
}

std::string RecordImage(int32_t R, char Marker) {
  char text[40];
  std::snprintf(text, sizeof text, " %c%-9d%8d2010%02d%02d%c", Marker, static_cast<int>(R),
                static_cast<int>(R) * 37 % 100000000, static_cast<int>(R) % 12 + 1,
                static_cast<int>(R) % 28 + 1, R % 2 != 0 ? 'T' : 'F');
  return text;
}

void FaultTest::SetUp() {
  EngineStartup();
  UseMode(ErrorMode::kRecorded);
}

void FaultTest::TearDown() {
  fault::Disarm();
  SetRaiseErrors(false);
  SetErrorCheck(false);
  EngineShutdown();
}

void FaultTest::UseMode(ErrorMode Mode) {
  SetErrorCheck(Mode == ErrorMode::kRaised);
  SetRaiseErrors(Mode == ErrorMode::kRaised);
  Errors.DbfError = 0;
}

uint16_t FaultTest::Attempt(const std::function<void()>& Op) {
  Errors.DbfError = 0;
  try {
    Op();
  } catch (const EMorvaneError&) {
    EXPECT_NE(Errors.DbfError, 0) << "raised without a code";
  }
  return Errors.DbfError;
}

void FaultTest::BuildTable(const std::string& Path, int32_t Count) {
  const bool check = SetErrorCheck(false);
  const std::vector<FieldDescriptor> fields = {
      {"NAME", 'C', 10, 0, 0, 0}, {"POP", 'N', 8, 0, 0, 0}, {"BORN", 'D', 8, 0, 0, 0},
      {"OK", 'L', 1, 0, 0, 0}};
  const uint8_t version = DbfSettings.DefaultVersion;
  DbfSettings.DefaultVersion = 0x03;
  DbfControlBlock b;
  Errors.DbfError = 0;
  CreateDbf(b, Path, fields);
  DbfSettings.DefaultVersion = version;
  ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  ASSERT_TRUE(Open(b, Path));
  ASSERT_EQ(b.RecordLength, RecordImage(1).size());
  for (int32_t r = 1; r <= Count; ++r) Put(b, r, r, 'R');
  CloseDbf(b);
  ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  SetErrorCheck(check);
}

bool FaultTest::Open(DbfControlBlock& B, const std::string& Path, bool Recount) {
  B = DbfControlBlock{};
  B.FileName = Path;
  const bool recount = DbfSettings.RecountOnOpen;
  DbfSettings.RecountOnOpen = Recount;
  Errors.DbfError = 0;
  try {
    OpenDbf(B);
  } catch (const EMorvaneError&) {
  }
  DbfSettings.RecountOnOpen = recount;
  EXPECT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  return Errors.DbfError == 0 && B.State == dsClean;
}

void FaultTest::Put(DbfControlBlock& B, int32_t N, int32_t R, char Marker) {
  const std::string image = RecordImage(R, Marker);
  B.RecordBuffer.assign(image.begin(), image.end());
  PutDbfRecord(B, N);
}

uint64_t FaultTest::Census(fault::Calls On, const std::function<void()>& Op,
                           const std::string& Suffix) {
  fault::ScopedPlan census({fault::Kind::kFail, On, 0, Suffix});
  Op();
  return fault::MatchingCalls();
}

FaultTest::RecordCheck FaultTest::Built(int32_t Count) {
  return [Count](int32_t r, const std::string& image) {
    return r <= Count && image == RecordImage(r);
  };
}

std::string FaultRun::Describe() const {
  const char* on = On == fault::Calls::kReads ? "read" : On == fault::Calls::kWrites ? "write"
                                                                                      : "call";
  return std::string(ModeName(Mode)) + ", " + on + " " + std::to_string(Nth) + ": " +
         KindName(Kind);
}

void FaultTest::ForEachFault(fault::Calls On, std::initializer_list<fault::Kind> Kinds,
                             const std::function<void()>& Prepare,
                             const std::function<void()>& Op, const std::function<void()>& Finish,
                             const std::function<void(const FaultRun&)>& Verify,
                             const std::string& Suffix) {
  UseMode(ErrorMode::kRecorded);
  Prepare();
  const uint64_t calls = Census(On, Op, Suffix);
  Attempt(Finish);
  for (ErrorMode mode : {ErrorMode::kRecorded, ErrorMode::kRaised}) {
    for (fault::Kind kind : Kinds) {
      if (kind == fault::Kind::kDiskFull && On == fault::Calls::kReads) continue;  // writes only
      for (uint64_t n = 1; n <= calls; ++n) {
        FaultRun run{mode, kind, On, n};
        SCOPED_TRACE(run.Describe());
        UseMode(ErrorMode::kRecorded);
        Prepare();
        UseMode(mode);
        {
          fault::ScopedPlan plan({kind, On, n, Suffix});
          run.Code = Attempt(Op);
          run.Fired = fault::Fired();
          Attempt(Finish);
        }
        UseMode(ErrorMode::kRecorded);
        Verify(run);
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

int32_t FaultTest::ExpectTableHolds(const std::string& Path, int32_t MinCount, int32_t MaxCount,
                                    const RecordCheck& Accepts) {
  fault::Disarm();
  const bool raise = SetRaiseErrors(false);
  const bool check = SetErrorCheck(false);
  int32_t fromSize = -1;
  DbfControlBlock b;
  if (Open(b, Path, true)) {
    fromSize = b.RecordCount;
    EXPECT_GE(fromSize, MinCount);
    EXPECT_LE(fromSize, MaxCount);
    for (int32_t r = 1; r <= fromSize; ++r) {
      Errors.DbfError = 0;
      GetDbfRecord(b, r);
      EXPECT_EQ(Errors.DbfError, 0) << "record " << r << ": " << Errors.ErrorDetail;
      const std::string image(b.Record(), b.RecordLength);
      EXPECT_TRUE(Accepts(r, image)) << "record " << r << ": \"" << image << "\"";
    }
    CloseDbf(b);
    EXPECT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  }
  if (Open(b, Path, false)) {
    EXPECT_LE(b.RecordCount, fromSize) << "the header claims records the file does not hold";
    CloseDbf(b);
  }
  SetErrorCheck(check);
  SetRaiseErrors(raise);
  Errors.DbfError = 0;
  return fromSize;
}

}  // namespace faulttest
