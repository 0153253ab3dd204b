// Totals of the collection: discs, files and kilobytes in all and per album,
// files and kilobytes per extension, and discs per month of cataloguing. One
// reading of every file list, one piece at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "search/search_filter.h"

namespace zafirel {

class TTablas;

struct Totals {
  std::string name;  // the album, the extension (capitals, "" for none) or the month ("2024-03")
  std::uint64_t discs = 0, files = 0, kilobytes = 0;
};

struct CollectionStats {
  Totals all;
  std::vector<Totals> albums;      // by album ("" for discs without one)
  std::vector<Totals> extensions;  // most files first, then most kilobytes, then by name
  std::vector<Totals> months;  // in time order; a disc's month is when its catalogue was written
};

struct StatsEvents {
  std::function<bool()> cancelled;  // asked before each catalogue
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

// The totals of the discs and lines the scope keeps (a filter's discs,
// albums, kinds, sizes and dates). Throws on a catalogue that cannot be
// read; nothing when cancelled.
std::optional<CollectionStats> GatherStats(TTablas& tablas,
                                           const std::filesystem::path& catalogueFolder,
                                           const SearchFilter& scope = {},
                                           const StatsEvents& events = {});

}  // namespace zafirel
