// Searching on the offscreen platform. On the search page alone: a search
// started with Enter, the closing message, the saved text, the disc that was
// current before, cancelling, saved pages. Through the main window: the jump
// from a hit to its file, closing during a search, and Ver HTML.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <cerrno>

#include "app/gui/menu_pral.h"
#include "app/gui/page_control.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/browse_models.h"
#include "browse/gui/catalogos_page.h"
#include "gui/gui_support.h"
#include "search/gui/busqueda_page.h"
#include "search/gui/estadisticas_dialog.h"
#include "search/gui/repetidos_dialog.h"
#include "search/gui/search_results_model.h"
#include "search/gui/selecciona_cds.h"
#include "store/catalogue_files.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/file_change.h"
#include "util/gui/qt_text.h"

using namespace zafirel;
namespace fs = std::filesystem;

namespace {

// Two discs in a data folder, with their catalogue files.
void SeedTwoDiscs(const fs::path& data) {
  testing::CreateTables(data);
  testing::AddDiscRecords(data, {{{"AUTO", "1"}, {"TITULOCD", "Rock 80"}, {"NSERIECD", "S1"}},
                                 {{"AUTO", "2"}, {"TITULOCD", "Juegos"}, {"NSERIECD", "S2"}}});
  const fs::path catalogues = FoldersBelow(data).catalogos;
  fs::create_directories(catalogues);
  WriteFile(TreeFilePath(catalogues, "1"), "D:\\\r\nD:\\ROCK\\\r\n");
  WriteFile(ListFilePath(catalogues, "1"), "D:\\ROCK\\uno.mp3;1;x\r\nD:\\ROCK\\dos.mp3;1;x\r\n");
  WriteFile(TreeFilePath(catalogues, "2"), "E:\\\r\n");
  WriteFile(ListFilePath(catalogues, "2"), "E:\\TEMA.MP3;1;x\r\nE:\\DOOM.EXE;1;x\r\n");
}

struct Window : OpenWindow {
  Window() {
    SeedTwoDiscs(inst.data);
    Open();
    Show();
  }
  BusquedaPage& Search() { return Child<BusquedaPage>(*window, "PBusqueda"); }
  PageControl& Pages() { return Child<PageControl>(*window, "Pagina"); }
  SearchResultsModel* Results() { return &Child<SearchResultsModel>(Search(), "Resultados"); }
  QString CurrentFile() {
    return Child<QTableView>(*window, "Archivos").currentIndex().data().toString();
  }
  std::string Said(const char* key) { return inst.Text("Espanol.Len", key); }
};

// The search page alone over stand-in services and the same two discs.
struct SearchPage : StandInServices {
  SearchPage() {
    SeedTwoDiscs(inst.data);
    OpenTables();
    page = std::make_unique<BusquedaPage>(services);
    page->RellenaBusquedas();
  }
  std::string Said(const char* key) { return inst.Text("Espanol.Len", key); }

  std::unique_ptr<BusquedaPage> page;
};

// The heading of the disc "Rock 80" among the results.
QModelIndex RockHeading(const SearchResultsModel& results) {
  for (int row = 0; row < results.rowCount(); ++row)
    if (results.index(row, 0).data().toString().startsWith("Rock 80")) return results.index(row, 0);
  return {};
}

}  // namespace

class SearchTest : public QObject {
  Q_OBJECT
 private slots:
  void enterSearchesAndGroupsHitsByDisc();
  void enterOrADoubleClickOnAHitLeadsToTheFile();
  void cancellingKeepsWhatWasFound();
  void closingDuringASearchCancelsItFirst();
  void aSearchIsSavedAsAPageAndOpenedAgain();
  void verHtmlWritesAPagePerMarkedDisc();
  void theFilterRowNarrowsTheHitsAndIsKeptOpen();
  void exportarCsvWritesTheMarkedDiscsFileLists();
  void aCopyChosenAmongTheDuplicatesIsShown();
  void estadisticasShowsTheTotalsAndCharts();
  void theDiscsChosenKeepTheSearchToThem();
  void theRememberedAlbumIsChosenOnceTheTableOpens();
};

