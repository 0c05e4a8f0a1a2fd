#include "gui/grid_view.h"

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <algorithm>

#include "gui/text.h"

namespace gui {

using platform::grid::Alignment;

int ReportGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : grid_.RowCount();
}

int ReportGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : grid_.ColCount();
}

QVariant ReportGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const int c = index.column(), r = index.row();
  switch (role) {
    case Qt::DisplayRole:
      return FromAnsi(grid_.Cell(c, r));
    case Qt::TextAlignmentRole: {
      Qt::Alignment h = Qt::AlignLeft;
      if (grid_.CellAlignment(c, r) == Alignment::Right) h = Qt::AlignRight;
      if (grid_.CellAlignment(c, r) == Alignment::Center) h = Qt::AlignHCenter;
      // wrapped cells start at the top, single lines sit in the middle
      return QVariant::fromValue(h | (grid_.CellWordWrap(c, r) ? Qt::AlignTop : Qt::AlignVCenter));
    }
    case kWordWrapRole:
      return grid_.CellWordWrap(c, r);
    default:
      return {};
  }
}

void ReportGridModel::Reset() {
  beginResetModel();
  endResetModel();
}

namespace {

// Wraps the text of cells that ask for it and of no other cell.
class WrapDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(ReportGridModel::kWordWrapRole).toBool()) {
      option->features |= QStyleOptionViewItem::WrapText;
    } else {
      option->features &= ~QStyleOptionViewItem::WrapText;
    }
  }
};

}  // namespace

ReportGridView::ReportGridView(const platform::grid::ReportGrid& grid, QWidget* parent)
    : QTableView(parent), grid_(grid), model_(new ReportGridModel(grid, this)) {
  setModel(model_);
  setItemDelegate(new WrapDelegate(this));
  horizontalHeader()->hide();
  verticalHeader()->hide();
  horizontalHeader()->setMinimumSectionSize(0);
  verticalHeader()->setMinimumSectionSize(0);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(true);
  setTextElideMode(Qt::ElideNone);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  Refresh();
}

void ReportGridView::Refresh() {
  model_->Reset();
  clearSpans();
  const int cols = grid_.ColCount(), rows = grid_.RowCount();
  for (const auto& m : grid_.Merges()) {
    if (m.col >= cols || m.row >= rows) continue;
    const int spanCols = std::min(m.cols, cols - m.col);
    const int spanRows = std::min(m.rows, rows - m.row);
    if (spanCols > 1 || spanRows > 1) setSpan(m.row, m.col, spanRows, spanCols);
  }
  for (int c = 0; c < cols; ++c) setColumnWidth(c, grid_.ColWidth(c));
  for (int r = 0; r < rows; ++r) setRowHeight(r, grid_.RowHeight(r));
}

}  // namespace gui
