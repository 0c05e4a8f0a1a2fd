// The delimited import: the lines and values of the format, storing by field type, long lines
// and values, the end mark, failures counted, and the progress window.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>

#include "engine/dbf/locks.h"
#include "engine/util/dates.h"
#include "tests/support/test_support.h"
#include "tests/bulk/bulk_fixture.h"

namespace bulktest {
namespace {

using namespace morvane;
using testsupport::WriteFileText;
using V = std::vector<std::string>;

class ImportTest : public BulkTest {
 protected:
  // Imports Text (written to a file) into the current area.
  DelimitedImportResult Import(const std::string& text, bool progress = false) {
    WriteFileText(file("in.csv"), text);
    return AppendFromDelimited(file("in.csv"), progress);
  }
  void MakeNcdl() {
    MakeOpen("t", {Fd("NUM", 'N', 5), Fd("NAME", 'C', 20), Fd("WHEN", 'D', 8), Fd("OK", 'L', 1)});
  }
};

TEST_F(ImportTest, ValuesFillTheFieldsInTableOrder) {
  MakeNcdl();
  const DelimitedImportResult r = Import("1,\"Smith, John\",19991231,T\n2,Brown\n");
  ExpectNoError();
  EXPECT_TRUE(r.Opened);
  EXPECT_EQ(r.Appended, 2);
  EXPECT_EQ(r.FailedLines, 0);
  EXPECT_EQ(Rows(), (V{"    1|Smith, John|19991231|T", "    2|Brown||F"}));
}

TEST_F(ImportTest, LinesOfTheFormat) {
  const struct {
    const char* name;
    std::string text;
    V rows;
  } cases[] = {
      {"CR LF", "1,a\r\n2,b\r\n", {"    1|a||F", "    2|b||F"}},
      {"LF", "1,a\n2,b\n", {"    1|a||F", "    2|b||F"}},
      {"CR alone", "1,a\r2,b", {"    1|a||F", "    2|b||F"}},
      {"empty lines add nothing", "\n\r\n1,a\n\n", {"    1|a||F"}},
      {"a line of commas adds a blank record", ",,,\n", {"    0|||F"}},
      {"fewer values leave fields blank", "3\n", {"    3|||F"}},
      {"values beyond the last field are ignored", "4,d,20100704,y,extra,more\n",
       {"    4|d|20100704|T"}},
      {"0x1A at the start of a line ends the input", "1,a\n\x1A" "2,b\n", {"    1|a||F"}},
      {"0x1A inside a line ends the line", "1,a\x1A" "2,b\n", {"    1|a||F", "    2|b||F"}},
      {"the last line needs no end", "5,e", {"    5|e||F"}},
      {"blanks and tabs before a value are dropped, after it kept", " 6, \t f ,", {"    6|f||F"}},
      {"quotes are never copied; inside them commas and blanks are", "7,\" g, h \"",
       {"    7| g, h||F"}},
      {"a doubled quote stands for no quote", "8,\"say \"\"hi\"\"\"", {"    8|say hi||F"}},
      {"text after the closing quote is kept", "9,\"ab\"cd", {"    9|abcd||F"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MakeNcdl();
    const DelimitedImportResult r = Import(c.text);
    ExpectNoError();
    EXPECT_EQ(r.Appended, static_cast<int32_t>(c.rows.size()));
    EXPECT_EQ(Rows(), c.rows);
    CloseArea();
  }
}

TEST_F(ImportTest, ValuesAreStoredByFieldType) {
  const struct {
    char type;
    int width, decimals;
    std::string value, stored;
  } cases[] = {
      {'N', 9, 0, "\"1,234,567\"", "  1234567"},
      {'N', 9, 0, "$42", "       42"},
      {'N', 9, 0, "+17.9", "       17"},  // the whole part
      {'N', 9, 0, "abc", "        0"},
      {'N', 9, 2, "\"$1,234.5\"", "  1234.50"},
      {'N', 4, 0, "123456", "****"},  // too wide for the field
      {'F', 8, 3, "-2.5", "  -2.500"},
      {'D', 8, 0, "20100704", "20100704"},
      {'D', 8, 0, "07/04/10", "20100704"},  // a date text of the current convention
      {'D', 8, 0, "nonsense", "        "},
      {'L', 1, 0, "yes", "T"},
      {'L', 1, 0, "false", "F"},
      {'C', 3, 0, "abcdef", "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.type) + " " + c.value);
    MakeOpen("t", {Fd("V", c.type, c.width, c.decimals)});
    Import(c.value + "\n");
    ExpectNoError();
    ASSERT_EQ(RecCount(), 1);
    EXPECT_EQ(Stored(1, "V"), c.stored);
    CloseArea();
  }
}

TEST_F(ImportTest, AMemoFieldTakesNoValue) {
  MakeOpen("t", {Fd("C", 'C', 3), Fd("M", 'M', 10), Fd("N", 'N', 3)}, 0x83);
  Import("A,5\n");
  ExpectNoError();
  EXPECT_EQ(Rows(), (V{"A||  5"}));
}

TEST_F(ImportTest, LongLinesAreReadWholeAndValuesCutAt255) {
  MakeOpen("t", {Fd("BIG", 'C', 254), Fd("N", 'N', 5), Fd("TAIL", 'C', 10)});
  const std::string mega(1 << 20, 'x');
  std::string quoted = "\"" + std::string(300, 'q') + "\"";
  Import(mega + ",12,end\n" + quoted + ",34\n" + std::string(3000, 'y') + "," + mega + ",tail\n");
  ExpectNoError();
  ASSERT_EQ(RecCount(), 3);
  EXPECT_EQ(Stored(1, "BIG"), std::string(254, 'x'));
  EXPECT_EQ(Stored(1, "N"), "   12");
  EXPECT_EQ(Stored(1, "TAIL"), "end       ");
  EXPECT_EQ(Stored(2, "BIG"), std::string(254, 'q'));
  EXPECT_EQ(Stored(2, "N"), "   34");
  EXPECT_EQ(Stored(3, "N"), "    0");  // a megabyte of x is no number
  EXPECT_EQ(Stored(3, "TAIL"), "tail      ");
}

TEST_F(ImportTest, AFileThatIsNotThereGivesAnEmptyResult) {
  MakeNcdl();
  const DelimitedImportResult r = AppendFromDelimited(file("missing.csv"), true);
  ExpectNoError();
  EXPECT_FALSE(r.Opened);
  EXPECT_EQ(r.Appended, 0);
  EXPECT_EQ(RecCount(), 0);
  WriteFileText(file("plain.txt"), "1,a\n");  // the default extension is TXT
  EXPECT_EQ(AppendFromDelimited(file("plain"), false).Appended, 1);
}

TEST_F(ImportTest, WithErrorCheckOffOnlyAppendedRecordsAreCounted) {
  dbftest::CreateTable(file("t.dbf"), {Fd("N", 'N', 3)});
  Use(file("t.dbf"), nullptr, 0);  // shared: Append needs the append lock, which is not held
  const Bytes before = testsupport::ReadFileBytes(file("t.dbf"));
  const DelimitedImportResult r = Import("1\n2\n3\n");
  EXPECT_EQ(r.Appended, 0);
  EXPECT_EQ(r.FailedLines, 3);
  ExpectError(5, "File must be locked to append");
  EXPECT_EQ(RecCount(), 0);
  EXPECT_EQ(testsupport::ReadFileBytes(file("t.dbf")), before);
  ASSERT_TRUE(ALock());
  const DelimitedImportResult locked = Import("1\n2\n3\n");
  EXPECT_EQ(locked.Appended, 3);
  EXPECT_EQ(locked.FailedLines, 0);
}

// Many lines are appended in large writes; the records, their order, the code-page translation,
// the position afterwards and the file's length must be as with one write a line.
TEST_F(ImportTest, ManyLinesAreAppendedWholeAndInOrder) {
  MakeOpen("t", {Fd("N", 'N', 6), Fd("NAME", 'C', 250)});
  std::string text;
  const int lines = 2500;  // several of the import's large writes
  for (int i = 1; i <= lines; ++i) text += std::to_string(i) + ",K\xF6ln " + std::to_string(i) + "\n";
  const DelimitedImportResult r = Import(text);
  ExpectNoError();
  EXPECT_EQ(r.Appended, lines);
  EXPECT_EQ(r.FailedLines, 0);
  EXPECT_EQ(RecNo(), lines);
  EXPECT_FALSE(dEOF());
  int32_t last = 0;
  std::memcpy(&last, FieldAddress(1), sizeof last);
  EXPECT_EQ(last, lines);  // the typed record holds the last record
  for (int n : {1, 2, 1000, lines}) {
    const std::string number = std::to_string(n);
    EXPECT_EQ(Stored(n, "N"), std::string(6 - number.size(), ' ') + number);
    EXPECT_EQ(Stored(n, "NAME").substr(0, 12), "K\xF6ln " + number + std::string(7 - number.size(), ' '));
  }
  CloseArea();
  const Bytes bytes = testsupport::ReadFileBytes(file("t.dbf"));
  EXPECT_EQ(bytes.size(), 97u + static_cast<size_t>(lines) * 257 + 1);
  EXPECT_EQ(bytes.back(), 0x1A);
}

// The import appends many lines in one write only where Append would do nothing but write, and
// then encodes each record straight from the line (plain whole numbers without the typed record
// at all). Whatever the values, the table must hold byte for byte what one Append a line writes
// (with FlushAfterWrite on, the import appends line by line).
TEST_F(ImportTest, RecordsWrittenInLargeWritesAreThoseOfOneAppendALine) {
  // Numeric fields whose ends lie before and after the record's eighth byte, all widths the fast
  // path cares about, decimals, and every other type between them.
  const std::vector<FieldDescriptor> fields = {
      Fd("A", 'N', 1),  Fd("B", 'N', 3),  Fd("C", 'C', 2),  Fd("D", 'N', 7), Fd("E", 'N', 9),
      Fd("F", 'N', 4),  Fd("G", 'N', 8, 2), Fd("H", 'F', 6), Fd("I", 'D', 8), Fd("J", 'L', 1),
      Fd("K", 'M', 10), Fd("L", 'N', 2),  Fd("M", 'C', 12), Fd("N", 'N', 10), Fd("O", 'N', 5)};
  // Values around every edge of the fast path: lengths 0 to 10 digits, leading zeros, signs,
  // blanks, quotes, separators, bytes above 0x7F.
  const std::vector<std::string> values = {
      "",     "0",        "7",         "00",         "05",         "42",          "999",
      "1000", "1234567",  "12345678",  "123456789",  "1234567890", "99999999999", "-3",
      "+4",   " 12",      "12 ",       "\t8",        "\"77\"",     "\"1,234\"",    "1.5",
      "3.",   "-0",       "1e3",       "$42",        "x",          "K\xF6ln",     "0000012",
      "20100704",         "T",         "n"};
  uint64_t state = 12345;
  const auto next = [&state](uint64_t n) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return (state >> 33) % n;
  };
  std::string text;
  for (int line = 0; line < 1000; ++line) {
    const size_t count = next(fields.size() + 3);  // lines short and long, and past the fields
    for (size_t v = 0; v < count; ++v) {
      if (v > 0) text += ',';
      text += values[next(values.size())];
    }
    text += next(4) == 0 ? "\r\n" : "\n";
  }
  Bytes tables[2];
  for (const bool oneByOne : {true, false}) {
    SCOPED_TRACE(oneByOne ? "one by one" : "in large writes");
    DbfSettings.FlushAfterWrite = oneByOne;
    MakeOpen("t", fields, 0x83);
    const DelimitedImportResult r = Import(text);
    ExpectNoError();
    EXPECT_EQ(r.FailedLines, 0);
    CloseArea();
    DbfSettings.FlushAfterWrite = false;
    tables[oneByOne ? 0 : 1] = testsupport::ReadFileBytes(file("t.dbf"));
  }
  ASSERT_EQ(tables[0].size(), tables[1].size());
  EXPECT_TRUE(tables[0] == tables[1]) << "the tables differ";
}

// A write that fails part way: the records that fit are appended, each further line is counted
// as failed, and the table closes with the right count and length.
TEST_F(ImportTest, AFailedWriteAppendsWhatFitsAndKeepsTheTableWhole) {
  MakeOpen("t", {Fd("N", 'N', 3)});  // header 65 bytes, records of 4
  DelimitedImportResult r;
  {
    testsupport::FileSizeLimit limit(65 + 5 * 4 + 2);  // room for five records and part of a sixth
    r = Import("1\n2\n3\n4\n5\n6\n7\n8\n9\n");
  }
  EXPECT_EQ(r.Appended, 5);
  EXPECT_EQ(r.FailedLines, 4);
  EXPECT_NE(Errors.DbfError, 0);
  EXPECT_EQ(RecCount(), 5);
  EXPECT_EQ(Rows(), (V{"  1", "  2", "  3", "  4", "  5"}));
  Errors.DbfError = 0;
  CloseArea();
  ExpectNoError();
  const Bytes bytes = testsupport::ReadFileBytes(file("t.dbf"));
  EXPECT_EQ(bytes.size(), 65u + 5 * 4 + 1);
  EXPECT_EQ(bytes[4], 5);
  EXPECT_EQ(bytes.back(), 0x1A);
}

TEST_F(ImportTest, AnErrorThatRaisesReleasesTheFileAndTheWindow) {
  static int opened, closed;
  opened = closed = 0;
  ProgressHooks.Open = +[](const std::string&) { ++opened; };
  ProgressHooks.Close = +[]() { ++closed; };
  dbftest::CreateTable(file("t.dbf"), {Fd("N", 'N', 3)});
  Use(file("t.dbf"), nullptr, 0);
  SetErrorCheck(true);
  SetRaiseErrors(true);
  EXPECT_THROW(Import("1\n2\n", true), EMorvaneError);
  SetErrorCheck(false);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(closed, 1);
  // The text file is closed: an exclusive open succeeds.
  const platform::os::Handle h = platform::os::FileOpen(file("in.csv"), 0x12);
  EXPECT_NE(h, platform::os::kInvalidHandle);
  platform::os::FileClose(h);
}

TEST_F(ImportTest, TheProgressWindowStepsWithEveryHundredthOfTheFile) {
  static std::vector<std::string> events;
  static int steps;
  events.clear();
  ProgressHooks.Open = +[](const std::string& caption) { events.push_back("open " + caption); };
  ProgressHooks.Step = +[]() { ++steps; };
  ProgressHooks.Close = +[]() { events.push_back("close " + std::to_string(steps)); };
  const struct {
    std::string text;
    bool show;
    V events;
  } cases[] = {
      {[] {
         std::string s;
         for (int i = 0; i < 1000; ++i) s += std::to_string(i) + ",name\n";
         return s;
       }(),
       true, {"open Appending...", "close 100"}},
      {"1,a\n2,b\n", true, {"open Appending...", "close 100"}},  // a small file fills it too
      {"1,a\n", false, {}},
  };
  for (const auto& c : cases) {
    events.clear();
    steps = 0;
    MakeNcdl();
    Import(c.text, c.show);
    EXPECT_EQ(events, c.events);
    CloseArea();
  }
}

}  // namespace
}  // namespace bulktest