void SearchTest::enterSearchesAndGroupsHitsByDisc() {
  SearchPage w;
  QVERIFY(w.tablas.TablaCDRom.Locate("AUTO", "2"));
  QLineEdit* box = &Child<QLineEdit>(*w.page, "EBusca");
  ShowActive(*w.page);
  box->clear();
  QTest::keyClick(box, Qt::Key_Return);  // an empty text does nothing
  QVERIFY(w.dialogs.messages.empty());
  QTest::keyClicks(box, "mp3");
  QTest::keyClick(box, Qt::Key_Return);
  QCOMPARE(w.dialogs.messages.size(), size_t(1));
  QCOMPARE(w.dialogs.messages[0], "MP3 " + w.Said("Encontrado") + " 3 " + w.Said("Veces"));
  QCOMPARE(w.ini.ReadStr("General", "Busqueda", ""), std::string("MP3"));
  QCOMPARE(w.tablas.TablaCDRom.AsString("AUTO"), std::string("2"));  // current again
  QVERIFY(!Child<QProgressBar>(*w.page, "Barra").isVisible());
  QVERIFY(!Child<QPushButton>(*w.page, "BCancelar").isVisible());
  QVERIFY(Child<QPushButton>(*w.page, "BBuscar").isEnabled());

  SearchResultsModel* results = &Child<SearchResultsModel>(*w.page, "Resultados");
  QCOMPARE(results->rowCount(), 2);
  const QModelIndex rock = RockHeading(*results);
  QVERIFY(rock.isValid());
  QCOMPARE(results->rowCount(rock), 2);
  QCOMPARE(results->index(1, 0, rock).data().toString(), QString("D:\\ROCK\\dos.mp3"));

  // A title hit gets its own heading; "+" needs both terms.
  w.page->BuscaEnArchivos("rock+dos");
  QCOMPARE(results->rowCount(), 2);
  QVERIFY(results->index(0, 0).data().toString().endsWith(Qs(" " + w.Said("VerCatalogos"))) ||
          results->index(1, 0).data().toString().endsWith(Qs(" " + w.Said("VerCatalogos"))));
}

void SearchTest::enterOrADoubleClickOnAHitLeadsToTheFile() {
  Window w;
  w.Pages().setCurrentIndex(TMenuPral::kBusqueda);
  w.Search().BuscaEnArchivos("mp3");
  SearchResultsModel* results = w.Results();
  const QModelIndex rock = RockHeading(*results);
  const QModelIndex dos = results->index(1, 0, rock);
  QTreeView* tree = &Child<QTreeView>(w.Search(), "Busca");
  tree->expand(rock);
  // Enter on a hit jumps to it, as a double click does.
  QVERIFY(Activate(*w.window));
  tree->setFocus();
  tree->setCurrentIndex(results->index(0, 0, rock));
  QTest::keyClick(tree, Qt::Key_Return);
  QCOMPARE(w.Pages().currentIndex(), int(TMenuPral::kArchivos));
  QCOMPARE(w.CurrentFile(), QString("uno.mp3"));
  w.Pages().setCurrentIndex(TMenuPral::kBusqueda);
  const QRect cell = tree->visualRect(dos);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, cell.center());
  QCOMPARE(w.Pages().currentIndex(), int(TMenuPral::kArchivos));
  QCOMPARE(w.window->Tablas().TablaCDRom.AsString("AUTO"), std::string("1"));
  QCOMPARE(w.CurrentFile(), QString("dos.mp3"));
}

void SearchTest::cancellingKeepsWhatWasFound() {
  SearchPage w;
  BusquedaPage& page = *w.page;
  QPushButton& cancel = Child<QPushButton>(page, "BCancelar");
  const QLabel& found = Child<QLabel>(page, "LEncontrados");
  ShowActive(page);
  w.dialogs.onProcessEvents = [&] {
    if (cancel.isVisible() && found.text().endsWith(": 1"))
      QTest::mouseClick(&cancel, Qt::LeftButton);
  };
  Child<QLineEdit>(page, "EBusca").setText("mp3");
  QTest::mouseClick(&Child<QPushButton>(page, "BBuscar"), Qt::LeftButton);
  QCOMPARE(w.dialogs.messages.size(), size_t(1));
  QCOMPARE(w.dialogs.messages[0], "MP3 " + w.Said("Encontrado") + " 1 " + w.Said("Veces"));
  QCOMPARE(Child<SearchResultsModel>(page, "Resultados").rowCount(), 1);
  QCOMPARE(w.ini.ReadStr("General", "Busqueda", ""), std::string("MP3"));
  QVERIFY(!page.BusquedaCancelada);
}

