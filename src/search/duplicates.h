// Files held on more than one disc: the lines of the file lists matched by
// file name (without case), by name and size, or by name, size and date.
// Memory stays small at any scale: a first pass marks in a bit filter the
// keys met twice, a second keeps only the lines the filter marks (the copies
// and a few strangers) as compact entries, and only the lines of the groups
// found are read again, to be grouped by their exact keys.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "search/search_filter.h"

namespace zafirel {

class TTablas;

enum class DuplicateMatch { kName, kNameSize, kNameSizeDate };

struct DuplicateOptions {
  DuplicateMatch match = DuplicateMatch::kNameSize;
  // The discs and lines looked at: albums, discs, and a minimum size (the
  // filter's other line tests apply too).
  SearchFilter scope;
};

struct DuplicateCopy {
  std::string disc;    // the disc's file number
  std::string title;   // ANSI, as the table holds them
  std::string number;  // the user's number of the disc
  std::string path;    // field 0 of the line
  std::uint64_t kilobytes = 0;
  std::string date;  // as the line holds it
};

struct DuplicateGroup {
  std::string name;  // the first copy's file name
  std::vector<DuplicateCopy> copies;
  std::uint64_t kilobytes = 0;       // the largest copy's
  std::uint64_t totalKilobytes = 0;  // all the copies'
};

struct DuplicateEvents {
  std::function<bool()> cancelled;  // asked before each catalogue
  // Bytes of the catalogues read so far, of all the passes, and their total.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

// The groups of copies on two discs or more, largest first, then by name in
// capitals (Windows-1252 byte order), then by the first copy's size and date;
// the copies of a group in the order searches take the discs, then in
// their lists' order. Throws on a catalogue that cannot be read.
std::vector<DuplicateGroup> FindDuplicates(TTablas& tablas,
                                           const std::filesystem::path& catalogueFolder,
                                           const DuplicateOptions& options,
                                           const DuplicateEvents& events = {});

}  // namespace zafirel
