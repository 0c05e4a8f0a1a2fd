// Sharing modes and byte-range locks between two handles of one process and between two real
// processes: both must behave the same.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/os/files.h"
#include "tests/support/child_process.h"
#include "tests/support/test_support.h"

namespace os = platform::os;
using testsupport::Child;
using testsupport::ChildChannel;

namespace {

constexpr uint64_t kLockBase = uint64_t{1} << 30;

std::string Result(bool ok) { return ok ? "ok" : "err " + std::to_string(os::LastError()); }

// A child that holds at most one handle and obeys: "open PATH MODE", "lock OFFSET LENGTH",
// "unlock OFFSET LENGTH", "close", "delete PATH"; it answers "ok" or "err CODE".
int HandleServer(ChildChannel& channel) {
  os::Handle h = os::kInvalidHandle;
  std::string line;
  while (channel.ReadLine(line)) {
    std::istringstream in(line);
    std::string verb, path;
    uint64_t a = 0, b = 0;
    in >> verb;
    std::string answer;
    if (verb == "open") {
      in >> path >> a;
      h = os::FileOpen(path, static_cast<unsigned>(a));
      answer = Result(h != os::kInvalidHandle);
    } else if (verb == "lock") {
      in >> a >> b;
      answer = Result(os::LockRange(h, a, b));
    } else if (verb == "unlock") {
      in >> a >> b;
      answer = Result(os::UnlockRange(h, a, b));
    } else if (verb == "close") {
      answer = Result(os::FileClose(h));
      h = os::kInvalidHandle;
    } else if (verb == "delete") {
      in >> path;
      answer = Result(os::DeleteFile(path));
    } else {
      answer = "unknown";
    }
    if (!channel.WriteLine(answer)) break;
  }
  return 0;
}

// The other party of a test: a second handle in this process, or a handle in a child process.
class Other {
 public:
  explicit Other(bool separateProcess) {
    if (separateProcess) child_ = std::make_unique<Child>(HandleServer);
  }
  ~Other() {
    if (child_) {
      EXPECT_EQ(child_->Wait(), 0);
    } else if (h_ != os::kInvalidHandle) {
      os::FileClose(h_);
    }
  }
  std::string Open(const std::string& path, unsigned mode) {
    if (child_) return child_->Ask("open " + path + " " + std::to_string(mode));
    h_ = os::FileOpen(path, mode);
    return Result(h_ != os::kInvalidHandle);
  }
  std::string Lock(uint64_t offset, uint64_t length) {
    if (child_) return child_->Ask("lock " + std::to_string(offset) + " " + std::to_string(length));
    return Result(os::LockRange(h_, offset, length));
  }
  std::string Unlock(uint64_t offset, uint64_t length) {
    if (child_)
      return child_->Ask("unlock " + std::to_string(offset) + " " + std::to_string(length));
    return Result(os::UnlockRange(h_, offset, length));
  }
  std::string Close() {
    if (child_) return child_->Ask("close");
    bool ok = os::FileClose(h_);
    h_ = os::kInvalidHandle;
    return Result(ok);
  }

 private:
  std::unique_ptr<Child> child_;
  os::Handle h_ = os::kInvalidHandle;
};

class SharingTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    path_ = dir_.file("table.dbf");
    testsupport::WriteFileText(path_, "0123456789");
  }
  testsupport::TempDir dir_;
  std::string path_;
};

constexpr unsigned kSharedRW = os::fmOpenReadWrite | os::fmShareDenyNone;   // 66
constexpr unsigned kSharedRead = os::fmOpenRead | os::fmShareDenyNone;      // 64
constexpr unsigned kExclusiveRW = os::fmOpenReadWrite | os::fmShareExclusive;  // 18
constexpr unsigned kExclusiveRead = os::fmOpenRead | os::fmShareExclusive;  // 16