void SearchTest::closingDuringASearchCancelsItFirst() {
  Window w;
  w.Pages().setCurrentIndex(TMenuPral::kBusqueda);
  Child<QLineEdit>(w.Search(), "EBusca").setText("mp3");
  w.dialogs.onProcessEvents = [&] { w.window->close(); };
  QTest::mouseClick(&Child<QPushButton>(w.Search(), "BBuscar"), Qt::LeftButton);
  QVERIFY(w.dialogs.messages.empty());
  QTRY_VERIFY(!w.window->isVisible());
}

void SearchTest::aSearchIsSavedAsAPageAndOpenedAgain() {
  SearchPage w;
  QPushButton* save = &Child<QPushButton>(*w.page, "GrabarBusca");
  QLineEdit& text = Child<QLineEdit>(*w.page, "EBusca");
  QComboBox& history = Child<QComboBox>(*w.page, "CBusquedas");
  QTest::mouseClick(save, Qt::LeftButton);  // nothing searched yet
  QCOMPARE(w.dialogs.messages.back(), w.Said("HacerBusqueda"));
  QVERIFY(w.dialogs.opened.empty());

  text.setText("dos");
  w.page->BBuscarClick();
  QTest::mouseClick(save, Qt::LeftButton);
  const fs::path page = w.folders.busquedas / "Dos.htm";
  QVERIFY(!w.dialogs.opened.empty());
  QCOMPARE(w.dialogs.opened.back(), page);
  QCOMPARE(w.dialogs.messages.back(), w.Said("NombreDocumento") + " " + Utf8ToAnsi(page.string()));
  const std::string html = ReadFile(page);
  QVERIFY(html.find("<h2> B\xFAsqueda de 'dos'</h2>\r\n") != std::string::npos);
  QVERIFY(html.find("<FONT COLOR=\"black\">D:\\ROCK\\dos.mp3</FONT>\r\n") != std::string::npos);
  QCOMPARE(history.count(), 1);
  QVERIFY(save->isEnabled());

  // A text that would name another folder goes to the temporary page; no viewer says so.
  text.setText("../rock");
  w.dialogs.canOpen = false;
  QTest::mouseClick(save, Qt::LeftButton);
  const fs::path temporary = w.folders.busquedas / "~Temporal.htm";
  QVERIFY(fs::exists(temporary));
  QCOMPARE(w.dialogs.messages.back(), w.Said("ErrorHTML") + " " + Utf8ToAnsi(temporary.string()));
  QCOMPARE(history.count(), 2);

  // Choosing a stored page opens it.
  w.dialogs.canOpen = true;
  history.setCurrentIndex(history.findText("Dos.htm"));
  w.page->CBusquedasChange();
  QCOMPARE(w.dialogs.opened.back(), page);
}

