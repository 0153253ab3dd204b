// The core of a catalogue run: checking the chosen drive, the duplicate test
// by serial number, the new disc record, the walk that gathers one line per
// folder and one per file, and the closing steps that complete the record and
// write the two catalogue files. The window and the command line drive the
// same steps, adding their own dialogs between them.
#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "scan/disk_info.h"
#include "scan/find_file.h"
#include "store/line_list.h"
#include "util/folder_lock.h"
#include "util/locale.h"

namespace zafirel {

class TTablas;

inline constexpr const char* kNoLabelTitle = "Sin nombre";

// A new disc's title: its volume label, or "Sin nombre" for an empty one.
inline std::string TitleForLabel(const std::string& label) {
  return label.empty() ? kNoLabelTitle : label;
}

// A file's line: path, size in KB rounded up, short date, and the suffix that
// carries a description (see ZipDescription::LineSuffix).
std::string FileListLine(const std::string& folder, const FileInfo& info, const Locale& locale,
                         const std::string& suffix);

// How a run driven by CatalogueRun::Catalogue ended.
enum class RunOutcome {
  kCatalogued,         // the disc, its count and both files are in
  kNotARoot,           // the choice is not a drive root of a mapped letter
  kDriveError,         // the drive cannot be read
  kDuplicate,          // a disc of this serial number is catalogued (detail: its title)
  kFolderNotWritable,  // the catalogue folder cannot take the files
  kBusy,               // another program held the data folder too long
  kRecordNotWritten,   // the new record could not be written (detail: why)
  kStopped,            // stopped during the walk: the disc went again
  kFilesNotWritten,    // the files or the count could not be written: the disc went again
};

struct RunResult {
  RunResult() = default;
  RunResult(RunOutcome outcome, std::string detail = {}, std::exception_ptr failure = {})
      : outcome(outcome), detail(std::move(detail)), failure(std::move(failure)) {}

  RunOutcome outcome = RunOutcome::kCatalogued;
  std::string detail;
  // What refused the record or the files, with the system's reason (for
  // kRecordNotWritten and kFilesNotWritten, when known).
  std::exception_ptr failure;
};

// Where a front end adds its own work between the steps of a run; each hook
// may be left empty.
struct RunHooks {
  std::function<void()> beforeDuplicateTest;  // the window lists every disc
  std::function<void()> beforeAppend;         // the checks passed: the walk is next
  std::function<void(const std::string& title)> discAppended;
  // A failure that ended the walk early; the disc keeps what was gathered.
  std::function<void(const std::string& error)> walkFailed;
  // After the walk, or after a record that could not be written.
  std::function<void()> afterWalk;
  std::function<void()> beforeFinish;  // the walk completed: the files are next
};

class CatalogueRun {
 public:
  enum class DriveCheck { kReady, kNotARoot, kDriveError };

  // The lines are gathered into the given lists, which the caller owns.
  CatalogueRun(TTablas& tablas, const DriveMap& drives, const Locale& locale, LineList& files,
               std::vector<std::string>& folders);

  TFindFile Buscador;
  TDiskInfo Discos;
  bool Zips = false;                 // look for descriptions in .ZIP archives
  bool Archives = false;             // catalogue archives' members as folders
  std::filesystem::path tempFolder;  // where description members are written
  std::filesystem::path catalogueFolder;
  std::string NumeroNuevo;  // the new record's number while the run lasts
  double elapsedSeconds = 0;
  // Runs for every folder entered, after its line was added (the window
  // shows it and lets pending events run).
  std::function<void(const std::string& folder)> onFolder;

  // Only a drive root ("D:\") of a mapped letter can be catalogued.
  DriveCheck PrepareDrive(const std::string& root);
  // The title of a disc already catalogued with this drive's serial number.
  std::optional<std::string> DuplicateTitle();
  // Whether the catalogue folder can take the new files: asked before the
  // walk, not after it.
  bool CatalogueFolderWritable() const;
  // Under the data folder's lock: the next number, claimed for this run (a
  // number another live run holds is passed over), and the new disc record.
  // Throws when the record cannot be written (nothing is left then).
  void AppendDisc();
  // Walks the drive; the elapsed time is set also when a failure ends it.
  void Walk(bool subfolders);
  bool Stopped() const { return Buscador.Aborted(); }
  // After a stop: the new record and any file of it go, if they still exist.
  void DiscardDisc();
  // After a completed walk, under the lock: both catalogue files are
  // written, then the record gets its file count and number. When a file
  // cannot be written (or the record is gone) the disc is removed again with
  // its files and false is returned: a disc is kept whole or not at all.
  [[nodiscard]] bool FinishDisc();

  // A whole run, from the drive check to the written files, in the order
  // every front end takes: drive check, duplicate test, catalogue folder
  // check, new record, walk, then either the disc goes again (stopped) or
  // its files and count are written. Failures come back as the outcome.
  [[nodiscard]] RunResult Catalogue(const std::string& root, bool subfolders,
                                    const RunHooks& hooks = {});

 private:
  void BuscadorFound(const std::string& folder, const FileInfo& info);
  bool LocateNewDisc();
  [[nodiscard]] bool WriteFiles();

  TTablas& tablas_;
  Locale locale_;
  LineList& files_;
  std::vector<std::string>& folders_;
  RunClaim claim_;                    // held from the append to the end of the run
  std::uint32_t newRecNo_ = 0;        // where the run's record was appended
  std::uint64_t walkedBytes_ = 0;     // sizes of the files walked
  std::exception_ptr finishFailure_;  // why FinishDisc last failed
};

}  // namespace zafirel
