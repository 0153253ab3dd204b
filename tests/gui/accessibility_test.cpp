// Every window as a screen reader meets it, through Qt's accessibility
// interface: each window has a title, each control that takes the focus a
// name, and each field a label tied to it or a name of its own. The counts
// per window are printed, so a change shows what it did.
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include "app/gui/menu_pral.h"
#include "app/gui/mi_mensaje.h"
#include "app/gui/opciones.h"
#include "browse/gui/catalogos_page.h"
#include "browse/gui/datos_cd.h"
#include "browse/gui/propiedades.h"
#include "gui/gui_support.h"
#include "search/gui/estadisticas_dialog.h"
#include "search/gui/repetidos_dialog.h"
#include "search/gui/selecciona_cds.h"
#include "util/gui/qt_text.h"

using namespace zafirel;
namespace fs = std::filesystem;

namespace {

struct Audit {
  int controls = 0, named = 0, tied = 0;
  QStringList faults;
};

// A field the user types or picks a value in: it needs a label or a name.
bool IsField(const QWidget& w) {
  return qobject_cast<const QLineEdit*>(&w) || qobject_cast<const QTextEdit*>(&w) ||
         qobject_cast<const QPlainTextEdit*>(&w) || qobject_cast<const QComboBox*>(&w) ||
         qobject_cast<const QAbstractSpinBox*>(&w);
}

// A part of another control (a combo box's or a date box's own edit line,
// a tab widget's bar).
bool IsPart(const QWidget& w) {
  for (const QWidget* up = w.parentWidget(); up != nullptr; up = up->parentWidget())
    if (qobject_cast<const QComboBox*>(up) || qobject_cast<const QAbstractSpinBox*>(up))
      return true;
  // A tab widget's own bar: its tabs are named.
  return qobject_cast<const QTabBar*>(&w) && qobject_cast<const QTabWidget*>(w.parentWidget());
}

Audit AuditWindow(QWidget& window) {
  Audit audit;
  if (window.windowTitle().isEmpty()) audit.faults << "the window has no title";
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (w->focusPolicy() == Qt::NoFocus || IsPart(*w) || w->isWindow()) continue;
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
    if (face == nullptr) continue;
    ++audit.controls;
    const bool named = !face->text(QAccessible::Name).trimmed().isEmpty();
    const bool tied = !face->relations(QAccessible::Label).isEmpty();
    audit.named += named;
    audit.tied += tied;
    const QString what =
        QString::fromLatin1(w->metaObject()->className()) + " \"" + w->objectName() + "\"";
    if (IsField(*w) ? !named && !tied : !named) audit.faults << what + " has no name";
  }
  return audit;
}

void Check(const char* title, QWidget& window) {
  const Audit audit = AuditWindow(window);
  std::printf("[ a11y ] %-22s controls %3d, named %3d, tied to a label %3d\n", title,
              audit.controls, audit.named, audit.tied);
  for (const QString& fault : audit.faults)
    QTest::qFail(qPrintable(QString::fromLatin1(title) + ": " + fault), __FILE__, __LINE__);
}

struct Window : OpenWindow {
  Window() {
    testing::CreateTables(inst.data);
    testing::AddDiscRecords(inst.data, {{{"AUTO", "1"}, {"TITULOCD", "Rock"}, {"NSERIECD", "S1"}}});
    const fs::path catalogues = FoldersBelow(inst.data).catalogos;
    fs::create_directories(catalogues);
    WriteFile(TreeFilePath(catalogues, "1"), "D:\\\r\n");
    WriteFile(ListFilePath(catalogues, "1"), "D:\\uno.mp3;1;x\r\n");
    Open();
    Show();
  }
};

// The services of a dialog over a table of one disc.
struct OneDisc : StandInServices {
  OneDisc() {
    testing::CreateTables(inst.data);
    testing::AddDiscRecords(inst.data, {{{"AUTO", "1"}, {"TITULOCD", "Rock"}}});
    OpenTables();
  }
};

}  // namespace

class AccessibilityTest : public QObject {
  Q_OBJECT
 private slots:
  void everyWindowNamesItsControls();
  void tabLeavesTablesAndBoxesAndAFocusedRowIsSelected();
  void aDialogFromTheMenuGivesTheFocusBack();
  void theDividerMovesFromTheKeyboard();
};

