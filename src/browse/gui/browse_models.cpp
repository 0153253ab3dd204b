#include "browse/gui/browse_models.h"

#include <algorithm>

#include "util/gui/qt_text.h"
#include "util/text.h"

namespace zafirel {

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft;
constexpr Qt::Alignment kRight = Qt::AlignRight;

}  // namespace

DiscListModel::DiscListModel(QObject* parent)
    : ListModel({{QStringLiteral("Nombre"), 300, kLeft},
                 {QStringLiteral("Tamaño"), 60, kRight, QStringLiteral("9999999 MB")},
                 {QStringLiteral("Etiqueta"), 100, kLeft},
                 {QStringLiteral("Nº serie"), 70, kLeft, QStringLiteral("FFFFFFFF")},
                 {QStringLiteral("Nº archivos"), 70, kRight, QStringLiteral("99.999.999")},
                 {QStringLiteral("Nº CD"), 50, kRight, QStringLiteral("99999")},
                 {QStringLiteral("Album"), 100, kLeft}},
                parent) {}

int DiscListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(reader_ ? records_.size() : rows_.size());
}

void DiscListModel::SetRows(std::vector<DiscRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  records_.clear();
  reader_ = nullptr;
  read_.clear();
  endResetModel();
}

void DiscListModel::SetRecords(std::vector<std::uint32_t> records, RowReader reader) {
  beginResetModel();
  rows_.clear();
  records_ = std::move(records);
  reader_ = std::move(reader);
  read_.clear();
  endResetModel();
}

const DiscRow& DiscListModel::Row(int row) const {
  if (!reader_) return rows_[static_cast<std::size_t>(row)];
  if (const auto known = read_.find(row); known != read_.end()) return known->second;
  constexpr std::size_t kKeptRows = 4096;
  if (read_.size() >= kKeptRows) read_.clear();
  std::optional<DiscRow> read = reader_(records_[static_cast<std::size_t>(row)]);
  return read_.emplace(row, read ? std::move(*read) : DiscRow{}).first->second;
}

std::uint32_t DiscListModel::RecordOf(int row) const {
  return reader_ && row >= 0 && static_cast<std::size_t>(row) < records_.size()
             ? records_[static_cast<std::size_t>(row)]
             : 0;
}

int DiscListModel::RowOfRecord(std::uint32_t recNo) const {
  const auto found = std::find(records_.begin(), records_.end(), recNo);
  return recNo == 0 || found == records_.end() ? -1 : static_cast<int>(found - records_.begin());
}

std::string_view DiscListModel::CellText(int row, int column) const {
  return Row(row).cells[static_cast<std::size_t>(column)];
}

FileListModel::FileListModel(QObject* parent)
    : ListModel({{QStringLiteral("Nombre"), 200, kLeft},
                 {QStringLiteral("Tamaño"), 75, kRight, QStringLiteral("99.999.999")},
                 {QStringLiteral("Fecha"), 70, kLeft, QStringLiteral("00/00/0000")},
                 {QStringLiteral("Comentarios"), 150, kLeft}},
                parent) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(positions_.size());
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = ListModel::flags(index);
  if (index.isValid() && index.column() == 0) flags |= Qt::ItemIsEditable;
  return flags;
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.column() != 0) return false;
  std::string name = Ansi(value.toString());
  if (name == Name(index.row())) return false;  // the edit ended without a new text
  if (!rename_ || !rename_(index.row(), name)) return false;
  emit dataChanged(index, index);  // the row's line holds the new name
  return true;
}

void FileListModel::SetRows(const LineList& lines, std::vector<std::size_t> positions,
                            std::size_t prefixLength, const Locale& locale) {
  beginResetModel();
  lines_ = &lines;
  locale_ = &locale;
  positions_ = std::move(positions);
  prefixLength_ = prefixLength;
  endResetModel();
}

void FileListModel::Clear() {
  beginResetModel();
  lines_ = nullptr;
  positions_ = {};
  endResetModel();
}

std::string_view FileListModel::Rest(int row) const {
  if (lines_ == nullptr || row < 0 || static_cast<std::size_t>(row) >= positions_.size()) return {};
  const std::size_t position = positions_[static_cast<std::size_t>(row)];
  if (position >= lines_->size()) return {};
  const std::string_view line = (*lines_)[position];
  return line.substr(std::min(prefixLength_, line.size()));
}

std::string_view FileListModel::Name(int row) const { return Trozo(Rest(row), ';', 0); }

std::string_view FileListModel::CellText(int row, int column) const {
  const std::string_view rest = Rest(row);
  if (column == 1) {
    if (locale_ == nullptr) return {};
    sizeCell_ = FileSizeCell(Trozo(rest, ';', 1), *locale_);
    return sizeCell_;
  }
  return Trozo(rest, ';', column == 0 ? 0 : column == 2 ? 2 : 3);
}

FolderTreeModel::FolderTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void FolderTreeModel::BeginChange() {
  beginResetModel();
  tree_ = nullptr;
  rowInParent_.clear();
}

void FolderTreeModel::EndChange(const FolderTree* tree) {
  tree_ = tree;
  if (tree_ != nullptr) {
    rowInParent_.assign(tree_->Nodes().size(), 0);
    for (const FolderNode& node : tree_->Nodes())
      for (std::size_t i = 0; i < node.children.size(); ++i)
        rowInParent_[static_cast<std::size_t>(node.children[i])] = static_cast<int>(i);
  }
  endResetModel();
}

int FolderTreeModel::NodeOf(const QModelIndex& index) {
  return index.isValid() ? static_cast<int>(index.internalId()) : -1;
}

QModelIndex FolderTreeModel::IndexOf(int node) const {
  if (tree_ == nullptr || node < 0 || node >= static_cast<int>(tree_->Nodes().size())) return {};
  return createIndex(
      tree_->Node(node).parent < 0 ? 0 : rowInParent_[static_cast<std::size_t>(node)], 0,
      static_cast<quintptr>(node));
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (tree_ == nullptr || tree_->empty() || column != 0 || row < 0) return {};
  if (!parent.isValid()) return row == 0 ? createIndex(0, 0, quintptr(0)) : QModelIndex();
  const FolderNode& p = tree_->Node(NodeOf(parent));
  if (row >= static_cast<int>(p.children.size())) return {};
  return createIndex(row, 0, static_cast<quintptr>(p.children[static_cast<std::size_t>(row)]));
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
  if (tree_ == nullptr || !child.isValid()) return {};
  return IndexOf(tree_->Node(NodeOf(child)).parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
  if (tree_ == nullptr || tree_->empty()) return 0;
  if (!parent.isValid()) return 1;
  return static_cast<int>(tree_->Node(NodeOf(parent)).children.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
  if (tree_ == nullptr || !index.isValid()) return {};
  if (role == Qt::DisplayRole) return Qs(tree_->Node(NodeOf(index)).name);
  if (role == Qt::DecorationRole && !icon_.isNull()) return icon_;
  return {};
}

}  // namespace zafirel
