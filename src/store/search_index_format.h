// The bytes of search index segments, shared by the program that writes
// them and the search that reads them (the format is described in
// docs/search-index.md): sizes, checks, little-endian numbers and varints,
// and a reader of them that never reads past its bytes.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/text.h"

namespace zafirel::segment_format {

// A block closes at the first line end after this many bytes.
inline constexpr std::size_t kBlockBytes = 32 * 1024;
// A dictionary page closes after this many trigrams or bytes of postings.
inline constexpr std::size_t kPageTrigrams = 256;
inline constexpr std::size_t kPageBytes = 16 * 1024;
inline constexpr char kMagic[8] = {'Z', 'a', 'f', 'T', 'r', 'i', 'g', '1'};
inline constexpr std::uint32_t kVersion = 2;
inline constexpr std::size_t kHeaderBytes = 88;
// A file list changed within this time before its part was built could
// change again within one tick of the file system's clock (two seconds on
// FAT) without its stamp telling: such a part is not trusted.
inline constexpr std::int64_t kRacyNs = 3'000'000'000;
// Postings: a list of block numbers (each as the gap after the last, less
// one) or a bitmap of every block of the segment.
inline constexpr unsigned char kListPosting = 0, kBitmapPosting = 1;

inline std::uint32_t Crc(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

inline void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void PutU64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void PutVarint(std::string& out, std::uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}
inline void SetU32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void SetU64(std::string& out, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Reads little-endian numbers and varints from bytes, never past their end:
// a read past it sets failed and gives 0.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
  bool failed() const { return failed_; }
  bool atEnd() const { return at_ == bytes_.size(); }
  std::size_t left() const { return bytes_.size() - at_; }
  std::uint64_t Fixed(int width) {
    if (bytes_.size() - at_ < static_cast<std::size_t>(width)) return Fail();
    std::uint64_t v = 0;
    for (int i = 0; i < width; ++i)
      v |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
    at_ += static_cast<std::size_t>(width);
    return v;
  }
  std::uint64_t Varint() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (at_ == bytes_.size()) return Fail();
      const auto byte = static_cast<unsigned char>(bytes_[at_++]);
      v |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) return v;
    }
    return Fail();
  }
  std::string_view Take(std::size_t n) {
    if (bytes_.size() - at_ < n) {
      Fail();
      return {};
    }
    const std::string_view piece = bytes_.substr(at_, n);
    at_ += n;
    return piece;
  }

 private:
  std::uint64_t Fail() {
    failed_ = true;
    at_ = bytes_.size();
    return 0;
  }
  std::string_view bytes_;
  std::size_t at_ = 0;
  bool failed_ = false;
};

inline std::uint32_t Fold(char c) { return static_cast<unsigned char>(UpperAZChar(c)); }

// The trigrams of a search term, as the matcher compares them.
inline std::vector<std::uint32_t> TermTrigrams(std::string_view term) {
  std::vector<std::uint32_t> trigrams;
  for (std::size_t i = 0; i + 3 <= term.size(); ++i)
    trigrams.push_back(Fold(term[i]) << 16 | Fold(term[i + 1]) << 8 | Fold(term[i + 2]));
  std::sort(trigrams.begin(), trigrams.end());
  trigrams.erase(std::unique(trigrams.begin(), trigrams.end()), trigrams.end());
  return trigrams;
}

// A set of a segment's blocks, one bit a block.
using BlockSet = std::vector<std::uint64_t>;

// A table or page is its bytes and a check of them: the bytes, when the
// check holds.
inline std::optional<std::string_view> Checked(const std::optional<std::string>& bytes) {
  if (!bytes || bytes->size() < 4) return std::nullopt;
  const std::string_view body(bytes->data(), bytes->size() - 4);
  Cursor check(std::string_view(*bytes).substr(body.size()));
  if (check.Fixed(4) != Crc(body)) return std::nullopt;
  return body;
}

}  // namespace zafirel::segment_format
