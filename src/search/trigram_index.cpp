#include "search/trigram_index.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>

#include "store/search_index_format.h"
#include "util/file_handle.h"

namespace zafirel {
namespace fs = std::filesystem;
using namespace segment_format;

namespace {

// Whether any of blocks [first, end) is in set.
bool AnyIn(const BlockSet& set, std::uint32_t first, std::uint32_t end) {
  for (std::uint32_t block = first; block < end;) {
    const std::uint32_t bit = block % 64, stop = std::min<std::uint32_t>(end - block + bit, 64);
    const std::uint64_t mask = (stop == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << stop) - 1) &
                               (~std::uint64_t{0} << bit);
    if ((set[block / 64] & mask) != 0) return true;
    block += stop - bit;
  }
  return false;
}

}  // namespace

struct SearchIndex::Segment {
  struct Disc {
    ListStamp stamp;
    std::uint32_t firstBlock = 0, blockCount = 0;
    std::uint32_t endsCheck = 0;  // of its block ends
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
  std::uint64_t blocksAt = 0;
  // The block ends of the discs asked about, read and checked once.
  std::unordered_map<std::uint32_t, std::vector<std::uint64_t>> blockEnds;
  std::vector<Page> pages;
  std::uint64_t indexedBytes = 0;
  // The plan of the current search: the blocks that can hold a hit; none
  // at all when the segment cannot be read.
  BlockSet candidates;
  bool usable = true;

  // Reads and checks everything but the pages; false when anything is amiss.
  bool Open(const fs::path& file);
  // The ends of a disc's blocks, checked; nothing when they are amiss.
  const std::vector<std::uint64_t>* EndsOf(const Disc& disc);
  // The blocks holding every trigram; all blocks for no trigram.
  std::optional<BlockSet> Holding(const std::vector<std::uint32_t>& trigrams);

