// The "Búsqueda" page: the search box, the earlier searches and the results tree.
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QProgressBar;
class QTreeView;

namespace zafirel {

class SearchResultsModel;

class BusquedaPage : public QWidget {
  Q_OBJECT
 public:
  explicit BusquedaPage(QWidget* parent = nullptr);

  QLineEdit* EBusca = nullptr;
  QPushButton* BBuscar = nullptr;
  QPushButton* BCancelar = nullptr;
  QProgressBar* Barra = nullptr;
  QLabel* LEncontrados = nullptr;
  QLabel* Label3 = nullptr;
  QComboBox* CBusquedas = nullptr;
  QPushButton* GrabarBusca = nullptr;
  QTreeView* Busca = nullptr;
  SearchResultsModel* Resultados = nullptr;  // the tree Busca shows
};

}  // namespace zafirel
