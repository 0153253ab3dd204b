// TMiMensaje: the program's one modal message box. One centred, word-wrapped
// text and an accept button; it asks nothing. Enter (pressed) and Escape or
// Space (released) close it as the button does; there is no close box. A
// screen reader meets it as an alert with its text.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace zafirel {

class TMiMensaje : public QDialog {
  Q_OBJECT
 public:
  TMiMensaje(const QString& text, const QString& acceptCaption, QWidget* parent = nullptr);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  // Shown, it is announced to a screen reader as an alert.
  void showEvent(QShowEvent* event) override;

 private:
  bool HandleKey(QEvent* event);

  QLabel* LMensaje = nullptr;
  QPushButton* Aceptar = nullptr;
};

}  // namespace zafirel
