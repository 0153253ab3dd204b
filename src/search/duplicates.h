// Files held on more than one disc: the lines of the file lists matched by
// file name (without case), by name and size, or by name, size and date.
// Memory stays small at any scale: a first pass marks in a bit filter the
// keys met twice; a second writes only the lines the filter marks (the
// copies and a few strangers) to unnamed files in the temporary folder, cut
// by key into parts that each fit in memory; each part is grouped by exact
// key and its groups written in order; the parts' groups are then merged.
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
  // The lines of one part grouped in memory (copies with their paths).
  std::uint64_t partBytes = std::uint64_t{32} << 20;
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

// Calls visit for the groups of copies on two discs or more, largest first,
// then by name in capitals (Windows-1252 byte order), then by the first
// copy's size and date; the copies of a group in the order searches take the
// discs, then in their lists' order. visit returns false to stop. False when
// stopped or cancelled. Throws on a catalogue that cannot be read or a
// temporary file that cannot be written.
bool ForEachDuplicateGroup(TTablas& tablas, const std::filesystem::path& catalogueFolder,
                           const std::filesystem::path& tempFolder, const DuplicateOptions& options,
                           const std::function<bool(const DuplicateGroup&)>& visit,
                           const DuplicateEvents& events = {});
// All the groups at once, for collections of a size a window lists.
std::vector<DuplicateGroup> FindDuplicates(TTablas& tablas,
                                           const std::filesystem::path& catalogueFolder,
                                           const std::filesystem::path& tempFolder,
                                           const DuplicateOptions& options,
                                           const DuplicateEvents& events = {});

}  // namespace zafirel
