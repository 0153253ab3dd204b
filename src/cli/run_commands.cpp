#include "cli/run_commands.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string_view>

#include "scan/catalogue_run.h"
#include "scan/disc_update.h"
#include "scan/drive_map.h"
#include "store/catalogue_files.h"
#include "store/data_folder.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/failure.h"
#include "util/folder_lock.h"
#include "util/records.h"
#include "util/text.h"
#include "util/wildcard.h"

namespace zafirel::cli {

namespace fs = std::filesystem;

namespace {

const char kCatalogueUsage[] =
    "usage: zafirel-cli [--data FOLDER] catalogue D | D: | D:\\ | FOLDER | IMAGE [OPTIONS]\n";

}  // namespace

Tables CreateMissingTables(const fs::path& folder) {
  const FolderLock lock(folder);
  bool missing = false, ok = true;
  if (ListFiles(folder, "CDRom.Dbf").empty()) {
    missing = true;
    ok &= TTablas::CreateDiscTable(folder);
  }
  if (ListFiles(folder, "Img.dbf").empty()) {
    missing = true;
    ok &= TTablas::CreateCoverTable(folder);
  }
  return !ok ? Tables::kNotCreated : missing ? Tables::kCreated : Tables::kThere;
}

namespace {

// The album as the disc editor stores it: its letters in capitals (sharp s
// as "SS", as the editor's box writes it).
std::string AlbumAsTheEditorStoresIt(std::string_view typed) {
  std::string album;
  for (const char c : UpperAnsi(typed)) {
    if (c == '\xDF')
      album += "SS";
    else
      album += c;
  }
  return album;
}

// "D", "D:" or "D:\": a drive of the drive map.
bool NamesADrive(const std::string& word) {
  return !word.empty() && word.size() <= 3 && std::isalpha(static_cast<unsigned char>(word[0])) &&
         (word.size() < 2 || word[1] == ':') && (word.size() < 3 || word[2] == '\\');
}

// "T:\ZIPS", "D:DOCS": a folder on a drive, which cannot be catalogued alone.
bool NamesAFolderOnADrive(const std::string& word) {
  return word.size() > 2 && std::isalpha(static_cast<unsigned char>(word[0])) && word[1] == ':';
}

// The drive a word names: a letter of the drive map, or a folder or disc
// image file mapped as a drive of its own (--letter, or the first free one).
// kDone, or the exit code after saying what is wrong.
int DriveOfWord(const Options& options, DriveMap& drives, const std::string& word,
                std::string& drive) {
  std::error_code ec;
  if (NamesADrive(word)) {
    drive = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])))) +
            ":\\";
    return kDone;
  }
  if (fs::is_directory(word, ec) || fs::is_regular_file(word, ec)) {
    char wanted = 0;
    const auto given = options.values.find("--letter");
    if (given != options.values.end() && !given->second.empty()) wanted = given->second[0];
    const std::optional<char> letter = drives.MapFolder(word, wanted);
    if (!letter) return Fail(kUsage, "no free drive letter");
    drive = std::string(1, *letter) + ":\\";
    return kDone;
  }
  if (NamesAFolderOnADrive(word)) {
    Fail(kUsage, word + " is a folder on a drive: only a whole drive can be catalogued");
    std::fputs(kCatalogueUsage, stderr);
    return kUsage;
  }
  return Fail(kFailed, word + " is neither a drive letter, a folder nor a disc image");
}

// The walk's options from the command line, and its progress on a terminal.
// True when the progress line is shown (and must be cleared after).
bool SetUpWalk(CatalogueRun& run, const Options& options, const DataFolder& folder) {
  std::error_code ec;
  fs::create_directories(folder.below.catalogos, ec);
  fs::create_directories(folder.below.temp, ec);
  run.catalogueFolder = folder.below.catalogos;
  run.tempFolder = folder.below.temp;
  run.Zips = options.flags.count("--zips") > 0;
  run.Archives = options.flags.count("--archives") > 0;
  if (isatty(STDERR_FILENO) != 1) return false;
  // How far the walk has come, on one line rewritten in place.
  run.progressInterval = std::chrono::milliseconds(250);
  run.onProgress = [](const RunProgress& p) {
    std::fprintf(stderr, "\r%llu folders, %llu files, %.1f MB, %.0f s  ",
                 static_cast<unsigned long long>(p.folders),
                 static_cast<unsigned long long>(p.files),
                 static_cast<double>(p.bytes) / (1024.0 * 1024.0), p.seconds);
  };
  return true;
}

