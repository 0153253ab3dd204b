#include "search/duplicates.h"

#define XXH_INLINE_ALL
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <queue>
#include <tuple>
#include <unordered_map>

#include "search/catalogue_search.h"
#include "store/catalogue_files.h"
#include "util/failure.h"
#include "util/file_handle.h"
#include "util/piece_reader.h"
#include "util/text.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kPieceBytes = std::size_t{128} << 10;
constexpr int kProbes = 3;                          // bits per key in the filter
constexpr std::uint64_t kMaxFilterBits = 1u << 30;  // 128 MB, half for "seen", half for "twice"
constexpr std::uint64_t kNoKey = 0;                 // no hash: every key's has its low bit set
constexpr std::size_t kHashChunk = std::size_t{1} << 20;

struct Disc {
  std::string number;  // the file's number
  const DiscFacts* facts = nullptr;
  fs::path file;
  std::uint64_t bytes = 0;
};

// What a line is matched on, taken apart.
struct LineKey {
  std::string_view path, name, date;
  std::uint64_t kilobytes = 0;
};

std::optional<LineKey> KeyOf(std::string_view line) {
  LineKey key;
  const std::size_t pathEnd = line.find(';');
  if (pathEnd == std::string_view::npos) return std::nullopt;
  key.path = line.substr(0, pathEnd);
  const std::size_t slash = key.path.rfind('\\');
  key.name = key.path.substr(slash == std::string_view::npos ? 0 : slash + 1);
  if (key.name.empty()) return std::nullopt;
  const char* at = line.data() + pathEnd + 1;
  const char* const end = line.data() + line.size();
  const char* const sizeEnd =
      static_cast<const char*>(std::memchr(at, ';', static_cast<std::size_t>(end - at)));
  const auto [parsed, error] = std::from_chars(at, sizeEnd ? sizeEnd : end, key.kilobytes);
  if (error != std::errc{} || parsed != (sizeEnd ? sizeEnd : end) || parsed == at)
    return std::nullopt;
  if (sizeEnd != nullptr) {
    const char* const dateEnd = static_cast<const char*>(
        std::memchr(sizeEnd + 1, ';', static_cast<std::size_t>(end - sizeEnd - 1)));
    key.date = std::string_view(sizeEnd + 1,
                                static_cast<std::size_t>((dateEnd ? dateEnd : end) - sizeEnd - 1));
  }
  return key;
}

// The exact key: the name in capitals, then what else is matched.
void ExactKey(const LineKey& key, DuplicateMatch match, std::string& out) {
  const std::string size =
      match == DuplicateMatch::kName ? std::string() : std::to_string(key.kilobytes);
  out.resize(key.name.size() + (match == DuplicateMatch::kName ? 0 : 1 + size.size()) +
             (match == DuplicateMatch::kNameSizeDate ? 1 + key.date.size() : 0));
  char* to = out.data();
  for (char c : key.name) *to++ = UpperAnsiChar(c);
  if (match == DuplicateMatch::kName) return;
  *to++ = ';';
  to = std::copy(size.begin(), size.end(), to);
  if (match == DuplicateMatch::kNameSize) return;
  *to++ = ';';
  std::copy(key.date.begin(), key.date.end(), to);
}

// The keys met once and the keys met twice, in bits: each key owns one
// 64-byte block, a cache line, whose first half says "seen" and second half
// "twice" with kProbes bits each, so a line costs one miss of the cache.
class KeyFilter {
 public:
  explicit KeyFilter(std::uint64_t bits) : mask_(bits / 512 - 1) {
    // In huge pages where the system gives them: the blocks are met at random.
    const std::size_t size = static_cast<std::size_t>(bits / 8);
    void* memory = std::aligned_alloc(kHugePage, (size + kHugePage - 1) / kHugePage * kHugePage);
    if (memory == nullptr) throw std::bad_alloc();
    ::madvise(memory, size, MADV_HUGEPAGE);
    std::memset(memory, 0, size);
    blocks_.reset(static_cast<Block*>(memory));
  }
  void Prefetch(std::uint64_t hash) const { __builtin_prefetch(&blocks_[hash & mask_]); }
  // Marks the key seen, or twice when it was seen.
  void Meet(std::uint64_t hash) {
    Block& block = blocks_[hash & mask_];
    if (Has(block, 0, hash))
      Set(block, 4, hash);
    else
      Set(block, 0, hash);
  }
  bool Twice(std::uint64_t hash) const { return Has(blocks_[hash & mask_], 4, hash); }

