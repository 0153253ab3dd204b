// TSeleccionaCDs: the discs to export, each with a check mark, all at once
// ("Todos"), none ("Ninguno") or one by one, optionally narrowed to one
// album. The caller reads the marked discs before it releases the dialog.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "util/gui/escape_confirms_dialog.h"
#include "util/gui/services.h"

class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

namespace zafirel {

class TSeleccionaCDs : public EscapeConfirmsDialog {
  Q_OBJECT
 public:
  TSeleccionaCDs(const PageServices& services, QWidget* parent);

  void RellenaCDs();
  void CMetodoAClick();
  void CMetodoBClick();
  void CFiltroChange();
  void AceptarClick() { accept(); }

  // The numbers of the marked discs: each item's text up to its first ".".
  std::vector<std::string> MarkedNumbers() const;

 protected:
  void Confirm() override { AceptarClick(); }

 private:
  void FormCreate();
  void MarkAll(bool marked);
  PageServices services_;

  QFrame* Panel11;
  QListWidget* Cds;
  QLabel* Label23;
  QToolButton* CMetodoA;
  QToolButton* CMetodoB;
  QComboBox* CFiltro;
  QLabel* Label4;
  QPushButton* Aceptar;
};

}  // namespace zafirel
