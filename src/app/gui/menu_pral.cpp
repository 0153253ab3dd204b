#include "app/gui/menu_pral.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>

#include "app/gui/page_control.h"
#include "app/window_placement.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/catalogos_page.h"
#include "scan/catalogue_run.h"
#include "scan/gui/catalogar_page.h"
#include "search/gui/busqueda_page.h"
#include "settings/language.h"
#include "store/data_folder.h"
#include "util/dialogs.h"
#include "util/gui/announced_role.h"
#include "util/gui/guarded.h"
#include "util/gui/palette.h"
#include "util/gui/qt_text.h"
#include "util/reported.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

bool FolderExists(const fs::path& folder) {
  std::error_code ec;
  return !folder.empty() && fs::is_directory(folder, ec);
}

}  // namespace

TMenuPral::TMenuPral(const ProgramLocation& where, const Locale& locale, Language& leng,
                     Dialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      where_(where),
      locale_(locale),
      leng_(leng),
      dialogs_(dialogs),
      services_{tablas_, ini1_, leng_, dialogs_, locale_, folders_} {
  setObjectName("TMenuPral");
  AnnounceAs(staticMetaObject, QAccessible::Window);  // a window with its title
  BuildFrame();
  FormCreate();
  // Said once the change that found the table changed is over.
  RebuiltForAChange() = [this] {
    QTimer::singleShot(0, this, [this] { dialogs_.PonerMensaje(Traduce("TablaCambiada")); });
  };
}

TMenuPral::~TMenuPral() {
  RebuiltForAChange() = nullptr;
  if (!closed_) FormClose();
  Guarded("SavePlacement", [&] { SavePlacementNow(); });
}

void TMenuPral::BuildFrame() {
  colors::ApplyWindowLook(*this);
  resize(795, 444);
  setMinimumSize(420, 340);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Cabecera = new QFrame(this);
  Cabecera->setObjectName("Cabecera");
  Cabecera->setFixedHeight(23);
  MArchivos = new QToolButton(Cabecera);
  MArchivos->setObjectName("MArchivos");
  MArchivos->setText(QStringLiteral("Principal"));
  MArchivos->setGeometry(3, 2, 92, 19);
  MArchivos->setAutoRaise(true);
  MArchivos->setPopupMode(QToolButton::InstantPopup);
  MArchivos->setToolButtonStyle(Qt::ToolButtonTextOnly);
  column->addWidget(Cabecera);
  BuildMenu();

  Pagina = new PageControl(this);
  PCatalogos = new CatalogosPage(services_);
  PArchivos = new ArchivosPage(services_);
  PCatalogar = new CatalogarPage(services_);
  PBusqueda = new BusquedaPage(services_);
  Pagina->addTab(PCatalogar, QStringLiteral("Catalogar"));
  Pagina->addTab(PCatalogos, QStringLiteral("Catálogos"));
  Pagina->addTab(PArchivos, QStringLiteral("Archivos"));
  Pagina->addTab(PBusqueda, QStringLiteral("Búsqueda"));
  Pagina->Tabs()->installEventFilter(this);
  connect(Pagina, &QTabWidget::currentChanged, this, [this] {
    if (!pageChangeQuiet_) PaginaMouseUp();
  });
  column->addWidget(Pagina, 1);

  Label1 = new QLabel(QStringLiteral("Catálogo actual:"), this);
  Label1->setObjectName("Label1");
  Label1->setTextFormat(Qt::PlainText);  // titles are shown as typed, never as markup
  Label1->setFixedHeight(28);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setWordWrap(true);
  colors::Paint(*Label1, colors::kStatus, colors::kDarkStatus);
  column->addWidget(Label1);

  Label2 = new QLabel(QStringLiteral("Zafirel! v1.11"), this);
  Label2->setObjectName("Label2");
  Label2->setTextFormat(Qt::PlainText);
  Label2->setFixedHeight(17);
  Label2->setAlignment(Qt::AlignCenter);
  Label2->setAutoFillBackground(true);
  // White on the light button face of today's desktop themes cannot be read:
  // the bar takes the dark tab colour instead.
  QPalette bar = Label2->palette();
  bar.setColor(QPalette::Window, colors::kTabDark);
  bar.setColor(QPalette::WindowText, Qt::white);
  Label2->setPalette(bar);
  QFont bold("Arial", 8);
  bold.setBold(true);
  Label2->setFont(bold);
  Label2->installEventFilter(this);
  column->addWidget(Label2);

  WirePages();
  WireRun();
}

void TMenuPral::WirePages() {
  auto showTitle = [this](const std::string& title) { MostrarCatalogoActual(title); };
  connect(PCatalogos, &CatalogosPage::TitleChosen, this, showTitle);
  connect(PCatalogos, &CatalogosPage::ListFilled, this, [this](int discs) {
    if (discs == 0) {
      Label1->setText(Qs(Traduce("CatalogoActual")));
      shownTitle_.reset();
    }
    Label2->setText(Qs(std::string(kVersionLine) + " - ") + Label1->text());
  });
  connect(PCatalogos, &CatalogosPage::OpenRequested, this, [this] {
    dialogs_.ProcessEvents();
    Pagina->setCurrentIndex(kArchivos);  // runs the page change
    dialogs_.ProcessEvents();
  });
  connect(PCatalogos, &CatalogosPage::DiscDeleting, PArchivos, &ArchivosPage::ForgetDisc);
  connect(PCatalogos, &CatalogosPage::UpdateRequested, this, &TMenuPral::UpdateDisc);
  // The list's orders in the Principal menu as well: the list shows the one chosen.
  PopUpArchivos->insertMenu(Actualizar1, PCatalogos->SortMenu());
  connect(PCatalogos, &CatalogosPage::OrderChosen, this, [this] { ShowPageIfVisible(kCatalogos); });
  connect(PCatalogos, &CatalogosPage::DiscDeleted, this, [this] {
    ApplyPageVisibility();
    PArchivos->ShowDiscAfterDeletion();
  });
  connect(PBusqueda, &BusquedaPage::TitleChosen, this, showTitle);
  connect(PBusqueda, &BusquedaPage::HitChosen, this, &TMenuPral::ShowHit);
  connect(PBusqueda, &BusquedaPage::ResultsClicked, PArchivos, &ArchivosPage::ArbolClick);
  connect(PBusqueda, &BusquedaPage::SearchEnded, this, &TMenuPral::CloseIfAsked);
  connect(PBusqueda, &BusquedaPage::DiscsWanted, this,
          [this] { PBusqueda->SetFilterDiscs(ChooseDiscs()); });
}

void TMenuPral::WireRun() {
  CatalogarPage* run = PCatalogar;
  connect(run, &CatalogarPage::StatusText, this, &TMenuPral::ShowStatus);
  connect(run, &CatalogarPage::AllDiscsWanted, PCatalogos, &CatalogosPage::ClearFilter);
  // The refused disc's record is current: its row is shown.
  connect(run, &CatalogarPage::DuplicateFound, this, [this] {
    Guarded("SelectCurrentDiscRow", [&] { PCatalogos->SelectCurrentDiscRow(); });
    MostrarCatalogoActual(PCatalogos->CurrentTitle());
    Pagina->setCurrentIndex(kCatalogos);
  });
  connect(run, &CatalogarPage::WalkStarting, MArchivos, &QWidget::hide);
  for (QShortcut* open : findChildren<QShortcut*>("AbrirPrincipal")) {
    connect(run, &CatalogarPage::WalkStarting, open, [open] { open->setEnabled(false); });
    connect(run, &CatalogarPage::WalkEnded, open, [open] { open->setEnabled(true); });
  }
  connect(run, &CatalogarPage::DiscAppended, this, [this](const std::string& title) {
    MostrarCatalogoActual(title);
    ApplyPageVisibility();  // a run hides the other pages
    // The lines in memory become the new disc's: the catalogue shown is let go.
    PArchivos->ClearLoadedCatalogue();
  });
  connect(run, &CatalogarPage::WalkEnded, MArchivos, &QWidget::show);
  connect(run, &CatalogarPage::EditNewDisc, PCatalogos, &CatalogosPage::EditCurrentDisc);
  connect(run, &CatalogarPage::DiscCatalogued, PArchivos, &ArchivosPage::ShowNewDisc);
  connect(run, &CatalogarPage::DiscardRequested, this, [this](const std::string& number) {
    const CatalogosPage::QuietSelection quiet(*PCatalogos);
    // Removing the discarded disc reports its own failure.
    if (!number.empty()) PCatalogos->BorrarCatalogo(number);
  });
  connect(run, &CatalogarPage::RunEnded, this, [this](const std::string& number) {
    PCatalogos->Refill();
    Guarded("RunEnded", [&] {
      if (!number.empty()) tablas_.TablaCDRom.Locate("AUTO", number);
    });
    Guarded("RunEnded", [&] { PCatalogos->SelectCurrentDiscRow(); });
    MostrarCatalogoActual(PCatalogos->CurrentTitle());
    ApplyPageVisibility();
    CloseIfAsked();
  });
}

void TMenuPral::ShowStatus(const QString& text, bool bottomToo) {
  Label1->setText(text);
  if (!bottomToo) return;
  // An empty line leaves the bare version on the bottom bar.
  const QString version = QString::fromLatin1(kVersionLine);
  Label2->setText(text.isEmpty() ? version : version + QStringLiteral(" - ") + text);
}

void TMenuPral::CloseIfAsked() {
  // The window was asked to close during the work: it closes now the work is over.
  if (closeAfterWork_) QTimer::singleShot(0, this, &QWidget::close);
}

void TMenuPral::ShowHit(const std::string& number, const std::string& hitPath) {
  Guarded("ShowHit", [&] {
    if (!PCatalogos->MakeCurrent(number)) return;
    pageChangeQuiet_ = true;
    Pagina->setCurrentIndex(kArchivos);
    pageChangeQuiet_ = false;
    PArchivos->ShowHit(number, hitPath);
  });
}

void TMenuPral::RellenaCDs(const std::string& key) { PCatalogos->RellenaCDs(key); }

void TMenuPral::CatalogarClick() { PCatalogar->CatalogarClick(); }

void TMenuPral::UpdateDisc(const std::string& number) {
  if (PCatalogar->Busy()) return;
  Pagina->setCurrentIndex(kCatalogar);
  PCatalogar->ActualizarClick(number);
  if (Pagina->isTabVisible(kCatalogos)) Pagina->setCurrentIndex(kCatalogos);
}

void TMenuPral::BuildMenu() {
  PopUpArchivos = new QMenu(this);
  PopUpArchivos->setObjectName("PopUpArchivos");
  auto add = [this](const char* name, const char* caption) {
    QAction* action = PopUpArchivos->addAction(QString::fromUtf8(caption));
    action->setObjectName(name);
    return action;
  };
  Catalogar1 = add("Catalogar1", "Catalogar");
  Catalogos1 = add("Catalogos1", "Catálogos");
  Archivos1 = add("Archivos1", "Archivos");
  Busqueda1 = add("Busqueda1", "Búsqueda");
  PopUpArchivos->addSeparator();
  Opciones1 = add("Opciones1", "Opciones");
  VerHTML1 = add("VerHTML1", "Ver HTML");
  VerCSV1 = add("VerCSV1", "Exportar CSV");
  Actualizar1 = add("Actualizar1", "Actualizar disco...");
  Repetidos1 = add("Repetidos1", "Archivos repetidos");
  Estadisticas1 = add("Estadisticas1", "Estadísticas");
  Importar1 = add("Importar1", "Importar");
  PopUpArchivos->addSeparator();
  Salir1 = add("Salir1", "Salir");
  MArchivos->setMenu(PopUpArchivos);
  // The menu gives the focus back to where the user was (the list, the
  // tree, the file) when it closes, and again after its command's dialog:
  // the focus would rest on the menu's button, which the keys that open the
  // menu give it.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (now != nullptr && now != MArchivos && now->window() == this) focusBeforeMenu_ = now;
  });
  const auto giveFocusBack = [this] {
    QWidget* now = QApplication::focusWidget();
    if (focusBeforeMenu_ && focusBeforeMenu_->isVisible() && focusBeforeMenu_->isEnabled() &&
        (now == nullptr || now == MArchivos))
      focusBeforeMenu_->setFocus(Qt::OtherFocusReason);
  };
  connect(PopUpArchivos, &QMenu::aboutToHide, this,
          [this, giveFocusBack] { QTimer::singleShot(0, this, giveFocusBack); });
  connect(PopUpArchivos, &QMenu::triggered, this, giveFocusBack);

  connect(Catalogar1, &QAction::triggered, this, [this] { ShowPageIfVisible(kCatalogar); });
  connect(Catalogos1, &QAction::triggered, this, [this] { ShowPageIfVisible(kCatalogos); });
  connect(Archivos1, &QAction::triggered, this, [this] {
    if (!Pagina->isTabVisible(kArchivos)) return;
    ShowPageIfVisible(kArchivos);
    PaginaMouseUp();
  });
  connect(Busqueda1, &QAction::triggered, this, [this] { ShowPageIfVisible(kBusqueda); });
  connect(Opciones1, &QAction::triggered, this, [this] { Opciones1Click(); });
  connect(Importar1, &QAction::triggered, this, [this] { Importar1Click(); });
  connect(VerHTML1, &QAction::triggered, this, [this] { VerHtmlClick(); });
  connect(VerCSV1, &QAction::triggered, this, [this] { VerCsvClick(); });
  connect(Actualizar1, &QAction::triggered, this, [this] { PCatalogos->ActualizarCD1Click(); });
  connect(Repetidos1, &QAction::triggered, this, [this] { RepetidosClick(); });
  connect(Estadisticas1, &QAction::triggered, this, [this] { EstadisticasClick(); });
  connect(Salir1, &QAction::triggered, this, &QWidget::close);

  // The keyboard reaches the menu as a desktop's menu bar is reached: F10, or
  // the button's letter key (Alt+P); Ctrl+Q quits from anywhere. A run hides
  // the menu.
  auto* open = new QShortcut(QKeySequence(Qt::Key_F10), this);
  open->setObjectName("AbrirPrincipal");
  connect(open, &QShortcut::activated, this, [this] {
    if (MArchivos->isVisible()) MArchivos->showMenu();
  });
  Salir1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  Salir1->setShortcutContext(Qt::WindowShortcut);
  addAction(Salir1);
}