TEST_P(SharingTest, SecondOpenFollowsTheSharingModes) {
  struct Case {
    unsigned first;
    unsigned second;
    bool secondOpens;
  };
  const Case cases[] = {
      {kSharedRW, kSharedRW, true},
      {kSharedRead, kSharedRW, true},
      {kSharedRW, kSharedRead, true},
      {kExclusiveRW, kSharedRW, false},
      {kSharedRW, kExclusiveRW, false},
      {kExclusiveRW, kExclusiveRW, false},
      {kExclusiveRead, kSharedRead, false},   // exclusive with read access only still excludes
      {kSharedRead, kExclusiveRead, false},
      {os::fmOpenRead, kSharedRead, false},   // compatibility mode is exclusive
      {os::fmOpenReadWrite | os::fmShareDenyWrite, kSharedRead, false},
      {os::fmOpenReadWrite | os::fmShareDenyRead, kSharedRW, false},
      {os::fmOpenWrite | os::fmShareDenyNone, kSharedRW, true},
      {os::fmOpenWrite | os::fmShareDenyNone, kExclusiveRW, false},
  };
  Other other(GetParam());
  for (const Case& c : cases) {
    SCOPED_TRACE("first mode " + std::to_string(c.first) + ", second " + std::to_string(c.second));
    os::Handle h = os::FileOpen(path_, c.first);
    ASSERT_NE(h, os::kInvalidHandle) << os::LastError();
    EXPECT_EQ(other.Open(path_, c.second), c.secondOpens ? "ok" : "err 32");
    if (c.secondOpens) {
      EXPECT_EQ(other.Close(), "ok");
    }
    EXPECT_TRUE(os::FileClose(h));
    // Once the first handle is gone, any mode opens.
    EXPECT_EQ(other.Open(path_, kExclusiveRW), "ok");
    EXPECT_EQ(other.Close(), "ok");
  }
}

TEST_P(SharingTest, FileInUseCannotBeErasedOrRecreated) {
  Other other(GetParam());
  ASSERT_EQ(other.Open(path_, kSharedRead), "ok");
  // The erase check: an exclusive read-only open proves nobody uses the file.
  EXPECT_EQ(os::FileOpen(path_, kExclusiveRead), os::kInvalidHandle);
  EXPECT_EQ(os::LastError(), os::kErrSharingViolation);
  EXPECT_FALSE(os::DeleteFile(path_));
  EXPECT_EQ(os::LastError(), os::kErrSharingViolation);
  EXPECT_EQ(os::FileCreate(path_), os::kInvalidHandle);
  EXPECT_EQ(os::LastError(), os::kErrSharingViolation);
  EXPECT_FALSE(os::RenameFile(path_, dir_.file("moved.dbf")));
  EXPECT_EQ(os::LastError(), os::kErrSharingViolation);
  EXPECT_EQ(testsupport::ReadFileText(path_), "0123456789");  // untouched by the failed create

  EXPECT_EQ(other.Close(), "ok");
  EXPECT_TRUE(os::DeleteFile(path_)) << os::LastError();
  EXPECT_FALSE(os::FileExists(path_));
}

TEST_P(SharingTest, RangeLocksConflictAcrossHandles) {
  os::Handle h = os::FileOpen(path_, kSharedRW);
  ASSERT_NE(h, os::kInvalidHandle);
  Other other(GetParam());
  ASSERT_EQ(other.Open(path_, kSharedRW), "ok");

  const uint64_t r = kLockBase + 100;
  ASSERT_TRUE(os::LockRange(h, r, 10));
  EXPECT_EQ(other.Lock(r, 10), "err 33");       // the same range
  EXPECT_EQ(other.Lock(r + 9, 5), "err 33");    // overlapping its last byte
  EXPECT_EQ(other.Lock(r - 4, 5), "err 33");    // overlapping its first byte
  EXPECT_EQ(other.Lock(r + 10, 1), "ok");       // adjacent bytes are free
  EXPECT_EQ(other.Lock(r - 1, 1), "ok");
  EXPECT_EQ(other.Unlock(r, 10), "err 158");    // held by the first handle, not this one
  EXPECT_FALSE(os::LockRange(h, r + 10, 1));    // and the other way round
  EXPECT_EQ(os::LastError(), os::kErrLockViolation);

  ASSERT_TRUE(os::UnlockRange(h, r, 10));
  EXPECT_EQ(other.Lock(r, 10), "ok");
  EXPECT_FALSE(os::LockRange(h, r + 2, 2));
  EXPECT_EQ(os::LastError(), os::kErrLockViolation);

  // Closing a handle releases every lock it holds.
  EXPECT_EQ(other.Close(), "ok");
  EXPECT_TRUE(os::LockRange(h, r - 1, 12));
  EXPECT_TRUE(os::FileClose(h));
}

