// The options dialog through the real main window on the offscreen
// platform: another data folder picked by its disc table (any letter case,
// any characters), a damaged one refused with the previous folder kept, and
// both settings written when the dialog closes.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/gui/menu_pral.h"
#include "app/gui/opciones.h"
#include "app/gui/page_control.h"
#include "app/startup.h"
#include "browse/gui/browse_models.h"
#include "browse/gui/catalogos_page.h"
#include "gui/gui_support.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/gui/qt_text.h"

using namespace zafirel;
namespace fs = std::filesystem;

namespace {

// A data folder with one disc in a table of an earlier version (no album
// field), its table files under lower-case names, its name in letters
// Windows-1252 lacks.
fs::path OtherDataFolder(const fs::path& parent) {
  const fs::path folder = parent / "otros datos \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1";
  fs::create_directories(folder);
  std::vector<std::string> fields = TTablas::DiscFieldList();
  fields.pop_back();
  dbf::Table old(true);
  old.SetFolder(folder);
  old.SetTableName(TTablas::kDiscTableName);
  old.CreateTable(dbf::ParseFieldList(fields));
  testing::AddDiscRecords(folder, {{{"TITULOCD", "Disco ajeno"}, {"AUTO", "1"}}});
  fs::rename(folder / "CDROM.DBF", folder / "cdrom.dbf");
  fs::rename(folder / "CDROM.DBT", folder / "cdrom.dbt");
  WriteFile(folder / "Viejo.Mdx", "indice de otra version");
  return folder;
}

// Runs the step on the options dialog, then closes it with Aceptar.
void WithOptions(TMenuPral& window, std::function<void(TOpciones&)> step) {
  bool ran = false;
  QTimer::singleShot(0, &window, [&] {
    auto* dialog = qobject_cast<TOpciones*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    ran = true;
    step(*dialog);
    dialog->AceptarClick();
  });
  Child<QAction>(window, "Opciones1").trigger();
  QVERIFY(ran);
}

}  // namespace

class OptionsTest : public QObject {
  Q_OBJECT
 private slots:
  void anotherDataFolderTakesEffectAtOnce();
  void aDamagedTableKeepsThePreviousFolder();
  void closingWritesTheFolderAndTheLanguage();
  void importingAnotherFolderSkipsTheDiscsAlreadyHere();
};

