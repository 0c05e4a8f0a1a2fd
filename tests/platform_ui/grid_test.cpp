// The report grid model: cells, counts, sizes, merges, and its CSV and RTF files.
#include <gtest/gtest.h>

#include <cctype>

#include "platform/grid/report_grid.h"
#include "platform/os/exception.h"
#include "tests/support/test_support.h"

namespace {

using platform::grid::Alignment;
using platform::grid::MergedRange;
using platform::grid::ReportGrid;
using testsupport::ReadFileText;
using testsupport::TempDir;
using testsupport::WriteFileText;

TEST(ReportGrid, ResizingKeepsTheCellsInsideTheNewBounds) {
  ReportGrid g(3, 2);
  g.SetCell(0, 0, "a");
  g.SetCell(2, 1, "z");
  g.SetCellAlignment(1, 1, Alignment::Right);
  g.SetColWidth(0, 120);
  g.SetRowHeight(1, 40);

  g.SetColCount(5);
  g.SetRowCount(4);
  EXPECT_EQ(g.Cell(0, 0), "a");
  EXPECT_EQ(g.Cell(2, 1), "z");
  EXPECT_EQ(g.CellAlignment(1, 1), Alignment::Right);
  EXPECT_EQ(g.Cell(4, 3), "");
  EXPECT_EQ(g.ColWidth(0), 120);
  EXPECT_EQ(g.ColWidth(4), ReportGrid::kDefaultColWidth);
  EXPECT_EQ(g.RowHeight(1), 40);
  EXPECT_EQ(g.RowHeight(3), ReportGrid::kDefaultRowHeight);

  g.SetColCount(2);
  EXPECT_EQ(g.Cell(2, 1), "");  // outside now
  g.SetColCount(3);
  EXPECT_EQ(g.Cell(2, 1), "");  // a cell cut off does not come back
  g.SetRowCount(-4);
  EXPECT_EQ(g.RowCount(), 0);
}

TEST(ReportGrid, CellsOutsideTheGridReadEmptyAndRefuseWrites) {
  ReportGrid g(2, 2);
  for (auto [c, r] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}, {100, 100}}) {
    EXPECT_EQ(g.Cell(c, r), "");
    EXPECT_EQ(g.CellAlignment(c, r), Alignment::Left);
    EXPECT_THROW(g.SetCell(c, r, "x"), std::out_of_range) << c << "," << r;
    EXPECT_THROW(g.SetCellWordWrap(c, r, true), std::out_of_range);
    EXPECT_THROW(g.MergeCells(c, r, 2, 1), std::out_of_range);
  }
  EXPECT_THROW(g.SetColWidth(2, 10), std::out_of_range);
  EXPECT_THROW(g.SetRowHeight(-1, 10), std::out_of_range);
  g.SetColWidth(1, -5);
  EXPECT_EQ(g.ColWidth(1), 0);
}

TEST(ReportGrid, MergesCoverBlocksSplitOverlapsAndMayReachPastTheEdge) {
  ReportGrid g(5, 4);
  g.MergeCells(0, 0, 7, 1);  // a title across 7 columns of a 5-column grid
  g.MergeCells(1, 2, 2, 1);
  g.MergeCells(3, 2, 2, 2);
  ASSERT_EQ(g.Merges().size(), 3u);
  EXPECT_EQ(g.MergeAt(4, 0), (MergedRange{0, 0, 7, 1}));
  EXPECT_EQ(g.MergeAt(2, 2), (MergedRange{1, 2, 2, 1}));
  EXPECT_EQ(g.MergeAt(4, 3), (MergedRange{3, 2, 2, 2}));
  EXPECT_FALSE(g.MergeAt(0, 1).has_value());

  g.MergeCells(2, 2, 2, 1);  // overlaps both header merges: they are split first
  EXPECT_EQ(g.Merges().size(), 2u);
  EXPECT_EQ(g.MergeAt(3, 2), (MergedRange{2, 2, 2, 1}));
  EXPECT_FALSE(g.MergeAt(1, 2).has_value());
  EXPECT_FALSE(g.MergeAt(4, 3).has_value());

  g.MergeCells(0, 0, 1, 1);  // 1 x 1 only splits
  EXPECT_FALSE(g.MergeAt(3, 0).has_value());
  EXPECT_THROW(g.MergeCells(0, 0, 0, 1), std::invalid_argument);

  g.SplitCell(3, 2);
  EXPECT_TRUE(g.Merges().empty());
}

