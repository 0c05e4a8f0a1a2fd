// factfinder-sample: the nine files it writes parse back as FactFinder PCT12 input whose counts
// obey the table's sums, are the same for a seed, and its command line fails cleanly.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using testsupport::ReadFileText;
using testsupport::TempDir;
using ::testing::HasSubstr;

constexpr int kCells = 209;
constexpr int kMaleTotal = 1, kFemaleTotal = 105;  // cell indexes from 0; ages follow each
const char* const kSuffixes[9] = {"", "a", "b", "c", "d", "e", "f", "g", "h"};

struct Result {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out, err;
};

// Runs the generator with `args`; its output goes to files in `dir`. A non-zero
// `fileSizeLimit` caps the size of any file it writes (writes beyond fail with EFBIG).
Result RunGenerator(const TempDir& dir, const std::vector<std::string>& args,
                    rlim_t fileSizeLimit = 0) {
  const std::string outFile = dir.file("run.stdout"), errFile = dir.file("run.stderr");
  std::vector<std::string> all = {FACTFINDER_SAMPLE_EXE};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int o = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0) _exit(127);
    dup2(o, 1);
    dup2(e, 2);
    if (fileSizeLimit) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit = {fileSizeLimit, fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  Result r;
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) {
    ADD_FAILURE() << "cannot run " << FACTFINDER_SAMPLE_EXE;
    return r;
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = ReadFileText(outFile);
  r.err = ReadFileText(errFile);
  std::filesystem::remove(outFile);
  std::filesystem::remove(errFile);
  return r;
}

struct Field {
  std::string text;
  bool quoted = false;
};

// Splits a line as the delimited import does: "," separates values except between quotes,
// and the quotes themselves are not part of the value.
std::vector<Field> SplitLine(const std::string& line) {
  std::vector<Field> fields(1);
  bool inside = false;
  for (char c : line) {
    if (c == '"') {
      inside = !inside;
      fields.back().quoted = true;
    } else if (c == ',' && !inside) {
      fields.emplace_back();
    } else {
      fields.back().text += c;
    }
  }
  return fields;
}

struct Row {
  std::string id, geocode, name;
  bool nameQuoted = false;
  std::vector<int64_t> cells;
};

struct SampleFile {
  std::vector<std::string> lines;  // without line ends
  std::vector<Row> rows;           // lines 5 and on
};

// Reads one file, checking as it goes that every line ends with `eol` and that data lines have
// the three texts and 209 whole numbers.
SampleFile ReadSampleFile(const std::string& path, const std::string& eol = "\n") {
  SampleFile f;
  const std::string text = ReadFileText(path);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(eol, start);
    if (end == std::string::npos) {
      ADD_FAILURE() << path << ": last line has no line end";
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    if (line.find_first_of("\r\n") != std::string::npos) {
      ADD_FAILURE() << path << ": stray line-end byte in line " << f.lines.size() + 1;
    }
    f.lines.push_back(line);
    start = end + eol.size();
  }
  for (std::size_t i = 4; i < f.lines.size(); ++i) {
    std::vector<Field> fields = SplitLine(f.lines[i]);
    if (fields.size() != 3 + kCells) {
      ADD_FAILURE() << path << " line " << i + 1 << " has " << fields.size() << " values";
      continue;
    }
    Row row{fields[0].text, fields[1].text, fields[2].text, fields[2].quoted, {}};
    EXPECT_FALSE(fields[0].quoted || fields[1].quoted) << f.lines[i];
    for (int c = 0; c < kCells; ++c) {
      const std::string& v = fields[3 + c].text;
      EXPECT_TRUE(!v.empty() && v.find_first_not_of("0123456789") == std::string::npos)
          << path << " line " << i + 1 << " cell " << c + 1 << " \"" << v << "\"";
      row.cells.push_back(v.empty() ? -1 : std::stoll(v));
    }
    f.rows.push_back(std::move(row));
  }
  return f;
}

std::vector<SampleFile> ReadSample(const std::string& stem, const std::string& eol = "\n") {
  std::vector<SampleFile> files;
  for (const char* s : kSuffixes) files.push_back(ReadSampleFile(stem + s + ".csv", eol));
  return files;
}

