// zafirel-cli: the command-line front end over the same core the window
// runs, for scripts, headless machines and benchmarks. Text goes out in
// UTF-8; exit codes: 0 done, 1 failed, 2 wrong usage, 3 disc already
// catalogued, 4 no such disc or folder.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/startup.h"
#include "browse/disc_list.h"
#include "browse/loaded_catalogue.h"
#include "cli/cli_support.h"
#include "cli/collection_commands.h"
#include "cli/run_commands.h"
#include "scan/catalogue_run.h"
#include "scan/drive_map.h"
#include "search/catalogue_search.h"
#include "search/html_pages.h"
#include "settings/ini_editor.h"
#include "settings/language.h"
#include "store/album_filter.h"
#include "store/catalogue_files.h"
#include "store/data_folder.h"
#include "store/index_files.h"
#include "store/index_set.h"
#include "store/search_index.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/failure.h"
#include "util/folder_lock.h"
#include "util/text.h"
#include "util/version.h"
#include "util/wildcard.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;
using namespace cli;

const char* const kHelp =
    "usage: zafirel-cli [--data FOLDER] COMMAND [ARGUMENTS]\n"
    "\n"
    "  version                     the program's version\n"
    "  init FOLDER                 create FOLDER (with its parents) and the disc and cover\n"
    "                              tables in it when missing\n"
    "  catalogue DRIVE             catalogue a drive: a letter (D, D: or D:\\) of the drive map,\n"
    "                              or a folder or an ISO 9660 disc image (.iso), which\n"
    "                              becomes a drive for the run\n"
    "      --letter L              the letter a folder is catalogued as (default: the first free\n"
    "                              from D)\n"
    "      --no-subfolders         only the drive's root folder\n"
    "      --zips                  descriptions from README.TXT or FILE_ID.DIZ inside .ZIP files\n"
    "      --archives              the members of .ZIP, .7Z, .RAR, .TAR(.GZ/.BZ2/.XZ) and .CAB\n"
    "                              files, as if each archive were a folder of the same name\n"
    "      --title TEXT            the disc's title instead of its label\n"
    "      --album TEXT            the disc's album\n"
    "  update N DRIVE              walk disc N again where it is now (a drive, folder or image\n"
    "                              as for catalogue): each file added, removed or changed\n"
    "                              (size or date) with its size in KB and date before and\n"
    "                              now, tab-separated, then the totals and the record's new\n"
    "                              label, serial, size, file count and drive; the title,\n"
    "                              album, notes, cover and comments on files still there stay\n"
    "      --dry-run               only show the changes\n"
    "      --no-subfolders, --zips, --archives, --letter L   as for catalogue\n"
    "  list                        the discs, tab-separated: number, title, size, label, serial,\n"
    "                              files, user's number, album\n"
    "      --sort COLUMN           title (default), size, label, serial, files, number, album\n"
    "      --album TEXT            only the discs of one album, by title\n"
    "  search TEXT                 search every catalogue as the window does: each heading,\n"
    "                              then its hits indented by two blanks, then the count\n"
    "      --ext mp3,flac          only files of these extensions\n"
    "      --kind KIND             only files of a kind: images, music, video, documents,\n"
    "                              archives, programs (lists kept in the settings)\n"
    "      --min-size SIZE         only files of at least SIZE (700, 64K, 10M, 2G), compared in\n"
    "      --max-size SIZE         kilobytes as the lines hold them (rounded up)\n"
    "      --after YYYY-MM-DD      only files dated that day or later\n"
    "      --before YYYY-MM-DD     only files dated that day or earlier\n"
    "      --album NAME            only discs of this album (again for more albums)\n"
    "      --disc N                only disc N (again for more discs)\n"
    "                              With a kind, size or date, titles are not searched.\n"
    "  duplicates                  files held on more than one disc, largest first: each\n"
    "                              group (name, size, copies, total), then its copies\n"
    "      --by name|name,size|name,size,date   what makes two files one (default name,size)\n"
    "      --min-size SIZE, --album NAME, --disc N, --ext, --kind   as for search\n"
    "  stats                       totals of discs, files and kilobytes: in all, per album,\n"
    "                              per month of cataloguing, per extension (the filters of\n"
    "                              search narrow them)\n"
    "  export N FILE               write disc N's page (HTML) to FILE\n"
    "  files N [FOLDER]            disc N's folders, or the files of one of them (D:\\DOCS):\n"
    "                              name, size, date, comment, tab-separated\n"
    "  reindex                     build the search index of every catalogue anew\n"
    "\n"
    "--format text|csv|json (list, files, search, duplicates, stats, export, update): CSV\n"
    "with a header line, or JSON Lines (export writes FILE so instead of the page),\n"
    "in UTF-8 with sizes as numbers, for spreadsheets and scripts.\n"
    "--data FOLDER names the data folder; without it the program's settings choose it.\n"
    "Reading commands never wait for another program's changes; catalogue and update give up\n"
    "after five seconds when another program keeps the data folder's lock.\n"
    "Exit codes: 0 done, 1 failed, 2 wrong usage, 3 disc already catalogued, 4 no such disc\n"
    "or folder.\n";

