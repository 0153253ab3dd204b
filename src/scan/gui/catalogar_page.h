// The "Catalogar" page: the buttons that start and stop a catalogue run and
// the run's two options.
#pragma once

#include <QWidget>

class QCheckBox;
class QFrame;
class QPlainTextEdit;
class QPushButton;

namespace zafirel {

class CatalogarPage : public QWidget {
  Q_OBJECT
 public:
  explicit CatalogarPage(QWidget* parent = nullptr);

  QPushButton* Catalogar = nullptr;
  QPushButton* Parar = nullptr;
  QFrame* Panel1 = nullptr;
  QCheckBox* Subdirectorios = nullptr;
  QCheckBox* Zips = nullptr;
  QPlainTextEdit* Memo1 = nullptr;  // never shown: buffer for description files
};

}  // namespace zafirel
