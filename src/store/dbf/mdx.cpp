#include "store/dbf/mdx.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "store/dbf/dbf_error.h"
#include "util/bytes.h"
#include "util/file_writer.h"
#include "util/text.h"

namespace zafirel::dbf {

using mdx::Item;
using mdx::Node;
using mdx::TagInfo;
using mdx::TreeState;

namespace {

// Deeper than any real tree of 2^32 records; reaching it means a cycle.
constexpr std::size_t kMaxDepth = 40;
constexpr std::uint64_t kHeadersSize = 6 * mdx::kPageSize;

std::uint64_t Offset(std::uint32_t page) { return std::uint64_t{page} * mdx::kPageSize; }

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

// Spreads count items over as few groups of at most size as possible,
// evenly, so no group is left nearly empty.
std::vector<std::size_t> GroupSizes(std::size_t count, std::size_t size) {
  const std::size_t groups = std::max<std::size_t>(1, (count + size - 1) / size);
  std::vector<std::size_t> sizes(groups, count / groups);
  for (std::size_t i = 0; i < count % groups; ++i) ++sizes[i];
  return sizes;
}

}  // namespace

// --- building and opening ---------------------------------------------------

void MdxTag::Build(const std::filesystem::path& file, const TagInfo& tag,
                   std::vector<Entry> entries) {
  if (!mdx::IsValidTag(tag)) throw DbfError("La definici\xF3n del \xEDndice es inv\xE1lida", file);
  MdxTag shape(RawFile(), tag);
  for (Entry& e : entries) e.key = shape.StoredKey(e.key);
  std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
    return shape.Compare(a.key, a.recNo, b.key, b.recNo) < 0;
  });
  entries.erase(std::unique(entries.begin(), entries.end(),
                            [&](const Entry& a, const Entry& b) {
                              return tag.unique ? mdx::CompareKeys(a.key, b.key, tag.keyType) == 0
                                                : a == b;
                            }),
                entries.end());
  std::erase_if(entries, [](const Entry& e) { return e.recNo == 0; });

  std::string blocks;
  TreeState state;
  state.pages = mdx::kFirstNodePage;
  std::vector<Item> level;  // (page, largest key) of each node just written
  auto emit = [&](const Node& node, std::string largest) {
    level.push_back(Item{state.pages, std::move(largest)});
    blocks += mdx::EncodeNode(node, tag);
    state.pages += mdx::kPagesPerBlock;
  };
  std::size_t next = 0;
  for (std::size_t size : GroupSizes(entries.size(), tag.MaxKeys())) {
    Node leaf;
    for (std::size_t i = 0; i < size; ++i, ++next)
      leaf.items.push_back(Item{entries[next].recNo, entries[next].key});
    emit(leaf, leaf.items.empty() ? std::string() : leaf.items.back().key);
  }
  state.leftLeaf = level.front().pointer;
  state.rightLeaf = level.back().pointer;
  while (level.size() > 1) {
    const std::vector<Item> children = std::move(level);
    level.clear();
    next = 0;
    for (std::size_t size : GroupSizes(children.size(), tag.MaxKeys() + 1u)) {
      Node inner;
      inner.items.assign(children.begin() + next, children.begin() + next + size - 1);
      inner.right = children[next + size - 1].pointer;
      next += size;
      emit(inner, children[next - 1].key);
    }
  }
  state.root = level.front().pointer;
  const std::string bytes =
      mdx::EncodeFileHeader(tag, state) + mdx::EncodeTagHeader(tag, state, 1) + blocks;
  if (!WriteFileAtomically(file, bytes))
    throw DbfError("No se puede crear el archivo de \xEDndice", file);
}

MdxTag MdxTag::Open(const std::filesystem::path& path) {
  RawFile file = RawFile::Open(path);
  if (file.Size() < kHeadersSize + mdx::kBlockSize) throw DbfError(mdx::kBadIndex, path);
  const std::string fileHeader = file.ReadString(0, 4 * mdx::kPageSize);
  const std::string tagHeader = file.ReadString(Offset(mdx::kTagHeaderPage), mdx::kBlockSize);
  std::optional<TagInfo> tag = mdx::DecodeHeaders(fileHeader, tagHeader);
  if (!tag) throw DbfError(mdx::kBadIndex, path);
  MdxTag result(std::move(file), std::move(*tag));
  result.CheckTree(result.ReadState());
  return result;
}

