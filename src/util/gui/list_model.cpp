#include "util/gui/list_model.h"

#include "util/gui/qt_text.h"

namespace zafirel {

ListModel::ListModel(std::vector<ListColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)) {}

void ListModel::SetCaption(int column, const QString& caption) {
  if (column < 0 || column >= static_cast<int>(columns_.size())) return;
  columns_[static_cast<std::size_t>(column)].caption = caption;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

void ListModel::SetMarkedColumn(int column, const QIcon& mark) {
  marked_ = column;
  mark_ = mark;
  emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int ListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return Qs(CellText(index.row(), index.column()));
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(columns_[static_cast<std::size_t>(index.column())].alignment |
                                 Qt::AlignVCenter);
    case Qt::DecorationRole:
      if (index.column() == 0 && !rowIcon_.isNull()) return rowIcon_;
      return {};
    default:
      return {};
  }
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  const ListColumn& column = columns_[static_cast<std::size_t>(section)];
  switch (role) {
    case Qt::DisplayRole:
      return column.caption;
    case Qt::DecorationRole:
      if (section == marked_ && !mark_.isNull()) return mark_;
      return {};
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(column.alignment | Qt::AlignVCenter);
    default:
      return {};
  }
}

}  // namespace zafirel

#include <QHeaderView>
#include <QStyle>
#include <QTableView>
#include <algorithm>

namespace zafirel {

namespace {

// Widens (never narrows) each column to what its caption, the sort mark and
// its widest value need, so that neither is cut in a larger font.
void FitColumns(QTableView& view, const ListModel& model) {
  const QFontMetrics text(view.fontMetrics());
  const QFontMetrics header(view.horizontalHeader()->fontMetrics());
  const int margin = 2 * view.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &view) + 8;
  const int mark = view.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &view) + 4;
  for (int i = 0; i < model.columnCount(); ++i) {
    const ListColumn& column = model.Columns()[static_cast<std::size_t>(i)];
    const int marked = model.MarkedColumn() == i ? mark : 0;
    const int need =
        std::max({column.width, header.horizontalAdvance(column.caption) + margin + marked,
                  text.horizontalAdvance(column.widest) + margin});
    if (view.columnWidth(i) < need) view.setColumnWidth(i, need);
  }
}

}  // namespace

void ShowAsReport(QTableView& view, ListModel& model) {
  view.setModel(&model);
  view.setShowGrid(true);
  view.setSelectionBehavior(QAbstractItemView::SelectRows);
  view.setWordWrap(false);
  view.setCornerButtonEnabled(false);
  view.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  view.verticalHeader()->hide();
  view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view.verticalHeader()->setDefaultSectionSize(view.fontMetrics().height() + 4);
  view.horizontalHeader()->setHighlightSections(false);
  view.horizontalHeader()->setStretchLastSection(true);
  view.horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int i = 0; i < model.columnCount(); ++i)
    view.setColumnWidth(i, model.Columns()[static_cast<std::size_t>(i)].width);
  FitColumns(view, model);
  QObject::connect(&model, &QAbstractItemModel::headerDataChanged, &view,
                   [&view, &model] { FitColumns(view, model); });
}

}  // namespace zafirel
