// The rows of the disc list: one per live disc record, in the order of a
// sort key, each with the title as caption and six further cells. Pure
// logic over the main cursor; the GUI shows the rows as a model.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/locale.h"

namespace zafirel {

class TTablas;

struct DiscRow {
  // Title, size, label, serial number, file count (grouped, empty for 0),
  // user's number, album.
  std::array<std::string, 7> cells;
  std::string number;  // the record's AUTO, which names its catalogue files
};

struct DiscListing {
  std::vector<DiscRow> rows;
  int markedColumn = -1;  // the column whose header carries the sort mark
};

// Makes the key's tag current on the main cursor (record order for an
// unknown key; "FiltroAlbum" keeps the tag the album filter set and restores
// "Titulo" afterwards) and reads every record in that order. The cursor is
// left on the last record.
DiscListing ListDiscs(TTablas& tablas, std::string_view sortKey, const Locale& locale);

// The same, row by row as each record is read, until visit returns false;
// the column the sort key marks. Nothing is held, so the first rows of a
// large table come at once and a reader that has enough stops the walk.
int ForEachDisc(TTablas& tablas, std::string_view sortKey, const Locale& locale,
                const std::function<bool(const DiscRow& row)>& visit);

// The records of the disc list in a sort key's order (the tag made current
// as ListDiscs does), found from the index's entries and the records'
// deletion marks alone: no field is read, so a list of a million discs
// costs four bytes a disc, and its rows are read when they are shown.
struct DiscOrder {
  std::vector<std::uint32_t> records;
  std::uint32_t discs = 0;  // live records in the table, listed or not
  int markedColumn = -1;
};
DiscOrder OrderDiscs(TTablas& tablas, std::string_view sortKey);

// The row of a record, read without moving the main cursor; nullopt when
// the record is gone or deleted.
std::optional<DiscRow> ReadDiscRow(TTablas& tablas, std::uint32_t recNo, const Locale& locale);

}  // namespace zafirel
