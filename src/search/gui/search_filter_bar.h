// The row of filters under the search box: a kind of file, extensions, a
// size range, a date range, an album and a set of discs. Hidden until the user opens it;
// what it holds, and whether it is open, are kept in the settings from one
// start to the next.
#pragma once

#include <QWidget>
#include <string>
#include <variant>
#include <vector>

#include "search/search_filter.h"
#include "util/gui/services.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

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
  // The settings' values, the album among the table's albums.
  void Restore();
  // What the row holds goes to the settings.
  void Remember() const;
  void Retranslate();
  // The discs a search is kept to (their numbers); none: every disc.
  void SetDiscs(std::vector<std::string> numbers);

 signals:
  // "Discos..." was pressed: the discs are to be chosen (SetDiscs).
  void DiscsWanted();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowDiscs();
  // The table's albums in the album box, the one chosen (or remembered)
  // chosen again: the table opens after the settings are read, and discs
  // come and go.
  void FillAlbums();

  std::string Traduce(const char* key) const;

  PageServices services_;
  QString wantedAlbum_;  // the album the settings name, until the box holds it
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
  QPushButton* BDiscos = nullptr;
  QLabel* LDiscos = nullptr;
  std::vector<std::string> discs_;
};

}  // namespace zafirel
