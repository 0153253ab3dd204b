#include "search/gui/search_results_model.h"

#include "search/gui/results_roles.h"
#include "util/gui/qt_text.h"

namespace zafirel {

// An index's internal id: 0 for a heading, the heading's row + 1 for a hit.
SearchResultsModel::SearchResultsModel(QObject* parent) : QAbstractItemModel(parent) {}

void SearchResultsModel::BeginUpdate() {
  beginResetModel();
  updating_ = true;
  headings_.clear();
  hitPaths_.clear();
}

void SearchResultsModel::EndUpdate() {
  if (!updating_) return;
  updating_ = false;
  endResetModel();
}

void SearchResultsModel::AddTitleHeading(std::string_view text) {
  headings_.push_back({std::string(text), std::string(), 0, 0});
}

void SearchResultsModel::AddDiscHeading(std::string_view text, std::string_view number) {
  headings_.push_back(
      {std::string(text), std::string(number), static_cast<std::uint32_t>(hitPaths_.size()), 0});
}

void SearchResultsModel::AddHit(std::string_view path) {
  if (headings_.empty() || headings_.back().number.empty()) return;  // hits belong to a disc
  if (headings_.back().hits == 0)
    headings_.back().firstHit = static_cast<std::uint32_t>(hitPaths_.size());
  hitPaths_.push_back(path);
  ++headings_.back().hits;
}

void SearchResultsModel::ForEachNode(
    const std::function<void(std::string_view text, bool topLevel)>& visit) const {
  for (const Heading& heading : headings_) {
    visit(heading.text, true);
    for (std::uint32_t i = 0; i < heading.hits; ++i) visit(hitPaths_[heading.firstHit + i], false);
  }
}

QModelIndex SearchResultsModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  if (!parent.isValid())
    return row < static_cast<int>(headings_.size()) ? createIndex(row, 0, quintptr(0))
                                                    : QModelIndex();
  if (parent.internalId() != 0) return {};  // hits have no children
  const Heading& heading = headings_[static_cast<std::size_t>(parent.row())];
  if (row >= static_cast<int>(heading.hits)) return {};
  return createIndex(row, 0, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex SearchResultsModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == 0) return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr(0));
}

int SearchResultsModel::rowCount(const QModelIndex& parent) const {
  if (updating_) return 0;
  if (!parent.isValid()) return static_cast<int>(headings_.size());
  if (parent.internalId() != 0) return 0;
  return static_cast<int>(headings_[static_cast<std::size_t>(parent.row())].hits);
}

int SearchResultsModel::columnCount(const QModelIndex&) const { return 1; }

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || updating_) return {};
  const bool hit = index.internalId() != 0;
  const Heading& heading =
      headings_[static_cast<std::size_t>(hit ? index.internalId() - 1 : index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return hit ? Qs(hitPaths_[heading.firstHit + static_cast<std::uint32_t>(index.row())])
                 : Qs(heading.text);
    case kDiscNumberRole:
      if (hit || heading.number.empty()) return {};
      return QString::fromStdString(heading.number);
    case Qt::DecorationRole:
      return icon_.isNull() ? QVariant() : QVariant(icon_);
    default:
      return {};
  }
}

}  // namespace zafirel