TEST(ReportGrid, ClearEmptiesCellsAndMergesButKeepsCountsAndSizes) {
  ReportGrid g(3, 3);
  g.SetCell(1, 1, "x");
  g.SetCellAlignment(1, 1, Alignment::Right);
  g.SetCellWordWrap(1, 1, true);
  g.MergeCells(0, 0, 3, 1);
  g.SetColWidth(2, 99);
  g.Clear();
  EXPECT_EQ(g.Cell(1, 1), "");
  EXPECT_EQ(g.CellAlignment(1, 1), Alignment::Left);
  EXPECT_FALSE(g.CellWordWrap(1, 1));
  EXPECT_TRUE(g.Merges().empty());
  EXPECT_EQ(g.ColCount(), 3);
  EXPECT_EQ(g.ColWidth(2), 99);
}

TEST(GridCsv, WritesOneLinePerRowQuotingWhatNeedsIt) {
  struct Case {
    const char* cell;
    const char* written;
  } cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"   1,000,000", "\"   1,000,000\""},
      {"      100.00", "      100.00"},       // blanks are kept, no quotes
      {"3\"5", "\"3\"\"5\""},                   // an embedded quote is doubled
      {"\"", "\"\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"caf\xE9", "caf\xE9"},                   // bytes unchanged
  };
  for (const Case& c : cases) {
    ReportGrid g(2, 1);
    g.SetCell(0, 0, c.cell);
    g.SetCell(1, 0, "end");
    EXPECT_EQ(g.ToCSV(), std::string(c.written) + ",end\r\n") << c.cell;
  }
  ReportGrid g(3, 2);
  g.SetCell(0, 1, "x");
  EXPECT_EQ(g.ToCSV(), ",,\r\nx,,\r\n");
  EXPECT_EQ(ReportGrid(0, 0).ToCSV(), "");
}

TEST(GridCsv, LoadsOneRowPerLineFromRowZero) {
  struct Case {
    const char* text;
    int rows;
    int cols;
  } cases[] = {
      {"", 0, 0},
      {"a", 1, 1},
      {"a\n", 1, 1},
      {"a\nb", 2, 1},
      {"a\r\nb\r\n", 2, 1},
      {"\n\n", 2, 1},
      {"h1\nh2\nh3\nh4\n1,2,3\n", 5, 3},     // header lines count as lines
      {"a,b\n\"x,\ny\"\n", 3, 2},             // a quote does not join lines
      {"a,\n", 1, 2},                          // a trailing comma makes an empty field
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFileText(dir.file("l.csv"), c.text);
    ReportGrid g(9, 9);
    g.MergeCells(0, 0, 2, 2);
    g.LoadFromCSV(dir.file("l.csv"));
    EXPECT_EQ(g.RowCount(), c.rows) << c.text;
    EXPECT_EQ(g.ColCount(), c.cols) << c.text;
    EXPECT_TRUE(g.Merges().empty());
  }
}

TEST(GridCsv, ParsesQuotedFields) {
  auto rows = ReportGrid::ParseCSV(
      "\"Geo,Id\",\"say \"\"hi\"\"\",plain\r\n"
      "\"unclosed,rest\n"
      "\"q\"tail,x\n");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Geo,Id", "say \"hi\"", "plain"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"unclosed,rest"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"qtail", "x"}));
}

TEST(GridCsv, SavedFilesLoadBackUnchanged) {
  ReportGrid g(3, 3);
  const char* texts[] = {"Kestrelon Agemill", "", "      1,234", "3\"5", "a,\"b\"", "caf\xE9",
                         " lead", "trail ", ""};
  for (int i = 0; i < 9; ++i) g.SetCell(i % 3, i / 3, texts[i]);
  TempDir dir;
  g.SaveToCSV(dir.file("g1.csv"));
  ReportGrid back;
  back.LoadFromCSV(dir.file("g1.csv"));
  ASSERT_EQ(back.ColCount(), 3);
  ASSERT_EQ(back.RowCount(), 3);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(back.Cell(i % 3, i / 3), texts[i]);
}

