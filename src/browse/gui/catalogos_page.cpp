#include "browse/gui/catalogos_page.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

#include "browse/disc_list.h"
#include "browse/gui/browse_models.h"
#include "browse/gui/datos_cd.h"
#include "settings/ini_editor.h"
#include "settings/language.h"
#include "store/album_filter.h"
#include "store/catalogue_files.h"
#include "store/disc_removal.h"
#include "store/index_files.h"
#include "store/tablas.h"
#include "util/dialogs.h"
#include "util/gui/controls.h"
#include "util/gui/guarded.h"
#include "util/gui/list_model.h"
#include "util/gui/qt_text.h"
#include "util/gui/wait_cursor.h"
#include "util/reported.h"
#include "util/scope_guard.h"
#include "util/text.h"

namespace zafirel {

CatalogosPage::CatalogosPage(const PageServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  setObjectName("PCatalogos");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Panel4 = new QFrame(this);
  Panel4->setObjectName("Panel4");
  Panel4->setFixedHeight(37);
  auto* bar = new QHBoxLayout(Panel4);
  bar->setContentsMargins(6, 4, 6, 4);
  Label4 = new QLabel(QStringLiteral("Filtrar por album..."), Panel4);
  Label4->setObjectName("Label4");
  CFiltro = new QComboBox(Panel4);
  CFiltro->setObjectName("CFiltro");
  CFiltro->setMinimumWidth(160);
  CFiltro->setEditable(false);  // a choice of the albums only
  ShowAtMost(*CFiltro, 8);
  BLimpiarFiltro = new QPushButton(QStringLiteral("Limpiar filtro"), Panel4);
  BLimpiarFiltro->setObjectName("BLimpiarFiltro");
  MakeFlat(*BLimpiarFiltro);
  Label5 = new QLabel(QStringLiteral("------------"), Panel4);
  Label5->setObjectName("Label5");
  Label5->setAlignment(Qt::AlignCenter);
  QFont bold = Label5->font();
  bold.setBold(true);
  Label5->setFont(bold);
  Label4->setBuddy(CFiltro);
  bar->addWidget(Label4);
  bar->addWidget(CFiltro);
  bar->addWidget(BLimpiarFiltro);
  bar->addWidget(Label5, 1);
  column->addWidget(Panel4);

  CDs = new QTableView(this);
  new KeyboardTable(*CDs);
  CDs->setObjectName("CDs");
  Discos = new DiscListModel(this);
  Discos->setObjectName("Discos");
  ShowAsReport(*CDs, *Discos);
  Discos->SetRowIcon(style()->standardIcon(QStyle::SP_DriveCDIcon));
  CDs->setSelectionMode(QAbstractItemView::SingleSelection);
  CDs->setEditTriggers(QAbstractItemView::NoEditTriggers);
  CDs->setContextMenuPolicy(Qt::CustomContextMenu);
  CDs->horizontalHeader()->setSectionsClickable(true);
  column->addWidget(CDs, 1);

  PopUpCDs = new QMenu(this);
  PopUpCDs->setObjectName("PopupMenu1");
  EditarCD1 = PopUpCDs->addAction(QStringLiteral("Editar catálogo"));
  EditarCD1->setObjectName("EditarCD1");
  BorrarCD1 = PopUpCDs->addAction(QStringLiteral("Borrar catálogo"));
  BorrarCD1->setObjectName("BorrarCD1");
  // Every order of the list, as the column headers give it with the mouse.
  OrdenarPor1 = PopUpCDs->addMenu(QStringLiteral("Ordenar por"));
  OrdenarPor1->setObjectName("OrdenarPor1");
  for (int column = 0; column < static_cast<int>(kSortKeys.size()); ++column) {
    QAction* order = OrdenarPor1->addAction(
        Discos->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
    order->setObjectName(QStringLiteral("Ordenar%1").arg(column));
    connect(order, &QAction::triggered, this, [this, column] {
      Guarded("CDsColumnClick", [&] { CDsColumnClick(column); });
      emit OrderChosen();
    });
  }
  PopUpCDs->addSeparator();
  ActualizarCD1 = PopUpCDs->addAction(QStringLiteral("Actualizar disco..."));
  ActualizarCD1->setObjectName("ActualizarCD1");
  // The same commands from the keyboard while the list has the focus.
  EditarCD1->setShortcut(Qt::Key_F2);
  BorrarCD1->setShortcut(QKeySequence::Delete);
  for (QAction* action : {EditarCD1, BorrarCD1}) {
    action->setShortcutContext(Qt::WidgetShortcut);
    CDs->addAction(action);
  }
  connect(CDs, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopUpCDs->popup(CDs->viewport()->mapToGlobal(at)); });
  ConnectControls();
}

namespace {

bool InRange(int row, const DiscListModel& model) { return row >= 0 && row < model.rowCount(); }

}  // namespace

std::string CatalogosPage::Traduce(const char* key) const { return services_.leng.Traduce(key); }

void CatalogosPage::ConnectControls() {
  connect(CDs->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) CDsChange(current.row());
          });
  connect(CDs->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int column) { Guarded("CDsColumnClick", [&] { CDsColumnClick(column); }); });
  connect(CDs, &QAbstractItemView::doubleClicked, this,
          [this] { Guarded("CDsDblClick", [&] { CDsDblClick(); }); });
  for (QKeySequence key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
    auto* open = new QShortcut(key, CDs, nullptr, nullptr, Qt::WidgetShortcut);
    connect(open, &QShortcut::activated, this,
            [this] { Guarded("CDsDblClick", [&] { CDsDblClick(); }); });
  }
  connect(CFiltro, &QComboBox::currentTextChanged, this, [this] { CFiltroChange(); });
  // Picking the album already in the box lists it again when the list shows
  // all discs (after a header click); Enter in the box refreshes the filter.
  connect(CFiltro, &QComboBox::activated, this, [this] {
    if (Ansi(CFiltro->currentText()) != listedAlbum_) CFiltroChange();
  });
  CFiltro->installEventFilter(this);
  connect(BLimpiarFiltro, &QPushButton::clicked, this, [this] { BLimpiarFiltroClick(); });
  connect(EditarCD1, &QAction::triggered, this, [this] { EditarCD1Click(); });
  connect(BorrarCD1, &QAction::triggered, this, [this] { BorrarCD1Click(); });
  connect(ActualizarCD1, &QAction::triggered, this, [this] { ActualizarCD1Click(); });
}

