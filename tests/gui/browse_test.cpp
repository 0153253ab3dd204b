// Browsing and editing on the offscreen platform: the disc list and its album
// filter, a disc's folders and files, file-entry edits, the jump to a search
// hit, the disc editor with its cover picture, and deleting discs. A page's
// own logic runs on the page alone; what crosses pages runs in the window.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <cerrno>
#include <fstream>
#include <functional>

#include "app/gui/menu_pral.h"
#include "app/gui/page_control.h"
#include "app/gui/qt_dialogs.h"
#include "browse/gui/adv_image.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/browse_models.h"
#include "browse/gui/catalogos_page.h"
#include "browse/gui/datos_cd.h"
#include "browse/gui/propiedades.h"
#include "browse/picture.h"
#include "catalogue_lines.h"
#include "gui/gui_support.h"
#include "search/gui/busqueda_page.h"
#include "search/gui/results_roles.h"
#include "search/gui/search_results_model.h"
#include "settings/ini_editor.h"
#include "store/catalogue_files.h"
#include "store/covers.h"
#include "store/index_set.h"
#include "util/codepage.h"
#include "util/file_change.h"
#include "util/gui/qt_text.h"

using namespace zafirel;
namespace fs = std::filesystem;

namespace {

struct Disc {
  const char *title, *size, *serial, *files, *number, *album, *autoNumber;
};

// Five discs whose titles, sizes, numbers and albums exercise every order.
const Disc kDiscs[] = {{"Mapas", "650 MB", "AAAA-0001", "12345", "10", "Juegos", "1"},
                       {"atlas", "74 MB", "AAAA-0002", "0", "9", "JUEGOS", "2"},
                       {"Zoo", "12345 MB", "AAAA-0003", "3", "A1", "Rock", "3"},
                       {"Bach", "2000 MB", "AAAA-0004", "1234", "2", "", "4"},
                       {"cine", "5 MB", "AAAA-0005", "7", "100", "Rock", "5"}};

void SeedDiscs(const fs::path& data, std::initializer_list<Disc> discs) {
  testing::CreateTables(data);
  TTablas tablas;
  tablas.SetFolder(data);
  dbf::Table& t = tablas.TablaCDRom;
  t.Open();
  for (const Disc& d : discs)
    testing::AppendRecord(t, {{"TITULOCD", d.title},
                              {"BYTESCD", d.size},
                              {"NSERIECD", d.serial},
                              {"TOTFILES", d.files},
                              {"NUMEROCD", d.number},
                              {"ALBUM", d.album},
                              {"AUTO", d.autoNumber}});
  t.Close();
}

const char* const kTree2 = "D:\\\r\nD:\\DOCS\\\r\nD:\\DOCS\\OLD\\\r\nD:\\DATOS\\\r\n";
const char* const kList2 =
    "D:\\LEEME.TXT;1;01/01/2000\r\n"
    "D:\\DOCS\\A.TXT;1536;02/02/2002;Primero\r\n"
    "D:\\DOCS\\B.TXT;0;02/02/2002\r\n"
    "D:\\DOCS\\C.ZIP;7;02/02/2002;\r\n"
    "D:\\DOCS\\OLD\\LEEME;3;03/03/2003\r\n"
    "D:\\DOCS\\OLD\\LEEME.TXT;4;03/03/2003;Viejo\r\n"
    "D:\\DATOS\\DATOS;5;04/04/2004\r\n";

// Runs the step on the next modal dialog once it shows, and closes the
// dialog afterwards if the step left it open (a failed check, say).
// Returns the flag that says whether the step ran.
template <typename Dialog>
std::shared_ptr<bool> RunOnModal(QObject& context, std::function<void(Dialog&)> step) {
  auto ran = std::make_shared<bool>(false);
  QTimer::singleShot(0, &context, [step, ran] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    Activate(*dialog);
    *ran = true;
    step(*dialog);
    if (dialog->isVisible()) dialog->done(QDialog::Rejected);
  });
  return ran;
}

void WriteCatalogues(const fs::path& catalogues) {
  WriteFile(TreeFilePath(catalogues, "2"), kTree2);
  WriteFile(ListFilePath(catalogues, "2"), kList2);
  WriteFile(TreeFilePath(catalogues, "3"), "E:\\\r\nE:\\MUSICA\\\r\n");
  WriteFile(ListFilePath(catalogues, "3"), "E:\\MUSICA\\UNO.MP3;4000;05/05/2005\r\n");
}

// The disc editor's controls, found by their names.
struct EditorControls {
  explicit EditorControls(TDatosCD& dialog) : editor(dialog) {}
  TDatosCD& editor;
  QLineEdit* EditTituloCD = &Child<QLineEdit>(editor, "EditTituloCD");
  QComboBox* wwDBComboBox2 = &Child<QComboBox>(editor, "wwDBComboBox2");  // operating system
  QLineEdit* EditNumeroCD = &Child<QLineEdit>(editor, "EditNumeroCD");
  QComboBox* wwDBComboBox1 = &Child<QComboBox>(editor, "wwDBComboBox1");  // origin
  QComboBox* CFiltro = &Child<QComboBox>(editor, "CFiltro");              // album
  QPlainTextEdit* wwDBRichEdit1 = &Child<QPlainTextEdit>(editor, "wwDBRichEdit1");
  QLabel* DBText4 = &Child<QLabel>(editor, "DBText4");  // serial number
  QLabel* Label11 = &Child<QLabel>(editor, "Label11");  // the picture's work line
  TAdvImage* Image1 = &Child<TAdvImage>(editor, "Image1");
  QPushButton* BBorrar = &Child<QPushButton>(editor, "BBorrar");
  QToolButton* Mi1 = &Child<QToolButton>(editor, "Mi1");
};