void TMenuPral::ShowPageIfVisible(int page) {
  Guarded(__func__, [&] {
    if (Pagina->isTabVisible(page)) Pagina->setCurrentIndex(page);
  });
}

std::string TMenuPral::Traduce(std::string_view key) const { return leng_.Traduce(key); }

void TMenuPral::FormCreate() {
  Guarded(__func__, [&] {
    TIniEditor::SetApplicationFolder(where_.programFolder.string() + "/");
    ini1_.SetFileLocation(TFileLocation::ApplicationPath);
    ini1_.SetFileName("Opcion");
    folders_.data = DetermineDataFolder(ini1_, where_.defaultDataFolder);
  });
  dataFolderExists_ = FolderExists(folders_.data);
  if (!dataFolderExists_) return;  // the data module reports it and ends the program

  Guarded(__func__, [&] {
    CopyShippedLanguageFiles(ShippedLanguageFolder(where_.executableFolder), folders_.data);
  });
  Guarded(__func__, [&] {
    std::string language = ini1_.ReadStr("General", "Lenguaje", "");
    TraduceTodo(language.empty() ? "Espanol.Len" : language);
  });
  Guarded(__func__, [&] {
    if (auto report = CreaFicheros(folders_.data, leng_)) {
      dialogs_.PonerMensaje(*report);
      firstRun_ = true;
    }
  });
  const WorkingFolders below = FoldersBelow(folders_.data);
  Guarded(__func__, [&] {
    MakeWorkingFolder(below.catalogos, "Catalogos1", leng_, dialogs_);
    folders_.catalogos = below.catalogos;
    MakeWorkingFolder(below.busquedas, "Busqueda1", leng_, dialogs_);
    folders_.busquedas = below.busquedas;
    MakeWorkingFolder(below.exportar, "Exportacion", leng_, dialogs_);
    folders_.exportar = below.exportar;
  });
  Guarded("RellenaBusquedas", [&] { PBusqueda->RellenaBusquedas(); });
  Guarded(__func__, [&] {
    MakeWorkingFolder(below.temp, "Temporal", leng_, dialogs_);
    folders_.temp = below.temp;
  });
  resize(752, height());
  Pagina->setCurrentIndex(kCatalogar);
  setWindowTitle(QString::fromLatin1(kVersionLine) + QStringLiteral(" - catálogo de discos"));
  Guarded(__func__, [&] {
    const std::vector<std::string> existing = ListFiles(folders_.data, "Opcion.ini");
    posicion_.SetFileLocation(TFileLocation::PathInFileName);
    // When the data folder is the program's folder, both settings share one file.
    posicion_.SetFileName(
        (folders_.data / (existing.empty() ? "Opcion.INI" : existing.front())).string());
  });
  PCatalogar->LoadSettings();
  PBusqueda->RestoreLastSearch();
}

