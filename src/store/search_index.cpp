#include "store/search_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <utility>

#include "store/catalogue_files.h"
#include "store/search_index_format.h"
#include "util/failure.h"
#include "util/file_change.h"
#include "util/file_handle.h"
#include "util/file_writer.h"
#include "util/piece_reader.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;
using namespace segment_format;

std::string GroupSegmentName(int k) { return "Indice-" + std::to_string(k) + kIndexExtension; }

std::optional<ListStamp> StampOf(int folderFd, const char* name) {
  struct stat info {};
  if (::fstatat(folderFd, name, &info, 0) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return ListStamp{static_cast<std::uint64_t>(info.st_size), Nanoseconds(info.st_mtim),
                   static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<ListStamp> StampOf(const fs::path& file) { return StampOf(AT_FDCWD, file.c_str()); }

// ---------------------------------------------------------------- reading

std::optional<SegmentHead> ReadSegmentHead(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::nullopt;
  SegmentHead head;
  head.fileLength = static_cast<std::uint64_t>(info.st_size);
  const auto read = [&](std::uint64_t offset, std::uint64_t length) -> std::optional<std::string> {
    if (offset > head.fileLength || length > head.fileLength - offset) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(length), '\0');
    const ssize_t got = ReadAtOffset(fd, offset, bytes.data(), bytes.size());
    if (got < 0 || static_cast<std::uint64_t>(got) != length) return std::nullopt;
    return bytes;
  };
  const std::optional<std::string> header = read(0, kHeaderBytes);
  if (!header || std::memcmp(header->data(), kMagic, sizeof kMagic) != 0) return std::nullopt;
  Cursor h(*header);
  h.Take(8);
  const std::uint64_t version = h.Fixed(4), blockBytes = h.Fixed(4), discCount = h.Fixed(4);
  head.blockCount = static_cast<std::uint32_t>(h.Fixed(4));
  head.pageCount = h.Fixed(4);
  h.Fixed(4);
  const std::uint64_t discsAt = h.Fixed(8);
  head.blocksAt = h.Fixed(8);
  head.pageIndexAt = h.Fixed(8);
  head.pagesAt = h.Fixed(8);
  const std::uint64_t length = h.Fixed(8);
  head.builtNs = static_cast<std::int64_t>(h.Fixed(8));
  const std::uint64_t headerCrc = h.Fixed(4);
  if (version != kVersion || blockBytes == 0 || length != head.fileLength ||
      headerCrc != Crc(std::string_view(header->data(), 80)) || !(discsAt <= head.blocksAt) ||
      !(head.blocksAt <= head.pageIndexAt) || !(head.pageIndexAt <= head.pagesAt) ||
      head.pagesAt > head.fileLength ||
      head.pageIndexAt - head.blocksAt != std::uint64_t{head.blockCount} * 8)
    return std::nullopt;
  const std::optional<std::string> discBytes = read(discsAt, head.blocksAt - discsAt);
  const std::optional<std::string_view> discTable = Checked(discBytes);
  if (!discTable) return std::nullopt;
  Cursor d(*discTable);
  std::uint64_t nextBlock = 0;
  for (std::uint64_t i = 0; i < discCount && !d.failed(); ++i) {
    SegmentDisc disc;
    disc.name = std::string(d.Take(static_cast<std::size_t>(d.Fixed(1))));
    disc.stamp.size = d.Fixed(8);
    disc.stamp.modifiedNs = static_cast<std::int64_t>(d.Fixed(8));
    disc.stamp.inode = d.Fixed(8);
    disc.firstBlock = static_cast<std::uint32_t>(d.Fixed(4));
    disc.blockCount = static_cast<std::uint32_t>(d.Fixed(4));
    disc.endsCheck = static_cast<std::uint32_t>(d.Fixed(4));
    // The discs' blocks follow one another (their ends are checked when a
    // search needs them).
    if (d.failed() || disc.firstBlock != nextBlock || disc.blockCount > head.blockCount - nextBlock)
      return std::nullopt;
    nextBlock += disc.blockCount;
    head.discs.push_back(std::move(disc));
  }
  if (d.failed() || !d.atEnd() || nextBlock != head.blockCount) return std::nullopt;
  return head;
}

// ---------------------------------------------------------------- building

namespace {

std::size_t VarintLength(std::uint64_t v) {
  std::size_t length = 1;
  for (; v >= 0x80; v >>= 7) ++length;
  return length;
}

}  // namespace

struct SegmentBuilder::State {
  struct Disc {
    std::string name;
    ListStamp stamp;
    std::uint32_t firstBlock = 0, blockCount = 0;
  };
  // A trigram's blocks so far, in the shorter of two forms: the gaps as a
  // list posting writes them, or one bit a block.
  struct Posting {
    std::uint32_t trigram = 0, count = 0, last = 0;
    bool bitmap = false;
    std::uint64_t listBytes = 0;  // the gaps' length, counted in either form
    std::uint64_t at = 0;         // in its shelf's bytes
    std::uint64_t length = 0;
  };
  std::vector<Disc> discs;
  std::vector<std::uint64_t> blockEnds;  // within each block's own file list
  // The postings so far by the trigram's first byte, each shelf's in
  // trigram order with their bytes one after another: a fold rewrites only
  // the shelves it adds to, one at a time.
  struct Shelf {
    std::vector<Posting> postings;
    std::string bytes;
  };
  std::array<Shelf, 256> shelves;
  // The trigrams of the blocks since the last fold, by the trigram's first
  // byte: the block's gap after the one before in the same part (a varint),
  // then the trigram's other two bytes. Blocks come in order, so a part is
  // only ever appended to: a block costs no look-ups all over memory, and
  // the fold sorts the parts and merges them into the postings in one pass.
  std::array<std::string, 256> parts;
  std::array<std::uint32_t, 256> partLast{};
  std::size_t partBytes = 0, foldBytes = 0;
  std::int64_t builtNs = 0;  // when the builder began, before any list was read

  // The block being read: its trigrams seen so far (one bit each, and in a
  // list to clear them), where it began, and the bytes of the disc so far.
  std::vector<std::uint64_t> seenBits = std::vector<std::uint64_t>(std::size_t{1} << 18, 0);
  std::vector<std::uint32_t> seen;
  std::uint64_t blockStart = 0, position = 0;
  std::uint32_t window = 0;
  int held = 0;          // bytes of the current line in window, up to 3
  bool closing = false;  // the block is full and its last line has ended
  char last = '\0';

  void CloseBlock() {
    const auto block = static_cast<std::uint32_t>(blockEnds.size());
    for (const std::uint32_t trigram : seen) {
      seenBits[trigram / 64] &= ~(std::uint64_t{1} << (trigram % 64));
      const std::size_t part = trigram >> 16;
      std::string& bytes = parts[part];
      const std::size_t before = bytes.size();
      PutVarint(bytes, block - partLast[part]);
      partLast[part] = block;
      const char low[2] = {static_cast<char>(trigram >> 8), static_cast<char>(trigram)};
      bytes.append(low, 2);
      partBytes += bytes.size() - before;
    }
    seen.clear();
    blockEnds.push_back(position);
    ++discs.back().blockCount;
    blockStart = position;
    closing = false;
    if (partBytes >= foldBytes) Fold();
  }

  // Appends blocks (ascending, after h's last) to h, whose bytes end `into`.
  static void Append(Posting& h, std::string& into, const std::uint32_t* blocks, std::size_t count,
                     std::uint32_t blocksSoFar) {
    for (std::size_t k = 0; k < count; ++k) {
      const std::uint32_t block = blocks[k];
      const std::uint32_t gap = h.count == 0 ? block : block - h.last - 1;
      if (h.bitmap) {
        if (into.size() - h.at <= block / 8) into.resize(h.at + block / 8 + 1, '\0');
        into[h.at + block / 8] = static_cast<char>(into[h.at + block / 8] | (1 << (block % 8)));
        h.listBytes += VarintLength(gap);
      } else {
        const std::size_t before = into.size();
        PutVarint(into, gap);
        h.listBytes += into.size() - before;
      }
      h.last = block;
      ++h.count;
    }
    // A list longer than the bitmap would be becomes the bitmap.
    if (!h.bitmap && h.listBytes > blocksSoFar / 8 + 16) {
      const std::vector<std::uint32_t> all = BlocksOf(h, std::string_view(into).substr(h.at));
      into.resize(h.at);
      h.bitmap = true;
      for (const std::uint32_t block : all) {
        if (into.size() - h.at <= block / 8) into.resize(h.at + block / 8 + 1, '\0');
        into[h.at + block / 8] = static_cast<char>(into[h.at + block / 8] | (1 << (block % 8)));
      }
    }
    h.length = into.size() - h.at;
  }

  // The blocks of h, whose bytes are bytes.
  static std::vector<std::uint32_t> BlocksOf(const Posting& h, std::string_view bytes) {
    std::vector<std::uint32_t> blocks;
    blocks.reserve(h.count);
    if (h.bitmap) {
      for (std::size_t byte = 0; byte < bytes.size(); ++byte)
        for (int bit = 0; bit < 8; ++bit)
          if ((static_cast<unsigned char>(bytes[byte]) >> bit) & 1)
            blocks.push_back(static_cast<std::uint32_t>(byte * 8 + bit));
    } else {
      Cursor gaps(bytes);
      for (std::uint32_t k = 0; k < h.count; ++k)
        blocks.push_back(k == 0 ? static_cast<std::uint32_t>(gaps.Varint())
                                : blocks.back() + 1 + static_cast<std::uint32_t>(gaps.Varint()));
    }
    return blocks;
  }

  // Merges the parts into the postings.
  void Fold() {
    const auto blocksSoFar = static_cast<std::uint32_t>(blockEnds.size());
    std::vector<std::uint32_t> starts(std::size_t{1} << 16), blocks;
    for (std::size_t part = 0; part < parts.size(); ++part) {
      std::string pairs;
      pairs.swap(parts[part]);
      partLast[part] = 0;
      if (pairs.empty()) continue;
      // The part's blocks sorted by trigram, each trigram's in block order
      // (a counting sort on the trigram's last two bytes).
      const auto eachPair = [&](const auto& visit) {
        Cursor c(pairs);
        std::uint32_t block = 0;
        while (!c.atEnd()) {
          block += static_cast<std::uint32_t>(c.Varint());
          const auto high = static_cast<std::uint32_t>(c.Fixed(1));
          visit(high << 8 | static_cast<std::uint32_t>(c.Fixed(1)), block);
        }
      };
      std::fill(starts.begin(), starts.end(), 0);
      std::size_t count = 0;
      eachPair([&](std::uint32_t low, std::uint32_t) {
        ++starts[low];
        ++count;
      });
      std::uint32_t at = 0;
      for (std::uint32_t& start : starts) at += std::exchange(start, at);
      blocks.resize(count);
      eachPair([&](std::uint32_t low, std::uint32_t block) { blocks[starts[low]++] = block; });
      pairs.clear();
      pairs.shrink_to_fit();
      // starts[low] now ends low's blocks. The shelf is written anew, its
      // postings merged with the part's in trigram order.
      const Shelf& old = shelves[part];
      Shelf shelf;
      shelf.postings.reserve(old.postings.size() + old.postings.size() / 4 + 64);
      shelf.bytes.reserve(old.bytes.size() + old.bytes.size() / 4 + count);
      std::size_t next = 0;
      const auto keep = [&](Posting h) {
        const std::size_t start = shelf.bytes.size();
        shelf.bytes.append(old.bytes, h.at, h.length);
        h.at = start;
        shelf.postings.push_back(h);
      };
      std::uint32_t begin = 0;
      for (std::uint32_t low = 0; low < starts.size(); begin = starts[low++]) {
        if (starts[low] == begin) continue;
        const std::uint32_t trigram = static_cast<std::uint32_t>(part) << 16 | low;
        while (next < old.postings.size() && old.postings[next].trigram < trigram)
          keep(old.postings[next++]);
        Posting h;
        h.trigram = trigram;
        if (next < old.postings.size() && old.postings[next].trigram == trigram) {
          keep(old.postings[next++]);
          h = shelf.postings.back();
          shelf.postings.pop_back();
        } else {
          h.at = shelf.bytes.size();
        }
        Append(h, shelf.bytes, blocks.data() + begin, starts[low] - begin, blocksSoFar);
        shelf.postings.push_back(h);
      }
      while (next < old.postings.size()) keep(old.postings[next++]);
      shelves[part] = std::move(shelf);
    }
    partBytes = 0;
  }
};

SegmentBuilder::SegmentBuilder(std::size_t foldBytes) : state_(std::make_unique<State>()) {
  state_->builtNs = NowNs();
  state_->foldBytes = foldBytes;
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
  const char* at = piece.data();
  const char* const end = at + piece.size();
  while (at < end) {
    // A block closes at the first line end after kBlockBytes, a CR LF pair
    // kept whole.
    if (s.closing && !(*at == '\n' && s.last == '\r')) s.CloseBlock();
    if (IsLineEnd(*at)) {
      s.last = *at++;
      ++s.position;
      s.held = 0;
      if (s.closing) {
        s.CloseBlock();
      } else if (s.position - s.blockStart >= kBlockBytes) {
        s.closing = true;
      }
      continue;
    }
    // The rest of the line in this piece: each byte ends a trigram once
    // two came before it on the line.
    const char* stop = at;
    while (stop < end && !IsLineEnd(*stop)) ++stop;
    std::uint32_t window = s.window;
    int held = s.held;
    std::uint64_t* const bits = s.seenBits.data();
    for (const char* c = at; c < stop; ++c) {
      window = (window << 8 | Fold(*c)) & 0xFFFFFF;
      if (held < 2) {
        ++held;
        continue;
      }
      std::uint64_t& word = bits[window / 64];
      const std::uint64_t bit = std::uint64_t{1} << (window % 64);
      if ((word & bit) == 0) {
        word |= bit;
        s.seen.push_back(window);
      }
    }
    s.window = window;
    s.held = held;
    s.position += static_cast<std::uint64_t>(stop - at);
    s.last = stop[-1];
    at = stop;
  }
}

void SegmentBuilder::EndDisc() {
  State& s = *state_;
  if (s.position > s.blockStart) s.CloseBlock();
}

std::optional<std::uint64_t> SegmentBuilder::AddList(
    const fs::path& file, const std::string& name, const ListStamp& stamp, ReadBuffer& buffer,
    const std::function<bool(std::uint64_t read)>& goOn) {
  PieceReader reader(file, buffer);
  BeginDisc(name, stamp);
  for (std::string_view piece = reader.Next(); !piece.empty(); piece = reader.Next()) {
    Feed(piece);
    if (goOn && !goOn(reader.bytesRead())) return std::nullopt;
  }
  EndDisc();
  return reader.bytesRead();
}

void SegmentBuilder::AddDisc(const std::string& name, const ListStamp& stamp,
                             std::string_view text) {
  BeginDisc(name, stamp);
  Feed(text);
  EndDisc();
}

std::size_t SegmentBuilder::MemoryBytes() const {
  const State& s = *state_;
  std::size_t bytes = s.blockEnds.capacity() * 8 + s.seenBits.size() * 8;
  for (const std::string& part : s.parts) bytes += part.capacity();
  for (const State::Shelf& shelf : s.shelves)
    bytes += shelf.postings.capacity() * sizeof(State::Posting) + shelf.bytes.capacity();
  return bytes;
}

bool SegmentBuilder::Empty() const { return state_->discs.empty(); }

std::string SegmentBuilder::Encode(std::string& pages) {
  State& s = *state_;
  const auto blockCount = static_cast<std::uint32_t>(s.blockEnds.size());
  const std::size_t bitmapBytes = (blockCount + 7) / 8;

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
      // A check of the disc's own block ends, which a search reads alone.
      std::string ends;
      for (std::uint32_t k = 0; k < disc.blockCount; ++k)
        PutU64(ends, s.blockEnds[disc.firstBlock + k]);
      PutU32(table, Crc(ends));
    }
    PutU32(table, Crc(table));
    out += table;
  }
  // The blocks' ends, checked disc by disc in the disc table.
  const std::uint64_t blocksAt = out.size();
  for (const std::uint64_t end : s.blockEnds) PutU64(out, end);
  // The pages: each a list of trigrams with their postings' lengths, the
  // postings, and a check of both.
  std::string pageIndex, entries, postings, posting;
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
  s.Fold();
  for (State::Shelf& shelf : s.shelves) {
    for (const State::Posting& h : shelf.postings) {
      const std::string_view bytes = std::string_view(shelf.bytes).substr(h.at, h.length);
      // A list, unless the bitmap is shorter.
      const bool list = 1 + VarintLength(h.count) + h.listBytes <= 1 + bitmapBytes;
      posting.clear();
      if (list) {
        posting.push_back(static_cast<char>(kListPosting));
        PutVarint(posting, h.count);
        if (!h.bitmap) {
          posting += bytes;
        } else {
          bool first = true;
          std::uint32_t before = 0;
          for (const std::uint32_t block : State::BlocksOf(h, bytes)) {
            PutVarint(posting, first ? block : block - before - 1);
            first = false;
            before = block;
          }
        }
      } else {
        posting.assign(1 + bitmapBytes, '\0');
        posting[0] = static_cast<char>(kBitmapPosting);
        if (h.bitmap) {
          posting.replace(1, bytes.size(), bytes);
        } else {
          for (const std::uint32_t block : State::BlocksOf(h, bytes))
            posting[1 + block / 8] = static_cast<char>(posting[1 + block / 8] | (1 << (block % 8)));
        }
      }
      if (pageTrigrams == 0) {
        pageFirst = h.trigram;
        previous = h.trigram;
      }
      PutVarint(entries, h.trigram - previous);
      PutVarint(entries, posting.size());
      postings += posting;
      previous = h.trigram;
      ++pageTrigrams;
      if (pageTrigrams == kPageTrigrams || postings.size() >= kPageBytes) closePage();
    }
    shelf = State::Shelf();  // written: its memory goes
  }
  closePage();
  const std::uint64_t pageIndexAt = out.size();
  PutU32(pageIndex, Crc(pageIndex));
  out += pageIndex;
  const std::uint64_t pagesAt = out.size();

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
  SetU64(out, 64, out.size() + pages.size());
  SetU64(out, 72, static_cast<std::uint64_t>(s.builtNs));
  SetU32(out, 80, Crc(std::string_view(out.data(), 80)));
  return out;
}