bool CatalogosPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == CFiltro && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      CFiltroChange();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CatalogosPage::Retranslate() {
  Label4->setText(Qs(Traduce("FiltrarAlbum")));
  BLimpiarFiltro->setText(Qs(Traduce("LimpiarFiltro")));
  const char* const columns[] = {"Nombre",    "Tama\xF1o", "Etiqueta", "NSerie",
                                 "NArchivos", "NCD",       "Album"};
  for (int column = 0; column < 7; ++column)
    Discos->SetCaption(column, Qs(Traduce(columns[column])));
  OrdenarPor1->setTitle(Qs(Traduce("OrdenarPor")));
  const QList<QAction*> orders = OrdenarPor1->actions();
  for (int column = 0; column < orders.size() && column < 7; ++column)
    orders[column]->setText(Qs(Traduce(columns[column])));
  TotalLine();
  EditarCD1->setText(Qs(Traduce("EditarCD")));
  BorrarCD1->setText(Qs(Traduce("BorrarCD")));
  ActualizarCD1->setText(Qs(Traduce("Actualizar1")));
  NameForReaders(*CDs, Traduce("NombreDiscos"), Traduce("DescDiscos"));
  ActualizarCD1->setStatusTip(Qs(Traduce("ActualizarHint")));
  const QString filterHint = Qs(Traduce("FiltroHint"));
  CFiltro->setStatusTip(filterHint);
  CFiltro->setToolTip(LongHint(filterHint));  // the only hint also shown as a pop-up
  CDs->setStatusTip(Qs(Traduce("CDsHint")));
}

void CatalogosPage::TotalLine() {
  std::string text = Traduce("TotalCatalogos");
  if (discsInTable_) text += " " + std::to_string(*discsInTable_);
  Label5->setText(Qs(text));
}

std::string CatalogosPage::SavedSortKey() {
  std::string key = "TituloCD";
  Guarded("SavedSortKey", [&] { key = services_.ini.ReadStr("General", "Indice", "TituloCD"); });
  return key;
}

std::string CatalogosPage::CurrentTitle() {
  std::string title;
  Guarded("CurrentTitle", [&] { title = services_.tablas.CurrentDisc("TITULOCD"); });
  return title;
}

