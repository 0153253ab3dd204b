// Importing the discs of another data folder: every disc whose serial number
// the current table does not hold is appended with the next number, its two
// catalogue files copied under that number and its cover picture carried
// over; discs already present are skipped. The source is only read.
#pragma once

#include <filesystem>
#include <functional>

namespace zafirel {

class TTablas;

struct ImportReport {
  int imported = 0;
  int skipped = 0;       // already catalogued (same serial number)
  int withoutFiles = 0;  // imported with empty files: the source had not both of them
  bool stopped = false;  // the progress function asked to stop between two discs
};

// Each disc is added whole (its files, then its record) under the target
// folder's lock, or not at all. Throws std::runtime_error when the source's
// disc table cannot be read (before anything is changed) or when a disc
// cannot be written (the discs before it stay). progress(done, total) runs
// after each disc; returning false stops the import there.
ImportReport ImportDiscs(TTablas& target, const std::filesystem::path& targetCatalogues,
                         const std::filesystem::path& sourceFolder,
                         const std::function<bool(int done, int total)>& progress);

// Whether two folders are the same one (after following links).
bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace zafirel