bool SegmentBuilder::Write(const fs::path& file) {
  std::string pages;
  const std::string head = Encode(pages);
  return WriteFileThrough(file, [&](int fd) {
    return WriteAll(fd, head.data(), head.size()) && WriteAll(fd, pages.data(), pages.size());
  });
}

// ---------------------------------------------------------------- rebuilding

bool UpdateDiscIndex(const fs::path& catalogueFolder, std::string_view number) {
  const fs::path list = ListFilePath(catalogueFolder, number);
  const fs::path own = catalogueFolder / (std::string(number) + kIndexExtension);
  std::optional<ListStamp> stamp = StampOf(list);
  if (!stamp) return RemoveFile(own);
  const std::int64_t nowNs = NowNs();
  if (stamp->modifiedNs > nowNs - kRacyNs) {
    const std::int64_t back = nowNs - kRacyNs - 1000000000;
    const timespec times[2] = {{0, UTIME_OMIT}, {back / 1000000000, back % 1000000000}};
    // Only the time changes, not a byte: no change the fault tests count.
    if (::utimensat(AT_FDCWD, list.c_str(), times, 0) != 0) return false;
    stamp = StampOf(list);
    if (!stamp) return RemoveFile(own);
  }
  SegmentBuilder builder;
  try {
    ReadBuffer buffer(std::size_t{128} << 10);
    (void)builder.AddList(list, std::string(number), *stamp, buffer);
  } catch (const std::exception&) {
    (void)RemoveFile(own);
    return false;
  }
  if (!builder.Write(own)) return false;
  CompactSearchIndex(catalogueFolder);
  return true;
}