void MdxTag::Damaged() const { throw DbfError(mdx::kBadIndex, file_.Path()); }

// Every node reachable once, all leaves at one depth, entries in order.
void MdxTag::CheckTree(const TreeState& state) const {
  std::set<std::uint32_t> seen;
  int leafDepth = -1;
  std::optional<Entry> previous;
  auto visit = [&](auto& self, std::uint32_t page, int depth) -> void {
    if (depth > static_cast<int>(kMaxDepth) || !seen.insert(page).second) Damaged();
    const Node node = ReadNode(page, state.pages);
    if (!node.IsLeaf()) {
      for (std::size_t i = 0; i < node.Children(); ++i) self(self, node.Child(i), depth + 1);
      return;
    }
    if (leafDepth >= 0 && leafDepth != depth) Damaged();
    leafDepth = depth;
    for (const Item& item : node.items) {
      if (item.pointer == 0) Damaged();
      if (previous && Compare(previous->key, previous->recNo, item.key, item.pointer) > 0)
        Damaged();
      previous = Entry{item.key, item.pointer};
    }
  };
  visit(visit, state.root, 0);
}

// --- file access -------------------------------------------------------------

TreeState MdxTag::ReadState() const {
  const std::string fileHeader = file_.ReadString(0, 48);
  const std::string tagHeader = file_.ReadString(Offset(mdx::kTagHeaderPage), 256);
  if (fileHeader.size() < 48 || tagHeader.size() < 256) Damaged();
  TreeState state = mdx::DecodeTreeState(fileHeader, tagHeader);
  if (state.pages < mdx::kFirstNodePage + mdx::kPagesPerBlock || Offset(state.pages) > file_.Size())
    Damaged();
  return state;
}

void MdxTag::WriteState(const TreeState& state) {
  const std::uint64_t tagHeader = Offset(mdx::kTagHeaderPage);
  char word[4];
  auto put = [&](std::uint64_t offset, std::uint32_t value) {
    bytes::PutU32(word, value);
    file_.WriteAt(offset, word, 4);
  };
  put(32, state.pages);
  put(tagHeader, state.root);
  put(tagHeader + 4, state.pages - mdx::kTagHeaderPage);
  put(tagHeader + 248, state.leftLeaf);
  put(tagHeader + 252, state.rightLeaf);
  std::string serial = file_.ReadString(tagHeader + 20, 1);
  if (serial.size() == 1) {
    serial[0] = static_cast<char>(serial[0] + 1);
    file_.WriteAt(tagHeader + 20, serial);
  }
}

Node MdxTag::ReadNode(std::uint32_t page, std::uint32_t pages) const {
  if (page < mdx::kFirstNodePage || page > pages - mdx::kPagesPerBlock) Damaged();
  std::string block(mdx::kBlockSize, '\0');
  file_.ReadExactly(Offset(page), block.data(), block.size());
  std::optional<Node> node = mdx::DecodeNode(block, tag_);
  if (!node) Damaged();
  return std::move(*node);
}

void MdxTag::WriteNode(std::uint32_t page, const Node& node) {
  file_.WriteAt(Offset(page), mdx::EncodeNode(node, tag_));
}

std::uint32_t MdxTag::NewPage(TreeState& state) {
  const std::uint32_t page = state.pages;
  state.pages += mdx::kPagesPerBlock;
  return page;
}

// --- keys and paths -------------------------------------------------------------

std::string MdxTag::StoredKey(std::string_view key) const {
  if (tag_.keyType == 'N') {
    if (key.size() == mdx::kNumericKey && (static_cast<unsigned char>(key[1]) & 1)) {
      return std::string(key);
    }
    const std::string text(TrimBlanks(key));
    return mdx::EncodeNumericKey(text.empty() ? 0.0 : std::strtod(text.c_str(), nullptr));
  }
  std::string stored(key.substr(0, tag_.keyLength));
  stored.resize(tag_.keyLength, ' ');
  return stored;
}

