// Small makers for the controls every dialog of the program shares: the
// flat push button, the dark strip along a dialog's top and choice boxes
// filled anew.
#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "util/gui/palette.h"
#include "util/gui/qt_text.h"

namespace zafirel {

// Flat buttons read as labels: pointing at one, or giving it the focus,
// raises it so it shows it is a button.
class FlatButtonMarks : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* button = qobject_cast<QPushButton*>(watched);
    switch (event->type()) {
      case QEvent::Enter:
      case QEvent::FocusIn:
      case QEvent::Leave:
      case QEvent::FocusOut:
        if (button != nullptr) {
          const bool marked =
              event->type() == QEvent::Enter || event->type() == QEvent::FocusIn ||
              (event->type() == QEvent::Leave ? button->hasFocus() : button->underMouse());
          button->setFlat(!marked);
        }
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }
};

inline void MakeFlat(QPushButton& button) {
  button.setFlat(true);
  button.installEventFilter(new FlatButtonMarks(&button));
}

// A flat button that Enter in a text box does not press.
inline QPushButton* FlatButton(const QString& caption, QWidget* parent, const char* name = "") {
  auto* button = new QPushButton(caption, parent);
  if (*name != '\0') button->setObjectName(name);
  MakeFlat(*button);
  button->setAutoDefault(false);
  return button;
}

// The dark tab colour behind the widget, with white text on it.
inline void PaintDarkStrip(QWidget& strip) {
  strip.setAutoFillBackground(true);
  QPalette palette = strip.palette();
  palette.setColor(QPalette::Window, colors::kTabDark);
  palette.setColor(QPalette::WindowText, Qt::white);
  strip.setPalette(palette);
}

// A choice box whose list shows at most rows choices and scrolls the rest:
// the style's own pop-up would show every choice, whatever its height.
inline void ShowAtMost(QComboBox& box, int rows) {
  box.setMaxVisibleItems(rows);
  box.setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
}

// Replaces a choice box's choices, keeping the one shown when it is still
// offered; filling the choices is not a choice, so no signal goes out.
inline void SetChoices(QComboBox& box, const std::vector<std::string>& choices) {
  const QSignalBlocker quiet(&box);
  const QString shown = box.currentText();
  box.clear();
  for (const std::string& choice : choices) box.addItem(Qs(choice));
  box.setCurrentIndex(box.findText(shown));
}

// What a screen reader says of a control: its name and, for a list or a
// table, what a row holds (ANSI texts, from the language file).
inline void NameForReaders(QWidget& control, const std::string& name,
                           const std::string& description = {}) {
  control.setAccessibleName(Qs(name));
  if (!description.empty()) control.setAccessibleDescription(Qs(description));
}

// A list or table the keyboard leaves with Tab and Shift+Tab (the arrows
// move inside it) and whose current row is selected as it takes the focus,
// so the commands on the selected row (F2, Delete) act at once.
class KeyboardTable : public QObject {
 public:
  explicit KeyboardTable(QAbstractItemView& view) : QObject(&view), view_(view) {
    view.setTabKeyNavigation(false);
    view.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &view_ && event->type() == QEvent::FocusIn && view_.model() != nullptr &&
        view_.selectionModel() != nullptr && !view_.selectionModel()->hasSelection()) {
      QModelIndex current = view_.currentIndex();
      if (!current.isValid()) current = view_.model()->index(0, 0);
      if (current.isValid())
        view_.selectionModel()->setCurrentIndex(
            current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QAbstractItemView& view_;
};

// A box of several lines that Tab and Shift+Tab leave, as any field; where
// a tab may be typed (notes), Ctrl+Tab types it.
class TabLeavesBox : public QObject {
 public:
  TabLeavesBox(QPlainTextEdit& box, bool ctrlTabTypes)
      : QObject(&box), box_(box), types_(ctrlTabTypes) {
    box.setTabChangesFocus(true);
    box.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (types_ && watched == &box_ && event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::ControlModifier) {
        box_.insertPlainText(QStringLiteral("\t"));
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QPlainTextEdit& box_;
  bool types_;
};

}  // namespace zafirel