// Says why a walk did not end with a disc to keep, and gives the exit code.
int RunFailed(const RunResult& result, const DataFolder& folder, const std::string& drive,
              const std::string& unchanged) {
  const std::string cause =
      result.failure ? ": " + AnsiToUtf8(FailureText(English(), result.failure)) : std::string();
  switch (result.outcome) {
    case RunOutcome::kNotARoot:
      return Fail(kUsage, drive + " is not a drive root");
    case RunOutcome::kDriveError:
      return Fail(kFailed, "drive " + drive + " cannot be read" +
                               (result.detail.empty() ? "" : ": " + AnsiToUtf8(result.detail)));
    case RunOutcome::kNotAnImage:
      return Fail(kFailed,
                  AnsiToUtf8(result.detail) + " is not a disc image (neither UDF nor ISO 9660)");
    case RunOutcome::kDuplicate:
      return Fail(kDuplicate,
                  "this disc is already catalogued as \"" + AnsiToUtf8(result.detail) + "\"");
    case RunOutcome::kNoSuchDisc:
      return Fail(kNotFound, "no disc " + AnsiToUtf8(result.detail));
    case RunOutcome::kFolderNotWritable:
      return Fail(kFailed,
                  "the catalogue folder " + folder.below.catalogos.string() + " cannot be written");
    case RunOutcome::kBusy:
      return Fail(kFailed, kBusy);
    case RunOutcome::kRecordNotWritten:
      return Fail(kFailed, AnsiToUtf8(FailureText(English(), result.failure)));
    case RunOutcome::kStopped:
    case RunOutcome::kFilesNotWritten:
      return Fail(kFailed, result.detail == "busy"
                               ? std::string(kBusy)
                               : "the catalogue files could not be written; " + unchanged + cause);
    case RunOutcome::kCatalogued:
      break;
  }
  return kDone;
}

const char* ChangeName(ChangeKind kind) {
  switch (kind) {
    case ChangeKind::kAdded:
      return "added";
    case ChangeKind::kRemoved:
      return "removed";
    case ChangeKind::kChanged:
      break;
  }
  return "changed";
}

}  // namespace

