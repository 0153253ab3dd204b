// The main window's catalogue run: choosing the drive, the checks before the
// walk, the walk with the window kept alive once a folder, stopping, the
// disc editor on the new disc and the closing steps.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <system_error>

#include "app/gui/menu_pral.h"
#include "app/gui/page_control.h"
#include "util/gui/qt_text.h"
#include "util/gui/wait_cursor.h"
#include "settings/language.h"
#include "store/catalogue_files.h"
#include "browse/gui/catalogos_page.h"
#include "browse/gui/datos_cd.h"
#include "scan/catalogue_run.h"
#include "scan/gui/catalogar_page.h"
#include "store/catalogue_files.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/folder_lock.h"
#include "util/guarded.h"

namespace zafirel {
namespace fs = std::filesystem;

void TMenuPral::CatalogarClick() {
  Guarded([&] { Cataloga(); });
}

namespace {

// The drive root of a chosen path: "D:\" as it is, a mapped letter's folder
// as its root, anything else as given (and then refused).
std::string RootOfChoice(const DriveMap& drives, const std::string& choice) {
  if (choice.size() == 3 && choice[1] == ':' && choice[2] == '\\') return choice;
  if (const std::optional<char> letter = drives.LetterOf(fs::path(AnsiToUtf8(choice))))
    return std::string(1, *letter) + ":\\";
  return choice;
}

}  // namespace

void TMenuPral::Cataloga() {
  if (run_) return;  // one run at a time
  dialogs_.ProcessEvents();
  Label1->clear();
  dialogs_.ProcessEvents();

  std::vector<DriveChoice> choices;
  for (const MappedDrive& drive : drives_.Drives()) {
    std::string label;
    Guarded([&] {
      TDiskInfo facts(drives_);
      facts.SetDrive(std::string(1, drive.letter));
      if (facts.Drive() == std::string(1, drive.letter)) label = facts.VolumeName();
    });
    choices.push_back({drive.letter, label, Utf8ToAnsi(drive.folder.string())});
  }
  const std::string choice = dialogs_.ChooseDrive(Traduce("SeleccionaUnidad"), choices);
  if (choice.empty()) return;
  dialogs_.ProcessEvents();

  auto run = std::make_unique<CatalogueRun>(tablas_, drives_, locale_, catalogo_.LineasActuales,
                                            LineasCarpetas);
  run->catalogueFolder = folders_.catalogos;
  run->tempFolder = folders_.temp;
  switch (run->PrepareDrive(RootOfChoice(drives_, choice))) {
    case CatalogueRun::DriveCheck::kNotARoot:
      dialogs_.PonerMensaje(Traduce("NoDirectorio"));
      return;
    case CatalogueRun::DriveCheck::kDriveError:
      dialogs_.PonerMensaje(Traduce("ErrorUnidad"));
      return;
    case CatalogueRun::DriveCheck::kReady:
      break;
  }

  // Every disc visible for the duplicate test.
  if (PCatalogos->CFiltro->currentIndex() >= 0)
    PCatalogos->CFiltro->setCurrentIndex(-1);  // runs the filter
  std::optional<std::string> duplicate;
  Guarded([&] { duplicate = run->DuplicateTitle(); });
  if (duplicate) {
    Guarded([&] { SeleccionarFilaPorTitulo(*duplicate); });
    Pagina->setCurrentIndex(kCatalogos);
    dialogs_.PonerMensaje(Traduce("CatalogoExiste") + *duplicate);
    return;
  }

  // Where the new files go must take them before a long walk, not after it.
  if (!run->CatalogueFolderWritable()) {
    dialogs_.PonerMensaje(Traduce("ErrorCarpetaCatalogos") + ": " + PathText(folders_.catalogos));
    return;
  }

  dialogs_.ProcessEvents();
  run->Zips = PCatalogar->Zips->isChecked();
  PCatalogar->Catalogar->setEnabled(false);
  PCatalogar->Parar->setEnabled(true);
  run_ = std::move(run);
  CatalogueRun& r = *run_;

  PCatalogar->Panel1->setEnabled(false);
  MArchivos->hide();
  bool walked = false;
  try {
    r.AppendDisc();
    MostrarCatalogoActual(tablas_.TablaCDRom.AsString("TITULOCD"));
    for (int page : {kCatalogos, kArchivos, kBusqueda}) Pagina->setTabVisible(page, false);
    VerHTML1->setEnabled(false);
    Importar1->setEnabled(false);
    // The lines in memory become the new disc's: the catalogue shown is let go.
    ClearLoadedCatalogue();
    WaitCursor wait;
    r.onFolder = [this](const std::string& folder) {
      Label1->setText(Qs(folder));
      dialogs_.ProcessEvents();
    };
    walked = true;
    try {
      r.Walk(PCatalogar->Subdirectorios->isChecked());
    } catch (...) {
      // A failure inside the walk ends it; the disc keeps what was gathered.
    }
  } catch (const FolderBusy&) {
    dialogs_.PonerMensaje(Traduce("CarpetaOcupada"));
  } catch (const std::exception& error) {
    // The record could not be written: nothing was walked, nothing is left.
    dialogs_.PonerMensaje(Traduce("ErrorGrabarDisco") + ": " + error.what());
  }
  PCatalogar->Panel1->setEnabled(true);
  MArchivos->show();

  if (walked && r.Stopped()) {
    Guarded([&] { r.DiscardDisc(); });
  } else if (walked) {
    Guarded([&] {
      const std::size_t n = catalogo_.LineasActuales.size();
      Label1->setText(Qs(std::to_string(n) + Traduce("ArchivosProcesados") +
                         FormatFixed(r.elapsedSeconds, 3, locale_) + " " + Traduce("Segundos") +
                         "."));
      Label2->setText(Qs(std::string(kVersionLine) + " - ") + Label1->text());
      // The files are written before the editor opens, so a disc in the
      // table always has them; one that cannot be written is not kept.
      bool finished = false;
      try {
        finished = r.FinishDisc();
      } catch (const FolderBusy&) {
        Guarded([&] { r.DiscardDisc(); });
      }
      if (!finished) {
        dialogs_.PonerMensaje(Traduce("ErrorCatalogoNoGrabado") + ": " +
                              PathText(folders_.catalogos));
        return;
      }
      if (tablas_.TablaCDRom.Locate("AUTO", r.NumeroNuevo)) {
        TDatosCD editor(*this);
        editor.exec();
      }
      const fs::path tree = TreeFilePath(folders_.catalogos, r.NumeroNuevo);
      std::error_code ec;
      if (fs::exists(tree, ec)) {
        // The lines in memory are the new disc's: only the tree is read back.
        Guarded([&] {
          CargarArbol(tree);
          catalogo_.RutaIndActual = tree.string();
          catalogo_.NoteFileWritten();
        });
      }
    });
  }

  IgnorarCambios = true;
  Guarded([&] { RellenaCDs(SavedSortKey()); });
  IgnorarCambios = false;
  Guarded([&] {
    if (!r.NumeroNuevo.empty()) tablas_.TablaCDRom.Locate("AUTO", r.NumeroNuevo);
  });
  Guarded([&] {
    const std::string title = CurrentTitle();
    Label1->setText(Qs(Traduce("CatalogoActual") + " " + title));
    if (!title.empty()) SeleccionarFilaPorTitulo(title);
    Label2->setText(Qs(std::string(kVersionLine) + " - ") + Label1->text());
  });
  Pagina->setTabVisible(kCatalogos, true);
  ApplyPageVisibility();
  PCatalogar->Parar->setEnabled(false);
  PCatalogar->Catalogar->setEnabled(true);
  run_.reset();
  // The window was asked to close during the run: it closes now the run is over.
  if (closeAfterWork_) QTimer::singleShot(0, this, &QWidget::close);
}

void TMenuPral::PararClick() {
  if (!run_) return;
  PCatalogar->Parar->setEnabled(false);
  Label1->clear();
  Label2->setText(QString::fromLatin1(kVersionLine));
  run_->Buscador.Abort();
  const std::string number = run_->NumeroNuevo;
  IgnorarCambios = true;
  Guarded([&] {
    if (!number.empty()) BorrarCatalogo(number);
    // While the walk unwinds the other pages stay hidden.
    for (int page : {kCatalogos, kArchivos, kBusqueda}) Pagina->setTabVisible(page, false);
    const std::string title = CurrentTitle();
    if (!title.empty()) SeleccionarFilaPorTitulo(title);
  });
  IgnorarCambios = false;
  PCatalogar->Parar->setEnabled(true);
}

}  // namespace zafirel
