#include "store/search_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

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

struct SegmentBuilder::State {
  struct Disc {
    std::string name;
    ListStamp stamp;
    std::uint32_t firstBlock = 0, blockCount = 0;
  };
  // A trigram's blocks so far: the gaps as they will be written.
  struct Posting {
    std::string gaps;
    std::uint32_t trigram = 0, count = 0, last = 0;
  };
  std::vector<Disc> discs;
  std::vector<std::uint64_t> blockEnds;  // within each block's own file list
  std::vector<Posting> postings;
  // Where each trigram's posting is: open addressing on the trigram, a slot
  // holding the trigram plus one (0 for none) and its posting's index.
  std::vector<std::uint64_t> slots = std::vector<std::uint64_t>(std::size_t{1} << 14, 0);
  std::size_t postingBytes = 0;
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

  Posting& PostingOf(std::uint32_t trigram) {
    const std::size_t mask = slots.size() - 1;
    std::size_t at = (trigram * 0x9E3779B1u) & mask;
    while (slots[at] != 0 && static_cast<std::uint32_t>(slots[at]) != trigram + 1)
      at = (at + 1) & mask;
    if (slots[at] != 0) return postings[slots[at] >> 32];
    slots[at] = static_cast<std::uint64_t>(postings.size()) << 32 | (trigram + 1);
    postings.push_back({{}, trigram, 0, 0});
    if (postings.size() * 2 > slots.size()) Grow();
    return postings.back();
  }
  void Grow() {
    std::vector<std::uint64_t> old(slots.size() * 2, 0);
    old.swap(slots);
    const std::size_t mask = slots.size() - 1;
    for (const std::uint64_t slot : old) {
      if (slot == 0) continue;
      std::size_t at = ((static_cast<std::uint32_t>(slot) - 1) * 0x9E3779B1u) & mask;
      while (slots[at] != 0) at = (at + 1) & mask;
      slots[at] = slot;
    }
  }

  void CloseBlock() {
    const auto block = static_cast<std::uint32_t>(blockEnds.size());
    for (const std::uint32_t trigram : seen) {
      seenBits[trigram / 64] &= ~(std::uint64_t{1} << (trigram % 64));
      Posting& posting = PostingOf(trigram);
      const std::uint32_t gap = posting.count == 0 ? block : block - posting.last - 1;
      const std::size_t before = posting.gaps.size();
      if (gap < 0x80)
        posting.gaps.push_back(static_cast<char>(gap));
      else
        PutVarint(posting.gaps, gap);
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

SegmentBuilder::SegmentBuilder() : state_(std::make_unique<State>()) { state_->builtNs = NowNs(); }
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
  return state_->postingBytes + state_->postings.size() * 64 + state_->blockEnds.size() * 8;
}

bool SegmentBuilder::Empty() const { return state_->discs.empty(); }

std::string SegmentBuilder::Encode() const {
  State& s = *state_;
  const auto blockCount = static_cast<std::uint32_t>(s.blockEnds.size());
  const std::size_t bitmapBytes = (blockCount + 7) / 8;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> trigrams;  // and their postings
  trigrams.reserve(s.postings.size());
  for (std::size_t i = 0; i < s.postings.size(); ++i)
    trigrams.emplace_back(s.postings[i].trigram, static_cast<std::uint32_t>(i));
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
  for (const auto& [trigram, index] : trigrams) {
    const State::Posting& list = s.postings[index];
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
  return WriteFileAtomically(own, builder.Encode());
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
