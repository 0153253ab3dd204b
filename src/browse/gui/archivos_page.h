// The "Archivos" page: one disc's folder tree and the files of the chosen folder.
#pragma once

#include <QWidget>

class QAction;
class QMenu;
class QTableView;
class QTreeView;

namespace zafirel {

class FileListModel;
class FolderTreeModel;

class ArchivosPage : public QWidget {
  Q_OBJECT
 public:
  explicit ArchivosPage(QWidget* parent = nullptr);

  QTreeView* Arbol = nullptr;
  FolderTreeModel* Carpetas = nullptr;  // the folders Arbol shows
  QTableView* Archivos = nullptr;
  FileListModel* Ficheros = nullptr;  // the rows Archivos shows
  QMenu* PopUpArchivo = nullptr;
  QAction* Borrararchivo1 = nullptr;
  QAction* Editararchivo1 = nullptr;
};

}  // namespace zafirel