bool TMenuPral::CreaModuloDatos() {
  if (!dataFolderExists_) {
    dialogs_.PonerMensaje(PathText(folders_.data) + "." + Traduce("NoExisteDirectorio"));
    return false;
  }
  Guarded(__func__, [&] { tablas_.SetFolder(folders_.data); });
  // Upgrades, leftovers of interrupted work and indexes in doubt are dealt
  // with before the table is used.
  const bool prepared = Reported(dialogs_, leng_.Translator(), "ErrorActualizar",
                                 [&] { PrepareTables(folders_.data, folders_.catalogos); });
  // Pages and settings are written without the folder's lock: only what an
  // interrupted write left a while ago goes.
  Guarded(__func__, [&] {
    for (const fs::path& folder : {folders_.busquedas, folders_.exportar, where_.programFolder})
      if (!folder.empty()) RemoveLeftoverTempFiles(folder, true);
  });
  try {
    tablas_.OpenDiscTable();
  } catch (const std::exception& error) {
    // A damaged table is reported and left closed; nothing is written to it.
    // (A failed upgrade was reported already: the table then lacks its field.)
    if (prepared) dialogs_.PonerMensaje(FailureText(leng_.Translator(), error));
  }
  PCatalogos->RellenaFiltro();
  PCatalogos->Refill();
  std::string title;
  Guarded(__func__, [&] {
    if (tablas_.TablaCDRom.Active()) {
      tablas_.TablaCDRom.First();
      title = tablas_.TablaCDRom.AsString("TITULOCD");
      PCatalogos->SelectCurrentDiscRow();
    }
  });
  MostrarCatalogoActual(title);
  ApplyPageVisibility();
  return true;
}

