// TPropiedades: a file entry's properties (path, size, date) and the box for
// its comment. Closing it by its button or by Escape keeps what was typed.
#pragma once

#include <string>

#include "util/gui/escape_confirms_dialog.h"
#include "util/locale.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zafirel {

class Language;

class TPropiedades : public EscapeConfirmsDialog {
  Q_OBJECT
 public:
  TPropiedades(Language& leng, QWidget* parent = nullptr);

  // Fills the dialog from a file-list line and shows it modally.
  void Show(const std::string& line, const Locale& locale);
  // The typed comment, ANSI, lines joined with CR LF.
  std::string Comment() const;

  void AceptarClick();

 protected:
  void Confirm() override { AceptarClick(); }

 private:
  void FormCreate();
  Language& leng_;

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QPushButton* Aceptar = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
};

}  // namespace zafirel
