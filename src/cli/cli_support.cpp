#include "cli/cli_support.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/startup.h"
#include "settings/language.h"
#include "store/index_set.h"
#include "util/codepage.h"
#include "util/folder_lock.h"
#include "util/wildcard.h"

namespace zafirel::cli {
namespace fs = std::filesystem;

void Silent::PonerMensaje(const std::string& text) {
  std::fprintf(stderr, "zafirel-cli: %s\n", AnsiToUtf8(text).c_str());
}

std::unique_ptr<Progress> Silent::ShowProgress(const std::string& text) {
  if (::isatty(STDERR_FILENO) == 0) return nullptr;
  return std::make_unique<TerminalProgress>(text);
}

const Translate& English() {
  static const Language english(ShippedLanguageFolder(RunningExecutableFolder()) / "Ingles.Len");
  static const Translate translate = [](std::string_view key) {
    std::string text = english.Traduce(key);
    return text.empty() ? std::string(key) : text;
  };
  return translate;
}

std::string Why(const std::exception& error) { return AnsiToUtf8(FailureText(English(), error)); }

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "zafirel-cli: %s\n", message.c_str());
  return code;
}

namespace {
int outputError = 0;
}  // namespace

void Write(std::string_view text) {
  if (outputError != 0 || text.empty()) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
    outputError = errno != 0 ? errno : EIO;
}

bool OutputFailed() { return outputError != 0; }

int FinishOutput(int code) {
  errno = 0;
  if (outputError == 0 && (std::fflush(stdout) != 0 || std::ferror(stdout)))
    outputError = errno != 0 ? errno : EIO;
  if (outputError == 0) return code;
  return Fail(kFailed,
              std::string("the output could not be written: ") + std::strerror(outputError));
}

std::vector<std::string> Options::All(const std::string& name) const {
  const auto found = repeated.find(name);
  return found == repeated.end() ? std::vector<std::string>{} : found->second;
}

std::optional<Options> Parse(int argc, char** argv, int from) {
  static const char* const kValued[] = {
      "--data",     "--letter",   "--title", "--album",  "--sort", "--ext",    "--kind",
      "--min-size", "--max-size", "--after", "--before", "--disc", "--format", "--by"};
  static const char* const kFlags[] = {"--no-subfolders", "--zips", "--archives", "--dry-run",
                                       "--help"};
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

int ReadFormat(const Options& options, std::optional<RecordFormat>& records) {
  records.reset();
  const auto format = options.values.find("--format");
  if (format == options.values.end() || format->second == "text") return kDone;
  if (format->second == "csv") return records = RecordFormat::kCsv, kDone;
  if (format->second == "json") return records = RecordFormat::kJson, kDone;
  return Fail(kUsage, "--format takes text, csv or json, not \"" + format->second + "\"");
}

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

}  // namespace zafirel::cli
