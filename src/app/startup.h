// The steps of starting and closing the program that need no window: where
// the program's settings and data live, the first-run tables, the working
// folders below the data folder, and emptying the temporary folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "scan/drive_map.h"
#include "store/catalogue_files.h"

namespace zafirel {

class Dialogs;
class Language;
class TIniEditor;

// Where the program keeps its settings file and, by default, its data. The
// program's folder is the executable's folder; when that folder cannot be
// written, or the program is installed (its language files in share/, see
// ShippedLanguageFolder), the user's XDG configuration folder takes its place
// for the settings and the XDG data folder for the data.
struct ProgramLocation {
  std::filesystem::path executableFolder;  // see ShippedLanguageFolder
  std::filesystem::path programFolder;     // holds the settings file "Opcion.INI"
  std::filesystem::path defaultDataFolder;
};

std::filesystem::path RunningExecutableFolder();

// Without TZ set, the C library looks at /etc/localtime again for every local
// time it converts (archive members' dates: two looks a member). Naming that
// file in TZ gives the same zone, read once.
void SettleTimeZone();
ProgramLocation LocateProgram(const std::filesystem::path& executableFolder);

// The folder of the shipped language files: the executable's folder when it
// holds "*.Len" files (a build folder), else "<executable folder>/../share/zafirel"
// (an installed program, bin/ beside share/).
std::filesystem::path ShippedLanguageFolder(const std::filesystem::path& executableFolder);

// Reads General/Directorio (empty: the default folder), drops one trailing
// separator, and writes the result back so the settings always name the data
// folder in use.
std::filesystem::path DetermineDataFolder(TIniEditor& ini1,
                                          const std::filesystem::path& defaultFolder);

// Copies the shipped "*.Len" files into a data folder that holds none, so a
// new data folder does not start with a window of empty captions.
void CopyShippedLanguageFiles(const std::filesystem::path& shippedFolder,
                              const std::filesystem::path& dataFolder);

// Creates the disc and cover tables that are missing, under the folder's
// lock (FolderBusy when another program keeps it). Returns the report to
// show when at least one table file was missing, else nothing.
std::optional<std::string> CreaFicheros(const std::filesystem::path& dataFolder,
                                        const Language& language);

// Creates one working folder when missing; a failure is reported with the
// folder's language key and the program goes on.
void MakeWorkingFolder(const std::filesystem::path& folder, const char* folderKey,
                       const Language& language, Dialogs& dialogs);

// Deletes every file directly inside the folder; files that cannot be
// deleted and subfolders stay.
void EmptyFolderFiles(const std::filesystem::path& folder);

}  // namespace zafirel