// What the tests read of the files page, in the window or alone.
class FilesDriver {
 public:
  virtual ~FilesDriver() = default;
  virtual ArchivosPage& Files() = 0;
  FileListModel* Ficheros() { return &Child<FileListModel>(Files(), "Ficheros"); }
  QTreeView* Arbol() { return &Child<QTreeView>(Files(), "Arbol"); }
  FolderTreeModel* Carpetas() { return &Child<FolderTreeModel>(Files(), "Carpetas"); }
  QTableView* Archivos() { return &Child<QTableView>(Files(), "Archivos"); }
  QStringList FileNames() {
    QStringList names;
    for (int row = 0; row < Ficheros()->rowCount(); ++row)
      names << Ficheros()->index(row, 0).data().toString();
    return names;
  }
  QString SelectedFolderName() { return Arbol()->currentIndex().data().toString(); }
  // A click on the child folder of the selected one.
  void ClickSubfolder(int row) {
    QTreeView* tree = Arbol();
    const QModelIndex folder = Carpetas()->index(row, 0, tree->currentIndex());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(folder).center());
  }
};

// What the disc list tests do with the list, whether it sits in the main
// window or stands alone.
class DiscListDriver {
 public:
  virtual ~DiscListDriver() = default;
  virtual CatalogosPage& List() = 0;
  virtual TTablas& Tables() = 0;
  QTableView* Cds() { return &Child<QTableView>(List(), "CDs"); }
  DiscListModel* Discos() { return &Child<DiscListModel>(List(), "Discos"); }
  QComboBox& Filter() { return Child<QComboBox>(List(), "CFiltro"); }
  QString TotalLine() { return Child<QLabel>(List(), "Label5").text(); }
  // A command of the list's menu (EditarCD1, BorrarCD1) on the selected disc.
  void Trigger(const char* command) { Child<QAction>(List(), command).trigger(); }
  QStringList Titles() {
    QStringList titles;
    for (int row = 0; row < Discos()->rowCount(); ++row)
      titles << Discos()->index(row, 0).data().toString();
    return titles;
  }
  int RowOf(const QString& title) { return static_cast<int>(Titles().indexOf(title)); }
  // The title of the highlighted row; empty when none is.
  QString SelectedTitle() {
    const QModelIndexList rows = Cds()->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.front().data().toString() : QString();
  }
  QString CurrentTitle() { return Qs(Tables().TablaCDRom.AsString("TITULOCD")); }
  void ClickRow(const QString& title) {
    const QRect cell = Cds()->visualRect(Discos()->index(RowOf(title), 0));
    QTest::mouseClick(Cds()->viewport(), Qt::LeftButton, {}, cell.center());
  }
  void DoubleClickRow(const QString& title) {
    const QRect cell = Cds()->visualRect(Discos()->index(RowOf(title), 0));
    QTest::mouseClick(Cds()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(Cds()->viewport(), Qt::LeftButton, {}, cell.center());
  }
  void ClickHeader(int column) {
    QHeaderView* header = Cds()->horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  }
  QString CurrentSerial() { return Qs(Tables().TablaCDRom.AsString("NSERIECD")); }
  template <typename Dialog>
  std::shared_ptr<bool> OnModal(std::function<void(Dialog&)> step) {
    return RunOnModal<Dialog>(List(), std::move(step));
  }
};

// The main window over the discs, with two discs' catalogue files.
class Window : public DiscListDriver, public FilesDriver, public OpenWindow {
 public:
  explicit Window(std::initializer_list<Disc> discs) {
    SeedDiscs(inst.data, discs);
    Open();
    WriteCatalogues(Catalogues());
    Show();
  }
  CatalogosPage& List() override { return Child<CatalogosPage>(*window, "PCatalogos"); }
  ArchivosPage& Files() override { return Child<ArchivosPage>(*window, "PArchivos"); }
  PageControl& Pages() { return Child<PageControl>(*window, "Pagina"); }
  QLabel& StatusLine() { return Child<QLabel>(*window, "Label1"); }
  QLabel& BottomBar() { return Child<QLabel>(*window, "Label2"); }
  BusquedaPage& Search() { return Child<BusquedaPage>(*window, "PBusqueda"); }
  TTablas& Tables() override { return window->Tablas(); }
  TMenuPral& operator*() { return *window; }
  TMenuPral* operator->() { return window.get(); }
  fs::path Catalogues() const { return window->Folders().catalogos; }
};

// The disc list page alone over stand-in services, started as the window
// starts it: the albums offered, the list filled, the first title selected.
class ListPage : public DiscListDriver, public StandInServices {
 public:
  explicit ListPage(std::initializer_list<Disc> discs) {
    SeedDiscs(inst.data, discs);
    OpenTables();
    page = std::make_unique<CatalogosPage>(services);
    page->RellenaFiltro();
    page->Refill();
    tablas.TablaCDRom.First();
    page->SelectCurrentDiscRow();
    ShowActive(*page);
  }
  CatalogosPage& List() override { return *page; }
  TTablas& Tables() override { return tablas; }
  CatalogosPage* operator->() { return page.get(); }

  std::unique_ptr<CatalogosPage> page;
};

// The files page alone over stand-in services, showing "atlas" (disc 2) as
// the window shows a disc opened from the list.
class FilesPage : public FilesDriver, public StandInServices {
 public:
  explicit FilesPage(std::initializer_list<Disc> discs) {
    SeedDiscs(inst.data, discs);
    OpenTables();
    WriteCatalogues(folders.catalogos);
    page = std::make_unique<ArchivosPage>(services);
    tablas.TablaCDRom.Locate("AUTO", "2");
    page->ShowCurrentDisc();
    ShowActive(*page);
  }
  ArchivosPage& Files() override { return *page; }
  ArchivosPage* operator->() { return page.get(); }
  template <typename Dialog>
  std::shared_ptr<bool> OnModal(std::function<void(Dialog&)> step) {
    return RunOnModal<Dialog>(*page, std::move(step));
  }

  std::unique_ptr<ArchivosPage> page;
};

}  // namespace

class BrowseTest : public QObject {
  Q_OBJECT
 private slots:
  void theDiscListSortsByHeaderAndKeepsTheKey();
  void theAlbumFilterListsOneAlbum();
  void aRowWhoseDiscIsGoneSaysSo();
  void openingADiscShowsItsFoldersAndFilesOnce();
  void fileEntriesAreDeletedCommentedAndRenamed();
  void everyFolderShowsItsLinesAndATooLargeListIsSaid();
  void aSearchHitLeadsToItsFolderAndFile();
  void aHitSelectsItsFolderAndFileRow();
  void aHitHighlightsItsOwnDiscNotALikeTitle();
  void editingADiscWritesItsRecord();
  void editingUnderAFilterRefillsTheFilteredList();
  void aBitmapIsStoredAsJpegAndShownToFit();
  void escapeInTheEditorAnswersOnlyWhatItWasPressedFor();
  void deletingDiscsTakesTheirCataloguesAlong();
};

