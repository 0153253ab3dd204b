// Small makers for the controls every dialog of the program shares: the
// flat push button and the dark strip along a dialog's top.
#pragma once

#include <QPushButton>
#include <QString>
#include <QWidget>

#include "util/gui/palette.h"

namespace zafirel {

// A flat button that Enter in a text box does not press.
inline QPushButton* FlatButton(const QString& caption, QWidget* parent, const char* name = "") {
  auto* button = new QPushButton(caption, parent);
  if (*name != '\0') button->setObjectName(name);
  button->setFlat(true);
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

}  // namespace zafirel
