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
#include <variant>
#include <vector>

#include "app/startup.h"
#include "browse/disc_list.h"
#include "browse/loaded_catalogue.h"
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

constexpr int kDone = 0, kFailed = 1, kUsage = 2, kDuplicate = 3, kNotFound = 4;

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
    "  export N FILE               write disc N's page (HTML) to FILE\n"
    "  files N [FOLDER]            disc N's folders, or the files of one of them (D:\\DOCS):\n"
    "                              name, size, date, comment, tab-separated\n"
    "  reindex                     build the search index of every catalogue anew\n"
    "\n"
    "--data FOLDER names the data folder; without it the program's settings choose it.\n"
    "Reading commands never wait for another program's changes; catalogue gives up after\n"
    "five seconds when another program keeps the data folder's lock.\n"
    "Exit codes: 0 done, 1 failed, 2 wrong usage, 3 disc already catalogued, 4 no such disc\n"
    "or folder.\n";

// A long operation's progress as one line on the terminal, rewritten in
// place at most every tenth of a second: "zafirel-cli: <text> 42%".
class TerminalProgress : public Progress {
 public:
  explicit TerminalProgress(const std::string& text) : text_(AnsiToUtf8(text)) { Show(true); }
  ~TerminalProgress() override {
    step_ = maximum_;
    within_ = 0;
    Show(true);
    std::fputc('\n', stderr);
  }
  void SetMaximum(int maximum) override { maximum_ = std::max(1, maximum); }
  void SetPosition(int position) override { step_ = position, within_ = 0, Show(false); }
  void Step() override { ++step_, within_ = 0, Show(false); }
  void Within(std::uint64_t done, std::uint64_t total) override {
    within_ = total == 0 ? 0 : static_cast<double>(std::min(done, total)) / total;
    Show(false);
  }

 private:
  void Show(bool now) {
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - shown_ < std::chrono::milliseconds(100)) return;
    shown_ = time;
    const double part = std::clamp((step_ + within_) / maximum_, 0.0, 1.0);
    std::fprintf(stderr, "\rzafirel-cli: %s %3d%%", text_.c_str(), static_cast<int>(part * 100));
    std::fflush(stderr);
  }
  std::string text_;
  double maximum_ = 100;
  double step_ = 0, within_ = 0;
  std::chrono::steady_clock::time_point shown_;
};

class Silent : public Dialogs {
 public:
  void PonerMensaje(const std::string& text) override {
    std::fprintf(stderr, "zafirel-cli: %s\n", AnsiToUtf8(text).c_str());
  }
  bool ConfirmOkCancel(const std::string&, const std::string&, Default) override { return true; }
  // Shown only to a person: on a terminal.
  std::unique_ptr<Progress> ShowProgress(const std::string& text) override {
    if (::isatty(STDERR_FILENO) == 0) return nullptr;
    return std::make_unique<TerminalProgress>(text);
  }
  void ProcessEvents() override {}
};

// The texts of the program's own messages (a failure's problem and cause,
// the upgrade's) come in English from the shipped English language file; a
// key it lacks stands for itself.
const Translate& English() {
  static const Language english(ShippedLanguageFolder(RunningExecutableFolder()) / "Ingles.Len");
  static const Translate translate = [](std::string_view key) {
    std::string text = english.Traduce(key);
    return text.empty() ? std::string(key) : text;
  };
  return translate;
}

// What failed and why, in UTF-8.
std::string Why(const std::exception& error) { return AnsiToUtf8(FailureText(English(), error)); }

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "zafirel-cli: %s\n", message.c_str());
  return code;
}

const char kCatalogueUsage[] =
    "usage: zafirel-cli [--data FOLDER] catalogue D | D: | D:\\ | FOLDER | IMAGE [OPTIONS]\n";

const char kBusy[] = "another program is changing this data folder; try again in a few seconds";

// Standard output, checked: the cause of the first write that failed is
// kept, so a command whose output was lost (a full disc, a closed pipe)
// never ends as done.
int outputError = 0;

void Write(std::string_view text) {
  if (outputError != 0 || text.empty()) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
    outputError = errno != 0 ? errno : EIO;
}

bool OutputFailed() { return outputError != 0; }

// The command's exit code, or kFailed with the cause when its output did
// not all reach its destination.
int FinishOutput(int code) {
  errno = 0;
  if (outputError == 0 && (std::fflush(stdout) != 0 || std::ferror(stdout)))
    outputError = errno != 0 ? errno : EIO;
  if (outputError == 0) return code;
  return Fail(kFailed,
              std::string("the output could not be written: ") + std::strerror(outputError));
}

