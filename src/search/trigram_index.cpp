#include "search/trigram_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "store/catalogue_files.h"
#include "util/failure.h"
#include "util/file_change.h"
#include "util/file_handle.h"
#include "util/file_writer.h"
#include "util/piece_reader.h"
#include "util/text.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

// A block closes at the first line end after this many bytes.
constexpr std::size_t kBlockBytes = 32 * 1024;
// A dictionary page closes after this many trigrams or bytes of postings.
constexpr std::size_t kPageTrigrams = 256;
constexpr std::size_t kPageBytes = 16 * 1024;
constexpr char kMagic[8] = {'Z', 'a', 'f', 'T', 'r', 'i', 'g', '1'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderBytes = 88;
// A file list changed within this time before its part was built could
// change again within one tick of the file system's clock (two seconds on
// FAT) without its stamp telling: such a part is not trusted.
constexpr std::int64_t kRacyNs = 3'000'000'000;
// Postings: a list of block numbers (each as the gap after the last, less
// one) or a bitmap of every block of the segment.
constexpr unsigned char kListPosting = 0, kBitmapPosting = 1;

std::uint32_t Crc(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutU64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutVarint(std::string& out, std::uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}
void SetU32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void SetU64(std::string& out, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Reads little-endian numbers and varints from bytes, never past their end:
// a read past it sets failed and gives 0.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
  bool failed() const { return failed_; }
  bool atEnd() const { return at_ == bytes_.size(); }
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

std::uint32_t Fold(char c) { return static_cast<unsigned char>(UpperAZChar(c)); }

// The trigrams of a search term, as the matcher compares them.
std::vector<std::uint32_t> TermTrigrams(std::string_view term) {
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
std::optional<std::string_view> Checked(const std::optional<std::string>& bytes) {
  if (!bytes || bytes->size() < 4) return std::nullopt;
  const std::string_view body(bytes->data(), bytes->size() - 4);
  Cursor check(std::string_view(*bytes).substr(body.size()));
  if (check.Fixed(4) != Crc(body)) return std::nullopt;
  return body;
}

}  // namespace

std::string GroupSegmentName(int k) {
  return "Indice-" + std::to_string(k) + kIndexExtension;
}

std::optional<ListStamp> StampOf(const fs::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return ListStamp{static_cast<std::uint64_t>(info.st_size),
                   static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                       info.st_mtim.tv_nsec,
                   static_cast<std::uint64_t>(info.st_ino)};
}

// ---------------------------------------------------------------- building

struct SegmentBuilder::State {
  struct Disc {
    std::string name;
    ListStamp stamp;
    std::uint32_t firstBlock = 0, blockCount = 0;
  };
  // A trigram's blocks so far: the gaps as they will be written.
  struct Posting {
    std::string gaps;
    std::uint32_t count = 0, last = 0;
  };
  std::vector<Disc> discs;
  std::vector<std::uint64_t> blockEnds;  // within each block's own file list
  std::unordered_map<std::uint32_t, Posting> postings;
  std::size_t postingBytes = 0;
  std::int64_t builtNs = 0;  // when the builder began, before any list was read

  // The block being read: its trigrams seen so far (one bit each, and in a
  // list to clear them), where it began, and the bytes of the disc so far.
  std::vector<std::uint64_t> seenBits = std::vector<std::uint64_t>(std::size_t{1} << 18, 0);
  std::vector<std::uint32_t> seen;
  std::uint64_t blockStart = 0, position = 0;
  std::uint32_t window = 0;
  int held = 0;           // bytes of the current line in window, up to 3
  bool closing = false;   // the block is full and its last line has ended
  char last = '\0';

  void CloseBlock() {
    const auto block = static_cast<std::uint32_t>(blockEnds.size());
    std::sort(seen.begin(), seen.end());
    for (const std::uint32_t trigram : seen) {
      seenBits[trigram / 64] &= ~(std::uint64_t{1} << (trigram % 64));
      Posting& posting = postings[trigram];
      const std::size_t before = posting.gaps.size();
      PutVarint(posting.gaps, posting.count == 0 ? block : block - posting.last - 1);
      postingBytes += posting.gaps.size() - before;
      posting.last = block;
      ++posting.count;
    }
    seen.clear();
    blockEnds.push_back(position);
    ++discs.back().blockCount;
    blockStart = position;
    closing = false;
  }
};

SegmentBuilder::SegmentBuilder() : state_(std::make_unique<State>()) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  state_->builtNs = static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}
SegmentBuilder::~SegmentBuilder() = default;

void SegmentBuilder::BeginDisc(const std::string& name, const ListStamp& stamp) {
  State& s = *state_;
  s.discs.push_back({name, stamp, static_cast<std::uint32_t>(s.blockEnds.size()), 0});
  s.blockStart = s.position = 0;
  s.held = 0;
  s.closing = false;
  s.last = '\0';
}

void SegmentBuilder::Feed(std::string_view piece) {
  State& s = *state_;
  for (const char c : piece) {
    // A block closes at the first line end after kBlockBytes, a CR LF pair
    // kept whole.
    if (s.closing && !(c == '\n' && s.last == '\r')) s.CloseBlock();
    ++s.position;
    s.last = c;
    if (IsLineEnd(c)) {
      s.held = 0;
      if (s.closing) {
        s.CloseBlock();
      } else if (s.position - s.blockStart >= kBlockBytes) {
        s.closing = true;
      }
      continue;
    }
    s.window = (s.window << 8 | Fold(c)) & 0xFFFFFF;
    if (s.held < 2) {
      ++s.held;
      continue;
    }
    std::uint64_t& word = s.seenBits[s.window / 64];
    const std::uint64_t bit = std::uint64_t{1} << (s.window % 64);
    if ((word & bit) == 0) {
      word |= bit;
      s.seen.push_back(s.window);
    }
  }
}

void SegmentBuilder::EndDisc() {
  State& s = *state_;
  if (s.position > s.blockStart) s.CloseBlock();
}

void SegmentBuilder::AddDisc(const std::string& name, const ListStamp& stamp,
                             std::string_view text) {
  BeginDisc(name, stamp);
  Feed(text);
  EndDisc();
}

std::size_t SegmentBuilder::MemoryBytes() const {
  return state_->postingBytes + state_->postings.size() * 64 + state_->blockEnds.size() * 8;
}

bool SegmentBuilder::Empty() const { return state_->discs.empty(); }

std::string SegmentBuilder::Encode() const {
  State& s = *state_;
  const auto blockCount = static_cast<std::uint32_t>(s.blockEnds.size());
  const std::size_t bitmapBytes = (blockCount + 7) / 8;
  std::vector<std::uint32_t> trigrams;
  trigrams.reserve(s.postings.size());
  for (const auto& [trigram, posting] : s.postings) trigrams.push_back(trigram);
  std::sort(trigrams.begin(), trigrams.end());

  std::string out(kHeaderBytes, '\0');
  // The discs.
  const std::uint64_t discsAt = out.size();
  {
    std::string table;
    for (const State::Disc& disc : s.discs) {
      table.push_back(static_cast<char>(std::min<std::size_t>(disc.name.size(), 255)));
      table.append(disc.name, 0, std::min<std::size_t>(disc.name.size(), 255));
      PutU64(table, disc.stamp.size);
      PutU64(table, static_cast<std::uint64_t>(disc.stamp.modifiedNs));
      PutU64(table, disc.stamp.inode);
      PutU32(table, disc.firstBlock);
      PutU32(table, disc.blockCount);
    }
    PutU32(table, Crc(table));
    out += table;
  }
  // The blocks' ends.
  const std::uint64_t blocksAt = out.size();
  {
    std::string table;
    for (const std::uint64_t end : s.blockEnds) PutU64(table, end);
    PutU32(table, Crc(table));
    out += table;
  }
  // The pages: each a list of trigrams with their postings' lengths, the
  // postings, and a check of both.
  std::string pages, pageIndex, entries, postings, posting;
  std::uint32_t pageCount = 0, pageTrigrams = 0, pageFirst = 0, previous = 0;
  const auto closePage = [&] {
    if (pageTrigrams == 0) return;
    std::string page;
    PutVarint(page, pageTrigrams);
    page += entries;
    page += postings;
    PutU32(page, Crc(page));
    PutU32(pageIndex, pageFirst);
    PutU64(pageIndex, pages.size());
    PutU32(pageIndex, static_cast<std::uint32_t>(page.size()));
    pages += page;
    ++pageCount;
    entries.clear();
    postings.clear();
    pageTrigrams = 0;
  };
  for (const std::uint32_t trigram : trigrams) {
    const State::Posting& list = s.postings[trigram];
    // A list, unless the bitmap is shorter.
    posting.clear();
    posting.push_back(static_cast<char>(kListPosting));
    PutVarint(posting, list.count);
    posting += list.gaps;
    if (posting.size() > 1 + bitmapBytes) {
      posting.assign(1 + bitmapBytes, '\0');
      posting[0] = static_cast<char>(kBitmapPosting);
      Cursor gaps(list.gaps);
      std::uint64_t block = 0;
      for (std::uint32_t k = 0; k < list.count; ++k) {
        block = k == 0 ? gaps.Varint() : block + 1 + gaps.Varint();
        posting[1 + block / 8] = static_cast<char>(posting[1 + block / 8] | (1 << (block % 8)));
      }
    }
    if (pageTrigrams == 0) {
      pageFirst = trigram;
      previous = trigram;
    }
    PutVarint(entries, trigram - previous);
    PutVarint(entries, posting.size());
    postings += posting;
    previous = trigram;
    ++pageTrigrams;
    if (pageTrigrams == kPageTrigrams || postings.size() >= kPageBytes) closePage();
  }
  closePage();
  const std::uint64_t pageIndexAt = out.size();
  PutU32(pageIndex, Crc(pageIndex));
  out += pageIndex;
  const std::uint64_t pagesAt = out.size();
  out += pages;

  // The header, last, with what it points to.
  std::memcpy(out.data(), kMagic, sizeof kMagic);
  SetU32(out, 8, kVersion);
  SetU32(out, 12, static_cast<std::uint32_t>(kBlockBytes));
  SetU32(out, 16, static_cast<std::uint32_t>(s.discs.size()));
  SetU32(out, 20, blockCount);
  SetU32(out, 24, pageCount);
  SetU64(out, 32, discsAt);
  SetU64(out, 40, blocksAt);
  SetU64(out, 48, pageIndexAt);
  SetU64(out, 56, pagesAt);
  SetU64(out, 64, out.size());
  SetU64(out, 72, static_cast<std::uint64_t>(s.builtNs));
  SetU32(out, 80, Crc(std::string_view(out.data(), 80)));
  return out;
}

// ---------------------------------------------------------------- rebuilding

RebuildOutcome RebuildSearchIndex(const fs::path& catalogueFolder, const RebuildEvents& events,
                                  std::size_t budget) {
  const std::vector<std::string> lists = ListFiles(catalogueFolder, "*.Ct");
  std::uint64_t total = 0, done = 0;
  for (const std::string& name : lists)
    if (const std::optional<ListStamp> stamp = StampOf(catalogueFolder / name)) total += stamp->size;
  // New segments go under names no old one holds, until the rebuild is whole.
  const std::vector<std::string> old = ListFiles(catalogueFolder, std::string("*") + kIndexExtension);
  const std::string prefix = "Nuevo-";
  int written = 0;
  auto builder = std::make_unique<SegmentBuilder>();
  const auto writeSegment = [&] {
    if (builder->Empty()) return;
    const fs::path file = catalogueFolder / (prefix + GroupSegmentName(++written));
    if (!WriteFileAtomically(file, builder->Encode()))
      throw Failure("ErrorEscribirIndice", "No se puede escribir el \xEDndice de b\xFAsqueda", file,
                    errno);
    builder = std::make_unique<SegmentBuilder>();
  };
  const auto removeNew = [&] {
    for (int k = 1; k <= written; ++k)
      (void)RemoveFile(catalogueFolder / (prefix + GroupSegmentName(k)));
  };
  ReadBuffer buffer(std::size_t{128} << 10);
  try {
    for (const std::string& name : lists) {
      const fs::path file = catalogueFolder / name;
      const std::optional<ListStamp> stamp = StampOf(file);
      if (!stamp) continue;  // gone meanwhile
      PieceReader reader(file, buffer);
      builder->BeginDisc(DiscNumberOfFile(name), *stamp);
      for (std::string_view piece = reader.Next(); !piece.empty(); piece = reader.Next()) {
        if (events.stopped && events.stopped()) {
          removeNew();
          return RebuildOutcome::kStopped;
        }
        builder->Feed(piece);
        if (events.progress) events.progress(done + reader.bytesRead(), total);
      }
      builder->EndDisc();
      done += reader.bytesRead();
      if (builder->MemoryBytes() >= budget) writeSegment();
    }
    writeSegment();
  } catch (...) {
    removeNew();
    throw;
  }
  // The new segments take the place of every old one.
  for (const std::string& name : old) (void)RemoveFile(catalogueFolder / name);
  for (int k = 1; k <= written; ++k)
    if (!RenameFile(catalogueFolder / (prefix + GroupSegmentName(k)),
                    catalogueFolder / GroupSegmentName(k), k == written))
      throw Failure("ErrorEscribirIndice", "No se puede escribir el \xEDndice de b\xFAsqueda",
                    catalogueFolder / GroupSegmentName(k), errno);
  return RebuildOutcome::kDone;
}

// ---------------------------------------------------------------- reading

struct SearchIndex::Segment {
  struct Disc {
    ListStamp stamp;
    std::uint32_t firstBlock = 0, blockCount = 0;
  };
  struct Page {
    std::uint32_t first = 0;
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
  };
  bool loose = false;  // one disc's own segment, which comes before a many-disc one
  FileDescriptor fd;
  std::uint64_t pagesAt = 0, fileLength = 0;
  std::uint32_t blockCount = 0;
  std::unordered_map<std::string, Disc> discs;
  std::vector<std::uint64_t> blockEnds;
  std::vector<Page> pages;
  std::uint64_t indexedBytes = 0;
  // The plan of the current search: the blocks that can hold a hit; none
  // at all when the segment cannot be read.
  BlockSet candidates;
  bool usable = true;

  // Reads and checks everything but the pages; false when anything is amiss.
  bool Open(const fs::path& file);
  // The blocks holding every trigram; all blocks for no trigram.
  std::optional<BlockSet> Holding(const std::vector<std::uint32_t>& trigrams);

 private:
  std::optional<std::string> Read(std::uint64_t offset, std::uint64_t length) const;
  // A page's postings by trigram, read and checked once a search.
  std::map<std::size_t, std::unordered_map<std::uint32_t, std::string>> pageCache_;
  const std::unordered_map<std::uint32_t, std::string>* PageAt(std::size_t page);
};

std::optional<std::string> SearchIndex::Segment::Read(std::uint64_t offset,
                                                      std::uint64_t length) const {
  if (offset > fileLength || length > fileLength - offset) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(length), '\0');
  const ssize_t got = ReadAtOffset(fd.get(), offset, bytes.data(), bytes.size());
  if (got < 0 || static_cast<std::uint64_t>(got) != length) return std::nullopt;
  return bytes;
}

bool SearchIndex::Segment::Open(const fs::path& file) {
  fd = FileDescriptor::Open(file, O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0) return false;
  fileLength = static_cast<std::uint64_t>(info.st_size);
  const std::optional<std::string> header = Read(0, kHeaderBytes);
  if (!header || std::memcmp(header->data(), kMagic, sizeof kMagic) != 0) return false;
  Cursor h(*header);
  h.Take(8);
  const std::uint64_t version = h.Fixed(4), blockBytes = h.Fixed(4), discCount = h.Fixed(4);
  blockCount = static_cast<std::uint32_t>(h.Fixed(4));
  const std::uint64_t pageCount = h.Fixed(4);
  h.Fixed(4);
  const std::uint64_t discsAt = h.Fixed(8), blocksAt = h.Fixed(8), pageIndexAt = h.Fixed(8);
  pagesAt = h.Fixed(8);
  const std::uint64_t length = h.Fixed(8);
  const auto builtNs = static_cast<std::int64_t>(h.Fixed(8));
  const std::uint64_t headerCrc = h.Fixed(4);
  if (version != kVersion || blockBytes == 0 || length != fileLength ||
      headerCrc != Crc(std::string_view(header->data(), 80)) || !(discsAt <= blocksAt) ||
      !(blocksAt <= pageIndexAt) || !(pageIndexAt <= pagesAt) || pagesAt > fileLength)
    return false;

  const std::optional<std::string> discBytes = Read(discsAt, blocksAt - discsAt);
  const std::optional<std::string_view> discTable = Checked(discBytes);
  const std::optional<std::string> blockBytes2 = Read(blocksAt, pageIndexAt - blocksAt);
  const std::optional<std::string_view> blockTable = Checked(blockBytes2);
  const std::optional<std::string> indexBytes = Read(pageIndexAt, pagesAt - pageIndexAt);
  const std::optional<std::string_view> pageTable = Checked(indexBytes);
  if (!discTable || !blockTable || !pageTable || blockTable->size() != blockCount * 8ull ||
      pageTable->size() != pageCount * 16)
    return false;

  Cursor b(*blockTable);
  blockEnds.resize(blockCount);
  for (std::uint64_t& end : blockEnds) end = b.Fixed(8);
  Cursor d(*discTable);
  std::uint64_t nextBlock = 0;
  for (std::uint64_t i = 0; i < discCount; ++i) {
    const std::string name(d.Take(static_cast<std::size_t>(d.Fixed(1))));
    Disc disc;
    disc.stamp.size = d.Fixed(8);
    disc.stamp.modifiedNs = static_cast<std::int64_t>(d.Fixed(8));
    disc.stamp.inode = d.Fixed(8);
    disc.firstBlock = static_cast<std::uint32_t>(d.Fixed(4));
    disc.blockCount = static_cast<std::uint32_t>(d.Fixed(4));
    // The discs' blocks follow one another; each block ends after the last,
    // and the last at the end of the file list.
    if (d.failed() || disc.firstBlock != nextBlock || disc.blockCount > blockCount - nextBlock)
      return false;
    std::uint64_t before = 0;
    for (std::uint32_t k = 0; k < disc.blockCount; ++k) {
      const std::uint64_t end = blockEnds[disc.firstBlock + k];
      if (end <= before) return false;
      before = end;
    }
    if (before != disc.stamp.size) return false;
    nextBlock += disc.blockCount;
    indexedBytes += disc.stamp.size;
    if (disc.stamp.modifiedNs <= builtNs - kRacyNs) discs[name] = disc;
  }
  if (!d.atEnd() || nextBlock != blockCount) return false;
  Cursor p(*pageTable);
  pages.resize(static_cast<std::size_t>(pageCount));
  for (std::size_t i = 0; i < pages.size(); ++i) {
    pages[i].first = static_cast<std::uint32_t>(p.Fixed(4));
    pages[i].offset = p.Fixed(8);
    pages[i].length = static_cast<std::uint32_t>(p.Fixed(4));
    if (i > 0 && pages[i].first <= pages[i - 1].first) return false;
  }
  return true;
}

const std::unordered_map<std::uint32_t, std::string>* SearchIndex::Segment::PageAt(
    std::size_t index) {
  const auto cached = pageCache_.find(index);
  if (cached != pageCache_.end()) return &cached->second;
  const Page& page = pages[index];
  if (page.offset > fileLength - pagesAt) return nullptr;
  const std::optional<std::string> bytes = Read(pagesAt + page.offset, page.length);
  const std::optional<std::string_view> body = Checked(bytes);
  if (!body) return nullptr;
  Cursor c(*body);
  const std::uint64_t count = c.Varint();
  std::vector<std::pair<std::uint32_t, std::uint64_t>> lengths;
  std::uint64_t trigram = page.first;
  for (std::uint64_t i = 0; i < count && !c.failed(); ++i) {
    trigram += c.Varint();
    lengths.emplace_back(static_cast<std::uint32_t>(trigram), c.Varint());
  }
  std::unordered_map<std::uint32_t, std::string> postings;
  for (const auto& [t, n] : lengths) postings[t] = std::string(c.Take(static_cast<std::size_t>(n)));
  if (c.failed() || !c.atEnd() || trigram > 0xFFFFFF) return nullptr;
  return &pageCache_.emplace(index, std::move(postings)).first->second;
}

std::optional<BlockSet> SearchIndex::Segment::Holding(
    const std::vector<std::uint32_t>& trigrams) {
  const std::size_t words = (blockCount + 63) / 64;
  std::optional<BlockSet> result;
  for (const std::uint32_t trigram : trigrams) {
    BlockSet holding(words, 0);
    const auto after = std::upper_bound(pages.begin(), pages.end(), trigram,
                                        [](std::uint32_t t, const Page& p) { return t < p.first; });
    if (after != pages.begin()) {
      const auto* postings = PageAt(static_cast<std::size_t>(after - pages.begin() - 1));
      if (postings == nullptr) {
        usable = false;
        return std::nullopt;
      }
      const auto found = postings->find(trigram);
      if (found != postings->end()) {
        Cursor c(found->second);
        const std::uint64_t kind = c.Fixed(1);
        if (kind == kListPosting) {
          const std::uint64_t count = c.Varint();
          std::uint64_t block = 0;
          for (std::uint64_t k = 0; k < count && !c.failed(); ++k) {
            block = k == 0 ? c.Varint() : block + 1 + c.Varint();
            if (block >= blockCount) {
              usable = false;
              return std::nullopt;
            }
            holding[block / 64] |= std::uint64_t{1} << (block % 64);
          }
        } else if (kind == kBitmapPosting) {
          const std::string_view bits = c.Take((blockCount + 7) / 8);
          for (std::size_t byte = 0; byte < bits.size(); ++byte)
            holding[byte / 8] |= static_cast<std::uint64_t>(static_cast<unsigned char>(bits[byte]))
                                 << (8 * (byte % 8));
        }
        if (c.failed() || !c.atEnd() || kind > kBitmapPosting) {
          usable = false;
          return std::nullopt;
        }
      }
    }
    if (!result) {
      result = std::move(holding);
    } else {
      for (std::size_t w = 0; w < words; ++w) (*result)[w] &= holding[w];
    }
  }
  return result;
}

SearchIndex::SearchIndex(const fs::path& catalogueFolder, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (name.size() <= 4 || name.compare(name.size() - 4, 4, kIndexExtension) != 0) continue;
    auto segment = std::make_unique<Segment>();
    segment->loose = name.rfind("Indice-", 0) != 0;
    if (segment->Open(catalogueFolder / name)) segments_.push_back(std::move(segment));
  }
  // One disc's own segments come first: they are newer than a many-disc one.
  std::stable_sort(segments_.begin(), segments_.end(),
                   [](const auto& a, const auto& b) { return a->loose && !b->loose; });
}

