// The main window's options: the dialog, and switching to the disc table of
// another data folder.
#include <QAction>
#include <QComboBox>
#include <QTimer>
#include <QToolButton>

#include "store/disc_import.h"
#include "app/gui/menu_pral.h"
#include "app/gui/opciones.h"
#include "app/gui/page_control.h"
#include "settings/language.h"
#include "browse/gui/catalogos_page.h"
#include "store/index_set.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/folder_lock.h"
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
    // An older table is upgraded here as at start, so its list shows at once.
    PrepareTables(data, FoldersBelow(data).catalogos);
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
  catalogo_.lockFolder = folder;
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
  // While discs come in, no other command may change data.
  importing_ = true;
  Pagina->setEnabled(false);
  MArchivos->setEnabled(false);
  struct Restore {
    TMenuPral& window;
    ~Restore() {
      window.importing_ = false;
      window.Pagina->setEnabled(true);
      window.MArchivos->setEnabled(true);
    }
  } restore{*this};
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
    dialogs_.PonerMensaje(Traduce("ErrorArchivo") + ": " + error.what());
  }
  // The list shows what came in, also when the import ended early.
  IgnorarCambios = true;
  Guarded([&] { RellenaCDs(SavedSortKey()); });
  IgnorarCambios = false;
  Guarded([&] { RellenaFiltro(PCatalogos->CFiltro); });
  Guarded([&] { SeleccionarFilaPorTitulo(CurrentTitle()); });
  ApplyPageVisibility();
  if (closeAfterWork_) {
    QTimer::singleShot(0, this, &QWidget::close);
    return;
  }
  dialogs_.PonerMensaje(Traduce("DiscosImportados") + std::to_string(report.imported) +
                        Traduce("DiscosOmitidos") + std::to_string(report.skipped));
}

}  // namespace zafirel
