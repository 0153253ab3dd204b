// The main window's search: the terms typed in EBusca searched in every
// catalogue, the results tree filled in one bulk update while the window
// stays responsive, cancelling, and the closing message.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <optional>

#include "app/gui/menu_pral.h"
#include "util/gui/qt_text.h"
#include "util/gui/wait_cursor.h"
#include "settings/language.h"
#include "search/catalogue_search.h"
#include "search/gui/busqueda_page.h"
#include "search/gui/search_results_model.h"
#include "util/dialogs.h"
#include "util/guarded.h"
#include "util/text.h"

namespace zafirel {

void TMenuPral::ConnectSearching() {
  connect(PBusqueda->BBuscar, &QPushButton::clicked, this, [this] { BBuscarClick(); });
  connect(PBusqueda->EBusca, &QLineEdit::returnPressed, this, [this] { BBuscarClick(); });
  connect(PBusqueda->BCancelar, &QPushButton::clicked, this, [this] { BCancelarClick(); });
  connect(PBusqueda->Busca, &QAbstractItemView::doubleClicked, this, [this] { BuscaDblClick(); });
  for (QKeySequence key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
    auto* jump = new QShortcut(key, PBusqueda->Busca, nullptr, nullptr, Qt::WidgetShortcut);
    connect(jump, &QShortcut::activated, this, [this] { BuscaDblClick(); });
  }
  connect(PBusqueda->Busca, &QAbstractItemView::clicked, this, [this] { ArbolClick(); });
  connect(PBusqueda->GrabarBusca, &QPushButton::clicked, this, [this] { GrabarBuscaClick(); });
  connect(PBusqueda->CBusquedas, &QComboBox::activated, this, [this] { CBusquedasChange(); });
  connect(VerHTML1, &QAction::triggered, this, [this] { VerHtmlClick(); });
}

void TMenuPral::BBuscarClick() {
  Guarded([&] { BuscaEnArchivos(Ansi(PBusqueda->EBusca->text())); });
}

void TMenuPral::BuscaDblClick() {
  Guarded([&] { VerCD1Click(PBusqueda->Busca); });
}

void TMenuPral::BuscaEnArchivos(const std::string& text) {
  if (text.empty() || searching_) return;  // one search at a time
  searching_ = true;
  BusquedaCancelada = false;
  SearchResultsModel* results = PBusqueda->Resultados;
  QProgressBar* gauge = PBusqueda->Barra;
  QLabel* counter = PBusqueda->LEncontrados;
  results->BeginUpdate();
  const std::string remembered = CurrentNumber();
  const std::string found = Traduce("Encontrados");
  gauge->setValue(0);
  Guarded([&] { gauge->setMaximum(static_cast<int>(tablas_.TablaCDRom.RecordCount())); });
  gauge->show();
  counter->show();
  counter->setText(Qs(found + " : 0"));
  PBusqueda->BCancelar->show();
  PBusqueda->BBuscar->setEnabled(false);
  std::optional<WaitCursor> wait(std::in_place);

  SearchOutcome outcome;
  outcome.text = UpperAZ(text);
  SearchEvents events;
  events.cancelled = [this] { return BusquedaCancelada; };
  events.catalogueRead = [&] {
    dialogs_.ProcessEvents();
    gauge->setValue(std::min(gauge->value() + 1, gauge->maximum()));
  };
  events.titleHeading = [&](const std::string& heading) { results->AddTitleHeading(heading); };
  events.discHeading = [&](const std::string& heading, const std::string& number) {
    results->AddDiscHeading(heading, number);
  };
  events.hit = [&](std::string_view path) { results->AddHit(path); };
  events.matched = [&](int matches) {
    outcome.matches = matches;
    counter->setText(Qs(found + " : " + std::to_string(matches)));
    dialogs_.ProcessEvents();
  };
  try {
    outcome = zafirel::BuscaEnArchivos(tablas_, folders_.catalogos, text, Traduce("VerCatalogos"),
                                       events);
  } catch (...) {
    // A catalogue that cannot be read ends the scan; the finish runs all the same.
  }

  BusquedaCancelada = false;
  PBusqueda->BBuscar->setEnabled(true);
  gauge->setValue(gauge->maximum());
  gauge->hide();
  results->EndUpdate();
  PBusqueda->BCancelar->hide();
  wait.reset();
  Guarded([&] {
    if (!remembered.empty() && tablas_.TablaCDRom.Locate("AUTO", remembered))
      MostrarCatalogoActual(tablas_.TablaCDRom.AsString("TITULOCD"));
  });
  const std::string suffix = outcome.beyondLimit() ? ". " + Traduce("Coincidencias") : "";
  searching_ = false;
  if (closeAfterWork_) {
    // The window was asked to close: the search stopped and nothing more is shown.
    counter->hide();
    QTimer::singleShot(0, this, &QWidget::close);
    return;
  }
  dialogs_.PonerMensaje(outcome.text + " " + Traduce("Encontrado") + " " +
                        std::to_string(outcome.matches) + " " + Traduce("Veces") + suffix);
  Guarded([&] { ini1_.WriteStr("General", "Busqueda", outcome.text); });
  counter->hide();
}

}  // namespace zafirel
