#include "browse/gui/archivos_page.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTreeView>

#include "util/gui/list_model.h"
#include "browse/gui/browse_models.h"

namespace zafirel {

ArchivosPage::ArchivosPage(QWidget* parent) : QWidget(parent) {
  setObjectName("PArchivos");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  auto* split = new QSplitter(Qt::Horizontal, this);
  row->addWidget(split);

  Arbol = new QTreeView(split);
  Arbol->setObjectName("Arbol");
  Carpetas = new FolderTreeModel(this);
  Carpetas->SetIcon(style()->standardIcon(QStyle::SP_DirIcon));
  Arbol->setModel(Carpetas);
  Arbol->setHeaderHidden(true);
  Arbol->setUniformRowHeights(true);
  Arbol->setIndentation(19);
  Arbol->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Arbol->setSelectionMode(QAbstractItemView::SingleSelection);

  Archivos = new QTableView(split);
  Archivos->setObjectName("Archivos");
  Ficheros = new FileListModel(this);
  ShowAsReport(*Archivos, *Ficheros);
  Archivos->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Archivos->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  Archivos->horizontalHeader()->setSectionsClickable(false);
  Archivos->setContextMenuPolicy(Qt::CustomContextMenu);
  Archivos->setMinimumWidth(200);
  split->addWidget(Arbol);
  split->addWidget(Archivos);
  split->setSizes({200, 547});
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);

  PopUpArchivo = new QMenu(this);
  PopUpArchivo->setObjectName("PopupMenu2");
  Borrararchivo1 = PopUpArchivo->addAction(QStringLiteral("Borrar archivo(s)"));
  Borrararchivo1->setObjectName("Borrararchivo1");
  Editararchivo1 = PopUpArchivo->addAction(QStringLiteral("Editar archivo"));
  Editararchivo1->setObjectName("Editararchivo1");
  // The same commands from the keyboard while the list has the focus (F2
  // renames in place).
  Borrararchivo1->setShortcut(QKeySequence::Delete);
  Editararchivo1->setShortcut(Qt::Key_Return);
  for (QAction* action : {Borrararchivo1, Editararchivo1}) {
    action->setShortcutContext(Qt::WidgetShortcut);
    Archivos->addAction(action);
  }
  connect(Archivos, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopUpArchivo->popup(Archivos->viewport()->mapToGlobal(at)); });
}

}  // namespace zafirel