void TMenuPral::PrepareTables(const fs::path& data, const fs::path& catalogos) {
  const UpgradeContext context{[this](std::string_view key) { return Traduce(key); }, dialogs_,
                               locale_, LocalTimeNow};
  const DataFolderRepairs repairs =
      PrepareDataFolder(data, catalogos, context, Traduce("CreandoIndices"));
  if (repairs.busy) dialogs_.PonerMensaje(Traduce("CarpetaOcupada"));
  if (repairs.tableConverted) dialogs_.PonerMensaje(Traduce("TablaConvertida"));
  if (repairs.tableRepaired) dialogs_.PonerMensaje(Traduce("TablaReparada"));
  if (repairs.tableChangedElsewhere) dialogs_.PonerMensaje(Traduce("TablaCambiada"));
  if (repairs.unfinishedRemoved > 0)
    dialogs_.PonerMensaje(Traduce("CatalogosQuitados") + std::to_string(repairs.unfinishedRemoved));
  if (repairs.unfinishedCompleted > 0)
    dialogs_.PonerMensaje(Traduce("CatalogosTerminados") +
                          std::to_string(repairs.unfinishedCompleted));
  if (repairs.busy) return;
  try {
    BuildMissingSearchIndex(data, catalogos, dialogs_, Traduce("CreandoIndiceBusqueda"));
  } catch (const FolderBusy&) {
    // Left for the next opening: searches read every list meanwhile.
  } catch (const std::exception& error) {
    dialogs_.PonerMensaje(
        FailureText([this](std::string_view key) { return Traduce(key); }, error));
  }
}