int Catalogue(const Options& options) {
  if (options.words.size() != 2) return Fail(kUsage, "catalogue needs one drive or folder");
  DataFolder folder = FindDataFolder(options);
  DriveMap drives = DriveMap::FromSystem(DriveSettings(*folder.settings));
  std::string drive;
  if (const int wrong = DriveOfWord(options, drives, options.words[1], drive)) return wrong;

  std::error_code ec;
  // From the tables of a new folder to the new disc's record, the run holds
  // the folder's lock: the tables are made once, the mending, the duplicate
  // test and the append see one state, and a lock another program keeps is
  // waited for once (kLockWait), not again at each step.
  if (fs::create_directories(folder.data, ec); ec)
    return Fail(kFailed,
                "the data folder " + folder.data.string() + " cannot be made: " + ec.message());
  std::optional<FolderLock> lock;
  try {
    lock.emplace(folder.data);
  } catch (const FolderBusy&) {
    return Fail(kFailed, kBusy);
  }
  switch (CreateMissingTables(folder.data)) {
    case Tables::kThere:
      break;
    case Tables::kCreated:
      std::fprintf(stderr, "zafirel-cli: created the disc tables in %s\n", folder.data.c_str());
      break;
    case Tables::kNotCreated:
      return Fail(kFailed, "the disc tables could not be created in " + folder.data.string());
  }
  TTablas tablas;
  if (!OpenTables(tablas, folder, kLockWait)) return kFailed;

  CatalogueRun run(tablas, drives, Locale::FromEnvironment());
  const bool showProgress = SetUpWalk(run, options, folder);
  RunHooks hooks;
  // The walk runs without the lock; the run takes it again for its files.
  hooks.discAppended = [&](const std::string&) { lock.reset(); };
  hooks.walkFailed = [](const std::string& error) {
    std::fprintf(stderr, "zafirel-cli: the walk ended early: %s\n", error.c_str());
  };
  const RunResult result = run.Catalogue(drive, options.flags.count("--no-subfolders") == 0, hooks);
  if (showProgress) std::fputs("\r\033[K", stderr);
  lock.reset();
  if (result.outcome != RunOutcome::kCatalogued)
    return RunFailed(result, folder, drive, "the disc was not added");
  try {
    dbf::Table& discs = tablas.TablaCDRom;
    const auto title = options.values.find("--title");
    const auto album = options.values.find("--album");
    if ((title != options.values.end() || album != options.values.end()) &&
        discs.Locate("AUTO", run.NumeroNuevo)) {
      discs.Edit();
      if (title != options.values.end()) discs.SetString("TITULOCD", Utf8ToAnsi(title->second));
      if (album != options.values.end())
        discs.SetString("ALBUM", AlbumAsTheEditorStoresIt(Utf8ToAnsi(album->second)));
      discs.Post();
    }
  } catch (const FolderBusy&) {
    return Fail(kFailed, kBusy);
  } catch (const std::exception& error) {
    return Fail(kFailed, Why(error));
  }
  char done[96];
  std::snprintf(done, sizeof done, ": %llu files in %.3f s\n",
                static_cast<unsigned long long>(run.Progress().files), run.elapsedSeconds);
  Write("disc " + run.NumeroNuevo + done);
  return kDone;
}
int Update(const Options& options) {
  if (options.words.size() != 3)
    return Fail(kUsage, "update needs a disc number and the drive, folder or image it is on now");
  std::optional<RecordFormat> records;
  if (const int wrong = ReadFormat(options, records)) return wrong;
  DataFolder folder = FindDataFolder(options);
  DriveMap drives = DriveMap::FromSystem(DriveSettings(*folder.settings));
  std::string drive;
  if (const int wrong = DriveOfWord(options, drives, options.words[2], drive)) return wrong;
  TTablas tablas;
  if (!OpenTables(tablas, folder, kLockWait)) return kFailed;
  DiscUpdate update(tablas, drives, Locale::FromEnvironment());
  const bool showProgress = SetUpWalk(update.run, options, folder);
  RunHooks hooks;
  hooks.walkFailed = [](const std::string& error) {
    std::fprintf(stderr, "zafirel-cli: the walk ended early: %s\n", error.c_str());
  };
  const RunResult result = update.Walk(Utf8ToAnsi(options.words[1]), drive,
                                       options.flags.count("--no-subfolders") == 0, hooks);
  if (showProgress) std::fputs("\r\033[K", stderr);
  if (result.outcome != RunOutcome::kCatalogued)
    return RunFailed(result, folder, drive, "the disc was left as it was");

  // Each change: what, the path, then size (KB) and date before and now.
  const std::optional<RecordWriter> writer =
      records
          ? std::optional<RecordWriter>(std::in_place, *records,
                                        std::vector<std::string>{"change", "path", "old_kb",
                                                                 "old_date", "new_kb", "new_date"})
          : std::nullopt;
  if (writer) Write(writer->Header());
  const ListComparison changes = update.Compare([&](const FileChange& change) {
    const auto fields = [](std::string_view line) {
      return std::vector<std::string>{std::string(Trozo(line, ';', 0)),
                                      std::string(Trozo(line, ';', 1)),
                                      std::string(Trozo(line, ';', 2))};
    };
    const std::vector<std::string> before = fields(change.oldLine), now = fields(change.newLine);
    const std::string& path = before[0].empty() ? now[0] : before[0];
    if (!writer) {
      PrintRow({ChangeName(change.kind), path, before[1], before[2], now[1], now[2]});
      return;
    }
    const auto kb = [](const std::string& size) -> FieldValue {
      if (size.empty()) return std::string();
      return DigitsOf(size);
    };
    Write(writer->Record({std::string(ChangeName(change.kind)), AnsiToUtf8(path), kb(before[1]),
                          AnsiToUtf8(before[2]), kb(now[1]), AnsiToUtf8(now[2])}));
  });
  // The totals and the record's changes: with the changes for a person, on
  // standard error beside records for a program.
  std::string summary = std::to_string(changes.added) + " added, " +
                        std::to_string(changes.removed) + " removed, " +
                        std::to_string(changes.changed) + " changed, " +
                        std::to_string(changes.unchanged) + " unchanged\n";
  for (const RecordChange& field : update.RecordChanges())
    summary +=
        field.field + ": " + AnsiToUtf8(field.before) + " -> " + AnsiToUtf8(field.after) + "\n";
  const bool dryRun = options.flags.count("--dry-run") > 0;
  if (dryRun) {
    summary += "dry run: disc " + options.words[1] + " was left as it was\n";
  } else {
    if (!update.Apply())
      return Fail(kFailed, "disc " + options.words[1] + " was not updated: " +
                               AnsiToUtf8(FailureText(English(), update.Failure())));
    summary += "disc " + options.words[1] + " updated\n";
  }
  if (writer)
    std::fputs(summary.c_str(), stderr);
  else
    Write(summary);
  return kDone;
}

}  // namespace zafirel::cli
