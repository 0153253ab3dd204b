// The "Catalogar" page: the buttons that start and stop a catalogue run, the
// run's options and, while it walks, its figures (folders, files, bytes,
// time) with a progress bar. The run writes the disc's catalogue files as it
// walks and tells the window each step through signals.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scan/catalogue_run.h"
#include "scan/drive_map.h"
#include "util/gui/services.h"
#include "util/gui/wait_cursor.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QFrame;
class QPlainTextEdit;
class QPushButton;

namespace zafirel {

class DiscUpdate;

class CatalogarPage : public QWidget {
  Q_OBJECT
 public:
  explicit CatalogarPage(const PageServices& services, QWidget* parent = nullptr);
  ~CatalogarPage() override;

  void CatalogarClick();
  void Cataloga();
  void PararClick();
  // Walks disc number again where the user says it is now, shows what
  // changed and, when the user agrees, puts the walk in place of its
  // catalogue (title, album, notes, cover and comments kept).
  void ActualizarClick(const std::string& number);

  // The drive map and the "Zip" option from the settings.
  void LoadSettings();
  void Retranslate();
  DriveMap& Drives() { return drives_; }
  // The run whose disc is being added and walked, if any (not while its
  // drive is being checked).
  CatalogueRun* Run() { return walking_ ? run_.get() : nullptr; }
  bool Running() const { return walking_; }
  // Whether a catalogue run or an update holds the page.
  bool Busy() const { return run_ || update_; }

 signals:
  // A line for the status line; with bottomToo the bottom bar repeats it.
  void StatusText(const QString& text, bool bottomToo);
  // Every disc must be listed for the duplicate test.
  void AllDiscsWanted();
  // The disc of that title is in the table already.
  void DuplicateFound(const std::string& title);
  // The walk is about to start; the window takes no other command.
  void WalkStarting();
  // The new disc's record is in the table and current.
  void DiscAppended(const std::string& title);
  // The walk is over (finished, stopped or failed).
  void WalkEnded();
  // The new disc's files are written: the disc editor opens on it.
  void EditNewDisc();
  // The new disc's catalogue is in memory and in its files.
  void DiscCatalogued(const std::string& number);
  // Stop was pressed: the new disc goes.
  void DiscardRequested(const std::string& number);
  // The run is over; number is the disc it made or updated (empty when none).
  void RunEnded(const std::string& number);

 private:
  std::string Traduce(const char* key) const;
  // Stores a check box's setting; a lost write is reported.
  void SaveSetting(const char* key, const char* value);

  // Shows how far the run has come.
  void ShowProgress(const RunProgress& progress);
  // The drive the user chooses for a walk, as a root ("D:\\"); empty when
  // cancelled.
  std::string ChooseRoot(const std::string& title);
  // The page's options on a run, and the hooks that show its walk.
  RunHooks WalkShown(CatalogueRun& run, std::optional<WaitCursor>& wait);
  // The buttons when no walk goes on.
  void Idle();
  // Whether a run of that outcome went as far as its walk.
  static bool Walked(RunOutcome outcome);
  // Tells the user why a run refused or failed (nothing when it completed).
  void TellOutcome(const RunResult& result);
  void Actualiza(const std::string& number);
  // The changes of the walked update, and the update applied if agreed.
  void Confirm(const std::string& number);

  QPushButton* Catalogar = nullptr;
  QPushButton* Parar = nullptr;
  QFrame* Panel1 = nullptr;
  QCheckBox* Subdirectorios = nullptr;
  QCheckBox* Zips = nullptr;
  QCheckBox* Comprimidos = nullptr;  // archives' members catalogued as folders
  QPlainTextEdit* Memo1 = nullptr;   // never shown: buffer for description files
  QProgressBar* Progreso = nullptr;  // shown while a run walks; busy when its total is unknown
  QLabel* Cifras = nullptr;          // the run's figures so far

  PageServices services_;
  DriveMap drives_;
  std::unique_ptr<CatalogueRun> run_;
  std::unique_ptr<DiscUpdate> update_;
  bool walking_ = false;
};

}  // namespace zafirel