void BrowseTest::theDiscListSortsByHeaderAndKeepsTheKey() {
  ListPage w({kDiscs[0], kDiscs[1], kDiscs[2], kDiscs[3], kDiscs[4]});
  QCOMPARE(w.Titles(), QStringList({"atlas", "Bach", "cine", "Mapas", "Zoo"}));
  QCOMPARE(w.Discos()->MarkedColumn(), 0);
  QVERIFY(w.TotalLine().endsWith(" 5"));
  // The first title is selected at start and is the current disc.
  QCOMPARE(w.CurrentSerial(), QString("AAAA-0002"));
  QCOMPARE(w.Discos()->index(0, 4).data().toString(), QString());  // 0 files
  QCOMPARE(w.Discos()->index(3, 4).data().toString(), QString("12.345"));

  w.ClickHeader(1);
  QCOMPARE(w.Titles(), QStringList({"atlas", "cine", "Mapas", "Zoo", "Bach"}));
  QCOMPARE(w.Discos()->MarkedColumn(), 1);
  QCOMPARE(w.ini.ReadStr("General", "Indice", ""), std::string("STR(VAL(LEFT(BytesCD, 4)))"));
  w.ClickHeader(1);  // the same order again
  QCOMPARE(w.Titles(), QStringList({"atlas", "cine", "Mapas", "Zoo", "Bach"}));
  w.ClickHeader(5);
  QCOMPARE(w.Titles(), QStringList({"Zoo", "Bach", "atlas", "Mapas", "cine"}));
  // Every order from the keyboard too: "Ordenar por" in the context menu.
  auto& bySize = Child<QAction>(*w.page, "Ordenar1");
  bySize.trigger();
  QCOMPARE(w.Titles(), QStringList({"atlas", "cine", "Mapas", "Zoo", "Bach"}));
  QCOMPARE(Child<QMenu>(*w.page, "OrdenarPor1").actions().size(), 7);
  QCOMPARE(bySize.text(), QString::fromUtf8("Tamaño"));
  w.ClickHeader(5);

  w.ClickRow("Mapas");
  QCOMPARE(w.CurrentSerial(), QString("AAAA-0001"));

  // Another start lists in the saved order; an unknown key is record order.
  w.ini.WriteStr("General", "Indice", "otra cosa");
  w->RellenaCDs(w->SavedSortKey());
  QCOMPARE(w.Titles(), QStringList({"Mapas", "atlas", "Zoo", "Bach", "cine"}));
  QCOMPARE(w.Discos()->MarkedColumn(), -1);
}

void BrowseTest::theAlbumFilterListsOneAlbum() {
  ListPage w({kDiscs[0], kDiscs[1], kDiscs[2], kDiscs[3], kDiscs[4]});
  QComboBox* filter = &w.Filter();
  QCOMPARE(filter->count(), 2);
  QCOMPARE(filter->itemText(0), QString("JUEGOS"));
  QCOMPARE(filter->itemText(1), QString("ROCK"));

  filter->setCurrentIndex(0);
  QCOMPARE(w.Titles(), QStringList({"Mapas", "atlas"}));  // Juegos and JUEGOS
  QCOMPARE(w.Discos()->MarkedColumn(), -1);
  QCOMPARE(w.Tables().IndicesCDRom.Current(), std::string("Titulo"));

  w.ClickHeader(0);  // a sort lists every disc; the box keeps its album
  QCOMPARE(w.Titles().size(), 5);
  QCOMPARE(filter->currentText(), QString("JUEGOS"));

  filter->setCurrentIndex(1);
  QCOMPARE(w.Titles(), QStringList({"Zoo", "cine"}));
  QTest::mouseClick(&Child<QPushButton>(w.List(), "BLimpiarFiltro"), Qt::LeftButton);
  QCOMPARE(filter->currentText(), QString());
  QCOMPARE(w.Titles(), QStringList({"atlas", "Bach", "cine", "Mapas", "Zoo"}));
  QCOMPARE(w.Discos()->MarkedColumn(), 0);
}

void BrowseTest::aRowWhoseDiscIsGoneSaysSo() {
  ListPage w({kDiscs[0], kDiscs[1]});
  {
    // Another program removes the disc behind the list's back.
    TTablas other;
    other.SetFolder(w.inst.data);
    other.TablaCDRom.Open();
    QVERIFY(other.TablaCDRom.Locate("AUTO", "1"));
    other.TablaCDRom.Delete();
  }
  QSignalSpy chosen(&w.List(), &CatalogosPage::TitleChosen);
  w.ClickRow("Mapas");
  QCOMPARE(w.dialogs.messages.size(), size_t(1));
  QCOMPARE(w.dialogs.messages[0], w.inst.Text("Espanol.Len", "CatalogoNoEncontrado") + " : Mapas");
  QCOMPARE(chosen.takeLast().at(0).value<std::string>(), std::string("Mapas"));
  QCOMPARE(w.CurrentSerial(), QString("AAAA-0002"));  // the current disc stays
}