 private:
  struct alignas(64) Block {
    std::uint64_t words[8] = {};
  };
  // The probes take 8 bits each from the hash's high half: a bit of 256.
  static bool Has(const Block& block, int half, std::uint64_t hash) {
    for (int i = 0; i < kProbes; ++i) {
      const unsigned bit = (hash >> (32 + 8 * i)) & 0xFF;
      if ((block.words[half + bit / 64] >> (bit % 64) & 1) == 0) return false;
    }
    return true;
  }
  static void Set(Block& block, int half, std::uint64_t hash) {
    for (int i = 0; i < kProbes; ++i) {
      const unsigned bit = (hash >> (32 + 8 * i)) & 0xFF;
      block.words[half + bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
  }
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;
  struct Free {
    void operator()(Block* blocks) const { std::free(blocks); }
  };
  std::unique_ptr<Block[], Free> blocks_;
  std::uint64_t mask_;
};

// An unnamed file in a folder, for what does not fit in memory: it goes
// with its descriptor, whatever ends the program.
FileDescriptor AnonymousFile(const fs::path& folder) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::string pattern = (folder / "Repetidos-XXXXXX").string();
    fd = ::mkstemp(pattern.data());
    if (fd >= 0) ::unlink(pattern.c_str());
  }
  if (fd < 0)
    throw Failure("ErrorArchivoTemporal", "No se puede escribir un archivo temporal", folder,
                  errno);
  return FileDescriptor(fd);
}

void PutU32(std::string& out, std::uint32_t value) {
  const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                         static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
  out.append(bytes, 4);
}
std::uint32_t GetU32(std::string_view in, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(in[at + i]);
  return value;
}
void PutU64(std::string& out, std::uint64_t value) {
  PutU32(out, static_cast<std::uint32_t>(value));
  PutU32(out, static_cast<std::uint32_t>(value >> 32));
}
std::uint64_t GetU64(std::string_view in, std::size_t at) {
  return GetU32(in, at) | std::uint64_t{GetU32(in, at + 4)} << 32;
}
// A length, then the text.
void PutText(std::string& out, std::string_view text) {
  PutU32(out, static_cast<std::uint32_t>(text.size()));
  out += text;
}
std::string_view GetText(std::string_view in, std::size_t at) {
  return in.substr(at + 4, GetU32(in, at));
}

// Appends to an unnamed file through a buffer; reads it back whole or in
// order.
class SpillFile {
 public:
  explicit SpillFile(const fs::path& folder) : folder_(folder), fd_(AnonymousFile(folder)) {
    buffer_.reserve(kFlushBytes + (kFlushBytes >> 2));
  }
  std::string& Buffer() { return buffer_; }
  void FlushIfFull() {
    if (buffer_.size() >= kFlushBytes) Flush();
  }
  void Flush() {
    if (buffer_.empty()) return;
    if (!WriteAll(fd_.get(), buffer_.data(), buffer_.size()))
      throw Failure("ErrorArchivoTemporal", "No se puede escribir un archivo temporal", folder_,
                    errno);
    written_ += buffer_.size();
    buffer_.clear();  // its room stays for the next pieces
  }
  std::uint64_t Size() const { return written_ + buffer_.size(); }
  // size bytes from offset (fewer at the end).
  std::string Read(std::uint64_t offset, std::size_t size) const {
    std::string bytes(size, '\0');
    const ssize_t got = ReadAtOffset(fd_.get(), offset, bytes.data(), size);
    if (got < 0)
      throw Failure("ErrorArchivoTemporal", "No se puede leer un archivo temporal", folder_, errno);
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
  }

 private:
  static constexpr std::size_t kFlushBytes = std::size_t{64} << 10;
  fs::path folder_;
  FileDescriptor fd_;
  std::string buffer_;
  std::uint64_t written_ = 0;
};

