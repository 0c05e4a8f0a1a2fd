#include "app/tract1/report_layout.h"

namespace app {

using platform::grid::Alignment;
using platform::grid::ReportGrid;

int ReportColumnWidth(int col) {
  if (col == 0) return 120;
  return col % 2 == 1 ? 80 : 60;
}

void ApplyReportFormat(ReportGrid& grid) {
  for (int c = 0; c < grid.ColCount(); ++c) grid.SetColWidth(c, ReportColumnWidth(c));
  for (int r = 0; r < grid.RowCount(); ++r) {
    grid.SetRowHeight(r, r == 2 ? kHeaderRowHeight : kRowHeight);
    for (int c = 0; c < grid.ColCount(); ++c) {
      grid.SetCellAlignment(c, r, c >= 1 && r >= 3 ? Alignment::Right : Alignment::Left);
      grid.SetCellWordWrap(c, r, r == 2);
    }
  }
}

void LayoutReportGrid(ReportGrid& grid, int cols, int rows, const std::string& title) {
  grid.Clear();
  grid.SetColCount(cols);
  grid.SetRowCount(rows);
  ApplyReportFormat(grid);
  if (cols < 1) return;
  if (rows > 0) {
    grid.SetCell(0, 0, kProductTitle);
    grid.MergeCells(0, 0, kTitleMergeColumns, 1);
  }
  if (rows > 1) {
    grid.SetCell(0, 1, title);
    grid.MergeCells(0, 1, kTitleMergeColumns, 1);
  }
  if (rows > 2) grid.SetCell(0, 2, kAreaHeaderLabel);
}

void SetMessageState(ReportGrid& grid, const std::string& message) {
  grid.Clear();
  grid.SetColCount(kTitleMergeColumns);
  grid.SetRowCount(2);
  ApplyReportFormat(grid);
  grid.SetCell(0, 0, kProductTitle);
  grid.MergeCells(0, 0, kTitleMergeColumns, 1);
  grid.SetCell(0, 1, message);
  grid.MergeCells(0, 1, kTitleMergeColumns, 1);
}

}  // namespace app
