// The "Catalogar" page: the buttons that start and stop a catalogue run, the
// run's options and, while it walks, its figures (folders, files, bytes,
// time) with a progress bar. The run writes the disc's catalogue files as it
// walks and tells the window each step through signals.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "scan/drive_map.h"
#include "util/gui/services.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QFrame;
class QPlainTextEdit;
class QPushButton;

namespace zafirel {

class CatalogueRun;
struct RunProgress;

class CatalogarPage : public QWidget {
  Q_OBJECT
 public:
  explicit CatalogarPage(const PageServices& services, QWidget* parent = nullptr);
  ~CatalogarPage() override;

  void CatalogarClick();
  void Cataloga();
  void PararClick();

  // The drive map and the "Zip" option from the settings.
  void LoadSettings();
  void Retranslate();
  DriveMap& Drives() { return drives_; }
  // The run whose disc is being added and walked, if any (not while its
  // drive is being checked).
  CatalogueRun* Run() { return walking_ ? run_.get() : nullptr; }
  bool Running() const { return walking_; }

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
  // The run is over; number is the new disc's, empty when none was made.
  void RunEnded(const std::string& number);

 private:
  std::string Traduce(const char* key) const;
  // Stores a check box's setting; a lost write is reported.
  void SaveSetting(const char* key, const char* value);

  // Shows how far the run has come.
  void ShowProgress(const RunProgress& progress);

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
  bool walking_ = false;
};

}  // namespace zafirel