// The order of the groups: largest first (the complement of the largest
// copy's kilobytes), then by name in capitals, then by the first copy's size
// and date.
using GroupOrder = std::tuple<std::uint64_t, std::string, std::uint64_t, std::string>;

// One part's groups, in order, read back one group at a time.
class RunReader {
 public:
  explicit RunReader(const SpillFile& file) : file_(file) {}
  // The next group's bytes; empty at the end.
  std::string_view Next() {
    if (!Have(4)) return {};
    const std::uint32_t size = GetU32(buffer_, at_);
    if (!Have(4 + std::size_t{size})) return {};
    const std::string_view group = std::string_view(buffer_).substr(at_ + 4, size);
    at_ += 4 + std::size_t{size};
    return group;
  }

 private:
  bool Have(std::size_t bytes) {
    if (buffer_.size() - at_ >= bytes) return true;
    buffer_.erase(0, at_);
    at_ = 0;
    const std::size_t wanted = std::max(bytes - buffer_.size(), kChunk);
    buffer_ += file_.Read(offset_, wanted);
    offset_ += wanted;
    return buffer_.size() >= bytes;
  }
  static constexpr std::size_t kChunk = std::size_t{256} << 10;
  const SpillFile& file_;
  std::string buffer_;
  std::size_t at_ = 0;
  std::uint64_t offset_ = 0;
};

class Finder {
 public:
  Finder(const fs::path& tempFolder, const DuplicateOptions& options, const DuplicateEvents& events)
      : tempFolder_(tempFolder), options_(options), events_(events), buffer_(kPieceBytes) {}

  bool Run(std::vector<Disc> discs, const std::function<bool(const DuplicateGroup&)>& visit) {
    discs_ = std::move(discs);
    std::uint64_t bytes = 0;
    for (const Disc& disc : discs_) bytes += disc.bytes;
    total_ = 2 * bytes;
    // About one line in 40 bytes; sixteen bits a line (eight "seen", eight
    // "twice") keep strangers to a few in a hundred.
    std::uint64_t bits = 1u << 20;
    while (bits < kMaxFilterBits && bits < bytes / 40 * 16) bits *= 2;
    // Parts of at most about partBytes of lines each, however many lines are copies.
    const std::size_t parts = static_cast<std::size_t>(std::clamp<std::uint64_t>(
        bytes / std::max<std::uint64_t>(options_.partBytes, 1) + 1, 1, 256));
    std::vector<SpillFile> spilled;
    {
      KeyFilter keys(bits);
      // Each line's hash is kept for the second pass, which then reads only
      // where lines end and takes apart the lines of keys met twice.
      SpillFile hashes(tempFolder_);
      if (!EachKey(keys, [&](std::uint64_t hash, std::string_view, std::uint32_t) {
            if (hash != kNoKey) keys.Meet(hash);
            PutU64(hashes.Buffer(), hash);
            hashes.FlushIfFull();
          }))
        return false;
      hashes.Flush();
      for (std::size_t p = 0; p < parts; ++p) spilled.emplace_back(tempFolder_);
      if (!EachMarked(keys, hashes,
                      [&](std::uint64_t hash, std::string_view line, std::uint32_t disc) {
                        SpillFile& part = spilled[(hash >> 56) % parts];
                        std::string& out = part.Buffer();
                        PutU64(out, hash);
                        PutU32(out, disc);
                        PutText(out, line);
                        part.FlushIfFull();
                      }))
        return false;
    }
    std::vector<SpillFile> runs;
    for (SpillFile& part : spilled) {
      part.Flush();
      runs.emplace_back(tempFolder_);
      GroupPart(part, runs.back());
      runs.back().Flush();
      part = SpillFile(tempFolder_);  // the part's file goes
      if (events_.cancelled && events_.cancelled()) return false;
    }
    return Merge(runs, visit);
  }