void OptionsTest::anotherDataFolderTakesEffectAtOnce() {
  Installation inst;
  Language leng(inst.exe / "Espanol.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  window.CreaModuloDatos();
  QVERIFY(Child<QAction>(window, "Opciones1").isEnabled());
  const fs::path other = OtherDataFolder(inst.root.path().toStdString());
  dialogs.messages.clear();

  WithOptions(window, [&](TOpciones& options) {
    const QLineEdit& folder = Child<QLineEdit>(options, "Edit1");
    QComboBox& languages = Child<QComboBox>(options, "Modelos");
    QCOMPARE(folder.text(), Qs(Utf8ToAnsi(inst.data.string())));
    dialogs.fileAnswer = other / "README.TXT";  // not a disc table: nothing happens
    options.BBuscaClick();
    QVERIFY(dialogs.messages.empty());
    dialogs.fileAnswer = other / "cdrom.dbf";
    options.BBuscaClick();
    QCOMPARE(folder.text(), QString::fromStdString(other.string()));
    // The folder had no language files: it has the shipped ones at once,
    // and English can be chosen in the same visit.
    QCOMPARE(languages.count(), 2);
    QCOMPARE(languages.currentText(), QString("Espanol.Len"));
    languages.setCurrentIndex(languages.findText("Ingles.Len"));
  });
  QCOMPARE(Ansi(WithoutLetterKey(Child<QAction>(window, "Salir1").text())),
           inst.Text("Ingles.Len", "Salir1"));
  QCOMPARE(dialogs.fileStart, inst.data);
  QCOMPARE(dialogs.messages.back(), inst.Text("Espanol.Len", "UbicacionCambiada"));
  QCOMPARE(window.Folders().data, other);
  const DiscListModel& discs = Child<DiscListModel>(window, "Discos");
  QCOMPARE(discs.rowCount(), 1);
  QCOMPARE(discs.index(0, 0).data().toString(), QString("Disco ajeno"));
  QVERIFY(!fs::exists(other / "Viejo.Mdx"));  // old index files go; ours are built
  QVERIFY(fs::exists(other / "Titulo.Mdx"));
  QVERIFY(fs::is_directory(window.Folders().catalogos));
  QCOMPARE(window.Folders().catalogos.parent_path(), other);
  QCOMPARE(DetermineDataFolder(window.Ini1(), inst.data), other);  // as the next start finds it
}

void OptionsTest::aDamagedTableKeepsThePreviousFolder() {
  Installation inst;
  Language leng(inst.exe / "Espanol.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  window.CreaModuloDatos();
  const fs::path damaged = fs::path(inst.root.path().toStdString()) / "roto";
  fs::create_directories(damaged);
  WriteFile(damaged / "CDROM.DBF", "esto no es una tabla");
  dialogs.messages.clear();
  WithOptions(window, [&](TOpciones& options) {
    dialogs.fileAnswer = damaged / "CDROM.DBF";
    options.BBuscaClick();
    QCOMPARE(Child<QLineEdit>(options, "Edit1").text(), Qs(Utf8ToAnsi(inst.data.string())));
  });
  // The message says which file and what is wrong with it.
  QCOMPARE(dialogs.messages.front(), inst.Text("Espanol.Len", "ErrorArchivo") + ": " +
                                         inst.Text("Espanol.Len", "ArchivoTruncado") + ": " +
                                         Utf8ToAnsi((damaged / "CDROM.DBF").string()));
  QCOMPARE(window.Folders().data, inst.data);
  QVERIFY(window.Tablas().TablaCDRom.Active());
  QCOMPARE(ReadFile(damaged / "CDROM.DBF"), std::string("esto no es una tabla"));
  // Nothing was written into the refused folder: no lock file, no backup folder.
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(damaged))
    left.push_back(entry.path().filename().string());
  QCOMPARE(left, std::vector<std::string>{"CDROM.DBF"});
}

void OptionsTest::closingWritesTheFolderAndTheLanguage() {
  Installation inst;
  Language leng(inst.exe / "Espanol.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  window.CreaModuloDatos();
  WithOptions(window, [&](TOpciones& options) {
    QComboBox& languages = Child<QComboBox>(options, "Modelos");
    QCOMPARE(languages.count(), 2);
    QCOMPARE(languages.currentText(), QString("Espanol.Len"));
    languages.setCurrentIndex(languages.findText("Ingles.Len"));
  });
  QCOMPARE(window.Ini1().ReadStr("General", "Lenguaje", ""), std::string("Ingles.Len"));
  QCOMPARE(Child<QAction>(window, "Catalogar1").text(), Qs(inst.Text("Ingles.Len", "Catalogar1")));
  QCOMPARE(window.Ini1().ReadStr("General", "Directorio", ""), Utf8ToAnsi(inst.data.string()));
}

void OptionsTest::importingAnotherFolderSkipsTheDiscsAlreadyHere() {
  {
    // Importing is offered on an empty table too, where a new user starts.
    Installation fresh;
    testing::CreateTables(fresh.data);
    Language leng(fresh.exe / "Espanol.Len");
    ScriptedDialogs dialogs;
    TMenuPral empty(fresh.Where(), Locale{}, leng, dialogs);
    empty.CreaModuloDatos();
    QVERIFY(Child<QAction>(empty, "Importar1").isEnabled());
  }
  Installation inst;
  testing::CreateTables(inst.data);
  // The same (empty) serial number as the other folder's disc.
  testing::AddDiscRecords(inst.data, {{{"TITULOCD", "Disco ajeno"}, {"AUTO", "1"}}});
  const fs::path other = OtherDataFolder(inst.root.path().toStdString());
  testing::AddDiscRecords(
      other, {{{"TITULOCD", "Disco importado"}, {"NSERIECD", "1234-5678"}, {"AUTO", "2"}}});
  Language leng(inst.exe / "Espanol.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  window.CreaModuloDatos();
  QAction& importDiscs = Child<QAction>(window, "Importar1");
  const PageControl& pages = Child<PageControl>(window, "Pagina");
  const QToolButton& menu = Child<QToolButton>(window, "MArchivos");
  QVERIFY(importDiscs.isEnabled());
  dialogs.messages.clear();

  dialogs.fileAnswer = inst.data / "CDROM.DBF";  // the folder in use
  importDiscs.trigger();
  QCOMPARE(dialogs.messages.back(), inst.Text("Espanol.Len", "MismaUbicacion"));

  dialogs.fileAnswer = other / "cdrom.dbf";
  bool othersDisabled = false;  // no other command changes data meanwhile
  dialogs.onProcessEvents = [&] { othersDisabled = !pages.isEnabled() && !menu.isEnabled(); };
  importDiscs.trigger();
  QVERIFY(othersDisabled);
  QVERIFY(pages.isEnabled() && menu.isEnabled());
  QCOMPARE(dialogs.messages.back(), inst.Text("Espanol.Len", "DiscosImportados") + "1" +
                                        inst.Text("Espanol.Len", "DiscosOmitidos") + "1");
  QCOMPARE(Child<DiscListModel>(window, "Discos").rowCount(), 2);
  QVERIFY(window.Tablas().TablaCDRom.Locate("NSERIECD", "1234-5678"));
  QCOMPARE(window.Tablas().TablaCDRom.AsString("AUTO"), std::string("2"));

  // Closing during an import stops it between two discs, then closes.
  window.show();
  testing::AddDiscRecords(other, {{{"NSERIECD", "AAAA-0001"}}, {{"NSERIECD", "AAAA-0002"}}});
  dialogs.onProcessEvents = [&] {
    if (window.Tablas().TablaCDRom.RecordCount() == 3) window.close();
  };
  dialogs.messages.clear();
  importDiscs.trigger();
  QVERIFY(dialogs.messages.empty());
  QTRY_VERIFY(!window.isVisible());
  TTablas after;
  after.SetFolder(inst.data);
  after.OpenDiscTable();
  QCOMPARE(after.TablaCDRom.RecordCount(), 3u);  // the first new disc, whole
}

QTEST_MAIN(OptionsTest)
#include "options_test.moc"
