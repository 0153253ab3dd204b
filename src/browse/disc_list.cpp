#include "browse/disc_list.h"

#include <array>
#include <iterator>

#include "store/dbf/dbf_error.h"
#include "store/index_files.h"
#include "store/tablas.h"

namespace zafirel {

int ForEachDisc(TTablas& tablas, std::string_view sortKey, const Locale& locale,
                const std::function<bool(const DiscRow& row)>& visit) {
  int marked = -1;
  dbf::Table& discs = tablas.TablaCDRom;
  const bool filtered = sortKey == kAlbumFilterKey;
  if (!filtered) {
    const SortKey* key = FindSortKey(sortKey);
    try {
      tablas.IndicesCDRom.Select(discs, key ? key->tag : std::string_view());
      if (key) marked = key->column;
    } catch (const dbf::DbfError&) {
      tablas.IndicesCDRom.Select(discs, "");  // its file is rebuilt at the next start
    }
  }
  static constexpr const char* kFields[] = {"TITULOCD", "BYTESCD",  "ETIQUETA", "NSERIECD",
                                            "TOTFILES", "NUMEROCD", "ALBUM"};
  std::array<int, std::size(kFields)> fields{};
  for (std::size_t i = 0; i < fields.size(); ++i) fields[i] = discs.FieldIndex(kFields[i]);
  const int number = discs.FieldIndex("AUTO");
  DiscRow row;
  for (discs.First(); !discs.Eof(); discs.Next()) {
    for (std::size_t i = 0; i < row.cells.size(); ++i) row.cells[i] = discs.AsString(fields[i]);
    row.cells[4] = FormatThousandsOfText(row.cells[4], locale);
    row.number = discs.AsString(number);
    if (!visit(row)) break;
  }
  if (filtered) {
    try {
      tablas.IndicesCDRom.Select(discs, "Titulo");  // the album range does not carry over
    } catch (const dbf::DbfError&) {
    }
  }
  return marked;
}

DiscListing ListDiscs(TTablas& tablas, std::string_view sortKey, const Locale& locale) {
  DiscListing listing;
  if (sortKey != kAlbumFilterKey) listing.rows.reserve(tablas.TablaCDRom.StoredRecordCount());
  listing.markedColumn = ForEachDisc(tablas, sortKey, locale, [&](const DiscRow& row) {
    listing.rows.push_back(row);
    return true;
  });
  return listing;
}

}  // namespace zafirel
