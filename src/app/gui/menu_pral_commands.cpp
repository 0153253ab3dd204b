// The main window's commands: the options dialog and switching to the disc
// table of another data folder, importing the discs of another data folder,
// and "Ver HTML", which writes one page per disc marked in the selection
// dialog into the Exportar folder.
#include <QAction>
#include <QComboBox>
#include <QTimer>
#include <QToolButton>

#include "app/gui/menu_pral.h"
#include "app/gui/opciones.h"
#include "app/gui/page_control.h"
#include "app/startup.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/catalogos_page.h"
#include "browse/loaded_catalogue.h"
#include "search/gui/busqueda_page.h"
#include "search/gui/estadisticas_dialog.h"
#include "search/gui/repetidos_dialog.h"
#include "search/gui/selecciona_cds.h"
#include "search/html_pages.h"
#include "settings/language.h"
#include "store/album_filter.h"
#include "store/disc_import.h"
#include "store/index_set.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/failure.h"
#include "util/folder_lock.h"
#include "util/gui/guarded.h"
#include "util/scope_guard.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

void TMenuPral::Opciones1Click() {
  // The dialog reports what it fails to change.
  TOpciones dialog(services_,
                   {[this](const fs::path& folder) { UseDataFolder(folder); },
                    [this](const std::string& file) { TraduceTodo(file); }},
                   this);
  dialog.exec();
}

void TMenuPral::UseDataFolder(const fs::path& folder) {
  const fs::path previous = folders_.data;
  auto open = [this](const fs::path& data) {
    tablas_.IndicesCDRom.Detach(tablas_.TablaCDRom);
    tablas_.TablaCDRom.Close();
    tablas_.SetFolder(data);
    // An older table is upgraded here as at start, so its list shows at once.
    PrepareTables(data, FoldersBelow(data).catalogos);
    tablas_.OpenDiscTable();
  };
  try {
    open(folder);
  } catch (const std::exception&) {
    Guarded(__func__, [&] { open(previous); });
    throw;
  }
  // The catalogues, searches and pages of the new folder belong with its
  // table: the folders below it are made and used at once.
  const WorkingFolders below = FoldersBelow(folder);
  folders_.data = folder;
  // The language files come with the folder, as at start-up.
  Guarded(__func__, [&] {
    CopyShippedLanguageFiles(ShippedLanguageFolder(where_.executableFolder), folder);
  });
  Guarded(__func__, [&] {
    MakeWorkingFolder(below.catalogos, "Catalogos1", leng_, dialogs_);
    MakeWorkingFolder(below.busquedas, "Busqueda1", leng_, dialogs_);
    MakeWorkingFolder(below.exportar, "Exportacion", leng_, dialogs_);
    MakeWorkingFolder(below.temp, "Temporal", leng_, dialogs_);
  });
  folders_.catalogos = below.catalogos;
  folders_.busquedas = below.busquedas;
  folders_.exportar = below.exportar;
  folders_.temp = below.temp;
  PArchivos->ClearLoadedCatalogue();
  PCatalogos->Refill();
  Guarded(__func__, [&] {
    tablas_.TablaCDRom.First();
    PCatalogos->SelectCurrentDiscRow();
    MostrarCatalogoActual(PCatalogos->CurrentTitle());
  });
  Pagina->setCurrentIndex(kCatalogar);
  ApplyPageVisibility();
  PCatalogos->RellenaFiltro();
  Guarded("RellenaBusquedas", [&] { PBusqueda->RellenaBusquedas(); });
}

void TMenuPral::Importar1Click() {
  const fs::path picked = dialogs_.ChooseFile(Traduce("Importar1"), Traduce("ArchivosCatalogos"),
                                              "*.Dbf *.dbf *.DBF", folders_.data);
  if (picked.empty()) return;
  const fs::path source = picked.parent_path();
  if (UpperAZ(Utf8ToAnsi(picked.filename().string())) != "CDROM.DBF") return;
  if (SameFolder(source, folders_.data)) {
    dialogs_.PonerMensaje(Traduce("MismaUbicacion"));
    return;
  }
  ImportReport report;
  // While discs come in, no other command may change data.
  importing_ = true;
  Pagina->setEnabled(false);
  MArchivos->setEnabled(false);
  const ScopeGuard restore([this] {
    importing_ = false;
    Pagina->setEnabled(true);
    MArchivos->setEnabled(true);
  });
  try {
    std::unique_ptr<Progress> progress = dialogs_.ShowProgress(Traduce("ImportandoDiscos"));
    report = ImportDiscs(tablas_, folders_.catalogos, source, [&](int done, int total) {
      if (progress) {
        progress->SetMaximum(total);
        progress->SetPosition(done);
      }
      dialogs_.ProcessEvents();
      return !closeAfterWork_;  // closing the window stops between two discs
    });
  } catch (const FolderBusy&) {
    dialogs_.PonerMensaje(Traduce("CarpetaOcupada"));
  } catch (const std::exception& error) {
    dialogs_.PonerMensaje(FailureMessage(leng_.Translator(), "ErrorImportar", error));
  }
  // The list shows what came in, also when the import ended early.
  PCatalogos->Refill();
  PCatalogos->RellenaFiltro();
  MostrarCatalogoActual(PCatalogos->CurrentTitle());
  ApplyPageVisibility();
  if (closeAfterWork_) {
    QTimer::singleShot(0, this, &QWidget::close);
    return;
  }
  dialogs_.PonerMensaje(Traduce("DiscosImportados") + std::to_string(report.imported) +
                        Traduce("DiscosOmitidos") + std::to_string(report.skipped));
}

