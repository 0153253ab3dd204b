// The message box closes by Enter pressed, Escape or Space released, or its
// button; nothing else closes it.
#include "app/gui/mi_mensaje.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using zafirel::TMiMensaje;

class MiMensajeTest : public QObject {
  Q_OBJECT
 private slots:
  void closesOnEnterPressAndOnEscapeOrSpaceRelease();
  void longTextWrapsWithoutGrowingTheBox();
};

void MiMensajeTest::closesOnEnterPressAndOnEscapeOrSpaceRelease() {
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
  QCOMPARE(box.Aceptar->text(), QStringLiteral("&Aceptar"));  // the design caption
  box.show();
  QTest::mouseClick(box.Aceptar, Qt::LeftButton);
  QVERIFY(!box.isVisible());
}

void MiMensajeTest::longTextWrapsWithoutGrowingTheBox() {
  TMiMensaje box(
      QString(2000, QLatin1Char('x')).replace(QLatin1Char('x'), QStringLiteral("palabra ")),
      QStringLiteral("OK"));
  box.show();
  QVERIFY(QTest::qWaitForWindowExposed(&box));
  QCOMPARE(box.size(), QSize(403, 166));
  QCOMPARE(box.LMensaje->geometry(), QRect(8, 7, 377, 82));
  QVERIFY(box.LMensaje->wordWrap());
}

QTEST_MAIN(MiMensajeTest)
#include "mi_mensaje_test.moc"
