// The main window's disc editing: the disc editor opened from the disc list,
// and deleting a disc with its catalogue.
#include <QApplication>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>

#include "app/gui/menu_pral.h"
#include "app/gui/page_control.h"
#include "util/gui/qt_text.h"
#include "util/gui/wait_cursor.h"
#include "settings/language.h"
#include "store/disc_removal.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/browse_models.h"
#include "browse/gui/catalogos_page.h"
#include "browse/gui/datos_cd.h"
#include "store/catalogue_files.h"
#include "util/dialogs.h"
#include "util/guarded.h"

namespace zafirel {

void TMenuPral::EditarCD1Click() {
  const int row = SelectedDiscRow();
  if (row < 0) return;
  QTableView* cds = PCatalogos->CDs;
  const int oldY = cds->visualRect(PCatalogos->Discos->index(row, 0)).top();
  std::string number;
  Guarded([&] {
    if (!LocateDiscOfRow(row)) return;
    number = tablas_.TablaCDRom.AsString("AUTO");
    TDatosCD editor(*this);
    editor.exec();
  });
  IgnorarCambios = true;
  Guarded([&] {
    if (!PCatalogos->CFiltro->currentText().isEmpty())
      HacerFiltro();
    else
      RellenaCDs(SavedSortKey());
  });
  IgnorarCambios = false;  // the selection below makes its row's disc current
  Guarded([&] {
    const int rows = PCatalogos->Discos->rowCount();
    if (rows == 0) return;
    // The edited disc may have left a filtered list: the row at its place, or the last.
    const QModelIndex index = PCatalogos->Discos->index(std::min(row, rows - 1), 0);
    cds->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    cds->scrollTo(index, QAbstractItemView::EnsureVisible);
    const int newY = cds->visualRect(index).top();
    QScrollBar* bar = cds->verticalScrollBar();
    const int rowHeight = std::max(1, cds->rowHeight(index.row()));
    bar->setValue(bar->value() + (newY - oldY) / rowHeight);
  });
  Guarded([&] {
    if (!number.empty()) tablas_.TablaCDRom.Locate("AUTO", number);
  });
}

void TMenuPral::BorrarCD1Click() {
  const int row = SelectedDiscRow();
  if (row < 0) return;
  Guarded([&] {
    if (!LocateDiscOfRow(row)) return;
    const std::string number = tablas_.TablaCDRom.AsString("AUTO");
    const std::string title = tablas_.TablaCDRom.AsString("TITULOCD");
    const std::string question = Traduce("BorrarCatalogo") + " \" " + title + " \"";
    if (!dialogs_.ConfirmOkCancel(Traduce("Atencion"), question)) return;
    BorrarCatalogo(number);
    IgnorarCambios = true;
    RellenaCDs(SavedSortKey());
    Guarded([&] {
      const std::string last = CurrentTitle();
      SeleccionarFilaPorTitulo(last);
    });
    IgnorarCambios = false;
  });
  IgnorarCambios = false;
}

void TMenuPral::BorrarCatalogo(const std::string& number) {
  {
    WaitCursor wait;
    Guarded([&] {
      // The catalogue shown goes with its disc, so that a later disc given
      // the same number is loaded afresh.
      if (catalogo_.RutaIndActual == TreeFilePath(folders_.catalogos, number).string())
        ClearLoadedCatalogue();
      DeleteDisc(tablas_, folders_.catalogos, number);
    });
  }
  ApplyPageVisibility();
  bool anyLeft = false;
  Guarded([&] { anyLeft = tablas_.TablaCDRom.RecordCount() > 0; });
  if (anyLeft) {
    Guarded([&] {
      tablas_.TablaCDRom.First();
      MostrarCatalogoActual(tablas_.TablaCDRom.AsString("TITULOCD"));
      CargarCatalogo(folders_.catalogos / tablas_.TablaCDRom.AsString("AUTO"));
    });
  } else {
    ClearLoadedCatalogue();
  }
}

}  // namespace zafirel
