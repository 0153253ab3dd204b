#include "store/dbf/mdx.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <set>

#include "store/dbf/dbf_error.h"
#include "util/bytes.h"
#include "util/file_change.h"
#include "util/file_handle.h"
#include "util/file_writer.h"
#include "util/scope_guard.h"
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

// Spreads count items over as few groups of at most size as possible,
// evenly, so no group is left nearly empty.
std::vector<std::size_t> GroupSizes(std::size_t count, std::size_t size) {
  const std::size_t groups = std::max<std::size_t>(1, (count + size - 1) / size);
  std::vector<std::size_t> sizes(groups, count / groups);
  for (std::size_t i = 0; i < count % groups; ++i) ++sizes[i];
  return sizes;
}

// Appends a key as a tag of the type stores it: text cut or padded with
// blanks to the key's length, a number in the numeric key form.
void AppendStoredKey(char type, std::size_t length, std::string_view key, std::string& out) {
  if (type == 'N') {
    if (key.size() == mdx::kNumericKey && (static_cast<unsigned char>(key[1]) & 1)) {
      out += key;  // already in the stored form
      return;
    }
    const std::string text(TrimBlanks(key));
    out += mdx::EncodeNumericKey(text.empty() ? 0.0 : std::strtod(text.c_str(), nullptr));
    return;
  }
  const std::size_t start = out.size();
  out += key.substr(0, length);
  out.resize(start + length, ' ');
}

// Two character keys kept without their trailing blanks, compared from byte
// from on as the tag stores them (padded with blanks to the same length).
int ComparePadded(std::string_view a, std::string_view b, std::size_t from) {
  const std::size_t common = std::min(a.size(), b.size());
  if (from < common) {
    const int c = std::memcmp(a.data() + from, b.data() + from, common - from);
    if (c != 0) return c;
  }
  const bool aLonger = a.size() > b.size();
  const std::string_view longer = aLonger ? a : b;
  for (std::size_t i = std::max(from, common); i < longer.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(longer[i]);
    if (c != ' ') return (c > ' ') == aLonger ? 1 : -1;
  }
  return 0;
}

// Keys are kept in pieces of this size (or one of their own when longer).
constexpr std::size_t kKeyPiece = std::size_t{1} << 20;

}  // namespace

// --- building and opening ---------------------------------------------------

MdxTag::KeyList::KeyList(const TagInfo& tag)
    : type_(tag.keyType), length_(tag.keyType == 'N' ? mdx::kNumericKey : tag.keyLength) {}

void MdxTag::KeyList::Add(std::string_view key, std::uint32_t recNo) {
  std::string numeric;
  if (type_ == 'N') {
    AppendStoredKey(type_, length_, key, numeric);
    key = numeric;
  } else {
    key = key.substr(0, length_);
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
  }
  if (pieces_.empty() || pieceUsed_ + key.size() > kKeyPiece) {
    pieces_.push_back(std::make_unique<char[]>(std::max(kKeyPiece, key.size())));
    pieceUsed_ = 0;
  }
  char* at = pieces_.back().get() + pieceUsed_;
  if (!key.empty()) std::memcpy(at, key.data(), key.size());
  pieceUsed_ += key.size();
  slots_.push_back(Slot{0, at, static_cast<std::uint32_t>(key.size()), recNo});
}

void MdxTag::KeyList::Sort() {
  if (type_ != 'N') return SortText();
  std::sort(slots_.begin(), slots_.end(), [](const Slot& x, const Slot& y) {
    const int c = mdx::CompareKeys({x.key, x.length}, {y.key, y.length}, 'N');
    return c != 0 ? c < 0 : x.recNo < y.recNo;
  });
}

