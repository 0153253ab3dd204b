#include "search/gui/busqueda_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>

#include "search/catalogue_search.h"
#include "search/gui/results_roles.h"
#include "search/gui/saved_pages.h"
#include "search/gui/search_filter_bar.h"
#include "search/gui/search_results_model.h"
#include "search/html_pages.h"
#include "settings/ini_editor.h"
#include "settings/language.h"
#include "store/catalogue_files.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/gui/controls.h"
#include "util/gui/guarded.h"
#include "util/gui/qt_text.h"
#include "util/gui/wait_cursor.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

// The bar's range: bytes read of all catalogues, as a share of this.
constexpr int kBarSteps = 1000;
constexpr std::chrono::milliseconds kRefreshEvery{75};

}  // namespace

BusquedaPage::BusquedaPage(const PageServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  setObjectName("PBusqueda");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 6, 6, 6);

  EBusca = new QLineEdit(this);
  EBusca->setObjectName("EBusca");
  BBuscar = new QPushButton(QStringLiteral("&Buscar"), this);
  BBuscar->setObjectName("BBuscar");
  BCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
  BCancelar->setObjectName("BCancelar");
  BCancelar->hide();
  Barra = new QProgressBar(this);
  Barra->setObjectName("Barra");
  Barra->setTextVisible(false);
  Barra->setMaximumHeight(12);
  Barra->hide();
  LEncontrados = new QLabel(QStringLiteral("--------------"), this);
  LEncontrados->setObjectName("LEncontrados");
  LEncontrados->hide();
  // The bar's row keeps its height with nothing shown in it, so the results
  // stay where they are when a search begins and ends.
  for (QWidget* shown : {static_cast<QWidget*>(Barra), static_cast<QWidget*>(LEncontrados)}) {
    QSizePolicy policy = shown->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    shown->setSizePolicy(policy);
  }
  Label3 = new QLabel(QStringLiteral("Búsquedas anteriores"), this);
  Label3->setObjectName("Label3");
  CBusquedas = new QComboBox(this);
  CBusquedas->setObjectName("CBusquedas");
  // Wide enough for a saved search's text, whatever the list holds.
  CBusquedas->setMinimumContentsLength(24);
  CBusquedas->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  GrabarBusca = new QPushButton(QStringLiteral("Grabar búsqueda"), this);
  GrabarBusca->setObjectName("GrabarBusca");
  GrabarCsv = new QPushButton(QStringLiteral("Grabar CSV"), this);
  GrabarCsv->setObjectName("GrabarCsv");
  BFiltros = new QPushButton(QStringLiteral("F&iltros"), this);
  BFiltros->setObjectName("BFiltros");
  BFiltros->setCheckable(true);
  Filtros = new SearchFilterBar(services_, this);
  for (QPushButton* button : {BBuscar, BCancelar, GrabarBusca, GrabarCsv, BFiltros})
    MakeFlat(*button);

  Busca = new QTreeView(this);
  Busca->setObjectName("Busca");
  Resultados = new SearchResultsModel(this);
  Resultados->setObjectName("Resultados");
  Resultados->SetIcon(style()->standardIcon(QStyle::SP_FileIcon));
  Busca->setModel(Resultados);
  Busca->setHeaderHidden(true);
  Busca->setUniformRowHeights(true);
  Busca->setEditTriggers(QAbstractItemView::NoEditTriggers);

  grid->addWidget(EBusca, 0, 0);
  grid->addWidget(BBuscar, 0, 1);
  grid->addWidget(BCancelar, 0, 2);
  grid->addWidget(BFiltros, 1, 0, Qt::AlignLeft);
  grid->addWidget(Label3, 1, 0, Qt::AlignRight);
  grid->addWidget(CBusquedas, 1, 1);
  grid->addWidget(GrabarBusca, 1, 2);
  grid->addWidget(GrabarCsv, 1, 3);
  grid->addWidget(Filtros, 2, 0, 1, 4);
  grid->addWidget(Barra, 3, 0, 1, 2);
  grid->addWidget(LEncontrados, 3, 2, 1, 2);
  grid->addWidget(Busca, 4, 0, 1, 4);
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(4, 1);
  ConnectControls();
}

std::string BusquedaPage::Traduce(const char* key) const { return services_.leng.Traduce(key); }

