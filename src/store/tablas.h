// The data module: the three cursors every part of the program works on, the
// field lists of the disc and cover tables, and the disc numbers.
//
// TablaCDRom and TablaCDRomTemp are two independent positions on the disc
// table (text kept in the OEM code page on disk); TablaGraf is on the cover
// table, whose memo holds picture bytes unchanged.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbf/table.h"
#include "store/index_set.h"

namespace zafirel {

class TTablas {
 public:
  static constexpr const char* kDiscTableName = "CDROM.DBF";
  static constexpr const char* kCoverTableName = "IMG.DBF";

  dbf::Table TablaCDRom{true};
  dbf::Table TablaCDRomTemp{true};
  dbf::Table TablaGraf{false};

  // The index files attached to each disc-table cursor.
  IndexSet IndicesCDRom;
  IndexSet IndicesCDRomTemp;

  void SetFolder(const std::filesystem::path& folder);
  const std::filesystem::path& Folder() const { return folder_; }

  // Opens the main cursor with the ten index files attached, "Titulo" current
  // when its file is there.
  void OpenDiscTable();
  // Whether folder's disc table can be used, found without writing anything
  // there: it opens and has every field but the album, which the upgrade at
  // opening adds. Throws the failure that refuses it.
  static void CheckDiscTable(const std::filesystem::path& folder);

  // A field of the disc under the main cursor; empty when the table is
  // closed or holds no disc.
  std::string CurrentDisc(std::string_view field);

  // "NAME;TYPE;WIDTH;DECIMALS" lines, in the tables' field order.
  static const std::vector<std::string>& DiscFieldList();
  static const std::vector<std::string>& CoverFieldList();

  // Create the table (and its memo file) in folder; false when it exists
  // already or cannot be written.
  [[nodiscard]] static bool CreateDiscTable(const std::filesystem::path& folder);
  [[nodiscard]] static bool CreateCoverTable(const std::filesystem::path& folder);

  // The number for a new disc: one more than the highest AUTO among live
  // records, 1 for an empty table or when that AUTO is not a whole number.
  // Opens TablaCDRomTemp for the task and closes it again, also on error.
  int IncrementaNHistoria();

 private:
  std::filesystem::path folder_;
};

}  // namespace zafirel
