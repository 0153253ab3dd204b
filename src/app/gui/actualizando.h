// TActualizando: the modeless progress window of a long operation (building
// index files, upgrading the disc table). It stays on top and has no
// title-bar buttons; its owner releases it when the operation ends.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QProgressBar;

namespace zafirel {

class TActualizando : public QDialog {
  Q_OBJECT
 public:
  explicit TActualizando(QWidget* parent = nullptr);

  QFrame* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QProgressBar* Barra = nullptr;
  QProgressBar* Barra2 = nullptr;  // present in the layout, never shown
};

}  // namespace zafirel
