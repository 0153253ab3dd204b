// The main window's options: the dialog, and switching to the disc table of
// another data folder.
#include <QAction>
#include <QComboBox>

#include "app/dialogs.h"
#include "app/gui/menu_pral.h"
#include "app/gui/opciones.h"
#include "app/gui/page_control.h"
#include "app/language.h"
#include "browse/gui/catalogos_page.h"
#include "store/index_set.h"
#include "util/guarded.h"

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

}  // namespace zafirel