void AccessibilityTest::everyWindowNamesItsControls() {
  Window w;
  Check("main window", *w.window);
  // Announced as a window, not as a pane.
  QCOMPARE(QAccessible::queryAccessibleInterface(w.window.get())->role(), QAccessible::Window);
  // Names follow the language.
  w.window->TraduceTodo("Ingles.Len");
  QCOMPARE(Child<QWidget>(*w.window, "CDs").accessibleName(), QStringLiteral("Catalogued discs"));
  Check("main window, English", *w.window);
  OneDisc s;
  QVERIFY(s.tablas.TablaCDRom.Locate("AUTO", "1"));
  TDatosCD editor(s.services, nullptr);
  Check("disc editor", editor);
  // The cover says whether it shows a picture.
  QCOMPARE(Child<QWidget>(editor, "Image1").accessibleName(), Qs(s.leng.Traduce("SinImagen")));
  TOpciones options(s.services, {}, nullptr);
  Check("options", options);
  TPropiedades properties(s.leng, nullptr);
  Check("file properties", properties);
  TSeleccionaCDs choice(s.services, nullptr);
  Check("disc selection", choice);
  RepetidosDialog duplicates(s.services, nullptr);
  Check("duplicates", duplicates);
  EstadisticasDialog stats(s.services, nullptr);
  QVERIFY(stats.Gather());  // its sheets and charts
  Check("statistics", stats);
  TMiMensaje message(QStringLiteral("Hola"), QStringLiteral("&Aceptar"), nullptr);
  Check("message", message);
  // The program's message box is an alert, read with its text.
  QAccessibleInterface* alert = QAccessible::queryAccessibleInterface(&message);
  QCOMPARE(alert->role(), QAccessible::AlertMessage);
  QCOMPARE(alert->text(QAccessible::Description), QStringLiteral("Hola"));
}

void AccessibilityTest::tabLeavesTablesAndBoxesAndAFocusedRowIsSelected() {
  Window w;
  auto& pages = Child<QTabWidget>(*w.window, "Pagina");
  for (const auto& [page, name] : {std::pair{int(TMenuPral::kCatalogos), "CDs"},
                                   std::pair{int(TMenuPral::kArchivos), "Archivos"}}) {
    pages.setCurrentIndex(page);
    auto& table = Child<QTableView>(*w.window, name);
    table.selectionModel()->clearSelection();
    table.setFocus();
    QTRY_VERIFY(table.hasFocus());
    // The row the focus lands on is selected: F2 and Supr act on it at once.
    QCOMPARE(table.selectionModel()->selectedRows().size(), 1);
    QTest::keyClick(&table, Qt::Key_Tab);
    QVERIFY2(!table.hasFocus(), name);
  }
  // The disc list keeps the focus while it fills again (after an edit, a
  // delete, a choice of discs): Delete then still acts on it.
  pages.setCurrentIndex(TMenuPral::kCatalogos);
  auto& discs = Child<QTableView>(*w.window, "CDs");
  discs.setFocus();
  QTRY_VERIFY(discs.hasFocus());
  Child<CatalogosPage>(*w.window, "PCatalogos").Refill();
  QVERIFY(discs.hasFocus());

  OneDisc s;
  QVERIFY(s.tablas.TablaCDRom.Locate("AUTO", "1"));
  TDatosCD editor(s.services, nullptr);
  QVERIFY(ShowActive(editor));
  auto& notes = Child<QPlainTextEdit>(editor, "wwDBRichEdit1");
  notes.setFocus();
  QTest::keyClick(&notes, Qt::Key_Tab);
  QVERIFY(!notes.hasFocus());
  QVERIFY(notes.toPlainText().isEmpty());
  notes.setFocus();
  QTest::keyClick(&notes, Qt::Key_Tab, Qt::ControlModifier);  // where a tab is wanted
  QCOMPARE(notes.toPlainText(), QStringLiteral("\t"));
}

void AccessibilityTest::aDialogFromTheMenuGivesTheFocusBack() {
  Window w;
  Child<QTabWidget>(*w.window, "Pagina").setCurrentIndex(TMenuPral::kCatalogos);
  auto& discs = Child<QTableView>(*w.window, "CDs");
  discs.setFocus();
  QTRY_VERIFY(discs.hasFocus());
  // Estadísticas from the Principal menu, by the keyboard (F10), then closed.
  bool shown = false;
  QTimer::singleShot(0, w.window.get(), [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    QTimer::singleShot(0, w.window.get(), [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      shown = dialog != nullptr;
      if (dialog != nullptr) dialog->close();
    });
    menu->setActiveAction(&Child<QAction>(*w.window, "Estadisticas1"));
    QTest::keyClick(menu, Qt::Key_Return);
  });
  QTest::keyClick(&discs, Qt::Key_F10);
  QVERIFY(shown);
  // The window's focus is the list's again, whenever the window is active again.
  QVERIFY(w.window->focusWidget() == &discs);
}

void AccessibilityTest::theDividerMovesFromTheKeyboard() {
  Window w;
  Child<QTabWidget>(*w.window, "Pagina").setCurrentIndex(TMenuPral::kArchivos);
  auto& files = Child<QTableView>(*w.window, "Archivos");
  auto& folders = Child<QWidget>(*w.window, "Arbol");
  files.setFocus();
  QTRY_VERIFY(files.hasFocus());
  const int before = folders.width();
  QTest::keyClick(&files, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
  QTRY_VERIFY(folders.width() > before);
  QTest::keyClick(&files, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
  QTRY_COMPARE(folders.width(), before);
}

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
