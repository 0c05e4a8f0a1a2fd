#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdint>
#include <ctime>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/startup.h"
#include "platform/os/files.h"
#include "tests/support/test_support.h"
#include "tests/util/util_test_env.h"

namespace {

using morvane::Errors;
using testsupport::TempDir;

class FilesTest : public utiltest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    morvane::SetErrorCheck(false);  // failures are only recorded here
  }
  std::string Make(const std::string& name, const std::string& text = "x") {
    const std::string path = dir_.file(name);
    testsupport::WriteFileText(path, text);
    return path;
  }
  TempDir dir_;
};

TEST_F(FilesTest, SplitPath) {
  struct Case {
    std::string path, dir, name, ext;
  };
  const Case cases[] = {
      {"/a/b/c.dbf", "/a/b/", "c", ".dbf"}, {"c.dbf", "", "c", ".dbf"},
      {"/a/b/", "/a/b/", "", ""},           {"/a.b/c", "/a.b/", "c", ""},
      {"x.tar.gz", "", "x.tar", ".gz"},     {"name.", "", "name", "."},
      {"/top", "/", "top", ""},             {"", "", "", ""},
      // Long names are kept whole.
      {"d/" + std::string(100, 'n') + "." + std::string(70, 'e'), "d/", std::string(100, 'n'),
       "." + std::string(70, 'e')},
  };
  for (const Case& c : cases) {
    const morvane::PathParts parts = morvane::SplitPath(c.path);
    EXPECT_EQ(parts.Dir, c.dir) << c.path;
    EXPECT_EQ(parts.Name, c.name) << c.path;
    EXPECT_EQ(parts.Ext, c.ext) << c.path;
  }
}

