// TMenuPral: the main window. It owns the settings, the language store, the
// window placement and the data module, builds the four pages, and holds the
// frame's logic: start-up, relabelling, the page menu and tabs, the page
// visibility rule, the status lines and moving the window by its bottom bar.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_editor.h"
#include "app/startup.h"
#include "browse/loaded_catalogue.h"
#include "scan/drive_map.h"
#include "store/tablas.h"
#include "util/locale.h"

class QAbstractItemView;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QToolButton;

namespace zafirel {

class ArchivosPage;
class BusquedaPage;
class CatalogueRun;
class CatalogarPage;
class CatalogosPage;
class Dialogs;
class Language;
class PageControl;

inline constexpr const char* kVersionLine = "Zafirel! v1.1";
inline constexpr const char* kFirstRunMarker = "Primera Vez";

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
  void TraduceTodo(const std::string& languageFile);
  void MostrarCatalogoActual(const std::string& title);
  void ApplyPageVisibility();
  void FormActivate();
  void PaginaMouseUp();

  // The disc list and its album filter.
  void RellenaCDs(const std::string& key);
  void CDsChange(int row);
  void CDsColumnClick(int column);
  void CDsDblClick();
  void SeleccionarFilaPorTitulo(const std::string& title);
  std::string SavedSortKey();
  void RellenaFiltro(QComboBox* box);
  void HacerFiltro();
  void CFiltroChange();
  void BLimpiarFiltroClick();

  // The files page.
  bool CargarCatalogo(const std::filesystem::path& base);
  void CargarArbol(const std::filesystem::path& treeFile);
  void RefrescaArchivos();
  bool EncuentraArchivo(std::size_t& index);
  void ArbolClick();
  void ArchivosDblClick();
  // The jump to the file of a search hit: the selected node of a results
  // view, a file node under a disc node that carries the disc's number.
  void VerCD1Click(QAbstractItemView* results);
  void Borrararchivo1Click();
  void Editararchivo1Click();
  bool ArchivosEdited(int row, std::string& name);
  // Tells the user about an edit of file entries that did not reach the file.
  void ReportEdit(EditOutcome outcome);

  // Searching every catalogue.
  void BuscaEnArchivos(const std::string& text);
  void BBuscarClick();
  void BCancelarClick() { BusquedaCancelada = true; }
  void BuscaDblClick();
  bool BusquedaCancelada = false;

  // The options dialog and the data folder it changes.
  void Opciones1Click();
  // Makes the disc table of another folder the program's; false (and the
  // previous folder kept) when it cannot be opened.
  bool UseDataFolder(const std::filesystem::path& folder);
  // Imports the discs of another data folder, chosen by its disc table.
  void Importar1Click();

  // Saved searches and exported pages.
  void RellenaBusquedas();
  void GrabarBuscaClick();
  void CBusquedasChange();
  void VerHtmlClick();

  // Cataloguing a drive.
  void CatalogarClick();
  void Cataloga();
  void PararClick();
  DriveMap& Drives() { return drives_; }
  // The run in progress, if any.
  CatalogueRun* Run() { return run_.get(); }

  // Editing and deleting discs.
  void EditarCD1Click();
  void BorrarCD1Click();
  void BorrarCatalogo(const std::string& number);

  bool DataFolderExists() const { return dataFolderExists_; }
  const WorkingFolders& Folders() const { return folders_; }
  TTablas& Tablas() { return tablas_; }
  TIniEditor& Ini1() { return ini1_; }
  Language& Leng() { return leng_; }
  Dialogs& Messages() { return dialogs_; }
  const Locale& UserLocale() const { return locale_; }
  LoadedCatalogue& Catalogo() { return catalogo_; }

  // The lines of the tree file being written by a catalogue run.
  std::vector<std::string> LineasCarpetas;
  bool IgnorarCambios = false;

  // Controls, by the names the rest of the program knows them by.
  QFrame* Cabecera = nullptr;
  QToolButton* MArchivos = nullptr;
  QMenu* PopUpArchivos = nullptr;
  QAction* Catalogar1 = nullptr;
  QAction* Catalogos1 = nullptr;
  QAction* Archivos1 = nullptr;
  QAction* Busqueda1 = nullptr;
  QAction* Opciones1 = nullptr;
  QAction* VerHTML1 = nullptr;
  QAction* Importar1 = nullptr;
  QAction* Salir1 = nullptr;
  PageControl* Pagina = nullptr;
  CatalogarPage* PCatalogar = nullptr;
  CatalogosPage* PCatalogos = nullptr;
  ArchivosPage* PArchivos = nullptr;
  BusquedaPage* PBusqueda = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;

  enum PageIndex { kCatalogar = 0, kCatalogos = 1, kArchivos = 2, kBusqueda = 3 };

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Opens a data folder for use: upgrade, leftovers, indexes, unfinished runs;
  // tells the user what was mended.
  void PrepareTables(const std::filesystem::path& data, const std::filesystem::path& catalogos);
  void BuildFrame();
  void BuildMenu();
  void FormCreate();
  void FormClose();
  void ShowPageIfVisible(int page);
  void ConnectBrowsing();
  void ConnectSearching();
  std::filesystem::path CurrentBase();
  std::string CurrentNumber();
  int SelectedDiscRow() const;
  int SelectedFolder() const;
  std::vector<int> SelectedFileRows() const;
  void SelectFolder(int node);
  void ShowLoadedTree();
  void RebuildTree(const std::function<void()>& change);
  void ClearLoadedCatalogue();
  bool LocateDiscOfRow(int row);
  void ShowHint(const QString& hint);
  std::string CurrentTitle();
  void RestorePlacement();
  void SavePlacementNow();
  bool Label2Mouse(QEvent* event);

  const ProgramLocation where_;
  const Locale locale_;
  Language& leng_;
  Dialogs& dialogs_;
  TIniEditor ini1_;
  TIniEditor posicion_;
  TTablas tablas_;
  WorkingFolders folders_;
  LoadedCatalogue catalogo_;
  DriveMap drives_;
  std::unique_ptr<CatalogueRun> run_;
  bool pageChangeQuiet_ = false;
  bool searching_ = false;  // the program switches pages itself
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
