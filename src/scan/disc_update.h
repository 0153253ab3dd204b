// Walking a catalogued disc again: a disc that changed (an external drive, a
// USB stick, a folder catalogued as a disc) is read anew in place of its old
// catalogue. Its record keeps number, title, album, origin, notes, user
// number and cover; label, serial number, size, drive and file count are
// taken anew; a comment typed on a file stays while the file is there.
//
// The steps: Walk (the checks, then a walk into working files, the disc's
// number claimed as a run's), Compare (what changed, for the user to see),
// then Apply (one change under the data folder's lock) or Discard.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "scan/catalogue_run.h"
#include "store/list_changes.h"

namespace zafirel {

// A field of the record that the update changes.
struct RecordChange {
  std::string field;  // its name in the table ("ETIQUETA")
  std::string before, after;
};

class DiscUpdate {
 public:
  DiscUpdate(TTablas& tablas, const DriveMap& drives, const Locale& locale);
  DiscUpdate(const DiscUpdate&) = delete;
  DiscUpdate& operator=(const DiscUpdate&) = delete;
  ~DiscUpdate() { Discard(); }

  // The walk's options, folders and progress, as for a new disc.
  CatalogueRun run;

  // Checks that disc number exists and root can be walked, then walks it.
  // kCatalogued: the walk completed and can be compared. kDuplicate: the
  // drive holds another catalogued disc (detail: its title). kBusy: a live
  // run holds the disc. Other outcomes as for a new disc; nothing is changed.
  [[nodiscard]] RunResult Walk(const std::string& number, const std::string& root, bool subfolders,
                               const RunHooks& hooks = {});
  // What changed, file by file (in walk order) and in all. Throws Failure
  // naming a list that cannot be read.
  ListComparison Compare(const std::function<void(const FileChange&)>& visit);
  // The record's fields that change (only those that differ).
  const std::vector<RecordChange>& RecordChanges() const { return record_; }
  const std::string& Title() const { return title_; }

  // Puts the walk in place of the old catalogue, under the data folder's
  // lock: the list (with the comments kept) and tree, the record's fields
  // and the search index, as one change. False when it could not: the disc
  // is then as it was, or (when the failure came after the change was noted)
  // completed at the next opening of the data folder; Failure() says why.
  [[nodiscard]] bool Apply();
  std::exception_ptr Failure() const { return failure_; }
  // The walk goes; the disc stays as it was.
  void Discard();

 private:
  std::filesystem::path OldList() const;

  TTablas& tablas_;
  std::string number_, title_;
  std::vector<RecordChange> record_;
  std::exception_ptr failure_;
};

}  // namespace zafirel
