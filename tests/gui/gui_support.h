// Helpers shared by the window tests: controls found by their names,
// scripted dialogs that record what would have been shown, whole-file reads
// and writes, and one program installation in a temporary folder.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/gui/menu_pral.h"
#include "app/startup.h"
#include "record_support.h"
#include "settings/ini_editor.h"
#include "settings/language.h"
#include "store/catalogue_files.h"
#include "store/tablas.h"
#include "util/dialogs.h"
#include "util/gui/letter_keys.h"
#include "util/gui/services.h"
#include "util/locale.h"

namespace {

// The one control of type T named name below root, as a window's controls
// are known by their object names. None or more than one fails the test at
// the caller's line, naming the control, and the test goes no further.
template <class T>
T& Child(const QObject& root, const char* name, const char* file = __builtin_FILE(),
         int line = __builtin_LINE()) {
  const QList<T*> found = root.findChildren<T*>(QString::fromUtf8(name));
  if (found.size() == 1) return *found.front();
  const QByteArray what = (found.isEmpty() ? "no " : "more than one ") +
                          QByteArray(T::staticMetaObject.className()) + " named \"" + name +
                          "\" below " + root.metaObject()->className() + " \"" +
                          root.objectName().toUtf8() + "\"";
  QTest::qFail(what.constData(), file, line);
  throw std::runtime_error(what.toStdString());
}

class ScriptedDialogs : public zafirel::Dialogs {
 public:
  void PonerMensaje(const std::string& text) override { messages.push_back(text); }
  // Answers OK unless an answer was queued.
  bool ConfirmOkCancel(const std::string& caption, const std::string& text,
                       Default pressed) override {
    questions.push_back(caption + "|" + text);
    defaults.push_back(pressed);
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::unique_ptr<zafirel::Progress> ShowProgress(const std::string&) override { return nullptr; }
  void ProcessEvents() override {
    if (onProcessEvents) onProcessEvents();
  }
  // The drive chooser's answer, and what it was offered.
  std::string ChooseDrive(const std::string& title,
                          const std::vector<zafirel::DriveChoice>& drives) override {
    chooserTitle = title;
    offered = drives;
    return driveAnswer;
  }
  bool OpenDocument(const std::filesystem::path& document) override {
    opened.push_back(document);
    return canOpen;
  }
  std::filesystem::path ChooseFile(const std::string&, const std::string&, const std::string&,
                                   const std::filesystem::path& startFolder) override {
    fileStart = startFolder;
    return fileAnswer;
  }
  std::filesystem::path fileAnswer, fileStart;
  std::vector<std::filesystem::path> opened;
  bool canOpen = true;
  std::function<void()> onProcessEvents;
  std::string driveAnswer;
  std::string chooserTitle;
  std::vector<zafirel::DriveChoice> offered;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::vector<Default> defaults;  // the button Enter presses, a question each
  std::deque<bool> answers;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Makes the window the active one, as keyboard shortcuts need; false when
// the platform did not activate it.
inline bool Activate(QWidget& window) {
  window.activateWindow();
  return QTest::qWaitForWindowActive(&window);
}

// Shows the window and waits until it is on screen and active.
inline bool ShowActive(QWidget& window) {
  window.show();
  return QTest::qWaitForWindowExposed(&window) && Activate(window);
}

// The executable's folder with the shipped language files, which is also the
// data folder.
struct Installation {
  QTemporaryDir root;
  std::filesystem::path exe, data;
  Installation() {
    zafirel::GiveLetterKeysToDialogs();  // as the program's start does
    exe = std::filesystem::path(root.path().toStdString()) / "bin";
    data = exe;
    std::filesystem::create_directories(exe);
    for (const char* name : {"Espanol.Len", "Ingles.Len"})
      std::filesystem::copy_file(std::filesystem::path(ZAFIREL_SOURCE_DIR) / "lang" / name,
                                 exe / name);
  }
  zafirel::ProgramLocation Where() const { return {exe, exe, exe}; }
  std::string Text(const char* file, const char* key) const {
    zafirel::Language language(exe / file);
    return language.Traduce(key);
  }
};

// What the main window hands a page, made up in a temporary installation:
// the disc table (seeded by the caller, then opened with its indexes built),
// a settings file, the Spanish language file and scripted dialogs.
struct StandInServices {
  Installation inst;
  zafirel::TTablas tablas;
  zafirel::TIniEditor ini;
  zafirel::Language leng{inst.exe / "Espanol.Len"};
  ScriptedDialogs dialogs;
  zafirel::Locale locale;
  zafirel::WorkingFolders folders = zafirel::FoldersBelow(inst.data);
  zafirel::PageServices services{tablas, ini, leng, dialogs, locale, folders};

  StandInServices() {
    ini.SetFileLocation(zafirel::TFileLocation::PathInFileName);
    ini.SetFileName((inst.data / "Opcion.INI").string());
    for (const auto& folder : {folders.catalogos, folders.busquedas, folders.temp})
      std::filesystem::create_directories(folder);
  }
  // Opens the disc table the caller wrote, its indexes built.
  void OpenTables() {
    tablas.SetFolder(inst.data);
    zafirel::RegeneraIndices(tablas.TablaCDRom, inst.data, dialogs, "");
    tablas.OpenDiscTable();
  }
};

// The program installed in a temporary folder with its main window on the
// data there: seed the data folder, then Open(), then Show() (which also
// drops the greeting of a first start).
struct OpenWindow {
  Installation inst;
  zafirel::Language leng{inst.exe / "Espanol.Len"};
  ScriptedDialogs dialogs;
  std::unique_ptr<zafirel::TMenuPral> window;

  void Open() {
    window = std::make_unique<zafirel::TMenuPral>(inst.Where(), zafirel::Locale{}, leng, dialogs);
    window->CreaModuloDatos();
  }
  void Show() {
    ShowActive(*window);
    dialogs.messages.clear();
  }
};

}  // namespace
