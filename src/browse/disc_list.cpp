#include "browse/disc_list.h"

#include <cmath>

#include "store/dbf/dbf_error.h"
#include "store/index_files.h"
#include "store/tablas.h"

namespace zafirel {

std::string FileCountCell(std::string_view totFiles, const Locale& locale) {
  double value = 0;
  if (!ParseNumber(totFiles, locale, value) || !std::isfinite(value)) value = 0;
  return FormatThousands(static_cast<std::int64_t>(std::trunc(value)), locale);
}

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
  for (discs.First(); !discs.Eof(); discs.Next()) {
    DiscRow row;
    for (std::size_t i = 0; i < row.cells.size(); ++i) row.cells[i] = discs.AsString(kFields[i]);
    row.cells[4] = FileCountCell(row.cells[4], locale);
    listing.rows.push_back(std::move(row));
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