void BrowseTest::openingADiscShowsItsFoldersAndFilesOnce() {
  Window w({kDiscs[0], kDiscs[1], kDiscs[2]});
  // The first title is current at start, and the status lines say so.
  QVERIFY(w.StatusLine().text().endsWith("atlas"));
  QVERIFY(w.BottomBar().text().startsWith("Zafirel! v1.1 - "));
  // Titles are text, never markup.
  QCOMPARE(w.StatusLine().textFormat(), Qt::PlainText);
  QCOMPARE(w.BottomBar().textFormat(), Qt::PlainText);
  w.DoubleClickRow("atlas");
  QCOMPARE(w.Pages().currentIndex(), int(TMenuPral::kArchivos));
  QCOMPARE(w.Files().Catalogo().RutaIndActual, TreeFilePath(w.Catalogues(), "2").string());
  QCOMPARE(w.SelectedFolderName(), QString("D:\\"));
  QVERIFY(w.Arbol()->isExpanded(w.Arbol()->currentIndex()));
  QCOMPARE(w.FileNames(), QStringList({"LEEME.TXT"}));

  // A click on a folder lists its own files with their cells.
  w.ClickSubfolder(0);
  QCOMPARE(w.SelectedFolderName(), QString("DOCS"));
  QCOMPARE(w.FileNames(), QStringList({"A.TXT", "B.TXT", "C.ZIP"}));
  QCOMPARE(w.Ficheros()->index(0, 1).data().toString(), QString("1.536 KB"));
  QCOMPARE(w.Ficheros()->index(1, 1).data().toString(), QString(" KB"));
  QCOMPARE(w.Ficheros()->index(0, 3).data().toString(), QString("Primero"));
  QCOMPARE(w.Ficheros()->index(2, 3).data().toString(), QString());

  // Back to the list and again to the same disc (Enter opens it as a double
  // click does): nothing is reloaded.
  w.Pages().setCurrentIndex(TMenuPral::kCatalogos);
  w.ClickRow("atlas");
  QTest::keyClick(w.Cds(), Qt::Key_Return);
  QCOMPARE(w.Pages().currentIndex(), int(TMenuPral::kArchivos));
  QCOMPARE(w.SelectedFolderName(), QString("DOCS"));
  QCOMPARE(w.FileNames().size(), 3);

  // Another disc reloads and selects its root; a disc without a tree file
  // leaves the last one shown.
  w.Pages().setCurrentIndex(TMenuPral::kCatalogos);
  w.DoubleClickRow("Zoo");
  QCOMPARE(w.SelectedFolderName(), QString("E:\\"));
  QVERIFY(w.FileNames().isEmpty());  // its root has only a folder
  w.Pages().setCurrentIndex(TMenuPral::kCatalogos);
  w.DoubleClickRow("Mapas");
  QCOMPARE(w.Pages().currentIndex(), int(TMenuPral::kArchivos));
  QCOMPARE(w.SelectedFolderName(), QString("E:\\"));
  QVERIFY(w.StatusLine().text().endsWith("Mapas"));
}

void BrowseTest::fileEntriesAreDeletedCommentedAndRenamed() {
  FilesPage w({kDiscs[1]});
  const fs::path list = ListFilePath(w.folders.catalogos, "2");
  QTableView* files = w.Archivos();
  w.ClickSubfolder(0);  // DOCS

  // A comment typed on two lines with ";" and "\" goes on one line, cleaned.
  files->selectRow(2);
  auto ran = w.OnModal<TPropiedades>([](TPropiedades& dialog) {
    QVERIFY(dialog.windowTitle().endsWith(" : D:\\DOCS\\C.ZIP"));
    QVERIFY(dialog.width() > dialog.fontMetrics().horizontalAdvance(dialog.windowTitle()));
    QCOMPARE(Child<QLabel>(dialog, "Label2").text(), QString("Tamaño: 7 KB"));
    QPlainTextEdit& comment = Child<QPlainTextEdit>(dialog, "Memo1");
    comment.setPlainText("Juego;de\ncartas\\");
    QTest::keyClick(&comment, Qt::Key_Escape);  // Escape keeps what was typed
  });
  const QPoint zip = files->visualRect(w.Ficheros()->index(2, 0)).center();
  QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, zip);
  QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, zip);
  QVERIFY(*ran);
  QVERIFY(ReadFile(list).find("D:\\DOCS\\C.ZIP;7;02/02/2002;Juegode cartas\r\n") !=
          std::string::npos);
  QCOMPARE(w.Ficheros()->index(2, 3).data().toString(), QString("Juegode cartas"));
  QCOMPARE(files->selectionModel()->selectedRows().size(), 1);
  QCOMPARE(files->selectionModel()->selectedRows().front().row(), 2);

  // Renaming in place keeps size, date and comment; an unusable name is refused.
  QVERIFY(w.Ficheros()->setData(w.Ficheros()->index(0, 0), "A.DOC", Qt::EditRole));
  QVERIFY(ReadFile(list).find("D:\\DOCS\\A.DOC;1536;02/02/2002;Primero\r\n") != std::string::npos);
  QVERIFY(!w.Ficheros()->setData(w.Ficheros()->index(0, 0), ";\\", Qt::EditRole));
  QCOMPARE(w.Ficheros()->index(0, 0).data().toString(), QString("A.DOC"));
  QVERIFY(w.Ficheros()->setData(w.Ficheros()->index(1, 0), "B;2.TXT", Qt::EditRole));
  QCOMPARE(w.Ficheros()->index(1, 0).data().toString(), QString("B2.TXT"));

  // An edit the disc refuses is reported, and the view keeps what the file holds.
  const std::string stored = ReadFile(list);
  const std::string notWritten = w.inst.Text("Espanol.Len", "ErrorGrabarCatalogo");
  SetFileChangeHook([] { return false; });
  QVERIFY(!w.Ficheros()->setData(w.Ficheros()->index(0, 0), "Z.DOC", Qt::EditRole));
  QCOMPARE(w.Ficheros()->index(0, 0).data().toString(), QString("A.DOC"));
  QVERIFY(w.dialogs.messages.back().rfind(notWritten, 0) == 0);
  w.dialogs.messages.clear();
  files->selectRow(0);
  Child<QAction>(*w.page, "Borrararchivo1").trigger();
  SetFileChangeHook(nullptr);
  QVERIFY(w.dialogs.messages.back().rfind(notWritten, 0) == 0);
  QCOMPARE(w.FileNames().size(), 3);
  QCOMPARE(ReadFile(list), stored);
  w.dialogs.questions.clear();

  // The Delete key asks as the menu entry does; cancelled, nothing goes.
  w.dialogs.answers = {false};
  QVERIFY(Activate(*w.page));  // the properties dialog had it
  files->setFocus();
  files->selectRow(0);
  QTest::keyClick(files, Qt::Key_Delete);
  QVERIFY(!w.dialogs.questions.empty());
  QCOMPARE(w.dialogs.questions.back(), w.inst.Text("Espanol.Len", "Atencion") + "|" +
                                           w.inst.Text("Espanol.Len", "BorrarUnArchivo"));
  QCOMPARE(w.dialogs.defaults.back(), zafirel::Dialogs::Default::kCancel);  // deletions keep Cancel
  QCOMPARE(w.FileNames().size(), 3);

  // Three rows, one question for several files, one write.
  w.dialogs.questions.clear();
  w.dialogs.answers = {false};
  files->selectAll();
  Child<QAction>(*w.page, "Borrararchivo1").trigger();
  QCOMPARE(w.FileNames().size(), 3);  // cancelled
  files->selectAll();
  Child<QAction>(*w.page, "Borrararchivo1").trigger();
  QCOMPARE(w.dialogs.questions.size(), size_t(2));
  QCOMPARE(w.dialogs.questions[1], w.inst.Text("Espanol.Len", "Atencion") + "|" +
                                       w.inst.Text("Espanol.Len", "BorrarMuchosArchivos"));
  QVERIFY(w.FileNames().isEmpty());
  QCOMPARE(ReadFile(list), std::string("D:\\LEEME.TXT;1;01/01/2000\r\n"
                                       "D:\\DOCS\\OLD\\LEEME;3;03/03/2003\r\n"
                                       "D:\\DOCS\\OLD\\LEEME.TXT;4;03/03/2003;Viejo\r\n"
                                       "D:\\DATOS\\DATOS;5;04/04/2004\r\n"));
  QCOMPARE(w.Carpetas()->rowCount(w.Arbol()->currentIndex()), 1);  // the folder stays
  // The disc keeps the file count of its catalogue run.
  QCOMPARE(w.tablas.TablaCDRom.AsString("TOTFILES"), std::string("0"));
}

