// The program's colours and the look every one of its windows shares.
#pragma once

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QWidget>

namespace zafirel::colors {

inline const QColor kWindow{248, 246, 230};
inline const QColor kStatus{255, 204, 0};
inline const QColor kTabDark{51, 102, 153};
inline const QColor kTabLight{239, 233, 224};
// Their counterparts on a dark desktop palette, and the texts on each.
inline const QColor kDarkWindow{46, 44, 36};
inline const QColor kDarkStatus{102, 77, 0};
inline const QColor kLightText{0, 0, 0};
inline const QColor kDarkText{240, 238, 228};

// Whether the desktop's palette is a dark one: the window darker than its text.
inline bool DarkPalette() {
  const QPalette palette = QGuiApplication::palette();
  return palette.color(QPalette::Window).lightnessF() <
         palette.color(QPalette::WindowText).lightnessF();
}

// A background of the program's own and the text on it: the light colour
// and black text on a light palette, the dark counterpart and light text on
// a dark one, so that every text stands out from what is behind it.
inline void Paint(QWidget& widget, const QColor& light, const QColor& dark) {
  const bool darkPalette = DarkPalette();
  widget.setAutoFillBackground(true);
  QPalette pal = widget.palette();
  pal.setColor(QPalette::Window, darkPalette ? dark : light);
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
    for (const QPalette::ColorRole text : {QPalette::WindowText, QPalette::ButtonText})
      pal.setColor(group, text, darkPalette ? kDarkText : kLightText);
  widget.setPalette(pal);
}

// Arial 8 points on the program's cream background (its dark counterpart
// on a dark palette).
inline void ApplyWindowLook(QWidget& window) {
  window.setFont(QFont("Arial", 8));
  Paint(window, kWindow, kDarkWindow);
}

}  // namespace zafirel::colors
