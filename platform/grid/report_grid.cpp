#include "platform/grid/report_grid.h"

#include <algorithm>
#include <stdexcept>

namespace platform::grid {
namespace {

const std::string kEmpty;

std::string CellName(int col, int row) {
  return "(" + std::to_string(col) + ", " + std::to_string(row) + ")";
}

bool Overlap(const MergedRange& a, const MergedRange& b) {
  return a.col < b.col + b.cols && b.col < a.col + a.cols && a.row < b.row + b.rows &&
         b.row < a.row + a.rows;
}

}  // namespace

ReportGrid::ReportGrid(int cols, int rows) {
  SetColCount(cols);
  SetRowCount(rows);
}

void ReportGrid::SetColCount(int cols) {
  cols = std::max(cols, 0);
  if (cols == cols_) return;
  std::vector<CellData> cells(static_cast<size_t>(cols) * static_cast<size_t>(rows_));
  const int keep = std::min(cols, cols_);
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < keep; ++c) {
      cells[static_cast<size_t>(r) * cols + c] = std::move(At(c, r));
    }
  }
  cells_ = std::move(cells);
  cols_ = cols;
  colWidths_.resize(static_cast<size_t>(cols), kDefaultColWidth);
}

void ReportGrid::SetRowCount(int rows) {
  rows = std::max(rows, 0);
  rows_ = rows;
  cells_.resize(static_cast<size_t>(rows) * static_cast<size_t>(cols_));
  rowHeights_.resize(static_cast<size_t>(rows), kDefaultRowHeight);
}

ReportGrid::CellData& ReportGrid::At(int col, int row) {
  return cells_[static_cast<size_t>(row) * cols_ + col];
}

void ReportGrid::CheckInside(int col, int row, const char* what) const {
  if (!Inside(col, row)) {
    throw std::out_of_range(std::string(what) + ": cell " + CellName(col, row) +
                            " is outside the grid of " + std::to_string(cols_) + " columns and " +
                            std::to_string(rows_) + " rows");
  }
}

const std::string& ReportGrid::Cell(int col, int row) const {
  if (!Inside(col, row)) return kEmpty;
  return cells_[static_cast<size_t>(row) * cols_ + col].text;
}

void ReportGrid::SetCell(int col, int row, std::string text) {
  CheckInside(col, row, "SetCell");
  At(col, row).text = std::move(text);
}

Alignment ReportGrid::CellAlignment(int col, int row) const {
  if (!Inside(col, row)) return Alignment::Left;
  return cells_[static_cast<size_t>(row) * cols_ + col].alignment;
}

void ReportGrid::SetCellAlignment(int col, int row, Alignment a) {
  CheckInside(col, row, "SetCellAlignment");
  At(col, row).alignment = a;
}

bool ReportGrid::CellWordWrap(int col, int row) const {
  if (!Inside(col, row)) return false;
  return cells_[static_cast<size_t>(row) * cols_ + col].wordWrap;
}

void ReportGrid::SetCellWordWrap(int col, int row, bool wrap) {
  CheckInside(col, row, "SetCellWordWrap");
  At(col, row).wordWrap = wrap;
}

int ReportGrid::ColWidth(int col) const {
  if (col < 0 || col >= cols_) return kDefaultColWidth;
  return colWidths_[static_cast<size_t>(col)];
}

int ReportGrid::RowHeight(int row) const {
  if (row < 0 || row >= rows_) return kDefaultRowHeight;
  return rowHeights_[static_cast<size_t>(row)];
}

void ReportGrid::SetColWidth(int col, int width) {
  if (col < 0 || col >= cols_) {
    throw std::out_of_range("SetColWidth: column " + std::to_string(col) + " is outside the grid");
  }
  colWidths_[static_cast<size_t>(col)] = std::max(width, 0);
}

void ReportGrid::SetRowHeight(int row, int height) {
  if (row < 0 || row >= rows_) {
    throw std::out_of_range("SetRowHeight: row " + std::to_string(row) + " is outside the grid");
  }
  rowHeights_[static_cast<size_t>(row)] = std::max(height, 0);
}

void ReportGrid::MergeCells(int col, int row, int cols, int rows) {
  CheckInside(col, row, "MergeCells");
  if (cols < 1 || rows < 1) {
    throw std::invalid_argument("MergeCells: a merged range needs at least one column and row");
  }
  MergedRange range{col, row, cols, rows};
  std::erase_if(merges_, [&](const MergedRange& m) { return Overlap(m, range); });
  if (cols > 1 || rows > 1) merges_.push_back(range);
}

void ReportGrid::SplitCell(int col, int row) {
  std::erase_if(merges_, [&](const MergedRange& m) { return m.Contains(col, row); });
}

void ReportGrid::SplitAllCells() { merges_.clear(); }

std::optional<MergedRange> ReportGrid::MergeAt(int col, int row) const {
  for (const MergedRange& m : merges_) {
    if (m.Contains(col, row)) return m;
  }
  return std::nullopt;
}

void ReportGrid::Clear() {
  for (CellData& c : cells_) c = CellData{};
  merges_.clear();
}

}  // namespace platform::grid