 private:
  // Calls visit(hash, line, disc) for each line that is not empty, the
  // line cut after its date, the hash kNoKey for a line out of scope or
  // without a key; false when cancelled. The lines go in batches whose filter
  // blocks are fetched ahead, so the misses of the cache overlap.
  template <typename Visit>
  bool EachKey(const KeyFilter& keys, Visit visit) {
    std::string exact;
    return EachLine(
        [&](std::string_view line, auto&& keep) {
          if (options_.scope.JudgesLines() && !options_.scope.KeepsLine(line))
            return keep(kNoKey, line);
          const std::optional<LineKey> key = KeyOf(line);
          if (!key) return keep(kNoKey, line);
          ExactKey(*key, options_.match, exact);
          const std::size_t kept =
              static_cast<std::size_t>(key->date.data() + key->date.size() - line.data());
          const std::uint64_t hash = XXH3_64bits(exact.data(), exact.size()) | 1;
          keys.Prefetch(hash);
          keep(hash, line.substr(0, kept));
        },
        visit);
  }

  // The second pass: visit(hash, line, disc) for each line whose key was met
  // twice, the line cut after its date, with the hashes the first pass kept.
  template <typename Visit>
  bool EachMarked(const KeyFilter& keys, const SpillFile& hashes, Visit visit) {
    std::string chunk;
    std::size_t at = 0;
    std::uint64_t offset = 0;
    const auto nextHash = [&] {
      if (at + 8 > chunk.size()) {
        chunk = hashes.Read(offset, kHashChunk);
        offset += chunk.size();
        at = 0;
        if (chunk.size() < 8) return kNoKey;  // a shorter file than the lines: nothing more
      }
      const std::uint64_t hash = GetU64(chunk, at);
      at += 8;
      return hash;
    };
    return EachLine(
        [&](std::string_view line, auto&& keep) {
          const std::uint64_t hash = nextHash();
          if (hash == kNoKey) return;
          keys.Prefetch(hash);
          keep(hash, line);
        },
        [&](std::uint64_t hash, std::string_view line, std::uint32_t disc) {
          if (!keys.Twice(hash)) return;
          const std::optional<LineKey> key = KeyOf(line);
          if (!key) return;
          const std::size_t kept =
              static_cast<std::size_t>(key->date.data() + key->date.size() - line.data());
          visit(hash, line.substr(0, kept), disc);
        });
  }

  // Reads every line that is not empty of every disc in order; take(line,
  // keep) calls keep(hash, line) for the lines visit(hash, line, disc) is to
  // get, which it gets a batch at a time.
  template <typename Take, typename Visit>
  bool EachLine(Take take, Visit visit) {
    struct Pending {
      std::uint64_t hash;
      std::string_view line;
    };
    constexpr std::size_t kBatch = 32;
    Pending batch[kBatch];
    std::size_t pending = 0;
    for (std::uint32_t d = 0; d < discs_.size(); ++d) {
      if (events_.cancelled && events_.cancelled()) return false;
      PieceReader reader(discs_[d].file, buffer_);
      std::uint64_t read = 0;
      const auto flush = [&] {
        for (std::size_t i = 0; i < pending; ++i) visit(batch[i].hash, batch[i].line, d);
        pending = 0;
      };
      const auto keep = [&](std::uint64_t hash, std::string_view line) {
        batch[pending++] = {hash, line};
        if (pending == kBatch) flush();
      };
      for (std::string_view piece = reader.Next(); !piece.empty(); piece = reader.Next()) {
        for (std::size_t at = 0; at < piece.size();) {
          const std::size_t end = LineEnd(piece, at);
          const std::string_view line = piece.substr(at, end - at);
          at = end + 1;
          if (!line.empty()) take(line, keep);
        }
        // The lines are the piece's: they go before the next piece is read.
        flush();
        read += piece.size();
        if (events_.progress) events_.progress(done_ + read, total_);
      }
      done_ += reader.bytesRead();
    }
    return true;
  }

