// A modal form that cannot be left without confirming: releasing Escape, on
// the form or on any control it watches, confirms as its button does, and a
// close request confirms too. The form sees keys before its controls.
#pragma once

#include <QDialog>
#include <QKeyEvent>

namespace zafirel {

class EscapeConfirmsDialog : public QDialog {
 public:
  using QDialog::QDialog;

 protected:
  virtual void Confirm() = 0;

  // Watches a control's keys for the form.
  void WatchKeys(QWidget* control) { control->installEventFilter(this); }

  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) return;  // confirming waits for the release
    QDialog::keyPressEvent(event);
  }
  void keyReleaseEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      Confirm();
      return;
    }
    QDialog::keyReleaseEvent(event);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    if (key && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      if (event->type() == QEvent::KeyRelease) Confirm();
      return true;
    }
    return QDialog::eventFilter(watched, event);
  }
  void reject() override { Confirm(); }
};

}  // namespace zafirel
