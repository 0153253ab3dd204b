// Searching through the real main window on the offscreen platform: a search
// started with Enter, the closing message, the saved text, the disc that was
// current before, a double click on a hit, and cancelling.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include "app/gui/menu_pral.h"
#include "app/gui/page_control.h"
#include "app/gui/qt_text.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/browse_models.h"
#include "gui/gui_support.h"
#include "search/gui/busqueda_page.h"
#include "search/gui/search_results_model.h"
#include "store/catalogue_files.h"
#include "store/tablas.h"

using namespace zafirel;
namespace fs = std::filesystem;

namespace {

struct Window {
  Window() {
    TTablas::CreateDiscTable(inst.data);
    TTablas::CreateCoverTable(inst.data);
    {
      TTablas seed;
      seed.SetFolder(inst.data);
      seed.TablaCDRom.Open();
      const char* discs[][3] = {{"1", "Rock 80", "S1"}, {"2", "Juegos", "S2"}};
      for (auto& d : discs) {
        seed.TablaCDRom.Append();
        seed.TablaCDRom.SetString("AUTO", d[0]);
        seed.TablaCDRom.SetString("TITULOCD", d[1]);
        seed.TablaCDRom.SetString("NSERIECD", d[2]);
        seed.TablaCDRom.Post();
      }
    }
    window = std::make_unique<TMenuPral>(inst.Where(), Locale{}, leng, dialogs);
    window->CreaModuloDatos();
    const fs::path catalogues = window->Folders().catalogos;
    WriteFile(TreeFilePath(catalogues, "1"), "D:\\\r\nD:\\ROCK\\\r\n");
    WriteFile(ListFilePath(catalogues, "1"), "D:\\ROCK\\uno.mp3;1;x\r\nD:\\ROCK\\dos.mp3;1;x\r\n");
    WriteFile(TreeFilePath(catalogues, "2"), "E:\\\r\n");
    WriteFile(ListFilePath(catalogues, "2"), "E:\\TEMA.MP3;1;x\r\nE:\\DOOM.EXE;1;x\r\n");
    window->show();
    QTest::qWaitForWindowExposed(window.get());
    dialogs.messages.clear();
  }
  SearchResultsModel* Results() { return window->PBusqueda->Resultados; }
  std::string Said(const char* key) { return inst.Text("Espanol.Len", key); }

  Installation inst;
  Language leng{inst.exe / "Espanol.Len"};
  ScriptedDialogs dialogs;
  std::unique_ptr<TMenuPral> window;
};

}  // namespace

class SearchTest : public QObject {
  Q_OBJECT
 private slots:
  void enterSearchesAndADoubleClickLeadsToTheFile();
  void cancellingKeepsWhatWasFound();
};

void SearchTest::enterSearchesAndADoubleClickLeadsToTheFile() {
  Window w;
  w.window->Pagina->setCurrentIndex(TMenuPral::kBusqueda);
  QVERIFY(w.window->Tablas().TablaCDRom.Locate("AUTO", "2"));
  QLineEdit* box = w.window->PBusqueda->EBusca;
  box->clear();
  QTest::keyClick(box, Qt::Key_Return);  // an empty text does nothing
  QVERIFY(w.dialogs.messages.empty());
  QTest::keyClicks(box, "mp3");
  QTest::keyClick(box, Qt::Key_Return);
  QCOMPARE(w.dialogs.messages.size(), size_t(1));
  QCOMPARE(w.dialogs.messages[0], "MP3 " + w.Said("Encontrado") + " 3 " + w.Said("Veces"));
  QCOMPARE(w.window->Ini1().ReadStr("General", "Busqueda", ""), std::string("MP3"));
  QCOMPARE(w.window->Tablas().TablaCDRom.AsString("AUTO"), std::string("2"));  // current again
  QVERIFY(!w.window->PBusqueda->Barra->isVisible());
  QVERIFY(!w.window->PBusqueda->BCancelar->isVisible());
  QVERIFY(w.window->PBusqueda->BBuscar->isEnabled());

  SearchResultsModel* results = w.Results();
  QCOMPARE(results->rowCount(), 2);
  QModelIndex rock;
  for (int row = 0; row < 2; ++row)
    if (results->index(row, 0).data().toString().startsWith("Rock 80"))
      rock = results->index(row, 0);
  QVERIFY(rock.isValid());
  QCOMPARE(results->rowCount(rock), 2);
  const QModelIndex dos = results->index(1, 0, rock);
  QCOMPARE(dos.data().toString(), QString("D:\\ROCK\\dos.mp3"));

  QTreeView* tree = w.window->PBusqueda->Busca;
  tree->expand(rock);
  const QRect cell = tree->visualRect(dos);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, cell.center());
  QCOMPARE(w.window->Pagina->currentIndex(), int(TMenuPral::kArchivos));
  QCOMPARE(w.window->Tablas().TablaCDRom.AsString("AUTO"), std::string("1"));
  QCOMPARE(w.window->PArchivos->Archivos->currentIndex().data().toString(), QString("dos.mp3"));

  // A title hit gets its own heading; "+" needs both terms.
  w.window->BuscaEnArchivos("rock+dos");
  QCOMPARE(results->rowCount(), 2);
  QVERIFY(results->index(0, 0).data().toString().endsWith(Qs(" " + w.Said("VerCatalogos"))) ||
          results->index(1, 0).data().toString().endsWith(Qs(" " + w.Said("VerCatalogos"))));
}

void SearchTest::cancellingKeepsWhatWasFound() {
  Window w;
  w.window->Pagina->setCurrentIndex(TMenuPral::kBusqueda);
  w.dialogs.onProcessEvents = [&] {
    if (w.window->PBusqueda->BCancelar->isVisible() &&
        w.window->PBusqueda->LEncontrados->text().endsWith(": 1"))
      QTest::mouseClick(w.window->PBusqueda->BCancelar, Qt::LeftButton);
  };
  w.window->PBusqueda->EBusca->setText("mp3");
  QTest::mouseClick(w.window->PBusqueda->BBuscar, Qt::LeftButton);
  QCOMPARE(w.dialogs.messages.size(), size_t(1));
  QCOMPARE(w.dialogs.messages[0], "MP3 " + w.Said("Encontrado") + " 1 " + w.Said("Veces"));
  QCOMPARE(w.Results()->rowCount(), 1);
  QCOMPARE(w.window->Ini1().ReadStr("General", "Busqueda", ""), std::string("MP3"));
  QVERIFY(!w.window->BusquedaCancelada);
}

QTEST_MAIN(SearchTest)
#include "search_test.moc"
