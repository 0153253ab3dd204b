#include "browse/gui/archivos_page.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTreeView>
#include <algorithm>
#include <cerrno>
#include <system_error>

#include "browse/gui/browse_models.h"
#include "browse/gui/propiedades.h"
#include "settings/language.h"
#include "store/catalogue_files.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/failure.h"
#include "util/gui/controls.h"
#include "util/gui/guarded.h"
#include "util/gui/list_model.h"
#include "util/gui/qt_text.h"
#include "util/gui/wait_cursor.h"
#include "util/reported.h"
#include "util/scope_guard.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

ArchivosPage::ArchivosPage(const PageServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  setObjectName("PArchivos");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  auto* split = Divisor = new QSplitter(Qt::Horizontal, this);
  split->setObjectName("Divisor");
  row->addWidget(split);

  Arbol = new QTreeView(split);
  Arbol->setObjectName("Arbol");
  Carpetas = new FolderTreeModel(this);
  Carpetas->setObjectName("Carpetas");
  Carpetas->SetIcon(style()->standardIcon(QStyle::SP_DirIcon));
  Arbol->setModel(Carpetas);
  Arbol->setHeaderHidden(true);
  Arbol->setUniformRowHeights(true);
  Arbol->setIndentation(19);
  Arbol->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Arbol->setSelectionMode(QAbstractItemView::SingleSelection);

  Archivos = new QTableView(split);
  new KeyboardTable(*Archivos);
  Archivos->setObjectName("Archivos");
  Ficheros = new FileListModel(this);
  Ficheros->setObjectName("Ficheros");
  ShowAsReport(*Archivos, *Ficheros);
  Archivos->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Archivos->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  Archivos->horizontalHeader()->setSectionsClickable(false);
  Archivos->setContextMenuPolicy(Qt::CustomContextMenu);
  Archivos->setMinimumWidth(200);
  split->addWidget(Arbol);
  split->addWidget(Archivos);
  split->setSizes({200, 547});
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);

  PopUpArchivo = new QMenu(this);
  PopUpArchivo->setObjectName("PopupMenu2");
  Borrararchivo1 = PopUpArchivo->addAction(QStringLiteral("Borrar archivo(s)"));
  Borrararchivo1->setObjectName("Borrararchivo1");
  Editararchivo1 = PopUpArchivo->addAction(QStringLiteral("Editar archivo"));
  Editararchivo1->setObjectName("Editararchivo1");
  // The same commands from the keyboard while the list has the focus (F2
  // renames in place).
  Borrararchivo1->setShortcut(QKeySequence::Delete);
  Editararchivo1->setShortcut(Qt::Key_Return);
  for (QAction* action : {Borrararchivo1, Editararchivo1}) {
    action->setShortcutContext(Qt::WidgetShortcut);
    Archivos->addAction(action);
  }
  // The divider between the folders and the files from the keyboard too:
  // Ctrl+Shift+Left and Right while either side has the focus.
  PopUpArchivo->addSeparator();
  DivisorIzquierda1 = PopUpArchivo->addAction(QStringLiteral("Mover el divisor a la izquierda"));
  DivisorIzquierda1->setObjectName("DivisorIzquierda1");
  DivisorIzquierda1->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_Left);
  DivisorDerecha1 = PopUpArchivo->addAction(QStringLiteral("Mover el divisor a la derecha"));
  DivisorDerecha1->setObjectName("DivisorDerecha1");
  DivisorDerecha1->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_Right);
  for (QAction* action : {DivisorIzquierda1, DivisorDerecha1}) {
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
  }
  connect(DivisorIzquierda1, &QAction::triggered, this, [this] { MoveDivider(-kDividerStep); });
  connect(DivisorDerecha1, &QAction::triggered, this, [this] { MoveDivider(kDividerStep); });
  connect(Archivos, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopUpArchivo->popup(Archivos->viewport()->mapToGlobal(at)); });
  ConnectControls();
}

std::string ArchivosPage::Traduce(const char* key) const { return services_.leng.Traduce(key); }

