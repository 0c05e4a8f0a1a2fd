// File handles, the error mapping, paths, the case fallback, temporary files and the directory
// search of platform/os.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/os/files.h"
#include "tests/support/child_process.h"
#include "tests/support/test_support.h"

namespace os = platform::os;
using testsupport::Child;
using testsupport::ChildChannel;
using testsupport::TempDir;

namespace {

constexpr unsigned kExclusiveRW = os::fmOpenReadWrite | os::fmShareExclusive;

// Sets an environment variable for the life of the object (unset when `value` is null).
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~EnvGuard() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

TEST(FileHandleTest, PositionedReadWriteSizeTruncate) {
  TempDir dir;
  std::string path = dir.file("data.bin");
  os::Handle h = os::FileCreate(path);
  ASSERT_NE(h, os::kInvalidHandle) << os::LastError();
  EXPECT_EQ(os::FileWriteAt(h, 0, "abcdef", 6), 6);
  EXPECT_EQ(os::FileWriteAt(h, 10, "XY", 2), 2);  // beyond the end: the gap reads as zeros
  EXPECT_EQ(os::FileSize(h), 12);
  char buf[16] = {};
  EXPECT_EQ(os::FileReadAt(h, 2, buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "cde");
  EXPECT_EQ(os::FileReadAt(h, 8, buf, 16), 4);  // short at the end of the file
  EXPECT_EQ(std::string(buf, 4), std::string("\0\0XY", 4));
  EXPECT_EQ(os::FileReadAt(h, 100, buf, 4), 0);
  EXPECT_EQ(os::FileReadAt(h, 0, buf, 0), 0);
  EXPECT_TRUE(os::FileTruncate(h, 4));
  EXPECT_EQ(os::FileSize(h), 4);
  EXPECT_TRUE(os::FileTruncate(h, 6));
  EXPECT_EQ(os::FileReadAt(h, 0, buf, 16), 6);
  EXPECT_EQ(std::string(buf, 6), std::string("abcd\0\0", 6));
  EXPECT_TRUE(os::FileFlush(h));
  EXPECT_TRUE(os::FileClose(h));
  EXPECT_FALSE(os::FileClose(h));
  EXPECT_EQ(os::LastError(), os::kErrInvalidHandle);

  // FileCreate of an existing file starts it empty.
  h = os::FileCreate(path);
  ASSERT_NE(h, os::kInvalidHandle);
  EXPECT_EQ(os::FileSize(h), 0);
  os::FileClose(h);
}

TEST(FileHandleTest, AccessOfTheModeIsEnforced) {
  TempDir dir;
  std::string path = dir.file("data.bin");
  testsupport::WriteFileText(path, "hello");
  char buf[8];

  os::Handle ro = os::FileOpen(path, os::fmOpenRead | os::fmShareDenyNone);
  ASSERT_NE(ro, os::kInvalidHandle);
  EXPECT_EQ(os::FileReadAt(ro, 0, buf, 5), 5);
  EXPECT_EQ(os::FileWriteAt(ro, 0, "J", 1), -1);
  EXPECT_EQ(os::LastError(), os::kErrAccessDenied);
  EXPECT_FALSE(os::FileTruncate(ro, 0));
  EXPECT_EQ(os::LastError(), os::kErrAccessDenied);
  os::FileClose(ro);

  os::Handle wo = os::FileOpen(path, os::fmOpenWrite | os::fmShareExclusive);
  ASSERT_NE(wo, os::kInvalidHandle);
  EXPECT_EQ(os::FileReadAt(wo, 0, buf, 5), -1);
  EXPECT_EQ(os::LastError(), os::kErrAccessDenied);
  EXPECT_EQ(os::FileWriteAt(wo, 0, "J", 1), 1);
  os::FileClose(wo);
  EXPECT_EQ(testsupport::ReadFileText(path), "Jello");

  for (unsigned bad : {3u, 0x43u, 0x50u, 0x70u}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(os::FileOpen(path, bad), os::kInvalidHandle);
    EXPECT_EQ(os::LastError(), os::kErrInvalidAccessCode);
  }
}

TEST(FileErrorTest, ErrnoMapsToWindowsCodes) {
  struct Case {
    int err;
    uint32_t code;
  };
  const Case cases[] = {
      {0, 0},           {ENOENT, 2},  {ENOTDIR, 3},  {ENAMETOOLONG, 3}, {EMFILE, 4},
      {ENFILE, 4},      {EACCES, 5},  {EPERM, 5},    {EISDIR, 5},       {EBADF, 6},
      {ENOMEM, 8},      {EROFS, 19},  {ENOSPC, 101}, {EDQUOT, 101},     {EFBIG, 101},
      {EAGAIN, 33},     {EBUSY, 32},  {ETXTBSY, 32}, {ENOLCK, 36},      {EXDEV, 17},
      {EEXIST, 80},     {EINVAL, 87}, {EIO, 31},     {EHOSTDOWN, 31},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    EXPECT_EQ(os::MapErrno(c.err), c.code);
  }
}

TEST(FileErrorTest, FailingCallsSetTheLastError) {
  TempDir dir;
  std::string file = dir.file("plain.txt");
  testsupport::WriteFileText(file, "x");
  struct Case {
    std::string path;
    uint32_t code;
  };
  const Case cases[] = {
      {dir.file("missing.dbf"), os::kErrFileNotFound},
      {dir.file("nofolder/x.dbf"), os::kErrPathNotFound},
      {file + "/x.dbf", os::kErrPathNotFound},  // a file used as a folder
      {dir.path(), os::kErrAccessDenied},         // a folder is not a file
      {"", os::kErrFileNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    os::SetLastError(0);
    EXPECT_EQ(os::FileOpen(c.path, kExclusiveRW), os::kInvalidHandle);
    EXPECT_EQ(os::LastError(), c.code);
  }
  char buf[1];
  EXPECT_EQ(os::FileReadAt(9999, 0, buf, 1), -1);
  EXPECT_EQ(os::LastError(), os::kErrInvalidHandle);
  EXPECT_EQ(os::FileSize(9999), -1);
  EXPECT_EQ(os::LastError(), os::kErrInvalidHandle);
  EXPECT_EQ(os::FileCreate(dir.file("nofolder/new.dbf")), os::kInvalidHandle);
  EXPECT_EQ(os::LastError(), os::kErrPathNotFound);
  EXPECT_FALSE(os::DeleteFile(dir.file("missing.dbf")));
  EXPECT_EQ(os::LastError(), os::kErrFileNotFound);
}

// Limits that only a separate process may lower: too many open files, and a write the file
// size limit cuts short (reported like a full disk).
TEST(FileErrorTest, ResourceLimitsGiveTheirCodes) {
  TempDir dir;
  std::string path = dir.file("data.bin");
  testsupport::WriteFileText(path, "");
  Child child([&](ChildChannel& channel) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit fsize{50, 50};
    setrlimit(RLIMIT_FSIZE, &fsize);
    os::Handle h = os::FileOpen(path, kExclusiveRW);
    std::vector<char> data(100, 'a');
    int64_t n = os::FileWriteAt(h, 0, data.data(), data.size());
    channel.WriteLine(std::to_string(n) + " " + std::to_string(os::LastError()));
    n = os::FileWriteAt(h, 50, data.data(), 10);
    channel.WriteLine(std::to_string(n) + " " + std::to_string(os::LastError()));
    os::FileClose(h);

    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = 16;
    setrlimit(RLIMIT_NOFILE, &files);
    std::vector<os::Handle> handles;
    const unsigned shared = os::fmOpenRead | os::fmShareDenyNone;
    os::Handle last;
    while ((last = os::FileOpen(path, shared)) != os::kInvalidHandle && handles.size() < 64)
      handles.push_back(last);
    channel.WriteLine(std::to_string(os::LastError()));
    return 0;
  });
  EXPECT_EQ(child.Receive(), "50 101");
  EXPECT_EQ(child.Receive(), "-1 101");
  EXPECT_EQ(child.Receive(), "4");
  EXPECT_EQ(child.Wait(), 0);
}

TEST(CaseFallbackTest, ExistingNamesAreFoundWithoutRegardToCase) {
  TempDir dir;
  testsupport::WriteFileText(dir.file("Pct12.DBF"), "template");
  std::string asked = dir.file("pct12.dbf");
  EXPECT_EQ(os::ResolveCase(asked), dir.file("Pct12.DBF"));
  EXPECT_TRUE(os::FileExists(asked));
  EXPECT_FALSE(os::DirectoryExists(asked));
  os::Handle h = os::FileOpen(asked, kExclusiveRW);
  ASSERT_NE(h, os::kInvalidHandle);
  char buf[8];
  EXPECT_EQ(os::FileReadAt(h, 0, buf, 8), 8);
  EXPECT_EQ(std::string(buf, 8), "template");
  os::FileClose(h);
  std::time_t mtime = 0;
  EXPECT_TRUE(os::FileModificationTime(asked, mtime));
  EXPECT_GT(mtime, 0);

  // An exact match wins over another spelling.
  testsupport::WriteFileText(dir.file("pct12.dbf"), "exact");
  EXPECT_EQ(os::ResolveCase(asked), asked);
  EXPECT_EQ(os::ResolveCase(dir.file("PCT12.dbf")), dir.file("PCT12.dbf"));  // two candidates
  EXPECT_EQ(os::FileOpen(dir.file("PCT12.dbf"), kExclusiveRW), os::kInvalidHandle);
  EXPECT_EQ(os::LastError(), os::kErrFileNotFound);

  // Only the last component is matched without case; names without a folder work too.
  std::filesystem::create_directory(dir.file("Sub"));
  testsupport::WriteFileText(dir.file("Sub/a.txt"), "a");
  EXPECT_FALSE(os::FileExists(dir.file("sub/a.txt")));
  EXPECT_TRUE(os::DirectoryExists(dir.file("SUB")));
  EXPECT_EQ(os::ResolveCase("no-such-file-here.xyz"), "no-such-file-here.xyz");

  // Delete uses the fallback as well.
  EXPECT_TRUE(os::DeleteFile(dir.file("Sub/A.TXT")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("Sub/a.txt")));
}

TEST(PathTest, RenameNeverReplaces) {
  TempDir dir;
  testsupport::WriteFileText(dir.file("a.dbf"), "a");
  testsupport::WriteFileText(dir.file("b.dbf"), "b");
  EXPECT_FALSE(os::RenameFile(dir.file("a.dbf"), dir.file("b.dbf")));
  EXPECT_EQ(os::LastError(), os::kErrAlreadyExists);
  EXPECT_EQ(testsupport::ReadFileText(dir.file("b.dbf")), "b");
  EXPECT_TRUE(os::RenameFile(dir.file("A.DBF"), dir.file("c.dbf")));
  EXPECT_EQ(testsupport::ReadFileText(dir.file("c.dbf")), "a");
  EXPECT_FALSE(os::FileExists(dir.file("a.dbf")));
}

TEST(PathTest, ExpandPathIsAbsoluteAndNormalised) {
  std::string cwd = std::filesystem::current_path().string();
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"/a/b/../c/./d.dbf", "/a/c/d.dbf"},
      {"/a//b///c", "/a/b/c"},
      {"/../..", "/"},
      {"/a/b/", "/a/b/"},
      {"x.dbf", cwd + "/x.dbf"},
      {"./sub/../x.dbf", cwd + "/x.dbf"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(os::ExpandPath(c.in), c.out);
  }
}

TEST(TempFileTest, NamesAreUniqueAcrossProcesses) {
  TempDir dir;
  constexpr int kEach = 40;
  Child child([&](ChildChannel& channel) {
    for (int i = 0; i < kEach; ++i) channel.WriteLine(os::CreateUniqueTempFile(dir.path(), "XQP"));
    return 0;
  });
  std::set<std::string> names;
  for (int i = 0; i < kEach; ++i) names.insert(os::CreateUniqueTempFile(dir.path(), "XQP"));
  for (int i = 0; i < kEach; ++i) names.insert(child.Receive());
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(names.size(), 2u * kEach);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(name.rfind(os::ExpandPath(dir.path()) + "/XQP", 0), 0u);
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_TRUE(os::FileExists(name));
    EXPECT_EQ(std::filesystem::file_size(name), 0u);
  }
  EXPECT_EQ(os::CreateUniqueTempFile(dir.file("missing"), "XQP"), "");
  EXPECT_EQ(os::LastError(), os::kErrPathNotFound);
  EXPECT_EQ(os::CreateUniqueTempFile(dir.path(), "a/b"), "");
}

