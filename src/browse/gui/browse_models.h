// The models behind the disc list, the folder tree and the file list.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "browse/disc_list.h"
#include "browse/folder_tree.h"
#include "browse/loaded_catalogue.h"
#include "util/gui/list_model.h"

namespace zafirel {

// One row per disc: title, size, label, serial number, file count, the
// user's number, album.
class DiscListModel : public ListModel {
  Q_OBJECT
 public:
  explicit DiscListModel(QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = {}) const override;
  void SetRows(std::vector<DiscRow> rows);
  // Rows read only when they are asked for: the records in the list's
  // order and how to read one (nullopt: the record is gone). A few
  // thousand rows read are kept.
  using RowReader = std::function<std::optional<DiscRow>(std::uint32_t recNo)>;
  void SetRecords(std::vector<std::uint32_t> records, RowReader reader);
  // Good until the next call.
  const DiscRow& Row(int row) const;
  // The record of a row, and the row of a record (-1: not listed); only for
  // rows read from records.
  std::uint32_t RecordOf(int row) const;
  int RowOfRecord(std::uint32_t recNo) const;

 protected:
  std::string_view CellText(int row, int column) const override;

 private:
  std::vector<DiscRow> rows_;
  std::vector<std::uint32_t> records_;
  RowReader reader_;
  mutable std::unordered_map<int, DiscRow> read_;
};

// One row per file of the selected folder, shown straight from the loaded
// catalogue's lines: a row is the position of its line, and its cells are
// cut from the line when the view asks, so a folder of a million files
// costs a million positions. The name is edited in place; the rename hook
// says whether the line was renamed.
class FileListModel : public ListModel {
  Q_OBJECT
 public:
  using RenameHook = std::function<bool(int row, std::string& name)>;
  explicit FileListModel(QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = {}) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  // The lines at the given positions, of a folder whose prefix has
  // prefixLength bytes; the list and locale must outlive the rows (or the
  // next SetRows or Clear).
  void SetRows(const LineList& lines, std::vector<std::size_t> positions, std::size_t prefixLength,
               const Locale& locale);
  void Clear();
  // The file name a row shows, valid until the lines change.
  std::string_view Name(int row) const;
  void SetRenameHook(RenameHook hook) { rename_ = std::move(hook); }

 protected:
  std::string_view CellText(int row, int column) const override;

 private:
  // The line a row shows after the folder's prefix; empty for a position the
  // lines no longer hold (between an edit and the refill that follows it).
  std::string_view Rest(int row) const;

  const LineList* lines_ = nullptr;
  const Locale* locale_ = nullptr;
  std::vector<std::size_t> positions_;
  std::size_t prefixLength_ = 0;
  mutable std::string sizeCell_;  // the view copies a cell's text at once
  RenameHook rename_;
};

// The folders of the loaded catalogue; an index's internal id is its node.
class FolderTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  explicit FolderTreeModel(QObject* parent = nullptr);
  // The tree is changed between the two calls; the views forget its nodes.
  void BeginChange();
  void EndChange(const FolderTree* tree);
  void SetIcon(const QIcon& icon) { icon_ = icon; }
  QModelIndex IndexOf(int node) const;
  static int NodeOf(const QModelIndex& index);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  const FolderTree* tree_ = nullptr;
  std::vector<int> rowInParent_;
  QIcon icon_;
};

}  // namespace zafirel
