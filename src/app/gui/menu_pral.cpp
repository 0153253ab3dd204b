#include "app/gui/menu_pral.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>

#include "app/gui/page_control.h"
#include "util/gui/palette.h"
#include "util/gui/qt_text.h"
#include "settings/language.h"
#include "app/window_placement.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/catalogos_page.h"
#include "scan/catalogue_run.h"
#include "scan/gui/catalogar_page.h"
#include "search/gui/busqueda_page.h"
#include "store/data_folder.h"
#include "util/dialogs.h"
#include "util/guarded.h"
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
    : QWidget(parent), where_(where), locale_(locale), leng_(leng), dialogs_(dialogs) {
  setObjectName("TMenuPral");
  BuildFrame();
  FormCreate();
}

TMenuPral::~TMenuPral() {
  if (!closed_) FormClose();
  Guarded([&] { SavePlacementNow(); });
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
  PCatalogar = new CatalogarPage;
  PCatalogos = new CatalogosPage;
  PArchivos = new ArchivosPage;
  PBusqueda = new BusquedaPage;
  Pagina->addTab(PCatalogar, QStringLiteral("Catalogar"));
  Pagina->addTab(PCatalogos, QStringLiteral("Catálogos"));
  Pagina->addTab(PArchivos, QStringLiteral("Archivos"));
  Pagina->addTab(PBusqueda, QStringLiteral("Búsqueda"));
  static const char* const kTabKeys[] = {"Catalogar1", "Catalogos1", "Archivos1", "Busqueda1"};
  Pagina->Tabs()->SetCaptionLookup([this](int index) {
    return index >= 0 && index < 4 ? Qs(Traduce(kTabKeys[index])) : QString();
  });
  Pagina->Tabs()->installEventFilter(this);
  connect(Pagina, &QTabWidget::currentChanged, this, [this] {
    if (!pageChangeQuiet_) PaginaMouseUp();
  });
  column->addWidget(Pagina, 1);

  Label1 = new QLabel(QStringLiteral("Catálogo actual:"), this);
  Label1->setObjectName("Label1");
  Label1->setFixedHeight(28);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setWordWrap(true);
  Label1->setAutoFillBackground(true);
  QPalette status = Label1->palette();
  status.setColor(QPalette::Window, colors::kStatus);
  Label1->setPalette(status);
  column->addWidget(Label1);

  Label2 = new QLabel(QStringLiteral("Zafirel! v1.11"), this);
  Label2->setObjectName("Label2");
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

  connect(PCatalogar->Zips, &QCheckBox::clicked, this, [this](bool ticked) {
    Guarded([&] { ini1_.WriteStr("General", "Zip", ticked ? "S" : "N"); });
  });
  ConnectBrowsing();
  ConnectSearching();
  connect(PCatalogar->Catalogar, &QPushButton::clicked, this, [this] { CatalogarClick(); });
  connect(PCatalogar->Parar, &QPushButton::clicked, this, [this] { PararClick(); });
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
  Importar1 = add("Importar1", "Importar");
  PopUpArchivos->addSeparator();
  Salir1 = add("Salir1", "Salir");
  MArchivos->setMenu(PopUpArchivos);

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
  connect(Salir1, &QAction::triggered, this, &QWidget::close);
}

void TMenuPral::ShowPageIfVisible(int page) {
  Guarded([&] {
    if (Pagina->isTabVisible(page)) Pagina->setCurrentIndex(page);
  });
}

std::string TMenuPral::Traduce(std::string_view key) const { return leng_.Traduce(key); }