void TMenuPral::MostrarCatalogoActual(const std::string& title) {
  shownTitle_ = title;
  Label1->setText(Qs(Traduce("CatalogoActual") + " " + title));
  Label2->setText(Qs(std::string(kVersionLine) + " - ") + Label1->text());
}

void TMenuPral::ApplyPageVisibility() {
  // A catalogue run leaves only its own page and takes no other command.
  const bool running = PCatalogar->Running();
  Pagina->setTabVisible(kCatalogos, !running);
  Pagina->setTabVisible(kArchivos, false);
  // Importing is how a new user fills an empty table: offered whenever no
  // run is going.
  Importar1->setEnabled(!running);
  try {
    const bool anyDisc =
        !running && tablas_.TablaCDRom.Active() && tablas_.TablaCDRom.RecordCount() > 0;
    Pagina->setTabVisible(kArchivos, anyDisc);
    Pagina->setTabVisible(kBusqueda, anyDisc);
    VerHTML1->setEnabled(anyDisc);
    VerCSV1->setEnabled(anyDisc);
    Repetidos1->setEnabled(anyDisc);
    Actualizar1->setEnabled(anyDisc);
    PCatalogos->SortMenu()->menuAction()->setEnabled(anyDisc);
    Estadisticas1->setEnabled(anyDisc);
  } catch (const std::exception& error) {
    // Counting failed: the files page stays hidden, the rest as it was.
    qWarning("ApplyPageVisibility: %s", error.what());
  }
}