void SearchTest::verHtmlWritesAPagePerMarkedDisc() {
  Window w;
  QVERIFY(w.window->Tablas().TablaCDRom.Locate("AUTO", "1"));
  // Marking every disc: one page each, the folder opened.
  QTimer::singleShot(0, w.window.get(), [] {
    auto* dialog = qobject_cast<TSeleccionaCDs*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    QListWidget& discs = Child<QListWidget>(*dialog, "Cds");
    QCOMPARE(discs.count(), 2);
    QCOMPARE(discs.item(0)->text(), QString("2.Juegos"));  // title order
    QVERIFY(Child<QToolButton>(*dialog, "CMetodoB").isChecked());
    QTest::mouseClick(&Child<QToolButton>(*dialog, "CMetodoA"), Qt::LeftButton);
    QTest::keyClick(&discs, Qt::Key_Escape);  // Escape confirms
  });
  Child<QAction>(*w.window, "VerHTML1").trigger();
  QVERIFY(!w.dialogs.opened.empty());
  const fs::path exported = w.window->Folders().exportar;
  QVERIFY(fs::exists(exported / "1 - Rock 80.htm"));
  QVERIFY(fs::exists(exported / "2 - Juegos.htm"));
  QCOMPARE(w.dialogs.opened.back(), exported);
  QCOMPARE(w.dialogs.messages.back(), w.Said("PaginasExportadas") + "2");
  QCOMPARE(w.window->Tablas().TablaCDRom.AsString("AUTO"), std::string("1"));  // current again
  const std::string page = ReadFile(exported / "1 - Rock 80.htm");
  QVERIFY(page.find("<h2> Contenido de 'Rock 80'</h2>\r\n") != std::string::npos);
  QVERIFY(page.find("<tr><td> D:\\ROCK\\uno.mp3 <td> 1 Kb <td>  </tr>\r\n") != std::string::npos);

  // Pages the disc refuses: how many, which, and why.
  QTimer::singleShot(0, w.window.get(), [] {
    auto* dialog = qobject_cast<TSeleccionaCDs*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    QTest::mouseClick(&Child<QToolButton>(*dialog, "CMetodoA"), Qt::LeftButton);
    QTest::keyClick(&Child<QListWidget>(*dialog, "Cds"), Qt::Key_Escape);
  });
  SetFileChangeHook([] {
    errno = ENOSPC;
    return false;
  });
  Child<QAction>(*w.window, "VerHTML1").trigger();
  SetFileChangeHook(nullptr);
  QVERIFY(w.dialogs.messages.size() >= 2);
  const std::string& refused = w.dialogs.messages[w.dialogs.messages.size() - 2];
  QVERIFY(refused.rfind(w.Said("PaginasNoEscritas") + "2 (", 0) == 0);
  QVERIFY(refused.find("2 Juegos") != std::string::npos);
  QVERIFY(refused.find("1 Rock 80") != std::string::npos);
  QVERIFY(refused.find(w.Said("ErrorEscribirPagina")) != std::string::npos);
  QVERIFY(refused.find(w.Said("CausaSinEspacio")) != std::string::npos);
  QCOMPARE(w.dialogs.messages.back(), w.Said("PaginasExportadas") + "0");

  // One disc of an album: its page alone, opened itself; the list shows every disc afterwards.
  {
    TTablas& tablas = w.window->Tablas();
    QVERIFY(tablas.TablaCDRom.Locate("AUTO", "2"));
    tablas.TablaCDRom.Edit();
    tablas.TablaCDRom.SetString("ALBUM", "JUEGOS");
    tablas.TablaCDRom.Post();
  }
  QTimer::singleShot(0, w.window.get(), [] {
    auto* dialog = qobject_cast<TSeleccionaCDs*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    QComboBox& album = Child<QComboBox>(*dialog, "CFiltro");
    album.setCurrentIndex(album.findText("JUEGOS"));
    const QListWidget& discs = Child<QListWidget>(*dialog, "Cds");
    QCOMPARE(discs.count(), 1);
    QCOMPARE(discs.item(0)->checkState(), Qt::Checked);
    QVERIFY(Child<QToolButton>(*dialog, "CMetodoA").isChecked());
    dialog->AceptarClick();
  });
  fs::remove(exported / "2 - Juegos.htm");
  Child<QAction>(*w.window, "VerHTML1").trigger();
  QCOMPARE(w.dialogs.opened.back(), exported / "2 - Juegos.htm");
  QVERIFY(fs::exists(exported / "2 - Juegos.htm"));
  QCOMPARE(Child<DiscListModel>(*w.window, "Discos").rowCount(), 2);
  QCOMPARE(w.window->Tablas().IndicesCDRom.Current(), std::string("Titulo"));
}