int MdxTag::Compare(std::string_view keyA, std::uint32_t recA, std::string_view keyB,
                    std::uint32_t recB) const {
  const int c = mdx::CompareKeys(keyA, keyB, tag_.keyType);
  if (c != 0) return c;
  return recA == recB ? 0 : (recA < recB ? -1 : 1);
}

std::uint32_t MdxTag::MaxRecord(std::uint32_t page, std::uint32_t pages) const {
  for (std::size_t depth = 0; depth < kMaxDepth; ++depth) {
    const Node node = ReadNode(page, pages);
    if (node.IsLeaf()) return node.items.empty() ? 0 : node.items.back().pointer;
    page = node.right;
  }
  Damaged();
}

// The path to the first entry at or after (key, recNo). An inner key is the
// largest key under its child, but equal keys may run over several
// children, so for an equal key the child's last record decides.
MdxTag::Path MdxTag::Descend(std::string_view key, std::uint32_t recNo,
                             const TreeState& state) const {
  Path path;
  std::uint32_t page = state.root;
  while (path.size() < kMaxDepth) {
    Level level{page, ReadNode(page, state.pages), 0};
    const std::vector<Item>& items = level.node.items;
    if (level.node.IsLeaf()) {
      level.index = static_cast<std::size_t>(
          std::partition_point(
              items.begin(), items.end(),
              [&](const Item& it) { return Compare(it.key, it.pointer, key, recNo) < 0; }) -
          items.begin());
      path.push_back(std::move(level));
      return path;
    }
    std::size_t lo = 0, hi = items.size();
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      int c = mdx::CompareKeys(items[mid].key, key, tag_.keyType);
      if (c == 0) c = MaxRecord(items[mid].pointer, state.pages) < recNo ? -1 : 1;
      (c < 0 ? lo = mid + 1 : hi = mid);
    }
    level.index = lo;
    page = level.node.Child(lo);
    path.push_back(std::move(level));
  }
  Damaged();
}

void MdxTag::DescendEdge(Path& path, std::uint32_t page, bool last, std::uint32_t pages) const {
  while (true) {
    if (path.size() >= kMaxDepth) Damaged();
    Level level{page, ReadNode(page, pages), 0};
    const std::size_t n = level.node.items.size();
    if (level.node.IsLeaf()) {
      level.index = last && n > 0 ? n - 1 : 0;
      path.push_back(std::move(level));
      return;
    }
    level.index = last ? n : 0;
    page = level.node.Child(level.index);
    path.push_back(std::move(level));
  }
}

MdxTag::Path MdxTag::DescendEnd(const TreeState& state) const {
  Path path;
  DescendEdge(path, state.root, true, state.pages);
  return path;
}

const Item* MdxTag::At(const Path& path) {
  if (path.empty()) return nullptr;
  const Level& leaf = path.back();
  return leaf.index < leaf.node.items.size() ? &leaf.node.items[leaf.index] : nullptr;
}

bool MdxTag::Advance(Path& path, std::uint32_t pages) const {
  if (path.empty()) return false;
  ++path.back().index;
  while (At(path) == nullptr) {
    path.pop_back();
    while (!path.empty() && path.back().index + 1 >= path.back().node.Children()) path.pop_back();
    if (path.empty()) return false;
    ++path.back().index;
    DescendEdge(path, path.back().node.Child(path.back().index), false, pages);
  }
  return true;
}

bool MdxTag::Retreat(Path& path, std::uint32_t pages) const {
  if (path.empty()) return false;
  if (path.back().index > 0) {
    --path.back().index;
    if (At(path) != nullptr) return true;
  }
  do {
    path.pop_back();
    while (!path.empty() && path.back().index == 0) path.pop_back();
    if (path.empty()) return false;
    --path.back().index;
    DescendEdge(path, path.back().node.Child(path.back().index), true, pages);
  } while (At(path) == nullptr);
  return true;
}

