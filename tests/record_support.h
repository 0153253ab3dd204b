// Seeding tables in tests: one record appended with the given fields and
// posted. Shared by the core tests and the window tests.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "store/dbf/table.h"
#include "store/index_set.h"
#include "store/tablas.h"
#include "util/dialogs.h"

namespace zafirel::testing {

using FieldValues = std::initializer_list<std::pair<std::string_view, std::string>>;

inline void AppendRecord(dbf::Table& table, FieldValues fields) {
  table.Append();
  for (const auto& [field, value] : fields) table.SetString(field, value);
  table.Post();
}

// Creates the disc and cover tables of a data folder; throws when it cannot.
inline void CreateTables(const std::filesystem::path& dataFolder) {
  if (!TTablas::CreateDiscTable(dataFolder) || !TTablas::CreateCoverTable(dataFolder))
    throw std::runtime_error("the tables cannot be created in " + dataFolder.string());
}

// Appends records to the disc table of a data folder that holds one. A disc
// without a file count would be taken for a run that never completed (and
// removed when the folder is opened): it gets the count 0 unless one is given.
inline void AddDiscRecords(const std::filesystem::path& dataFolder,
                           std::initializer_list<FieldValues> records) {
  TTablas tablas;
  tablas.SetFolder(dataFolder);
  tablas.TablaCDRom.Open();
  for (const FieldValues& record : records) {
    tablas.TablaCDRom.Append();
    tablas.TablaCDRom.SetString("TOTFILES", "0");
    for (const auto& [field, value] : record) tablas.TablaCDRom.SetString(field, value);
    tablas.TablaCDRom.Post();
  }
}

// Gives a data folder a disc table holding exactly these records (fields not
// named stay empty) with its ten indexes built, and opens it in tablas as the
// program does.
inline void SeedDiscTable(TTablas& tablas, const std::filesystem::path& dataFolder,
                          std::initializer_list<FieldValues> records) {
  if (!TTablas::CreateDiscTable(dataFolder))
    throw std::runtime_error("the disc table cannot be created in " + dataFolder.string());
  tablas.SetFolder(dataFolder);
  tablas.TablaCDRom.Open();
  for (const FieldValues& record : records) AppendRecord(tablas.TablaCDRom, record);
  tablas.TablaCDRom.Close();
  SilentDialogs dialogs;
  if (RegeneraIndices(tablas.TablaCDRom, dataFolder, dialogs, "") != 10)
    throw std::runtime_error("the indexes cannot be built in " + dataFolder.string());
  tablas.OpenDiscTable();
}

}  // namespace zafirel::testing