TEST_F(FilesTest, DefaultForceAndRemoveExtension) {
  struct Case {
    const char* path;
    const char* ext;
    const char* withDefault;
    const char* forced;
    const char* removed;
  };
  const Case cases[] = {
      {"pct12", "DBF", "pct12.dbf", "pct12.dbf", "pct12"},
      {"PCT12", "DBF", "PCT12.DBF", "PCT12.DBF", "PCT12"},
      {"Pct12", "DBF", "Pct12.DBF", "Pct12.DBF", "Pct12"},
      {"pct12.dbf", "MDX", "pct12.dbf", "pct12.mdx", "pct12"},
      {"PCT12.DBF", "MDX", "PCT12.DBF", "PCT12.MDX", "PCT12"},
      {"name.", "DBF", "name.", "name.dbf", "name"},
      {"Data/x.y/name", "MDX", "Data/x.y/name.mdx", "Data/x.y/name.mdx", "Data/x.y/name"},
      {"name  ", "DBF", "name.dbf", "name  .dbf", "name  "},
      {"t", "@S@", "t.@s@", "t.@s@", "t"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(morvane::DefaultExtension(c.path, c.ext), c.withDefault) << c.path;
    EXPECT_EQ(morvane::ForceExtension(c.path, c.ext), c.forced) << c.path;
    EXPECT_EQ(morvane::RemoveExtension(c.path), c.removed) << c.path;
  }
}

TEST_F(FilesTest, PathNamesOfExistingAndMissingPaths) {
  const std::string file = Make("Table.dbf");
  EXPECT_EQ(morvane::ShortPathName(file), file);
  EXPECT_EQ(morvane::LongPathName(dir_.path()), dir_.path());
  EXPECT_EQ(morvane::LongPathName(dir_.file("TABLE.DBF")), file);  // as found on disk
  EXPECT_EQ(morvane::ShortPathName(dir_.file("missing.dbf")), "");
  EXPECT_EQ(morvane::LongPathName(dir_.file("missing/Table.dbf")), "");
  EXPECT_EQ(morvane::LongPathName(""), "");
  EXPECT_EQ(morvane::ExpandPath("/a/./b/../c"), "/a/c");
}

TEST_F(FilesTest, FileExistsAndFromToday) {
  const std::string file = Make("today.dbf");
  EXPECT_TRUE(morvane::FileExists(file));
  EXPECT_FALSE(morvane::FileExists(dir_.file("none.dbf")));
  EXPECT_FALSE(morvane::FileExists(dir_.path()));  // a folder is not a file
  EXPECT_TRUE(morvane::FileIsFromToday(file));

  const std::string old = Make("old.dbf");
  utimbuf times{};
  times.actime = times.modtime = std::time(nullptr) - 3 * 24 * 3600;
  ASSERT_EQ(utime(old.c_str(), &times), 0);
  EXPECT_FALSE(morvane::FileIsFromToday(old));
  EXPECT_FALSE(morvane::FileIsFromToday(dir_.file("none.dbf")));

  // Held exclusively by another handle: it cannot be opened shared, so it does not count.
  const platform::os::Handle h = platform::os::FileOpen(
      file, platform::os::fmOpenReadWrite | platform::os::fmShareExclusive);
  ASSERT_NE(h, platform::os::kInvalidHandle);
  EXPECT_FALSE(morvane::FileIsFromToday(file));
  platform::os::FileClose(h);
}

TEST_F(FilesTest, EraseFileRefusesAFileInUse) {
  const std::string file = Make("busy.dbf");
  for (unsigned sharing : {platform::os::fmShareDenyNone, platform::os::fmShareExclusive}) {
    const platform::os::Handle h = platform::os::FileOpen(file, platform::os::fmOpenRead | sharing);
    ASSERT_NE(h, platform::os::kInvalidHandle);
    EXPECT_EQ(morvane::EraseFile(file), 32u);
    EXPECT_TRUE(morvane::FileExists(file));
    platform::os::FileClose(h);
  }
  EXPECT_EQ(morvane::EraseFile(file), 0u);
  EXPECT_FALSE(morvane::FileExists(file));
  EXPECT_EQ(morvane::EraseFile(file), 2u);
}

TEST_F(FilesTest, EraseFilesByNameAndPattern) {
  // One name that does not exist: reported with its code.
  morvane::EraseFiles(dir_.file("none.@S@"));
  EXPECT_EQ(Errors.DbfError, 2);
  EXPECT_EQ(morvane::TakeErrorDetail(), "Error erasing " + dir_.file("none.@S@"));

  // A pattern that matches nothing: no error, and a former code is cleared.
  morvane::EraseFiles(dir_.file("*.tmp"));
  EXPECT_EQ(Errors.DbfError, 0);

  const std::string a = Make("a.tmp"), b = Make("B.TMP"), keep = Make("keep.dbf");
  ASSERT_EQ(::mkdir(dir_.file("sub.tmp").c_str(), 0700), 0);
  const std::string busy = Make("busy.tmp");
  const platform::os::Handle h =
      platform::os::FileOpen(busy, platform::os::fmOpenRead | platform::os::fmShareDenyNone);
  ASSERT_NE(h, platform::os::kInvalidHandle);
  morvane::EraseFiles(dir_.file("*.tmp"));
  EXPECT_EQ(Errors.DbfError, 5);
  EXPECT_EQ(morvane::TakeErrorDetail(), "Could not erase 1 files like " + dir_.file("*.tmp"));
  EXPECT_FALSE(morvane::FileExists(a));
  EXPECT_FALSE(morvane::FileExists(b));
  EXPECT_TRUE(morvane::FileExists(busy));
  EXPECT_TRUE(morvane::FileExists(keep));
  EXPECT_TRUE(platform::os::DirectoryExists(dir_.file("sub.tmp")));
  platform::os::FileClose(h);

  // "?" matches one character.
  morvane::EraseFiles(dir_.file("bus?.tmp"));
  EXPECT_EQ(Errors.DbfError, 0);
  EXPECT_FALSE(morvane::FileExists(busy));
}

TEST_F(FilesTest, UniqueFilenamesAreNewEmptyFiles) {
  utiltest::ScopedEnv env;
  env.Set("TMPDIR", dir_.path());
  std::set<std::string> names;
  for (int i = 0; i < 20; ++i) {
    const std::string name = morvane::UniqueFilename();
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(name.rfind(dir_.path() + "/XQP", 0), 0u) << name;
    EXPECT_TRUE(morvane::FileExists(name));
    EXPECT_TRUE(testsupport::ReadFileText(name).empty());
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 20u);
  EXPECT_EQ(Errors.DbfError, 0);

  env.Set("TMPDIR", dir_.file("no/such/folder"));
  EXPECT_EQ(morvane::UniqueFilename(), "");
  EXPECT_EQ(Errors.DbfError, 3);
  EXPECT_EQ(morvane::TakeErrorDetail(), "Error requesting unique file name [UniqueFilename]");
}

TEST_F(FilesTest, DiskFree) {
  const int32_t kb = morvane::DiskFreeKB(dir_.path());
  EXPECT_GT(kb, 0);
  EXPECT_GT(morvane::DiskFreeKB(""), 0);
  EXPECT_GT(morvane::DiskFreeKBOfDrive(0), 0);
  EXPECT_LE(kb, std::numeric_limits<int32_t>::max());
}

TEST_F(FilesTest, DirectorySearch) {
  Make("a.dbf");
  Make("B.DBF");
  Make("c.txt");
  ASSERT_EQ(::mkdir(dir_.file("d.dbf").c_str(), 0700), 0);

  auto search = [&](unsigned attr) {
    std::vector<std::string> found;
    morvane::TSearchRec rec;
    for (int rc = morvane::FindFirstFile(dir_.file("*.dbf"), attr, rec); rc == 0;
         rc = morvane::FindNextFile(rec)) {
      found.push_back(rec.Name + ((rec.Attr & morvane::faDirectory) ? "/" : ""));
    }
    EXPECT_EQ(morvane::Settings.SearchResult, 18);
    morvane::FindClose(rec);
    morvane::FindClose(rec);  // twice is harmless
    return found;
  };
  EXPECT_EQ(search(morvane::faArchive), (std::vector<std::string>{"B.DBF", "a.dbf"}));
  EXPECT_EQ(search(morvane::faArchive | morvane::faDirectory),
            (std::vector<std::string>{"B.DBF", "a.dbf", "d.dbf/"}));

  morvane::TSearchRec rec;
  EXPECT_EQ(morvane::FindFirstFile(dir_.file("*.mdx"), morvane::faArchive, rec), 2);
  EXPECT_EQ(morvane::Settings.SearchResult, 2);
  EXPECT_EQ(morvane::FindNextFile(rec), 18);  // after a failed start: no crash
  morvane::FindClose(rec);
}

TEST_F(FilesTest, CalendarHelpers) {
  struct Leap {
    int year;
    bool leap;
  };
  for (const Leap& c : {Leap{1900, false}, Leap{2000, true}, Leap{2004, true}, Leap{2001, false},
                        Leap{2100, false}, Leap{2400, true}, Leap{0, true}}) {
    EXPECT_EQ(morvane::IsLeapYear(c.year), c.leap) << c.year;
  }
  struct Mod {
    int64_t a, b, r;
  };
  for (const Mod& c : {Mod{7, 3, 1}, Mod{-7, 3, 2}, Mod{7, -3, -2}, Mod{-7, -3, -1}, Mod{0, 5, 0},
                       Mod{-21, 7, 0}, Mod{5, 0, 0},
                       Mod{std::numeric_limits<int64_t>::min(), -1, 0}}) {
    EXPECT_EQ(morvane::FloorMod(c.a, c.b), c.r) << c.a << " mod " << c.b;
  }

  const morvane::TodayDate today = morvane::Today();
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(today.Year, local.tm_year + 1900);
  EXPECT_EQ(today.Month, local.tm_mon + 1);
  EXPECT_EQ(today.Day, local.tm_mday);
  // Day number since 1 January of year 1 (day 1), modulo 7, plus 1.
  int64_t days = 0;
  for (int y = 1; y < today.Year; ++y) days += morvane::IsLeapYear(y) ? 366 : 365;
  const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int m = 1; m < today.Month; ++m) days += monthDays[m - 1] + (m == 2 && morvane::IsLeapYear(today.Year));
  days += today.Day;
  EXPECT_EQ(today.WeekDay, days % 7 + 1);

  const uint32_t first = morvane::SecondsSinceStart();
  EXPECT_GE(morvane::SecondsSinceStart(), first);
}

}  // namespace