  // Groups one part's lines by exact key and writes the groups of two discs
  // or more to run, in order: each group with the facts it is ordered by.
  void GroupPart(const SpillFile& part, SpillFile& run) {
    const std::string bytes = part.Read(0, static_cast<std::size_t>(part.Size()));
    struct Line {
      std::uint64_t hash;
      std::uint32_t disc, index;
      std::string_view text;
    };
    std::vector<Line> lines;
    for (std::size_t at = 0; at + 16 <= bytes.size();) {
      const std::uint64_t hash = GetU32(bytes, at) | std::uint64_t{GetU32(bytes, at + 4)} << 32;
      const std::uint32_t disc = GetU32(bytes, at + 8), size = GetU32(bytes, at + 12);
      lines.push_back({hash, disc, static_cast<std::uint32_t>(lines.size()),
                       std::string_view(bytes).substr(at + 16, size)});
      at += 16 + std::size_t{size};
    }
    // By key, and within a key in their order of reading: discs in search
    // order, lines in list order. Lines of one hash but two keys are told
    // apart by their keys.
    std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
      return a.hash != b.hash ? a.hash < b.hash : a.index < b.index;
    });
    struct Found {
      GroupOrder order;
      std::size_t first, end;  // its lines
    };
    std::vector<Found> groups;
    const auto found = [&](std::size_t i, std::size_t j) {
      bool discs = false;
      for (std::size_t k = i + 1; k < j && !discs; ++k) discs = lines[k].disc != lines[i].disc;
      if (!discs) return;
      const LineKey first = *KeyOf(lines[i].text);
      std::uint64_t largest = 0;
      for (std::size_t k = i; k < j; ++k)
        largest = std::max(largest, KeyOf(lines[k].text)->kilobytes);
      groups.push_back(
          {{~largest, UpperAnsi(first.name), first.kilobytes, std::string(first.date)}, i, j});
    };
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < lines.size();) {
      std::size_t j = i + 1;
      while (j < lines.size() && lines[j].hash == lines[i].hash) ++j;
      if (j - i > 1) {
        keys.resize(j - i);
        bool one = true;
        for (std::size_t k = i; k < j; ++k) {
          ExactKey(*KeyOf(lines[k].text), options_.match, keys[k - i]);
          one = one && keys[k - i] == keys[0];
        }
        if (one) {
          found(i, j);
        } else {  // one hash, two keys or more: each key on its own
          std::vector<std::size_t> order(j - i);
          for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
          std::stable_sort(order.begin(), order.end(),
                           [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
          std::vector<Line> sorted;
          for (std::size_t k : order) sorted.push_back(lines[i + k]);
          std::copy(sorted.begin(), sorted.end(), lines.begin() + static_cast<std::ptrdiff_t>(i));
          for (std::size_t k = 0, start = 0; k <= order.size(); ++k)
            if (k == order.size() || keys[order[k]] != keys[order[start]]) {
              if (k - start > 1) found(i + start, i + k);
              start = k;
            }
        }
      }
      i = j;
    }
    std::sort(groups.begin(), groups.end(),
              [](const Found& a, const Found& b) { return a.order < b.order; });
    for (const Found& group : groups) {
      std::string& out = run.Buffer();
      const std::size_t sizeAt = out.size();
      PutU32(out, 0);
      const auto& [notLargest, name, firstKilobytes, date] = group.order;
      PutU64(out, notLargest);
      PutText(out, name);
      PutU64(out, firstKilobytes);
      PutText(out, date);
      PutU32(out, static_cast<std::uint32_t>(group.end - group.first));
      for (std::size_t k = group.first; k < group.end; ++k) {
        PutU32(out, lines[k].disc);
        PutText(out, lines[k].text);
      }
      const std::uint32_t size = static_cast<std::uint32_t>(out.size() - sizeAt - 4);
      for (int i = 0; i < 4; ++i) out[sizeAt + i] = static_cast<char>(size >> (8 * i));
      run.FlushIfFull();
    }
  }

  // A group as a run holds it: its order, then its copies.
  struct RunGroup {
    std::uint64_t notLargest = 0, firstKilobytes = 0;
    std::string_view name, date, copies;
    std::uint32_t count = 0;

    explicit RunGroup(std::string_view bytes) {
      std::size_t at = 0;
      notLargest = GetU64(bytes, at);
      name = GetText(bytes, at += 8);
      firstKilobytes = GetU64(bytes, at += 4 + name.size());
      date = GetText(bytes, at += 8);
      count = GetU32(bytes, at += 4 + date.size());
      copies = bytes.substr(at + 4);
    }
    bool operator>(const RunGroup& other) const {
      return std::tie(notLargest, name, firstKilobytes, date) >
             std::tie(other.notLargest, other.name, other.firstKilobytes, other.date);
    }
  };

  // Fills group (its strings keep their room from one group to the next).
  void Fill(const RunGroup& from, DuplicateGroup& group) const {
    group.copies.resize(from.count);
    group.kilobytes = ~from.notLargest;
    group.totalKilobytes = 0;
    std::size_t at = 0;
    for (DuplicateCopy& copy : group.copies) {
      const Disc& disc = discs_[GetU32(from.copies, at)];
      const std::string_view text = GetText(from.copies, at + 4);
      at += 8 + text.size();
      const LineKey key = *KeyOf(text);
      if (&copy == &group.copies.front()) group.name.assign(key.name);
      copy.disc.assign(disc.number);
      copy.title.assign(disc.facts->title);
      copy.number.assign(disc.facts->number);
      copy.path.assign(key.path);
      copy.kilobytes = key.kilobytes;
      copy.date.assign(key.date);
      group.totalKilobytes += key.kilobytes;
    }
  }

  // The runs' groups in order, one group of each run in memory at a time.
  bool Merge(const std::vector<SpillFile>& runs,
             const std::function<bool(const DuplicateGroup&)>& visit) {
    std::vector<RunReader> readers;
    for (const SpillFile& run : runs) readers.emplace_back(run);
    std::vector<std::optional<RunGroup>> heads(readers.size());
    const auto later = [&](std::size_t a, std::size_t b) { return *heads[a] > *heads[b]; };
    std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> next(later);
    const auto advance = [&](std::size_t r) {
      const std::string_view bytes = readers[r].Next();
      if (bytes.empty()) return;
      heads[r].emplace(bytes);
      next.push(r);
    };
    for (std::size_t r = 0; r < readers.size(); ++r) advance(r);
    DuplicateGroup group;
    while (!next.empty()) {
      const std::size_t r = next.top();
      next.pop();
      Fill(*heads[r], group);
      if (!visit(group)) return false;
      advance(r);
    }
    return true;
  }

  fs::path tempFolder_;
  const DuplicateOptions& options_;
  const DuplicateEvents& events_;
  ReadBuffer buffer_;
  std::vector<Disc> discs_;
  std::uint64_t total_ = 0, done_ = 0;
};

}  // namespace

