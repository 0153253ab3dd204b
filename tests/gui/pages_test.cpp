// Each page on its own, over stand-in services (a seeded disc table, a
// settings file and scripted dialogs in a temporary folder), without the main
// window: what a page does and what it tells the window through its signals.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyle>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <cmath>

#include "app/gui/menu_pral.h"
#include "app/gui/mi_mensaje.h"
#include "app/gui/opciones.h"
#include "app/gui/page_control.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/browse_models.h"
#include "browse/gui/catalogos_page.h"
#include "browse/gui/datos_cd.h"
#include "browse/gui/propiedades.h"
#include "gui/gui_support.h"
#include "scan/gui/catalogar_page.h"
#include "search/gui/busqueda_page.h"
#include "search/gui/estadisticas_dialog.h"
#include "search/gui/repetidos_dialog.h"
#include "search/gui/search_results_model.h"
#include "search/gui/selecciona_cds.h"
#include "settings/ini_editor.h"
#include "store/catalogue_files.h"
#include "util/locale.h"

using namespace zafirel;
namespace fs = std::filesystem;

namespace {

// The stand-in services over two discs, the second with its catalogue files.
struct Rig : StandInServices {
  Rig() {
    testing::SeedDiscTable(
        tablas, inst.data,
        {{{"TITULOCD", "Mapas"},
          {"NSERIECD", "S1"},
          {"ALBUM", "JUEGOS"},
          {"TOTFILES", "1"},
          {"AUTO", "1"}},
         {{"TITULOCD", "atlas"}, {"NSERIECD", "S2"}, {"TOTFILES", "2"}, {"AUTO", "2"}}});
    WriteFile(TreeFilePath(folders.catalogos, "2"), "D:\\\r\nD:\\DOCS\\\r\n");
    WriteFile(ListFilePath(folders.catalogos, "2"),
              "D:\\LEEME.TXT;1;01/01/2000\r\nD:\\DOCS\\A.TXT;2;02/02/2002\r\n");
  }
  bool Locate(const char* number) { return tablas.TablaCDRom.Locate("AUTO", number); }
};

QStringList Column0(const QAbstractItemModel& model) {
  QStringList cells;
  for (int row = 0; row < model.rowCount(); ++row) cells << model.index(row, 0).data().toString();
  return cells;
}

}  // namespace

class PagesTest : public QObject {
  Q_OBJECT
 private slots:
  void theDiscListSaysWhichDiscIsCurrentAndWhichGoes();
  void theFilesPageShowsTheCurrentDiscAndLetsGoOfADeletedOne();
  void aSearchNamesItsHitsAndGivesTheCurrentDiscBack();
  void letterKeysAreKeptOrGivenFree_data();
  void letterKeysAreKeptOrGivenFree();
  void eachControlHasALetterKeyOfItsOwn();
  void everyTextStandsOutOnALightAndADarkPalette();
};

