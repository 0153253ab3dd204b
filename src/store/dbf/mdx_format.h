// The bytes of a one-tag dBase IV multiple-index (.MDX) file: the file
// header with its tag table, the tag header, the B-tree nodes and the
// numeric key form. Everything counts 512-byte pages and 1024-byte blocks,
// because other readers fetch exactly one block at page × 512 for a node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zafirel::dbf::mdx {

inline constexpr std::size_t kPageSize = 512;
inline constexpr std::size_t kBlockSize = 1024;
inline constexpr std::uint32_t kPagesPerBlock = 2;
inline constexpr std::uint32_t kTagHeaderPage = 4;
inline constexpr std::uint32_t kFirstNodePage = 6;
inline constexpr std::size_t kMaxCharKey = 100;
inline constexpr std::size_t kNumericKey = 12;
inline constexpr std::size_t kMaxExpression = 220;
inline constexpr std::size_t kMaxTagName = 10;
inline constexpr std::size_t kMaxTableName = 16;

// The ANSI text of every "this index is damaged" error.
inline constexpr const char* kBadIndex =
    "El archivo de \xEDndice est\xE1 da\xF1"
    "ado";

struct TagInfo {
  std::string tableName;
  std::string tagName;
  std::string expression;
  char keyType = 'C';  // 'C', 'N' or 'D'
  std::uint16_t keyLength = 0;
  bool unique = false;
  // UPPER in the keys raised letters by the table's own code page (a mark in
  // byte 30 of the file header, which other programs leave alone). Files
  // written before that rule lack the mark and are built again.
  bool codePageUpper = true;

  std::uint16_t ItemLength() const {
    return static_cast<std::uint16_t>((keyLength + 4 + 3) / 4 * 4);
  }
  std::uint16_t MaxKeys() const {
    return static_cast<std::uint16_t>((kBlockSize - 12) / ItemLength());
  }
};

// Where the tree stands, kept in the tag header and the file header.
struct TreeState {
  std::uint32_t root = kFirstNodePage;
  std::uint32_t leftLeaf = kFirstNodePage;
  std::uint32_t rightLeaf = kFirstNodePage;
  std::uint32_t pages = kFirstNodePage + kPagesPerBlock;  // the file's length in pages
};

struct Item {
  std::uint32_t pointer = 0;  // record number in a leaf, child page in an inner node
  std::string key;
};

// Readers tell a leaf from an inner node only by the word after the last
// item: 0 in a leaf, the page of the last child otherwise.
struct Node {
  std::vector<Item> items;
  std::uint32_t right = 0;
  bool IsLeaf() const { return right == 0; }
  std::size_t Children() const { return items.size() + 1; }
  std::uint32_t Child(std::size_t i) const { return i < items.size() ? items[i].pointer : right; }
  void SetChild(std::size_t i, std::uint32_t page) {
    (i < items.size() ? items[i].pointer : right) = page;
  }
};

// True when the definition fits the format (names, expression, key length).
bool IsValidTag(const TagInfo& tag);

// Pages 0 to 3: the file header and the tag table.
std::string EncodeFileHeader(const TagInfo& tag, const TreeState& state);
// Pages 4 and 5. serial is the update counter readers may watch.
std::string EncodeTagHeader(const TagInfo& tag, const TreeState& state, unsigned char serial);

// The two headers as read from the file (2048 and 1024 bytes); nullopt when
// they do not describe a one-tag file of this layout.
std::optional<TagInfo> DecodeHeaders(std::string_view fileHeader, std::string_view tagHeader);
TreeState DecodeTreeState(std::string_view fileHeader, std::string_view tagHeader);

std::string EncodeNode(const Node& node, const TagInfo& tag);
// nullopt when the key count does not fit a block.
std::optional<Node> DecodeNode(std::string_view block, const TagInfo& tag);
// The same into a node whose storage is reused; false when it does not fit.
bool DecodeNodeInto(std::string_view block, const TagInfo& tag, Node& node);

// The 12-byte numeric key of a value.
std::string EncodeNumericKey(double value);

// Key order: byte order for character and date keys (a shorter key that is
// a prefix of the other sorts first), numeric value for numeric keys.
int CompareKeys(std::string_view a, std::string_view b, char keyType);

}  // namespace zafirel::dbf::mdx