void BusquedaPage::ConnectControls() {
  connect(BBuscar, &QPushButton::clicked, this, [this] { BBuscarClick(); });
  connect(EBusca, &QLineEdit::returnPressed, this, [this] { BBuscarClick(); });
  connect(BCancelar, &QPushButton::clicked, this, [this] { BCancelarClick(); });
  connect(Busca, &QAbstractItemView::doubleClicked, this, [this] { BuscaDblClick(); });
  for (QKeySequence key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
    auto* jump = new QShortcut(key, Busca, nullptr, nullptr, Qt::WidgetShortcut);
    connect(jump, &QShortcut::activated, this, [this] { BuscaDblClick(); });
  }
  connect(Busca, &QAbstractItemView::clicked, this, [this] { emit ResultsClicked(); });
  connect(GrabarBusca, &QPushButton::clicked, this, [this] { GrabarBuscaClick(); });
  connect(GrabarCsv, &QPushButton::clicked, this, [this] { GrabarCsvClick(); });
  connect(Filtros, &SearchFilterBar::DiscsWanted, this, &BusquedaPage::DiscsWanted);
  connect(CBusquedas, &QComboBox::activated, this, [this] { CBusquedasChange(); });
  connect(BFiltros, &QPushButton::toggled, this,
          [this](bool open) { Guarded("Filtros", [&] { Filtros->SetOpen(open); }); });
}

void BusquedaPage::Retranslate() {
  BBuscar->setText(Qs(Traduce("Buscar")));
  BCancelar->setText(Qs(Traduce("Cancelar")));
  Label3->setText(Qs(Traduce("BusquedasAnteriores")));
  Label3->setBuddy(CBusquedas);
  NameForReaders(*EBusca, Traduce("NombreTextoBusqueda"));
  NameForReaders(*Busca, Traduce("NombreResultados"), Traduce("DescResultados"));
  GrabarBusca->setText(Qs(Traduce("GrabarBusca")));
  EBusca->setStatusTip(Qs(Traduce("EBuscaHint")));
  BBuscar->setStatusTip(Qs(Traduce("BBuscarHint")));
  GrabarBusca->setStatusTip(Qs(Traduce("GrabarBuscaHint")));
  GrabarCsv->setText(Qs(Traduce("GrabarCsv")));
  GrabarCsv->setStatusTip(Qs(Traduce("GrabarCsvHint")));
  Busca->setStatusTip(Qs(Traduce("BuscaHint")));
  BFiltros->setText(Qs(Traduce("Filtros")));
  BFiltros->setStatusTip(Qs(Traduce("FiltrosHint")));
  Filtros->Retranslate();
}

void BusquedaPage::RestoreLastSearch() {
  Guarded("RestoreLastSearch", [&] {
    EBusca->setText(Qs(services_.ini.ReadStr("General", "Busqueda", "")));
    Filtros->Restore();
    const QSignalBlocker quiet(BFiltros);
    BFiltros->setChecked(!Filtros->isHidden());
  });
}

void BusquedaPage::FocusSearchBox() { EBusca->setFocus(); }

void BusquedaPage::BBuscarClick() {
  Guarded("BBuscarClick", [&] { BuscaEnArchivos(Ansi(EBusca->text())); });
}

void BusquedaPage::StopForClosing() {
  closing_ = true;
  BCancelarClick();
}

void BusquedaPage::BuscaDblClick() {
  if (Busca->selectionModel() == nullptr) return;
  const QModelIndexList chosen = Busca->selectionModel()->selectedIndexes();
  if (chosen.isEmpty()) return;
  const QModelIndex node = chosen.front();
  if (node.data(kDiscNumberRole).isValid()) return;  // a disc node, not a hit
  const QModelIndex disc = node.parent();
  const QVariant number = disc.data(kDiscNumberRole);
  if (!disc.isValid() || !number.isValid()) return;
  emit HitChosen(number.toString().toStdString(), Ansi(node.data(Qt::DisplayRole).toString()));
}