void TMenuPral::VerHtmlClick() { ExportMarkedDiscs(std::nullopt); }

void TMenuPral::VerCsvClick() { ExportMarkedDiscs(RecordFormat::kCsv); }

void TMenuPral::EstadisticasClick() {
  Guarded("Estadisticas", [&] {
    EstadisticasDialog dialog(services_, this);
    if (dialog.Gather()) dialog.exec();
  });
}

void TMenuPral::RepetidosClick() {
  std::optional<std::pair<std::string, std::string>> chosen;
  Guarded("Repetidos", [&] {
    RepetidosDialog dialog(services_, this);
    dialog.exec();
    chosen = dialog.Chosen();
  });
  if (chosen) ShowHit(chosen->first, chosen->second);
}

std::vector<std::string> TMenuPral::ChooseDiscs() {
  std::vector<std::string> marked;
  // The list's selection must not follow the cursor while the dialog moves it.
  const CatalogosPage::QuietSelection quiet(*PCatalogos);
  const std::string current = tablas_.CurrentDisc("AUTO");
  Guarded("TSeleccionaCDs", [&] {
    TSeleccionaCDs dialog(services_, this);
    dialog.exec();
    marked = dialog.MarkedNumbers();
  });
  // The dialog's album range goes; the disc current before is again.
  Guarded("ApplyAlbumFilter", [&] { ApplyAlbumFilter(tablas_, ""); });
  PCatalogos->Refill();
  Guarded("Locate", [&] {
    if (!current.empty()) tablas_.TablaCDRom.Locate("AUTO", current);
  });
  Guarded("SelectCurrentDiscRow", [&] { PCatalogos->SelectCurrentDiscRow(); });
  return marked;
}

void TMenuPral::ExportMarkedDiscs(std::optional<RecordFormat> records) {
  std::string remembered;  // the dialog walks the table
  Guarded("VerHtmlClick", [&] { remembered = tablas_.CurrentDisc("AUTO"); });
  std::vector<std::string> marked;
  marked = ChooseDiscs();

  // Each disc's page from its own file list; the catalogue shown stays loaded.
  std::vector<fs::path> written;
  std::vector<std::string> failedNames;  // "N Title" of each page not written
  std::string firstFailure;
  for (const std::string& number : marked) {
    std::string title;
    try {
      dbf::Table& discs = tablas_.TablaCDRom;
      if (!discs.Locate("AUTO", number)) continue;
      title = discs.AsString("TITULOCD");
      fs::path page = folders_.exportar / AnsiToUtf8(ExportPageName(number, title));
      // Streamed from the disc's files: a disc of any size costs a few buffers.
      if (records) {
        page.replace_extension(".csv");
        WriteDiscRecords(page, ListFilePath(folders_.catalogos, number), *records);
      } else {
        GrabarComoHTMLDesdeArchivos(page, title, discs.AsString("BYTESCD"), discs.IsEmpty(),
                                    folders_.catalogos / number);
      }
      written.push_back(page);
    } catch (const std::exception& error) {
      failedNames.push_back(title.empty() ? number : number + " " + title);
      if (firstFailure.empty()) firstFailure = FailureText(leng_.Translator(), error);
    }
  }
  Guarded(__func__, [&] {
    if (!remembered.empty() && tablas_.TablaCDRom.Locate("AUTO", remembered)) {
      PCatalogos->SelectCurrentDiscRow();
      MostrarCatalogoActual(tablas_.TablaCDRom.AsString("TITULOCD"));
    }
  });
  if (marked.empty()) return;
  if (!failedNames.empty()) {
    std::string names;
    for (const std::string& name : failedNames) names += (names.empty() ? "" : ", ") + name;
    dialogs_.PonerMensaje(Traduce("PaginasNoEscritas") + std::to_string(failedNames.size()) + " (" +
                          names + "). " + firstFailure);
  }
  const fs::path shown = written.size() == 1 ? written.front() : folders_.exportar;
  dialogs_.PonerMensaje(Traduce("PaginasExportadas") + std::to_string(written.size()));
  if (!written.empty() && !dialogs_.OpenDocument(shown))
    dialogs_.PonerMensaje(Traduce("ErrorHTML") + " " + Utf8ToAnsi(shown.string()));
}

}  // namespace zafirel