void CatalogosPage::RellenaCDs(const std::string& key) {
  // Disabled while it fills, the list would hand its focus on to the next
  // control: it takes it back after.
  const bool focused = CDs->window()->focusWidget() == CDs;
  CDs->setEnabled(false);
  CDs->setUpdatesEnabled(false);
  const ScopeGuard resume([this, focused] {
    CDs->setUpdatesEnabled(true);
    CDs->setEnabled(true);
    if (focused) CDs->setFocus(Qt::OtherFocusReason);
  });
  {
    const QuietSelection quiet(*this);  // filling the list is no choice, also when reading fails
    Discos->SetRows({});
    Discos->SetMarkedColumn(-1, {});
    dbf::Table& table = services_.tablas.TablaCDRom;
    const std::string current = services_.tablas.CurrentDisc("AUTO");
    // The rows are read as the list shows them.
    DiscOrder order = OrderDiscs(services_.tablas, key);
    const int marked = order.markedColumn;
    Discos->SetRecords(std::move(order.records), [this](std::uint32_t recNo) {
      // A record that cannot be read now shows an empty row, without a
      // message in the middle of painting.
      try {
        return ReadDiscRow(services_.tablas, recNo, services_.locale);
      } catch (const std::exception&) {
        return std::optional<DiscRow>();
      }
    });
    // Listing walked the cursor to the end: the disc current before is current again.
    Guarded("SelectCurrentDiscRow", [&] {
      if (!current.empty()) table.Locate("AUTO", current);
      SelectCurrentDiscRow();
    });
    listedAlbum_ = key == kAlbumFilterKey ? Ansi(CFiltro->currentText()) : std::string();
    const std::uint32_t discs = order.discs;
    emit ListFilled(static_cast<int>(discs));
    discsInTable_ = discs;
    TotalLine();
    Discos->SetMarkedColumn(marked, style()->standardIcon(QStyle::SP_ArrowUp));
  }
}

void CatalogosPage::Refill() {
  const QuietSelection quiet(*this);
  Guarded("RellenaCDs", [&] { RellenaCDs(SavedSortKey()); });
}

bool CatalogosPage::LocateDiscOfRow(int row) {
  if (!InRange(row, *Discos)) return false;
  return services_.tablas.TablaCDRom.Locate("AUTO", Discos->Row(row).number);
}

void CatalogosPage::CDsChange(int row) {
  if (quietSelection_ || !services_.tablas.TablaCDRom.Active()) return;
  if (!InRange(row, *Discos)) return;
  const std::string caption = Discos->Row(row).cells[0];
  const std::string notFound = Traduce("CatalogoNoEncontrado") + " : " + caption;
  try {
    if (!LocateDiscOfRow(row)) services_.dialogs.PonerMensaje(notFound);
    emit TitleChosen(caption);
  } catch (const std::exception&) {
    services_.dialogs.PonerMensaje(notFound);
  }
}

void CatalogosPage::CDsColumnClick(int column) {
  if (column < 0 || column >= static_cast<int>(kSortKeys.size())) return;
  const std::string key(kSortKeys[static_cast<std::size_t>(column)].key);
  services_.ini.WriteStr("General", "Indice", key);
  emit TitleChosen(CurrentTitle());
  RellenaCDs(key);
}

void CatalogosPage::CDsDblClick() { emit OpenRequested(); }

