// The main window's browsing: the disc list and its album filter, and the
// files page with its folder tree, file list, file-entry edits and the jump
// to a search hit's file.
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTableView>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>
#include <functional>

#include "app/gui/menu_pral.h"
#include "app/gui/page_control.h"
#include "util/gui/qt_text.h"
#include "util/gui/wait_cursor.h"
#include "settings/language.h"
#include "store/album_filter.h"
#include "browse/disc_list.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/browse_models.h"
#include "browse/gui/catalogos_page.h"
#include "browse/gui/propiedades.h"
#include "search/gui/busqueda_page.h"
#include "search/gui/results_roles.h"
#include "store/index_files.h"
#include "util/dialogs.h"
#include "util/guarded.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

void TMenuPral::ConnectBrowsing() {
  QTableView* cds = PCatalogos->CDs;
  connect(cds->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) CDsChange(current.row());
          });
  connect(cds->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int column) { Guarded([&] { CDsColumnClick(column); }); });
  connect(cds, &QAbstractItemView::doubleClicked, this,
          [this] { Guarded([&] { CDsDblClick(); }); });
  for (QKeySequence key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
    auto* open = new QShortcut(key, cds, nullptr, nullptr, Qt::WidgetShortcut);
    connect(open, &QShortcut::activated, this, [this] { Guarded([&] { CDsDblClick(); }); });
  }
  connect(PCatalogos->CFiltro, &QComboBox::currentTextChanged, this, [this] { CFiltroChange(); });
  connect(PCatalogos->BLimpiarFiltro, &QPushButton::clicked, this,
          [this] { BLimpiarFiltroClick(); });
  connect(PCatalogos->EditarCD1, &QAction::triggered, this, [this] { EditarCD1Click(); });
  connect(PCatalogos->BorrarCD1, &QAction::triggered, this, [this] { BorrarCD1Click(); });

  connect(PArchivos->Arbol, &QAbstractItemView::clicked, this, [this] { ArbolClick(); });
  PArchivos->Arbol->installEventFilter(this);  // key releases: ArbolKeyUp
  connect(PArchivos->Archivos, &QAbstractItemView::doubleClicked, this,
          [this] { ArchivosDblClick(); });
  connect(PArchivos->Borrararchivo1, &QAction::triggered, this, [this] { Borrararchivo1Click(); });
  connect(PArchivos->Editararchivo1, &QAction::triggered, this, [this] { Editararchivo1Click(); });
  PArchivos->Ficheros->SetRenameHook(
      [this](int row, std::string& name) { return ArchivosEdited(row, name); });
}

std::string TMenuPral::SavedSortKey() {
  std::string key = "TituloCD";
  Guarded([&] { key = ini1_.ReadStr("General", "Indice", "TituloCD"); });
  return key;
}

void TMenuPral::RellenaCDs(const std::string& key) {
  IgnorarCambios = true;
  QTableView* cds = PCatalogos->CDs;
  DiscListModel* model = PCatalogos->Discos;
  cds->setEnabled(false);
  cds->setUpdatesEnabled(false);
  struct Resume {
    QTableView* view;
    ~Resume() {
      view->setUpdatesEnabled(true);
      view->setEnabled(true);
    }
  } resume{cds};
  model->SetRows({});
  model->SetMarkedColumn(-1, {});
  try {
    DiscListing listing = ListDiscs(tablas_, key, locale_);
    const int marked = listing.markedColumn;
    const std::size_t count = listing.rows.size();
    model->SetRows(std::move(listing.rows));
    if (count == 0) Label1->setText(Qs(Traduce("CatalogoActual")));
    Label2->setText(Qs(std::string(kVersionLine) + " - ") + Label1->text());
    PCatalogos->Label5->setText(
        Qs(Traduce("TotalCatalogos") + " " + std::to_string(tablas_.TablaCDRom.RecordCount())));
    IgnorarCambios = false;
    model->SetMarkedColumn(marked, style()->standardIcon(QStyle::SP_ArrowUp));
  } catch (...) {
    IgnorarCambios = false;
    throw;
  }
}

