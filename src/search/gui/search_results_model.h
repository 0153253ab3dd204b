// The results tree of a search as a model: headings (one per disc with hits,
// and title headings) at the top level, the hits' paths below their disc's
// heading. Filled in one bulk update; the views see it when the update ends.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/line_list.h"

namespace zafirel {

class SearchResultsModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  explicit SearchResultsModel(QObject* parent = nullptr);

  // Empties the tree and starts collecting; the views see nothing new until
  // EndUpdate.
  void BeginUpdate();
  void EndUpdate();
  void AddTitleHeading(std::string_view text);
  void AddDiscHeading(std::string_view text, std::string_view number);
  // A hit under the last heading.
  void AddHit(std::string_view path);
  void SetIcon(const QIcon& icon) { icon_ = icon; }

  bool empty() const { return headings_.empty(); }
  // Every node in tree order: a heading (top level) then its hits.
  void ForEachNode(const std::function<void(std::string_view text, bool topLevel)>& visit) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  struct Heading {
    std::string text;
    std::string number;  // the disc's record; empty for a title heading
    std::uint32_t firstHit = 0, hits = 0;
  };
  std::vector<Heading> headings_;
  LineList hitPaths_;
  bool updating_ = false;
  QIcon icon_;
};

}  // namespace zafirel
