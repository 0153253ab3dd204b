// Relabelling the main window from a language file. The table keeps the
// order in which the controls are labelled; a key missing from the file
// leaves its control with an empty text.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <functional>

#include "app/gui/menu_pral.h"
#include "app/gui/page_control.h"
#include "util/gui/qt_text.h"
#include "settings/language.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/browse_models.h"
#include "browse/gui/catalogos_page.h"
#include "scan/gui/catalogar_page.h"
#include "search/gui/busqueda_page.h"

namespace zafirel {
namespace {

using Apply = std::function<void(const QString&)>;

struct Relabel {
  const char* key;
  Apply apply;
};

Apply Caption(QAbstractButton* button) {
  return [button](const QString& text) { button->setText(text); };
}
Apply Caption(QAction* action) {
  return [action](const QString& text) { action->setText(text); };
}
Apply Caption(QLabel* label) {
  return [label](const QString& text) { label->setText(text); };
}
Apply Column(ListModel* list, int column) {
  return [list, column](const QString& text) { list->SetCaption(column, text); };
}
Apply Hint(QWidget* control) {
  return [control](const QString& text) { control->setStatusTip(text); };
}

// The long part of a "short|long" hint.
QString LongHint(const QString& hint) {
  const int bar = hint.indexOf(QLatin1Char('|'));
  return bar >= 0 ? hint.mid(bar + 1) : hint;
}

}  // namespace

void TMenuPral::TraduceTodo(const std::string& languageFile) {
  if (dataFolderExists_) leng_.Use(folders_.data, languageFile);
  ListModel* cds = PCatalogos->Discos;
  ListModel* files = PArchivos->Ficheros;
  QComboBox* filter = PCatalogos->CFiltro;
  const Relabel table[] = {
      {"MArchivos", Caption(MArchivos)},
      {"Catalogar1", Caption(Catalogar1)},
      {"Catalogos1", Caption(Catalogos1)},
      {"Archivos1", Caption(Archivos1)},
      {"Busqueda1", Caption(Busqueda1)},
      {"Opciones1", Caption(Opciones1)},
      {"VerHTML1", Caption(VerHTML1)},
      {"Importar1", Caption(Importar1)},
      {"Salir1", Caption(Salir1)},
      {"Catalogar1", Caption(PCatalogar->Catalogar)},
      {"Parar", Caption(PCatalogar->Parar)},
      {"Subdirectorios", Caption(PCatalogar->Subdirectorios)},
      {"Zips", Caption(PCatalogar->Zips)},
      {"FiltrarAlbum", Caption(PCatalogos->Label4)},
      {"LimpiarFiltro", Caption(PCatalogos->BLimpiarFiltro)},
      {"Nombre", Column(cds, 0)},
      {"Tama\xF1o", Column(cds, 1)},
      {"Etiqueta", Column(cds, 2)},
      {"NSerie", Column(cds, 3)},
      {"NArchivos", Column(cds, 4)},
      {"NCD", Column(cds, 5)},
      {"Album", Column(cds, 6)},
      {"TotalCatalogos", Caption(PCatalogos->Label5)},
      {"Nombre", Column(files, 0)},
      {"Tama\xF1o", Column(files, 1)},
      {"Fecha", Column(files, 2)},
      {"Comentarios", Column(files, 3)},
      {"Buscar", Caption(PBusqueda->BBuscar)},
      {"Cancelar", Caption(PBusqueda->BCancelar)},
      {"BusquedasAnteriores", Caption(PBusqueda->Label3)},
      {"GrabarBusca", Caption(PBusqueda->GrabarBusca)},
      {"EditarCD", Caption(PCatalogos->EditarCD1)},
      {"BorrarCD", Caption(PCatalogos->BorrarCD1)},
      {"EditarArchivo", Caption(PArchivos->Editararchivo1)},
      {"BorrarArchivo", Caption(PArchivos->Borrararchivo1)},
      {"CatalogarHint", Hint(PCatalogar->Catalogar)},
      {"PararHint", Hint(PCatalogar->Parar)},
      {"SubdirectoriosHint", Hint(PCatalogar->Subdirectorios)},
      {"ZipsHint", Hint(PCatalogar->Zips)},
      {"FiltroHint",
       [filter](const QString& text) {
         filter->setStatusTip(text);
         filter->setToolTip(LongHint(text));  // the only hint also shown as a pop-up
       }},
      {"CDsHint", Hint(PCatalogos->CDs)},
      {"ArbolHint", Hint(PArchivos->Arbol)},
      {"ArchivosHint", Hint(PArchivos->Archivos)},
      {"EBuscaHint", Hint(PBusqueda->EBusca)},
      {"BBuscarHint", Hint(PBusqueda->BBuscar)},
      {"GrabarBuscaHint", Hint(PBusqueda->GrabarBusca)},
      {"BuscaHint", Hint(PBusqueda->Busca)},
  };
  PArchivos->Archivos->setUpdatesEnabled(false);
  for (const Relabel& entry : table) entry.apply(Qs(Traduce(entry.key)));
  PArchivos->Archivos->setUpdatesEnabled(true);
  Pagina->Tabs()->update();  // tab captions are looked up at paint time
}

}  // namespace zafirel