int List(const Options& options) {
  std::optional<RecordFormat> records;
  if (const int wrong = ReadFormat(options, records)) return wrong;
  static const std::map<std::string, int> kColumns = {{"title", 0},  {"size", 1},  {"label", 2},
                                                      {"serial", 3}, {"files", 4}, {"number", 5},
                                                      {"album", 6}};
  DataFolder folder = FindDataFolder(options);
  TTablas tablas;
  if (!OpenTables(tablas, folder, std::chrono::milliseconds(0))) return kFailed;
  std::string key = "TituloCD";
  const auto sort = options.values.find("--sort");
  if (sort != options.values.end()) {
    const auto column = kColumns.find(sort->second);
    if (column == kColumns.end()) return Fail(kUsage, "unknown column " + sort->second);
    key = std::string(kSortKeys[static_cast<std::size_t>(column->second)].key);
  }
  try {
    const auto album = options.values.find("--album");
    if (album != options.values.end()) {
      ApplyAlbumFilter(tablas, Utf8ToAnsi(album->second));
      key = std::string(kAlbumFilterKey);
    }
    // Each row goes out as it is read; a reader that stops reading (head)
    // ends the walk.
    std::vector<std::string> cells;
    const RecordWriter writer(
        records.value_or(RecordFormat::kCsv),
        {"disc", "title", "megabytes", "label", "serial", "files", "number", "album"});
    if (records) Write(writer.Header());
    (void)ForEachDisc(tablas, key, Locale::FromEnvironment(), [&](const DiscRow& row) {
      if (records) {
        const auto& c = row.cells;
        Write(
            writer.Record({DigitsOf(row.number), AnsiToUtf8(c[0]), DigitsOf(c[1]), AnsiToUtf8(c[2]),
                           AnsiToUtf8(c[3]), DigitsOf(c[4]), AnsiToUtf8(c[5]), AnsiToUtf8(c[6])}));
        return !OutputFailed();
      }
      cells.assign({row.number});
      cells.insert(cells.end(), row.cells.begin(), row.cells.end());
      PrintRow(cells);
      return !OutputFailed();
    });
  } catch (const std::exception& error) {
    return Fail(kFailed, Why(error));
  }
  return kDone;
}

int Files(const Options& options) {
  if (options.words.size() < 2 || options.words.size() > 3)
    return Fail(kUsage, "files needs a disc number and optionally a folder");
  std::optional<RecordFormat> records;
  if (const int wrong = ReadFormat(options, records)) return wrong;
  const DataFolder folder = FindDataFolder(options);
  // The catalogue files of a disc whose record is gone (another program
  // removed it) are not a disc.
  {
    TTablas tablas;
    if (!OpenTables(tablas, folder, std::chrono::milliseconds(0))) return kFailed;
    try {
      if (!tablas.TablaCDRom.Locate("AUTO", options.words[1]))
        return Fail(kNotFound, "no disc " + options.words[1]);
    } catch (const std::exception& error) {
      return Fail(kFailed, AnsiToUtf8(error.what()));
    }
  }
  const fs::path treeFile = TreeFilePath(folder.below.catalogos, options.words[1]);
  std::error_code missing;
  if (!fs::exists(treeFile, missing))
    return Fail(kNotFound, "no catalogue for disc " + options.words[1]);
  LoadedCatalogue catalogue;
  try {
    catalogue.CargarArbol(treeFile);
  } catch (const std::exception& error) {
    return Fail(kFailed, Why(error));
  }
  const FolderTree& tree = catalogue.Arbol;
  if (options.words.size() == 2) {
    const RecordWriter writer(records.value_or(RecordFormat::kCsv), {"folder"});
    if (records) Write(writer.Header());
    for (int node = 0; node < static_cast<int>(tree.Nodes().size()); ++node) {
      if (records)
        Write(writer.Record({AnsiToUtf8(tree.Prefix(node))}));
      else
        PrintRow({tree.Prefix(node)});
    }
    return kDone;
  }
  std::string path = Utf8ToAnsi(options.words[2]);
  if (path.empty() || path.back() != '\\') path += '\\';
  const std::vector<int> walk = WalkToFolder(tree, path);
  if (walk.empty() || tree.Prefix(walk.back()) != path)
    return Fail(kNotFound, "no folder " + options.words[2] + " on disc " + options.words[1]);
  // The file list is read and the rows printed piece by piece, nothing held:
  // a folder of millions of files costs one buffer.
  try {
    const RecordWriter writer(records.value_or(RecordFormat::kCsv),
                              {"name", "kilobytes", "date", "comment"});
    if (records) Write(writer.Header());
    ForEachFolderRowInFile(
        ListFilePath(folder.below.catalogos, options.words[1]), path, Locale::FromEnvironment(),
        [&](const FileRow& row) {
          if (records)
            Write(writer.Record({AnsiToUtf8(row.name), DigitsOf(row.size), AnsiToUtf8(row.date),
                                 AnsiToUtf8(row.comment)}));
          else
            PrintRow({row.name, row.size, row.date, row.comment});
        });
  } catch (const std::exception& error) {
    return Fail(kFailed, Why(error));
  }
  return kDone;
}

