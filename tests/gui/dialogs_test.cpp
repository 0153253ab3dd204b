// The program's own dialogs: the message box closes by Enter pressed, Escape
// or Space released, or its button, and nothing else; the progress window
// follows its operation and is gone when the operation's handle is.

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <utility>

#include "app/gui/actualizando.h"
#include "app/gui/mi_mensaje.h"
#include "app/gui/qt_dialogs.h"
#include "gui/gui_support.h"
#include "settings/language.h"

using zafirel::TMiMensaje;

class DialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void closesOnEnterPressAndOnEscapeOrSpaceRelease();
  void longTextWrapsWithoutGrowingTheBox();
  void progressWindowFollowsItsOperation();
  void questionsAnswerAltAAndAltC();
};

void DialogsTest::closesOnEnterPressAndOnEscapeOrSpaceRelease() {
  struct Case {
    Qt::Key key;
    bool closesOnPress;
    bool closesOnRelease;
  };
  const Case cases[] = {{Qt::Key_Return, true, false},
                        {Qt::Key_Escape, false, true},
                        {Qt::Key_Space, false, true},
                        {Qt::Key_A, false, false}};
  for (const Case& c : cases) {
    TMiMensaje box(QStringLiteral("Hola"), QStringLiteral("&Aceptar"));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyPress(&box, c.key);
    QCOMPARE(box.isVisible(), !c.closesOnPress);
    QTest::keyRelease(&box, c.key);
    QCOMPARE(box.isVisible(), !c.closesOnPress && !c.closesOnRelease);
  }
  TMiMensaje box{QString(), QString()};
  QPushButton& accept = Child<QPushButton>(box, "Aceptar");
  QCOMPARE(accept.text(), QStringLiteral("&Aceptar"));  // the design caption
  box.show();
  QTest::mouseClick(&accept, Qt::LeftButton);
  QVERIFY(!box.isVisible());
}

void DialogsTest::longTextWrapsWithoutGrowingTheBox() {
  TMiMensaje box(
      QString(2000, QLatin1Char('x')).replace(QLatin1Char('x'), QStringLiteral("palabra ")),
      QStringLiteral("OK"));
  box.show();
  QVERIFY(QTest::qWaitForWindowExposed(&box));
  QCOMPARE(box.size(), QSize(403, 166));
  const QLabel& text = Child<QLabel>(box, "LMensaje");
  QCOMPARE(text.geometry(), QRect(8, 7, 377, 82));
  QVERIFY(text.wordWrap());
}

void DialogsTest::progressWindowFollowsItsOperation() {
  zafirel::Language none("/nonexistent/Ingles.Len");
  zafirel::QtDialogs dialogs(none);
  auto findWindow = [] {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* window = qobject_cast<zafirel::TActualizando*>(top)) return window;
    return static_cast<zafirel::TActualizando*>(nullptr);
  };
  {
    auto progress = dialogs.ShowProgress("Creando \xEDndices");
    zafirel::TActualizando* window = findWindow();
    QVERIFY(window != nullptr);
    QVERIFY(window->isVisible());
    QCOMPARE(Child<QLabel>(*window, "Label1").text(), QStringLiteral("Creando índices"));
    QVERIFY(!Child<QProgressBar>(*window, "Barra2").isVisible());
    const QProgressBar& bar = Child<QProgressBar>(*window, "Barra");
    progress->SetMaximum(3);
    progress->Step();
    progress->Step();
    constexpr int kStep = zafirel::TActualizando::kStepWidth;
    QCOMPARE(bar.value(), 2 * kStep);
    progress->Within(1, 4);  // a quarter of the third step
    QCOMPARE(bar.value(), 2 * kStep + kStep / 4);
    for (int i = 0; i < 5; ++i) progress->Step();  // never past the maximum
    QCOMPARE(bar.value(), 3 * kStep);
    progress->Within(1, 2);  // nothing after the last step
    QCOMPARE(bar.value(), 3 * kStep);
    // No stop is offered until the operation asks; then the button and
    // Escape ask it to stop, and Escape never hides the window.
    QVERIFY(window->findChild<QPushButton*>("Parar") == nullptr);
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(window->isVisible());
    QVERIFY(!progress->Stopped());
    QVERIFY(Child<QPushButton>(*window, "Parar").isVisible());
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(window->isVisible());
    QVERIFY(progress->Stopped());
  }
  QVERIFY(findWindow() == nullptr);
}

// Aceptar and Cancelar carry their letter keys, with or without a language.
void DialogsTest::questionsAnswerAltAAndAltC() {
  zafirel::Language none("/nonexistent/Espanol.Len");
  zafirel::QtDialogs dialogs(none);
  for (const auto& [key, answer] : {std::pair{Qt::Key_A, true}, std::pair{Qt::Key_C, false}}) {
    // The key once the question is up; Escape (Cancelar) if the key did not
    // answer it, so that a failure cannot hang the test.
    QTimer::singleShot(50, [key = key] {
      QWidget* box = QApplication::activeModalWidget();
      if (box == nullptr) return;
      QApplication::setActiveWindow(box);
      QTest::keyClick(box, key, Qt::AltModifier);
      QTimer::singleShot(500, [] {
        if (QWidget* still = QApplication::activeModalWidget())
          QTest::keyClick(still, Qt::Key_Escape);
      });
    });
    QCOMPARE(dialogs.ConfirmOkCancel("Atenci\xF3n",
                                     "\xBF"
                                     "Borrar?",
                                     zafirel::Dialogs::Default::kCancel),
             answer);
  }
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