void BrowseTest::everyFolderShowsItsLinesAndATooLargeListIsSaid() {
  FilesPage w({kDiscs[1]});
  WriteFile(TreeFilePath(w.folders.catalogos, "4"), zafirel::testing::kEveryKindTree);
  WriteFile(ListFilePath(w.folders.catalogos, "4"), zafirel::testing::EveryKindList(5));
  QVERIFY(w->CargarCatalogo(w.folders.catalogos / "4"));
  const LoadedCatalogue& loaded = w->Catalogo();
  for (int node = 0; node < static_cast<int>(loaded.Arbol.Nodes().size()); ++node) {
    w.Arbol()->selectionModel()->setCurrentIndex(w.Carpetas()->IndexOf(node),
                                                 QItemSelectionModel::ClearAndSelect);
    w->ArbolClick();
    QStringList shown, held;
    for (int row = 0; row < w.Ficheros()->rowCount(); ++row)
      for (int column = 0; column < 4; ++column)
        shown << w.Ficheros()->index(row, column).data().toString();
    for (const FileRow& row : loaded.Rows(node, w.locale))
      held << Qs(row.name) << Qs(row.size) << Qs(row.date) << Qs(row.comment);
    QCOMPARE(shown, held);
  }

  // Over 4 GB (a sparse file): the folders show, no files, and the user is told.
  fs::resize_file(ListFilePath(w.folders.catalogos, "4"), LineList::kMostBytes + 1);
  w->ClearLoadedCatalogue();
  w.dialogs.messages.clear();
  QVERIFY(w->CargarCatalogo(w.folders.catalogos / "4"));
  QCOMPARE(w.Carpetas()->rowCount(w.Carpetas()->IndexOf(0)), 4);
  QCOMPARE(w.dialogs.messages.size(), size_t(1));
  QVERIFY(w.dialogs.messages.front().find(PathText(ListFilePath(w.folders.catalogos, "4"))) !=
          std::string::npos);
  QCOMPARE(w.Ficheros()->rowCount(), 0);
}

void BrowseTest::aSearchHitLeadsToItsFolderAndFile() {
  Window w({kDiscs[0], kDiscs[1], kDiscs[2]});
  QTreeView* results = &Child<QTreeView>(w.Search(), "Busca");
  SearchResultsModel* model = &Child<SearchResultsModel>(w.Search(), "Resultados");
  model->BeginUpdate();
  model->AddDiscHeading("atlas", "2");
  model->AddHit("D:\\DOCS\\OLD\\LEEME");
  model->AddDiscHeading("perdido", "99");
  model->AddHit("D:\\X");
  model->EndUpdate();
  const QModelIndex disc = model->index(0, 0);
  const QModelIndex deep = model->index(0, 0, disc);
  const QModelIndex orphan = model->index(0, 0, model->index(1, 0));

  auto jump = [&](const QModelIndex& node) {
    results->setCurrentIndex(node);
    w.Search().BuscaDblClick();
  };
  jump(deep);
  QCOMPARE(w.Pages().currentIndex(), int(TMenuPral::kArchivos));
  QCOMPARE(w.CurrentSerial(), QString("AAAA-0002"));
  QCOMPARE(w.Titles()[w.Cds()->currentIndex().row()], QString("atlas"));
  QCOMPARE(w.SelectedFolderName(), QString("OLD"));
  QCOMPARE(w.FileNames(), QStringList({"LEEME", "LEEME.TXT"}));
  QCOMPARE(w.Archivos()->currentIndex().row(), 0);
  QVERIFY(w.Archivos()->hasFocus() || !QApplication::focusWidget());

  // A disc node is no hit; a hit of a disc that is gone says so.
  jump(disc);
  QVERIFY(w.dialogs.messages.empty());
  w.Pages().setCurrentIndex(TMenuPral::kBusqueda);
  jump(orphan);
  QCOMPARE(w.dialogs.messages.size(), size_t(1));
  QCOMPARE(w.dialogs.messages[0], w.inst.Text("Espanol.Len", "CatalogoNoEncontrado") + " : 99");
  QCOMPARE(w.Pages().currentIndex(), int(TMenuPral::kBusqueda));
}