void TMenuPral::FormCreate() {
  Guarded([&] {
    TIniEditor::SetApplicationFolder(where_.programFolder.string() + "/");
    ini1_.SetFileLocation(TFileLocation::ApplicationPath);
    ini1_.SetFileName("Opcion");
    folders_.data = DetermineDataFolder(ini1_, where_.defaultDataFolder);
    catalogo_.lockFolder = folders_.data;
  });
  dataFolderExists_ = FolderExists(folders_.data);
  if (!dataFolderExists_) return;  // the data module reports it and ends the program

  Guarded([&] { CopyShippedLanguageFiles(where_.executableFolder, folders_.data); });
  Guarded([&] {
    std::string language = ini1_.ReadStr("General", "Lenguaje", "");
    TraduceTodo(language.empty() ? "Espanol.Len" : language);
  });
  Guarded([&] {
    if (auto report = CreaFicheros(folders_.data, leng_)) {
      dialogs_.PonerMensaje(*report);
      catalogo_.RutaIndActual = kFirstRunMarker;
    }
  });
  const WorkingFolders below = FoldersBelow(folders_.data);
  Guarded([&] {
    MakeWorkingFolder(below.catalogos, "Catalogos1", leng_, dialogs_);
    folders_.catalogos = below.catalogos;
    MakeWorkingFolder(below.busquedas, "Busqueda1", leng_, dialogs_);
    folders_.busquedas = below.busquedas;
    MakeWorkingFolder(below.exportar, "Exportacion", leng_, dialogs_);
    folders_.exportar = below.exportar;
  });
  Guarded([&] { RellenaBusquedas(); });
  Guarded([&] {
    MakeWorkingFolder(below.temp, "Temporal", leng_, dialogs_);
    folders_.temp = below.temp;
  });
  resize(752, height());
  Pagina->setCurrentIndex(kCatalogar);
  setWindowTitle(QStringLiteral("Zafirel! v1.1 - catálogo de discos"));
  Guarded([&] {
    const std::vector<std::string> existing = ListFiles(folders_.data, "Opcion.ini");
    posicion_.SetFileLocation(TFileLocation::PathInFileName);
    // When the data folder is the program's folder, both settings share one file.
    posicion_.SetFileName(
        (folders_.data / (existing.empty() ? "Opcion.INI" : existing.front())).string());
  });
  Guarded([&] { PCatalogar->Zips->setChecked(ini1_.ReadStr("General", "Zip", "N") == "S"); });
  Guarded([&] { drives_ = DriveMap::FromSystem(DriveSettings(ini1_)); });
  Guarded([&] { PBusqueda->EBusca->setText(Qs(ini1_.ReadStr("General", "Busqueda", ""))); });
}