TEST(TempFileTest, TempPathFollowsTmpdir) {
  {
    EnvGuard tmp("TMPDIR", "/var/tmp");
    EXPECT_EQ(os::TempPath(), "/var/tmp/");
  }
  {
    EnvGuard tmp("TMPDIR", "");
    EXPECT_EQ(os::TempPath(), "/tmp/");
  }
  {
    EnvGuard tmp("TMPDIR", nullptr);
    EXPECT_EQ(os::TempPath(), "/tmp/");
  }
}

TEST(PathTest, DiskFreeAndProgramFolder) {
  TempDir dir;
  EXPECT_GT(os::DiskFreeBytes(dir.path()), 0);
  EXPECT_GT(os::DiskFreeBytes(dir.file("not/yet/there.dbf")), 0);  // asks the nearest folder
  EXPECT_GT(os::DiskFreeBytes(""), 0);
  {
    EnvGuard home("AGEMILL_HOME", "/opt/agemill");
    EXPECT_EQ(os::ProgramFolder(), "/opt/agemill/");
  }
  {
    EnvGuard home("AGEMILL_HOME", "");
    std::string folder = os::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(folder + "platform_tests"));
  }
  uint64_t t1 = os::TickCountMs();
  EXPECT_GE(os::TickCountMs(), t1);
}

