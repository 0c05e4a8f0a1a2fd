// Settings files: reading with defaults, names without regard to case, the integer rule, and
// writing that keeps every other line.
#include <gtest/gtest.h>

#include <climits>

#include "platform/ini/ini_file.h"
#include "platform/os/exception.h"
#include "tests/support/test_support.h"

namespace {

using platform::ini::IniFile;
using testsupport::ReadFileText;
using testsupport::TempDir;
using testsupport::WriteFileText;

TEST(IniRead, MissingFileSectionOrKeyGivesTheDefault) {
  TempDir dir;
  IniFile missing(dir.file("none.ini"));
  EXPECT_EQ(missing.ReadString("Folders", "optfile1", "dflt"), "dflt");
  EXPECT_EQ(missing.ReadInteger("Folders", "age1", 7), 7);
  EXPECT_FALSE(missing.SectionExists("Folders"));

  WriteFileText(dir.file("a.ini"), "[Other]\noptfile1=x\n[Folders]\nage2=3\n");
  IniFile ini(dir.file("a.ini"));
  EXPECT_EQ(ini.ReadString("Folders", "optfile1", "dflt"), "dflt");  // only in another section
  EXPECT_EQ(ini.ReadString("Nowhere", "age2", "d"), "d");
  EXPECT_EQ(ini.ReadInteger("Folders", "age2", 0), 3);
  EXPECT_TRUE(ini.ValueExists("folders", "AGE2"));
  EXPECT_FALSE(ini.ValueExists("Folders", "age1"));
}

TEST(IniRead, SectionAndKeyNamesMatchWithoutRegardToCase) {
  TempDir dir;
  struct Case {
    const char* fileText;
    const char* section;
    const char* key;
  } cases[] = {
      {"[Folders]\nDatabase1=4\n", "Folders", "database1"},
      {"[Folders]\ndatabase1=4\n", "Folders", "Database1"},
      {"[FOLDERS]\nDATABASE1=4\n", "folders", "database1"},
      {"  [ Folders ]  \r\n  database1 =  4  \r\n", "Folders", "DataBase1"},
  };
  for (const Case& c : cases) {
    WriteFileText(dir.file("s.ini"), c.fileText);
    IniFile ini(dir.file("s.ini"));
    EXPECT_EQ(ini.ReadInteger(c.section, c.key, -1), 4) << c.fileText;
  }
}

TEST(IniRead, ValuesAreTrimmedAndUnquotedAndTheFirstOccurrenceCounts) {
  TempDir dir;
  WriteFileText(dir.file("v.ini"),
                "orphan=before any section\n"
                "[Folders]\n"
                "; optfile1=commented out\n"
                "optfile1=  c:\\ax\\  \n"
                "optfile2=\"  quoted  \"\n"
                "optfile3='x'\n"
                "opt4=sumlev='040'\n"
                "optfile1=second\n"
                "databasename=\n"
                "no equals sign here\n"
                "[Folders]\n"
                "opt5=in a repeated section\n");
  IniFile ini(dir.file("v.ini"));
  EXPECT_EQ(ini.ReadString("Folders", "optfile1", ""), "c:\\ax\\");
  EXPECT_EQ(ini.ReadString("Folders", "optfile2", ""), "  quoted  ");
  EXPECT_EQ(ini.ReadString("Folders", "optfile3", ""), "x");
  EXPECT_EQ(ini.ReadString("Folders", "opt4", ""), "sumlev='040'");
  EXPECT_EQ(ini.ReadString("Folders", "databasename", "dflt"), "");  // present but empty
  EXPECT_EQ(ini.ReadString("Folders", "opt5", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("", "orphan", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Folders", "; optfile1", "dflt"), "dflt");
}

TEST(IniRead, IntegersAreDecimalOrHexadecimalElseTheDefault) {
  struct Case {
    const char* text;
    bool isNumber;
    int value;
  } cases[] = {
      {"12", true, 12},           {"-7", true, -7},          {"+5", true, 5},
      {"0", true, 0},             {"0x1F", true, 31},        {"0X10", true, 16},
      {"0xff", true, 255},        {"0x7FFFFFFF", true, INT_MAX},
      {"0xFFFFFFFF", true, -1},   {"2147483647", true, INT_MAX},
      {"-2147483648", true, INT_MIN},
      {"2147483648", false, 0},   {"99999999999999999999", false, 0},
      {"0x", false, 0},           {"0x123456789", false, 0}, {"0xG1", false, 0},
      {"abc", false, 0},          {"12abc", false, 0},       {"1 2", false, 0},
      {"", false, 0},             {"-", false, 0},           {"$10", false, 0},
      {"1.5", false, 0},
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFileText(dir.file("i.ini"), std::string("[Folders]\nage1=") + c.text + "\n");
    IniFile ini(dir.file("i.ini"));
    int expected = c.isNumber ? c.value : 4242;
    EXPECT_EQ(ini.ReadInteger("Folders", "age1", 4242), expected) << "\"" << c.text << "\"";
  }
}

TEST(IniWrite, KeepsEveryOtherLineAndReplacesTheKeyInPlace) {
  TempDir dir;
  const std::string before =
      "; settings of Agemill\r\n"
      "[Other]\r\n"
      "database1=99\r\n"
      "\r\n"
      "[Folders]\r\n"
      "optfile1=c:\\ax\\\r\n"
      "Database1=3\r\n"
      "opt4 = sumlev='040'\r\n"
      "\r\n"
      "[Last]\r\n"
      "k=v";  // no line end
  WriteFileText(dir.file("w.ini"), before);
  IniFile ini(dir.file("w.ini"));
  ini.WriteInteger("Folders", "database1", 5);
  EXPECT_EQ(ReadFileText(dir.file("w.ini")),
            "; settings of Agemill\r\n[Other]\r\ndatabase1=99\r\n\r\n[Folders]\r\n"
            "optfile1=c:\\ax\\\r\ndatabase1=5\r\nopt4 = sumlev='040'\r\n\r\n[Last]\r\nk=v");

  ini.WriteString("folders", "age1", "18");  // a new key goes after the section's last line
  ini.WriteString("Last", "k2", "v2");       // after a last line without line end
  ini.WriteString("New", "x", "1");          // a new section at the end
  EXPECT_EQ(ReadFileText(dir.file("w.ini")),
            "; settings of Agemill\r\n[Other]\r\ndatabase1=99\r\n\r\n[Folders]\r\n"
            "optfile1=c:\\ax\\\r\ndatabase1=5\r\nopt4 = sumlev='040'\r\nage1=18\r\n\r\n"
            "[Last]\r\nk=v\r\nk2=v2\r\n\r\n[New]\r\nx=1\r\n");
  EXPECT_EQ(ini.ReadInteger("Other", "database1", 0), 99);
  EXPECT_EQ(ini.ReadInteger("Folders", "Database1", 0), 5);
}

TEST(IniWrite, CreatesAMissingFileAndFollowsTheFilesLineEnds) {
  TempDir dir;
  IniFile fresh(dir.file("new.ini"));
  fresh.WriteString("Folders", "optfile1", "a");
  fresh.WriteInteger("Folders", "age1", -3);
  EXPECT_EQ(ReadFileText(dir.file("new.ini")), "[Folders]\r\noptfile1=a\r\nage1=-3\r\n");

  WriteFileText(dir.file("lf.ini"), "[Folders]\noptfile1=a\n");
  IniFile lf(dir.file("lf.ini"));
  lf.WriteString("Folders", "optfile2", "b");
  EXPECT_EQ(ReadFileText(dir.file("lf.ini")), "[Folders]\noptfile1=a\noptfile2=b\n");
}

TEST(IniWrite, EveryValueReadsBackUnchanged) {
  TempDir dir;
  IniFile ini(dir.file("r.ini"));
  for (const char* value : {"", "plain", "  blanks  ", "'quoted'", "\"dq\"", "\"", "a=b;c",
                            "c:\\ax\\", "caf\xE9", "\t"}) {
    ini.WriteString("Folders", "opt4", value);
    EXPECT_EQ(ini.ReadString("Folders", "opt4", "dflt"), value) << "[" << value << "]";
  }
  ini.WriteString("Folders", "opt4", "plain");
  EXPECT_EQ(ReadFileText(dir.file("r.ini")), "[Folders]\r\nopt4=plain\r\n");
}

TEST(IniWrite, FailuresAreReportedAndNothingIsCorrupted) {
  TempDir dir;
  IniFile nowhere(dir.file("no/such/folder/x.ini"));
  EXPECT_THROW(nowhere.WriteString("Folders", "optfile1", "a"), platform::Exception);

  WriteFileText(dir.file("k.ini"), "[Folders]\nopt4=q\n");
  IniFile ini(dir.file("k.ini"));
  EXPECT_THROW(ini.WriteString("Folders", "opt4", "two\nlines"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("Folders", "a=b", "x"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("Fol]ders", "a", "x"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("Folders", "", "x"), std::invalid_argument);
  EXPECT_THROW(ini.WriteString("Folders", ";key", "x"), std::invalid_argument);
  EXPECT_EQ(ReadFileText(dir.file("k.ini")), "[Folders]\nopt4=q\n");
}

}  // namespace
