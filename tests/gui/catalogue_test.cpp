// Whole catalogue runs on the offscreen platform: through the main window, a
// completed run with the disc editor, a stopped run and closing during a run;
// on the catalogue page alone, a duplicate disc, the choices that are refused
// and a run whose files cannot be written.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>

#include "app/gui/menu_pral.h"
#include "app/gui/page_control.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/browse_models.h"
#include "browse/gui/catalogos_page.h"
#include "browse/gui/datos_cd.h"
#include "gui/gui_support.h"
#include "scan/catalogue_run.h"
#include "scan/gui/catalogar_page.h"
#include "store/catalogue_files.h"
#include "util/gui/qt_text.h"

using namespace zafirel;
namespace fs = std::filesystem;

namespace {

// A small volume beside the installation: a file at the root, one in a folder.
fs::path MakeVolume(const Installation& inst) {
  const fs::path volume = inst.data.parent_path() / "volumen" / "MI_DISCO";
  fs::create_directories(volume / "DOCS");
  WriteFile(volume / "LEEME.TXT", "hola");
  WriteFile(volume / "DOCS" / "A.BIN", std::string(2048, 'a'));
  return volume;
}

struct Window : OpenWindow {
  Window() {
    volume = MakeVolume(inst);
    Open();
    window->Ini1().WritePath("Unidades", "T", volume);  // read when a drive is chosen
    Show();
  }
  // Confirms the disc editor of the run, giving the disc a title.
  std::shared_ptr<bool> ConfirmEditorWith(const QString& title) {
    auto ran = std::make_shared<bool>(false);
    QTimer::singleShot(0, window.get(), [this, ran, title] {
      auto* editor = qobject_cast<TDatosCD*>(QApplication::activeModalWidget());
      if (editor == nullptr) return;
      // Editing the new disc is still part of the run.
      editedInRunState = !Button("Catalogar").isEnabled() && Button("Parar").isEnabled();
      *ran = true;
      Child<QLineEdit>(*editor, "EditTituloCD").setText(title);
      editor->AceptarClick();
    });
    return ran;
  }
  TTablas& Tablas() { return window->Tablas(); }
  fs::path Catalogues() { return window->Folders().catalogos; }
  CatalogarPage& Page() { return Child<CatalogarPage>(*window, "PCatalogar"); }
  QPushButton& Button(const char* name) { return Child<QPushButton>(Page(), name); }
  PageControl& Pages() { return Child<PageControl>(*window, "Pagina"); }

  fs::path volume;
  bool editedInRunState = false;  // Catalogar off and Parar on while the editor was open
};

// The catalogue page alone over stand-in services, an empty disc table and
// the same volume as drive T.
struct RunPage : StandInServices {
  RunPage() {
    volume = MakeVolume(inst);
    testing::CreateTables(inst.data);
    OpenTables();
    page = std::make_unique<CatalogarPage>(services);
    ini.WritePath("Unidades", "T", volume);
  }
  TTablas& Tablas() { return tablas; }
  fs::path Catalogues() { return folders.catalogos; }

  fs::path volume;
  std::unique_ptr<CatalogarPage> page;
};

}  // namespace

class CatalogueTest : public QObject {
  Q_OBJECT
 private slots:
  void aCompletedRunAddsTheDiscWithItsFiles();
  void aStoppedRunLeavesNothing();
  void aDuplicateAndBadChoicesAreRefused();
  void closingDuringARunStopsItFirst();
  void aRunThatCannotWriteItsFilesKeepsNoDisc();
  void aDiscImageIsADiscOfItsOwn();
  void aDiscWalkedAgainShowsItsChangesFirst();
};

void CatalogueTest::closingDuringARunStopsItFirst() {
  Window w;
  w.dialogs.driveAnswer = "T:\\";
  bool asked = false;
  w.dialogs.onProcessEvents = [&] {
    if (w.Page().Run() && !asked) {
      asked = true;
      w.window->close();  // as the window manager's close button would
    }
  };
  QTest::mouseClick(&w.Button("Catalogar"), Qt::LeftButton);
  QVERIFY(asked);
  QCOMPARE(w.Tablas().TablaCDRom.RecordCount(), 0u);
  QVERIFY(fs::is_empty(w.Catalogues()));
  QTRY_VERIFY(!w.window->isVisible());  // closed once the run had stopped
}