void TMenuPral::FormActivate() {
  if (firstRun_) {
    firstRun_ = false;
    dialogs_.PonerMensaje(Traduce("PrimeraVez"));
  }
}

void TMenuPral::PaginaMouseUp() {
  MostrarCatalogoActual(PCatalogos->CurrentTitle());
  if (Pagina->currentIndex() == kArchivos) PArchivos->ShowCurrentDisc();
  if (Pagina->currentIndex() == kBusqueda) PBusqueda->FocusSearchBox();
}

void TMenuPral::ShowHint(const QString& hint) {
  const QString longPart = LongHint(hint);
  if (!longPart.isEmpty()) {
    Label1->setText(longPart);
  } else {
    Label1->setText(Qs(Traduce("CatalogoActual") + " " + PCatalogos->CurrentTitle()));
  }
}

bool TMenuPral::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    Guarded(__func__, [&] { ShowHint(static_cast<QStatusTipEvent*>(event)->tip()); });
    return true;
  }
  if (event->type() == QEvent::WindowActivate) Guarded(__func__, [&] { FormActivate(); });
  return QWidget::event(event);
}

bool TMenuPral::Label2Mouse(QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
      type != QEvent::MouseButtonRelease)
    return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint at = mouse->position().toPoint();
  switch (type) {
    case QEvent::MouseButtonPress:
      if (mouse->button() != Qt::LeftButton) return false;
      Label2->grabMouse();
      dragging_ = true;
      dragStart_ = at;
      return true;
    case QEvent::MouseMove:
      if (!dragging_) return false;
      move(pos() + (at - dragStart_));
      return true;
    case QEvent::MouseButtonRelease:
      if (!dragging_ || mouse->button() != Qt::LeftButton) return false;
      Label2->releaseMouse();
      dragging_ = false;
      move(pos() + (at - dragStart_));
      return true;
    default:
      return false;
  }
}

