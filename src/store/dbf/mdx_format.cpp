#include "store/dbf/mdx_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "util/bytes.h"

namespace zafirel::dbf::mdx {
namespace {

constexpr std::size_t kTagEntry = 544;
constexpr std::size_t kCodePageUpperMark = 30;
constexpr std::size_t kExpressionOffset = 24;
constexpr unsigned char kKeyFormat = 0x10;
constexpr unsigned char kUniqueFormat = 0x40;

unsigned char* U(std::string& s, std::size_t offset) {
  return reinterpret_cast<unsigned char*>(s.data()) + offset;
}
const unsigned char* U(std::string_view s, std::size_t offset) {
  return reinterpret_cast<const unsigned char*>(s.data()) + offset;
}

void PutToday(std::string& s, std::size_t offset) {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  s[offset] = static_cast<char>(parts.tm_year % 256);
  s[offset + 1] = static_cast<char>(parts.tm_mon + 1);
  s[offset + 2] = static_cast<char>(parts.tm_mday);
}

std::string CString(std::string_view s, std::size_t offset, std::size_t max) {
  std::string_view field = s.substr(offset, max);
  return std::string(field.substr(0, field.find('\0')));
}

bool ValidKeyLength(char type, std::size_t length) {
  switch (type) {
    case 'C':
      return length >= 1 && length <= kMaxCharKey;
    case 'N':
      return length == kNumericKey;
    case 'D':
      return length == 8;
    default:
      return false;
  }
}

bool IsZeroKey(std::string_view k) { return (static_cast<unsigned char>(k[1]) >> 2 & 0x1F) == 0; }
bool IsNegativeKey(std::string_view k) { return (static_cast<unsigned char>(k[1]) & 0x80) != 0; }

int Sign(std::string_view k) { return IsZeroKey(k) ? 0 : (IsNegativeKey(k) ? -1 : 1); }

int CompareBytes(std::string_view a, std::string_view b) {
  const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (c != 0) return c < 0 ? -1 : 1;
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareNumeric(std::string_view a, std::string_view b) {
  if (a.size() < kNumericKey || b.size() < kNumericKey) return CompareBytes(a, b);
  const int sa = Sign(a), sb = Sign(b);
  if (sa != sb) return sa < sb ? -1 : 1;
  if (sa == 0) return 0;
  // Same sign: the exponent byte, then the digits, decide the magnitude.
  int magnitude = CompareBytes(a.substr(0, 1), b.substr(0, 1));
  if (magnitude == 0) magnitude = CompareBytes(a.substr(2, 10), b.substr(2, 10));
  return sa < 0 ? -magnitude : magnitude;
}

}  // namespace

bool IsValidTag(const TagInfo& tag) {
  return !tag.tagName.empty() && tag.tagName.size() <= kMaxTagName &&
         tag.tableName.size() <= kMaxTableName && !tag.expression.empty() &&
         tag.expression.size() < kMaxExpression && ValidKeyLength(tag.keyType, tag.keyLength);
}

std::string EncodeFileHeader(const TagInfo& tag, const TreeState& state) {
  std::string s(4 * kPageSize, '\0');
  s[0] = 2;
  PutToday(s, 1);
  s.replace(4, tag.tableName.size(), tag.tableName);
  bytes::PutU16(U(s, 20), kPagesPerBlock);
  bytes::PutU16(U(s, 22), kBlockSize);
  s[25] = 48;
  s[26] = 32;
  bytes::PutU16(U(s, 28), 1);
  s[kCodePageUpperMark] = tag.codePageUpper ? 1 : 0;
  bytes::PutU32(U(s, 32), state.pages);
  PutToday(s, 44);
  bytes::PutU32(U(s, kTagEntry), kTagHeaderPage);
  s.replace(kTagEntry + 4, tag.tagName.size(), tag.tagName);
  s[kTagEntry + 15] = kKeyFormat;
  s[kTagEntry + 19] = 0x02;
  s[kTagEntry + 20] = tag.keyType;
  return s;
}

std::string EncodeTagHeader(const TagInfo& tag, const TreeState& state, unsigned char serial) {
  std::string s(kBlockSize, '\0');
  bytes::PutU32(U(s, 0), state.root);
  bytes::PutU32(U(s, 4), state.pages - kTagHeaderPage);
  s[8] = static_cast<char>(kKeyFormat | (tag.unique ? kUniqueFormat : 0));
  s[9] = tag.keyType;
  s[11] = 0x1B;
  bytes::PutU16(U(s, 12), tag.keyLength);
  bytes::PutU16(U(s, 14), tag.MaxKeys());
  bytes::PutU16(U(s, 18), tag.ItemLength());
  s[20] = static_cast<char>(serial);
  s[23] = tag.unique ? 1 : 0;
  s.replace(kExpressionOffset, tag.expression.size(), tag.expression);
  bytes::PutU32(U(s, 248), state.leftLeaf);
  bytes::PutU32(U(s, 252), state.rightLeaf);
  return s;
}

std::optional<TagInfo> DecodeHeaders(std::string_view fileHeader, std::string_view tagHeader) {
  if (fileHeader.size() < 4 * kPageSize || tagHeader.size() < kBlockSize) return std::nullopt;
  if (bytes::GetU16(U(fileHeader, 20)) != kPagesPerBlock ||
      bytes::GetU16(U(fileHeader, 22)) != kBlockSize || bytes::GetU16(U(fileHeader, 28)) < 1 ||
      bytes::GetU32(U(fileHeader, kTagEntry)) != kTagHeaderPage)
    return std::nullopt;
  TagInfo tag;
  tag.tableName = CString(fileHeader, 4, kMaxTableName);
  tag.tagName = CString(fileHeader, kTagEntry + 4, 11);
  tag.keyType = tagHeader[9];
  tag.keyLength = bytes::GetU16(U(tagHeader, 12));
  tag.unique = tagHeader[23] != 0 || (static_cast<unsigned char>(tagHeader[8]) & kUniqueFormat);
  tag.expression = CString(tagHeader, kExpressionOffset, kMaxExpression);
  tag.codePageUpper = fileHeader[kCodePageUpperMark] == 1;
  if (!IsValidTag(tag) || bytes::GetU16(U(tagHeader, 18)) != tag.ItemLength() ||
      bytes::GetU16(U(tagHeader, 14)) != tag.MaxKeys())
    return std::nullopt;
  return tag;
}

TreeState DecodeTreeState(std::string_view fileHeader, std::string_view tagHeader) {
  TreeState state;
  state.pages = bytes::GetU32(U(fileHeader, 32));
  state.root = bytes::GetU32(U(tagHeader, 0));
  state.leftLeaf = bytes::GetU32(U(tagHeader, 248));
  state.rightLeaf = bytes::GetU32(U(tagHeader, 252));
  return state;
}

std::string EncodeNode(const Node& node, const TagInfo& tag) {
  std::string s(kBlockSize, '\0');
  bytes::PutU32(U(s, 0), static_cast<std::uint32_t>(node.items.size()));
  std::size_t offset = 8;
  for (const Item& item : node.items) {
    bytes::PutU32(U(s, offset), item.pointer);
    s.replace(offset + 4, std::min<std::size_t>(item.key.size(), tag.keyLength), item.key);
    offset += tag.ItemLength();
  }
  bytes::PutU32(U(s, offset), node.right);
  return s;
}

bool DecodeNodeInto(std::string_view block, const TagInfo& tag, Node& node) {
  if (block.size() < kBlockSize) return false;
  const std::uint32_t count = bytes::GetU32(U(block, 0));
  if (count > tag.MaxKeys()) return false;
  node.items.resize(count);
  std::size_t offset = 8;
  for (Item& item : node.items) {
    item.pointer = bytes::GetU32(U(block, offset));
    item.key.assign(block.data() + offset + 4, tag.keyLength);
    offset += tag.ItemLength();
  }
  node.right = bytes::GetU32(U(block, offset));
  return true;
}

std::optional<Node> DecodeNode(std::string_view block, const TagInfo& tag) {
  Node node;
  if (!DecodeNodeInto(block, tag, node)) return std::nullopt;
  return node;
}

std::string EncodeNumericKey(double value) {
  std::string key(kNumericKey, '\0');
  key[0] = 0x34;
  key[1] = 0x01;
  if (!std::isfinite(value) || value == 0) return key;
  // Fifteen significant digits: what a double holds exactly enough that
  // 0.1 stays 1 digit long.
  std::string digits;
  int exponent = 0;
  const double magnitude = std::fabs(value);
  if (magnitude < 1e15 && magnitude == std::floor(magnitude)) {
    // A whole number (disc numbers, counts): its digits as they are.
    char text[24];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, static_cast<long long>(magnitude));
    digits.assign(text, end);
    exponent = static_cast<int>(digits.size()) - 1;
  } else {
    char text[40];
    std::snprintf(text, sizeof text, "%.14e", magnitude);
    for (const char* p = text; *p != 'e'; ++p)
      if (*p >= '0' && *p <= '9') digits += *p;
    exponent = std::atoi(std::strchr(text, 'e') + 1);
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  key[0] = static_cast<char>(0x34 + exponent + 1);
  key[1] = static_cast<char>(0x01 | (digits.size() << 2) | (value < 0 ? 0x80 : 0));
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const int nibble = digits[i] - '0';
    key[2 + i / 2] = static_cast<char>(key[2 + i / 2] | (i % 2 == 0 ? nibble << 4 : nibble));
  }
  return key;
}

int CompareKeys(std::string_view a, std::string_view b, char keyType) {
  return keyType == 'N' ? CompareNumeric(a, b) : CompareBytes(a, b);
}

}  // namespace zafirel::dbf::mdx