// Sorts text keys by their bytes as stored and then by record. Eight bytes
// of the key at a time are compared as one number; only keys that tie on
// those go on to the next eight, so long shared beginnings cost no
// byte-by-byte comparisons.
void MdxTag::KeyList::SortText() {
  constexpr std::size_t kFewKeys = 16;
  const std::size_t keyLength = length_;
  const auto wordAt = [&](const Slot& slot, std::size_t depth) {
    if (depth + 8 <= slot.length) return bytes::GetBigU64(slot.key + depth);
    std::uint64_t word = 0;
    for (std::size_t at = depth; at < depth + 8; ++at) {
      const unsigned char c = at < slot.length ? static_cast<unsigned char>(slot.key[at])
                              : at < keyLength ? ' '
                                               : 0;
      word = (word << 8) | c;
    }
    return word;
  };
  // Ranges still to order, each with the depth its keys are known equal to.
  struct Range {
    std::size_t begin, end, depth;
  };
  std::vector<Range> pending{{0, slots_.size(), 0}};
  while (!pending.empty()) {
    const Range r = pending.back();
    pending.pop_back();
    const auto first = slots_.begin() + static_cast<std::ptrdiff_t>(r.begin);
    const auto last = slots_.begin() + static_cast<std::ptrdiff_t>(r.end);
    if (r.end - r.begin < 2) continue;
    if (r.end - r.begin <= kFewKeys || r.depth >= keyLength) {
      std::sort(first, last, [&](const Slot& x, const Slot& y) {
        const int c =
            r.depth >= keyLength ? 0 : ComparePadded({x.key, x.length}, {y.key, y.length}, r.depth);
        return c != 0 ? c < 0 : x.recNo < y.recNo;
      });
      continue;
    }
    bool allEqual = true;
    for (auto slot = first; slot != last; ++slot) {
      slot->word = wordAt(*slot, r.depth);
      allEqual = allEqual && slot->word == first->word;
    }
    if (!allEqual)
      std::sort(first, last, [](const Slot& x, const Slot& y) { return x.word < y.word; });
    for (std::size_t i = r.begin; i < r.end;) {
      std::size_t j = i + 1;
      while (j < r.end && slots_[j].word == slots_[i].word) ++j;
      if (j - i > 1) pending.push_back({i, j, r.depth + 8});
      i = j;
    }
  }
}

namespace {

// Where a file's bytes go as they are laid out: the headers, which come
// first in the file, are known only at the end.
class BlockSink {
 public:
  virtual ~BlockSink() = default;
  virtual void Append(const char* data, std::size_t n) = 0;
  virtual void Headers(std::string_view headers) = 0;
};

class StringSink final : public BlockSink {
 public:
  explicit StringSink(std::string& out) : out_(out) { out_.assign(kHeadersSize, '\0'); }
  void Append(const char* data, std::size_t n) override { out_.append(data, n); }
  void Headers(std::string_view headers) override { out_.replace(0, headers.size(), headers); }

 private:
  std::string& out_;
};

// Blocks gathered into large writes; a failure keeps errno and stops the rest.
class FileSink final : public BlockSink {
 public:
  explicit FileSink(int fd) : fd_(fd) {
    buffer_.reserve(kFlushAt);
    buffer_.assign(kHeadersSize, '\0');
  }
  void Append(const char* data, std::size_t n) override {
    buffer_.append(data, n);
    if (buffer_.size() >= kFlushAt) Flush();
  }
  void Headers(std::string_view headers) override {
    Flush();
    if (ok_ && (!MayChangeFile() || ::pwrite(fd_, headers.data(), headers.size(), 0) !=
                                        static_cast<ssize_t>(headers.size())))
      ok_ = false;
  }
  bool Ok() const { return ok_; }