void BusquedaPage::BuscaEnArchivos(const std::string& text) {
  if (text.empty() || searching_) return;  // one search at a time
  std::variant<SearchFilter, std::string> filter = Filtros->Filter();
  if (const std::string* wrong = std::get_if<std::string>(&filter)) {
    services_.dialogs.PonerMensaje(*wrong);
    return;
  }
  if (!Filtros->isHidden()) Filtros->Remember();
  searching_ = true;
  BusquedaCancelada = false;
  Resultados->BeginUpdate();
  const std::string remembered = services_.tablas.CurrentDisc("AUTO");
  const std::string found = Traduce("Encontrados");
  Barra->setRange(0, kBarSteps);
  Barra->setValue(0);
  Barra->show();
  LEncontrados->show();
  LEncontrados->setText(Qs(found + " : 0"));
  BCancelar->show();
  BBuscar->setEnabled(false);
  std::optional<WaitCursor> wait(std::in_place);

  SearchOutcome outcome;
  outcome.text = UpperAZ(text);
  std::uint64_t bytesDone = 0, bytesTotal = 0;
  // The counter and the bar change, and events are pumped, together: at the
  // first chance, at the first hit (a search that finds little shows it at
  // once), then at most every kRefreshEvery however many hits come, and at
  // the end. A repaint per hit would cost far more than the search.
  using Clock = std::chrono::steady_clock;
  Clock::time_point nextRefresh = Clock::now();
  bool hitShown = false;
  auto refresh = [&](bool now) {
    const Clock::time_point time = Clock::now();
    if (!now && time < nextRefresh) return;
    nextRefresh = time + kRefreshEvery;
    LEncontrados->setText(Qs(found + " : " + std::to_string(outcome.matches)));
    if (bytesTotal > 0)
      Barra->setValue(static_cast<int>(std::min(bytesDone, bytesTotal) * kBarSteps / bytesTotal));
    services_.dialogs.ProcessEvents();
  };
  SearchEvents events;
  events.cancelled = [this] { return BusquedaCancelada; };
  events.progress = [&](std::uint64_t done, std::uint64_t total) {
    bytesDone = done;
    bytesTotal = total;
    refresh(false);
  };
  events.titleHeading = [&](const std::string& heading) { Resultados->AddTitleHeading(heading); };
  events.discHeading = [&](const std::string& heading, const std::string& number) {
    Resultados->AddDiscHeading(heading, number);
  };
  events.hit = [&](std::string_view path) { Resultados->AddHit(path); };
  events.matched = [&](int matches) {
    outcome.matches = matches;
    refresh(!std::exchange(hitShown, true));
  };
  lastText_ = text;
  lastFilter_ = std::get<SearchFilter>(filter);
  try {
    outcome = zafirel::BuscaEnArchivos(services_.tablas, services_.folders.catalogos, text,
                                       Traduce("VerCatalogos"), events, lastFilter_);
  } catch (const std::exception& error) {
    // A catalogue that cannot be read ends the scan; the finish runs all the same.
    qWarning("BuscaEnArchivos: %s", error.what());
  }
  bytesDone = bytesTotal;
  refresh(true);  // the final count

  BusquedaCancelada = false;
  BBuscar->setEnabled(true);
  Barra->hide();
  Resultados->EndUpdate();
  BCancelar->hide();
  wait.reset();
  Guarded("Locate", [&] {
    dbf::Table& discs = services_.tablas.TablaCDRom;
    if (!remembered.empty() && discs.Locate("AUTO", remembered))
      emit TitleChosen(discs.AsString("TITULOCD"));
  });
  const std::string suffix = outcome.beyondLimit() ? ". " + Traduce("Coincidencias") : "";
  searching_ = false;
  if (closing_) {
    // The window is closing: the search stopped and nothing more is shown.
    LEncontrados->hide();
    emit SearchEnded();
    return;
  }
  services_.dialogs.PonerMensaje(outcome.text + " " + Traduce("Encontrado") + " " +
                                 std::to_string(outcome.matches) + " " + Traduce("Veces") + suffix);
  // Remembered for the next start; not a change the user asked for.
  services_.ini.WriteStr("General", "Busqueda", outcome.text);
  // The count stays shown with the results it counts.
  emit SearchEnded();
}

void BusquedaPage::RellenaBusquedas() {
  const QSignalBlocker quiet(CBusquedas);
  CBusquedas->clear();
  for (const std::string& name : ListStoredSearches(services_.folders.busquedas))
    CBusquedas->addItem(QString::fromStdString(name));
  CBusquedas->setCurrentIndex(-1);
}

void BusquedaPage::GrabarBuscaClick() {
  Dialogs& dialogs = services_.dialogs;
  if (Resultados->empty()) {
    dialogs.PonerMensaje(Traduce("HacerBusqueda"));
    return;
  }
  GrabarBusca->setEnabled(false);
  const std::string text = Ansi(EBusca->text());
  const fs::path page = StoredSearchPath(services_.folders.busquedas, text);
  const SearchResultsModel* results = Resultados;
  SaveAndOpenPage(services_, page, text,
                  [results](const auto& visit) { results->ForEachNode(visit); });
  GrabarBusca->setEnabled(true);
  Guarded("RellenaBusquedas", [&] { RellenaBusquedas(); });
}

void BusquedaPage::SetFilterDiscs(std::vector<std::string> numbers) {
  Filtros->SetDiscs(std::move(numbers));
}

void BusquedaPage::GrabarCsvClick() {
  if (Resultados->empty() || lastText_.empty()) {
    services_.dialogs.PonerMensaje(Traduce("HacerBusqueda"));
    return;
  }
  GrabarCsv->setEnabled(false);
  fs::path file = StoredSearchPath(services_.folders.busquedas, lastText_);
  file.replace_extension(".csv");
  WaitCursor wait;
  SaveAndOpen(services_, file, [&] {
    (void)SaveSearchRecords(file, services_.tablas, services_.folders.catalogos, lastText_,
                            lastFilter_, RecordFormat::kCsv);
  });
  GrabarCsv->setEnabled(true);
}

void BusquedaPage::CBusquedasChange() {
  Guarded("CBusquedasChange", [&] {
    const QString chosen = CBusquedas->currentText();
    if (chosen.isEmpty()) return;
    const fs::path page = services_.folders.busquedas / chosen.toStdString();
    if (!services_.dialogs.OpenDocument(page))
      services_.dialogs.PonerMensaje(Traduce("ErrorHTML") + " " + Utf8ToAnsi(page.string()));
  });
}

}  // namespace zafirel
