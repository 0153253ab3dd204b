// The window's pages on the offscreen platform, over a data folder the
// benchmark seeded: a page built alone, handed what the main window would
// hand it, or the whole main window of the program installed beside the
// data folder. Both report through dialogs that record every message,
// answer OK and let the window system handle pending events as the
// window's own dialogs do.
#pragma once

#include <QApplication>
#include <QObject>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/menu_pral.h"
#include "settings/ini_editor.h"
#include "settings/language.h"
#include "store/catalogue_files.h"
#include "store/tablas.h"
#include "util/dialogs.h"
#include "util/gui/services.h"
#include "util/locale.h"

namespace bench {

// The control of that object name below root, as the window names its
// controls; a benchmark without it cannot go on.
template <class T>
T& Control(const QObject& root, const char* name) {
  T* found = root.findChild<T*>(QString::fromUtf8(name));
  if (found == nullptr) {
    std::fprintf(stderr, "no control named %s\n", name);
    std::exit(2);
  }
  return *found;
}

class RecordingDialogs : public zafirel::Dialogs {
 public:
  void PonerMensaje(const std::string& text) override { messages.push_back(text); }
  bool ConfirmOkCancel(const std::string&, const std::string&, Default) override { return true; }
  std::unique_ptr<zafirel::Progress> ShowProgress(const std::string&) override { return nullptr; }
  void ProcessEvents() override { QApplication::processEvents(); }

  std::vector<std::string> messages;
};

// The services of a page alone: the disc table opened with its ten index
// files (built already), the data folder's settings file and the Spanish
// language file.
struct PageRig {
  explicit PageRig(const std::filesystem::path& data) : folders(zafirel::FoldersBelow(data)) {
    ini.SetFileLocation(zafirel::TFileLocation::PathInFileName);
    ini.SetFileName((data / "Opcion.INI").string());
    tablas.SetFolder(data);
    tablas.OpenDiscTable();
  }

  zafirel::TTablas tablas;
  zafirel::TIniEditor ini;
  zafirel::Language leng{std::filesystem::path(ZAFIREL_SOURCE_DIR) / "lang" / "Espanol.Len"};
  RecordingDialogs dialogs;
  zafirel::Locale locale;
  zafirel::WorkingFolders folders;
  zafirel::PageServices services{tablas, ini, leng, dialogs, locale, folders};
};

// The program installed in data/bin with the shipped language files and a
// settings file naming the data folder; returns that program folder.
inline std::filesystem::path InstallProgram(const std::filesystem::path& data) {
  const std::filesystem::path program = data / "bin";
  std::filesystem::create_directories(program);
  for (const char* name : {"Espanol.Len", "Ingles.Len"})
    std::filesystem::copy_file(std::filesystem::path(ZAFIREL_SOURCE_DIR) / "lang" / name,
                               program / name, std::filesystem::copy_options::overwrite_existing);
  std::FILE* settings = std::fopen((program / "Opcion.INI").c_str(), "wb");
  std::fprintf(settings, "[General]\r\nDirectorio=%s/\r\n", data.c_str());
  std::fclose(settings);
  return program;
}

// The main window of that installation, its data module created (the disc
// table opened and the pages filled) but not shown.
struct WindowRig {
  explicit WindowRig(const std::filesystem::path& data)
      : program(InstallProgram(data)),
        leng(program / "Espanol.Len"),
        window({program, program, program}, zafirel::Locale{}, leng, dialogs) {
    window.CreaModuloDatos();
  }

  std::filesystem::path program;
  zafirel::Language leng;
  RecordingDialogs dialogs;
  zafirel::TMenuPral window;
};

}  // namespace bench