 private:
  void Flush() {
    if (ok_ && !buffer_.empty())
      ok_ = MayChangeFile() && WriteAll(fd_, buffer_.data(), buffer_.size());
    buffer_.clear();
  }
  static constexpr std::size_t kFlushAt = std::size_t{1} << 20;
  int fd_;
  bool ok_ = true;
  std::string buffer_;
};

// Lays out the file of a tag from its keys, sorted here: the leaves in key
// order straight into their blocks, then each level of inner nodes above
// them, then the headers. In a unique tag only the first record of a key
// is kept; no entry names record 0.
void LayOut(const std::filesystem::path& file, const TagInfo& tag, MdxTag::KeyList& keys,
            BlockSink& sink) {
  if (!mdx::IsValidTag(tag)) throw DbfError("La definici\xF3n del \xEDndice es inv\xE1lida", file);
  keys.Sort();
  const bool text = tag.keyType != 'N';
  const auto sameKey = [&](std::size_t a, std::size_t b) {
    return text ? ComparePadded(keys.Key(a), keys.Key(b), 0) == 0
                : mdx::CompareKeys(keys.Key(a), keys.Key(b), tag.keyType) == 0;
  };
  // The entries kept, as positions in the sorted list.
  std::vector<std::uint32_t> kept;
  kept.reserve(keys.Size());
  for (std::size_t i = 0; i < keys.Size(); ++i) {
    if (keys.Record(i) == 0) continue;
    if (!kept.empty()) {
      const std::size_t last = kept.back();
      const bool repeated =
          tag.unique ? sameKey(last, i) : keys.Record(last) == keys.Record(i) && sameKey(last, i);
      if (repeated) continue;
    }
    kept.push_back(static_cast<std::uint32_t>(i));
  }
  const auto storedKey = [&](std::size_t i) {
    std::string key(keys.Key(i));
    key.resize(keys.KeyLength(), ' ');
    return key;
  };

  TreeState state;
  state.pages = mdx::kFirstNodePage;
  std::vector<Item> level;  // (page, largest key) of each node just written
  std::string block(mdx::kBlockSize, '\0');
  std::size_t next = 0;
  for (std::size_t size : GroupSizes(kept.size(), tag.MaxKeys())) {
    std::fill(block.begin(), block.end(), '\0');
    bytes::PutU32(block.data(), static_cast<std::uint32_t>(size));
    std::size_t offset = 8;
    for (std::size_t i = 0; i < size; ++i, ++next, offset += tag.ItemLength()) {
      const std::string_view key = keys.Key(kept[next]);
      char* item = block.data() + offset;
      bytes::PutU32(item, keys.Record(kept[next]));
      const std::size_t width = std::min<std::size_t>(keys.KeyLength(), tag.keyLength);
      const std::size_t copied = std::min(key.size(), width);
      std::memcpy(item + 4, key.data(), copied);
      std::memset(item + 4 + copied, ' ', width - copied);
    }
    sink.Append(block.data(), block.size());
    level.push_back(Item{state.pages, size == 0 ? std::string() : storedKey(kept[next - 1])});
    state.pages += mdx::kPagesPerBlock;
  }
  std::vector<std::uint32_t>().swap(kept);
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
      level.push_back(Item{state.pages, children[next - 1].key});
      const std::string bytes = mdx::EncodeNode(inner, tag);
      sink.Append(bytes.data(), bytes.size());
      state.pages += mdx::kPagesPerBlock;
    }
  }
  state.root = level.front().pointer;
  const std::string headers =
      mdx::EncodeFileHeader(tag, state) + mdx::EncodeTagHeader(tag, state, 1);
  if (headers.size() != kHeadersSize) throw DbfError(mdx::kBadIndex, file);
  sink.Headers(headers);
}

}  // namespace

// --- building and opening ---------------------------------------------------

void MdxTag::Build(const std::filesystem::path& file, const TagInfo& tag,
                   const std::vector<Entry>& entries) {
  KeyList keys(tag);
  keys.Reserve(entries.size());
  for (const Entry& e : entries) keys.Add(e.key, e.recNo);
  Write(file, Encode(file, tag, keys));
}

void MdxTag::Write(const std::filesystem::path& file, std::string_view bytes) {
  if (!WriteFileAtomically(file, bytes))
    throw DbfError("No se puede crear el archivo de \xEDndice", file, errno);
}

std::string MdxTag::Encode(const std::filesystem::path& file, const TagInfo& tag, KeyList& keys) {
  std::string bytes;
  StringSink sink(bytes);
  LayOut(file, tag, keys, sink);
  return bytes;
}

