// TOpciones: where the disc table lives (chosen by picking its CDROM.DBF)
// and which language file the window speaks. Both are saved when it closes,
// and Escape closes it as "Aceptar" does.
#pragma once

#include <string>

#include "util/gui/escape_confirms_dialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace zafirel {

class TMenuPral;

class TOpciones : public EscapeConfirmsDialog {
  Q_OBJECT
 public:
  explicit TOpciones(TMenuPral& main);
  ~TOpciones() override;

  void BBuscaClick();
  void AceptarClick();

  QLabel* Panel11;
  QLabel* Label1;
  QLineEdit* Edit1;
  QToolButton* BBusca;
  QLabel* Label21;
  QComboBox* Modelos;
  QLabel* ASLink1;
  QPushButton* Aceptar;

 protected:
  void Confirm() override { AceptarClick(); }

 private:
  void FormCreate();
  void FormClose();
  TMenuPral& main_;
  bool closed_ = false;
};

}  // namespace zafirel