bool TMenuPral::LocateDiscOfRow(int row) {
  if (row < 0 || row >= PCatalogos->Discos->rowCount()) return false;
  return tablas_.TablaCDRom.Locate("NSERIECD", PCatalogos->Discos->Row(row).cells[3]);
}

void TMenuPral::CDsChange(int row) {
  if (IgnorarCambios || !tablas_.TablaCDRom.Active()) return;
  if (row < 0 || row >= PCatalogos->Discos->rowCount()) return;
  const std::string caption = PCatalogos->Discos->Row(row).cells[0];
  const std::string notFound = Traduce("CatalogoNoEncontrado") + " : " + caption;
  try {
    if (!LocateDiscOfRow(row)) dialogs_.PonerMensaje(notFound);
    MostrarCatalogoActual(caption);
  } catch (...) {
    dialogs_.PonerMensaje(notFound);
  }
}

void TMenuPral::CDsColumnClick(int column) {
  if (column < 0 || column >= static_cast<int>(kSortKeys.size())) return;
  const std::string key(kSortKeys[static_cast<std::size_t>(column)].key);
  ini1_.WriteStr("General", "Indice", key);
  Label1->setText(Qs(Traduce("CatalogoActual") + " " + CurrentTitle()));
  RellenaCDs(key);
}

void TMenuPral::CDsDblClick() {
  dialogs_.ProcessEvents();
  Pagina->setCurrentIndex(kArchivos);  // runs the page change
  dialogs_.ProcessEvents();
}

int TMenuPral::SelectedDiscRow() const {
  const QModelIndexList rows = PCatalogos->CDs->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void TMenuPral::SeleccionarFilaPorTitulo(const std::string& title) {
  const DiscListModel* model = PCatalogos->Discos;
  const std::string wanted = UpperAnsi(title);
  for (int row = 0; row < model->rowCount(); ++row) {
    const std::string& caption = model->Row(row).cells[0];
    if (caption.size() < wanted.size() || UpperAnsi(caption.substr(0, wanted.size())) != wanted)
      continue;
    const QModelIndex index = model->index(row, 0);
    PCatalogos->CDs->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    PCatalogos->CDs->scrollTo(index, QAbstractItemView::EnsureVisible);
    return;
  }
}

void TMenuPral::RellenaFiltro(QComboBox* box) {
  std::vector<std::string> albums;
  try {
    albums = ListAlbums(tablas_);
  } catch (...) {
  }
  const QSignalBlocker quiet(box);  // filling the choices is not a choice
  const QString shown = box->currentText();
  box->clear();
  for (const std::string& album : albums) box->addItem(Qs(album));
  box->setCurrentIndex(box->findText(shown));
}

void TMenuPral::HacerFiltro() {
  const std::string album = Ansi(PCatalogos->CFiltro->currentText());
  ApplyAlbumFilter(tablas_, "");
  if (album.empty()) {
    RellenaCDs(SavedSortKey());
    return;
  }
  Guarded([&] {
    ApplyAlbumFilter(tablas_, album);
    RellenaCDs(std::string(kAlbumFilterKey));
  });
}

void TMenuPral::CFiltroChange() {
  Guarded([&] { HacerFiltro(); });
}

void TMenuPral::BLimpiarFiltroClick() { PCatalogos->CFiltro->setCurrentIndex(-1); }

std::string TMenuPral::CurrentNumber() {
  if (!tablas_.TablaCDRom.Active() || tablas_.TablaCDRom.IsEmpty()) return {};
  return tablas_.TablaCDRom.AsString("AUTO");
}

fs::path TMenuPral::CurrentBase() {
  const std::string number = CurrentNumber();
  if (number.empty()) return {};
  return folders_.catalogos / number;
}

void TMenuPral::ShowLoadedTree() {
  PArchivos->Ficheros->SetRows({});
  PArchivos->Carpetas->EndChange(&catalogo_.Arbol);
}

void TMenuPral::ClearLoadedCatalogue() {
  PArchivos->Carpetas->BeginChange();
  catalogo_.Clear();
  ShowLoadedTree();
}

bool TMenuPral::CargarCatalogo(const fs::path& base) {
  if (base.empty()) return false;
  fs::path treeFile = base;
  treeFile += ".Ind";
  std::error_code ec;
  if (!fs::exists(treeFile, ec) || catalogo_.RutaIndActual == treeFile.string()) return false;
  bool rebuilt = false;
  RebuildTree([&] { rebuilt = catalogo_.CargarCatalogo(base); });
  return rebuilt;
}

void TMenuPral::CargarArbol(const fs::path& treeFile) {
  RebuildTree([&] { catalogo_.CargarArbol(treeFile); });
}

void TMenuPral::RebuildTree(const std::function<void()>& change) {
  WaitCursor wait;
  PArchivos->Arbol->setUpdatesEnabled(false);
  PArchivos->Carpetas->BeginChange();
  struct Resume {
    TMenuPral& window;
    ~Resume() {
      window.ShowLoadedTree();
      window.PArchivos->Arbol->setUpdatesEnabled(true);
    }
  } resume{*this};
  change();  // a failure reaches the caller after the views are shown again
}

int TMenuPral::SelectedFolder() const {
  const QModelIndexList chosen = PArchivos->Arbol->selectionModel()->selectedIndexes();
  return chosen.isEmpty() ? -1 : FolderTreeModel::NodeOf(chosen.front());
}

void TMenuPral::SelectFolder(int node) {
  const QModelIndex index = PArchivos->Carpetas->IndexOf(node);
  if (!index.isValid()) return;
  PArchivos->Arbol->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  PArchivos->Arbol->expand(index);
  PArchivos->Arbol->scrollTo(index);
}

void TMenuPral::RefrescaArchivos() {
  const int node = SelectedFolder();
  if (node < 0) return;
  QTableView* files = PArchivos->Archivos;
  files->setUpdatesEnabled(false);
  PArchivos->Ficheros->SetRows(catalogo_.Rows(node, locale_));
  files->setUpdatesEnabled(true);
}

void TMenuPral::ArbolClick() {
  Guarded([&] { RefrescaArchivos(); });
}

std::vector<int> TMenuPral::SelectedFileRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : PArchivos->Archivos->selectionModel()->selectedRows())
    rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

