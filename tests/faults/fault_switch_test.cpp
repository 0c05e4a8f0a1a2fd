// The test switch of the file services: which call fails, how, and that nothing else is touched.
#include <gtest/gtest.h>

#include <string>

#include "platform/os/fault_injection.h"
#include "platform/os/files.h"
#include "tests/support/test_support.h"

namespace {

namespace os = platform::os;
namespace fault = platform::os::fault;
using testsupport::TempDir;

class FaultSwitchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("data.bin");
    testsupport::WriteFileText(path_, "0123456789");
    h_ = os::FileOpen(path_, os::fmOpenReadWrite | os::fmShareExclusive);
    ASSERT_NE(h_, os::kInvalidHandle);
  }
  void TearDown() override {
    fault::Disarm();
    os::FileClose(h_);
  }

  int64_t Write(uint64_t at, const std::string& text) {
    return os::FileWriteAt(h_, at, text.data(), text.size());
  }
  std::string Read(uint64_t at, size_t n, int64_t* got = nullptr) {
    std::string out(n, '\0');
    int64_t r = os::FileReadAt(h_, at, out.data(), n);
    if (got != nullptr) *got = r;
    out.resize(r > 0 ? static_cast<size_t>(r) : 0);
    return out;
  }
  std::string Disk() {
    os::FileClose(h_);
    std::string text = testsupport::ReadFileText(path_);
    h_ = os::FileOpen(path_, os::fmOpenReadWrite | os::fmShareExclusive);
    return text;
  }

  TempDir dir_;
  std::string path_;
  os::Handle h_ = os::kInvalidHandle;
};

TEST_F(FaultSwitchTest, TheNthWriteFailsInTheWayThePlanSays) {
  struct Case {
    fault::Kind kind;
    int64_t result;        // of the second write ("abcd" at 2)
    uint32_t error;        // its LastError
    const char* disk;      // after the three writes "xy" at 0, "abcd" at 2, "Z" at 9
  };
  const Case cases[] = {
      {fault::Kind::kFail, -1, os::kErrWriteFault, "xy23456789"},
      {fault::Kind::kShort, 2, os::kErrDiskWrite, "xyab456789"},
      {fault::Kind::kDiskFull, 2, os::kErrDiskWrite, "xyab456789"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    testsupport::WriteFileText(path_, "0123456789");
    fault::ScopedPlan plan({c.kind, fault::Calls::kWrites, 2, ""});
    EXPECT_EQ(Write(0, "xy"), 2);
    EXPECT_FALSE(fault::Fired());
    EXPECT_EQ(Write(2, "abcd"), c.result);
    EXPECT_EQ(os::LastError(), c.error);
    EXPECT_TRUE(fault::Fired());
    // Reads are never touched by a write plan; after a one-shot fault writes work again, on a
    // full disk they keep failing.
    EXPECT_EQ(Read(0, 2), "xy");
    const bool full = c.kind == fault::Kind::kDiskFull;
    EXPECT_EQ(Write(9, "Z"), full ? -1 : 1);
    if (full) {
      EXPECT_EQ(os::LastError(), os::kErrDiskWrite);
    }
    EXPECT_EQ(fault::MatchingCalls(), 3u);
    std::string expected = c.disk;
    if (!full) expected[9] = 'Z';
    fault::Disarm();
    EXPECT_EQ(Disk(), expected);
  }
}

TEST_F(FaultSwitchTest, TheNthReadFailsOrComesBackShort) {
  {
    fault::ScopedPlan plan({fault::Kind::kFail, fault::Calls::kReads, 1, ""});
    int64_t got = 0;
    EXPECT_EQ(Read(0, 4, &got), "");
    EXPECT_EQ(got, -1);
    EXPECT_EQ(os::LastError(), os::kErrReadFault);
    EXPECT_EQ(Read(0, 4), "0123");
  }
  {
    fault::ScopedPlan plan({fault::Kind::kShort, fault::Calls::kBoth, 2, ""});
    EXPECT_EQ(Write(0, "ab"), 2);  // call 1
    int64_t got = 0;
    EXPECT_EQ(Read(0, 5, &got), "ab");  // call 2: half of 5, as at the end of the file
    EXPECT_EQ(os::LastError(), os::kErrNone);
    EXPECT_EQ(Read(0, 5), "ab234");
  }
  {
    // A full disk does not stop reading.
    fault::ScopedPlan plan({fault::Kind::kDiskFull, fault::Calls::kReads, 1, ""});
    EXPECT_EQ(Read(0, 3), "ab2");
    EXPECT_EQ(Write(0, "qq"), 1);  // the first write fills the disk with half its bytes
    EXPECT_EQ(Read(0, 3), "qb2");
  }
}

TEST_F(FaultSwitchTest, ACensusCountsWithoutFailingAndAFilterPicksOneFile) {
  const std::string other = dir_.file("other.idx");
  testsupport::WriteFileText(other, "......");
  os::Handle h2 = os::FileOpen(other, os::fmOpenReadWrite | os::fmShareExclusive);
  ASSERT_NE(h2, os::kInvalidHandle);
  {
    fault::ScopedPlan census({fault::Kind::kFail, fault::Calls::kBoth, 0, ""});
    Write(0, "a");
    Read(0, 1);
    os::FileWriteAt(h2, 0, "b", 1);
    os::FileWriteAt(h_, 0, "", 0);  // nothing to move: no transfer at all
    EXPECT_EQ(fault::MatchingCalls(), 3u);
    EXPECT_FALSE(fault::Fired());
  }
  {
    fault::ScopedPlan plan({fault::Kind::kFail, fault::Calls::kWrites, 1, ".idx"});
    EXPECT_EQ(Write(0, "c"), 1);
    EXPECT_EQ(os::FileWriteAt(h2, 0, "d", 1), -1);
    EXPECT_EQ(fault::MatchingCalls(), 1u);
  }
  EXPECT_EQ(Write(1, "e"), 1);  // disarmed by the end of the scope
  os::FileClose(h2);
  EXPECT_EQ(testsupport::ReadFileText(other), "b.....");
}

}  // namespace