void CatalogueTest::aRunThatCannotWriteItsFilesKeepsNoDisc() {
  RunPage w;
  w.dialogs.driveAnswer = "T:\\";
  const fs::path catalogues = w.Catalogues();
  fs::remove(catalogues);
  WriteFile(catalogues, "not a folder");
  w.page->CatalogarClick();  // found out before the walk
  QCOMPARE(w.dialogs.messages.size(), size_t(1));
  QVERIFY(w.dialogs.messages[0].rfind(w.inst.Text("Espanol.Len", "ErrorCarpetaCatalogos"), 0) == 0);
  fs::remove(catalogues);
  fs::create_directory(catalogues);

  // The folder goes away during the walk: the disc is not kept.
  w.dialogs.messages.clear();
  w.dialogs.onProcessEvents = [&] {
    if (w.page->Run() && fs::is_directory(catalogues)) {
      fs::remove_all(catalogues);  // with the files the run is writing
      WriteFile(catalogues, "not a folder");
    }
  };
  w.page->CatalogarClick();
  QCOMPARE(w.dialogs.messages.size(), size_t(1));
  QVERIFY(w.dialogs.messages[0].rfind(w.inst.Text("Espanol.Len", "ErrorCatalogoNoGrabado"), 0) ==
          0);
  QCOMPARE(w.Tablas().TablaCDRom.RecordCount(), 0u);
  QVERIFY(Child<QPushButton>(*w.page, "Catalogar").isEnabled());
}

void CatalogueTest::aCompletedRunAddsTheDiscWithItsFiles() {
  Window w;
  w.dialogs.driveAnswer = "T:\\";
  bool walking = false, stopFocused = false;
  w.dialogs.onProcessEvents = [&] {
    if (!w.Page().Run() || w.Button("Catalogar").isEnabled()) return;
    walking = true;
    stopFocused = w.Button("Parar").hasFocus();  // the one thing to do during a walk
  };
  auto edited = w.ConfirmEditorWith("Mis documentos");
  QTest::mouseClick(&w.Button("Catalogar"), Qt::LeftButton);
  QVERIFY(*edited);
  QVERIFY(w.editedInRunState);
  QVERIFY(walking);
  QVERIFY(stopFocused);
  QCOMPARE(w.dialogs.chooserTitle, w.inst.Text("Espanol.Len", "SeleccionaUnidad"));
  QVERIFY(w.dialogs.messages.empty());

  dbf::Table& discs = w.Tablas().TablaCDRom;
  QCOMPARE(discs.RecordCount(), 1u);
  QVERIFY(discs.Locate("AUTO", "1"));
  QCOMPARE(discs.AsString("TITULOCD"), std::string("Mis documentos"));
  QCOMPARE(discs.AsString("ETIQUETA"), std::string("MI_DISCO"));
  QCOMPARE(discs.AsString("TOTFILES"), std::string("2"));
  QCOMPARE(discs.AsString("NUMEROCD"), std::string("1"));
  QCOMPARE(ReadFile(TreeFilePath(w.Catalogues(), "1")), std::string("T:\\\r\nT:\\DOCS\\\r\n"));
  const std::string list = ReadFile(ListFilePath(w.Catalogues(), "1"));
  QVERIFY(list.find("T:\\LEEME.TXT;1;") == 0);
  QVERIFY(list.find("\r\nT:\\DOCS\\A.BIN;2;") != std::string::npos);

  // The window is idle again and shows the new disc.
  QVERIFY(w.Button("Catalogar").isEnabled());
  QVERIFY(!w.Button("Parar").isEnabled());
  QVERIFY(Child<QFrame>(w.Page(), "Panel1").isEnabled());
  QVERIFY(Child<QToolButton>(*w.window, "MArchivos").isVisible());
  QVERIFY(w.Pages().isTabVisible(TMenuPral::kArchivos));
  QCOMPARE(Child<QLabel>(*w.window, "Label1").text(),
           Qs(w.inst.Text("Espanol.Len", "CatalogoActual") + " Mis documentos"));
  QCOMPARE(Child<DiscListModel>(*w.window, "Discos").rowCount(), 1);
  QCOMPARE(Child<ArchivosPage>(*w.window, "PArchivos").Catalogo().RutaIndActual,
           TreeFilePath(w.Catalogues(), "1").string());
  QCOMPARE(Child<ArchivosPage>(*w.window, "PArchivos").Catalogo().LineasActuales.size(), size_t(2));

  // The same disc again: the window shows the disc list, where it is.
  w.window->CatalogarClick();
  QCOMPARE(w.Pages().currentIndex(), int(TMenuPral::kCatalogos));
  QCOMPARE(w.dialogs.messages.size(), size_t(1));
}