void BrowseTest::aHitHighlightsItsOwnDiscNotALikeTitle() {
  // "Juegos 2" comes first by number and begins with the other disc's title.
  Window w({{"Juegos 2", "5 MB", "BBBB-0001", "1", "1", "", "3"},
            {"Juegos", "5 MB", "BBBB-0002", "1", "2", "", "2"}});
  w.ClickHeader(5);
  QCOMPARE(w.Titles(), QStringList({"Juegos 2", "Juegos"}));
  SearchResultsModel* model = &Child<SearchResultsModel>(w.Search(), "Resultados");
  model->BeginUpdate();
  model->AddDiscHeading("Juegos", "2");
  model->AddHit("D:\\LEEME.TXT");
  model->EndUpdate();
  Child<QTreeView>(w.Search(), "Busca").setCurrentIndex(model->index(0, 0, model->index(0, 0)));
  w.Search().BuscaDblClick();
  QCOMPARE(w.FileNames(), QStringList({"LEEME.TXT"}));
  QVERIFY(w.StatusLine().text().endsWith(" Juegos"));
  QCOMPARE(w.SelectedTitle(), QString("Juegos"));
  QCOMPARE(w.CurrentTitle(), w.SelectedTitle());
  // The list's commands act on that disc.
  w.dialogs.answers.push_back(false);
  w.Trigger("BorrarCD1");
  QVERIFY(w.dialogs.questions.back().ends_with("\" Juegos \""));
}

void BrowseTest::aHitSelectsItsFolderAndFileRow() {
  FilesPage w({kDiscs[1]});
  const QTableView* files = w.Archivos();
  w->ShowHit("2", "D:\\LEEME.TXT");
  QCOMPARE(w.SelectedFolderName(), QString("D:\\"));
  QCOMPARE(files->currentIndex().data().toString(), QString("LEEME.TXT"));
  w->ShowHit("2", "D:\\DATOS\\DATOS");
  QCOMPARE(w.SelectedFolderName(), QString("DATOS"));
  QCOMPARE(files->currentIndex().data().toString(), QString("DATOS"));
  // A folder missing from the tree: the levels found are selected, no row.
  w->ShowHit("2", "D:\\DOCS\\NADA\\X.TXT");
  QCOMPARE(w.SelectedFolderName(), QString("DOCS"));
  QVERIFY(files->selectionModel()->selectedRows().isEmpty());
}

void BrowseTest::editingADiscWritesItsRecord() {
  Window w({kDiscs[0], kDiscs[1], kDiscs[3]});
  w.ClickRow("Bach");
  const std::string missingTitle = w.inst.Text("Espanol.Len", "FacilitarNombre");
  auto ran = w.OnModal<TDatosCD>([&](TDatosCD& editor) {
    const EditorControls form(editor);
    QCOMPARE(form.EditTituloCD->text(), QString("Bach"));
    QCOMPARE(form.DBText4->text(), QString("AAAA-0004"));
    QVERIFY(!form.Image1->isEnabled());  // no picture yet
    QVERIFY(!form.BBorrar->isEnabled());
    QCOMPARE(form.Image1->EmptyLabel, QString("Sin imagen"));
    QCOMPARE(form.CFiltro->count(), 1);  // the album list: JUEGOS
    form.EditTituloCD->clear();
    QTest::keyClick(form.EditTituloCD, Qt::Key_Escape);  // refused: no title
    QVERIFY(editor.isVisible());
    QCOMPARE(w.dialogs.messages.back(), missingTitle);
    QTest::keyClicks(form.EditTituloCD, "Bach completo");
    QTest::keyClick(form.EditTituloCD, Qt::Key_Return);  // Enter moves on
    QCOMPARE(editor.focusWidget(), static_cast<QWidget*>(form.wwDBComboBox2));
    QTest::keyClick(form.wwDBComboBox2, Qt::Key_Return);  // from a drop-down box too
    QCOMPARE(editor.focusWidget(), static_cast<QWidget*>(form.EditNumeroCD));
    form.CFiltro->lineEdit()->setFocus();
    QTest::keyClicks(form.CFiltro->lineEdit(), "cl");
    form.CFiltro->lineEdit()->insert(QString::fromUtf8("\xC3\xA1sica"));
    QCOMPARE(form.CFiltro->currentText(), QString("CLÁSICA"));
    form.wwDBRichEdit1->setPlainText("Dos\nlíneas");
    QTest::keyClick(form.CFiltro, Qt::Key_Escape);  // Escape in a box confirms
  });
  w.Trigger("EditarCD1");
  QVERIFY(*ran);
  dbf::Table& discs = w->Tablas().TablaCDRom;
  QCOMPARE(w.CurrentSerial(), QString("AAAA-0004"));
  QCOMPARE(discs.AsString("TITULOCD"), std::string("Bach completo"));
  QCOMPARE(discs.AsString("ALBUM"), std::string("CL\xC1SICA"));
  QCOMPARE(discs.AsString("NOTAS"), std::string("Dos\r\nl\xEDneas"));
  QCOMPARE(w.Titles(), QStringList({"atlas", "Bach completo", "Mapas"}));
  QCOMPARE(w.Cds()->currentIndex().row(), 1);
  QCOMPARE(w.Filter().findText("CLÁSICA"), 0);  // the new album is offered

  // Notes kept as rich text by older versions show as their text, and stay
  // as stored while nobody changes them.
  const std::string rich = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Hola\\par mundo\\par}";
  discs.Edit();
  discs.SetString("NOTAS", rich);
  discs.Post();
  auto shown1 = w.OnModal<TDatosCD>([](TDatosCD& editor) {
    const EditorControls form(editor);
    QCOMPARE(form.wwDBRichEdit1->toPlainText(), QString("Hola\nmundo"));
    editor.AceptarClick();
  });
  w.Trigger("EditarCD1");
  QVERIFY(*shown1);
  QCOMPARE(discs.AsString("NOTAS"), rich);

  // A record the disc does not take: the editor says so, and the list shows what is stored.
  auto refused = w.OnModal<TDatosCD>([](TDatosCD& editor) {
    const EditorControls form(editor);
    form.EditTituloCD->setText("Nunca grabado");
    SetFileChangeHook([] { return false; });
    editor.AceptarClick();
    SetFileChangeHook(nullptr);
  });
  w.Trigger("EditarCD1");
  QVERIFY(*refused);
  QVERIFY(w.dialogs.messages.back().rfind(w.inst.Text("Espanol.Len", "ErrorGrabarDisco"), 0) == 0);
  QCOMPARE(discs.AsString("TITULOCD"), std::string("Bach completo"));
  QCOMPARE(w.Titles(), QStringList({"atlas", "Bach completo", "Mapas"}));

  // A note whose memo block is damaged: the rest shows, the editor says so,
  // and Aceptar keeps the note as stored.
  const std::string pointer = discs.StoredRecord(discs.RecNo()).substr(247, 10);
  {
    std::fstream memo(w.inst.data / "CDROM.DBT", std::ios::in | std::ios::out | std::ios::binary);
    memo.seekp(std::stol(pointer) * 512);
    memo.write("XXXX", 4);
  }
  auto unreadable = w.OnModal<TDatosCD>([&](TDatosCD& editor) {
    const EditorControls form(editor);
    QCOMPARE(form.DBText4->text(), QString("AAAA-0004"));
    QVERIFY(form.wwDBRichEdit1->toPlainText().isEmpty());
    QVERIFY(!form.wwDBRichEdit1->placeholderText().isEmpty());
    form.EditTituloCD->setText("Bach");
    editor.AceptarClick();
  });
  w.Trigger("EditarCD1");
  QVERIFY(*unreadable);
  QCOMPARE(w.dialogs.messages.back().rfind(w.inst.Text("Espanol.Len", "NotaIlegible"), 0),
           std::size_t{0});
  QCOMPARE(discs.AsString("TITULOCD"), std::string("Bach"));
  QCOMPARE(discs.StoredRecord(discs.RecNo()).substr(247, 10), pointer);

  // A new title moves the disc in the order: its row is the one highlighted.
  w.ClickRow("atlas");
  auto renamed = w.OnModal<TDatosCD>([](TDatosCD& editor) {
    const EditorControls form(editor);
    form.EditTituloCD->setText("Zulu");
    editor.AceptarClick();
  });
  w.Trigger("EditarCD1");
  QVERIFY(*renamed);
  QCOMPARE(w.SelectedTitle(), QString("Zulu"));
  QCOMPARE(w.CurrentTitle(), w.SelectedTitle());
}

