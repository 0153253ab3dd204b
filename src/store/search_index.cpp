#include "store/search_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cstring>
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
    std::uint64_t at = 0;         // in postingBytes
    std::uint64_t length = 0;
  };
  std::vector<Disc> discs;
  std::vector<std::uint64_t> blockEnds;  // within each block's own file list
  // The postings so far, in trigram order, their bytes one after another.
  std::vector<Posting> postings;
  std::string postingBytes;
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
    std::vector<Posting> merged;
    merged.reserve(postings.size() + postings.size() / 4 + 1024);
    std::string bytes;
    bytes.reserve(postingBytes.size() + partBytes / 2);
    std::size_t next = 0;
    const auto keep = [&](Posting h) {
      const std::size_t at = bytes.size();
      bytes.append(postingBytes, h.at, h.length);
      h.at = at;
      merged.push_back(h);
    };
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
      // starts[low] now ends low's blocks.
      std::uint32_t begin = 0;
      for (std::uint32_t low = 0; low < starts.size(); begin = starts[low++]) {
        if (starts[low] == begin) continue;
        const std::uint32_t trigram = static_cast<std::uint32_t>(part) << 16 | low;
        while (next < postings.size() && postings[next].trigram < trigram) keep(postings[next++]);
        Posting h;
        h.trigram = trigram;
        if (next < postings.size() && postings[next].trigram == trigram) {
          keep(postings[next++]);
          h = merged.back();
          merged.pop_back();
        } else {
          h.at = bytes.size();
        }
        Append(h, bytes, blocks.data() + begin, starts[low] - begin, blocksSoFar);
        merged.push_back(h);
      }
    }
    while (next < postings.size()) keep(postings[next++]);
    postings.swap(merged);
    postingBytes.swap(bytes);
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
  std::size_t bytes = s.blockEnds.capacity() * 8 + s.seenBits.size() * 8 +
                      s.postings.capacity() * sizeof(State::Posting) + s.postingBytes.capacity();
  for (const std::string& part : s.parts) bytes += part.capacity();
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
  for (const State::Posting& h : s.postings) {
    const std::string_view bytes = std::string_view(s.postingBytes).substr(h.at, h.length);
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
  closePage();
  std::vector<State::Posting>().swap(s.postings);
  std::string().swap(s.postingBytes);
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
  return builder.Write(own);
}

RebuildOutcome RebuildSearchIndex(const fs::path& catalogueFolder, const RebuildEvents& events,
                                  std::size_t budget) {
  const std::vector<std::string> lists = ListFiles(catalogueFolder, "*.Ct");
  std::uint64_t total = 0, done = 0;
  for (const std::string& name : lists)
    if (const std::optional<ListStamp> stamp = StampOf(catalogueFolder / name))
      total += stamp->size;
  // New segments go under names no old one holds, until the rebuild is whole.
  const std::vector<std::string> old =
      ListFiles(catalogueFolder, std::string("*") + kIndexExtension);
  const std::string prefix = "Nuevo-";
  int written = 0;
  auto builder = std::make_unique<SegmentBuilder>();
  const auto writeSegment = [&] {
    if (builder->Empty()) return;
    const fs::path file = catalogueFolder / (prefix + GroupSegmentName(++written));
    if (!builder->Write(file))
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
      const std::optional<std::uint64_t> read =
          builder->AddList(file, DiscNumberOfFile(name), *stamp, buffer, [&](std::uint64_t bytes) {
            if (events.stopped && events.stopped()) return false;
            if (events.progress) events.progress(done + bytes, total);
            return true;
          });
      if (!read) {
        removeNew();
        return RebuildOutcome::kStopped;
      }
      done += *read;
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

}  // namespace zafirel
