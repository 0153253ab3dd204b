// The row of filters under the search box: a kind of file, extensions, a
// size range, a date range and an album. Hidden until the user opens it;
// what it holds, and whether it is open, are kept in the settings from one
// start to the next.
#pragma once

#include <QWidget>
#include <string>
#include <variant>

#include "search/search_filter.h"
#include "util/gui/services.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;

namespace zafirel {

class SearchFilterBar : public QWidget {
  Q_OBJECT
 public:
  explicit SearchFilterBar(const PageServices& services, QWidget* parent = nullptr);

  // The filter the row asks for (none while it is closed), or the text of
  // what cannot be read (a size).
  std::variant<SearchFilter, std::string> Filter() const;
  // Opens or closes the row and remembers it.
  void SetOpen(bool open);
  // The albums of the table in the album box; the settings' values.
  void Restore();
  // What the row holds goes to the settings.
  void Remember() const;
  void Retranslate();

 private:
  std::string Traduce(const char* key) const;

  PageServices services_;
  QLabel* LTipo = nullptr;
  QComboBox* CTipo = nullptr;
  QLineEdit* EExtensiones = nullptr;
  QLabel* LTamanio = nullptr;
  QLineEdit* ETamanioDesde = nullptr;
  QLineEdit* ETamanioHasta = nullptr;
  QLabel* LFecha = nullptr;
  QDateEdit* DFechaDesde = nullptr;
  QDateEdit* DFechaHasta = nullptr;
  QLabel* LAlbum = nullptr;
  QComboBox* CAlbum = nullptr;
};

}  // namespace zafirel
