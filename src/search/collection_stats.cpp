#include "search/collection_stats.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

#include "search/catalogue_search.h"
#include "store/catalogue_files.h"
#include "util/piece_reader.h"
#include "util/text.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

// The month a disc was catalogued in: when the older of its two catalogue
// files was last written, as local time ("2024-03"); "" when unknown.
std::string MonthOf(const fs::path& catalogueFolder, const std::string& number) {
  std::time_t written = 0;
  for (const fs::path& file :
       {ListFilePath(catalogueFolder, number), TreeFilePath(catalogueFolder, number)}) {
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0 && (written == 0 || info.st_mtime < written))
      written = info.st_mtime;
  }
  if (written == 0) return {};
  std::tm when{};
  localtime_r(&written, &when);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d", (when.tm_year + 1900) % 10000,
                (when.tm_mon + 1) % 100);
  return text;
}

// The extension of a line's file, in capitals (the rest of the line after its name is not looked
// at).
std::string_view ExtensionOf(std::string_view path, char* upper, std::size_t room) {
  const std::size_t slash = path.rfind('\\');
  const std::string_view name = path.substr(slash == std::string_view::npos ? 0 : slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  const std::string_view extension = name.substr(dot + 1);
  const std::size_t size = std::min(extension.size(), room);
  for (std::size_t i = 0; i < size; ++i) upper[i] = UpperAnsiChar(extension[i]);
  return {upper, size};
}

std::vector<Totals> Sorted(std::map<std::string, Totals, std::less<>>& byName) {
  std::vector<Totals> list;
  list.reserve(byName.size());
  for (auto& [name, totals] : byName) {
    totals.name = name;
    list.push_back(std::move(totals));
  }
  return list;
}

}  // namespace

std::optional<CollectionStats> GatherStats(TTablas& tablas, const fs::path& catalogueFolder,
                                           const SearchFilter& scope, const StatsEvents& events) {
  const std::unordered_map<std::string, DiscFacts> discs = ReadDiscFacts(tablas);
  std::vector<std::pair<std::string, fs::path>> lists;
  std::uint64_t total = 0;
  for (const std::string& name : ListFiles(catalogueFolder, "*.Ct")) {
    const auto disc = discs.find(DiscNumberOfFile(name));
    if (disc == discs.end() || !scope.KeepsDisc(disc->first, disc->second.album)) continue;
    lists.emplace_back(disc->first, catalogueFolder / name);
    struct stat info {};
    if (events.progress && ::stat(lists.back().second.c_str(), &info) == 0)
      total += static_cast<std::uint64_t>(info.st_size);
  }
  CollectionStats stats;
  std::map<std::string, Totals, std::less<>> albums, extensions, months;
  const bool judgeLines = scope.JudgesLines();
  ReadBuffer buffer(std::size_t{128} << 10);
  std::uint64_t done = 0;
  char upper[64];
  for (const auto& [number, file] : lists) {
    if (events.cancelled && events.cancelled()) return std::nullopt;
    Totals disc;
    disc.discs = 1;
    PieceReader reader(file, buffer);
    for (std::string_view piece = reader.Next(); !piece.empty(); piece = reader.Next()) {
      for (std::size_t at = 0; at < piece.size();) {
        const std::size_t end = LineEnd(piece, at);
        const std::string_view line = piece.substr(at, end - at);
        at = end + 1;
        if (line.empty() || (judgeLines && !scope.KeepsLine(line))) continue;
        const std::size_t pathEnd = line.find(';');
        const std::string_view path = line.substr(0, pathEnd);
        std::uint64_t kilobytes = 0;
        if (pathEnd != std::string_view::npos) {
          const std::string_view size = Trozo(line.substr(pathEnd + 1), ';', 0);
          std::from_chars(size.data(), size.data() + size.size(), kilobytes);
        }
        ++disc.files;
        disc.kilobytes += kilobytes;
        const std::string_view extension = ExtensionOf(path, upper, sizeof upper);
        auto found = extensions.find(extension);
        if (found == extensions.end()) found = extensions.emplace(extension, Totals{}).first;
        ++found->second.files;
        found->second.kilobytes += kilobytes;
      }
      if (events.progress) events.progress(done + reader.bytesRead(), total);
    }
    done += reader.bytesRead();
    for (Totals* sum :
         {&stats.all, &albums[discs.at(number).album], &months[MonthOf(catalogueFolder, number)]}) {
      sum->discs += 1;
      sum->files += disc.files;
      sum->kilobytes += disc.kilobytes;
    }
  }
  stats.albums = Sorted(albums);
  stats.months = Sorted(months);
  stats.extensions = Sorted(extensions);
  std::stable_sort(stats.extensions.begin(), stats.extensions.end(),
                   [](const Totals& a, const Totals& b) {
                     return a.files != b.files ? a.files > b.files : a.kilobytes > b.kilobytes;
                   });
  return stats;
}

}  // namespace zafirel