void MdxTag::WriteBuilt(const std::filesystem::path& file, const TagInfo& tag, KeyList& keys,
                        bool transient) {
  if (!mdx::IsValidTag(tag)) throw DbfError("La definici\xF3n del \xEDndice es inv\xE1lida", file);
  std::exception_ptr failure;
  const bool written = WriteFileThrough(
      file,
      [&](int fd) {
        FileSink sink(fd);
        try {
          LayOut(file, tag, keys, sink);
        } catch (const DbfError&) {
          failure = std::current_exception();
          return false;
        }
        return sink.Ok();
      },
      !transient);
  if (failure) std::rethrow_exception(failure);
  if (!written) throw DbfError("No se puede crear el archivo de \xEDndice", file, errno);
}

MdxTag MdxTag::Open(const std::filesystem::path& path) { return Open(RawFile::Open(path)); }

MdxTag MdxTag::Open(RawFile file) {
  const std::filesystem::path path = file.Path();
  if (file.Size() < kHeadersSize + mdx::kBlockSize) throw DbfError(mdx::kBadIndex, path);
  const std::string fileHeader = file.ReadString(0, 4 * mdx::kPageSize);
  const std::string tagHeader = file.ReadString(Offset(mdx::kTagHeaderPage), mdx::kBlockSize);
  std::optional<TagInfo> tag = mdx::DecodeHeaders(fileHeader, tagHeader);
  if (!tag) throw DbfError(mdx::kBadIndex, path);
  MdxTag result(std::move(file), std::move(*tag));
  // The blocks read are kept, as a table's pages are, so a walk reads its
  // leaves from memory. Every operation but the next step of a walk first
  // asks the file system whether the file changed (ReadState); the tag
  // header's first bytes (root, size and update counter) move with every
  // change.
  result.file_.SetReadCacheLimit(std::uint64_t{32} << 20);
  result.file_.SetCacheFingerprint(Offset(mdx::kTagHeaderPage), 24);
  result.CheckTop(result.ReadState());
  return result;
}

void MdxTag::ReopenIfReplaced() {
  if (!file_.Replaced()) return;
  MdxTag fresh = Open(file_.Path());
  if (fresh.tag_.tagName != tag_.tagName) Damaged();
  file_ = std::move(fresh.file_);
  tag_ = std::move(fresh.tag_);
  last_.reset();
}

// A walk starts on the file now in place; a replacement that cannot be read
// leaves the walk on the file it had.
void MdxTag::FollowReplacement() {
  try {
    ReopenIfReplaced();
  } catch (const DbfError&) {
  }
}

void MdxTag::Damaged() const { throw DbfError(mdx::kBadIndex, file_.Path()); }

// What opening checks, in a few blocks whatever the file's size: the root
// and, under an inner root, every child: in the file, none met twice, all of
// one kind, and for leaf children each root key between the entries of the
// children it separates. Damage further down is found where an operation
// meets it: ReadNode refuses a leaf out of order, the descents stop at
// kMaxDepth, and Advance and Retreat refuse a step that does not move on in
// key order, so no walk over a damaged file runs without end.
void MdxTag::CheckTop(const TreeState& state) const {
  const Node root = ReadNode(state.root, state.pages);
  if (root.IsLeaf()) return;
  std::set<std::uint32_t> seen{state.root};
  std::vector<Node> children;
  for (std::size_t i = 0; i < root.Children(); ++i) {
    if (!seen.insert(root.Child(i)).second) Damaged();
    children.push_back(ReadNode(root.Child(i), state.pages));
    if (children.back().IsLeaf() != children.front().IsLeaf()) Damaged();
  }
  if (!children.front().IsLeaf()) return;
  auto keyLess = [&](std::string_view a, std::string_view b) {
    return mdx::CompareKeys(a, b, tag_.keyType) < 0;
  };
  for (std::size_t i = 0; i < root.items.size(); ++i) {
    const std::string& key = root.items[i].key;
    const std::vector<Item>& left = children[i].items;
    const std::vector<Item>& right = children[i + 1].items;
    if ((!left.empty() && keyLess(key, left.back().key)) ||
        (!right.empty() && keyLess(right.front().key, key)))
      Damaged();
  }
}

// --- file access -------------------------------------------------------------

