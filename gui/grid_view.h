// A report grid on screen: a table view that renders a platform::grid::ReportGrid — its texts,
// merged ranges (as spans, cut at the grid's edge), column widths, row heights, alignment and word
// wrap. The view only shows the model; Refresh() takes over its current state.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>

#include "platform/grid/report_grid.h"

namespace gui {

// The Qt model over one report grid. Role kWordWrapRole gives a cell's word wrap (bool).
class ReportGridModel : public QAbstractTableModel {
 public:
  static constexpr int kWordWrapRole = Qt::UserRole + 1;
  explicit ReportGridModel(const platform::grid::ReportGrid& grid, QObject* parent = nullptr)
      : QAbstractTableModel(parent), grid_(grid) {}
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // Tells the views that everything may have changed.
  void Reset();

 private:
  const platform::grid::ReportGrid& grid_;
};

class ReportGridView : public QTableView {
 public:
  ReportGridView(const platform::grid::ReportGrid& grid, QWidget* parent = nullptr);
  // Shows the grid's current counts, texts, spans and sizes.
  void Refresh();
  const platform::grid::ReportGrid& Grid() const { return grid_; }

 private:
  const platform::grid::ReportGrid& grid_;
  ReportGridModel* model_;
};

}  // namespace gui