void ArchivosPage::MoveDivider(int by) {
  QList<int> sizes = Divisor->sizes();
  if (sizes.size() != 2) return;
  by = std::clamp(by, -sizes[0], sizes[1]);
  Divisor->setSizes({sizes[0] + by, sizes[1] - by});
}

void ArchivosPage::ConnectControls() {
  connect(Arbol, &QAbstractItemView::clicked, this, [this] { ArbolClick(); });
  Arbol->installEventFilter(this);  // key releases: ArbolKeyUp
  connect(Archivos, &QAbstractItemView::doubleClicked, this, [this] { ArchivosDblClick(); });
  connect(Borrararchivo1, &QAction::triggered, this, [this] { Borrararchivo1Click(); });
  connect(Editararchivo1, &QAction::triggered, this, [this] { Editararchivo1Click(); });
  Ficheros->SetRenameHook([this](int row, std::string& name) { return ArchivosEdited(row, name); });
}

bool ArchivosPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Arbol && event->type() == QEvent::KeyRelease) ArbolClick();  // ArbolKeyUp
  return QWidget::eventFilter(watched, event);
}

void ArchivosPage::Retranslate() {
  const char* const columns[] = {"Nombre", "Tama\xF1o", "Fecha", "Comentarios"};
  Archivos->setUpdatesEnabled(false);
  for (int column = 0; column < 4; ++column)
    Ficheros->SetCaption(column, Qs(Traduce(columns[column])));
  Archivos->setUpdatesEnabled(true);
  Editararchivo1->setText(Qs(Traduce("EditarArchivo")));
  Borrararchivo1->setText(Qs(Traduce("BorrarArchivo")));
  DivisorIzquierda1->setText(Qs(Traduce("DivisorIzquierda")));
  DivisorDerecha1->setText(Qs(Traduce("DivisorDerecha")));
  Arbol->setStatusTip(Qs(Traduce("ArbolHint")));
  NameForReaders(*Arbol, Traduce("NombreArbol"), Traduce("DescArbol"));
  NameForReaders(*Archivos, Traduce("NombreArchivos"), Traduce("DescArchivos"));
  Archivos->setStatusTip(Qs(Traduce("ArchivosHint")));
}

std::filesystem::path ArchivosPage::CurrentBase() {
  const std::string number = services_.tablas.CurrentDisc("AUTO");
  if (number.empty()) return {};
  return services_.folders.catalogos / number;
}

void ArchivosPage::ShowLoadedTree() {
  Ficheros->Clear();
  Carpetas->EndChange(&catalogo_.Arbol);
}

void ArchivosPage::ClearLoadedCatalogue() {
  Carpetas->BeginChange();
  catalogo_.Clear();
  ShowLoadedTree();
}

void ArchivosPage::ForgetDisc(const std::string& number) {
  Guarded("ForgetDisc", [&] {
    if (catalogo_.RutaIndActual == TreeFilePath(services_.folders.catalogos, number).string())
      ClearLoadedCatalogue();
  });
}

void ArchivosPage::ShowDiscAfterDeletion() {
  bool anyLeft = false;
  Guarded("ShowDiscAfterDeletion",
          [&] { anyLeft = services_.tablas.TablaCDRom.RecordCount() > 0; });
  if (anyLeft)
    Guarded("CargarCatalogo", [&] { CargarCatalogo(CurrentBase()); });
  else
    ClearLoadedCatalogue();
}

bool ArchivosPage::CargarCatalogo(const fs::path& base) {
  if (base.empty()) return false;
  fs::path treeFile = base;
  treeFile += ".Ind";
  std::error_code ec;
  if (!fs::exists(treeFile, ec) || catalogo_.RutaIndActual == treeFile.string()) return false;
  catalogo_.lockFolder = services_.folders.data;
  bool rebuilt = false;
  try {
    RebuildTree([&] { rebuilt = catalogo_.CargarCatalogo(base); });
  } catch (const Failure& failure) {
    if (failure.Cause() != EFBIG) throw;
    // A file list too large to hold: the tree is shown, the user told why
    // its folders list nothing.
    services_.dialogs.PonerMensaje(FailureText(services_.leng.Translator(), failure));
    rebuilt = true;
  }
  return rebuilt;
}