void PagesTest::theDiscListSaysWhichDiscIsCurrentAndWhichGoes() {
  Rig rig;
  CatalogosPage page(rig.services);
  QTableView& list = Child<QTableView>(page, "CDs");
  const DiscListModel& discs = Child<DiscListModel>(page, "Discos");
  QComboBox& filter = Child<QComboBox>(page, "CFiltro");
  QSignalSpy filled(&page, &CatalogosPage::ListFilled);
  QSignalSpy chosen(&page, &CatalogosPage::TitleChosen);
  page.Refill();
  QCOMPARE(Column0(discs), QStringList({"atlas", "Mapas"}));
  QCOMPARE(filled.takeFirst().at(0).toInt(), 2);
  QVERIFY(chosen.isEmpty());  // filling the list is no choice

  // Nor is a row the program selects while a blocker stands, and an inner
  // blocker gives back the outer one's quiet.
  const std::string current = rig.tablas.TablaCDRom.AsString("AUTO");
  {
    const CatalogosPage::QuietSelection outer(page);
    { const CatalogosPage::QuietSelection inner(page); }
    list.selectRow(1);
  }
  QVERIFY(chosen.isEmpty());
  QCOMPARE(rig.tablas.TablaCDRom.AsString("AUTO"), current);
  list.selectRow(0);
  QCOMPARE(chosen.takeFirst().at(0).value<std::string>(), std::string("atlas"));
  list.selectRow(1);
  QCOMPARE(chosen.takeFirst().at(0).value<std::string>(), std::string("Mapas"));
  QCOMPARE(rig.tablas.TablaCDRom.AsString("AUTO"), std::string("1"));

  // Columns fit a size of 100,000 MB and more, and a caption with the sort mark.
  const QFontMetrics metrics = list.fontMetrics();
  QVERIFY(list.columnWidth(1) > metrics.horizontalAdvance("1234567 MB"));
  page.CDsColumnClick(4);
  QVERIFY(list.columnWidth(4) >
          list.horizontalHeader()->fontMetrics().horizontalAdvance(
              discs.headerData(4, Qt::Horizontal, Qt::DisplayRole).toString()) +
              16);

  // A column's order is kept in the settings.
  page.CDsColumnClick(3);
  QCOMPARE(rig.ini.ReadStr("General", "Indice", ""), std::string("NSerieCD"));

  // The album filter lists one album; clearing it lists every disc again.
  page.RellenaFiltro();
  filter.setCurrentIndex(filter.findText("JUEGOS"));
  QCOMPARE(Column0(discs), QStringList({"Mapas"}));
  filled.clear();
  page.CDsColumnClick(0);  // every disc again, the box still naming the album
  QCOMPARE(Column0(discs), QStringList({"atlas", "Mapas"}));
  emit filter.activated(filter.currentIndex());  // picked once more
  QCOMPARE(Column0(discs), QStringList({"Mapas"}));
  page.CDsColumnClick(0);
  QTest::keyClick(&filter, Qt::Key_Return);  // Enter refreshes it, as its hint says
  QCOMPARE(Column0(discs), QStringList({"Mapas"}));
  QCOMPARE(filled.takeLast().at(0).toInt(), 2);  // the table's discs, not the rows shown
  page.ClearFilter();                            // the saved order: by title since the header click
  QCOMPARE(Column0(discs), QStringList({"atlas", "Mapas"}));

  // Deleting says which disc goes before it goes, then names the disc left.
  QSignalSpy deleting(&page, &CatalogosPage::DiscDeleting);
  QSignalSpy deleted(&page, &CatalogosPage::DiscDeleted);
  page.BorrarCatalogo("2");
  QCOMPARE(deleting.takeFirst().at(0).value<std::string>(), std::string("2"));
  QCOMPARE(deleted.count(), 1);
  QCOMPARE(chosen.takeLast().at(0).value<std::string>(), std::string("Mapas"));
  QVERIFY(!fs::exists(ListFilePath(rig.folders.catalogos, "2")));
  QVERIFY(!page.MakeCurrent("2"));  // gone: the user is told
  QCOMPARE(rig.dialogs.messages.size(), size_t(1));
}

void PagesTest::theFilesPageShowsTheCurrentDiscAndLetsGoOfADeletedOne() {
  Rig rig;
  ArchivosPage page(rig.services);
  const FileListModel& files = Child<FileListModel>(page, "Ficheros");
  QVERIFY(rig.Locate("2"));
  page.ShowCurrentDisc();
  QCOMPARE(page.Catalogo().RutaIndActual, TreeFilePath(rig.folders.catalogos, "2").string());
  QCOMPARE(Column0(files), QStringList({"LEEME.TXT"}));
  page.ShowHit("2", "D:\\DOCS\\A.TXT");
  QCOMPARE(Column0(files), QStringList({"A.TXT"}));
  QCOMPARE(Child<QTreeView>(page, "Arbol").currentIndex().data().toString(), QString("DOCS"));

  page.ForgetDisc("1");  // another disc: nothing changes
  QVERIFY(!page.Catalogo().RutaIndActual.empty());
  page.ForgetDisc("2");
  QVERIFY(page.Catalogo().RutaIndActual.empty());
  QCOMPARE(files.rowCount(), 0);
}

