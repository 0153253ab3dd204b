// The program's colours and the look every one of its windows shares.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

namespace zafirel::colors {

inline const QColor kWindow{248, 246, 230};
inline const QColor kStatus{255, 204, 0};
inline const QColor kTabDark{51, 102, 153};
inline const QColor kTabLight{239, 233, 224};

// Arial 8 points on the program's cream background.
inline void ApplyWindowLook(QWidget& window) {
  window.setFont(QFont("Arial", 8));
  window.setAutoFillBackground(true);
  QPalette pal = window.palette();
  pal.setColor(QPalette::Window, kWindow);
  window.setPalette(pal);
}

}  // namespace zafirel::colors