void ArchivosPage::CargarArbol(const fs::path& treeFile) {
  catalogo_.lockFolder = services_.folders.data;
  RebuildTree([&] { catalogo_.CargarArbol(treeFile); });
}

void ArchivosPage::RebuildTree(const std::function<void()>& change) {
  WaitCursor wait;
  Arbol->setUpdatesEnabled(false);
  Ficheros->Clear();  // its rows are lines about to go
  Carpetas->BeginChange();
  const ScopeGuard resume([this] {
    ShowLoadedTree();
    Arbol->setUpdatesEnabled(true);
  });
  change();  // a failure reaches the caller after the views are shown again
}

void ArchivosPage::ShowCurrentDisc() {
  fs::path base;
  Guarded("CurrentBase", [&] { base = CurrentBase(); });
  Guarded("ShowCurrentDisc", [&] {
    if (!CargarCatalogo(base)) return;
    SelectFolder(0);
    ArbolClick();
  });
}

void ArchivosPage::ShowNewDisc(const std::string& number) {
  // Read back as any disc: the run wrote its files as it walked.
  Guarded("ShowNewDisc", [&] {
    catalogo_.Clear();
    CargarCatalogo(services_.folders.catalogos / number);
  });
}

int ArchivosPage::SelectedFolder() const {
  const QModelIndexList chosen = Arbol->selectionModel()->selectedIndexes();
  return chosen.isEmpty() ? -1 : FolderTreeModel::NodeOf(chosen.front());
}

void ArchivosPage::SelectFolder(int node) {
  const QModelIndex index = Carpetas->IndexOf(node);
  if (!index.isValid()) return;
  Arbol->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  Arbol->expand(index);
  Arbol->scrollTo(index);
}

void ArchivosPage::RefrescaArchivos() {
  const int node = SelectedFolder();
  if (node < 0) return;
  Archivos->setUpdatesEnabled(false);
  Ficheros->SetRows(catalogo_.LineasActuales, catalogo_.FolderLines(node),
                    catalogo_.PrefixLength(node), services_.locale);
  Archivos->setUpdatesEnabled(true);
}

void ArchivosPage::ArbolClick() {
  Guarded("ArbolClick", [&] { RefrescaArchivos(); });
}

std::vector<int> ArchivosPage::SelectedFileRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : Archivos->selectionModel()->selectedRows())
    rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

bool ArchivosPage::EncuentraArchivo(std::size_t& index) {
  try {
    const int node = SelectedFolder();
    const std::vector<int> rows = SelectedFileRows();
    if (node < 0 || rows.empty()) return false;
    const std::size_t found = catalogo_.Find(node, Ficheros->Name(rows.front()));
    if (found >= catalogo_.LineasActuales.size()) return false;
    index = found;
    return true;
  } catch (const std::exception& error) {
    qWarning("EncuentraArchivo: %s", error.what());
    return false;
  }
}

void ArchivosPage::ArchivosDblClick() { Editararchivo1Click(); }

void ArchivosPage::Borrararchivo1Click() {
  const std::vector<int> rows = SelectedFileRows();
  const int node = SelectedFolder();
  if (rows.empty() || node < 0) return;
  const char* question = rows.size() == 1 ? "BorrarUnArchivo" : "BorrarMuchosArchivos";
  if (!services_.dialogs.ConfirmOkCancel(Traduce("Atencion"), Traduce(question),
                                         Dialogs::Default::kCancel))
    return;
  std::vector<std::string> names;
  for (int row : rows) names.emplace_back(Ficheros->Name(row));
  EditOutcome outcome = EditOutcome::kUnchanged;
  if (Reported(services_.dialogs, services_.leng.Translator(), "ErrorEditarArchivo",
               [&] { outcome = catalogo_.DeleteFiles(node, names); }))
    ReportEdit(outcome);
  // The view shows what memory holds, which is what the file holds.
  Guarded("RefrescaArchivos", [&] { RefrescaArchivos(); });
}