void PagesTest::aSearchNamesItsHitsAndGivesTheCurrentDiscBack() {
  Rig rig;
  BusquedaPage page(rig.services);
  QVERIFY(rig.Locate("1"));
  QSignalSpy chosen(&page, &BusquedaPage::TitleChosen);
  QSignalSpy ended(&page, &BusquedaPage::SearchEnded);
  page.BuscaEnArchivos("a.txt");
  QCOMPARE(ended.count(), 1);
  QCOMPARE(chosen.takeFirst().at(0).value<std::string>(), std::string("Mapas"));
  QCOMPARE(rig.ini.ReadStr("General", "Busqueda", ""), std::string("A.TXT"));
  QCOMPARE(rig.dialogs.messages.size(), size_t(1));  // "A.TXT encontrado 1 veces"

  // The hit under its disc's heading goes out with the disc's number.
  const SearchResultsModel& results = Child<SearchResultsModel>(page, "Resultados");
  QTreeView& tree = Child<QTreeView>(page, "Busca");
  const QModelIndex disc = results.index(0, 0);
  tree.setCurrentIndex(results.index(0, 0, disc));
  QSignalSpy hit(&page, &BusquedaPage::HitChosen);
  page.BuscaDblClick();
  QCOMPARE(hit.count(), 1);
  QCOMPARE(hit.at(0).at(0).value<std::string>(), std::string("2"));
  QCOMPARE(hit.at(0).at(1).value<std::string>(), std::string("D:\\DOCS\\A.TXT"));
  tree.setCurrentIndex(disc);  // a heading is no hit
  page.BuscaDblClick();
  QCOMPARE(hit.count(), 1);
}

QTEST_MAIN(PagesTest)
void PagesTest::letterKeysAreKeptOrGivenFree_data() {
  QTest::addColumn<QStringList>("captions");
  QTest::addColumn<QString>("taken");
  QTest::addColumn<QString>("spare");
  QTest::addColumn<QStringList>("keyed");
  QTest::addColumn<QString>("takenAfter");
  const auto row = [](const char* name, QStringList captions, QString taken, QString spare,
                      QStringList keyed, QString after) {
    QTest::newRow(name) << captions << taken << spare << keyed << after;
  };
  row("own keys kept", {"&Aceptar", "&Cancelar"}, "", "", {"&Aceptar", "&Cancelar"}, "ac");
  row("a clash moves the later one", {"&Catalogar", "&Catálogos"}, "", "",
      {"&Catalogar", "C&atálogos"}, "ca");
  row("word starts first", {"Catalogar", "Archivos", "Actualizar disco"}, "", "",
      {"&Catalogar", "&Archivos", "Actualizar &disco"}, "cad");
  row("an earlier choice moves so all have one", {"ab", "a"}, "", "", {"a&b", "&a"}, "ba");
  row("held and spare letters", {"&Parar"}, "p", "a", {"Pa&rar"}, "pr");
  row("no typeable letter left", {"Ñú", "ab"}, "a", "b", {"Ñú", "ab"}, "a");
  row("an ampersand shown stays", {"Tom && Jerry"}, "t", "", {"Tom && &Jerry"}, "tj");
}

void PagesTest::letterKeysAreKeptOrGivenFree() {
  QFETCH(QStringList, captions);
  QFETCH(QString, taken);
  QFETCH(QString, spare);
  QFETCH(QStringList, keyed);
  QFETCH(QString, takenAfter);
  QCOMPARE(WithLetterKeys(captions, taken, spare), keyed);
  QCOMPARE(taken, takenAfter);
}

// The letter keys (Alt+letter) of the controls window shows, and the
// captions that carry each; a caption without a key goes under 0.
std::map<int, QStringList> KeysShown(QWidget& window) {
  std::map<int, QStringList> keys;
  const auto add = [&](const QString& caption) {
    const QKeySequence key = QKeySequence::mnemonic(caption);
    keys[key.isEmpty() ? 0 : key[0].key()].append(caption);
  };
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(&window) || widget->window() != &window) continue;
    auto* button = qobject_cast<QAbstractButton*>(widget);
    // A button of symbols alone ("...") is reached by Tab from its field.
    if (button && button->text().contains(QRegularExpression(QStringLiteral("[A-Za-z]"))))
      add(button->text());
    if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy()) add(label->text());
    if (auto* tabs = qobject_cast<QTabBar*>(widget))
      for (int tab = 0; tab < tabs->count(); ++tab)
        if (tabs->isTabVisible(tab)) add(tabs->tabText(tab));
  }
  return keys;
}

