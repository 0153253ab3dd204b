// A modal form that cannot be left without confirming: Escape pressed and
// released on the form, or on any control it watches, confirms as its button
// does, and a close request confirms too. The form sees keys before its
// controls. An Escape that answered a question box the form asked, or closed
// one of its drop-down lists, did its own work: its release leaves the form
// open.
#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <utility>

namespace zafirel {

class EscapeConfirmsDialog : public QDialog {
 public:
  using QDialog::QDialog;

 protected:
  virtual void Confirm() = 0;

  // Watches a control's keys for the form, and a drop-down box's list too.
  void WatchKeys(QWidget* control) {
    control->installEventFilter(this);
    if (auto* box = qobject_cast<QComboBox*>(control)) box->view()->installEventFilter(this);
  }

  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      EscapeDown();
      return;
    }
    QDialog::keyPressEvent(event);
  }
  void keyReleaseEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      EscapeUp();
      return;
    }
    QDialog::keyReleaseEvent(event);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    const bool key =
        type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride;
    if (!key || static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
      return QDialog::eventFilter(watched, event);
    if (type == QEvent::ShortcutOverride) {
      // An open list closes on this, before the key itself comes; the key
      // then goes to its box, the list already gone.
      const auto* list = qobject_cast<QAbstractItemView*>(watched);
      if (list != nullptr && list->window()->windowType() == Qt::Popup && list->isVisible())
        listTookEscape_ = true;
      return false;
    }
    if (type == QEvent::KeyPress)
      EscapeDown();
    else
      EscapeUp();
    return true;
  }
  void reject() override { Confirm(); }

 private:
  // Confirming waits for the release of an Escape that went down on the form.
  void EscapeDown() { escapeDown_ = !std::exchange(listTookEscape_, false); }
  void EscapeUp() {
    if (std::exchange(escapeDown_, false)) Confirm();
  }

  bool escapeDown_ = false;
  bool listTookEscape_ = false;  // the next Escape press closed a drop-down list
};

}  // namespace zafirel