void ArchivosPage::ReportEdit(EditOutcome outcome) {
  Dialogs& dialogs = services_.dialogs;
  if (outcome == EditOutcome::kNotWritten) {
    const std::string cause = CauseText(services_.leng.Translator(), catalogo_.NotWrittenCause());
    dialogs.PonerMensaje(Traduce("ErrorGrabarCatalogo") + ": " + PathText(catalogo_.TargetFile()) +
                         (cause.empty() ? "" : " (" + cause + ")"));
  } else if (outcome == EditOutcome::kBusy) {
    dialogs.PonerMensaje(Traduce("CarpetaOcupada"));
  } else if (outcome == EditOutcome::kChangedElsewhere) {
    dialogs.PonerMensaje(Traduce("CatalogoCambiado"));
    // What the other program wrote is shown instead.
    Guarded("ReportEdit", [&] {
      const fs::path base = fs::path(catalogo_.RutaIndActual).replace_extension();
      catalogo_.Clear();
      CargarCatalogo(base);
      SelectFolder(0);
      ArbolClick();
    });
  }
}

void ArchivosPage::Editararchivo1Click() {
  std::size_t line = 0;
  if (!EncuentraArchivo(line)) return;
  const int row = SelectedFileRows().front();
  const int top = Archivos->rowAt(0);
  EditOutcome outcome = EditOutcome::kUnchanged;
  const bool ran =
      Reported(services_.dialogs, services_.leng.Translator(), "ErrorEditarArchivo", [&] {
        const std::string text(catalogo_.LineasActuales[line]);
        TPropiedades dialog(services_.leng, this);
        dialog.Show(text, services_.locale);
        outcome = catalogo_.SetComment(line, dialog.Comment());
      });
  if (!ran) return;
  if (outcome != EditOutcome::kWritten) return ReportEdit(outcome);
  Guarded("Editararchivo1Click", [&] {
    RefrescaArchivos();
    if (top > 0) Archivos->scrollTo(Ficheros->index(top, 0), QAbstractItemView::PositionAtTop);
    const QModelIndex again = Ficheros->index(row, 0);
    if (again.isValid())
      Archivos->selectionModel()->setCurrentIndex(
          again, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  });
}

bool ArchivosPage::ArchivosEdited(int row, std::string& name) {
  try {
    const int node = SelectedFolder();
    if (node < 0 || row < 0 || row >= Ficheros->rowCount()) return false;
    const std::size_t line = catalogo_.Find(node, Ficheros->Name(row));
    if (line >= catalogo_.LineasActuales.size()) return false;
    const EditOutcome outcome = catalogo_.Rename(line, name);
    if (outcome != EditOutcome::kWritten) {
      ReportEdit(outcome);  // nothing usable typed, or nothing written: the row keeps its name
      return false;
    }
    name = CleanFileName(name);
    return true;
  } catch (const std::exception& error) {
    services_.dialogs.PonerMensaje(
        FailureMessage(services_.leng.Translator(), "ErrorEditarArchivo", error));
    return false;
  }
}

void ArchivosPage::ShowHit(const std::string& number, const std::string& hit) {
  Guarded("CargarCatalogo", [&] { CargarCatalogo(services_.folders.catalogos / number); });
  WaitCursor wait;
  Guarded("ShowHit", [&] {
    const std::size_t slash = hit.rfind('\\');
    if (slash == std::string::npos) return;
    const std::string fileName = hit.substr(slash + 1);
    const std::string folder = hit.substr(0, slash + 1);
    for (int level : WalkToFolder(catalogo_.Arbol, folder)) SelectFolder(level);
    RefrescaArchivos();
    for (int row = 0; row < Ficheros->rowCount(); ++row) {
      if (Ficheros->Name(row) != fileName) continue;
      const QModelIndex index = Ficheros->index(row, 0);
      Archivos->selectionModel()->setCurrentIndex(
          index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      Archivos->setFocus();
      Archivos->scrollTo(index, QAbstractItemView::PositionAtCenter);
      break;
    }
  });
}

}  // namespace zafirel