struct Options {
  std::vector<std::string> words;
  std::map<std::string, std::string> values;                 // the last of each
  std::map<std::string, std::vector<std::string>> repeated;  // every one, in order
  std::map<std::string, bool> flags;
};

// "--name value" for the named options, "--flag" for the flags, the rest in order.
std::optional<Options> Parse(int argc, char** argv, int from) {
  static const char* const kValued[] = {"--data",     "--letter", "--title",  "--album",
                                        "--sort",     "--ext",    "--kind",   "--min-size",
                                        "--max-size", "--after",  "--before", "--disc"};
  static const char* const kFlags[] = {"--no-subfolders", "--zips", "--archives", "--help"};
  Options options;
  for (int i = from; i < argc; ++i) {
    const std::string word = argv[i];
    bool known = false;
    for (const char* name : kValued)
      if (word == name) {
        if (i + 1 >= argc) return std::nullopt;
        options.values[word] = argv[++i];
        options.repeated[word].push_back(argv[i]);
        known = true;
      }
    for (const char* name : kFlags)
      if (word == name) options.flags[word] = known = true;
    if (!known) {
      if (word.size() > 1 && word[0] == '-' && word[1] == '-') return std::nullopt;
      options.words.push_back(word);
    }
  }
  return options;
}

struct DataFolder {
  fs::path data;
  WorkingFolders below;
  std::unique_ptr<TIniEditor> settings;
};

DataFolder FindDataFolder(const Options& options) {
  DataFolder found;
  const ProgramLocation where = LocateProgram(RunningExecutableFolder());
  TIniEditor::SetApplicationFolder(where.programFolder.string() + "/");
  found.settings = std::make_unique<TIniEditor>();
  found.settings->SetFileLocation(TFileLocation::ApplicationPath);
  found.settings->SetFileName("Opcion");
  const auto data = options.values.find("--data");
  found.data = data != options.values.end()
                   ? fs::path(data->second)
                   : DetermineDataFolder(*found.settings, where.defaultDataFolder);
  found.below = FoldersBelow(found.data);
  return found;
}

enum class Tables { kThere, kCreated, kNotCreated };

// Creates the disc and cover tables a data folder lacks, as the window's
// first start does. The test and the creation are one locked section, so
// programs starting together on a new folder make each table once.
[[nodiscard]] Tables CreateMissingTables(const fs::path& folder) {
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

// Opens the disc table with its indexes after mending what interrupted work
// left (see PrepareDataFolder); an older table is upgraded first. Readers
// pass no wait: while another program keeps the folder's lock, the mending
// is left to a later opening and the tables are read as they are.
bool OpenTables(TTablas& tablas, const DataFolder& folder, std::chrono::milliseconds lockWait) {
  if (ListFiles(folder.data, "CDROM.DBF").empty())
    return Fail(kFailed, "no disc table in " + folder.data.string()), false;
  tablas.SetFolder(folder.data);
  Silent silent;
  try {
    const UpgradeContext context{English(), silent, Locale::FromEnvironment(), LocalTimeNow};
    const DataFolderRepairs repairs = PrepareDataFolder(
        folder.data, folder.below.catalogos, context, English()("CreandoIndices"), lockWait);
    if (repairs.tableConverted)
      std::fprintf(stderr,
                   "zafirel-cli: the disc table was saved as dBase III; converted to dBase IV "
                   "with its notes (the old files are in \"Archivos regenerados\")\n");
    if (repairs.tableRepaired)
      std::fprintf(stderr,
                   "zafirel-cli: the disc table's header miscounted its records; repaired (the "
                   "old files are in \"Archivos regenerados\")\n");
    if (repairs.tableChangedElsewhere)
      std::fprintf(stderr,
                   "zafirel-cli: another program changed the disc table; its indexes were "
                   "rebuilt\n");
    if (repairs.unfinishedRemoved > 0)
      std::fprintf(stderr, "zafirel-cli: removed %d discs whose cataloguing never completed\n",
                   repairs.unfinishedRemoved);
    if (repairs.unfinishedCompleted > 0)
      std::fprintf(stderr, "zafirel-cli: completed %d discs whose cataloguing was cut short\n",
                   repairs.unfinishedCompleted);
    tablas.OpenDiscTable();
  } catch (const std::exception& error) {
    return Fail(kFailed, Why(error)), false;
  }
  return true;
}

void PrintRow(const std::vector<std::string>& cells) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += '\t';
    line += AnsiToUtf8(cells[i]);
  }
  line += '\n';
  Write(line);
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