void CatalogueTest::aStoppedRunLeavesNothing() {
  Window w;
  w.dialogs.driveAnswer = "T:\\";
  w.dialogs.onProcessEvents = [&] {
    if (w.Page().Run() && w.Button("Parar").isEnabled())
      QTest::mouseClick(&w.Button("Parar"), Qt::LeftButton);
  };
  QTest::mouseClick(&w.Button("Catalogar"), Qt::LeftButton);
  QCOMPARE(w.Tablas().TablaCDRom.RecordCount(), 0u);
  QVERIFY(fs::is_empty(w.Catalogues()));
  QVERIFY(!w.Pages().isTabVisible(TMenuPral::kArchivos));
  QVERIFY(!w.Pages().isTabVisible(TMenuPral::kBusqueda));
  QVERIFY(w.Pages().isTabVisible(TMenuPral::kCatalogos));
  QVERIFY(w.Button("Catalogar").isEnabled());
  QVERIFY(!w.Button("Parar").isEnabled());
}

void CatalogueTest::aDuplicateAndBadChoicesAreRefused() {
  RunPage w;
  w.dialogs.driveAnswer = "T:\\";
  // The title the disc editor would give the new disc.
  QObject::connect(w.page.get(), &CatalogarPage::EditNewDisc, [&] {
    dbf::Table& discs = w.Tablas().TablaCDRom;
    discs.Edit();
    discs.SetString("TITULOCD", "Primero");
    discs.Post();
  });
  w.page->CatalogarClick();
  QCOMPARE(w.Tablas().TablaCDRom.RecordCount(), 1u);
  w.dialogs.messages.clear();

  QSignalSpy duplicate(w.page.get(), &CatalogarPage::DuplicateFound);
  w.page->CatalogarClick();  // the same disc again
  QCOMPARE(w.dialogs.messages.size(), size_t(1));
  QCOMPARE(w.dialogs.messages[0], w.inst.Text("Espanol.Len", "CatalogoExiste") + "Primero");
  QCOMPARE(duplicate.takeFirst().at(0).value<std::string>(), std::string("Primero"));
  QCOMPARE(w.Tablas().TablaCDRom.RecordCount(), 1u);

  w.dialogs.driveAnswer = "T:\\DOCS";  // below a root
  w.page->CatalogarClick();
  QCOMPARE(w.dialogs.messages.back(), w.inst.Text("Espanol.Len", "NoDirectorio"));
  w.dialogs.driveAnswer = "Q:\\";  // no such drive
  w.page->CatalogarClick();
  QCOMPARE(w.dialogs.messages.back(), w.inst.Text("Espanol.Len", "ErrorUnidad"));
  w.dialogs.driveAnswer.clear();  // cancelled
  const size_t shown = w.dialogs.messages.size();
  w.ini.WritePath("Unidades", "R", w.volume / "DOCS");  // a drive that came meanwhile
  w.page->CatalogarClick();
  QCOMPARE(w.dialogs.messages.size(), shown);
  QCOMPARE(w.Tablas().TablaCDRom.RecordCount(), 1u);
  const auto offered = [&](char letter) {
    for (const DriveChoice& drive : w.dialogs.offered)
      if (drive.letter == letter) return drive.label;
    return std::string("(not offered)");
  };
  QCOMPARE(offered('R'), std::string("DOCS"));  // the map is read anew for each choice

  // A folder of no letter is a disc of its own, under a free letter.
  w.ini.WritePath("Unidades", "R", "");
  w.dialogs.driveAnswer = Utf8ToAnsi((w.volume / "DOCS").string());
  w.page->CatalogarClick();
  QCOMPARE(w.dialogs.messages.size(), shown);
  QCOMPARE(w.Tablas().TablaCDRom.RecordCount(), 2u);
  QVERIFY(w.Tablas().TablaCDRom.Locate("ETIQUETA", "DOCS"));
  const std::string letter = w.Tablas().TablaCDRom.AsString("UNIDAD");
  QVERIFY(letter >= "D" && letter != "T");
  QCOMPARE(w.Tablas().TablaCDRom.AsString("TOTFILES"), std::string("1"));
}

void CatalogueTest::aDiscImageIsADiscOfItsOwn() {
  if (::access("/usr/bin/genisoimage", X_OK) != 0) QSKIP("genisoimage is not installed");
  RunPage w;
  const fs::path image = w.inst.data.parent_path() / "disco.iso";
  const std::string make =
      "genisoimage -quiet -J -V IMAGEN -o '" + image.string() + "' '" + w.volume.string() + "'";
  QCOMPARE(std::system(make.c_str()), 0);
  w.dialogs.driveAnswer = Utf8ToAnsi(image.string());
  w.page->CatalogarClick();
  QVERIFY(w.dialogs.messages.empty());
  dbf::Table& discs = w.Tablas().TablaCDRom;
  QCOMPARE(discs.RecordCount(), 1u);
  QVERIFY(discs.Locate("ETIQUETA", "IMAGEN"));
  QCOMPARE(discs.AsString("TOTFILES"), std::string("2"));
  const std::string letter = discs.AsString("UNIDAD");
  QCOMPARE(ReadFile(ListFilePath(w.Catalogues(), discs.AsString("AUTO"))).substr(0, 13),
           letter + ":\\LEEME.TXT;");
}