TEST(GridCsv, FileErrorsNameTheFileAndLeaveTheGridAlone) {
  TempDir dir;
  ReportGrid g(2, 2);
  g.SetCell(1, 1, "kept");
  try {
    g.LoadFromCSV(dir.file("missing.csv"));
    FAIL() << "no error";
  } catch (const platform::Exception& e) {
    EXPECT_NE(std::string(e.what()).find("missing.csv"), std::string::npos);
  }
  EXPECT_EQ(g.Cell(1, 1), "kept");
  EXPECT_THROW(g.SaveToCSV(dir.file("no/folder/g.csv")), platform::Exception);
  EXPECT_THROW(g.ExportToRTF(dir.file("no/folder/g.rtf")), platform::Exception);
}

TEST(GridCsv, RefusesAFileThatWouldNeedTooManyCells) {
  // One line of many fields followed by many short lines: rows x widest line is the cell count.
  std::string text(20000, ',');
  text += "\n";
  for (int i = 0; i < 6000; ++i) text += "x\n";
  TempDir dir;
  WriteFileText(dir.file("big.csv"), text);
  ReportGrid g(1, 1);
  EXPECT_THROW(g.LoadFromCSV(dir.file("big.csv")), platform::Exception);
  EXPECT_EQ(g.RowCount(), 1);
}

// The cell texts of an RTF table, read back by undoing the escapes: enough to show that every
// cell text comes through unchanged and in order.
std::vector<std::string> RtfCellTexts(const std::string& rtf) {
  std::vector<std::string> cells;
  std::string current;
  for (size_t i = 0; i < rtf.size(); ++i) {
    char c = rtf[i];
    if (c == '{' || c == '}' || c == '\r' || c == '\n') continue;
    if (c != '\\') {
      current += c;
      continue;
    }
    char n = rtf[i + 1];
    if (n == '\\' || n == '{' || n == '}') {
      current += n;
      ++i;
      continue;
    }
    if (n == '\'') {
      current += static_cast<char>(std::stoi(rtf.substr(i + 2, 2), nullptr, 16));
      i += 3;
      continue;
    }
    size_t j = i + 1;
    while (j < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[j]))) ++j;
    std::string word = rtf.substr(i + 1, j - i - 1);
    while (j < rtf.size() && (std::isdigit(static_cast<unsigned char>(rtf[j])) || rtf[j] == '-')) ++j;
    if (j < rtf.size() && rtf[j] == ' ') ++j;
    i = j - 1;
    if (word == "cell") {
      cells.push_back(current);
      current.clear();
    } else if (word == "pard" || word == "trowd" || word == "row") {
      current.clear();
    } else if (word == "tab") {
      current += '\t';
    } else if (word == "line") {
      current += '\n';
    }
  }
  return cells;
}

TEST(GridRtf, ExportsOneTableWithEveryCellText) {
  ReportGrid g(3, 2);
  const char* texts[] = {"Area Name/Code->", "{braces}", "back\\slash", "caf\xE9",
                         "tab\there", "      1,234"};
  for (int i = 0; i < 6; ++i) g.SetCell(i % 3, i / 3, texts[i]);
  std::string rtf = g.ToRTF();
  EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
  int depth = 0;
  for (size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\') { ++i; continue; }
    if (rtf[i] == '{') ++depth;
    if (rtf[i] == '}') {
      ASSERT_GT(depth, 0);
      --depth;
    }
  }
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(rtf.find("\xE9"), std::string::npos);  // 8-bit bytes are escaped
  auto cells = RtfCellTexts(rtf);
  ASSERT_EQ(cells.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(cells[i], texts[i]);
}

TEST(GridRtf, CarriesSizesAlignmentAndMerges) {
  ReportGrid g(3, 2);
  g.SetColWidth(0, 120);
  g.SetColWidth(1, 80);
  g.SetColWidth(2, 60);
  g.SetRowHeight(0, 17);
  g.SetCell(0, 0, "Kestrelon Agemill");
  g.SetCell(1, 0, "hidden under the merge");
  g.MergeCells(0, 0, 7, 1);
  g.SetCell(1, 1, "9");
  g.SetCellAlignment(1, 1, Alignment::Right);
  std::string rtf = g.ToRTF();
  EXPECT_NE(rtf.find("\\trrh255"), std::string::npos);  // 17 px
  EXPECT_NE(rtf.find("\\clmgf\\cellx1800\\clmrg\\cellx3000\\clmrg\\cellx3900"), std::string::npos);
  EXPECT_NE(rtf.find("\\qr{9}\\cell"), std::string::npos);
  EXPECT_EQ(rtf.find("hidden"), std::string::npos);
  EXPECT_EQ(RtfCellTexts(rtf).size(), 6u);
}

}  // namespace