int64_t Sum(const std::vector<int64_t>& cells, int from, int to) {
  int64_t s = 0;
  for (int c = from; c <= to; ++c) s += cells[c];
  return s;
}

bool IsDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

struct LevelCase {
  const char* level;
  int areas;
  std::size_t codeLength;
  int commasInName;  // "Alabama"; "X County, Alabama"; "Census Tract 201, X County, Alabama"
};

TEST(FactFinderSample, WritesConsistentPct12FilesAtEveryLevel) {
  const LevelCase cases[] = {
      {"040", 60, 2, 0},  // more than the 52 real states
      {"050", 150, 5, 1},
      {"140", 400, 11, 2},
  };
  for (const LevelCase& lc : cases) {
    SCOPED_TRACE(std::string("level ") + lc.level);
    TempDir dir;
    const std::string stem = dir.file("DEC_10_SF1_PCT12");
    Result r = RunGenerator(dir, {"--areas", std::to_string(lc.areas), "--level", lc.level,
                                  "--seed", "3", "--out", stem});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<SampleFile> files = ReadSample(stem);

    for (int it = 0; it < 9; ++it) {
      SCOPED_TRACE(std::string("file suffix \"") + kSuffixes[it] + "\"");
      const SampleFile& f = files[it];
      ASSERT_EQ(f.lines.size(), 4u + lc.areas);
      ASSERT_EQ(f.rows.size(), static_cast<std::size_t>(lc.areas));
      for (int h = 0; h < 4; ++h) {
        std::string lower = f.lines[h];
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_THAT(lower, HasSubstr("synthetic")) << "header line " << h + 1;
      }
      EXPECT_EQ(SplitLine(f.lines[2]).size(), 3u + kCells);
      EXPECT_EQ(SplitLine(f.lines[3]).size(), 3u + kCells);
      // Data lines fit the delimited import's 2048-byte line buffer (header lines are skipped).
      for (std::size_t i = 4; i < f.lines.size(); ++i) EXPECT_LT(f.lines[i].size(), 2048u);

      for (std::size_t a = 0; a < f.rows.size(); ++a) {
        const Row& row = f.rows[a];
        const Row& first = files[0].rows[a];
        EXPECT_EQ(row.id, first.id);  // the nine files list the same areas in the same order
        EXPECT_EQ(row.geocode, first.geocode);
        EXPECT_EQ(row.name, first.name);
        EXPECT_EQ(row.id, std::string(lc.level) + "0000US" + row.geocode);
        EXPECT_TRUE(IsDigits(row.geocode) && row.geocode.size() == lc.codeLength) << row.geocode;
        if (a > 0) {
          EXPECT_LT(f.rows[a - 1].geocode, row.geocode);  // distinct, ascending
        }
        EXPECT_EQ(std::count(row.name.begin(), row.name.end(), ','), lc.commasInName) << row.name;
        EXPECT_EQ(row.nameQuoted, row.name.find(',') != std::string::npos) << row.name;
        if (std::string(lc.level) == "140") {
          EXPECT_EQ(row.name.rfind("Census Tract ", 0), 0u) << row.name;
        }

        const std::vector<int64_t>& c = row.cells;
        EXPECT_EQ(c[0], c[kMaleTotal] + c[kFemaleTotal]) << row.id;
        EXPECT_EQ(c[kMaleTotal], Sum(c, kMaleTotal + 1, kMaleTotal + 103)) << row.id;
        EXPECT_EQ(c[kFemaleTotal], Sum(c, kFemaleTotal + 1, kFemaleTotal + 103)) << row.id;
        EXPECT_LT(c[0], int64_t{1} << 31);
      }
    }

    // Across the iterations: A to G partition the total population cell by cell and H is a part
    // of it (so an area without people is empty in all nine files).
    int empty = 0;
    int64_t people = 0, children = 0, hispanic = 0;
    for (int a = 0; a < lc.areas; ++a) {
      const std::vector<int64_t>& total = files[0].rows[a].cells;
      for (int cell = 0; cell < kCells; ++cell) {
        int64_t races = 0;
        for (int it = 1; it <= 7; ++it) races += files[it].rows[a].cells[cell];
        EXPECT_EQ(races, total[cell]) << files[0].rows[a].id << " cell " << cell + 1;
        EXPECT_LE(files[8].rows[a].cells[cell], total[cell]) << files[0].rows[a].id;
      }
      if (total[0] == 0) ++empty;
      people += total[0];
      children += Sum(total, kMaleTotal + 1, kMaleTotal + 18) +
                  Sum(total, kFemaleTotal + 1, kFemaleTotal + 18);
      hispanic += files[8].rows[a].cells[0];
    }
    EXPECT_GE(empty, 1);
    EXPECT_LT(empty, lc.areas / 4);
    // Plausible on the whole: children under 18 and Hispanics are sizeable minorities.
    ASSERT_GT(people, 0);
    EXPECT_GT(children * 10, people * 1);
    EXPECT_LT(children * 10, people * 4);
    EXPECT_GT(hispanic * 100, people * 2);
    EXPECT_LT(hispanic * 10, people * 5);
  }
}