namespace {

// Writes segments of the discs numbers (each "N", its list "N.Ct" in the
// folder) in that order, a segment each time the one being built holds
// about budget bytes, to the files nameOf(1), nameOf(2)...; returns those
// written, nothing when events stopped it (those written then go). Throws
// Failure naming the file when a segment cannot be written or a list read.
std::optional<std::vector<fs::path>> WriteSegments(const fs::path& catalogueFolder,
                                                   const std::vector<std::string>& numbers,
                                                   const std::function<fs::path(int)>& nameOf,
                                                   std::size_t budget,
                                                   const RebuildEvents& events) {
  std::uint64_t total = 0, done = 0;
  if (events.progress)
    for (const std::string& number : numbers)
      if (const std::optional<ListStamp> stamp = StampOf(ListFilePath(catalogueFolder, number)))
        total += stamp->size;
  std::vector<fs::path> written;
  auto builder = std::make_unique<SegmentBuilder>();
  const auto writeSegment = [&] {
    if (builder->Empty()) return;
    const fs::path file = nameOf(static_cast<int>(written.size()) + 1);
    if (!builder->Write(file))
      throw Failure("ErrorEscribirIndice", "No se puede escribir el \xEDndice de b\xFAsqueda", file,
                    errno);
    written.push_back(file);
    builder = std::make_unique<SegmentBuilder>();
  };
  const auto removeWritten = [&] {
    for (const fs::path& file : written) (void)RemoveFile(file);
  };
  ReadBuffer buffer(std::size_t{128} << 10);
  try {
    for (const std::string& number : numbers) {
      const fs::path file = ListFilePath(catalogueFolder, number);
      const std::optional<ListStamp> stamp = StampOf(file);
      if (!stamp) continue;  // gone meanwhile
      const std::optional<std::uint64_t> read =
          builder->AddList(file, number, *stamp, buffer, [&](std::uint64_t bytes) {
            if (events.stopped && events.stopped()) return false;
            if (events.progress) events.progress(done + bytes, total);
            return true;
          });
      if (!read) {
        removeWritten();
        return std::nullopt;
      }
      done += *read;
      if (builder->MemoryBytes() >= budget) writeSegment();
    }
    writeSegment();
  } catch (...) {
    removeWritten();
    throw;
  }
  return written;
}

// K of "Indice-K.Tri"; nothing for any other name.
std::optional<int> GroupNumber(const std::string& name) {
  const std::string prefix = "Indice-";
  if (name.rfind(prefix, 0) != 0 || name.size() <= prefix.size() + 4) return std::nullopt;
  const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
  if (digits.empty() || digits.size() > 6 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return std::stoi(digits);
}

}  // namespace

RebuildOutcome RebuildSearchIndex(const fs::path& catalogueFolder, const RebuildEvents& events,
                                  std::size_t budget) {
  std::vector<std::string> numbers;
  for (const std::string& name : ListFiles(catalogueFolder, "*.Ct"))
    numbers.push_back(DiscNumberOfFile(name));
  // New segments go under names no old one holds, until the rebuild is whole.
  const std::vector<std::string> old =
      ListFiles(catalogueFolder, std::string("*") + kIndexExtension);
  const std::optional<std::vector<fs::path>> written = WriteSegments(
      catalogueFolder, numbers,
      [&](int k) { return catalogueFolder / ("Nuevo-" + GroupSegmentName(k)); }, budget, events);
  if (!written) return RebuildOutcome::kStopped;
  // The new segments take the place of every old one.
  for (const std::string& name : old) (void)RemoveFile(catalogueFolder / name);
  for (std::size_t k = 1; k <= written->size(); ++k)
    if (!RenameFile((*written)[k - 1], catalogueFolder / GroupSegmentName(static_cast<int>(k)),
                    k == written->size()))
      throw Failure("ErrorEscribirIndice", "No se puede escribir el \xEDndice de b\xFAsqueda",
                    catalogueFolder / GroupSegmentName(static_cast<int>(k)), errno);
  return RebuildOutcome::kDone;
}

void CompactSearchIndex(const fs::path& catalogueFolder, const CompactionLimits& limits) {
  struct Group {
    fs::path file;
    std::uint64_t bytes = 0;
    std::vector<SegmentDisc> discs;
  };
  std::vector<std::string> loose;  // disc numbers
  std::vector<Group> groups;
  int lastGroup = 0;
  for (const std::string& name : ListFiles(catalogueFolder, std::string("*") + kIndexExtension)) {
    const fs::path file = catalogueFolder / name;
    if (const std::optional<int> k = GroupNumber(name)) {
      lastGroup = std::max(lastGroup, *k);
      groups.push_back({file, 0, {}});
    } else if (name.rfind("Nuevo-", 0) == 0) {
      (void)RemoveFile(file);  // left by a rebuild that ended early: the lock says none runs
    } else {
      // A disc's own segment goes with its list.
      const std::string number = name.substr(0, name.size() - 4);
      if (fs::exists(ListFilePath(catalogueFolder, number)))
        loose.push_back(number);
      else
        (void)RemoveFile(file);
    }
  }
  const auto nextGroup = [&](int k) { return catalogueFolder / GroupSegmentName(lastGroup + k); };
  try {
    if (static_cast<int>(loose.size()) >= limits.looseSegments) {
      const std::optional<std::vector<fs::path>> written =
          WriteSegments(catalogueFolder, loose, nextGroup, kSegmentBudget, {});
      if (!written) return;
      lastGroup += static_cast<int>(written->size());
      for (const std::string& number : loose)
        (void)RemoveFile(catalogueFolder / (number + kIndexExtension));
      for (const fs::path& file : *written) groups.push_back({file, 0, {}});
      loose.clear();
    }
    if (static_cast<int>(groups.size()) <= limits.groups) return;
    // The smallest groups are merged into one, their discs read again from
    // their lists, but for discs a group that stays or a disc's own segment
    // covers.
    for (Group& group : groups) {
      const FileDescriptor fd = FileDescriptor::Open(group.file, O_RDONLY | O_CLOEXEC);
      std::optional<SegmentHead> head = fd.valid() ? ReadSegmentHead(fd.get()) : std::nullopt;
      if (!head) continue;  // damaged: merged away, its discs read again only if listed elsewhere
      group.bytes = head->fileLength;
      group.discs = std::move(head->discs);
    }
    std::sort(groups.begin(), groups.end(),
              [](const Group& a, const Group& b) { return a.bytes < b.bytes; });
    const std::size_t merged = groups.size() - static_cast<std::size_t>(limits.groups) / 2;
    std::set<std::string> covered(loose.begin(), loose.end()), discs;
    for (std::size_t g = merged; g < groups.size(); ++g)
      for (const SegmentDisc& disc : groups[g].discs)
        if (StampOf(ListFilePath(catalogueFolder, disc.name)) == disc.stamp)
          covered.insert(disc.name);
    for (std::size_t g = 0; g < merged; ++g)
      for (const SegmentDisc& disc : groups[g].discs)
        if (covered.count(disc.name) == 0 && fs::exists(ListFilePath(catalogueFolder, disc.name)))
          discs.insert(disc.name);
    std::vector<std::string> numbers(discs.begin(), discs.end());
    std::sort(numbers.begin(), numbers.end(), [](const std::string& a, const std::string& b) {
      return CompareNamesNoCase(a, b) < 0;
    });
    const std::optional<std::vector<fs::path>> written =
        WriteSegments(catalogueFolder, numbers, nextGroup, kSegmentBudget, {});
    if (!written) return;
    for (std::size_t g = 0; g < merged; ++g) (void)RemoveFile(groups[g].file);
  } catch (const std::exception&) {
    // Left as it was: more files only make searches a little slower.
  }
}

}  // namespace zafirel
