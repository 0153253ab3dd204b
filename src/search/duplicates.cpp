#include "search/duplicates.h"

#define XXH_INLINE_ALL
#include <fcntl.h>
#include <sys/stat.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <tuple>

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
constexpr std::uint64_t kMaxFilterBits = 1u << 29;  // 64 MB for each of the two filters
constexpr std::size_t kMaxLine = 4096;              // read back at most this much of a line

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
  const std::string_view rest = line.substr(pathEnd + 1);
  const std::string_view size = Trozo(rest, ';', 0);
  const auto [end, error] = std::from_chars(size.data(), size.data() + size.size(), key.kilobytes);
  if (error != std::errc{} || end != size.data() + size.size()) return std::nullopt;
  key.date = Trozo(rest, ';', 1);
  return key;
}

// The exact key: the name in capitals, then what else is matched.
void ExactKey(const LineKey& key, DuplicateMatch match, std::string& out) {
  out.clear();
  for (char c : key.name) out += UpperAnsiChar(c);
  if (match == DuplicateMatch::kName) return;
  out += ';';
  out += std::to_string(key.kilobytes);
  if (match == DuplicateMatch::kNameSize) return;
  out += ';';
  out += key.date;
}

// A set of keys in bits, each key setting kProbes of them.
class BitFilter {
 public:
  explicit BitFilter(std::uint64_t bits) : words_(bits / 64), mask_(bits - 1) {}
  bool Has(std::uint64_t hash) const {
    for (int i = 0; i < kProbes; ++i) {
      const std::uint64_t bit = Probe(hash, i);
      if ((words_[bit / 64] >> (bit % 64) & 1) == 0) return false;
    }
    return true;
  }
  void Add(std::uint64_t hash) {
    for (int i = 0; i < kProbes; ++i) {
      const std::uint64_t bit = Probe(hash, i);
      words_[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
  }

 private:
  std::uint64_t Probe(std::uint64_t hash, int i) const {
    return (hash + static_cast<std::uint64_t>(i) * ((hash >> 32) | 1)) & mask_;
  }
  std::vector<std::uint64_t> words_;
  std::uint64_t mask_;
};

// A line the second pass keeps: where it lies, and its key's hash.
struct Entry {
  std::uint64_t hash = 0;
  std::uint64_t offset = 0;
  std::uint32_t disc = 0;
};

class Finder {
 public:
  Finder(const DuplicateOptions& options, const DuplicateEvents& events)
      : options_(options), events_(events), buffer_(kPieceBytes) {}

  std::vector<DuplicateGroup> Run(std::vector<Disc> discs) {
    discs_ = std::move(discs);
    for (const Disc& disc : discs_) total_ += disc.bytes;
    total_ *= 2;
    // About one line in 40 bytes; eight bits a line keep strangers to a few in a hundred.
    std::uint64_t bits = 1u << 20;
    while (bits < kMaxFilterBits && bits < total_ / 2 / 40 * 8) bits *= 2;
    std::vector<Entry> entries;
    {
      BitFilter seen(bits), twice(bits);
      if (!EachKey([&](std::uint64_t hash, std::uint64_t, std::uint32_t) {
            if (seen.Has(hash))
              twice.Add(hash);
            else
              seen.Add(hash);
          }))
        return {};
      seen = BitFilter(64);  // its memory goes before the second pass
      if (!EachKey([&](std::uint64_t hash, std::uint64_t offset, std::uint32_t disc) {
            if (twice.Has(hash)) entries.push_back({hash, offset, disc});
          }))
        return {};
    }
    KeepSharedHashes(entries);
    return Groups(entries);
  }

 private:
  // Calls visit(hash, offset, disc) for each line in scope; false when cancelled.
  template <typename Visit>
  bool EachKey(Visit visit) {
    std::string exact;
    for (std::uint32_t d = 0; d < discs_.size(); ++d) {
      if (events_.cancelled && events_.cancelled()) return false;
      PieceReader reader(discs_[d].file, buffer_);
      std::uint64_t pieceStart = 0;
      for (std::string_view piece = reader.Next(); !piece.empty(); piece = reader.Next()) {
        for (std::size_t at = 0; at < piece.size();) {
          std::size_t end = at;
          while (end < piece.size() && !IsLineEnd(piece[end])) ++end;
          const std::string_view line = piece.substr(at, end - at);
          const std::uint64_t offset = pieceStart + at;
          at = end + 1;
          if (line.empty()) continue;
          if (options_.scope.JudgesLines() && !options_.scope.KeepsLine(line)) continue;
          const std::optional<LineKey> key = KeyOf(line);
          if (!key) continue;
          ExactKey(*key, options_.match, exact);
          visit(XXH3_64bits(exact.data(), exact.size()), offset, d);
        }
        pieceStart += piece.size();
        if (events_.progress) events_.progress(done_ + pieceStart, total_);
      }
      done_ += reader.bytesRead();
    }
    return true;
  }

  // Leaves the entries whose hash two discs or more share, ordered by disc
  // and place (the order their lines are read back in).
  static void KeepSharedHashes(std::vector<Entry>& entries) {
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
      return a.hash != b.hash ? a.hash < b.hash : a.disc < b.disc;
    });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size();) {
      std::size_t j = i + 1;
      while (j < entries.size() && entries[j].hash == entries[i].hash) ++j;
      if (entries[i].disc != entries[j - 1].disc)
        for (std::size_t k = i; k < j; ++k) entries[kept++] = entries[k];
      i = j;
    }
    entries.resize(kept);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
      return a.disc != b.disc ? a.disc < b.disc : a.offset < b.offset;
    });
  }

  // Reads the kept lines back and groups them by their exact keys.
  std::vector<DuplicateGroup> Groups(const std::vector<Entry>& entries) {
    struct Found {
      DuplicateGroup group;
      std::uint32_t firstDisc = 0, lastDisc = 0;
    };
    std::map<std::string, Found> byKey;
    std::string exact, line;
    for (std::size_t i = 0; i < entries.size();) {
      const std::uint32_t d = entries[i].disc;
      const FileDescriptor file = FileDescriptor::Open(discs_[d].file, O_RDONLY | O_CLOEXEC);
      if (!file.valid())
        throw Failure("ErrorLeerArchivo", "No se puede leer el archivo", discs_[d].file, errno);
      for (; i < entries.size() && entries[i].disc == d; ++i) {
        line.resize(kMaxLine);
        const ssize_t got = ReadAtOffset(file.get(), entries[i].offset, line.data(), line.size());
        line.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        std::size_t end = 0;
        while (end < line.size() && !IsLineEnd(line[end])) ++end;
        line.resize(end);
        const std::optional<LineKey> key = KeyOf(line);
        if (!key) continue;  // the file changed since: left out
        ExactKey(*key, options_.match, exact);
        Found& found = byKey[exact];
        if (found.group.copies.empty()) {
          found.group.name = std::string(key->name);
          found.firstDisc = d;
        }
        found.lastDisc = d;
        const DiscFacts& facts = *discs_[d].facts;
        found.group.copies.push_back({discs_[d].number, facts.title, facts.number,
                                      std::string(key->path), key->kilobytes,
                                      std::string(key->date)});
        found.group.kilobytes = std::max(found.group.kilobytes, key->kilobytes);
        found.group.totalKilobytes += key->kilobytes;
      }
    }
    std::vector<DuplicateGroup> groups;
    for (auto& [key, found] : byKey)
      if (found.firstDisc != found.lastDisc) groups.push_back(std::move(found.group));
    // Largest first, then by name in capitals, then by the first copy's size and date.
    const auto order = [](const DuplicateGroup& g) {
      const DuplicateCopy& first = g.copies.front();
      return std::make_tuple(~g.kilobytes, UpperAnsi(g.name), first.kilobytes, first.date);
    };
    std::sort(groups.begin(), groups.end(), [&](const DuplicateGroup& a, const DuplicateGroup& b) {
      return order(a) < order(b);
    });
    return groups;
  }

  const DuplicateOptions& options_;
  const DuplicateEvents& events_;
  ReadBuffer buffer_;
  std::vector<Disc> discs_;
  std::uint64_t total_ = 0, done_ = 0;
};

}  // namespace

std::vector<DuplicateGroup> FindDuplicates(TTablas& tablas, const fs::path& catalogueFolder,
                                           const DuplicateOptions& options,
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
  return Finder(options, events).Run(std::move(discs));
}

}  // namespace zafirel