int CatalogosPage::SelectedDiscRow() const {
  const QModelIndexList rows = CDs->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

bool CatalogosPage::SelectCurrentDiscRow() {
  const std::string number = services_.tablas.CurrentDisc("AUTO");
  int found = -1;
  if (!number.empty()) found = Discos->RowOfRecord(services_.tablas.TablaCDRom.RecNo());
  if (found >= 0 && Discos->Row(found).number != number) found = -1;
  const QuietSelection quiet(*this);  // the disc is current already
  QItemSelectionModel& selection = *CDs->selectionModel();
  if (found < 0) {
    selection.clear();
    return false;
  }
  const QModelIndex index = Discos->index(found, 0);
  selection.setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  CDs->scrollTo(index, QAbstractItemView::EnsureVisible);
  return true;
}

void CatalogosPage::RellenaFiltro() {
  std::vector<std::string> albums;
  Guarded("ListAlbums", [&] { albums = ListAlbums(services_.tablas); });
  SetChoices(*CFiltro, albums);
}

void CatalogosPage::HacerFiltro() {
  const std::string album = Ansi(CFiltro->currentText());
  ApplyAlbumFilter(services_.tablas, "");
  if (album.empty()) {
    RellenaCDs(SavedSortKey());
    return;
  }
  Guarded("HacerFiltro", [&] {
    ApplyAlbumFilter(services_.tablas, album);
    RellenaCDs(std::string(kAlbumFilterKey));
  });
}

void CatalogosPage::CFiltroChange() {
  Guarded("CFiltroChange", [&] { HacerFiltro(); });
}

void CatalogosPage::BLimpiarFiltroClick() { CFiltro->setCurrentIndex(-1); }

void CatalogosPage::ClearFilter() {
  if (CFiltro->currentIndex() >= 0) CFiltro->setCurrentIndex(-1);  // runs the filter
}

bool CatalogosPage::MakeCurrent(const std::string& number) {
  dbf::Table& discs = services_.tablas.TablaCDRom;
  try {
    if (!discs.Locate("AUTO", number)) throw std::runtime_error("no disc");
  } catch (const std::exception&) {
    services_.dialogs.PonerMensaje(Traduce("CatalogoNoEncontrado") + " : " + number);
    return false;
  }
  Guarded("SelectCurrentDiscRow", [&] { SelectCurrentDiscRow(); });
  emit TitleChosen(CurrentTitle());
  return true;
}

void CatalogosPage::EditarCD1Click() {
  const int row = SelectedDiscRow();
  if (row < 0) return;
  const int oldY = CDs->visualRect(Discos->index(row, 0)).top();
  std::string number;
  Guarded("EditarCD1Click", [&] {
    if (!LocateDiscOfRow(row)) return;
    number = services_.tablas.TablaCDRom.AsString("AUTO");
    TDatosCD editor(services_, this);
    editor.exec();
  });
  Guarded("RellenaFiltro", [&] { RellenaFiltro(); });
  // The refill keeps the edited disc current and selects its row, if the
  // list still shows it (an edit may take it out of a filtered list).
  Guarded("EditarCD1Click", [&] {
    const QuietSelection quiet(*this);
    if (!CFiltro->currentText().isEmpty())
      HacerFiltro();
    else
      RellenaCDs(SavedSortKey());
  });
  Guarded("EditarCD1Click", [&] {
    if (!number.empty()) services_.tablas.TablaCDRom.Locate("AUTO", number);
    if (!SelectCurrentDiscRow()) return;
    // The row stands where it stood, though a new title may have moved it in the order.
    const QModelIndex index = Discos->index(SelectedDiscRow(), 0);
    const int newY = CDs->visualRect(index).top();
    QScrollBar* bar = CDs->verticalScrollBar();
    const int rowHeight = std::max(1, CDs->rowHeight(index.row()));
    bar->setValue(bar->value() + (newY - oldY) / rowHeight);
  });
}

void CatalogosPage::EditCurrentDisc() {
  TDatosCD editor(services_, this);
  editor.exec();
  Guarded("RellenaFiltro", [&] { RellenaFiltro(); });
}

void CatalogosPage::ActualizarCD1Click() {
  const int row = SelectedDiscRow();
  if (row < 0) return;
  std::string number;
  Guarded("ActualizarCD1Click", [&] {
    if (LocateDiscOfRow(row)) number = services_.tablas.TablaCDRom.AsString("AUTO");
  });
  if (!number.empty()) emit UpdateRequested(number);
}

void CatalogosPage::BorrarCD1Click() {
  const int row = SelectedDiscRow();
  if (row < 0) return;
  std::string number, title;
  Guarded("BorrarCD1Click", [&] {
    if (!LocateDiscOfRow(row)) return;
    dbf::Table& discs = services_.tablas.TablaCDRom;
    number = discs.AsString("AUTO");
    title = discs.AsString("TITULOCD");
  });
  if (number.empty()) return;
  const std::string question = Traduce("BorrarCatalogo") + " \" " + title + " \"";
  if (!services_.dialogs.ConfirmOkCancel(Traduce("Atencion"), question, Dialogs::Default::kCancel))
    return;
  BorrarCatalogo(number);  // the first disc left is current
  // Refilling keeps it current and selects its row.
  const QuietSelection quiet(*this);
  Guarded("RellenaCDs", [&] { RellenaCDs(SavedSortKey()); });
}

void CatalogosPage::BorrarCatalogo(const std::string& number) {
  {
    WaitCursor wait;
    // The catalogue shown goes with its disc, so that a later disc given
    // the same number is loaded afresh.
    emit DiscDeleting(number);
    (void)Reported(services_.dialogs, services_.leng.Translator(), "ErrorBorrarCD",
                   [&] { DeleteDisc(services_.tablas, services_.folders.catalogos, number); });
  }
  Guarded("BorrarCatalogo", [&] {
    dbf::Table& discs = services_.tablas.TablaCDRom;
    if (discs.RecordCount() == 0) return;
    discs.First();
    emit TitleChosen(discs.AsString("TITULOCD"));
  });
  emit DiscDeleted();
}

}  // namespace zafirel