TEST(FactFinderSample, EverySampleOfEightAreasHasAnEmptyArea) {
  for (const char* seed : {"1", "2", "3", "4", "5", "6"}) {
    TempDir dir;
    const std::string stem = dir.file("e");
    ASSERT_EQ(RunGenerator(dir, {"--areas", "8", "--level", "050", "--seed", seed, "--out", stem})
                  .status,
              0);
    const SampleFile f = ReadSampleFile(stem + ".csv");
    EXPECT_TRUE(std::any_of(f.rows.begin(), f.rows.end(), [](const Row& r) {
      return r.cells[0] == 0;
    })) << "seed " << seed;
  }
}

TEST(FactFinderSample, StateNamesAreRealThenInvented) {
  TempDir dir;
  const std::string stem = dir.file("s");
  ASSERT_EQ(RunGenerator(dir, {"--areas", "3", "--level", "040", "--out", stem}).status, 0);
  SampleFile f = ReadSampleFile(stem + ".csv");
  ASSERT_EQ(f.rows.size(), 3u);
  EXPECT_EQ(f.lines[4].substr(0, 22), "0400000US01,01,Alabama");
  EXPECT_EQ(f.rows[1].name, "Alaska");
  EXPECT_EQ(f.rows[2].name, "Arizona");
}

TEST(FactFinderSample, SameSeedGivesSameFilesOtherSeedOtherCounts) {
  TempDir dir;
  const std::vector<std::string> common = {"--areas", "40", "--level", "140"};
  auto make = [&](const std::string& stem, const std::string& seed) {
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--seed", seed, "--out", dir.file(stem)});
    EXPECT_EQ(RunGenerator(dir, args).status, 0);
  };
  make("one", "12345678901234567890");
  make("two", "12345678901234567890");
  make("three", "12345678901234567891");
  for (const char* s : kSuffixes) {
    const std::string one = ReadFileText(dir.file(std::string("one") + s + ".csv"));
    const std::string three = ReadFileText(dir.file(std::string("three") + s + ".csv"));
    EXPECT_EQ(one, ReadFileText(dir.file(std::string("two") + s + ".csv"))) << s;
    // Beyond the seed in the title line, the data lines differ.
    EXPECT_NE(one.substr(one.find('\n')), three.substr(three.find('\n'))) << s;
  }
}

TEST(FactFinderSample, NoAreasGivesHeaderLinesOnly) {
  TempDir dir;
  const std::string stem = dir.file("empty");
  ASSERT_EQ(RunGenerator(dir, {"--areas", "0", "--level", "050", "--out", stem}).status, 0);
  for (const SampleFile& f : ReadSample(stem)) EXPECT_EQ(f.lines.size(), 4u);
}