void CatalogueTest::aDiscWalkedAgainShowsItsChangesFirst() {
  Window w;
  w.dialogs.driveAnswer = "T:\\";
  auto edited = w.ConfirmEditorWith("Mis documentos");
  QTest::mouseClick(&w.Button("Catalogar"), Qt::LeftButton);
  QVERIFY(*edited);
  const std::string before = ReadFile(ListFilePath(w.Catalogues(), "1"));
  WriteFile(w.volume / "NUEVO.TXT", "nuevo");
  fs::remove(w.volume / "DOCS" / "A.BIN");
  QAction& update = Child<QAction>(*w.window, "ActualizarCD1");
  const auto question = [&] {
    return w.dialogs.questions.empty() ? "" : w.dialogs.questions.back();
  };

  // Stopped during its walk, or its changes declined: the disc stays as it was.
  bool stopped = false;
  w.dialogs.onProcessEvents = [&] {
    if (w.Page().Running() && !stopped) {
      stopped = true;
      w.Page().PararClick();
    }
  };
  update.trigger();
  QVERIFY(stopped);
  QVERIFY(w.dialogs.questions.empty());
  w.dialogs.onProcessEvents = nullptr;
  w.dialogs.answers = {false};
  update.trigger();
  QVERIFY(question().find(w.inst.Text("Espanol.Len", "CambiosNuevos") + ": 1\n") !=
          std::string::npos);
  QVERIFY(question().find(w.inst.Text("Espanol.Len", "CambiosQuitados") + ": 1\n") !=
          std::string::npos);
  QCOMPARE(ReadFile(ListFilePath(w.Catalogues(), "1")), before);

  // Agreed: the new walk is the disc's catalogue; its title stays.
  update.trigger();
  QVERIFY(w.dialogs.messages.empty());
  const std::string list = ReadFile(ListFilePath(w.Catalogues(), "1"));
  QVERIFY(list.find("T:\\NUEVO.TXT;1;") != std::string::npos);
  QVERIFY(list.find("A.BIN") == std::string::npos);
  dbf::Table& discs = w.Tablas().TablaCDRom;
  QCOMPARE(discs.RecordCount(), 1u);
  QVERIFY(discs.Locate("AUTO", "1"));
  QCOMPARE(discs.AsString("TITULOCD"), std::string("Mis documentos"));
  QCOMPARE(w.Pages().currentIndex(), int(TMenuPral::kCatalogos));
  QVERIFY(w.Button("Catalogar").isEnabled());
  QVERIFY(Child<QToolButton>(*w.window, "MArchivos").isVisible());

  // Nothing changed since: said so, and nothing asked.
  const std::size_t asked = w.dialogs.questions.size();
  update.trigger();
  QCOMPARE(w.dialogs.questions.size(), asked);
  QCOMPARE(w.dialogs.messages,
           std::vector<std::string>{w.inst.Text("Espanol.Len", "CambiosNinguno")});

  // Walked where another catalogued disc is: refused, and the disc to update
  // is still the current one, in the list and in the status line.
  const fs::path other = w.inst.data.parent_path() / "otro";
  fs::create_directories(other);
  WriteFile(other / "B.TXT", "b");
  w.window->Ini1().WritePath("Unidades", "U", other);
  w.dialogs.driveAnswer = "U:\\";
  auto second = w.ConfirmEditorWith("Otro disco");
  w.Pages().setCurrentIndex(TMenuPral::kCatalogar);
  QTest::mouseClick(&w.Button("Catalogar"), Qt::LeftButton);
  QVERIFY(*second);
  QVERIFY(discs.Locate("AUTO", "1"));
  Child<CatalogosPage>(*w.window, "PCatalogos").SelectCurrentDiscRow();
  w.dialogs.messages.clear();
  update.trigger();
  QCOMPARE(w.dialogs.messages.size(), std::size_t(1));  // the refusal
  QCOMPARE(w.Tablas().CurrentDisc("AUTO"), std::string("1"));
  QVERIFY(Child<QLabel>(*w.window, "Label1").text().endsWith(QStringLiteral("Mis documentos")));
}

QTEST_MAIN(CatalogueTest)
#include "catalogue_test.moc"
