// Relabelling the window from a language file: the frame's own captions
// here, and each page's through its Retranslate. A key missing from the file
// leaves its control with an empty text.
#include <QAction>
#include <QLabel>
#include <QToolButton>

#include "app/gui/menu_pral.h"
#include "app/gui/page_control.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/catalogos_page.h"
#include "scan/gui/catalogar_page.h"
#include "search/gui/busqueda_page.h"
#include "settings/language.h"
#include "util/gui/controls.h"
#include "util/gui/letter_keys.h"
#include "util/gui/qt_text.h"

namespace zafirel {

void TMenuPral::TraduceTodo(const std::string& languageFile) {
  if (dataFolderExists_) leng_.Use(folders_.data, languageFile);
  qtTranslation_.Use(languageFile);  // Qt's own buttons and pickers follow
  MArchivos->setText(Qs(Traduce("MArchivos")));
  const std::pair<QAction*, const char*> menu[] = {
      {Catalogar1, "Catalogar1"}, {Catalogos1, "Catalogos1"},
      {Archivos1, "Archivos1"},   {Busqueda1, "Busqueda1"},
      {Opciones1, "Opciones1"},   {VerHTML1, "VerHTML1"},
      {VerCSV1, "VerCSV1"},       {Actualizar1, "Actualizar1"},
      {Repetidos1, "Repetidos1"}, {Estadisticas1, "Estadisticas1"},
      {Importar1, "Importar1"},   {Salir1, "Salir1"}};
  for (const auto& [action, key] : menu) action->setText(Qs(Traduce(key)));
  NameForReaders(*Pagina, Traduce("NombrePaginas"));
  PCatalogar->Retranslate();
  PCatalogos->Retranslate();
  PArchivos->Retranslate();
  PBusqueda->Retranslate();
  static const char* const kTabKeys[] = {"Catalogar1", "Catalogos1", "Archivos1", "Busqueda1"};
  // The tabs share their captions with the menu entries and the Catalogar
  // button, which keep the keys the language gives: the tabs take free ones.
  for (int tab = 0; tab < 4; ++tab)
    Pagina->setTabText(tab, WithoutLetterKey(Qs(Traduce(kTabKeys[tab]))));
  // The status line and the bottom bar name the current disc in the new language.
  if (shownTitle_) {
    MostrarCatalogoActual(*shownTitle_);
  } else {
    Label1->setText(Qs(Traduce("CatalogoActual")));
    Label2->setText(Qs(std::string(kVersionLine) + " - ") + Label1->text());
  }
  // The tabs, the menu's button and each page's controls, and each menu,
  // get letter keys of their own in the new language.
  GiveLetterKeys(*this);
}

}  // namespace zafirel