TreeState MdxTag::ReadState() const {
  file_.Revalidate();
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
  Node node;
  ReadNodeInto(page, pages, node);
  return node;
}

// Reading into a node that already holds a leaf reuses its storage, so a
// walk moving from leaf to leaf allocates nothing.
void MdxTag::ReadNodeInto(std::uint32_t page, std::uint32_t pages, Node& node) const {
  if (page < mdx::kFirstNodePage || page > pages - mdx::kPagesPerBlock) Damaged();
  block_.resize(mdx::kBlockSize);
  file_.ReadExactly(Offset(page), block_.data(), block_.size());
  if (!mdx::DecodeNodeInto(block_, tag_, node)) Damaged();
  if (node.IsLeaf()) {
    // Entries of a leaf rise strictly, and none names record 0.
    const std::vector<Item>& items = node.items;
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].pointer == 0 || (i > 0 && Compare(items[i - 1].key, items[i - 1].pointer,
                                                     items[i].key, items[i].pointer) >= 0))
        Damaged();
  }
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
  std::string stored;
  AppendStoredKey(tag_.keyType, tag_.keyLength, key, stored);
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

void MdxTag::DescendEdge(Path& path, std::uint32_t page, bool last, std::uint32_t pages,
                         Node* spare) const {
  while (true) {
    if (path.size() >= kMaxDepth) Damaged();
    Level level{page, {}, 0};
    if (spare != nullptr) {
      level.node = std::move(*spare);
      spare = nullptr;
    }
    ReadNodeInto(page, pages, level.node);
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

// A step to the next leaf must land on a larger entry, and within one step
// no more leaves are passed than the file has blocks: a damaged file can make
// a walk fail, never loop.
bool MdxTag::Advance(Path& path, std::uint32_t pages) const {
  if (path.empty()) return false;
  ++path.back().index;
  if (At(path) != nullptr) return true;
  const std::optional<Item> left = LastOfLeaf(path);
  for (std::uint32_t passed = 0; At(path) == nullptr; ++passed) {
    if (passed > pages / mdx::kPagesPerBlock) Damaged();
    Node spare = std::move(path.back().node);  // its storage serves the next leaf
    path.pop_back();
    while (!path.empty() && path.back().index + 1 >= path.back().node.Children()) path.pop_back();
    if (path.empty()) return false;
    ++path.back().index;
    DescendEdge(path, path.back().node.Child(path.back().index), false, pages, &spare);
  }
  if (left && Compare(left->key, left->pointer, At(path)->key, At(path)->pointer) >= 0) Damaged();
  return true;
}

bool MdxTag::Retreat(Path& path, std::uint32_t pages) const {
  if (path.empty()) return false;
  if (path.back().index > 0) {
    --path.back().index;
    if (At(path) != nullptr) return true;
  }
  const std::optional<Item> right = FirstOfLeaf(path);
  std::uint32_t passed = 0;
  do {
    if (passed++ > pages / mdx::kPagesPerBlock) Damaged();
    Node spare = std::move(path.back().node);
    path.pop_back();
    while (!path.empty() && path.back().index == 0) path.pop_back();
    if (path.empty()) return false;
    --path.back().index;
    DescendEdge(path, path.back().node.Child(path.back().index), true, pages, &spare);
  } while (At(path) == nullptr);
  if (right && Compare(At(path)->key, At(path)->pointer, right->key, right->pointer) >= 0)
    Damaged();
  return true;
}

std::optional<Item> MdxTag::LastOfLeaf(const Path& path) {
  const std::vector<Item>& items = path.back().node.items;
  if (items.empty()) return std::nullopt;
  return items.back();
}

std::optional<Item> MdxTag::FirstOfLeaf(const Path& path) {
  const std::vector<Item>& items = path.back().node.items;
  if (items.empty()) return std::nullopt;
  return items.front();
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

std::vector<std::uint32_t> MdxTag::RecordsWithKey(std::string_view key) const {
  const TreeState state = ReadState();
  const std::string stored = StoredKey(key);
  std::vector<std::uint32_t> records;
  Path path = Descend(stored, 0, state);
  if (At(path) == nullptr && !Advance(path, state.pages)) return records;
  do {
    if (mdx::CompareKeys(At(path)->key, stored, tag_.keyType) != 0) break;
    records.push_back(At(path)->pointer);
  } while (Advance(path, state.pages));
  return records;
}

bool MdxTag::Holds(std::uint32_t recNo) {
  if (!keySource_) return false;
  const std::optional<std::string> key = keySource_(recNo);
  if (!key) return false;
  const std::string stored = StoredKey(*key);
  if (!InRange(stored)) return false;
  FollowReplacement();
  const TreeState state = ReadState();
  const Path path = Descend(stored, recNo, state);
  return At(path) != nullptr && At(path)->pointer == recNo;
}

void MdxTag::TakeRun(std::uint32_t recordCount, std::size_t wanted,
                     std::vector<std::uint32_t>& out) {
  if (!last_ || !(last_->version == file_.CurrentVersion())) {
    last_.reset();
    return;
  }
  bool kept = false;
  const ScopeGuard forget([&] {
    if (!kept) last_.reset();
  });
  Path& path = last_->path;
  const std::uint32_t pages = last_->state.pages;
  for (std::size_t given = 0; given < wanted && Advance(path, pages);) {
    const Item* item = At(path);
    if (!InRange(item->key)) break;
    if (item->pointer > recordCount) continue;
    out.push_back(item->pointer);
    last_->recNo = item->pointer;
    ++given;
  }
  kept = true;
}

bool MdxTag::InRange(std::string_view key) const {
  return !range_ || key.substr(0, range_->size()) == *range_;
}

std::uint32_t MdxTag::Walk(Path path, bool forward, std::uint32_t recordCount,
                           const TreeState& state) const {
  for (const Item* item = At(path); item != nullptr; item = At(path)) {
    if (!InRange(item->key)) return 0;
    if (item->pointer <= recordCount) {
      const std::uint32_t found = item->pointer;
      last_ = Position{std::move(path), found, state, callVersion_};
      return found;
    }
    if (!(forward ? Advance(path, state.pages) : Retreat(path, state.pages))) return 0;
  }
  return 0;
}

std::uint32_t MdxTag::First(std::uint32_t recordCount) {
  FollowReplacement();
  callVersion_ = file_.CurrentVersion();
  last_.reset();
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
  FollowReplacement();
  callVersion_ = file_.CurrentVersion();
  last_.reset();
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

// The next step of a walk, taken on the position the last step left while
// the file has not changed since: nothing is copied or looked up again. False
// when there is no such position, and the caller finds the record's place.
bool MdxTag::StepOn(std::uint32_t recNo, bool forward, std::uint32_t recordCount,
                    std::uint32_t& found) const {
  callVersion_ = file_.CurrentVersion();
  if (!last_ || last_->recNo != recNo || !(last_->version == callVersion_)) {
    last_.reset();
    return false;
  }
  bool kept = false;
  const ScopeGuard forget([&] {
    if (!kept) last_.reset();
  });
  Path& path = last_->path;
  const std::uint32_t pages = last_->state.pages;
  found = 0;
  while (forward ? Advance(path, pages) : Retreat(path, pages)) {
    const Item* item = At(path);
    if (!InRange(item->key)) return true;
    if (item->pointer <= recordCount) {
      found = last_->recNo = item->pointer;
      kept = true;
      return true;
    }
  }
  return true;
}

std::uint32_t MdxTag::After(std::uint32_t recNo, std::uint32_t recordCount) {
  if (recNo == 0) return First(recordCount);
  std::uint32_t found = 0;
  if (StepOn(recNo, true, recordCount, found)) return found;
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
  std::uint32_t found = 0;
  if (StepOn(recNo, false, recordCount, found)) return found;
  const TreeState state = ReadState();
  Path path = Locate(recNo, state);
  if (path.empty() || !Retreat(path, state.pages)) return 0;
  if (range_ && At(path)->key.substr(0, range_->size()) > *range_) return Last(recordCount);
  return Walk(std::move(path), false, recordCount, state);
}

}  // namespace zafirel::dbf
