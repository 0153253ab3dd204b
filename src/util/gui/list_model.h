// A report-style list as a model: rows of text cells in fixed columns, the
// captions and alignments of the columns, a picture on every row's first cell
// and one header that may carry the sort mark. Subclasses hold the rows.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <string_view>
#include <vector>

namespace zafirel {

struct ListColumn {
  QString caption;
  int width;  // at least; wider when the caption or the widest value needs it
  Qt::Alignment alignment;
  QString widest = {};  // a sample of the widest value the column shows
};

class ListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  ListModel(std::vector<ListColumn> columns, QObject* parent);

  const std::vector<ListColumn>& Columns() const { return columns_; }
  void SetCaption(int column, const QString& caption);
  // The header picture goes on this column alone; -1 for none.
  void SetMarkedColumn(int column, const QIcon& mark);
  int MarkedColumn() const { return marked_; }
  void SetRowIcon(const QIcon& icon) { rowIcon_ = icon; }

  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 protected:
  virtual std::string_view CellText(int row, int column) const = 0;

 private:
  std::vector<ListColumn> columns_;
  int marked_ = -1;
  QIcon mark_;
  QIcon rowIcon_;
};

}  // namespace zafirel

class QTableView;

namespace zafirel {

// Sets a table view up as a report-style list over the model: grid lines,
// whole rows selected, no row header, compact rows, and columns as wide as
// the model says or as their caption (with the sort mark) and widest value
// need in the view's font; they widen again when a caption changes.
void ShowAsReport(QTableView& view, ListModel& model);

}  // namespace zafirel