void BrowseTest::editingUnderAFilterRefillsTheFilteredList() {
  ListPage w({kDiscs[0], kDiscs[1], kDiscs[2]});
  w.Filter().setCurrentIndex(0);  // JUEGOS
  QCOMPARE(w.Titles(), QStringList({"Mapas", "atlas"}));
  w.ClickRow("atlas");
  auto shown2 = w.OnModal<TDatosCD>([](TDatosCD& editor) {
    const EditorControls form(editor);
    form.CFiltro->setEditText("ROCK");
    editor.AceptarClick();
  });
  w.Trigger("EditarCD1");
  QVERIFY(*shown2);
  QCOMPARE(w.Titles(), QStringList({"Mapas"}));
  QCOMPARE(w.Filter().currentText(), QString("JUEGOS"));
  QCOMPARE(w.CurrentSerial(), QString("AAAA-0002"));  // the edited disc stays current
  QCOMPARE(w.SelectedTitle(), QString());             // and no other disc's row is highlighted
}

void BrowseTest::aBitmapIsStoredAsJpegAndShownToFit() {
  ListPage w({kDiscs[1]});
  const QString bitmap = QString::fromStdString((w.inst.data / "portada.bmp").string());
  QImage wide(2000, 1000, QImage::Format_RGB32);
  wide.fill(QColor(200, 30, 30));
  QVERIFY(wide.save(bitmap, "BMP"));
  const QString junk = QString::fromStdString((w.inst.data / "nada.bmp").string());
  WriteFile(w.inst.data / "nada.bmp", "esto no es una imagen");

  w.ClickRow("atlas");
  auto shown3 = w.OnModal<TDatosCD>([&](TDatosCD& editor) {
    const EditorControls form(editor);
    editor.PickFile = [&](const QString&) { return junk; };
    editor.BImagenClick();
    QCOMPARE(w.dialogs.messages.back(), w.inst.Text("Espanol.Len", "ErrorConvertir"));
    editor.PickFile = [&](const QString&) { return bitmap; };
    editor.BImagenClick();
    // Enter keeps the picture just chosen; once stored, no work line stays.
    QCOMPARE(w.dialogs.defaults.back(), zafirel::Dialogs::Default::kOk);
    QVERIFY(form.Label11->text().isEmpty());
    QVERIFY(form.Image1->isEnabled());
    QVERIFY(form.BBorrar->isEnabled());
    QCOMPARE(form.Image1->Type(), TAdvImage::ImageType::Jpeg);
    QCOMPARE(form.Image1->PictureRect().size(), QSize(303, 151));
    QCOMPARE(form.Image1->PictureRect().left(), 1);
    form.Mi1->click();  // natural size, centred and clipped
    QCOMPARE(form.Image1->PictureRect().size(), QSize(2000, 1000));
    editor.AceptarClick();
  });
  w.Trigger("EditarCD1");
  QVERIFY(*shown3);
  TTablas check;
  check.SetFolder(w.inst.data);
  check.TablaGraf.Open();
  const std::optional<std::string> stored = FindCover(check.TablaGraf, "2");
  QVERIFY(stored);
  QVERIFY(LooksLikeJpeg(*stored));
  const std::optional<Picture> picture = DecodeJpeg(*stored);
  QVERIFY(picture);
  QCOMPARE(picture->width, 2000);
  QCOMPARE(check.TablaGraf.RecordCount(), 1u);
  check.TablaGraf.Close();

  // Opened again it shows the picture; deleting it empties the view.
  auto shown4 = w.OnModal<TDatosCD>([&](TDatosCD& editor) {
    const EditorControls form(editor);
    QVERIFY(form.BBorrar->isEnabled());
    QCOMPARE(form.Image1->Image().width(), 2000);
    editor.BBorrarClick();
    QVERIFY(!form.BBorrar->isEnabled());
    QVERIFY(form.Image1->Image().isNull());
    editor.AceptarClick();
  });
  w.Trigger("EditarCD1");
  QVERIFY(*shown4);
  check.TablaGraf.Open();
  QVERIFY(!FindCover(check.TablaGraf, "2"));
}

