// The main window driven through its real widgets on the offscreen platform,
// with scripted dialogs that record what would have been shown.
#include "app/gui/menu_pral.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/gui/page_control.h"
#include "app/gui/qt_translation.h"
#include "browse/gui/catalogos_page.h"
#include "gui/gui_support.h"
#include "scan/gui/catalogar_page.h"
#include "search/gui/busqueda_page.h"
#include "settings/language.h"
#include "util/codepage.h"
#include "util/dialogs.h"
#include "util/gui/qt_text.h"

using namespace zafirel;
namespace fs = std::filesystem;

class MenuPralTest : public QObject {
  Q_OBJECT
 private slots:
  void firstStartCreatesTablesReportsOnceAndGreetsOnce();
  void missingDataFolderGivesOneMessageAndEnds();
  void languageSwitchRelabelsTheWindow();
  void hintsShowTheirLongPartInTheStatusLine();
  void theKeyboardOpensTheMenuAndQuits();
  void bottomBarMovesTheWindowWithTheLeftButtonOnly();
  void settingsAtStartUp();
  void closingEmptiesTheTemporaryFolderAndSavesThePlacement();
  void pageVisibilityFollowsTheDiscTable();
  void aDamagedDiscTableIsReportedAndLeftAlone();
  void anOldDiscTableGetsItsAlbumFieldAtStartUp();
};

