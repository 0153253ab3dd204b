#include "store/disc_removal.h"

#include "store/catalogue_files.h"
#include "store/covers.h"
#include "store/search_index.h"
#include "store/tablas.h"
#include "util/folder_lock.h"

namespace zafirel {

bool DeleteDisc(TTablas& tablas, const std::filesystem::path& catalogueFolder,
                std::string_view number) {
  FolderLock lock(tablas.Folder());
  dbf::Table& discs = tablas.TablaCDRom;
  if (!discs.Locate("AUTO", number)) return false;
  discs.Delete();
  try {
    dbf::Table& covers = tablas.TablaGraf;
    const bool wasOpen = covers.Active();
    if (!wasOpen) covers.Open();
    DeleteCovers(covers, number);
    if (!wasOpen) covers.Close();
  } catch (const std::exception&) {
    // A missing or damaged picture table keeps the disc deletable.
  }
  // Files that cannot be removed are only unreachable: the next disc given
  // this number writes its own over them.
  (void)DeleteCatalogueFiles(catalogueFolder, number);
  // The disc's own index segment goes with it; one that stays is never
  // trusted, as its file list is gone.
  (void)UpdateDiscIndex(catalogueFolder, number);
  return true;
}

}  // namespace zafirel
