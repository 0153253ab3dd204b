#include "app/startup.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "settings/ini_editor.h"
#include "settings/language.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/folder_lock.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

fs::path XdgFolder(const char* variable, const char* fallbackBelowHome) {
  const char* value = std::getenv(variable);
  if (value != nullptr && *value == '/') return fs::path(value) / "Zafirel";
  const char* home = std::getenv("HOME");
  return fs::path(home != nullptr ? home : "/tmp") / fallbackBelowHome / "Zafirel";
}

bool Writable(const fs::path& folder) { return ::access(folder.c_str(), W_OK) == 0; }

}  // namespace

void SettleTimeZone() {
  if (std::getenv("TZ") == nullptr) ::setenv("TZ", ":/etc/localtime", 0);
}

fs::path RunningExecutableFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : exe.parent_path();
}

fs::path ShippedLanguageFolder(const fs::path& executableFolder) {
  if (!ListFiles(executableFolder, "*.Len").empty()) return executableFolder;
  return (executableFolder / ".." / "share" / "zafirel").lexically_normal();
}

ProgramLocation LocateProgram(const fs::path& executableFolder) {
  ProgramLocation where{executableFolder, executableFolder, executableFolder};
  // An installed program (its language files in share/) keeps nothing beside
  // its executable, not even when run by a user who could write there.
  const fs::path shipped = ShippedLanguageFolder(executableFolder);
  const bool installed = shipped != executableFolder && !ListFiles(shipped, "*.Len").empty();
  if (Writable(executableFolder) && !installed) return where;
  where.programFolder = XdgFolder("XDG_CONFIG_HOME", ".config");
  where.defaultDataFolder = XdgFolder("XDG_DATA_HOME", ".local/share");
  std::error_code ec;
  fs::create_directories(where.programFolder, ec);
  fs::create_directories(where.defaultDataFolder, ec);
  return where;
}

fs::path DetermineDataFolder(TIniEditor& ini1, const fs::path& defaultFolder) {
  std::string folder = ini1.ReadPath("General", "Directorio").value_or(fs::path()).string();
  if (folder.empty()) folder = defaultFolder.string();
  if (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  ini1.WritePath("General", "Directorio", folder);
  return folder;
}

void CopyShippedLanguageFiles(const fs::path& shippedFolder, const fs::path& dataFolder) {
  if (!ListFiles(dataFolder, "*.Len").empty()) return;
  for (const std::string& name : ListFiles(shippedFolder, "*.Len")) {
    std::error_code ec;
    fs::copy_file(shippedFolder / name, dataFolder / name, fs::copy_options::skip_existing, ec);
  }
}

std::optional<std::string> CreaFicheros(const fs::path& dataFolder, const Language& language) {
  // Programs starting together on a new folder: one makes the tables, the
  // others find them made.
  const FolderLock lock(dataFolder);
  std::string report = language.Traduce("FicherosCreados");
  bool missing = false;
  if (ListFiles(dataFolder, "CDRom.Dbf").empty()) {
    missing = true;
    if (TTablas::CreateDiscTable(dataFolder)) report += "CDRom, ";
  }
  if (ListFiles(dataFolder, "Img.dbf").empty()) {
    missing = true;
    if (TTablas::CreateCoverTable(dataFolder)) report += language.Traduce("Imagenes") + ", ";
  }
  if (!missing) return std::nullopt;
  // Drop the trailing ", " of the last table named; when no table could be
  // made, only the introduction is left and nothing is cut from it.
  if (report.size() >= 2 && report.compare(report.size() - 2, 2, ", ") == 0)
    report.resize(report.size() - 2);
  return report + ".";
}

void MakeWorkingFolder(const fs::path& folder, const char* folderKey, const Language& language,
                       Dialogs& dialogs) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  if (!fs::create_directory(folder, ec) || ec) {
    const std::string cause = CauseText(language.Translator(), ec ? ec.value() : EIO);
    dialogs.PonerMensaje(language.Traduce("ErrorCrearDirectorio") + " " +
                         language.Traduce(folderKey) + " : " + PathText(folder) + " (" + cause +
                         ")");
  }
}

void EmptyFolderFiles(const fs::path& folder) {
  std::error_code ec;
  for (const std::string& name : ListFiles(folder, "*.*")) fs::remove(folder / name, ec);
}

}  // namespace zafirel
