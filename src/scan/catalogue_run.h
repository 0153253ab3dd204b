// The core of a catalogue run: checking the chosen drive, the duplicate test
// by serial number, the new disc record, the walk that writes one line per
// folder and one per file as it goes, and the closing steps that put the two
// catalogue files in place and complete the record. The window and the
// command line drive the same steps, adding their own dialogs between them.
//
// The lines go straight to two working files beside the catalogue files
// ("N.Ct.run", "N.Ind.run"), so a run's memory does not grow with the disc.
// They become the catalogue files only when the walk completed; a stopped or
// failed run removes them, and one left by a crash is removed by the next
// opening of the data folder (its number is no longer claimed by a run).
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/described_lines.h"
#include "scan/disk_info.h"
#include "scan/find_file.h"
#include "scan/zip_description.h"
#include "util/file_writer.h"
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

// How far a run has come.
struct RunProgress {
  std::uint64_t folders = 0;
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;  // sizes of the files walked
  double seconds = 0;
  // The bytes the walk will see in all, when known (a volume's used bytes,
  // an image's size); 0 when not.
  std::uint64_t totalBytes = 0;
  std::string folder;  // the folder being walked
};

// How a run driven by CatalogueRun::Catalogue ended.
enum class RunOutcome {
  kCatalogued,         // the disc, its count and both files are in
  kNotARoot,           // the choice is not a drive root of a mapped letter
  kDriveError,         // the drive cannot be read
  kNotAnImage,         // the drive is a file with neither a UDF nor an ISO 9660 volume (detail: it)
  kDuplicate,          // a disc of this serial number is catalogued (detail: its title)
  kFolderNotWritable,  // the catalogue folder cannot take the files
  kBusy,               // another program held the data folder too long
  kRecordNotWritten,   // the new record could not be written (detail: why)
  kStopped,            // stopped during the walk: the disc went again
  kFilesNotWritten,    // the files or the count could not be written: the disc went again
  kNoSuchDisc,         // (walking a catalogued disc again) no disc of that number
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
  enum class DriveCheck { kReady, kNotARoot, kDriveError, kNotAnImage };

  CatalogueRun(TTablas& tablas, const DriveMap& drives, const Locale& locale);

  TFindFile Buscador;
  TDiskInfo Discos;
  bool Zips = false;                 // look for descriptions in .ZIP archives
  bool Archives = false;             // catalogue archives' members as folders
  std::filesystem::path tempFolder;  // where description members are written
  std::filesystem::path catalogueFolder;
  std::string NumeroNuevo;  // the new record's number while the run lasts
  double elapsedSeconds = 0;
  // Runs during the walk at most once every progressInterval (and once at
  // its start): the window shows the figures and lets pending events run,
  // so a stop is seen within that time.
  std::function<void(const RunProgress&)> onProgress;
  std::chrono::milliseconds progressInterval{75};

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
  // Walks the drive into the working files; the elapsed time is set also
  // when a failure ends it. A working file that cannot be written ends the
  // walk (the run then ends as kFilesNotWritten).
  void Walk(bool subfolders);
  bool Stopped() const { return Buscador.Aborted() && !writeFailed_; }
  // A working file could not be written: the walk ended there.
  bool WriteFailed() const { return writeFailed_; }
  const RunProgress& Progress() const { return progress_; }
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

  // Walking a catalogued disc again (DiscUpdate): the run claims the disc's
  // own number, as a new disc's is claimed, instead of appending a record;
  // false when a live run holds it.
  bool ClaimNumber(const std::string& number);
  // After a completed walk: the working list, written out, for reading.
  // Throws Failure naming it when it could not be written.
  const std::filesystem::path& WalkedList();
  // Puts the working tree in place as target (flushed and renamed).
  [[nodiscard]] bool CommitWalkedTree(const std::filesystem::path& target);
  // The working files go and the number is free again.
  void EndClaim();

 private:
  void BuscadorFound(const std::string& folder, const FileInfo& info);
  // What the line of a .ZIP file ends with, worked out on the description
  // thread.
  DescribedLines::Ending ZipEnding(const FileInfo& info);
  void Written(StreamedFile& file);
  // Shows the progress when progressInterval has passed since it last was,
  // with the folder being walked when one is given.
  void Tick(const std::string* folder);
  bool LocateNewDisc();
  [[nodiscard]] bool CommitFiles();

  TTablas& tablas_;
  const DriveMap& drives_;
  Locale locale_;
  RunClaim claim_;                           // held from the append to the end of the run
  std::uint32_t newRecNo_ = 0;               // where the run's record was appended
  StreamedFile list_, tree_;                 // the working files while the run lasts
  std::optional<DescriptionCopies> copies_;  // of description members, while the run lasts
  std::uint64_t zipTurn_ = 0;                // archives handed to the description thread
  std::optional<DescribedLines> lines_;      // the file list's lines on their way to list_
  // The folder whose files are being reported, open for the description
  // thread (from its first .ZIP on).
  std::shared_ptr<const FileDescriptor> describedFolder_;
  bool writeFailed_ = false;  // a working file could not be written
  RunProgress progress_;
  std::chrono::steady_clock::time_point started_, lastTick_;
  std::exception_ptr finishFailure_;  // why FinishDisc last failed
};

}  // namespace zafirel