TEST(SearchTest, PatternsMatchWithoutCase) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*", "a.dbf", true},          {"*.dbf", "A.DBF", true},     {"*.dbf", "a.dbt", false},
      {"a?c", "abc", true},          {"a?c", "ac", false},         {"*.*", "noext", true},
      {"pct12.*", "pct12", true},    {"pct12.*", "pct12.mdx", true}, {"pct12.*", "pct123", false},
      {"XQP*.tmp", "xqpAb12.TMP", true}, {"*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
      {"", "", true},                {"", "a", false},             {"a*", "a", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " / " + c.name);
    EXPECT_EQ(os::MatchesPattern(c.pattern, c.name), c.matches);
  }
}

TEST(SearchTest, FindFirstAndNextListMatchesInNameOrder) {
  TempDir dir;
  testsupport::WriteFileText(dir.file("b.DBF"), "bb");
  testsupport::WriteFileText(dir.file("a.dbf"), "a");
  testsupport::WriteFileText(dir.file("c.txt"), "c");
  std::filesystem::create_directory(dir.file("sub.dbf"));

  os::SearchRecord found;
  os::SearchHandle s = os::FindFirst(dir.file("*.dbf"), found);
  ASSERT_NE(s, os::kInvalidSearch);
  std::vector<std::string> names = {found.name};
  EXPECT_EQ(found.size, 1u);
  EXPECT_FALSE(found.directory);
  while (os::FindNext(s, found)) names.push_back(found.name + (found.directory ? "/" : ""));
  EXPECT_EQ(os::LastError(), os::kErrNoMoreFiles);
  os::FindClose(s);
  EXPECT_EQ(names, (std::vector<std::string>{"a.dbf", "b.DBF", "sub.dbf/"}));

  EXPECT_EQ(os::FindFirst(dir.file("*.mdx"), found), os::kInvalidSearch);
  EXPECT_EQ(os::LastError(), os::kErrFileNotFound);
  EXPECT_EQ(os::FindFirst(dir.file("missing/*"), found), os::kInvalidSearch);
  EXPECT_EQ(os::LastError(), os::kErrPathNotFound);
  EXPECT_FALSE(os::FindNext(s, found));  // closed
  EXPECT_EQ(os::LastError(), os::kErrInvalidHandle);
}

}  // namespace