bool TMenuPral::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label2) {
    bool handled = false;
    Guarded(__func__, [&] { handled = Label2Mouse(event); });
    if (handled) return true;
  } else if (watched == Pagina->Tabs() && event->type() == QEvent::MouseButtonRelease) {
    // After the tab bar has handled the click, as a release over the page control.
    QTimer::singleShot(0, this, [this] { PaginaMouseUp(); });
  }
  return QWidget::eventFilter(watched, event);
}

void TMenuPral::showEvent(QShowEvent* event) {
  if (!placementRestored_) {
    placementRestored_ = true;
    Guarded(__func__, [&] { RestorePlacement(); });
  }
  QWidget::showEvent(event);
  // Some window systems never activate a window they did not focus: greet
  // after the window is visible in any case.
  QTimer::singleShot(0, this, [this] { Guarded("FormActivate", [&] { FormActivate(); }); });
}

void TMenuPral::closeEvent(QCloseEvent* event) {
  if (PCatalogar->Running() || PBusqueda->Searching() || importing_) {
    // Nothing half-done may stay: the work stops first and then closes the window.
    closeAfterWork_ = true;
    if (PCatalogar->Running()) PCatalogar->PararClick();
    if (PBusqueda->Searching()) PBusqueda->StopForClosing();
    event->ignore();
    return;
  }
  Guarded(__func__, [&] { SavePlacementNow(); });
  if (!closed_) FormClose();
  event->accept();
}

void TMenuPral::FormClose() {
  closed_ = true;
  Guarded(__func__, [&] { tablas_.TablaCDRom.Close(); });
  PArchivos->Catalogo().Clear();
  Guarded(__func__, [&] {
    if (!folders_.temp.empty()) EmptyFolderFiles(folders_.temp);
  });
  Guarded(__func__, [&] {
    tablas_.TablaCDRom.Close();
    tablas_.TablaCDRomTemp.Close();
    tablas_.TablaGraf.Close();
  });
}

namespace {

ScreenFacts FactsOf(const QScreen* screen) {
  ScreenFacts facts;
  if (screen == nullptr) return facts;
  facts.width = screen->geometry().width();
  facts.height = screen->geometry().height();
  facts.pixelsPerInch = static_cast<int>(screen->logicalDotsPerInch() + 0.5);
  return facts;
}

}  // namespace

void TMenuPral::RestorePlacement() {
  if (posicion_.FileName().empty()) return;
  const std::optional<WindowPlacement> saved = LoadPlacement(posicion_, FactsOf(screen()));
  if (!saved) {
    if (const QScreen* desktop = screen()) {  // centred on the desktop
      QRect frame = frameGeometry();
      frame.moveCenter(desktop->availableGeometry().center());
      move(frame.topLeft());
    }
    return;
  }
  // On the monitor the window was on, when it is still there; else on this one.
  const QPoint centre((saved->left + saved->right) / 2, (saved->top + saved->bottom) / 2);
  const QScreen* on = QGuiApplication::screenAt(centre);
  if (on == nullptr) on = screen();
  const QRect free = on != nullptr ? on->availableGeometry() : QRect();
  const WindowPlacement fitted =
      FitPlacement(*saved, ScreenArea{free.left(), free.top(), free.width(), free.height()});
  setGeometry(fitted.left, fitted.top, fitted.right - fitted.left, fitted.bottom - fitted.top);
  if (saved->showCmd == 3) setWindowState(windowState() | Qt::WindowMaximized);
}

void TMenuPral::SavePlacementNow() {
  if (posicion_.FileName().empty() || !dataFolderExists_) return;
  const QRect normal = isMaximized() ? normalGeometry() : geometry();
  WindowPlacement placement;
  placement.showCmd = isMaximized() ? 3 : 1;
  placement.left = normal.left();
  placement.top = normal.top();
  placement.right = normal.left() + normal.width();
  placement.bottom = normal.top() + normal.height();
  SavePlacement(posicion_, placement, FactsOf(screen()));
}

}  // namespace zafirel
