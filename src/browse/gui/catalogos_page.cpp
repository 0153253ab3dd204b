#include "browse/gui/catalogos_page.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "util/gui/list_model.h"
#include "browse/gui/browse_models.h"

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
  CFiltro->setEditable(false);  // a choice of the albums only
  CFiltro->setMaxVisibleItems(8);
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

  CDs = new QTableView(this);
  CDs->setObjectName("CDs");
  Discos = new DiscListModel(this);
  ShowAsReport(*CDs, *Discos);
  Discos->SetRowIcon(style()->standardIcon(QStyle::SP_DriveCDIcon));
  CDs->setSelectionMode(QAbstractItemView::SingleSelection);
  CDs->setEditTriggers(QAbstractItemView::NoEditTriggers);
  CDs->setContextMenuPolicy(Qt::CustomContextMenu);
  CDs->horizontalHeader()->setSectionsClickable(true);
  column->addWidget(CDs, 1);

  PopUpCDs = new QMenu(this);
  PopUpCDs->setObjectName("PopupMenu1");
  EditarCD1 = PopUpCDs->addAction(QStringLiteral("Editar catálogo"));
  EditarCD1->setObjectName("EditarCD1");
  BorrarCD1 = PopUpCDs->addAction(QStringLiteral("Borrar catálogo"));
  BorrarCD1->setObjectName("BorrarCD1");
  // The same commands from the keyboard while the list has the focus.
  EditarCD1->setShortcut(Qt::Key_F2);
  BorrarCD1->setShortcut(QKeySequence::Delete);
  for (QAction* action : {EditarCD1, BorrarCD1}) {
    action->setShortcutContext(Qt::WidgetShortcut);
    CDs->addAction(action);
  }
  connect(CDs, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopUpCDs->popup(CDs->viewport()->mapToGlobal(at)); });
}

}  // namespace zafirel