// Every caption shown has a key of its own, and so has every entry of each
// menu the window owns.
QStringList KeyFaults(QWidget& window, const QString& where) {
  QStringList faults;
  const auto check = [&](const std::map<int, QStringList>& keys, const QString& in) {
    for (const auto& [key, captions] : keys) {
      if (qEnvironmentVariableIsSet("ZAFIREL_SHOW_KEYS")) qInfo() << in << captions;
      if (key == 0) faults << in + ": no key on " + captions.join(", ");
      if (key != 0 && captions.size() > 1)
        faults << in + ": Alt+" + QKeySequence(key).toString() + " on " + captions.join(", ");
    }
  };
  check(KeysShown(window), where);
  for (QMenu* menu : window.findChildren<QMenu*>()) {
    std::map<int, QStringList> keys;
    for (QAction* action : menu->actions()) {
      if (action->isSeparator()) continue;
      const QKeySequence key = QKeySequence::mnemonic(action->text());
      keys[key.isEmpty() ? 0 : key[0].key()].append(action->text());
    }
    check(keys, where + " menu " + menu->objectName());
  }
  return faults;
}

// A letter key reaches one control: the main window's on every page, its
// menus', and each dialog's as it shows. Enter presses a focused button.
void PagesTest::eachControlHasALetterKeyOfItsOwn() {
  OpenWindow open;
  open.Open();
  open.Show();
  PageControl& pages = Child<PageControl>(*open.window, "Pagina");
  for (const char* language : {"Ingles.Len", "Espanol.Len"}) {
    open.window->TraduceTodo(language);
    for (int page = 0; page < pages.count(); ++page) {
      pages.setCurrentIndex(page);
      const QStringList faults =
          KeyFaults(*open.window, QString::fromLatin1(language) + " " + pages.tabText(page));
      QVERIFY2(faults.isEmpty(), qPrintable(faults.join("\n")));
    }
  }
  // The search's filters too, once shown.
  pages.setCurrentIndex(TMenuPral::kBusqueda);
  Child<QPushButton>(*open.window, "BFiltros").click();
  const QStringList filterFaults = KeyFaults(*open.window, "filters");
  QVERIFY2(filterFaults.isEmpty(), qPrintable(filterFaults.join("\n")));
  // A hidden tab's key leads nowhere (no disc yet: no files, no search).
  pages.setCurrentIndex(TMenuPral::kCatalogar);
  QVERIFY(!pages.isTabVisible(TMenuPral::kBusqueda));
  const QKeySequence search = QKeySequence::mnemonic(pages.tabText(TMenuPral::kBusqueda));
  QTest::keyClick(open.window.get(), search[0].key(), Qt::AltModifier);
  QCOMPARE(pages.currentIndex(), int(TMenuPral::kCatalogar));
  // Alt+C presses Catalogar on its page; Enter presses the focused button.
  auto& catalogar = Child<QPushButton>(*open.window, "Catalogar");
  QSignalSpy pressed(&catalogar, &QPushButton::clicked);
  QTest::keyClick(open.window.get(), Qt::Key_C, Qt::AltModifier);
  QTRY_COMPARE(pressed.count(), 1);  // a key's click comes after the button shows it pressed
  pages.setCurrentIndex(TMenuPral::kCatalogos);
  auto& clear = Child<QPushButton>(*open.window, "BLimpiarFiltro");
  QSignalSpy cleared(&clear, &QPushButton::clicked);
  clear.setFocus();
  QTest::keyClick(&clear, Qt::Key_Return);
  QTRY_COMPARE(cleared.count(), 1);

  Rig rig;
  rig.OpenTables();
  TDatosCD editor(rig.services, nullptr);
  TPropiedades properties(rig.leng);
  TOpciones options(rig.services, {[](const fs::path&) {}, [](const std::string&) {}}, nullptr);
  TSeleccionaCDs discs(rig.services, nullptr);
  RepetidosDialog duplicates(rig.services, nullptr);
  EstadisticasDialog stats(rig.services, nullptr);
  for (QDialog* dialog : std::initializer_list<QDialog*>{&editor, &properties, &options, &discs,
                                                         &duplicates, &stats}) {
    dialog->show();
    const QStringList faults = KeyFaults(*dialog, dialog->metaObject()->className());
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("\n")));
    dialog->hide();
  }
}