bool TMenuPral::EncuentraArchivo(std::size_t& index) {
  try {
    const int node = SelectedFolder();
    const std::vector<int> rows = SelectedFileRows();
    if (node < 0 || rows.empty()) return false;
    const std::size_t found = catalogo_.Find(node, PArchivos->Ficheros->Row(rows.front()).name);
    if (found >= catalogo_.LineasActuales.size()) return false;
    index = found;
    return true;
  } catch (...) {
    return false;
  }
}

void TMenuPral::ArchivosDblClick() { Editararchivo1Click(); }

void TMenuPral::Borrararchivo1Click() {
  const std::vector<int> rows = SelectedFileRows();
  const int node = SelectedFolder();
  if (rows.empty() || node < 0) return;
  const char* question = rows.size() == 1 ? "BorrarUnArchivo" : "BorrarMuchosArchivos";
  if (!dialogs_.ConfirmOkCancel(Traduce("Atencion"), Traduce(question))) return;
  std::vector<std::string> names;
  for (int row : rows) names.push_back(PArchivos->Ficheros->Row(row).name);
  EditOutcome outcome = EditOutcome::kUnchanged;
  Guarded([&] { outcome = catalogo_.DeleteFiles(node, names); });
  ReportEdit(outcome);
  // The view shows what memory holds, which is what the file holds.
  Guarded([&] { RefrescaArchivos(); });
}

void TMenuPral::ReportEdit(EditOutcome outcome) {
  if (outcome == EditOutcome::kNotWritten) {
    dialogs_.PonerMensaje(Traduce("ErrorGrabarCatalogo") + ": " + PathText(catalogo_.TargetFile()));
  } else if (outcome == EditOutcome::kBusy) {
    dialogs_.PonerMensaje(Traduce("CarpetaOcupada"));
  } else if (outcome == EditOutcome::kChangedElsewhere) {
    dialogs_.PonerMensaje(Traduce("CatalogoCambiado"));
    // What the other program wrote is shown instead.
    Guarded([&] {
      const std::filesystem::path base =
          std::filesystem::path(catalogo_.RutaIndActual).replace_extension();
      catalogo_.Clear();
      CargarCatalogo(base);
      SelectFolder(0);
      ArbolClick();
    });
  }
}

