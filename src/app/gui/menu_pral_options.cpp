// The main window's options: the dialog, and switching to the disc table of
// another data folder.
#include <QAction>
#include <QComboBox>

#include "app/disc_import.h"
#include "app/gui/menu_pral.h"
#include "app/gui/opciones.h"
#include "app/gui/page_control.h"
#include "app/language.h"
#include "browse/gui/catalogos_page.h"
#include "store/index_set.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/guarded.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

void TMenuPral::Opciones1Click() {
  Guarded([&] {
    TOpciones dialog(*this);
    dialog.exec();
  });
}

bool TMenuPral::UseDataFolder(const fs::path& folder) {
  const fs::path previous = folders_.data;
  auto open = [this](const fs::path& data) {
    tablas_.IndicesCDRom.Detach(tablas_.TablaCDRom);
    tablas_.TablaCDRom.Close();
    tablas_.SetFolder(data);
    RegeneraIndices(tablas_.TablaCDRom, data, dialogs_, Traduce("CreandoIndices"));
    tablas_.OpenDiscTable();
  };
  try {
    open(folder);
  } catch (...) {
    Guarded([&] { open(previous); });
    return false;
  }
  // The catalogues, searches and pages of the new folder belong with its
  // table: the folders below it are made and used at once.
  const WorkingFolders below = FoldersBelow(folder);
  folders_.data = folder;
  Guarded([&] {
    MakeWorkingFolder(below.catalogos, "Catalogos1", leng_, dialogs_);
    MakeWorkingFolder(below.busquedas, "Busqueda1", leng_, dialogs_);
    MakeWorkingFolder(below.exportar, "Exportacion", leng_, dialogs_);
    MakeWorkingFolder(below.temp, "Temporal", leng_, dialogs_);
  });
  folders_.catalogos = below.catalogos;
  folders_.busquedas = below.busquedas;
  folders_.exportar = below.exportar;
  folders_.temp = below.temp;
  ClearLoadedCatalogue();

  IgnorarCambios = true;
  Guarded([&] { RellenaCDs(SavedSortKey()); });
  IgnorarCambios = false;
  Guarded([&] {
    tablas_.TablaCDRom.First();
    MostrarCatalogoActual(CurrentTitle());
  });
  Pagina->setCurrentIndex(kCatalogar);
  ApplyPageVisibility();
  Guarded([&] { RellenaFiltro(PCatalogos->CFiltro); });
  Guarded([&] { RellenaBusquedas(); });
  return true;
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
  try {
    std::unique_ptr<Progress> progress = dialogs_.ShowProgress(Traduce("ImportandoDiscos"));
    report = ImportDiscs(tablas_, folders_.catalogos, source, [&](int done, int total) {
      if (!progress) return;
      progress->SetMaximum(total);
      progress->SetPosition(done);
      dialogs_.ProcessEvents();
    });
  } catch (const std::exception& error) {
    dialogs_.PonerMensaje(Traduce("ErrorArchivo") + ": " + error.what());
    return;
  }
  IgnorarCambios = true;
  Guarded([&] { RellenaCDs(SavedSortKey()); });
  IgnorarCambios = false;
  Guarded([&] { RellenaFiltro(PCatalogos->CFiltro); });
  Guarded([&] { SeleccionarFilaPorTitulo(CurrentTitle()); });
  ApplyPageVisibility();
  dialogs_.PonerMensaje(Traduce("DiscosImportados") + std::to_string(report.imported) +
                        Traduce("DiscosOmitidos") + std::to_string(report.skipped));
}

}  // namespace zafirel
