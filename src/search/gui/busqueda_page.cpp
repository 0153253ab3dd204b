#include "search/gui/busqueda_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>

#include "search/gui/search_results_model.h"

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
  BCancelar->hide();
  Barra = new QProgressBar(this);
  Barra->setObjectName("Barra");
  Barra->setTextVisible(false);
  Barra->setMaximumHeight(12);
  Barra->hide();
  LEncontrados = new QLabel(QStringLiteral("--------------"), this);
  LEncontrados->setObjectName("LEncontrados");
  LEncontrados->hide();
  Label3 = new QLabel(QStringLiteral("Búsquedas anteriores"), this);
  Label3->setObjectName("Label3");
  CBusquedas = new QComboBox(this);
  CBusquedas->setObjectName("CBusquedas");
  GrabarBusca = new QPushButton(QStringLiteral("Grabar búsqueda"), this);
  GrabarBusca->setObjectName("GrabarBusca");
  for (QPushButton* button : {BBuscar, BCancelar, GrabarBusca}) button->setFlat(true);

  Busca = new QTreeView(this);
  Busca->setObjectName("Busca");
  Resultados = new SearchResultsModel(this);
  Resultados->SetIcon(style()->standardIcon(QStyle::SP_FileIcon));
  Busca->setModel(Resultados);
  Busca->setHeaderHidden(true);
  Busca->setUniformRowHeights(true);
  Busca->setEditTriggers(QAbstractItemView::NoEditTriggers);

  grid->addWidget(EBusca, 0, 0);
  grid->addWidget(BBuscar, 0, 1);
  grid->addWidget(BCancelar, 0, 2);
  grid->addWidget(Label3, 1, 0, Qt::AlignRight);
  grid->addWidget(CBusquedas, 1, 1);
  grid->addWidget(GrabarBusca, 1, 2);
  grid->addWidget(Barra, 2, 0, 1, 2);
  grid->addWidget(LEncontrados, 2, 2);
  grid->addWidget(Busca, 3, 0, 1, 3);
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(3, 1);
}

}  // namespace zafirel