bool ForEachDuplicateGroup(TTablas& tablas, const fs::path& catalogueFolder,
                           const fs::path& tempFolder, const DuplicateOptions& options,
                           const std::function<bool(const DuplicateGroup&)>& visit,
                           const DuplicateEvents& events) {
  const std::unordered_map<std::string, DiscFacts> facts = ReadDiscFacts(tablas);
  std::vector<Disc> discs;
  for (const std::string& name : ListFiles(catalogueFolder, "*.Ct")) {
    const auto found = facts.find(DiscNumberOfFile(name));
    if (found == facts.end() || !options.scope.KeepsDisc(found->first, found->second.album))
      continue;
    Disc disc{found->first, &found->second, catalogueFolder / name, 0};
    struct stat info {};
    if (::stat(disc.file.c_str(), &info) == 0)
      disc.bytes = static_cast<std::uint64_t>(info.st_size);
    discs.push_back(std::move(disc));
  }
  return Finder(tempFolder, options, events).Run(std::move(discs), visit);
}

std::vector<DuplicateGroup> FindDuplicates(TTablas& tablas, const fs::path& catalogueFolder,
                                           const fs::path& tempFolder,
                                           const DuplicateOptions& options,
                                           const DuplicateEvents& events) {
  std::vector<DuplicateGroup> groups;
  (void)ForEachDuplicateGroup(
      tablas, catalogueFolder, tempFolder, options,
      [&](const DuplicateGroup& group) {
        groups.push_back(group);
        return true;
      },
      events);
  return groups;
}

}  // namespace zafirel
