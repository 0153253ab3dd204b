#include "browse/disc_list.h"

#include <array>
#include <iterator>

#include "store/dbf/dbf_error.h"
#include "store/index_files.h"
#include "store/tablas.h"

namespace zafirel {

DiscListing ListDiscs(TTablas& tablas, std::string_view sortKey, const Locale& locale) {
  DiscListing listing;
  dbf::Table& discs = tablas.TablaCDRom;
  const bool filtered = sortKey == kAlbumFilterKey;
  if (!filtered) {
    const SortKey* key = FindSortKey(sortKey);
    try {
      tablas.IndicesCDRom.Select(discs, key ? key->tag : std::string_view());
      if (key) listing.markedColumn = key->column;
    } catch (const dbf::DbfError&) {
      tablas.IndicesCDRom.Select(discs, "");  // its file is rebuilt at the next start
    }
  }
  static constexpr const char* kFields[] = {"TITULOCD", "BYTESCD",  "ETIQUETA", "NSERIECD",
                                            "TOTFILES", "NUMEROCD", "ALBUM"};
  std::array<int, std::size(kFields)> fields{};
  for (std::size_t i = 0; i < fields.size(); ++i) fields[i] = discs.FieldIndex(kFields[i]);
  const int number = discs.FieldIndex("AUTO");
  if (!filtered) listing.rows.reserve(discs.StoredRecordCount());
  for (discs.First(); !discs.Eof(); discs.Next()) {
    DiscRow& row = listing.rows.emplace_back();
    for (std::size_t i = 0; i < row.cells.size(); ++i) row.cells[i] = discs.AsString(fields[i]);
    row.cells[4] = FormatThousandsOfText(row.cells[4], locale);
    row.number = discs.AsString(number);
  }
  if (filtered) {
    try {
      tablas.IndicesCDRom.Select(discs, "Titulo");  // the album range does not carry over
    } catch (const dbf::DbfError&) {
    }
  }
  return listing;
}

}  // namespace zafirel
