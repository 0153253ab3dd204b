// The main window's pages: saving a search as a page and opening saved ones,
// and "Ver HTML", which writes one page per disc marked in the selection
// dialog into the Exportar folder.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/gui/menu_pral.h"
#include "util/gui/qt_text.h"
#include "settings/language.h"
#include "store/album_filter.h"
#include "search/gui/busqueda_page.h"
#include "search/gui/search_results_model.h"
#include "search/gui/selecciona_cds.h"
#include "search/html_pages.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/guarded.h"

namespace zafirel {
namespace fs = std::filesystem;

void TMenuPral::RellenaBusquedas() {
  QComboBox* history = PBusqueda->CBusquedas;
  const QSignalBlocker quiet(history);
  history->clear();
  for (const std::string& name : ListStoredSearches(folders_.busquedas))
    history->addItem(QString::fromStdString(name));
  history->setCurrentIndex(-1);
}

void TMenuPral::GrabarBuscaClick() {
  const SearchResultsModel* results = PBusqueda->Resultados;
  if (results->empty()) {
    dialogs_.PonerMensaje(Traduce("HacerBusqueda"));
    return;
  }
  PBusqueda->GrabarBusca->setEnabled(false);
  const std::string text = Ansi(PBusqueda->EBusca->text());
  const fs::path page = StoredSearchPath(folders_.busquedas, text);
  try {
    GrabarLaBusqueda(page, text, [results](const auto& visit) { results->ForEachNode(visit); });
    const std::string shown = Utf8ToAnsi(page.string());
    if (dialogs_.OpenDocument(page))
      dialogs_.PonerMensaje(Traduce("NombreDocumento") + " " + shown);
    else
      dialogs_.PonerMensaje(Traduce("ErrorHTML") + " " + shown);
  } catch (const std::exception& error) {
    dialogs_.PonerMensaje(error.what());
  }
  PBusqueda->GrabarBusca->setEnabled(true);
  Guarded([&] { RellenaBusquedas(); });
}

void TMenuPral::CBusquedasChange() {
  Guarded([&] {
    const QString chosen = PBusqueda->CBusquedas->currentText();
    if (chosen.isEmpty()) return;
    const fs::path page = folders_.busquedas / chosen.toStdString();
    if (!dialogs_.OpenDocument(page))
      dialogs_.PonerMensaje(Traduce("ErrorHTML") + " " + Utf8ToAnsi(page.string()));
  });
}

void TMenuPral::VerHtmlClick() {
  const std::string remembered = CurrentNumber();  // the dialog walks the table
  std::vector<std::string> marked;
  Guarded([&] {
    TSeleccionaCDs dialog(*this);
    dialog.exec();
    marked = dialog.MarkedNumbers();
  });
  Guarded([&] { ApplyAlbumFilter(tablas_, ""); });  // the dialog's album range goes
  Guarded([&] { RellenaCDs(SavedSortKey()); });

  // Each disc's page from its own file list; the catalogue shown stays loaded.
  std::vector<fs::path> written;
  std::string failed;
  for (const std::string& number : marked) {
    try {
      dbf::Table& discs = tablas_.TablaCDRom;
      if (!discs.Locate("AUTO", number)) continue;
      LoadedCatalogue disc;
      disc.CargarCatalogo(folders_.catalogos / number);
      const std::string title = discs.AsString("TITULOCD");
      const fs::path page = folders_.exportar / AnsiToUtf8(ExportPageName(number, title));
      GrabarComoHTML(page, title, discs.AsString("BYTESCD"), discs.IsEmpty(), disc.LineasActuales);
      written.push_back(page);
    } catch (const std::exception& error) {
      failed = error.what();
    }
  }
  Guarded([&] {
    if (!remembered.empty() && tablas_.TablaCDRom.Locate("AUTO", remembered))
      MostrarCatalogoActual(tablas_.TablaCDRom.AsString("TITULOCD"));
  });
  if (marked.empty()) return;
  if (!failed.empty()) dialogs_.PonerMensaje(failed);
  const fs::path shown = written.size() == 1 ? written.front() : folders_.exportar;
  dialogs_.PonerMensaje(Traduce("PaginasExportadas") + std::to_string(written.size()));
  if (!written.empty() && !dialogs_.OpenDocument(shown))
    dialogs_.PonerMensaje(Traduce("ErrorHTML") + " " + Utf8ToAnsi(shown.string()));
}

}  // namespace zafirel