QTEST_MAIN(SearchTest)
// The row under the search box: closed, it changes nothing; open, its kind
// and size narrow the hits (titles are not searched then), a size it cannot
// read is said and nothing searched; the row and its values are kept for
// the next start.
void SearchTest::theFilterRowNarrowsTheHitsAndIsKeptOpen() {
  SearchPage w;
  ShowActive(*w.page);
  QWidget& row = Child<QWidget>(*w.page, "FiltrosBusqueda");
  QVERIFY(!row.isVisible());
  auto& kind = Child<QComboBox>(row, "CTipo");
  kind.setCurrentIndex(kind.findData(QStringLiteral("Programas")));
  w.page->BuscaEnArchivos("o");  // closed: three files and both titles
  QCOMPARE(w.dialogs.messages.back(), "O " + w.Said("Encontrado") + " 5 " + w.Said("Veces"));
  QTest::keyClick(&Child<QPushButton>(*w.page, "BFiltros"), Qt::Key_Space);
  QVERIFY(row.isVisible());
  w.page->BuscaEnArchivos("o");  // DOOM.EXE alone
  QCOMPARE(w.dialogs.messages.back(), "O " + w.Said("Encontrado") + " 1 " + w.Said("Veces"));
  // Saved for a spreadsheet: the hits of the search shown, filter and all.
  QTest::mouseClick(&Child<QPushButton>(*w.page, "GrabarCsv"), Qt::LeftButton);
  QCOMPARE(w.dialogs.opened.back(), w.folders.busquedas / "O.csv");
  QCOMPARE(ReadFile(w.folders.busquedas / "O.csv"),
           std::string("match,disc,title,number,album,path,kilobytes,date,description\r\n"
                       "file,2,Juegos,,,E:\\DOOM.EXE,1,x,\r\n"));
  auto& smallest = Child<QLineEdit>(row, "ETamanioDesde");
  smallest.setText(QStringLiteral("diez"));
  const std::size_t said = w.dialogs.messages.size();
  w.page->BuscaEnArchivos("o");
  QCOMPARE(w.dialogs.messages.size(), said + 1);
  QVERIFY(w.dialogs.messages.back().starts_with(w.Said("FiltroTamanioMal")));
  smallest.setText(QStringLiteral("2K"));  // every file is of 1 KB
  Child<QDateEdit>(row, "DFechaHasta").setDate(QDate(2024, 1, 31));
  w.page->BuscaEnArchivos("o");
  QCOMPARE(w.dialogs.messages.back(), "O " + w.Said("Encontrado") + " 0 " + w.Said("Veces"));

  BusquedaPage again(w.services);
  again.RestoreLastSearch();
  QWidget& kept = Child<QWidget>(again, "FiltrosBusqueda");
  QVERIFY(!kept.isHidden());
  QVERIFY(Child<QPushButton>(again, "BFiltros").isChecked());
  QCOMPARE(Child<QComboBox>(kept, "CTipo").currentData().toString(), QString("Programas"));
  QCOMPARE(Child<QLineEdit>(kept, "ETamanioDesde").text(), QString("2K"));
  QCOMPARE(Child<QDateEdit>(kept, "DFechaHasta").date(), QDate(2024, 1, 31));
}

// Exportar CSV: the marked discs' file lists as records beside their pages.
void SearchTest::exportarCsvWritesTheMarkedDiscsFileLists() {
  Window w;
  QTimer::singleShot(0, w.window.get(), [] {
    auto* dialog = qobject_cast<TSeleccionaCDs*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    QTest::mouseClick(&Child<QToolButton>(*dialog, "CMetodoA"), Qt::LeftButton);
    dialog->AceptarClick();
  });
  Child<QAction>(*w.window, "VerCSV1").trigger();
  const fs::path exported = w.window->Folders().exportar;
  QCOMPARE(ReadFile(exported / "1 - Rock 80.csv"),
           std::string("path,kilobytes,date,description\r\nD:\\ROCK\\uno.mp3,1,x,\r\n"
                       "D:\\ROCK\\dos.mp3,1,x,\r\n"));
  QVERIFY(fs::exists(exported / "2 - Juegos.csv"));
  QCOMPARE(w.dialogs.messages.back(), w.Said("PaginasExportadas") + "2");
  QCOMPARE(w.dialogs.opened.back(), exported);
}

// Archivos repetidos: a file on both discs makes one group of two copies;
// the copy chosen on disc 2 is shown on the files page.
void SearchTest::aCopyChosenAmongTheDuplicatesIsShown() {
  Window w;
  const fs::path catalogues = w.window->Folders().catalogos;
  WriteFile(TreeFilePath(catalogues, "2"), "E:\\\r\nE:\\COPIA\\\r\n");
  const fs::path list = ListFilePath(catalogues, "2");
  WriteFile(list, ReadFile(list) + "E:\\COPIA\\UNO.MP3;1;x\r\n");
  int groups = -1;
  QTimer::singleShot(0, w.window.get(), [&] {
    auto* dialog = qobject_cast<RepetidosDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    QTest::mouseClick(&Child<QPushButton>(*dialog, "BBuscar"), Qt::LeftButton);
    QTreeWidget& tree = Child<QTreeWidget>(*dialog, "Grupos");
    groups = tree.topLevelItemCount();
    if (groups != 1) return dialog->reject();
    QTreeWidgetItem* group = tree.topLevelItem(0);
    QCOMPARE(group->text(0), QString("uno.mp3"));
    QCOMPARE(group->childCount(), 2);
    emit tree.itemActivated(group->child(1), 0);
  });
  Child<QAction>(*w.window, "Repetidos1").trigger();
  QCOMPARE(groups, 1);
  QCOMPARE(w.Pages().currentIndex(), int(TMenuPral::kArchivos));
  QCOMPARE(w.window->Tablas().TablaCDRom.AsString("AUTO"), std::string("2"));
  QCOMPARE(w.CurrentFile(), QString("UNO.MP3"));
}

