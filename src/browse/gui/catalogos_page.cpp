#include "browse/gui/catalogos_page.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zafirel {

CatalogosPage::CatalogosPage(QWidget* parent) : QWidget(parent) {
  setObjectName("PCatalogos");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Panel4 = new QFrame(this);
  Panel4->setObjectName("Panel4");
  Panel4->setFixedHeight(37);
  auto* bar = new QHBoxLayout(Panel4);
  bar->setContentsMargins(6, 4, 6, 4);
  Label4 = new QLabel(QStringLiteral("Filtrar por album..."), Panel4);
  Label4->setObjectName("Label4");
  CFiltro = new QComboBox(Panel4);
  CFiltro->setObjectName("CFiltro");
  CFiltro->setMinimumWidth(160);
  BLimpiarFiltro = new QPushButton(QStringLiteral("Limpiar filtro"), Panel4);
  BLimpiarFiltro->setObjectName("BLimpiarFiltro");
  BLimpiarFiltro->setFlat(true);
  Label5 = new QLabel(QStringLiteral("------------"), Panel4);
  Label5->setObjectName("Label5");
  Label5->setAlignment(Qt::AlignCenter);
  QFont bold = Label5->font();
  bold.setBold(true);
  Label5->setFont(bold);
  bar->addWidget(Label4);
  bar->addWidget(CFiltro);
  bar->addWidget(BLimpiarFiltro);
  bar->addWidget(Label5, 1);
  column->addWidget(Panel4);

  CDs = new QTreeWidget(this);
  CDs->setObjectName("CDs");
  CDs->setRootIsDecorated(false);
  CDs->setUniformRowHeights(true);
  CDs->setAllColumnsShowFocus(true);
  CDs->setSelectionMode(QAbstractItemView::SingleSelection);
  CDs->setEditTriggers(QAbstractItemView::NoEditTriggers);
  CDs->setContextMenuPolicy(Qt::CustomContextMenu);
  CDs->setHeaderLabels({QStringLiteral("Nombre"), QStringLiteral("Tamaño"),
                        QStringLiteral("Etiqueta"), QStringLiteral("Nº serie"),
                        QStringLiteral("Nº archivos"), QStringLiteral("Nº CD"),
                        QStringLiteral("Album")});
  const int widths[] = {300, 60, 100, 70, 70, 50, 100};
  for (int i = 0; i < 7; ++i) CDs->setColumnWidth(i, widths[i]);
  CDs->header()->setSectionsClickable(true);
  column->addWidget(CDs, 1);

  PopUpCDs = new QMenu(this);
  PopUpCDs->setObjectName("PopUpCDs");
  EditarCD1 = PopUpCDs->addAction(QStringLiteral("Editar catálogo"));
  EditarCD1->setObjectName("EditarCD1");
  BorrarCD1 = PopUpCDs->addAction(QStringLiteral("Borrar catálogo"));
  BorrarCD1->setObjectName("BorrarCD1");
  connect(CDs, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopUpCDs->popup(CDs->viewport()->mapToGlobal(at)); });
}

}  // namespace zafirel
