// The settings: reading with keys in any case, the integer rule, the age limits, and writing that
// keeps the rest of the file.
#include "app/tract1/settings.h"

#include <gtest/gtest.h>

#include "platform/os/exception.h"
#include "tests/app/app_fixture.h"

namespace {

using app::TSettings;
using testsupport::ReadFileText;
using testsupport::TempDir;
using testsupport::WriteFileText;

TEST(Settings, WithoutAFileEverySettingKeepsItsInitialValue) {
  TempDir dir;
  TSettings s;
  app::ReadSettingsFile(dir.file("agemill.ini"), s);
  EXPECT_EQ(s.optfile1, "");
  EXPECT_EQ(s.optfile2, "");
  EXPECT_EQ(s.optfile3, "");
  EXPECT_EQ(s.opt4, "");
  EXPECT_EQ(s.databasename, "");
  EXPECT_EQ(s.age1(), 0);
  EXPECT_EQ(s.age2(), 0);
  EXPECT_EQ(s.age1Text(), "0");
  EXPECT_EQ(s.age2Text(), "0");
  EXPECT_EQ(s.database1, 0);
  EXPECT_EQ(s.griddisplay1, 0);
}

TEST(Settings, ReadsEveryKeyWhateverItsCase) {
  TempDir dir;
  WriteFileText(dir.file("agemill.ini"),
                "[Folders]\r\n"
                "OPTFILE1=c:\\ax\\\r\n"
                "optfile2=c:\\out\\\r\n"
                "Optfile3=/data/geolist.txt\r\n"
                "opt4=sumlev='040'\r\n"
                "Age1=5\r\n"
                "age2=0x11\r\n"
                "DatabaseName=cn_2010_us_dpsf.dbf\r\n"
                "Database1=3\r\n"
                "Griddisplay1=2\r\n");
  TSettings s;
  app::ReadSettingsFile(dir.file("agemill.ini"), s);
  EXPECT_EQ(s.optfile1, "c:\\ax\\");
  EXPECT_EQ(s.optfile2, "c:\\out\\");
  EXPECT_EQ(s.optfile3, "/data/geolist.txt");
  EXPECT_EQ(s.opt4, "sumlev='040'");
  EXPECT_EQ(s.age1(), 5);
  EXPECT_EQ(s.age1Text(), "5");
  EXPECT_EQ(s.age2(), 17);
  EXPECT_EQ(s.age2Text(), "17");
  EXPECT_EQ(s.databasename, "cn_2010_us_dpsf.dbf");
  EXPECT_EQ(s.database1, 3);
  EXPECT_EQ(s.griddisplay1, 2);
}

TEST(Settings, BadOrMissingValuesKeepTheCurrentOnesAndAgesStayInRange) {
  struct Case {
    const char* line;
    int database1, age1;
    const char* age1Text;
  } cases[] = {
      {"database1=0x0A", 10, 40, "40"},
      {"database1=three", 7, 40, "40"},   // not a number: the current value stays
      {"database1=", 7, 40, "40"},
      {"Database1=4", 4, 40, "40"},
      {"age1=lots", 7, 40, "40"},
      {"age1=150", 7, 100, "100"},        // a hand-edited age beyond the last age category
      {"age1=-3", 7, 0, "0"},
      {"age1=0x64", 7, 100, "100"},
      {"[Other]\r\ndatabase1=9", 7, 40, "40"},  // another section
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFileText(dir.file("agemill.ini"), std::string("[Folders]\r\n") + c.line + "\r\n");
    TSettings s;
    s.database1 = 7;
    s.SetAge1(40);
    app::ReadSettingsFile(dir.file("agemill.ini"), s);
    EXPECT_EQ(s.database1, c.database1) << c.line;
    EXPECT_EQ(s.age1(), c.age1) << c.line;
    EXPECT_EQ(s.age1Text(), c.age1Text) << c.line;
  }
}

TEST(Settings, WritingKeepsOtherSectionsAndKeysAndReadsBack) {
  TempDir dir;
  const std::string file = dir.file("agemill.ini");
  WriteFileText(file,
                "[Window]\r\nleft=10\r\n\r\n"
                "[Folders]\r\nDatabase1=3\r\nextra=keep me\r\n\r\n"
                "[Recent]\r\nfile1=/a.dbf\r\n");
  TSettings s;
  s.optfile1 = "c:\\ax\\";
  s.optfile2 = "c:\\ax\\";
  s.optfile3 = "c:\\ax\\geolist.txt";
  s.opt4 = "sumlev='040'";
  s.SetAge1(18);
  s.SetAge2(64);
  s.database1 = 2;
  s.griddisplay1 = 1;
  s.databasename = "cn_2010_us_dpsf.dbf";
  app::WriteSettingsFile(file, s);
  EXPECT_EQ(ReadFileText(file),
            "[Window]\r\nleft=10\r\n\r\n"
            "[Folders]\r\ndatabase1=2\r\nextra=keep me\r\noptfile1=c:\\ax\\\r\noptfile2=c:\\ax\\\r\n"
            "optfile3=c:\\ax\\geolist.txt\r\nopt4=sumlev='040'\r\nage1=18\r\nage2=64\r\n"
            "griddisplay1=1\r\ndatabasename=cn_2010_us_dpsf.dbf\r\n\r\n"
            "[Recent]\r\nfile1=/a.dbf\r\n");

  TSettings back;
  app::ReadSettingsFile(file, back);
  EXPECT_EQ(back.optfile3, s.optfile3);
  EXPECT_EQ(back.opt4, s.opt4);
  EXPECT_EQ(back.age1(), 18);
  EXPECT_EQ(back.age2Text(), "64");
  EXPECT_EQ(back.database1, 2);
  EXPECT_EQ(back.griddisplay1, 1);
  EXPECT_EQ(back.databasename, s.databasename);
}

TEST(Settings, ANewFileGetsTheKeysInTheirWritingOrder) {
  TempDir dir;
  TSettings s;
  app::WriteSettingsFile(dir.file("agemill.ini"), s);
  EXPECT_EQ(ReadFileText(dir.file("agemill.ini")),
            "[Folders]\r\noptfile1=\r\noptfile2=\r\noptfile3=\r\nopt4=\r\nage1=0\r\nage2=0\r\n"
            "database1=0\r\ngriddisplay1=0\r\ndatabasename=\r\n");
  EXPECT_THROW(app::WriteSettingsFile(dir.file("missing/agemill.ini"), s), platform::Exception);
  EXPECT_EQ(app::SettingsFileName("/opt/agemill/"), "/opt/agemill/agemill.ini");
}

}  // namespace
