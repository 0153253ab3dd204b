// The "Catálogos" page: the disc list with its album filter above it.
#pragma once

#include <QWidget>

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
  explicit CatalogosPage(QWidget* parent = nullptr);

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
};

}  // namespace zafirel
