// The main window's page control with tabs the program paints itself: the
// active tab light on dark, the others dark on light, a lighter shade under
// the mouse. Captions are the tabs' texts, which the window sets from the
// language file whenever it is relabelled (so a repaint reads no file, and
// the tabs are laid out again for the new captions' widths).
#pragma once

#include <QTabBar>
#include <QTabWidget>

namespace zafirel {

class OwnerDrawnTabBar : public QTabBar {
  Q_OBJECT
 public:
  explicit OwnerDrawnTabBar(QWidget* parent = nullptr);
  QString CaptionOf(int index) const { return tabText(index); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  QSize tabSizeHint(int index) const override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void PaginaDrawTab(QPainter& painter, int index, bool active, const QRect& rect) const;
  int hovered_ = -1;
};

class PageControl : public QTabWidget {
  Q_OBJECT
 public:
  explicit PageControl(QWidget* parent = nullptr);
  OwnerDrawnTabBar* Tabs() const { return tabs_; }

 private:
  OwnerDrawnTabBar* tabs_;
};

}  // namespace zafirel
