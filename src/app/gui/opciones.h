// TOpciones: where the disc table lives (chosen by picking its CDROM.DBF)
// and which language file the window speaks. Both are saved when it closes,
// and Escape closes it as "Aceptar" does.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "util/gui/escape_confirms_dialog.h"
#include "util/gui/services.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace zafirel {

class TOpciones : public EscapeConfirmsDialog {
  Q_OBJECT
 public:
  // What the dialog changes in the window: the data folder in use (throws
  // what refused the folder, the previous one back in use) and the language
  // of every caption.
  struct Window {
    std::function<void(const std::filesystem::path& folder)> useDataFolder;
    std::function<void(const std::string& languageFile)> relabel;
  };
  TOpciones(const PageServices& services, Window window, QWidget* parent);
  ~TOpciones() override;

  void BBuscaClick();
  // Fills the language list from the data folder's language files, current
  // chosen.
  void ListLanguages(const std::string& current);
  void AceptarClick();

 protected:
  void Confirm() override { AceptarClick(); }

 private:
  void FormCreate();
  void FormClose();
  std::string Traduce(const char* key) const;
  PageServices services_;
  Window window_;
  bool closed_ = false;

  QLabel* Panel11;
  QLabel* Label1;
  QLineEdit* Edit1;
  QToolButton* BBusca;
  QLabel* Label21;
  QComboBox* Modelos;
  QLabel* ASLink1;
  QPushButton* Aceptar;
};

}  // namespace zafirel
