// The "Búsqueda" page: the search box, the earlier searches saved as pages,
// and the results tree. A search reads every disc's catalogue file and
// keeps the window alive while it goes; a hit chosen in the tree is handed
// on with HitChosen.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "search/search_filter.h"
#include "util/gui/services.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QProgressBar;
class QTreeView;

namespace zafirel {

class SearchFilterBar;
class SearchResultsModel;

class BusquedaPage : public QWidget {
  Q_OBJECT
 public:
  explicit BusquedaPage(const PageServices& services, QWidget* parent = nullptr);

  // Searches every catalogue for the text; one search at a time.
  void BuscaEnArchivos(const std::string& text);
  void BBuscarClick();
  void BCancelarClick() { BusquedaCancelada = true; }
  // The chosen node of the results: a hit goes out with its disc's number.
  void BuscaDblClick();
  // Saves the results as a page and opens it.
  void GrabarBuscaClick();
  // Saves the last search's hits as CSV, for a spreadsheet, and opens it.
  void GrabarCsvClick();
  // Opens the saved page chosen in the history box.
  void CBusquedasChange();
  void RellenaBusquedas();
  // The text last searched for, from the settings.
  void RestoreLastSearch();
  // The keyboard goes to the search box, as when the page is shown.
  void FocusSearchBox();
  void Retranslate();

  bool Searching() const { return searching_; }
  // The discs searches are kept to; none: every disc.
  void SetFilterDiscs(std::vector<std::string> numbers);
  // Ends a search under way without its closing message: the window closes.
  void StopForClosing();

  bool BusquedaCancelada = false;

 signals:
  // A hit of the results was chosen: the file hitPath of disc number.
  void HitChosen(const std::string& number, const std::string& hitPath);
  // A click in the results tree.
  void ResultsClicked();
  // The disc current before the search is current again.
  void TitleChosen(const std::string& title);
  // The search is over (also when it was stopped for closing).
  void SearchEnded();
  // The filter row asks for the discs a search is kept to (SetFilterDiscs).
  void DiscsWanted();

 private:
  std::string Traduce(const char* key) const;
  void ConnectControls();

  QLineEdit* EBusca = nullptr;
  QPushButton* BBuscar = nullptr;
  QPushButton* BCancelar = nullptr;
  QProgressBar* Barra = nullptr;
  QLabel* LEncontrados = nullptr;
  QLabel* Label3 = nullptr;
  QComboBox* CBusquedas = nullptr;
  QPushButton* GrabarBusca = nullptr;
  QPushButton* GrabarCsv = nullptr;
  QPushButton* BFiltros = nullptr;
  SearchFilterBar* Filtros = nullptr;  // opened and closed by BFiltros
  QTreeView* Busca = nullptr;
  SearchResultsModel* Resultados = nullptr;  // the tree Busca shows

  PageServices services_;
  bool searching_ = false;
  // The text and filter of the search whose results are shown.
  std::string lastText_;
  SearchFilter lastFilter_;
  bool closing_ = false;
};

}  // namespace zafirel
