#include "util/gui/letter_keys.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <functional>
#include <vector>

namespace zafirel {

namespace {

// A key the user can type with Alt on any keyboard: a to z and digits.
bool Typeable(QChar c) {
  const char16_t u = c.toLower().unicode();
  return (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9');
}

// The index of the character a single "&" marks, or -1.
qsizetype MarkedAt(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != QLatin1Char('&')) continue;
    if (caption[i + 1] != QLatin1Char('&')) return i + 1;
    ++i;  // "&&" is an ampersand shown
  }
  return -1;
}

// Enter on a focused button presses it, as Space does. A dialog's own
// default button still answers Enter typed in a field.
class PressOnEnter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
      return false;
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (button == nullptr || !button->isEnabled()) return false;
    button->animateClick();
    return true;
  }
};

void PressesOnEnter(QAbstractButton& button) {
  if (!qobject_cast<QPushButton*>(&button) && !qobject_cast<QToolButton*>(&button)) return;
  if (button.property("zafirelPressOnEnter").toBool()) return;
  button.setProperty("zafirelPressOnEnter", true);
  button.installEventFilter(new PressOnEnter(&button));
}

// A caption that can take a key, with how to read and set it.
struct Keyed {
  std::function<QString()> get;
  std::function<void(const QString&)> set;
};

// Whether the widget belongs to another control (a choice box's or a date
// box's parts, a tab bar's scroll arrows) or to another window.
bool PartOfAnother(const QWidget& widget, const QWidget& scope) {
  if (widget.window() != scope.window()) return true;
  for (const QWidget* up = widget.parentWidget(); up != nullptr && up != &scope;
       up = up->parentWidget())
    if (qobject_cast<const QComboBox*>(up) || qobject_cast<const QAbstractSpinBox*>(up) ||
        qobject_cast<const QTabBar*>(up))
      return true;
  return false;
}

// The page of a tab widget within scope the widget lies on, if any.
const QWidget* PageOf(const QWidget& widget, const QWidget& scope) {
  for (const QWidget* up = &widget; up != nullptr && up != &scope; up = up->parentWidget()) {
    const QWidget* stack = up->parentWidget();
    // A tab widget's pages sit in its stack, whose parent is the tab widget.
    if (stack != nullptr && stack != &scope &&
        qobject_cast<const QTabWidget*>(stack->parentWidget()) && !qobject_cast<const QTabBar*>(up))
      return up;
  }
  return nullptr;
}

// The captions within a scope, outside its tab widgets' pages, and those pages.
struct Reach {
  std::vector<Keyed> captions;
  std::vector<QWidget*> pages;
};

Reach ReachOf(QWidget& scope) {
  Reach reach;
  for (QWidget* widget : scope.findChildren<QWidget*>()) {
    if (PartOfAnother(*widget, scope)) continue;
    const QWidget* page = PageOf(*widget, scope);
    if (page == widget) reach.pages.push_back(widget);
    if (page != nullptr) continue;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      PressesOnEnter(*button);
      if (button->text().isEmpty()) continue;
      reach.captions.push_back({[button] { return button->text(); },
                                [button](const QString& text) { button->setText(text); }});
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      if (label->buddy() == nullptr || label->text().isEmpty() ||
          label->textFormat() == Qt::RichText)
        continue;
      reach.captions.push_back({[label] { return label->text(); },
                                [label](const QString& text) { label->setText(text); }});
    } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
      for (int i = 0; i < tabs->count(); ++i)
        reach.captions.push_back({[tabs, i] { return tabs->tabText(i); },
                                  [tabs, i](const QString& text) { tabs->setTabText(i, text); }});
    }
  }
  return reach;
}

void Assign(std::vector<Keyed>& captions, QString& taken, const QString& spare = {}) {
  QStringList texts;
  for (const Keyed& caption : captions) texts << caption.get();
  const QStringList keyed = WithLetterKeys(texts, taken, spare);
  for (std::size_t i = 0; i < captions.size(); ++i)
    if (keyed[qsizetype(i)] != texts[qsizetype(i)]) captions[i].set(keyed[qsizetype(i)]);
}

// Gives the captions of a reach their keys, then each of its pages' theirs.
void GiveWithin(Reach reach, QString taken) {
  std::vector<Reach> pages;
  QString pagesOwn;
  for (QWidget* page : reach.pages) {
    pages.push_back(ReachOf(*page));
    for (const Keyed& caption : pages.back().captions)
      if (const QChar key = LetterKeyOf(caption.get()); !key.isNull()) pagesOwn += key;
  }
  Assign(reach.captions, taken, pagesOwn);
  for (Reach& page : pages) GiveWithin(std::move(page), taken);
}

}  // namespace

