#include "browse/folder_tree.h"

#include <algorithm>

#include "util/no_case_finder.h"
#include "util/text.h"

namespace zafirel {

int FolderTree::Add(std::string name, int parent) {
  const int index = static_cast<int>(nodes_.size());
  FolderNode node;
  node.name = std::move(name);
  node.parent = parent;
  node.level = parent < 0 ? 0 : nodes_[static_cast<std::size_t>(parent)].level + 1;
  nodes_.push_back(std::move(node));
  if (parent >= 0) nodes_[static_cast<std::size_t>(parent)].children.push_back(index);
  return index;
}

FolderTree FolderTree::FromLines(const LineList& lines) {
  FolderTree tree;
  if (lines.empty()) return tree;
  int previous = tree.Add(std::string(lines[0]), -1);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const int depth = CuentaTrozos(line, '\\');
    if (depth == 0) continue;
    const FolderNode& p = tree.Node(previous);
    int parent = -1;
    if (depth >= p.level + 2) {
      parent = previous;  // a child; a skipped level is not made up
    } else if (depth == p.level + 1) {
      parent = p.parent;  // a sibling
    } else {
      int q = p.parent;  // climb to the ancestor at level depth - 1
      while (q >= 0 && tree.Node(q).level > depth - 1) q = tree.Node(q).parent;
      parent = q >= 0 ? tree.Node(q).parent : -1;
    }
    if (parent < 0) continue;  // nothing to hang it on: skipped
    previous = tree.Add(std::string(Trozo(line, '\\', depth - 1)), parent);
  }
  return tree;
}

std::string FolderTree::FolderPath(int node) const {
  std::vector<int> chain;
  for (int n = node; n > 0 && Node(n).parent >= 0; n = Node(n).parent) chain.push_back(n);
  std::string path = nodes_.front().name;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it != chain.rbegin()) path += '\\';
    path += Node(*it).name;
  }
  return path;
}

std::string FolderTree::Prefix(int node) const {
  return Node(node).parent < 0 ? Node(node).name : FolderPath(node) + "\\";
}

FolderLineRule::FolderLineRule(std::string_view prefix)
    : prefixLength_(prefix.size()), finder_(UpperAZ(prefix)) {}

FolderLineRule::Verdict FolderLineRule::Judge(std::string_view line) const {
  // An empty prefix is contained in every line.
  if (!finder_.empty() && finder_.Find(line) == std::string_view::npos) return Verdict::kOther;
  const std::string_view rest = line.substr(std::min(prefixLength_, line.size()));
  return rest.find('\\') == std::string_view::npos ? Verdict::kOwn : Verdict::kBelow;
}

std::vector<std::size_t> ListFolderFiles(const LineList& lines, std::string_view prefix) {
  const FolderLineRule rule(prefix);
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const FolderLineRule::Verdict verdict = rule.Judge(lines[i]);
    if (verdict == FolderLineRule::Verdict::kBelow) break;
    if (verdict == FolderLineRule::Verdict::kOwn) found.push_back(i);
  }
  return found;
}

std::vector<int> WalkToFolder(const FolderTree& tree, std::string_view folderPath) {
  std::vector<int> path;
  if (tree.empty()) return path;
  const int depth = CuentaTrozos(folderPath, '\\');
  if (depth <= 1) return {0};
  auto nameOf = [&](int node) -> std::string_view {
    const FolderNode& n = tree.Node(node);
    if (n.parent >= 0) return n.name;
    return std::string_view(n.name).substr(0, n.name.find('\\'));
  };
  const int count = static_cast<int>(tree.Nodes().size());
  int from = 0;
  for (int level = 1; level < depth; ++level) {
    const std::string_view piece = Trozo(folderPath, '\\', level);
    const std::string_view parentPiece = Trozo(folderPath, '\\', level - 1);
    int found = -1;
    for (int i = from; i < count && found < 0; ++i) {
      const FolderNode& node = tree.Node(i);
      if (node.parent >= 0 && node.name == piece && nameOf(node.parent) == parentPiece) found = i;
    }
    if (found < 0) break;
    path.push_back(found);
    from = found + 1;
  }
  return path;
}

std::size_t FindFileLine(const LineList& lines, std::string_view folderPath,
                         std::string_view fileName) {
  std::string target(folderPath);
  if (!target.empty() && target.back() == '\\') target.pop_back();
  target += '\\';
  target += fileName;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (EqualsNoCaseAZ(Trozo(lines[i], ';', 0), target)) return i;
  return lines.size();
}

}  // namespace zafirel