TEST_P(SharingTest, LocksFarAboveTheDataAndReadOnlyHandles) {
  Other other(GetParam());
  ASSERT_EQ(other.Open(path_, kSharedRead), "ok");  // a read-only handle locks too
  os::Handle h = os::FileOpen(path_, kSharedRead);
  ASSERT_NE(h, os::kInvalidHandle);
  const uint64_t offsets[] = {kLockBase, kLockBase + 1, (uint64_t{1} << 32) + 7,
                              (uint64_t{1} << 40)};
  for (uint64_t offset : offsets) {
    SCOPED_TRACE(offset);
    EXPECT_EQ(other.Lock(offset, 1), "ok");
    EXPECT_FALSE(os::LockRange(h, offset, 1));
    EXPECT_EQ(os::LastError(), os::kErrLockViolation);
    EXPECT_EQ(other.Unlock(offset, 1), "ok");
    EXPECT_TRUE(os::LockRange(h, offset, 1));
    EXPECT_TRUE(os::UnlockRange(h, offset, 1));
  }
  EXPECT_TRUE(os::FileClose(h));
}

INSTANTIATE_TEST_SUITE_P(Parties, SharingTest, ::testing::Values(false, true),
                         [](const auto& info) {
                           return info.param ? std::string("TwoProcesses")
                                             : std::string("TwoHandlesOfOneProcess");
                         });

TEST(RangeLockTest, OneHandleKeepsWindowsRules) {
  testsupport::TempDir dir;
  std::string path = dir.file("t.dbf");
  testsupport::WriteFileText(path, "x");
  os::Handle h = os::FileOpen(path, kSharedRW);
  ASSERT_NE(h, os::kInvalidHandle);
  const uint64_t r = kLockBase + 50;
  ASSERT_TRUE(os::LockRange(h, r, 10));

  struct Case {
    const char* what;
    bool lock;  // else unlock
    uint64_t offset, length;
    uint32_t error;  // 0 = succeeds
  };
  const Case cases[] = {
      {"relock of the held range", true, r, 10, os::kErrLockViolation},
      {"lock overlapping a held range", true, r + 5, 10, os::kErrLockViolation},
      {"unlock of a part of a held range", false, r, 5, os::kErrLockNotHeld},
      {"unlock of a larger range", false, r, 11, os::kErrLockNotHeld},
      {"unlock of a range never locked", false, r + 100, 1, os::kErrLockNotHeld},
      {"zero length", true, r + 100, 0, os::kErrInvalidParameter},
      {"a range over the sharing byte", true, (uint64_t{1} << 62) - 1, 2,
       os::kErrInvalidParameter},
      {"a range beyond the largest offset", true, UINT64_MAX - 1, 1, os::kErrInvalidParameter},
      {"an adjacent range", true, r + 10, 5, 0},
      {"unlock of the adjacent range alone", false, r + 10, 5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool ok = c.lock ? os::LockRange(h, c.offset, c.length)
                     : os::UnlockRange(h, c.offset, c.length);
    EXPECT_EQ(ok, c.error == 0);
    if (c.error != 0) {
      EXPECT_EQ(os::LastError(), c.error);
    }
  }
  // The held range is still held after all that, and unlocks exactly once.
  os::Handle h2 = os::FileOpen(path, kSharedRW);
  EXPECT_FALSE(os::LockRange(h2, r, 1));
  EXPECT_TRUE(os::UnlockRange(h, r, 10));
  EXPECT_FALSE(os::UnlockRange(h, r, 10));
  EXPECT_EQ(os::LastError(), os::kErrLockNotHeld);
  EXPECT_TRUE(os::LockRange(h2, r, 1));
  os::FileClose(h2);
  os::FileClose(h);

  EXPECT_FALSE(os::LockRange(h, r, 1));  // a closed handle
  EXPECT_EQ(os::LastError(), os::kErrInvalidHandle);
  EXPECT_FALSE(os::UnlockRange(12345, r, 1));
  EXPECT_EQ(os::LastError(), os::kErrInvalidHandle);
}

TEST(RangeLockTest, LocksOfAProcessThatEndsAreReleased) {
  testsupport::TempDir dir;
  std::string path = dir.file("t.dbf");
  testsupport::WriteFileText(path, "x");
  Child child([&](ChildChannel& channel) {
    os::Handle h = os::FileOpen(path, kSharedRW);
    bool ok = h != os::kInvalidHandle && os::LockRange(h, kLockBase + 1, 1);
    channel.WriteLine(ok ? "locked" : "failed");
    std::string line;
    channel.ReadLine(line);
    return 7;  // ends without closing the handle
  });
  ASSERT_EQ(child.Receive(), "locked");
  os::Handle h = os::FileOpen(path, kSharedRW);
  ASSERT_NE(h, os::kInvalidHandle);
  EXPECT_FALSE(os::LockRange(h, kLockBase + 1, 1));
  EXPECT_EQ(child.Wait(), 7);
  EXPECT_TRUE(os::LockRange(h, kLockBase + 1, 1));
  os::FileClose(h);
}

}  // namespace