TEST(FactFinderSample, CrLfOptionChangesOnlyTheLineEnds) {
  TempDir dir;
  const std::vector<std::string> args = {"--areas", "20", "--level", "050", "--seed", "9"};
  std::vector<std::string> lf = args, crlf = args;
  lf.insert(lf.end(), {"--out", dir.file("lf")});
  crlf.insert(crlf.end(), {"--crlf", "--out", dir.file("crlf")});
  ASSERT_EQ(RunGenerator(dir, lf).status, 0);
  ASSERT_EQ(RunGenerator(dir, crlf).status, 0);
  std::vector<SampleFile> a = ReadSample(dir.file("lf")), b = ReadSample(dir.file("crlf"), "\r\n");
  for (int it = 0; it < 9; ++it) EXPECT_EQ(a[it].lines, b[it].lines) << kSuffixes[it];
}

TEST(FactFinderSample, QuietOnSuccessUnlessVerbose) {
  TempDir dir;
  const std::string stem = dir.file("q");
  Result quiet = RunGenerator(dir, {"--areas", "2", "--out", stem});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "");
  Result verbose = RunGenerator(dir, {"--areas", "2", "--out", stem, "--verbose"});
  EXPECT_EQ(verbose.status, 0);
  EXPECT_EQ(verbose.err, "");
  for (const char* s : kSuffixes) EXPECT_THAT(verbose.out, HasSubstr(stem + s + ".csv: 6 lines"));
}

TEST(FactFinderSample, RejectsWrongCommandLinesWithoutWriting) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"--out", "x"}, "--areas is required"},
      {{"--areas", "10"}, "--out needs"},
      {{"--areas", "10", "--out", "folder/"}, "--out needs"},
      {{"--areas", "ten", "--out", "x"}, "--areas needs a whole number"},
      {{"--areas", "-1", "--out", "x"}, "--areas needs a whole number"},
      {{"--areas", "99999999999999999999999", "--out", "x"}, "--areas needs a whole number"},
      {{"--areas"}, "--areas needs a value"},
      {{"--areas", "5", "--level", "060", "--out", "x"}, "--level must be 040, 050 or 140"},
      {{"--areas", "5", "--level", "40", "--out", "x"}, "--level must be 040, 050 or 140"},
      {{"--areas", "100", "--level", "040", "--out", "x"}, "at most 99"},
      {{"--areas", "5", "--seed", "0x10", "--out", "x"}, "--seed needs a whole number"},
      {{"--areas", "5", "--out", "x", "--frobnicate"}, "unknown argument \"--frobnicate\""},
      {{"--areas", "5", "--out", "x", "--verbose=yes"}, "--verbose takes no value"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::vector<std::string> args;
    for (const std::string& a : c.args) args.push_back(a == "x" ? dir.file("x") : a);
    Result r = RunGenerator(dir, args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_THAT(r.err, HasSubstr(c.message));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << c.message;
  }
}

// Whatever stops the run, the old files stay as they were and no half-written file remains.
TEST(FactFinderSample, FailedRunReportsAndReplacesNothing) {
  {
    SCOPED_TRACE("missing folder");
    TempDir dir;
    Result r = RunGenerator(dir, {"--areas", "3", "--out", dir.file("no/such/folder/x")});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("cannot write " + dir.file("no/such/folder/x.csv")));
  }
  struct Case {
    const char* what;
    bool folderInTheWay;
    rlim_t fileSizeLimit;
  };
  for (const Case& c : {Case{"a target is a folder", true, 0},
                        Case{"a write fails (file size limit)", false, 64 * 1024}}) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string stem = dir.file("set");
    for (const char* s : kSuffixes) testsupport::WriteFileText(stem + s + ".csv", "old\n");
    if (c.folderInTheWay) {
      std::filesystem::remove(stem + "c.csv");
      std::filesystem::create_directory(stem + "c.csv");
    }
    // 2000 tracts fill the write buffer, so the limit also stops a write in the middle of a run.
    Result r = RunGenerator(dir, {"--areas", "2000", "--out", stem}, c.fileSizeLimit);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("cannot write "));
    for (const char* s : kSuffixes) {
      if (c.folderInTheWay && std::string(s) == "c") continue;
      EXPECT_EQ(ReadFileText(stem + s + ".csv"), "old\n") << s;
    }
    std::size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
      ++entries;
    }
    EXPECT_EQ(entries, 9u);
  }
}

}  // namespace