void BrowseTest::escapeInTheEditorAnswersOnlyWhatItWasPressedFor() {
  ListPage w({kDiscs[1]});
  const QString bitmap = QString::fromStdString((w.inst.data / "portada.bmp").string());
  QImage small(40, 30, QImage::Format_RGB32);
  small.fill(Qt::blue);
  QVERIFY(small.save(bitmap, "BMP"));
  // The editor's questions in the platform's own box, as the program asks them.
  QtDialogs boxes(w.leng);
  const PageServices asked{w.tablas, w.ini, w.leng, boxes, w.locale, w.folders};
  TDatosCD editor(asked, nullptr);
  const EditorControls form(editor);
  editor.PickFile = [&](const QString&) { return bitmap; };
  QVERIFY(ShowActive(editor));
  // The picture, frame and all, lies inside the dialog.
  QVERIFY(editor.rect().contains(form.Image1->geometry()));
  // Keys come as the window system sends them: to the window that has the
  // focus, and to an open drop-down list before anything else.
  auto press = [](QWidget& window) { QTest::keyPress(window.windowHandle(), Qt::Key_Escape); };
  auto release = [&] { QTest::keyRelease(editor.windowHandle(), Qt::Key_Escape); };

  // A question answered by Escape: pressed on its box, released on the editor.
  for (void (TDatosCD::*ask)() : {&TDatosCD::BImagenClick, &TDatosCD::BBorrarClick}) {
    QTimer::singleShot(0, &editor, [&] {
      if (QWidget* box = QApplication::activeModalWidget(); box != &editor) press(*box);
    });
    (editor.*ask)();
    release();
    QVERIFY(editor.isVisible());
  }
  QVERIFY(!form.BBorrar->isEnabled());  // the picture was not assigned: Escape is Cancel there
  // A drop-down list closed by Escape.
  for (QComboBox* box : {form.wwDBComboBox2, form.wwDBComboBox1, form.CFiltro}) {
    box->setFocus();
    box->showPopup();
    QVERIFY(QApplication::activePopupWidget() != nullptr);
    press(editor);
    QVERIFY(QApplication::activePopupWidget() == nullptr);
    release();
    QVERIFY(editor.isVisible());
  }
  // On the editor itself, Escape confirms it.
  press(editor);
  release();
  QVERIFY(!editor.isVisible());
  QCOMPARE(editor.result(), int(QDialog::Accepted));
}

void BrowseTest::deletingDiscsTakesTheirCataloguesAlong() {
  Window w({kDiscs[1], kDiscs[2], kDiscs[3]});  // atlas, Bach, Zoo
  WriteFile(TreeFilePath(w.Catalogues(), "4"), "C:\\\r\n");
  WriteFile(ListFilePath(w.Catalogues(), "4"), "");
  w.DoubleClickRow("atlas");
  w.Pages().setCurrentIndex(TMenuPral::kCatalogos);
  w.ClickRow("atlas");
  SetFileChangeHook([] {
    errno = ENOSPC;  // a full disc
    return false;
  });
  w.Trigger("BorrarCD1");
  SetFileChangeHook(nullptr);
  QCOMPARE(w.dialogs.questions.back(), w.inst.Text("Espanol.Len", "Atencion") + "|" +
                                           w.inst.Text("Espanol.Len", "BorrarCatalogo") +
                                           " \" atlas \"");
  QCOMPARE(w.Titles(), QStringList({"atlas", "Bach", "Zoo"}));
  // A deletion the disc refuses is reported with its reason; the disc stays.
  const std::string refused = w.inst.Text("Espanol.Len", "ErrorBorrarCD") + ": ";
  QVERIFY(!w.dialogs.messages.empty());
  QVERIFY(w.dialogs.messages.back().rfind(refused, 0) == 0);
  QVERIFY(w.dialogs.messages.back().find(w.inst.Text("Espanol.Len", "CausaSinEspacio")) !=
          std::string::npos);
  w.dialogs.messages.clear();
  w.ClickRow("atlas");
  w.Trigger("BorrarCD1");
  QVERIFY(w.dialogs.messages.empty());
  QCOMPARE(w.Titles(), QStringList({"Bach", "Zoo"}));
  QVERIFY(!fs::exists(TreeFilePath(w.Catalogues(), "2")));
  QVERIFY(!fs::exists(ListFilePath(w.Catalogues(), "2")));
  // The first remaining disc is current, the catalogue shown, and its row selected.
  QCOMPARE(w.Files().Catalogo().RutaIndActual, TreeFilePath(w.Catalogues(), "4").string());
  QCOMPARE(w.SelectedTitle(), QString("Bach"));
  QCOMPARE(w.CurrentTitle(), w.SelectedTitle());
  QVERIFY(w.StatusLine().text().endsWith(" Bach"));
  QVERIFY(w.Pages().isTabVisible(TMenuPral::kArchivos));

  // A disc whose files are already gone goes without a message, and so does the only one.
  fs::remove(ListFilePath(w.Catalogues(), "3"));
  for (const char* title : {"Zoo", "Bach"}) {
    w.ClickRow(title);
    w.Trigger("BorrarCD1");
  }
  QVERIFY(w.dialogs.messages.empty());
  QVERIFY(w.Titles().isEmpty());
  QVERIFY(!w.Pages().isTabVisible(TMenuPral::kArchivos));
  QVERIFY(!w.Pages().isTabVisible(TMenuPral::kBusqueda));
  QVERIFY(!Child<QAction>(*w, "VerHTML1").isEnabled());
  QCOMPARE(w.Carpetas()->rowCount(), 0);
  QVERIFY(w.Files().Catalogo().RutaIndActual.empty());
  QCOMPARE(w.StatusLine().text(), Qs(w.inst.Text("Espanol.Len", "CatalogoActual")));
  QVERIFY(w.TotalLine().endsWith(" 0"));
}

QTEST_MAIN(BrowseTest)
#include "browse_test.moc"
