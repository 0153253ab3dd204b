// "Archivos repetidos": the files held on more than one disc, in groups
// (name, size, copies, total size), largest first, each copy under its
// group with its disc. A copy chosen (double click or Enter) closes the
// dialog and is handed on through Chosen, to be shown as a search hit is;
// the list can be saved as a page beside the saved searches.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <utility>

#include "util/gui/services.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace zafirel {

class RepetidosDialog : public QDialog {
  Q_OBJECT
 public:
  // At most this many groups are listed; the count says how many there are.
  static constexpr int kMaxGroups = 20000;

  RepetidosDialog(const PageServices& services, QWidget* parent = nullptr);

  // Lists the groups for the chosen way of matching and minimum size.
  void Buscar();
  // Saves the list as "Repetidos.htm" in the searches folder and opens it.
  void Grabar();
  // The copy chosen: its disc's number and its path.
  const std::optional<std::pair<std::string, std::string>>& Chosen() const { return chosen_; }

 private:
  std::string Traduce(const char* key) const;

  PageServices services_;
  QLabel* LComparar = nullptr;
  QComboBox* CComparar = nullptr;
  QLabel* LTamanioMinimo = nullptr;
  QLineEdit* ETamanioMinimo = nullptr;
  QPushButton* BBuscar = nullptr;
  QTreeWidget* Grupos = nullptr;
  QLabel* LTotal = nullptr;
  QPushButton* BGrabar = nullptr;
  QPushButton* BCerrar = nullptr;
  std::optional<std::pair<std::string, std::string>> chosen_;
};

}  // namespace zafirel
