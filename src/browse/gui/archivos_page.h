// The "Archivos" page: one disc's folder tree and the files of the chosen folder.
#pragma once

#include <QWidget>

class QAction;
class QMenu;
class QTreeWidget;

namespace zafirel {

class ArchivosPage : public QWidget {
  Q_OBJECT
 public:
  explicit ArchivosPage(QWidget* parent = nullptr);

  QTreeWidget* Arbol = nullptr;
  QTreeWidget* Archivos = nullptr;
  QMenu* PopUpArchivo = nullptr;
  QAction* Editararchivo1 = nullptr;
  QAction* Borrararchivo1 = nullptr;
};

}  // namespace zafirel
