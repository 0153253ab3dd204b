// A disc's folder tree rebuilt from its tree-file lines, and the look-ups
// over its file-list lines that the file views and edits use. Pure logic: the
// GUI shows the nodes and the listed lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/line_list.h"
#include "util/no_case_finder.h"

namespace zafirel {

struct FolderNode {
  std::string name;  // the whole line for the root
  int parent = -1;
  int level = 0;
  std::vector<int> children;
};

class FolderTree {
 public:
  // The first line is the root; each later line is placed by its depth
  // against the line before it. A line that cannot be placed is skipped.
  static FolderTree FromLines(const LineList& lines);

  bool empty() const { return nodes_.empty(); }
  const std::vector<FolderNode>& Nodes() const { return nodes_; }
  const FolderNode& Node(int i) const { return nodes_[static_cast<std::size_t>(i)]; }

  // The root's text, then the names from level 1 down, joined with "\".
  std::string FolderPath(int node) const;
  // What the file-list lines of the folder begin with.
  std::string Prefix(int node) const;

 private:
  int Add(std::string name, int parent);
  std::vector<FolderNode> nodes_;
};

// The nodes that lead to a folder path ending in "\" (D:\DOCS\OLD\), one a
// level, found in file order (the tree's depth-first order): for each level
// the next node named like that piece whose parent is named like the piece
// before it (the root answering to its text up to its first "\"). Names
// compare exactly. A level that is not found ends the walk; a path of one
// piece gives the root alone.
std::vector<int> WalkToFolder(const FolderTree& tree, std::string_view folderPath);

// Which file-list lines are a folder's own. A line concerns the folder when
// it contains the prefix (letters a to z compared without case); it belongs
// to it when the rest after the prefix's length holds no "\", and is
// otherwise of a folder below, where a scan stops, since the folder's own
// lines come before those of its subfolders.
class FolderLineRule {
 public:
  enum class Verdict { kOther, kOwn, kBelow };
  explicit FolderLineRule(std::string_view prefix);
  Verdict Judge(std::string_view line) const;

 private:
  std::size_t prefixLength_;
  NoCaseFinder finder_;
};

// Positions of the file-list lines of one folder, by the rule above.
std::vector<std::size_t> ListFolderFiles(const LineList& lines, std::string_view prefix);

// The first line whose path field is the folder's path, "\" and the name,
// compared without case; a longer name that merely contains it does not
// count. LineList::npos-like: lines.size() when there is none.
std::size_t FindFileLine(const LineList& lines, std::string_view folderPath,
                         std::string_view fileName);

}  // namespace zafirel
