// morvane eval: one value line per record asked for, and engine errors for bad expressions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/cli_run.h"
#include "tests/support/test_support.h"

namespace {

using ::testing::HasSubstr;

// A dBASE III table with C(3) SUMLEV, C(1) RACE, N(9,0) POP, D BORN, L OK, N(7,2) RATE and two
// records, written byte by byte.
std::string WriteTable(const testsupport::TempDir& dir) {
  struct Field {
    const char* name;
    char type;
    uint8_t width, decimals;
  };
  const Field fields[] = {{"SUMLEV", 'C', 3, 0}, {"RACE", 'C', 1, 0}, {"POP", 'N', 9, 0},
                          {"BORN", 'D', 8, 0},   {"OK", 'L', 1, 0},   {"RATE", 'N', 7, 2}};
  const std::string records[] = {
      " 050A     1234" "20100105" "T" "  12.50",
      " 040          " "        " "F" "       ",
  };
  const uint16_t header = 32 + 32 * 6 + 1, length = 1 + 3 + 1 + 9 + 8 + 1 + 7;
  testsupport::Bytes b = {0x03, 110, 1, 1, 2, 0, 0, 0, header & 0xFF, header >> 8,
                          length & 0xFF, length >> 8};
  b.resize(32, 0);
  for (const Field& f : fields) {
    testsupport::Bytes d(32, 0);
    std::copy(f.name, f.name + std::string(f.name).size(), d.begin());
    d[11] = static_cast<uint8_t>(f.type);
    d[16] = f.width;
    d[17] = f.decimals;
    b.insert(b.end(), d.begin(), d.end());
  }
  b.push_back(0x0D);
  for (const std::string& r : records) b.insert(b.end(), r.begin(), r.end());
  b.push_back(0x1A);
  const std::string path = dir.file("ax.dbf");
  testsupport::WriteFileBytes(path, b);
  return path;
}

clitest::RunResult Eval(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"eval"};
  all.insert(all.end(), args.begin(), args.end());
  return clitest::Run(MORVANE_PATH, all);
}

TEST(MorvaneEvalTest, PrintsTheTypeLetterAndTheValue) {
  testsupport::TempDir dir;
  const std::string table = WriteTable(dir);
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{table, "sumlev + race"}, "C 050A\n"},
      {{table, "race == \"A\""}, "L .T.\n"},
      {{table, "pop + 1"}, "N 1235.00\n"},
      {{table, "pop"}, "N 1234\n"},
      {{table, "rate", "--recno", "2"}, "N 0.00\n"},
      {{table, "born"}, "D 20100105\n"},
      {{table, "born", "--recno", "2"}, "D         \n"},
      {{table, "ax->ok .AND. .NOT. ok"}, "L .F.\n"},  // the alias is the file name's
      {{table, "sumlev + STR(RECNO(), 2)", "--all"}, "C 050 1\nC 040 2\n"},
      {{table, "UPPER('\xc3\xa9')"}, "C \xc3\x89\n"},   // UTF-8 in and out, ANSI inside
  };
  for (const auto& [args, out] : cases) {
    SCOPED_TRACE(args[1]);
    const clitest::RunResult r = Eval(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, out);
  }
}

TEST(MorvaneEvalTest, ErrorsAreEngineErrors) {
  testsupport::TempDir dir;
  const std::string table = WriteTable(dir);
  const clitest::RunResult syntax = Eval({table, "race +"});
  EXPECT_EQ(syntax.status, 351 & 0xFF);
  EXPECT_THAT(syntax.err, HasSubstr("Error in expression : Syntax error"));
  EXPECT_EQ(syntax.out, "");
  const clitest::RunResult divide = Eval({table, "pop / 0"});
  EXPECT_EQ(divide.status, 358 & 0xFF);
  EXPECT_THAT(divide.err, HasSubstr("Divide by 0"));
  EXPECT_EQ(Eval({table, "pop", "--recno", "3"}).status, 212);
  EXPECT_EQ(Eval({table}).status, 64);
  EXPECT_EQ(Eval({table, "pop", "--recno", "x"}).status, 64);
  EXPECT_EQ(Eval({table, "pop", "--recno", "1", "--all"}).status, 64);
}

}  // namespace
