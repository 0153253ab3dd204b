#include "app/gui/mi_mensaje.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "util/gui/announced_role.h"
#include "util/gui/controls.h"
#include "util/gui/palette.h"

namespace zafirel {

TMiMensaje::TMiMensaje(const QString& text, const QString& acceptCaption, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("TMiMensaje");
  // Announced as an alert, as the platform's message boxes are.
  AnnounceAs(staticMetaObject, QAccessible::AlertMessage);
  setAccessibleDescription(text);  // read with the alert
  // The program's name on the frame, where its own caption is empty.
  setWindowTitle(QApplication::applicationName());
  colors::ApplyWindowLook(*this);
  resize(403, 166);

  LMensaje = new QLabel(text, this);
  LMensaje->setObjectName("LMensaje");
  LMensaje->setGeometry(8, 7, 377, 82);
  LMensaje->setAlignment(Qt::AlignCenter);
  LMensaje->setWordWrap(true);
  LMensaje->setTextFormat(Qt::PlainText);
  // The box never grows: a long text is cut at the bottom of the label.
  LMensaje->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);

  Aceptar =
      new QPushButton(acceptCaption.isEmpty() ? QStringLiteral("&Aceptar") : acceptCaption, this);
  Aceptar->setObjectName("Aceptar");
  Aceptar->setGeometry(168, 92, 54, 21);
  MakeFlat(*Aceptar);
  Aceptar->setAutoDefault(false);
  connect(Aceptar, &QPushButton::clicked, this, &QDialog::accept);
  Aceptar->installEventFilter(this);  // the window sees every key first
}

void TMiMensaje::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  QAccessibleEvent alert(this, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

bool TMiMensaje::HandleKey(QEvent* event) {
  auto* key = static_cast<QKeyEvent*>(event);
  if (event->type() == QEvent::KeyPress &&
      (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
    accept();
    return true;
  }
  if (event->type() == QEvent::KeyPress && key->key() == Qt::Key_Escape) return true;
  if (event->type() == QEvent::KeyRelease && !key->isAutoRepeat() &&
      (key->key() == Qt::Key_Escape || key->key() == Qt::Key_Space)) {
    accept();
    return true;
  }
  // Space pressed must not click the button: only its release closes the box.
  return event->type() == QEvent::KeyPress && key->key() == Qt::Key_Space;
}

bool TMiMensaje::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
    return HandleKey(event);
  return QDialog::eventFilter(watched, event);
}

void TMiMensaje::keyPressEvent(QKeyEvent* event) {
  if (!HandleKey(event)) QDialog::keyPressEvent(event);
}

void TMiMensaje::keyReleaseEvent(QKeyEvent* event) {
  if (!HandleKey(event)) QDialog::keyReleaseEvent(event);
}

}  // namespace zafirel
