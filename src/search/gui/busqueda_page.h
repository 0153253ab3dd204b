// The "Búsqueda" page: the search box, the earlier searches and the results tree.
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace zafirel {

class BusquedaPage : public QWidget {
  Q_OBJECT
 public:
  explicit BusquedaPage(QWidget* parent = nullptr);

  QLineEdit* EBusca = nullptr;
  QPushButton* BBuscar = nullptr;
  QPushButton* BCancelar = nullptr;
  QLabel* Label3 = nullptr;
  QComboBox* CBusquedas = nullptr;
  QPushButton* GrabarBusca = nullptr;
  QTreeWidget* Busca = nullptr;
};

}  // namespace zafirel