SearchIndex::~SearchIndex() = default;

bool SearchIndex::Plan(const TerminosBusqueda& terms) {
  planned_ = false;
  if (segments_.empty()) return false;
  // What each term rules in: nothing for an empty term (it matches no
  // line), everything for one shorter than a trigram.
  enum class Reach { kNone, kAll, kSome };
  const auto reachOf = [](const std::string& term) {
    return term.empty() ? Reach::kNone : term.size() < 3 ? Reach::kAll : Reach::kSome;
  };
  const bool pair = !terms[1].empty();
  bool narrows = reachOf(terms[0]) != Reach::kAll;
  if (pair)
    narrows = (reachOf(terms[0]) != Reach::kAll || reachOf(terms[1]) != Reach::kAll) &&
              reachOf(terms[2]) != Reach::kAll;
  if (!narrows) return false;

  std::uint64_t total = 0, candidate = 0;
  for (const auto& segment : segments_) {
    const std::size_t words = (segment->blockCount + 63) / 64;
    const auto termSet = [&](const std::string& term) -> std::optional<BlockSet> {
      if (term.empty()) return BlockSet(words, 0);
      if (term.size() < 3) return BlockSet(words, ~std::uint64_t{0});
      return segment->Holding(TermTrigrams(term));
    };
    std::optional<BlockSet> set = termSet(terms[0]);
    if (pair && set) {
      const std::optional<BlockSet> second = termSet(terms[1]);
      const std::optional<BlockSet> third = second ? termSet(terms[2]) : std::nullopt;
      if (second && third)
        for (std::size_t w = 0; w < words; ++w)
          (*set)[w] = ((*set)[w] & (*second)[w]) | (*third)[w];
      else
        set.reset();
    }
    if (!set) {
      segment->usable = false;
      continue;
    }
    segment->candidates = std::move(*set);
    total += segment->indexedBytes;
    for (const auto& [name, disc] : segment->discs) {
      std::uint64_t begin = 0;
      for (std::uint32_t k = 0; k < disc.blockCount; ++k) {
        const std::uint32_t block = disc.firstBlock + k;
        const std::uint64_t end = segment->blockEnds[block];
        if ((segment->candidates[block / 64] >> (block % 64)) & 1) candidate += end - begin;
        begin = end;
      }
    }
  }
  // Most bytes read anyway: reading them in order is faster than in pieces.
  planned_ = total > 0 && candidate * 2 <= total;
  return planned_;
}

ReadPlan SearchIndex::PlanFor(const std::string& name,
                              const std::optional<ListStamp>& stamp) const {
  ReadPlan plan;
  if (!planned_ || !stamp) return plan;
  for (const auto& segment : segments_) {
    if (!segment->usable) continue;
    const auto found = segment->discs.find(name);
    if (found == segment->discs.end() || !(found->second.stamp == *stamp)) continue;
    const Segment::Disc& disc = found->second;
    std::uint64_t begin = 0;
    for (std::uint32_t k = 0; k < disc.blockCount; ++k) {
      const std::uint32_t block = disc.firstBlock + k;
      const std::uint64_t end = segment->blockEnds[block];
      if ((segment->candidates[block / 64] >> (block % 64)) & 1) {
        if (!plan.ranges.empty() && plan.ranges.back().second == begin)
          plan.ranges.back().second = end;
        else
          plan.ranges.emplace_back(begin, end);
      }
      begin = end;
    }
    plan.kind = plan.ranges.empty() ? ReadPlan::Kind::kNothing : ReadPlan::Kind::kRanges;
    return plan;
  }
  return plan;
}

}  // namespace zafirel