 private:
  std::optional<std::string> Read(std::uint64_t offset, std::uint64_t length) const;
  // The page last read and checked (its bytes but the check), by its place
  // in the page table; the buffer only grows, so pages cost no fresh memory.
  std::string pageBuffer_;
  std::string_view page_;
  std::optional<std::size_t> pageAt_;
  // The posting of trigram, which page holds if any segment does; empty
  // when the page does not hold it, nothing when the page is amiss.
  std::optional<std::string_view> PostingIn(std::size_t page, std::uint32_t trigram);
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
  if (!fd.valid()) return false;
  std::optional<SegmentHead> head = ReadSegmentHead(fd.get());
  if (!head) return false;
  fileLength = head->fileLength;
  blockCount = head->blockCount;
  blocksAt = head->blocksAt;
  pagesAt = head->pagesAt;
  for (SegmentDisc& disc : head->discs) {
    indexedBytes += disc.stamp.size;
    // A list changed just before the building began may have changed again
    // without its stamp telling.
    if (disc.stamp.modifiedNs <= head->builtNs - kRacyNs)
      discs[disc.name] = Disc{disc.stamp, disc.firstBlock, disc.blockCount, disc.endsCheck};
  }
  const std::optional<std::string> indexBytes =
      Read(head->pageIndexAt, head->pagesAt - head->pageIndexAt);
  const std::optional<std::string_view> pageTable = Checked(indexBytes);
  if (!pageTable || pageTable->size() != head->pageCount * 16) return false;
  Cursor p(*pageTable);
  pages.resize(static_cast<std::size_t>(head->pageCount));
  for (std::size_t i = 0; i < pages.size(); ++i) {
    pages[i].first = static_cast<std::uint32_t>(p.Fixed(4));
    pages[i].offset = p.Fixed(8);
    pages[i].length = static_cast<std::uint32_t>(p.Fixed(4));
    if (i > 0 && pages[i].first <= pages[i - 1].first) return false;
  }
  return true;
}

const std::vector<std::uint64_t>* SearchIndex::Segment::EndsOf(const Disc& disc) {
  const auto known = blockEnds.find(disc.firstBlock);
  if (known != blockEnds.end()) return &known->second;
  const std::optional<std::string> bytes =
      Read(blocksAt + std::uint64_t{disc.firstBlock} * 8, std::uint64_t{disc.blockCount} * 8);
  if (!bytes || Crc(*bytes) != disc.endsCheck) return nullptr;
  // Each block ends after the last, and the last at the end of the list.
  std::vector<std::uint64_t> ends(disc.blockCount);
  Cursor c(*bytes);
  std::uint64_t before = 0;
  for (std::uint64_t& end : ends) {
    end = c.Fixed(8);
    if (end <= before) return nullptr;
    before = end;
  }
  if (before != disc.stamp.size) return nullptr;
  return &blockEnds.emplace(disc.firstBlock, std::move(ends)).first->second;
}

std::optional<std::string_view> SearchIndex::Segment::PostingIn(std::size_t index,
                                                                std::uint32_t trigram) {
  if (pageAt_ != index) {
    pageAt_.reset();
    const Page& page = pages[index];
    if (page.offset > fileLength - pagesAt || page.length > fileLength - pagesAt - page.offset ||
        page.length < 4)
      return std::nullopt;
    if (pageBuffer_.size() < page.length) pageBuffer_.resize(page.length);
    const ssize_t got =
        ReadAtOffset(fd.get(), pagesAt + page.offset, pageBuffer_.data(), page.length);
    if (got != static_cast<ssize_t>(page.length)) return std::nullopt;
    page_ = std::string_view(pageBuffer_.data(), page.length - 4);
    Cursor check(std::string_view(pageBuffer_.data() + page_.size(), 4));
    if (check.Fixed(4) != Crc(page_)) return std::nullopt;
    pageAt_ = index;
  }
  // The entries give each trigram's gap and posting length; the postings
  // follow them in the same order.
  Cursor c(page_);
  const std::uint64_t count = c.Varint();
  std::uint64_t at = pages[index].first, skipped = 0, length = 0, total = 0;
  bool found = false;
  for (std::uint64_t i = 0; i < count && !c.failed(); ++i) {
    at += c.Varint();
    const std::uint64_t n = c.Varint();
    if (at == trigram && !found) {
      found = true;
      length = n;
    } else if (!found) {
      skipped += n;
    }
    total += n;
    if (at > 0xFFFFFF || n > c.left()) return std::nullopt;
  }
  // The postings fill the rest of the page exactly.
  if (c.failed() || total != c.left()) return std::nullopt;
  if (!found) return std::string_view();
  c.Take(static_cast<std::size_t>(skipped));
  const std::string_view posting = c.Take(static_cast<std::size_t>(length));
  if (c.failed() || posting.empty()) return std::nullopt;
  return posting;
}

std::optional<BlockSet> SearchIndex::Segment::Holding(const std::vector<std::uint32_t>& trigrams) {
  const std::size_t words = (blockCount + 63) / 64;
  std::optional<BlockSet> result;
  for (const std::uint32_t trigram : trigrams) {
    BlockSet holding(words, 0);
    const auto after = std::upper_bound(pages.begin(), pages.end(), trigram,
                                        [](std::uint32_t t, const Page& p) { return t < p.first; });
    if (after != pages.begin()) {
      const std::optional<std::string_view> posting =
          PostingIn(static_cast<std::size_t>(after - pages.begin() - 1), trigram);
      if (!posting) {
        usable = false;
        return std::nullopt;
      }
      if (!posting->empty()) {
        Cursor c(*posting);
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
          // Block k is bit k % 64 of word k / 64 read as little-endian.
          const std::string_view bits = c.Take((blockCount + 7) / 8);
          for (std::size_t byte = 0; byte < bits.size(); byte += 8) {
            unsigned char word[8] = {};
            std::memcpy(word, bits.data() + byte, std::min<std::size_t>(8, bits.size() - byte));
            std::uint64_t value = 0;
            for (int k = 7; k >= 0; --k) value = value << 8 | word[k];
            holding[byte / 8] |= value;
          }
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
    // The bytes ruled in, taking every block as long as the average.
    std::uint64_t ruledIn = 0;
    for (const std::uint64_t word : segment->candidates) ruledIn += std::popcount(word);
    total += segment->indexedBytes;
    if (segment->blockCount > 0) candidate += segment->indexedBytes * ruledIn / segment->blockCount;
  }
  // Most bytes read anyway: reading them in order is faster than in pieces.
  planned_ = total > 0 && candidate * 2 <= total;
  return planned_;
}

ReadPlan SearchIndex::PlanFor(const std::string& name, const std::optional<ListStamp>& stamp) {
  ReadPlan plan;
  if (!planned_ || !stamp) return plan;
  for (const auto& segment : segments_) {
    if (!segment->usable) continue;
    const auto found = segment->discs.find(name);
    if (found == segment->discs.end() || !(found->second.stamp == *stamp)) continue;
    const Segment::Disc& disc = found->second;
    if (!AnyIn(segment->candidates, disc.firstBlock, disc.firstBlock + disc.blockCount)) {
      plan.kind = ReadPlan::Kind::kNothing;
      return plan;
    }
    const std::vector<std::uint64_t>* ends = segment->EndsOf(disc);
    if (ends == nullptr) return plan;  // damaged: the disc is read whole
    std::uint64_t begin = 0;
    for (std::uint32_t k = 0; k < disc.blockCount; ++k) {
      const std::uint32_t block = disc.firstBlock + k;
      const std::uint64_t end = (*ends)[k];
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