int Reindex(const Options& options) {
  if (options.words.size() != 1) return Fail(kUsage, "reindex takes no text");
  const DataFolder folder = FindDataFolder(options);
  if (!fs::is_directory(folder.below.catalogos))
    return Fail(kNotFound, "no catalogue folder in " + folder.data.string());
  const FolderLock lock(folder.data);
  std::optional<TerminalProgress> progress;
  if (isatty(STDERR_FILENO) == 1) {
    progress.emplace("Creando el \xEDndice de b\xFAsqueda");
    progress->SetMaximum(1);
  }
  RebuildEvents events;
  if (progress)
    events.progress = [&](std::uint64_t done, std::uint64_t total) {
      progress->Within(done, total);
    };
  try {
    (void)RebuildSearchIndex(folder.below.catalogos, events);
  } catch (const std::exception& error) {
    progress.reset();
    return Fail(kFailed, Why(error));
  }
  return kDone;
}

int Export(const Options& options) {
  if (options.words.size() != 3) return Fail(kUsage, "export needs a disc number and a file");
  std::optional<RecordFormat> records;
  if (const int wrong = ReadFormat(options, records)) return wrong;
  const DataFolder folder = FindDataFolder(options);
  TTablas tablas;
  if (!OpenTables(tablas, folder, std::chrono::milliseconds(0))) return kFailed;
  const std::string& number = options.words[1];
  try {
    dbf::Table& discs = tablas.TablaCDRom;
    if (!discs.Locate("AUTO", number)) return Fail(kNotFound, "no disc " + number);
    // The rows go from the file list to the page piece by piece.
    if (records)
      WriteDiscRecords(options.words[2], ListFilePath(folder.below.catalogos, number), *records);
    else
      GrabarComoHTMLDesdeArchivos(options.words[2], discs.AsString("TITULOCD"),
                                  discs.AsString("BYTESCD"), false,
                                  folder.below.catalogos / number);
  } catch (const std::exception& error) {
    return Fail(kFailed, Why(error));
  }
  return kDone;
}

int Init(const Options& options) {
  if (options.words.size() != 2) return Fail(kUsage, "init needs a folder");
  const fs::path folder(options.words[1]);
  std::error_code made, found;
  fs::create_directories(folder, made);
  if (!fs::is_directory(folder, found))
    return Fail(kFailed, options.words[1] + " is not a folder and cannot be made one: " +
                             (made ? made.message() : std::strerror(ENOTDIR)));
  if (CreateMissingTables(folder) == Tables::kNotCreated)
    return Fail(kFailed, "the disc tables could not be created in " + folder.string());
  return kDone;
}

int Run(int argc, char** argv) {
  const std::optional<Options> options = Parse(argc, argv, 1);
  if (options && options->flags.count("--help")) return Write(kHelp), kDone;
  if (!options || options->words.empty()) return std::fputs(kHelp, stderr), kUsage;
  const std::string& command = options->words[0];
  try {
    if (command == "version") return Write(std::string(kVersionLine) + "\n"), kDone;
    if (command == "init") return Init(*options);
    if (command == "catalogue") return Catalogue(*options);
    if (command == "update") return Update(*options);
    if (command == "list") return List(*options);
    if (command == "files") return Files(*options);
    if (command == "search") return Search(*options);
    if (command == "duplicates") return Duplicates(*options);
    if (command == "stats") return Stats(*options);
    if (command == "export") return Export(*options);
    if (command == "reindex") return Reindex(*options);
  } catch (const FolderBusy&) {
    return Fail(kFailed, kBusy);
  } catch (const std::exception& error) {
    // Whatever a command did not expect ends it with a message, never an abort.
    return Fail(kFailed, Why(error));
  }
  std::fputs(kHelp, stderr);
  return kUsage;
}

}  // namespace
}  // namespace zafirel

int main(int argc, char** argv) {
  zafirel::SettleTimeZone();
  return zafirel::FinishOutput(zafirel::Run(argc, argv));
}