// WCAG's contrast of two colours: 1 (the same) to 21 (black on white).
double Contrast(const QColor& a, const QColor& b) {
  const auto luminance = [](const QColor& c) {
    const auto linear = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  };
  const double x = luminance(a), y = luminance(b);
  return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// Every enabled label and button with text that window shows, whose text
// stands out from what is behind it by less than 4.5 : 1.
QStringList FaintTexts(QWidget& window) {
  QStringList faint;
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(&window) || !widget->isEnabled()) continue;
    QString text;
    if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
    auto* button = qobject_cast<QAbstractButton*>(widget);
    if (button != nullptr) text = button->text();
    if (text.trimmed().isEmpty() || (qobject_cast<QLabel*>(widget) == nullptr && button == nullptr))
      continue;
    // A raised push button paints its own face; anything else shows the
    // nearest background painted behind it.
    auto* push = qobject_cast<QPushButton*>(widget);
    QColor back;
    if (push != nullptr && !push->isFlat()) {
      back = push->palette().color(QPalette::Active, QPalette::Button);
    } else {
      QWidget* behind = widget;
      while (behind != &window && !behind->autoFillBackground()) behind = behind->parentWidget();
      back = behind->palette().color(QPalette::Active, behind->backgroundRole());
    }
    const QColor fore = widget->palette().color(QPalette::Active, widget->foregroundRole());
    if (Contrast(fore, back) < 4.5)
      faint << QStringLiteral("%1 \"%2\" %3 on %4 (%5)")
                   .arg(widget->objectName(), text, fore.name(), back.name())
                   .arg(Contrast(fore, back), 0, 'f', 2);
  }
  return faint;
}

// The window's own colours on a light palette, their dark counterparts on a
// dark one (as qt6ct's dark scheme gives): every text stays readable.
void PagesTest::everyTextStandsOutOnALightAndADarkPalette() {
  const QPalette before = QApplication::palette();
  QPalette dark;
  for (const auto& [role, colour] : std::initializer_list<std::pair<QPalette::ColorRole, QColor>>{
           {QPalette::Window, QColor(53, 53, 53)},
           {QPalette::WindowText, Qt::white},
           {QPalette::Base, QColor(35, 35, 35)},
           {QPalette::Text, Qt::white},
           {QPalette::Button, QColor(53, 53, 53)},
           {QPalette::ButtonText, Qt::white},
           {QPalette::ToolTipBase, QColor(25, 25, 25)},
           {QPalette::ToolTipText, Qt::white}})
    dark.setColor(role, colour);
  for (const auto& [name, palette] :
       {std::pair{QStringLiteral("light"), QApplication::style()->standardPalette()},
        std::pair{QStringLiteral("dark"), dark}}) {
    QApplication::setPalette(palette);
    QStringList faint;
    {
      OpenWindow open;
      open.Open();
      open.Show();
      PageControl& pages = Child<PageControl>(*open.window, "Pagina");
      for (int page = 0; page < pages.count(); ++page) {
        pages.setCurrentIndex(page);
        faint << FaintTexts(*open.window);
      }
    }
    Rig rig;
    rig.OpenTables();
    TDatosCD editor(rig.services, nullptr);
    TPropiedades properties(rig.leng);
    TOpciones options(rig.services, {[](const fs::path&) {}, [](const std::string&) {}}, nullptr);
    TSeleccionaCDs discs(rig.services, nullptr);
    TMiMensaje message(QStringLiteral("No se puede escribir"), QStringLiteral("&Aceptar"), nullptr);
    for (QWidget* dialog :
         std::initializer_list<QWidget*>{&editor, &properties, &options, &discs, &message})
      faint << FaintTexts(*dialog);
    QApplication::setPalette(before);
    QVERIFY2(faint.isEmpty(), qPrintable(name + ": " + faint.join("; ")));
  }
}

#include "pages_test.moc"
