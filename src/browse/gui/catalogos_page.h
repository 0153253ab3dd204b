// The "Catálogos" page: the disc list with its album filter above it, and the
// commands on a disc of the list (edit, delete). The page keeps the main
// cursor of the disc table on the disc chosen in the list and says so with
// TitleChosen.
#pragma once

#include <QWidget>
#include <optional>
#include <string>
#include <utility>

#include "util/gui/services.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;

namespace zafirel {

class DiscListModel;

class CatalogosPage : public QWidget {
  Q_OBJECT
 public:
  explicit CatalogosPage(const PageServices& services, QWidget* parent = nullptr);

  // While one lives, a change of the selected row does not move the main
  // cursor: the program fills the list, selects the row of a disc it made
  // current, or moves the cursor itself. Like QSignalBlocker it gives back
  // the state it found, so blockers nest.
  class QuietSelection {
   public:
    explicit QuietSelection(CatalogosPage& page)
        : page_(page), before_(std::exchange(page.quietSelection_, true)) {}
    ~QuietSelection() { page_.quietSelection_ = before_; }
    QuietSelection(const QuietSelection&) = delete;
    QuietSelection& operator=(const QuietSelection&) = delete;

   private:
    CatalogosPage& page_;
    const bool before_;
  };

  // Fills the list in the key's order ("FiltroAlbum": the album filter's).
  // The disc current before stays current, its row selected.
  void RellenaCDs(const std::string& key);
  // Makes the disc of a row the current one.
  void CDsChange(int row);
  // Orders the list by a column and remembers the order in the settings.
  void CDsColumnClick(int column);
  void CDsDblClick();
  // Selects the row of the disc under the main cursor and scrolls it into
  // view, without moving the cursor: the program makes a disc current first
  // and then shows it here. A disc the list does not show (another album's)
  // leaves no row selected, so a selected row is always the current disc's.
  // Rows are found by disc number, never by title, which two discs may share
  // or begin alike.
  bool SelectCurrentDiscRow();
  // Offers the albums of the table in the filter box.
  void RellenaFiltro();
  void HacerFiltro();
  void CFiltroChange();
  void BLimpiarFiltroClick();
  void EditarCD1Click();
  void BorrarCD1Click();
  // The selected disc, to be walked again where it is now.
  void ActualizarCD1Click();
  // Deletes a disc with its pictures and catalogue files.
  void BorrarCatalogo(const std::string& number);
  // Opens the disc editor on the current disc and shows the list again after it.
  void EditCurrentDisc();
  // Shows every disc again when a filter is on.
  void ClearFilter();
  // Makes the disc of a number current and selects its row; false (and the
  // user told) when no such disc is left.
  bool MakeCurrent(const std::string& number);

  // The list in the saved order, the current disc's row selected.
  void Refill();
  std::string SavedSortKey();
  // The title of the disc under the main cursor; empty when there is none.
  std::string CurrentTitle();
  void Retranslate();
  // The list's orders, one a column, for the Principal menu too.
  QMenu* SortMenu() const { return OrdenarPor1; }

 signals:
  // A disc became current: the status line shows its title.
  void TitleChosen(const std::string& title);
  // The list was filled; discs is how many the disc table holds (a filtered
  // list may show fewer), and none leaves no disc to name.
  void ListFilled(int discs);
  // A double click or Enter on a disc: its files are wanted.
  void OpenRequested();
  // A disc is about to go: a catalogue of it shown elsewhere is let go.
  void DiscDeleting(const std::string& number);
  // A disc went; the first disc left, if any, is current.
  void DiscDeleted();
  // The disc of that number is to be walked again.
  void UpdateRequested(const std::string& number);
  // An order was chosen from the "Ordenar por" menu.
  void OrderChosen();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::string Traduce(const char* key) const;
  int SelectedDiscRow() const;
  bool LocateDiscOfRow(int row);
  void ConnectControls();

  QFrame* Panel4 = nullptr;
  QLabel* Label4 = nullptr;
  QComboBox* CFiltro = nullptr;
  QPushButton* BLimpiarFiltro = nullptr;
  QLabel* Label5 = nullptr;
  QTableView* CDs = nullptr;
  DiscListModel* Discos = nullptr;  // the rows CDs shows
  QMenu* PopUpCDs = nullptr;
  QAction* EditarCD1 = nullptr;
  QAction* BorrarCD1 = nullptr;
  QAction* ActualizarCD1 = nullptr;
  QMenu* OrdenarPor1 = nullptr;  // the list's orders, one a column

  PageServices services_;
  bool quietSelection_ = false;  // see QuietSelection
  std::string listedAlbum_;      // the album the list is confined to; empty for all discs
  std::optional<std::uint32_t> discsInTable_;  // at the last fill
  // "Total de catálogos:" and, once the list was filled, the table's count.
  void TotalLine();
};

}  // namespace zafirel