int Catalogue(const Options& options) {
  if (options.words.size() != 2) return Fail(kUsage, "catalogue needs one drive or folder");
  DataFolder folder = FindDataFolder(options);
  DriveMap drives = DriveMap::FromSystem(DriveSettings(*folder.settings));
  const std::string& word = options.words[1];
  std::string drive;
  std::error_code ec;
  if (NamesADrive(word)) {
    drive = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])))) +
            ":\\";
  } else if (fs::is_directory(word, ec) || fs::is_regular_file(word, ec)) {
    // A folder, or a disc image file, becomes a drive of its own.
    char wanted = 0;
    const auto given = options.values.find("--letter");
    if (given != options.values.end() && !given->second.empty()) wanted = given->second[0];
    const std::optional<char> letter = drives.MapFolder(word, wanted);
    if (!letter) return Fail(kUsage, "no free drive letter");
    drive = std::string(1, *letter) + ":\\";
  } else if (NamesAFolderOnADrive(word)) {
    Fail(kUsage, word + " is a folder on a drive: only a whole drive can be catalogued");
    std::fputs(kCatalogueUsage, stderr);
    return kUsage;
  } else {
    return Fail(kFailed, word + " is neither a drive letter, a folder nor a disc image");
  }

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

  fs::create_directories(folder.below.catalogos, ec);
  fs::create_directories(folder.below.temp, ec);
  CatalogueRun run(tablas, drives, Locale::FromEnvironment());
  run.catalogueFolder = folder.below.catalogos;
  run.tempFolder = folder.below.temp;
  run.Zips = options.flags.count("--zips") > 0;
  run.Archives = options.flags.count("--archives") > 0;
  const bool showProgress = isatty(STDERR_FILENO) == 1;
  if (showProgress) {
    // On a terminal, how far the walk has come, on one line rewritten in place.
    run.progressInterval = std::chrono::milliseconds(250);
    run.onProgress = [](const RunProgress& p) {
      std::fprintf(stderr, "\r%llu folders, %llu files, %.1f MB, %.0f s  ",
                   static_cast<unsigned long long>(p.folders),
                   static_cast<unsigned long long>(p.files),
                   static_cast<double>(p.bytes) / (1024.0 * 1024.0), p.seconds);
    };
  }
  RunHooks hooks;
  // The walk runs without the lock; the run takes it again for its files.
  hooks.discAppended = [&](const std::string&) { lock.reset(); };
  hooks.walkFailed = [](const std::string& error) {
    std::fprintf(stderr, "zafirel-cli: the walk ended early: %s\n", error.c_str());
  };
  const RunResult result = run.Catalogue(drive, options.flags.count("--no-subfolders") == 0, hooks);
  if (showProgress) std::fputs("\r\033[K", stderr);
  lock.reset();
  switch (result.outcome) {
    case RunOutcome::kNotARoot:
      return Fail(kUsage, drive + " is not a drive root");
    case RunOutcome::kDriveError:
      return Fail(kFailed, "drive " + drive + " cannot be read");
    case RunOutcome::kNotAnImage:
      return Fail(kFailed,
                  AnsiToUtf8(result.detail) + " is not a disc image (neither UDF nor ISO 9660)");
    case RunOutcome::kDuplicate:
      return Fail(kDuplicate,
                  "this disc is already catalogued as \"" + AnsiToUtf8(result.detail) + "\"");
    case RunOutcome::kFolderNotWritable:
      return Fail(kFailed,
                  "the catalogue folder " + folder.below.catalogos.string() + " cannot be written");
    case RunOutcome::kBusy:
      return Fail(kFailed, kBusy);
    case RunOutcome::kRecordNotWritten:
      return Fail(kFailed, AnsiToUtf8(FailureText(English(), result.failure)));
    case RunOutcome::kStopped:
    case RunOutcome::kFilesNotWritten:
      return Fail(
          kFailed,
          result.detail == "busy"
              ? std::string(kBusy)
              : "the catalogue files could not be written; the disc was not added" +
                    (result.failure ? ": " + AnsiToUtf8(FailureText(English(), result.failure))
                                    : std::string()));
    case RunOutcome::kCatalogued:
      break;
  }
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

int List(const Options& options) {
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
    (void)ForEachDisc(tablas, key, Locale::FromEnvironment(), [&](const DiscRow& row) {
      cells.assign({row.number});
      cells.insert(cells.end(), row.cells.begin(), row.cells.end());
      PrintRow(cells);
      return outputError == 0;
    });
  } catch (const std::exception& error) {
    return Fail(kFailed, Why(error));
  }
  return kDone;
}

