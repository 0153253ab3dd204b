// TMenuPral: the main window. It owns the settings, the language store, the
// window placement and the disc tables, builds the four pages and wires them
// together, and holds the frame's logic: start-up and shutdown, relabelling,
// the page menu and tabs, the page visibility rule, the status lines, moving
// the window by its bottom bar, and the commands of the menu (Opciones,
// Importar, Ver HTML). Each page owns its own controls and handlers.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/gui/qt_translation.h"
#include "app/startup.h"
#include "settings/ini_editor.h"
#include "store/tablas.h"
#include "util/gui/services.h"
#include "util/locale.h"
#include "util/records.h"
#include "util/version.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QToolButton;

namespace zafirel {

class ArchivosPage;
class BusquedaPage;
class CatalogarPage;
class CatalogosPage;
class Dialogs;
class Language;
class PageControl;

class TMenuPral : public QWidget {
  Q_OBJECT
 public:
  // Runs the window's creation steps; check DataFolderExists() afterwards.
  TMenuPral(const ProgramLocation& where, const Locale& locale, Language& leng, Dialogs& dialogs,
            QWidget* parent = nullptr);
  ~TMenuPral() override;

  // The data module's creation: opens the disc table and fills the window.
  // False when the data folder is missing: the program must end.
  bool CreaModuloDatos();

  std::string Traduce(std::string_view key) const;
  // Reads a language file and relabels the frame and every page.
  void TraduceTodo(const std::string& languageFile);
  void MostrarCatalogoActual(const std::string& title);
  void ApplyPageVisibility();
  void FormActivate();
  void PaginaMouseUp();

  // The options dialog and the data folder it changes.
  void Opciones1Click();
  // Makes the disc table of another folder the program's; when it cannot be
  // opened the previous folder is kept and what refused it is thrown.
  void UseDataFolder(const std::filesystem::path& folder);
  // Imports the discs of another data folder, chosen by its disc table.
  void Importar1Click();
  // Writes one page per disc marked in the selection dialog.
  void VerHtmlClick();
  // The marked discs' file lists as CSV files in the export folder.
  void VerCsvClick();
  // The files held on more than one disc; a copy chosen there is shown.
  void RepetidosClick();
  // Walks a disc again on the Catalogar page, then comes back to the list.
  void UpdateDisc(const std::string& number);
  // The collection's totals and charts.
  void EstadisticasClick();

  // Operations that live on the pages, by the names the program knows them by.
  void RellenaCDs(const std::string& key);
  void CatalogarClick();

  bool DataFolderExists() const { return dataFolderExists_; }
  const WorkingFolders& Folders() const { return folders_; }
  TTablas& Tablas() { return tablas_; }
  TIniEditor& Ini1() { return ini1_; }

  enum PageIndex { kCatalogar = 0, kCatalogos = 1, kArchivos = 2, kBusqueda = 3 };

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Ver HTML and Exportar CSV: the discs marked in the selection dialog,
  // each written to the export folder as a page or as records.
  void ExportMarkedDiscs(std::optional<RecordFormat> records);
  // The discs the user marks in the disc selection dialog (numbers); the
  // disc list and the current disc as they were.
  std::vector<std::string> ChooseDiscs();
  // Opens a data folder for use: upgrade, leftovers, indexes, unfinished runs;
  // tells the user what was mended.
  void PrepareTables(const std::filesystem::path& data, const std::filesystem::path& catalogos);
  void BuildFrame();
  void BuildMenu();
  void WirePages();
  void WireRun();
  void FormCreate();
  void FormClose();
  void ShowPageIfVisible(int page);
  void ShowHit(const std::string& number, const std::string& hitPath);
  void ShowStatus(const QString& text, bool bottomToo);
  void ShowHint(const QString& hint);
  void CloseIfAsked();
  void RestorePlacement();
  void SavePlacementNow();
  bool Label2Mouse(QEvent* event);

  // Controls, by their object names; each page owns its own.
  QFrame* Cabecera = nullptr;
  QToolButton* MArchivos = nullptr;
  QMenu* PopUpArchivos = nullptr;
  QAction* Catalogar1 = nullptr;
  QAction* Catalogos1 = nullptr;
  QAction* Archivos1 = nullptr;
  QAction* Busqueda1 = nullptr;
  QAction* Opciones1 = nullptr;
  QAction* VerHTML1 = nullptr;
  QAction* VerCSV1 = nullptr;
  QAction* Actualizar1 = nullptr;
  QPointer<QWidget> focusBeforeMenu_;  // the last control the user was on, the menu aside
  QAction* Repetidos1 = nullptr;
  QAction* Estadisticas1 = nullptr;
  QAction* Importar1 = nullptr;
  QAction* Salir1 = nullptr;
  PageControl* Pagina = nullptr;
  CatalogarPage* PCatalogar = nullptr;
  CatalogosPage* PCatalogos = nullptr;
  ArchivosPage* PArchivos = nullptr;
  BusquedaPage* PBusqueda = nullptr;
  QLabel* Label1 = nullptr;  // the status line
  QLabel* Label2 = nullptr;  // the bottom bar, which moves the window

  const ProgramLocation where_;
  const Locale locale_;
  Language& leng_;
  Dialogs& dialogs_;
  TIniEditor ini1_;
  TIniEditor posicion_;
  TTablas tablas_;
  WorkingFolders folders_;
  const PageServices services_;
  bool firstRun_ = false;
  std::optional<std::string> shownTitle_;  // the disc the status line names
  QtTranslation qtTranslation_;
  bool pageChangeQuiet_ = false;  // the program switches pages itself
  bool importing_ = false;
  // Closing was asked while a run, a search or an import was going on: the
  // work stops as its Stop or Cancel would, and the window closes after it.
  bool closeAfterWork_ = false;
  bool dataFolderExists_ = false;
  bool closed_ = false;
  bool placementRestored_ = false;
  bool dragging_ = false;
  QPoint dragStart_;
};

}  // namespace zafirel
