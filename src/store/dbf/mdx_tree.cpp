// The changes to a tag's B-tree: inserting with node splits, removing with
// merges and sharing between neighbours, so every node stays valid for any
// reader after each single change.
#include <algorithm>

#include "store/dbf/mdx.h"

namespace zafirel::dbf {

using mdx::Item;
using mdx::Node;
using mdx::TreeState;

namespace {

struct Halves {
  Node left;
  Node right;
  std::string separator;  // the largest key under left
};

// Cuts an overfull (or joined) node in two halves of about equal size.
Halves Split(const Node& node) {
  Halves h;
  const std::size_t n = node.items.size();
  const std::size_t m = n / 2;
  if (node.IsLeaf()) {
    h.left.items.assign(node.items.begin(), node.items.begin() + m);
    h.right.items.assign(node.items.begin() + m, node.items.end());
    h.separator = h.left.items.back().key;
  } else {
    h.left.items.assign(node.items.begin(), node.items.begin() + m);
    h.left.right = node.items[m].pointer;
    h.separator = node.items[m].key;
    h.right.items.assign(node.items.begin() + m + 1, node.items.end());
    h.right.right = node.right;
  }
  return h;
}

// Two neighbours as one node; separator is the parent's key for a.
Node Join(const Node& a, const Node& b, const std::string& separator) {
  Node joined;
  joined.items = a.items;
  if (!a.IsLeaf()) joined.items.push_back(Item{a.right, separator});
  joined.items.insert(joined.items.end(), b.items.begin(), b.items.end());
  joined.right = b.right;
  return joined;
}

}  // namespace

bool MdxTag::Insert(std::string_view key, std::uint32_t recNo) {
  if (recNo == 0) return false;
  const std::string stored = StoredKey(key);
  TreeState state = ReadState();
  if (tag_.unique) {
    Path first = Descend(stored, 0, state);
    if (At(first) == nullptr) Advance(first, state.pages);
    const Item* same = At(first);
    if (same != nullptr && mdx::CompareKeys(same->key, stored, tag_.keyType) == 0) return false;
  }
  Path path = Descend(stored, recNo, state);
  const Item* there = At(path);
  if (there != nullptr && there->pointer == recNo && there->key == stored) return false;
  Level& leaf = path.back();
  leaf.node.items.insert(leaf.node.items.begin() + static_cast<std::ptrdiff_t>(leaf.index),
                         Item{recNo, stored});
  SplitUpward(path, state);
  FixRightEdge(state);
  WriteState(state);
  return true;
}

// An overfull node keeps its left half in place and sends the right half to
// a new block; the parent gains the left half's largest key.
void MdxTag::SplitUpward(Path& path, TreeState& state) {
  for (std::size_t l = path.size(); l-- > 0;) {
    Level& level = path[l];
    if (level.node.items.size() <= tag_.MaxKeys()) {
      WriteNode(level.page, level.node);
      return;
    }
    Halves halves = Split(level.node);
    const std::uint32_t rightPage = NewPage(state);
    WriteNode(level.page, halves.left);
    WriteNode(rightPage, halves.right);
    if (l == 0) {
      Node root;
      root.items.push_back(Item{level.page, halves.separator});
      root.right = rightPage;
      state.root = NewPage(state);
      WriteNode(state.root, root);
      return;
    }
    Level& parent = path[l - 1];
    parent.node.items.insert(parent.node.items.begin() + static_cast<std::ptrdiff_t>(parent.index),
                             Item{level.page, halves.separator});
    parent.node.SetChild(parent.index + 1, rightPage);
  }
}

bool MdxTag::Remove(std::string_view key, std::uint32_t recNo) {
  const std::string stored = StoredKey(key);
  TreeState state = ReadState();
  Path path = Descend(stored, recNo, state);
  const Item* there = At(path);
  if (there == nullptr || there->pointer != recNo ||
      mdx::CompareKeys(there->key, stored, tag_.keyType) != 0)
    return false;
  Level& leaf = path.back();
  if (leaf.index + 1 == leaf.node.items.size()) {
    // The entry was the largest under some ancestor's child: that key
    // becomes the entry just before it.
    Path before = path;
    if (Retreat(before, state.pages)) {
      const std::string previous = At(before)->key;
      for (std::size_t l = path.size() - 1; l-- > 0;) {
        if (path[l].index < path[l].node.items.size()) {
          path[l].node.items[path[l].index].key = previous;
          break;
        }
      }
    }
  }
  leaf.node.items.erase(leaf.node.items.begin() + static_cast<std::ptrdiff_t>(leaf.index));
  RebalanceUpward(path, state);
  FixRightEdge(state);
  WriteState(state);
  return true;
}

// A node left under half full is joined with a neighbour when both fit in
// one block, else the two share their items evenly.
void MdxTag::RebalanceUpward(Path& path, TreeState& state) {
  const std::size_t minimum = tag_.MaxKeys() / 2u;
  std::vector<bool> pending(path.size(), true);
  for (std::size_t l = path.size() - 1; l > 0; --l) {
    Level& level = path[l];
    Level& parent = path[l - 1];
    if (level.node.items.size() >= minimum || parent.node.items.empty()) break;
    const bool withRight = parent.index + 1 < parent.node.Children();
    const std::size_t leftIndex = withRight ? parent.index : parent.index - 1;
    const std::uint32_t leftPage = parent.node.Child(leftIndex);
    const std::uint32_t rightPage = parent.node.Child(leftIndex + 1);
    const Node other = ReadNode(withRight ? rightPage : leftPage, state.pages);
    const Node& left = withRight ? level.node : other;
    const Node& right = withRight ? other : level.node;
    const std::string separator = parent.node.items[leftIndex].key;
    const Node joined = Join(left, right, separator);
    pending[l] = false;
    if (joined.items.size() <= tag_.MaxKeys()) {
      WriteNode(rightPage, joined);
      parent.node.items.erase(parent.node.items.begin() + static_cast<std::ptrdiff_t>(leftIndex));
      continue;
    }
    const Halves halves = Split(joined);
    WriteNode(leftPage, halves.left);
    WriteNode(rightPage, halves.right);
    parent.node.items[leftIndex].key = halves.separator;
    break;
  }
  Level& root = path.front();
  if (!root.node.IsLeaf() && root.node.items.empty()) {
    state.root = root.node.right;
    pending[0] = false;
  }
  for (std::size_t l = 0; l < path.size(); ++l)
    if (pending[l]) WriteNode(path[l].page, path[l].node);
}

void MdxTag::FixRightEdge(TreeState& state) const {
  Path first;
  DescendEdge(first, state.root, false, state.pages);
  state.leftLeaf = first.back().page;
  state.rightLeaf = DescendEnd(state).back().page;
}

}  // namespace zafirel::dbf
