// The "Archivos" page: the catalogue of one disc loaded in memory, its folder
// tree and the files of the chosen folder, and the edits of file entries
// (rename in place, comment, delete), which go to the disc's ".Ct" file.
#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "browse/loaded_catalogue.h"
#include "util/gui/services.h"

class QAction;
class QMenu;
class QSplitter;
class QTableView;
class QTreeView;

namespace zafirel {

class FileListModel;
class FolderTreeModel;

class ArchivosPage : public QWidget {
  Q_OBJECT
 public:
  explicit ArchivosPage(const PageServices& services, QWidget* parent = nullptr);

  // Loads the disc whose files are "base.Ind"/"base.Ct" unless it is the one
  // loaded; true when the tree was read.
  bool CargarCatalogo(const std::filesystem::path& base);
  void CargarArbol(const std::filesystem::path& treeFile);
  // Shows the files of the chosen folder.
  void ArbolClick();
  void RefrescaArchivos();
  // The line of the first chosen file; false when none is chosen.
  bool EncuentraArchivo(std::size_t& index);
  void ArchivosDblClick();
  void Borrararchivo1Click();
  void Editararchivo1Click();
  // A name typed over a file's name: true when the renamed line was written.
  bool ArchivosEdited(int row, std::string& name);
  // Tells the user about an edit that did not reach the file.
  void ReportEdit(EditOutcome outcome);

  // The current disc's catalogue, its first folder chosen.
  void ShowCurrentDisc();
  // A search hit: its disc loaded, its folder opened and its file selected.
  void ShowHit(const std::string& number, const std::string& hitPath);
  // A disc catalogued into the lines in memory: its tree is read back.
  void ShowNewDisc(const std::string& number);
  // Lets go of the catalogue in memory (of one disc only, when a number is
  // given), so that it is read afresh when next shown.
  void ClearLoadedCatalogue();
  void ForgetDisc(const std::string& number);
  // After a disc went: the current disc's catalogue, or nothing when none is left.
  void ShowDiscAfterDeletion();

  LoadedCatalogue& Catalogo() { return catalogo_; }
  void Retranslate();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::string Traduce(const char* key) const;
  // Moves the divider by that many pixels (to the right when positive).
  void MoveDivider(int by);
  std::filesystem::path CurrentBase();
  int SelectedFolder() const;
  std::vector<int> SelectedFileRows() const;
  void SelectFolder(int node);
  void ShowLoadedTree();
  void RebuildTree(const std::function<void()>& change);
  void ConnectControls();

  QTreeView* Arbol = nullptr;
  FolderTreeModel* Carpetas = nullptr;  // the folders Arbol shows
  QTableView* Archivos = nullptr;
  FileListModel* Ficheros = nullptr;  // the rows Archivos shows
  QMenu* PopUpArchivo = nullptr;
  QSplitter* Divisor = nullptr;  // between the folder tree and the file list
  QAction* DivisorIzquierda1 = nullptr;
  QAction* DivisorDerecha1 = nullptr;
  static constexpr int kDividerStep = 40;  // pixels a key moves the divider
  QAction* Borrararchivo1 = nullptr;
  QAction* Editararchivo1 = nullptr;

  PageServices services_;
  LoadedCatalogue catalogo_;
};

}  // namespace zafirel
