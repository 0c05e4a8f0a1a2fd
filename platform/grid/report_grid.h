// The report grid: a spreadsheet-style table of text cells addressed (column, row) from 0, with
// per-column widths, per-row heights, merged ranges, per-cell alignment and word wrap, loading of
// CSV files, and saving as CSV and RTF. The application writes its report tables into it; the GUI
// renders it. Texts are Windows-1252 byte strings.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform::grid {

enum class Alignment { Left, Center, Right };

// A block of cells shown as one: it covers columns col..col+cols-1 and rows row..row+rows-1 and
// shows the text of its top-left cell. A range may reach past the grid's last column or row (a
// title merged across 7 columns of a 5-column grid); it is shown cut at the grid's edge.
struct MergedRange {
  int col = 0, row = 0, cols = 1, rows = 1;
  bool Contains(int c, int r) const {
    return c >= col && c < col + cols && r >= row && r < row + rows;
  }
  bool operator==(const MergedRange&) const = default;
};

class ReportGrid {
 public:
  static constexpr int kDefaultColWidth = 64;
  static constexpr int kDefaultRowHeight = 24;
  // The most cells LoadFromCSV builds (rows x the widest line); a larger file is refused.
  static constexpr size_t kMaxCells = 100'000'000;

  // An empty grid of `cols` x `rows` cells (negative counts count as 0).
  explicit ReportGrid(int cols = 5, int rows = 5);

  int ColCount() const { return cols_; }
  int RowCount() const { return rows_; }
  // Changes a count. Cells, widths and heights inside the new bounds keep their values; new ones
  // are empty, left-aligned, not wrapped, of the default size. Negative counts count as 0. Merged
  // ranges are kept (they may reach past the edge).
  void SetColCount(int cols);
  void SetRowCount(int rows);

  // The text of a cell; "" for a cell outside the grid.
  const std::string& Cell(int col, int row) const;
  // Sets the text of a cell. Throws std::out_of_range for a cell outside the grid (a write that
  // would be lost is an error, never ignored).
  void SetCell(int col, int row, std::string text);

  Alignment CellAlignment(int col, int row) const;  // Left outside the grid
  void SetCellAlignment(int col, int row, Alignment a);  // throws std::out_of_range outside
  bool CellWordWrap(int col, int row) const;  // false outside the grid
  void SetCellWordWrap(int col, int row, bool wrap);  // throws std::out_of_range outside

  // Pixels; the default size for a column or row outside the grid. Setters throw
  // std::out_of_range outside the grid and clamp negative sizes to 0.
  int ColWidth(int col) const;
  int RowHeight(int row) const;
  void SetColWidth(int col, int width);
  void SetRowHeight(int row, int height);

  // Merges a block whose top-left cell is (col, row), which must lie inside the grid (else
  // std::out_of_range); `cols` and `rows` must be at least 1 (else std::invalid_argument). Merged
  // ranges it overlaps are split first; a 1 x 1 block only splits.
  void MergeCells(int col, int row, int cols, int rows);
  // Splits the merged range that covers (col, row), if any.
  void SplitCell(int col, int row);
  void SplitAllCells();
  // The merged range that covers (col, row), if any.
  std::optional<MergedRange> MergeAt(int col, int row) const;
  const std::vector<MergedRange>& Merges() const { return merges_; }

  // Empties every cell, splits every merged range and sets every cell back to left-aligned and
  // not wrapped. Counts and sizes stay.
  void Clear();

  // Replaces the whole content by a CSV file (grid_csv.cpp describes the format): one row per line
  // of the file, from row 0; the column count becomes the largest number of fields of a line, the
  // row count the number of lines (0 x 0 for an empty file). Merges are split, sizes of the new
  // counts are the defaults. Throws platform::Exception naming the file when it cannot be read or
  // would need more than kMaxCells cells; the grid is then unchanged.
  void LoadFromCSV(const std::string& path);
  // Writes every row, row 0 to the last, as CSV. Throws platform::Exception naming the file when
  // it cannot be written.
  void SaveToCSV(const std::string& path) const;
  // Writes the grid, from cell (0, 0), as an RTF document holding one table. Throws
  // platform::Exception naming the file when it cannot be written.
  void ExportToRTF(const std::string& path) const;

  // The file texts that SaveToCSV and ExportToRTF write.
  std::string ToCSV() const;
  std::string ToRTF() const;
  // Parses CSV text into rows of fields, as LoadFromCSV does.
  static std::vector<std::vector<std::string>> ParseCSV(const std::string& text);

 private:
  struct CellData {
    std::string text;
    Alignment alignment = Alignment::Left;
    bool wordWrap = false;
  };
  bool Inside(int col, int row) const { return col >= 0 && col < cols_ && row >= 0 && row < rows_; }
  CellData& At(int col, int row);
  void CheckInside(int col, int row, const char* what) const;

  int cols_ = 0, rows_ = 0;
  std::vector<CellData> cells_;  // row-major, rows_ * cols_
  std::vector<int> colWidths_;
  std::vector<int> rowHeights_;
  std::vector<MergedRange> merges_;
};

}  // namespace platform::grid
