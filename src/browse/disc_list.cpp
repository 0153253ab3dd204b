#include "browse/disc_list.h"

#include <array>
#include <iterator>

#include "store/dbf/dbf_error.h"
#include "store/dbf/mdx.h"
#include "store/index_files.h"
#include "store/tablas.h"

namespace zafirel {

namespace {

constexpr const char* kFields[] = {"TITULOCD", "BYTESCD",  "ETIQUETA", "NSERIECD",
                                   "TOTFILES", "NUMEROCD", "ALBUM"};

// Makes the key's tag current (none for "FiltroAlbum", which keeps the
// filter's); the column it marks.
int SelectSortKey(TTablas& tablas, std::string_view sortKey) {
  if (sortKey == kAlbumFilterKey) return -1;
  const SortKey* key = FindSortKey(sortKey);
  try {
    tablas.IndicesCDRom.Select(tablas.TablaCDRom, key ? key->tag : std::string_view());
    return key ? key->column : -1;
  } catch (const dbf::DbfError&) {
    tablas.IndicesCDRom.Select(tablas.TablaCDRom, "");  // its file is rebuilt at the next start
    return -1;
  }
}

// After the album filter's order the title order is current again: the
// album range does not carry over.
void LeaveSortKey(TTablas& tablas, std::string_view sortKey) {
  if (sortKey != kAlbumFilterKey) return;
  try {
    tablas.IndicesCDRom.Select(tablas.TablaCDRom, "Titulo");
  } catch (const dbf::DbfError&) {
  }
}

}  // namespace

int ForEachDisc(TTablas& tablas, std::string_view sortKey, const Locale& locale,
                const std::function<bool(const DiscRow& row)>& visit) {
  dbf::Table& discs = tablas.TablaCDRom;
  const int marked = SelectSortKey(tablas, sortKey);
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
  LeaveSortKey(tablas, sortKey);
  return marked;
}

DiscOrder OrderDiscs(TTablas& tablas, std::string_view sortKey) {
  DiscOrder order;
  dbf::Table& discs = tablas.TablaCDRom;
  order.markedColumn = SelectSortKey(tablas, sortKey);
  const std::uint32_t count = discs.StoredRecordCount();
  std::vector<bool> live(std::size_t{count} + 1, false);
  discs.ForEachStoredRecord([&](std::uint32_t recNo, std::string_view) {
    live[recNo] = true;
    ++order.discs;
    return true;
  });
  std::vector<std::uint32_t>& records = order.records;
  if (const std::shared_ptr<dbf::MdxTag> tag = tablas.IndicesCDRom.CurrentTag()) {
    // The index's entries leaf by leaf; where it cannot give them so, one
    // step at a time.
    // A damaged file never gives more entries than the table has records.
    for (std::uint32_t recNo = tag->First(count); recNo != 0 && records.size() <= count;
         recNo = tag->After(records.back(), count)) {
      records.push_back(recNo);
      tag->TakeRun(count, 4096, records);
    }
  } else {
    records.reserve(order.discs);
    for (std::uint32_t recNo = 1; recNo <= count; ++recNo) records.push_back(recNo);
  }
  std::erase_if(records, [&](std::uint32_t recNo) { return recNo > count || !live[recNo]; });
  LeaveSortKey(tablas, sortKey);
  return order;
}

std::optional<DiscRow> ReadDiscRow(TTablas& tablas, std::uint32_t recNo, const Locale& locale) {
  dbf::Table& discs = tablas.TablaCDRom;
  const std::string record = discs.StoredRecord(recNo);
  if (record.empty() || record[0] == '*') return std::nullopt;
  DiscRow row;
  for (std::size_t i = 0; i < row.cells.size(); ++i) {
    const int field = discs.FieldIndex(kFields[i]);
    if (field >= 0) row.cells[i] = discs.FieldOf(record, field);
  }
  row.cells[4] = FormatThousandsOfText(row.cells[4], locale);
  const int number = discs.FieldIndex("AUTO");
  if (number >= 0) row.number = discs.FieldOf(record, number);
  return row;
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