// Estadísticas: the totals of both discs, the extensions with MP3 first, and
// a chart bar for each extension.
void SearchTest::estadisticasShowsTheTotalsAndCharts() {
  SearchPage w;
  EstadisticasDialog dialog(w.services);
  QVERIFY(dialog.Gather());
  const QTableWidget& total = Child<QTableWidget>(dialog, "HojaTotal");
  QCOMPARE(total.item(0, 1)->text(), QString("2"));     // discs
  QCOMPARE(total.item(0, 2)->text(), QString("4"));     // files
  QCOMPARE(total.item(0, 3)->text(), QString("4 KB"));  // kilobytes
  const QTableWidget& extensions = Child<QTableWidget>(dialog, "HojaExtensiones");
  QCOMPARE(extensions.item(0, 0)->text(), QString("MP3"));
  QCOMPARE(extensions.item(0, 1)->text(), QString("3"));
  QCOMPARE(Child<BarChart>(dialog, "GraficoExtensiones").Bars().size(), std::size_t(2));
}

void SearchTest::theDiscsChosenKeepTheSearchToThem() {
  Window w;
  QVERIFY(w.window->Tablas().TablaCDRom.Locate("AUTO", "1"));
  w.Search().SetFilterDiscs({});
  QPushButton& filters = Child<QPushButton>(w.Search(), "BFiltros");
  filters.click();
  // Juegos alone, marked in the disc selection dialog.
  QTimer::singleShot(0, w.window.get(), [] {
    auto* dialog = qobject_cast<TSeleccionaCDs*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    QListWidget& discs = Child<QListWidget>(*dialog, "Cds");
    discs.item(0)->setCheckState(Qt::Checked);  // 2.Juegos, first by title
    QTest::keyClick(&discs, Qt::Key_Escape);
  });
  Child<QPushButton>(w.Search(), "BDiscos").click();
  QCOMPARE(Child<QLabel>(w.Search(), "LDiscos").text(), Qs(w.Said("FiltroDiscosElegidos") + ": 1"));
  QCOMPARE(w.window->Tablas().TablaCDRom.AsString("AUTO"), std::string("1"));  // current again
  w.Search().BuscaEnArchivos("mp3");
  QCOMPARE(w.Results()->rowCount(), 1);
  QVERIFY(w.Results()->index(0, 0).data().toString().startsWith("Juegos"));
  QCOMPARE(w.window->Ini1().ReadStr("FiltrosBusqueda", "Discos", ""), std::string("2"));
  filters.click();  // closed: every disc again
  w.Search().BuscaEnArchivos("mp3");
  QCOMPARE(w.Results()->rowCount(), 2);
}

// The settings are read before the table opens: the album the filter row
// remembers is still chosen, and still remembered, when the row opens.
void SearchTest::theRememberedAlbumIsChosenOnceTheTableOpens() {
  OpenWindow w;
  SeedTwoDiscs(w.inst.data);
  testing::AddDiscRecords(w.inst.data,
                          {{{"AUTO", "3"}, {"TITULOCD", "Mapas"}, {"ALBUM", "VIAJES"}}});
  WriteFile(w.inst.data / "Opcion.INI", "[FiltrosBusqueda]\r\nAlbum=VIAJES\r\n");
  w.Open();
  w.Show();
  auto& page = Child<BusquedaPage>(*w.window, "PBusqueda");
  Child<QPushButton>(page, "BFiltros").click();
  const auto& albums = Child<QComboBox>(page, "CAlbum");
  QCOMPARE(albums.count(), 2);  // "(todos)" and the one album
  QCOMPARE(albums.currentText(), QStringLiteral("VIAJES"));
  QCOMPARE(w.window->Ini1().ReadStr("FiltrosBusqueda", "Album", ""), std::string("VIAJES"));
}

#include "search_test.moc"