int Files(const Options& options) {
  if (options.words.size() < 2 || options.words.size() > 3)
    return Fail(kUsage, "files needs a disc number and optionally a folder");
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
    for (int node = 0; node < static_cast<int>(tree.Nodes().size()); ++node)
      PrintRow({tree.Prefix(node)});
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
    ForEachFolderRowInFile(ListFilePath(folder.below.catalogos, options.words[1]), path,
                           Locale::FromEnvironment(), [](const FileRow& row) {
                             PrintRow({row.name, row.size, row.date, row.comment});
                           });
  } catch (const std::exception& error) {
    return Fail(kFailed, Why(error));
  }
  return kDone;
}

// The search filter the options ask for; a message for a value that cannot be read.
std::variant<SearchFilter, std::string> FilterOf(const Options& options,
                                                 const TIniEditor& settings) {
  SearchFilter filter;
  filter.locale = Locale::FromEnvironment();
  const auto each = [&](const char* name) {
    const auto found = options.repeated.find(name);
    return found == options.repeated.end() ? std::vector<std::string>{} : found->second;
  };
  for (const std::string& text : each("--ext"))
    for (std::string& extension : ExtensionList(Utf8ToAnsi(text)))
      filter.extensions.insert(std::move(extension));
  for (const std::string& kind : each("--kind")) {
    const std::optional<std::vector<std::string>> extensions = KindExtensions(settings, kind);
    if (!extensions) {
      std::string known;
      for (const FileKind& k : kFileKinds)
        known += (known.empty() ? "" : ", ") + std::string(k.name);
      return "unknown kind \"" + kind + "\" (known: " + known + ")";
    }
    filter.extensions.insert(extensions->begin(), extensions->end());
  }
  for (const auto& [name, bound] :
       {std::pair{"--min-size", &filter.minBytes}, std::pair{"--max-size", &filter.maxBytes}})
    for (const std::string& text : each(name))
      if (!(*bound = ParseSize(text)))
        return std::string(name) + " takes a size such as 700, 64K, 10M or 2G, not \"" + text +
               "\"";
  for (const auto& [name, bound] :
       {std::pair{"--after", &filter.from}, std::pair{"--before", &filter.to}})
    for (const std::string& text : each(name))
      if (!(*bound = ParseIsoDate(text)))
        return std::string(name) + " takes a date as YYYY-MM-DD, not \"" + text + "\"";
  for (const std::string& album : each("--album")) filter.albums.insert(Utf8ToAnsi(album));
  for (const std::string& disc : each("--disc")) filter.discs.insert(disc);
  return filter;
}

int Search(const Options& options) {
  if (options.words.size() != 2) return Fail(kUsage, "search needs one text");
  const DataFolder folder = FindDataFolder(options);
  std::variant<SearchFilter, std::string> filter = FilterOf(options, *folder.settings);
  if (const std::string* wrong = std::get_if<std::string>(&filter)) return Fail(kUsage, *wrong);
  TTablas tablas;
  if (!OpenTables(tablas, folder, std::chrono::milliseconds(0))) return kFailed;
  std::string out;
  auto flush = [&] {
    Write(out);
    out.clear();
  };
  SearchEvents events;
  events.cancelled = OutputFailed;  // nobody would read the rest
  events.titleHeading = [&](const std::string& heading) { out += AnsiToUtf8(heading) + "\n"; };
  events.discHeading = [&](const std::string& heading, const std::string&) {
    out += AnsiToUtf8(heading) + "\n";
  };
  events.hit = [&](std::string_view path) {
    out += "  ";
    out += AnsiToUtf8(path);
    out += '\n';
    if (out.size() > (1u << 16)) flush();
  };
  try {
    const SearchOutcome outcome =
        BuscaEnArchivos(tablas, folder.below.catalogos, Utf8ToAnsi(options.words[1]),
                        "(ver catalogos)", events, std::get<SearchFilter>(filter));
    flush();
    Write(std::to_string(outcome.matches) + "\n");
  } catch (const std::exception& error) {
    flush();
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
  const DataFolder folder = FindDataFolder(options);
  TTablas tablas;
  if (!OpenTables(tablas, folder, std::chrono::milliseconds(0))) return kFailed;
  const std::string& number = options.words[1];
  try {
    dbf::Table& discs = tablas.TablaCDRom;
    if (!discs.Locate("AUTO", number)) return Fail(kNotFound, "no disc " + number);
    // The rows go from the file list to the page piece by piece.
    GrabarComoHTMLDesdeArchivos(options.words[2], discs.AsString("TITULOCD"),
                                discs.AsString("BYTESCD"), false, folder.below.catalogos / number);
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
    if (command == "list") return List(*options);
    if (command == "files") return Files(*options);
    if (command == "search") return Search(*options);
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
