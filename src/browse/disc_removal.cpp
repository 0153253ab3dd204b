#include "browse/disc_removal.h"

#include "browse/covers.h"
#include "store/catalogue_files.h"
#include "store/tablas.h"

namespace zafirel {

bool DeleteDisc(TTablas& tablas, const std::filesystem::path& catalogueFolder,
                std::string_view number) {
  dbf::Table& discs = tablas.TablaCDRom;
  if (!discs.Locate("AUTO", number)) return false;
  DeleteCatalogueFiles(catalogueFolder, number);
  try {
    dbf::Table& covers = tablas.TablaGraf;
    const bool wasOpen = covers.Active();
    if (!wasOpen) covers.Open();
    DeleteCovers(covers, number);
    if (!wasOpen) covers.Close();
  } catch (const std::exception&) {
    // A missing or damaged picture table keeps the disc deletable.
  }
  discs.Delete();
  return true;
}

}  // namespace zafirel
