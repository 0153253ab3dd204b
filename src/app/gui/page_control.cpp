#include "app/gui/page_control.h"

#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

#include "util/gui/palette.h"

namespace zafirel {

OwnerDrawnTabBar::OwnerDrawnTabBar(QWidget* parent) : QTabBar(parent) {
  setObjectName("PaginaTabs");
  setMouseTracking(true);
  setDrawBase(false);
  setExpanding(false);
}

QSize OwnerDrawnTabBar::tabSizeHint(int index) const {
  const QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(CaptionOf(index).remove(QLatin1Char('&'))) + 8,
          metrics.height() + 6};
}

void OwnerDrawnTabBar::PaginaDrawTab(QPainter& painter, int index, bool active,
                                     const QRect& rect) const {
  QColor back = active ? colors::kTabDark : colors::kTabLight;
  const QColor text = active ? colors::kTabLight : colors::kTabDark;
  if (!active && index == hovered_) back = back.lighter(106);
  painter.fillRect(rect, back);
  painter.setPen(text);
  // The caption's top-left corner sits 2 pixels right of and below the tab's;
  // an "&" in a caption marks its accelerator.
  painter.drawText(rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic,
                   CaptionOf(index));
}

void OwnerDrawnTabBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  for (int i = 0; i < count(); ++i) {
    if (!isTabVisible(i)) continue;
    try {
      PaginaDrawTab(painter, i, i == currentIndex(), tabRect(i));
    } catch (const std::exception&) {
      // A tab that cannot be drawn stays blank; the others still are.
    }
  }
  // With the keyboard's focus, the current tab is framed in its caption's
  // colour: the arrows then move between the tabs.
  if (hasFocus() && currentIndex() >= 0 && isTabVisible(currentIndex())) {
    painter.setPen(QPen(colors::kTabLight, 1, Qt::DotLine));
    painter.drawRect(tabRect(currentIndex()).adjusted(1, 1, -2, -2));
  }
}

void OwnerDrawnTabBar::focusInEvent(QFocusEvent* event) {
  QTabBar::focusInEvent(event);
  update();
}

void OwnerDrawnTabBar::focusOutEvent(QFocusEvent* event) {
  QTabBar::focusOutEvent(event);
  update();
}

bool OwnerDrawnTabBar::event(QEvent* event) {
  // A hidden tab keeps its letter key in Qt: the key leads nowhere instead.
  if (event->type() == QEvent::Shortcut) {
    const QKeySequence keys = static_cast<QShortcutEvent*>(event)->key();
    for (int i = 0; i < count(); ++i)
      if (!isTabVisible(i) && QKeySequence::mnemonic(tabText(i)) == keys) return true;
  }
  return QTabBar::event(event);
}

void OwnerDrawnTabBar::mouseMoveEvent(QMouseEvent* event) {
  const int now = tabAt(event->position().toPoint());
  if (now != hovered_) {
    hovered_ = now;
    update();
  }
  QTabBar::mouseMoveEvent(event);
}

void OwnerDrawnTabBar::leaveEvent(QEvent* event) {
  hovered_ = -1;
  update();
  QTabBar::leaveEvent(event);
}

PageControl::PageControl(QWidget* parent) : QTabWidget(parent), tabs_(new OwnerDrawnTabBar) {
  setObjectName("Pagina");
  setTabBar(tabs_);
  setDocumentMode(true);
}

}  // namespace zafirel