void TMenuPral::Editararchivo1Click() {
  std::size_t line = 0;
  if (!EncuentraArchivo(line)) return;
  QTableView* files = PArchivos->Archivos;
  const int row = SelectedFileRows().front();
  const int top = files->rowAt(0);
  Guarded([&] {
    const std::string text(catalogo_.LineasActuales[line]);
    TPropiedades dialog(leng_, this);
    dialog.Show(text, locale_);
    const std::string typed = dialog.Comment();
    const EditOutcome outcome = catalogo_.SetComment(line, typed);
    if (outcome != EditOutcome::kWritten) return ReportEdit(outcome);
    RefrescaArchivos();
    if (top > 0)
      files->scrollTo(PArchivos->Ficheros->index(top, 0), QAbstractItemView::PositionAtTop);
    const QModelIndex again = PArchivos->Ficheros->index(row, 0);
    if (again.isValid())
      files->selectionModel()->setCurrentIndex(
          again, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  });
}

bool TMenuPral::ArchivosEdited(int row, std::string& name) {
  try {
    const int node = SelectedFolder();
    if (node < 0 || row < 0 || row >= PArchivos->Ficheros->rowCount()) return false;
    const std::size_t line = catalogo_.Find(node, PArchivos->Ficheros->Row(row).name);
    if (line >= catalogo_.LineasActuales.size()) return false;
    const EditOutcome outcome = catalogo_.Rename(line, name);
    if (outcome != EditOutcome::kWritten) {
      ReportEdit(outcome);  // nothing usable typed, or nothing written: the row keeps its name
      return false;
    }
    name = CleanFileName(name);
    return true;
  } catch (...) {
    return false;
  }
}

void TMenuPral::VerCD1Click(QAbstractItemView* results) {
  if (results == nullptr || results->selectionModel() == nullptr) return;
  const QModelIndexList chosen = results->selectionModel()->selectedIndexes();
  if (chosen.isEmpty()) return;
  const QModelIndex node = chosen.front();
  if (node.data(kDiscNumberRole).isValid()) return;  // a disc node, not a hit
  const QModelIndex disc = node.parent();
  const QVariant numberData = disc.data(kDiscNumberRole);
  if (!disc.isValid() || !numberData.isValid()) return;
  const std::string number = numberData.toString().toStdString();
  try {
    if (!tablas_.TablaCDRom.Locate("AUTO", number)) throw std::runtime_error("no disc");
  } catch (...) {
    dialogs_.PonerMensaje(Traduce("CatalogoNoEncontrado") + " : " + number);
    return;
  }
  const std::string title = CurrentTitle();
  if (!title.empty()) Guarded([&] { SeleccionarFilaPorTitulo(title); });
  // Selecting the row may have moved the cursor to a disc of a like title.
  Guarded([&] { tablas_.TablaCDRom.Locate("AUTO", number); });
  MostrarCatalogoActual(title);
  pageChangeQuiet_ = true;
  Pagina->setCurrentIndex(kArchivos);
  pageChangeQuiet_ = false;
  Guarded([&] { CargarCatalogo(folders_.catalogos / number); });

  WaitCursor wait;
  Guarded([&] {
    const std::string hit = Ansi(node.data(Qt::DisplayRole).toString());
    const std::size_t slash = hit.rfind('\\');
    if (slash == std::string::npos) return;
    const std::string fileName = hit.substr(slash + 1);
    const std::string folder = hit.substr(0, slash + 1);
    const std::vector<int> walk = WalkToFolder(catalogo_.Arbol, folder);
    for (int level : walk) SelectFolder(level);
    RefrescaArchivos();
    const FileListModel* rows = PArchivos->Ficheros;
    for (int row = 0; row < rows->rowCount(); ++row) {
      if (rows->Row(row).name != fileName) continue;
      const QModelIndex index = rows->index(row, 0);
      QTableView* files = PArchivos->Archivos;
      files->selectionModel()->setCurrentIndex(
          index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      files->setFocus();
      files->scrollTo(index, QAbstractItemView::PositionAtCenter);
      break;
    }
  });
}

}  // namespace zafirel