bool TMenuPral::CreaModuloDatos() {
  if (!dataFolderExists_) {
    dialogs_.PonerMensaje(PathText(folders_.data) + "." + Traduce("NoExisteDirectorio"));
    return false;
  }
  Guarded([&] { tablas_.SetFolder(folders_.data); });
  // Upgrades, leftovers of interrupted work and indexes in doubt are dealt
  // with before the table is used.
  Guarded([&] { PrepareTables(folders_.data, folders_.catalogos); });
  // Pages and settings are written without the folder's lock: only what an
  // interrupted write left a while ago goes.
  Guarded([&] {
    for (const fs::path& folder : {folders_.busquedas, folders_.exportar, where_.programFolder})
      if (!folder.empty()) RemoveLeftoverTempFiles(folder, true);
  });
  try {
    tablas_.OpenDiscTable();
  } catch (const std::exception& error) {
    // A damaged table is reported and left closed; nothing is written to it.
    dialogs_.PonerMensaje(error.what());
  }
  Guarded([&] { RellenaFiltro(PCatalogos->CFiltro); });
  IgnorarCambios = true;
  Guarded([&] { RellenaCDs(SavedSortKey()); });
  IgnorarCambios = false;
  std::string title;
  Guarded([&] {
    if (tablas_.TablaCDRom.Active()) {
      tablas_.TablaCDRom.First();
      title = tablas_.TablaCDRom.AsString("TITULOCD");
      if (!title.empty()) SeleccionarFilaPorTitulo(title);
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
  if (repairs.unfinishedRemoved > 0)
    dialogs_.PonerMensaje(Traduce("CatalogosQuitados") + std::to_string(repairs.unfinishedRemoved));
  if (repairs.unfinishedCompleted > 0)
    dialogs_.PonerMensaje(Traduce("CatalogosTerminados") +
                          std::to_string(repairs.unfinishedCompleted));
}

void TMenuPral::MostrarCatalogoActual(const std::string& title) {
  Label1->setText(Qs(Traduce("CatalogoActual") + " " + title));
  Label2->setText(Qs(std::string(kVersionLine) + " - ") + Label1->text());
}

std::string TMenuPral::CurrentTitle() {
  std::string title;
  Guarded([&] {
    if (tablas_.TablaCDRom.Active() && !tablas_.TablaCDRom.IsEmpty())
      title = tablas_.TablaCDRom.AsString("TITULOCD");
  });
  return title;
}

void TMenuPral::ApplyPageVisibility() {
  Pagina->setTabVisible(kArchivos, false);
  try {
    const bool anyDisc = tablas_.TablaCDRom.Active() && tablas_.TablaCDRom.RecordCount() > 0;
    Pagina->setTabVisible(kArchivos, anyDisc);
    Pagina->setTabVisible(kBusqueda, anyDisc);
    VerHTML1->setEnabled(anyDisc);
    Importar1->setEnabled(anyDisc);
  } catch (...) {
    // Counting failed: the files page stays hidden, the rest as it was.
  }
}

void TMenuPral::FormActivate() {
  if (catalogo_.RutaIndActual == kFirstRunMarker) {
    catalogo_.RutaIndActual.clear();
    dialogs_.PonerMensaje(Traduce("PrimeraVez"));
  }
}

void TMenuPral::PaginaMouseUp() {
  std::filesystem::path base;
  Guarded([&] { base = CurrentBase(); });
  Guarded([&] { MostrarCatalogoActual(CurrentTitle()); });
  if (Pagina->currentIndex() == kArchivos) {
    Guarded([&] {
      if (!CargarCatalogo(base)) return;
      SelectFolder(0);
      ArbolClick();
    });
  }
  if (Pagina->currentIndex() == kBusqueda) PBusqueda->EBusca->setFocus();
}

void TMenuPral::ShowHint(const QString& hint) {
  const int bar = hint.indexOf(QLatin1Char('|'));
  const QString longPart = bar >= 0 ? hint.mid(bar + 1) : hint;
  if (!longPart.isEmpty()) {
    Label1->setText(longPart);
  } else {
    Label1->setText(Qs(Traduce("CatalogoActual") + " " + CurrentTitle()));
  }
}

bool TMenuPral::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    Guarded([&] { ShowHint(static_cast<QStatusTipEvent*>(event)->tip()); });
    return true;
  }
  if (event->type() == QEvent::WindowActivate) Guarded([&] { FormActivate(); });
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
    Guarded([&] { handled = Label2Mouse(event); });
    if (handled) return true;
  } else if (watched == PArchivos->Arbol && event->type() == QEvent::KeyRelease) {
    ArbolClick();  // ArbolKeyUp
  } else if (watched == Pagina->Tabs() && event->type() == QEvent::MouseButtonRelease) {
    // After the tab bar has handled the click, as a release over the page control.
    QTimer::singleShot(0, this, [this] { PaginaMouseUp(); });
  }
  return QWidget::eventFilter(watched, event);
}

void TMenuPral::showEvent(QShowEvent* event) {
  if (!placementRestored_) {
    placementRestored_ = true;
    Guarded([&] { RestorePlacement(); });
  }
  QWidget::showEvent(event);
  // Some window systems never activate a window they did not focus: greet
  // after the window is visible in any case.
  QTimer::singleShot(0, this, [this] { Guarded([&] { FormActivate(); }); });
}

void TMenuPral::closeEvent(QCloseEvent* event) {
  if (run_ || searching_ || importing_) {
    // Nothing half-done may stay: the work stops first and then closes the window.
    closeAfterWork_ = true;
    if (run_) PararClick();
    if (searching_) BCancelarClick();
    event->ignore();
    return;
  }
  Guarded([&] { SavePlacementNow(); });
  if (!closed_) FormClose();
  event->accept();
}

void TMenuPral::FormClose() {
  closed_ = true;
  Guarded([&] { tablas_.TablaCDRom.Close(); });
  catalogo_.Clear();
  LineasCarpetas.clear();
  Guarded([&] {
    if (!folders_.temp.empty()) EmptyFolderFiles(folders_.temp);
  });
  Guarded([&] {
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
  setGeometry(saved->left, saved->top, saved->right - saved->left, saved->bottom - saved->top);
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
