#include "browse/gui/archivos_page.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QSplitter>
#include <QTreeWidget>

namespace zafirel {

ArchivosPage::ArchivosPage(QWidget* parent) : QWidget(parent) {
  setObjectName("PArchivos");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  auto* split = new QSplitter(Qt::Horizontal, this);
  row->addWidget(split);

  Arbol = new QTreeWidget(split);
  Arbol->setObjectName("Arbol");
  Arbol->setHeaderHidden(true);
  Arbol->setUniformRowHeights(true);

  Archivos = new QTreeWidget(split);
  Archivos->setObjectName("Archivos");
  Archivos->setRootIsDecorated(false);
  Archivos->setUniformRowHeights(true);
  Archivos->setAllColumnsShowFocus(true);
  Archivos->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Archivos->setContextMenuPolicy(Qt::CustomContextMenu);
  Archivos->setHeaderLabels({QStringLiteral("Nombre"), QStringLiteral("Tamaño"),
                             QStringLiteral("Fecha"), QStringLiteral("Comentarios")});
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 2);

  PopUpArchivo = new QMenu(this);
  PopUpArchivo->setObjectName("PopUpArchivo");
  Editararchivo1 = PopUpArchivo->addAction(QStringLiteral("Editar archivo"));
  Editararchivo1->setObjectName("Editararchivo1");
  Borrararchivo1 = PopUpArchivo->addAction(QStringLiteral("Borrar archivo"));
  Borrararchivo1->setObjectName("Borrararchivo1");
  connect(Archivos, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopUpArchivo->popup(Archivos->viewport()->mapToGlobal(at)); });
}

}  // namespace zafirel