// --- changes -----------------------------------------------------------------

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

// --- reading ---------------------------------------------------------------------

std::optional<MdxTag::Entry> MdxTag::Seek(std::string_view key, std::uint32_t recNo) const {
  const TreeState state = ReadState();
  const std::string probe =
      tag_.keyType == 'N' ? StoredKey(key) : std::string(key.substr(0, tag_.keyLength));
  Path path = Descend(probe, recNo, state);
  if (At(path) == nullptr && !Advance(path, state.pages)) return std::nullopt;
  return Entry{At(path)->key, At(path)->pointer};
}

std::vector<MdxTag::Entry> MdxTag::Entries() const {
  const TreeState state = ReadState();
  std::vector<Entry> entries;
  Path path;
  DescendEdge(path, state.root, false, state.pages);
  for (bool more = At(path) != nullptr; more; more = Advance(path, state.pages))
    entries.push_back(Entry{At(path)->key, At(path)->pointer});
  return entries;
}

bool MdxTag::InRange(std::string_view key) const {
  return !range_ || key.substr(0, range_->size()) == *range_;
}

std::uint32_t MdxTag::Walk(Path path, bool forward, std::uint32_t recordCount,
                           const TreeState& state) const {
  for (const Item* item = At(path); item != nullptr; item = At(path)) {
    if (!InRange(item->key)) return 0;
    if (item->pointer <= recordCount) return item->pointer;
    if (!(forward ? Advance(path, state.pages) : Retreat(path, state.pages))) return 0;
  }
  return 0;
}

std::uint32_t MdxTag::First(std::uint32_t recordCount) {
  const TreeState state = ReadState();
  Path path;
  if (range_) {
    path = Descend(*range_, 0, state);
    if (At(path) == nullptr && !Advance(path, state.pages)) return 0;
  } else {
    DescendEdge(path, state.root, false, state.pages);
  }
  return Walk(std::move(path), true, recordCount, state);
}

std::uint32_t MdxTag::Last(std::uint32_t recordCount) {
  const TreeState state = ReadState();
  Path path;
  if (range_) {
    std::string beyond = *range_;
    beyond.resize(std::max<std::size_t>(tag_.keyLength, beyond.size()) + 1, '\xFF');
    path = Descend(beyond, UINT32_MAX, state);
    if (!Retreat(path, state.pages)) return 0;
  } else {
    path = DescendEnd(state);
  }
  return Walk(std::move(path), false, recordCount, state);
}

// The path to the record's entry, or to the first entry after where it
// would be; empty when the record cannot be placed.
MdxTag::Path MdxTag::Locate(std::uint32_t recNo, const TreeState& state) const {
  if (keySource_) {
    if (std::optional<std::string> key = keySource_(recNo))
      return Descend(StoredKey(*key), recNo, state);
  }
  Path path;
  DescendEdge(path, state.root, false, state.pages);
  for (bool more = At(path) != nullptr; more; more = Advance(path, state.pages))
    if (At(path)->pointer == recNo) return path;
  return {};
}

std::uint32_t MdxTag::After(std::uint32_t recNo, std::uint32_t recordCount) {
  if (recNo == 0) return First(recordCount);
  const TreeState state = ReadState();
  Path path = Locate(recNo, state);
  if (path.empty()) return 0;
  const Item* item = At(path);
  if (item == nullptr || item->pointer == recNo) {
    if (!Advance(path, state.pages)) return 0;
  }
  if (range_ && At(path)->key < *range_) return First(recordCount);
  return Walk(std::move(path), true, recordCount, state);
}

std::uint32_t MdxTag::Before(std::uint32_t recNo, std::uint32_t recordCount) {
  if (recNo == 0) return Last(recordCount);
  const TreeState state = ReadState();
  Path path = Locate(recNo, state);
  if (path.empty() || !Retreat(path, state.pages)) return 0;
  if (range_ && At(path)->key.substr(0, range_->size()) > *range_) return Last(recordCount);
  return Walk(std::move(path), false, recordCount, state);
}

}  // namespace zafirel::dbf
