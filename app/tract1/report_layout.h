// The layout convention shared by the three report grids: title rows 0 and 1 merged across 7
// columns, the wrapped 40-pixel header row 2, data from row 3, column widths 120 / 80 / 60, and
// right-aligned values. Also the "message state" a grid shows while it holds no table.
#pragma once

#include <string>

#include "platform/grid/report_grid.h"

namespace app {

inline constexpr const char* kProductTitle = "Kestrelon Agemill";
inline constexpr const char* kAreaHeaderLabel = "Area Name/Code->";
inline constexpr const char* kNoDatasetMessage =
    "No dataset open; File>Open to use existing dataset or File>Create to create new dataset";
inline constexpr int kTitleMergeColumns = 7;
inline constexpr int kRowHeight = 17;
inline constexpr int kHeaderRowHeight = 40;

// The width of column `col` in the convention: 120 for column 0, 80 for odd, 60 for even ones.
int ReportColumnWidth(int col);

// Sets the sizes, alignment and word wrap of every cell of `grid` by the convention for its
// current counts: widths by ReportColumnWidth; rows 17 pixels high except row 2 (40, wrapped);
// cells of columns 1 and up in rows 3 and up right-aligned, every other cell left-aligned.
void ApplyReportFormat(platform::grid::ReportGrid& grid);

// Empties `grid` (cells and merges) and lays it out as a report table of `cols` x `rows`:
// ApplyReportFormat; row 0 the product title and row 1 `title`, each merged across 7 columns and
// 1 row; cell (0, 2) "Area Name/Code->".
void LayoutReportGrid(platform::grid::ReportGrid& grid, int cols, int rows, const std::string& title);

// Puts `grid` in the message state: emptied, 2 rows, 7 columns, rows 17 high, widths 120, 80, 60,
// 80, 60, 80, 60; cell (0, 0) the product title and cell (0, 1) `message`, each merged across 7
// columns and 1 row.
void SetMessageState(platform::grid::ReportGrid& grid, const std::string& message);

}  // namespace app
