// The main window's page control with tabs the program paints itself: the
// active tab light on dark, the others dark on light, a lighter shade under
// the mouse, and each caption looked up anew at every paint so a language
// change shows at the next repaint.
#pragma once

#include <QTabBar>
#include <QTabWidget>
#include <functional>

namespace zafirel {

class OwnerDrawnTabBar : public QTabBar {
  Q_OBJECT
 public:
  using CaptionLookup = std::function<QString(int index)>;
  explicit OwnerDrawnTabBar(QWidget* parent = nullptr);
  void SetCaptionLookup(CaptionLookup lookup) { caption_ = std::move(lookup); }
  QString CaptionOf(int index) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  QSize tabSizeHint(int index) const override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void PaginaDrawTab(QPainter& painter, int index, bool active, const QRect& rect) const;
  CaptionLookup caption_;
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