void MenuPralTest::firstStartCreatesTablesReportsOnceAndGreetsOnce() {
  Installation inst;
  Language leng(inst.exe / "Ingles.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  QVERIFY(window.CreaModuloDatos());

  const std::string report = inst.Text("Espanol.Len", "FicherosCreados") + "CDRom, " +
                             inst.Text("Espanol.Len", "Imagenes") + ".";
  QCOMPARE(dialogs.messages.size(), size_t(1));
  QCOMPARE(dialogs.messages[0], report);
  QVERIFY(fs::exists(inst.data / "CDROM.DBF"));
  QVERIFY(fs::exists(inst.data / "IMG.DBF"));
  for (const char* folder : {"Catálogos", "Búsquedas", "Exportar", "Temp"})
    QVERIFY2(fs::is_directory(inst.data / folder), folder);
  // The ten index files are built, and the disc list's order is the title.
  for (const char* index : {"Titulo.Mdx", "Auto.Mdx", "Filtro.Mdx", "AlbumUn.Mdx"})
    QVERIFY2(fs::exists(inst.data / index), index);
  QCOMPARE(window.Tablas().IndicesCDRom.Current(), std::string("Titulo"));

  window.show();
  QTRY_COMPARE(dialogs.messages.size(), size_t(2));
  QCOMPARE(dialogs.messages[1], inst.Text("Espanol.Len", "PrimeraVez"));
  window.FormActivate();
  QCoreApplication::processEvents();
  QCOMPARE(dialogs.messages.size(), size_t(2));

  // The settings name the data folder after the start.
  const std::string settings = ReadFile(inst.exe / "Opcion.INI");
  QVERIFY(settings.find("Directorio=" + inst.data.string()) != std::string::npos);

  // A second start finds both tables and says nothing.
  ScriptedDialogs again;
  TMenuPral second(inst.Where(), Locale{}, leng, again);
  QVERIFY(second.CreaModuloDatos());
  second.show();
  QCoreApplication::processEvents();
  QVERIFY(again.messages.empty());
}

void MenuPralTest::missingDataFolderGivesOneMessageAndEnds() {
  Installation inst;
  const fs::path missing = inst.exe / "nowhere";
  WriteFile(inst.exe / "Opcion.INI", "[General]\r\nDirectorio=" + missing.string() + "/\r\n");
  Language leng(inst.exe / "Ingles.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  QVERIFY(!window.DataFolderExists());
  QVERIFY(!window.CreaModuloDatos());
  QCOMPARE(dialogs.messages.size(), size_t(1));
  // The trailing separator is dropped, and the text comes from the English file.
  QCOMPARE(dialogs.messages[0],
           missing.string() + "." + inst.Text("Ingles.Len", "NoExisteDirectorio"));
  QVERIFY(!fs::exists(missing));
}

void MenuPralTest::languageSwitchRelabelsTheWindow() {
  Installation inst;
  Language leng(inst.exe / "Ingles.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  QVERIFY(window.CreaModuloDatos());
  const CatalogarPage& page = Child<CatalogarPage>(window, "PCatalogar");
  const QPushButton& run = Child<QPushButton>(page, "Catalogar");
  const QPushButton& stop = Child<QPushButton>(page, "Parar");
  QCOMPARE(Ansi(run.text()), inst.Text("Espanol.Len", "Catalogar1"));

  // Qt's own texts follow the language file where Qt's catalogue is installed.
  const auto cancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
  if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qt_es.qm")) {
    QCOMPARE(cancel(), QStringLiteral("Cancelar"));
  }
  // Spanish keyboards say "Intro", with Qt's catalogue or without it.
  QCOMPARE(QKeySequence(Qt::Key_Return).toString(QKeySequence::NativeText),
           QStringLiteral("Intro"));
  QCOMPARE(QtLanguageOf("Espa\xF1ol.len"), std::string("es"));
  QCOMPARE(QtLanguageOf("Klingon.Len"), std::string());

  window.show();
  window.MostrarCatalogoActual("Disco");
  window.TraduceTodo("Ingles.Len");
  QCOMPARE(cancel(), QStringLiteral("Cancel"));
  QCOMPARE(QKeySequence(Qt::Key_Return).toString(QKeySequence::NativeText),
           QStringLiteral("Return"));
  QCOMPARE(Ansi(run.text()), inst.Text("Ingles.Len", "Catalogar1"));
  QCOMPARE(Ansi(stop.statusTip()), inst.Text("Ingles.Len", "PararHint"));
  OwnerDrawnTabBar& tabs = *Child<PageControl>(window, "Pagina").Tabs();
  QCOMPARE(Ansi(WithoutLetterKey(Child<QAction>(window, "Salir1").text())),
           inst.Text("Ingles.Len", "Salir1"));
  QCOMPARE(Ansi(WithoutLetterKey(tabs.CaptionOf(1))), inst.Text("Ingles.Len", "Catalogos1"));
  // The status line, the bottom bar and the disc count follow; each tab
  // fits its new caption.
  const std::string current = inst.Text("Ingles.Len", "CatalogoActual") + " Disco";
  QCOMPARE(Ansi(Child<QLabel>(window, "Label1").text()), current);
  QCOMPARE(Ansi(Child<QLabel>(window, "Label2").text()), "Zafirel! v1.1 - " + current);
  QCOMPARE(Ansi(Child<QLabel>(window, "Label5").text()),
           inst.Text("Ingles.Len", "TotalCatalogos") + " 0");
  for (int tab = 0; tab < 4; ++tab) {
    if (!tabs.isTabVisible(tab)) continue;
    const QString caption = tabs.CaptionOf(tab).remove(QLatin1Char('&'));
    QVERIFY2(tabs.tabRect(tab).width() >= tabs.fontMetrics().horizontalAdvance(caption),
             qPrintable(caption));
  }

  // A file without "Parar" and without a hint key leaves them empty; keys
  // are found whatever their letter case in the file.
  WriteFile(inst.data / "Corto.Len", "[General]\r\ncatalogar1=Go\r\n");
  window.TraduceTodo("Corto.Len");
  QCOMPARE(WithoutLetterKey(run.text()), QStringLiteral("Go"));
  QVERIFY(stop.text().isEmpty());
  QVERIFY(stop.statusTip().isEmpty());
}

void MenuPralTest::theKeyboardOpensTheMenuAndQuits() {
  Installation inst;
  Language leng(inst.exe / "Espanol.Len");
  ScriptedDialogs dialogs;
  // A window a key: the offscreen platform gives no focus back after a popup.
  for (const QKeyCombination keys : {QKeyCombination(Qt::Key_F10), Qt::ALT | Qt::Key_P}) {
    TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
    QVERIFY(window.CreaModuloDatos());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    bool opened = false;
    QMenu& menu = Child<QMenu>(window, "PopUpArchivos");
    QTimer::singleShot(0, [&] {
      opened = menu.isVisible();
      menu.close();
    });
    QTest::keyClick(&window, keys.key(), keys.keyboardModifiers());
    QVERIFY2(opened, QKeySequence(keys).toString().toUtf8());
  }
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  QVERIFY(window.CreaModuloDatos());
  window.show();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
  QVERIFY(!window.isVisible());
}

void MenuPralTest::hintsShowTheirLongPartInTheStatusLine() {
  Installation inst;
  Language leng(inst.exe / "Ingles.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  QVERIFY(window.CreaModuloDatos());
  QStatusTipEvent withBar(QStringLiteral("corto|largo"));
  const QLabel& status = Child<QLabel>(window, "Label1");
  QCoreApplication::sendEvent(&window, &withBar);
  QCOMPARE(status.text(), QStringLiteral("largo"));
  QStatusTipEvent off{QString()};
  QCoreApplication::sendEvent(&window, &off);
  QCOMPARE(Ansi(status.text()), inst.Text("Espanol.Len", "CatalogoActual") + " ");
}

void MenuPralTest::bottomBarMovesTheWindowWithTheLeftButtonOnly() {
  Installation inst;
  Language leng(inst.exe / "Ingles.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  QVERIFY(window.CreaModuloDatos());
  window.move(100, 100);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  const QPoint start = window.pos();
  QLabel* bar = &Child<QLabel>(window, "Label2");

  QTest::mousePress(bar, Qt::RightButton, {}, QPoint(10, 5));
  QMouseEvent moveRight(QEvent::MouseMove, QPointF(40, 5), bar->mapToGlobal(QPointF(40, 5)),
                        Qt::NoButton, Qt::RightButton, {});
  QCoreApplication::sendEvent(bar, &moveRight);
  QTest::mouseRelease(bar, Qt::RightButton, {}, QPoint(40, 5));
  QCOMPARE(window.pos(), start);

  QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(10, 5));
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(30, 15));
  QCOMPARE(window.pos(), start + QPoint(20, 10));
}

void MenuPralTest::settingsAtStartUp() {
  Installation inst;
  fs::create_directories(inst.data / "Búsquedas");
  WriteFile(inst.data / "Búsquedas" / "uno.htm", "x");
  WriteFile(inst.data / "Búsquedas" / "dos.html", "x");
  WriteFile(inst.data / "Búsquedas" / "tres.txt", "x");
  WriteFile(inst.exe / "Opcion.INI",
            "[General]\r\nZip=s\r\nComprimidos=S\r\nBusqueda=mapas\r\nLenguaje=Ingles.Len\r\n");
  Language leng(inst.exe / "Ingles.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  QVERIFY(window.CreaModuloDatos());
  QCheckBox& zips = Child<QCheckBox>(window, "Zips");
  QCheckBox& archives = Child<QCheckBox>(window, "Comprimidos");
  QVERIFY(!zips.isChecked());  // only "S" ticks it
  QVERIFY(archives.isChecked());
  QCOMPARE(Child<QLineEdit>(window, "EBusca").text(), QStringLiteral("mapas"));
  QCOMPARE(Child<QComboBox>(window, "CBusquedas").count(), 2);
  QCOMPARE(Ansi(Child<QPushButton>(window, "Catalogar").text()),
           inst.Text("Ingles.Len", "Catalogar1"));
  // The report of the first start comes in the chosen language.
  QCOMPARE(dialogs.messages.at(0).rfind(inst.Text("Ingles.Len", "FicherosCreados"), 0), 0u);

  zips.click();
  archives.click();
  QVERIFY(ReadFile(inst.exe / "Opcion.INI").find("Zip=S") != std::string::npos);
  QVERIFY(ReadFile(inst.exe / "Opcion.INI").find("Comprimidos=N") != std::string::npos);
}

void MenuPralTest::closingEmptiesTheTemporaryFolderAndSavesThePlacement() {
  Installation inst;
  Language leng(inst.exe / "Ingles.Len");
  ScriptedDialogs dialogs;
  {
    TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
    QVERIFY(window.CreaModuloDatos());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    fs::create_directories(inst.data / "Temp" / "sub");
    WriteFile(inst.data / "Temp" / "LEEME.TXT", "x");
    WriteFile(inst.data / "Temp" / "sinpunto", "x");
    window.close();
    QVERIFY(!fs::exists(inst.data / "Temp" / "LEEME.TXT"));
    QVERIFY(!fs::exists(inst.data / "Temp" / "sinpunto"));
    QVERIFY(fs::is_directory(inst.data / "Temp" / "sub"));
  }
  const std::string settings = ReadFile(inst.exe / "Opcion.INI");
  QVERIFY(settings.find("[Posicion]") != std::string::npos);
  QVERIFY(settings.find("NormPos=") != std::string::npos);
  QVERIFY(settings.find("PixelsPerInch=") != std::string::npos);
}

void MenuPralTest::pageVisibilityFollowsTheDiscTable() {
  Installation inst;
  Language leng(inst.exe / "Ingles.Len");
  {
    ScriptedDialogs dialogs;
    TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
    QVERIFY(window.CreaModuloDatos());
    const PageControl& pages = Child<PageControl>(window, "Pagina");
    const QAction& verHtml = Child<QAction>(window, "VerHTML1");
    QVERIFY(pages.isTabVisible(TMenuPral::kCatalogar));
    QVERIFY(pages.isTabVisible(TMenuPral::kCatalogos));
    QVERIFY(!pages.isTabVisible(TMenuPral::kArchivos));
    QVERIFY(!pages.isTabVisible(TMenuPral::kBusqueda));
    QVERIFY(!verHtml.isEnabled());
    Child<QAction>(window, "Archivos1").trigger();  // a command for a hidden page does nothing
    QCOMPARE(pages.currentIndex(), int(TMenuPral::kCatalogar));

    dbf::Table& discs = window.Tablas().TablaCDRom;
    discs.Append();
    discs.SetString("TITULOCD", "Mapas del mundo");
    discs.SetString("AUTO", "1");
    discs.Post();
    window.ApplyPageVisibility();
    QVERIFY(pages.isTabVisible(TMenuPral::kArchivos));
    QVERIFY(pages.isTabVisible(TMenuPral::kBusqueda));
    QVERIFY(verHtml.isEnabled());
    Child<QAction>(window, "Busqueda1").trigger();
    QCOMPARE(pages.currentIndex(), int(TMenuPral::kBusqueda));
    const QString status = Child<QLabel>(window, "Label1").text();
    QCOMPARE(Ansi(status), inst.Text("Espanol.Len", "CatalogoActual") + " Mapas del mundo");
    QCOMPARE(Child<QLabel>(window, "Label2").text(), QStringLiteral("Zafirel! v1.1 - ") + status);
  }
}

void MenuPralTest::aDamagedDiscTableIsReportedAndLeftAlone() {
  Installation inst;
  const std::string garbage(100, '\x8B');
  WriteFile(inst.data / "CDROM.DBF", garbage);
  Language leng(inst.exe / "Ingles.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  QVERIFY(window.CreaModuloDatos());
  // Only the cover table was missing; the damaged disc table is named.
  QCOMPARE(dialogs.messages.size(), size_t(2));
  QVERIFY(dialogs.messages[1].find("CDROM.DBF") != std::string::npos);
  QVERIFY(!Child<PageControl>(window, "Pagina").isTabVisible(TMenuPral::kArchivos));
  window.close();
  QCOMPARE(ReadFile(inst.data / "CDROM.DBF"), garbage);
}

void MenuPralTest::anOldDiscTableGetsItsAlbumFieldAtStartUp() {
  Installation inst;
  {
    std::vector<std::string> oldFields = TTablas::DiscFieldList();
    oldFields.pop_back();  // tables of earlier versions end before ALBUM
    dbf::Table old(true);
    old.SetFolder(inst.data);
    old.SetTableName("CDRom.Dbf");
    old.CreateTable(dbf::ParseFieldList(oldFields));
    old.Open();
    old.Append();
    old.SetString("TITULOCD", "Viejo");
    old.SetString("AUTO", "7");
    old.SetString("TOTFILES", "3");
    old.Post();
  }
  Language leng(inst.exe / "Ingles.Len");
  ScriptedDialogs dialogs;
  TMenuPral window(inst.Where(), Locale{}, leng, dialogs);
  QVERIFY(window.CreaModuloDatos());
  dbf::Table& discs = window.Tablas().TablaCDRom;
  QVERIFY(discs.Active());
  QVERIFY(discs.FieldIndex("ALBUM") == 13);
  QCOMPARE(discs.RecordCount(), 1u);
  QCOMPARE(discs.AsString("TITULOCD"), std::string("Viejo"));
  QVERIFY(fs::exists(inst.data / "Archivos regenerados" / "RegenerarCDROM.Dbf.ini"));
  QCOMPARE(Ansi(Child<QLabel>(window, "Label1").text()),
           inst.Text("Espanol.Len", "CatalogoActual") + " Viejo");
}

QTEST_MAIN(MenuPralTest)
#include "menu_pral_test.moc"