namespace {

// Where in a caption its key could go: letters that start a word, or all
// letters; each letter once.
std::vector<qsizetype> Candidates(const QString& plain, bool wordStartsOnly) {
  std::vector<qsizetype> at;
  QString seen;
  for (qsizetype i = 0; i < plain.size(); ++i) {
    const QChar c = plain[i].toLower();
    if (!Typeable(c) || seen.contains(c)) continue;
    if (wordStartsOnly && i > 0 && plain[i - 1].isLetterOrNumber()) continue;
    seen += c;
    at.push_back(i);
  }
  return at;
}

// Seats the captions on free letters: each takes its first free one, and
// one left without moves others along (an augmenting path) when it can.
// Letters that start a word are seated first, then any letter.
class Seating {
 public:
  Seating(const QStringList& plain, const QString& held) : plain_(plain), held_(held) {
    seat_.assign(plain.size(), -1);
  }

  void SeatAll() {
    for (const bool wordStartsOnly : {true, false}) {
      candidates_.clear();
      for (const QString& caption : plain_)
        candidates_.push_back(Candidates(caption, wordStartsOnly));
      SeatRound();
    }
  }

  qsizetype SeatOf(std::size_t who) const { return seat_[who]; }

 private:
  void SeatRound() {
    for (std::size_t who = 0; who < std::size_t(plain_.size()); ++who) {
      if (seat_[who] >= 0) continue;
      for (qsizetype at : candidates_[who])
        if (Free(plain_[qsizetype(who)][at])) {
          seat_[who] = at;
          break;
        }
      if (seat_[who] < 0) {
        std::vector<bool> tried(36, false);
        Move(who, tried);
      }
    }
  }
  static int Slot(QChar c) {
    const char16_t u = c.toLower().unicode();
    return u >= u'a' ? u - u'a' : 26 + (u - u'0');
  }
  // The caption seated on the letter, or -1.
  int Holder(QChar c) const {
    for (std::size_t who = 0; who < std::size_t(plain_.size()); ++who)
      if (seat_[who] >= 0 && Slot(plain_[qsizetype(who)][seat_[who]]) == Slot(c)) return int(who);
    return -1;
  }
  bool Free(QChar c) const { return !held_.contains(c.toLower()) && Holder(c) < 0; }
  bool Move(std::size_t who, std::vector<bool>& tried) {
    for (qsizetype at : candidates_[who]) {
      const QChar c = plain_[qsizetype(who)][at];
      if (held_.contains(c.toLower()) || tried[Slot(c)]) continue;
      tried[Slot(c)] = true;
      const int holder = Holder(c);
      if (holder < 0 || Move(std::size_t(holder), tried)) {
        seat_[who] = at;
        return true;
      }
    }
    return false;
  }

  const QStringList& plain_;
  const QString& held_;
  std::vector<std::vector<qsizetype>> candidates_;
  std::vector<qsizetype> seat_;
};

}  // namespace

QStringList WithLetterKeys(const QStringList& captions, QString& taken, const QString& spare) {
  QStringList keyed = captions;
  std::vector<qsizetype> unkeyed;
  for (qsizetype i = 0; i < captions.size(); ++i) {
    const QChar key = LetterKeyOf(captions[i]);
    if (!key.isNull() && Typeable(key) && !taken.contains(key)) {
      taken += key;
    } else {
      unkeyed.push_back(i);
      keyed[i] = WithoutLetterKey(captions[i]);
    }
  }
  QStringList plain;
  for (qsizetype i : unkeyed) plain << keyed[i];
  const QString held = taken + spare.toLower();
  Seating seating(plain, held);
  seating.SeatAll();
  for (std::size_t n = 0; n < unkeyed.size(); ++n) {
    const qsizetype at = seating.SeatOf(n);
    if (at < 0) continue;
    taken += plain[qsizetype(n)][at].toLower();
    keyed[unkeyed[n]].insert(at, QLatin1Char('&'));
  }
  return keyed;
}

QChar LetterKeyOf(const QString& caption) {
  const qsizetype at = MarkedAt(caption);
  return at < 0 ? QChar() : caption[at].toLower();
}

QString WithoutLetterKey(const QString& caption) {
  const qsizetype at = MarkedAt(caption);
  return at < 0 ? caption : QString(caption).remove(at - 1, 1);
}

void GiveLetterKeys(QWidget& window) {
  GiveWithin(ReachOf(window), {});
  for (QMenu* menu : window.findChildren<QMenu*>()) GiveLetterKeys(*menu);
}

void GiveLetterKeys(QMenu& menu) {
  std::vector<Keyed> captions;
  for (QAction* action : menu.actions()) {
    if (action->isSeparator() || action->text().isEmpty()) continue;
    captions.push_back({[action] { return action->text(); },
                        [action](const QString& text) { action->setText(text); }});
  }
  QString taken;
  Assign(captions, taken);
}

void GiveLetterKeysToDialogs() {
  // Watches the application's events for a dialog about to show.
  class OnShow : public QObject {
   public:
    using QObject::QObject;

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::Show) {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog != nullptr && dialog->isWindow()) GiveLetterKeys(*dialog);
      }
      return false;
    }
  };
  static OnShow* watcher = nullptr;
  if (watcher != nullptr || QApplication::instance() == nullptr) return;
  watcher = new OnShow(QApplication::instance());
  QApplication::instance()->installEventFilter(watcher);
}

}  // namespace zafirel
