#include "search/gui/busqueda_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace zafirel {

BusquedaPage::BusquedaPage(QWidget* parent) : QWidget(parent) {
  setObjectName("PBusqueda");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 6, 6, 6);

  EBusca = new QLineEdit(this);
  EBusca->setObjectName("EBusca");
  BBuscar = new QPushButton(QStringLiteral("&Buscar"), this);
  BBuscar->setObjectName("BBuscar");
  BCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
  BCancelar->setObjectName("BCancelar");
  BCancelar->setEnabled(false);
  Label3 = new QLabel(QStringLiteral("Búsquedas anteriores"), this);
  Label3->setObjectName("Label3");
  CBusquedas = new QComboBox(this);
  CBusquedas->setObjectName("CBusquedas");
  GrabarBusca = new QPushButton(QStringLiteral("Grabar búsqueda"), this);
  GrabarBusca->setObjectName("GrabarBusca");
  for (QPushButton* button : {BBuscar, BCancelar, GrabarBusca}) button->setFlat(true);

  Busca = new QTreeWidget(this);
  Busca->setObjectName("Busca");
  Busca->setHeaderHidden(true);
  Busca->setUniformRowHeights(true);

  grid->addWidget(EBusca, 0, 0);
  grid->addWidget(BBuscar, 0, 1);
  grid->addWidget(BCancelar, 0, 2);
  grid->addWidget(Label3, 1, 0, Qt::AlignRight);
  grid->addWidget(CBusquedas, 1, 1);
  grid->addWidget(GrabarBusca, 1, 2);
  grid->addWidget(Busca, 2, 0, 1, 3);
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(2, 1);
}

}  // namespace zafirel
