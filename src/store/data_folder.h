// Opening a data folder: what every program does before it uses the disc
// table (the window at start and after choosing another folder, every
// command of the command line), under the folder's write lock:
//
// 1. a table upgrade cut short is finished (or rolled back), and a table of
//    an earlier version is upgraded, as is one saved as dBase III or one
//    whose header miscounts its records (the old files kept as a backup);
//    another application's table is refused untouched;
// 2. temporary files left by interrupted writes are removed;
// 3. index files that are missing, damaged or in doubt (a change cut short,
//    or a disc table that another program changed: see index_stamp.h) are
//    rebuilt;
// 4. records of catalogue runs that never completed (no file count, and no
//    live run holding their number) are removed with whatever files they
//    have, or completed when both their catalogue files were written.
//
// When another program holds the lock longer than the wait, nothing of this
// is done (that program is changing the folder and will leave it whole);
// the tables can still be read.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "store/table_upgrade.h"

namespace zafirel {

struct DataFolderRepairs {
  bool busy = false;                   // another program kept the lock: nothing was checked
  int indexesRebuilt = 0;              // index files built anew
  bool tableChangedElsewhere = false;  // the disc table was changed by another program
  bool tableConverted = false;         // a dBase III table (a spreadsheet's) brought to dBase IV
  bool tableRepaired = false;          // a header that miscounted the records, mended with a backup
  int unfinishedRemoved = 0;           // records of runs that never completed, removed
  int unfinishedCompleted = 0;         // runs cut short after writing their files, completed
  int updatesCompleted = 0;            // discs walked again, cut short midway and completed
  int tempFilesRemoved = 0;
};

DataFolderRepairs PrepareDataFolder(const std::filesystem::path& dataFolder,
                                    const std::filesystem::path& catalogueFolder,
                                    const UpgradeContext& context,
                                    const std::string& indexProgressText,
                                    std::chrono::milliseconds wait = std::chrono::seconds(5));

// At an opening in the window: a catalogue folder holding file lists and
// no search index at all (one an older version wrote) gets its index built,
// under the data folder's lock, with progress and a stop. Stopped, it is
// left without one: searches read every list, as before, and the next
// opening asks again. Throws Failure naming the file when a list cannot be
// read or a segment written; FolderBusy when another program keeps the lock.
void BuildMissingSearchIndex(const std::filesystem::path& dataFolder,
                             const std::filesystem::path& catalogueFolder, Dialogs& dialogs,
                             const std::string& progressText);

// Has the index files of the folder's disc table built anew at its next
// opening (the table's in-doubt mark, set under the folder's lock); index
// files that are not the table's own go at once.
void MarkIndexesInDoubt(const std::filesystem::path& dataFolder);

// Removes the temporary files of interrupted whole-file writes in a folder:
// all of them, or only those older than a minute (a folder other programs
// write without the data folder's lock). Returns how many went.
int RemoveLeftoverTempFiles(const std::filesystem::path& folder, bool onlyStale);

}  // namespace zafirel
