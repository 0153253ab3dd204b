// The disc list's rows in each sort key's order, with the cells as shown.
#include "browse/disc_list.h"

#include <gtest/gtest.h>

#include "store/album_filter.h"
#include "store/index_files.h"
#include "store/index_set.h"
#include "store/tablas.h"
#include "test_support.h"

namespace zafirel {
namespace {

using testing::NoDialogs;

class DiscListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::SeedDiscTable(tablas_, folder_.Path(),
                           {{{"TITULOCD", "Mapas"},
                             {"BYTESCD", "650 MB"},
                             {"TOTFILES", "12345"},
                             {"NUMEROCD", "10"},
                             {"ALBUM", "Juegos"},
                             {"AUTO", "1"}},
                            {{"TITULOCD", "atlas"},
                             {"BYTESCD", "74 MB"},
                             {"TOTFILES", "0"},
                             {"NUMEROCD", "9"},
                             {"ALBUM", "JUEGOS"},
                             {"AUTO", "2"}},
                            {{"TITULOCD", "Zoo"},
                             {"BYTESCD", "12345 MB"},
                             {"TOTFILES", "abc"},
                             {"NUMEROCD", "A1"},
                             {"ALBUM", "Rock"},
                             {"AUTO", "3"}},
                            {{"TITULOCD", "Bach"},
                             {"BYTESCD", "2000 MB"},
                             {"TOTFILES", "1234"},
                             {"NUMEROCD", "2"},
                             {"ALBUM", ""},
                             {"AUTO", "4"}},
                            {{"TITULOCD", "cine"},
                             {"BYTESCD", "5 MB"},
                             {"TOTFILES", "7"},
                             {"NUMEROCD", "100"},
                             {"ALBUM", "Rock"},
                             {"AUTO", "5"}}});
  }
  std::vector<std::string> Titles(std::string_view key, int* marked = nullptr) {
    const DiscListing listing = ListDiscs(tablas_, key, Locale{});
    if (marked) *marked = listing.markedColumn;
    std::vector<std::string> titles;
    for (const DiscRow& row : listing.rows) titles.push_back(row.cells[0]);
    return titles;
  }

  testing::TempFolder folder_;
  TTablas tablas_;
};

TEST_F(DiscListTest, EachSortKeyGivesItsOrderAndMarksItsColumn) {
  int marked = -2;
  EXPECT_EQ(Titles("TituloCD", &marked),
            (std::vector<std::string>{"atlas", "Bach", "cine", "Mapas", "Zoo"}));
  EXPECT_EQ(marked, 0);
  // Under 100 MB reads as 0; 12345 MB sorts as 1234, before 2000.
  EXPECT_EQ(Titles("STR(VAL(LEFT(BytesCD, 4)))", &marked),
            (std::vector<std::string>{"atlas", "cine", "Mapas", "Zoo", "Bach"}));
  EXPECT_EQ(marked, 1);
  EXPECT_EQ(Titles("STR(VAL(NumeroCD))"),
            (std::vector<std::string>{"Zoo", "Bach", "atlas", "Mapas", "cine"}));
  EXPECT_EQ(Titles("STR(VAL(TotFiles))"),
            (std::vector<std::string>{"atlas", "Zoo", "cine", "Bach", "Mapas"}));
  EXPECT_EQ(Titles("Album"), (std::vector<std::string>{"Bach", "atlas", "Mapas", "Zoo", "cine"}));
  // Any other text: record order, no column marked. The key compares with case.
  EXPECT_EQ(Titles("titulocd", &marked),
            (std::vector<std::string>{"Mapas", "atlas", "Zoo", "Bach", "cine"}));
  EXPECT_EQ(marked, -1);
  EXPECT_EQ(tablas_.IndicesCDRom.Current(), "");
}

TEST_F(DiscListTest, CellsAreShownAsStoredButTheFileCountIsGrouped) {
  const DiscListing listing = ListDiscs(tablas_, "TituloCD", Locale{});
  ASSERT_EQ(listing.rows.size(), 5u);
  const DiscRow& mapas = listing.rows[3];
  EXPECT_EQ(mapas.cells[1], "650 MB");
  EXPECT_EQ(mapas.cells[4], "12.345");
  EXPECT_EQ(mapas.cells[6], "Juegos");
  EXPECT_EQ(listing.rows[0].cells[4], "");  // 0 shows nothing
  EXPECT_EQ(listing.rows[4].cells[4], "");  // "abc" counts as 0
  EXPECT_EQ(FormatThousandsOfText(" 1234 ", Locale{}), "1.234");
}

TEST_F(DiscListTest, TheAlbumFilterOrderGivesWayToTitleAfterwards) {
  dbf::Table& t = tablas_.TablaCDRom;
  tablas_.IndicesCDRom.Select(t, "Filtro");
  std::string rock = "ROCK";
  rock.resize(50, ' ');
  tablas_.IndicesCDRom.CurrentTag()->SetRange(rock);
  const DiscListing listing = ListDiscs(tablas_, "FiltroAlbum", Locale{});
  ASSERT_EQ(listing.rows.size(), 2u);
  EXPECT_EQ(listing.rows[0].cells[0], "Zoo");  // the album's discs, titles in byte order
  EXPECT_EQ(listing.rows[1].cells[0], "cine");
  EXPECT_EQ(listing.markedColumn, -1);
  EXPECT_EQ(tablas_.IndicesCDRom.Current(), "Titulo");
}

// The list read row by row as it is shown holds the rows read all at once,
// in every order, a deleted disc left out; a reader that has enough stops
// the walk.
TEST_F(DiscListTest, RowsReadWhenShownAreTheRowsOfTheWholeListing) {
  tablas_.TablaCDRom.Locate("AUTO", "4");
  tablas_.TablaCDRom.Delete();
  const auto same = [&](std::string_view key) {
    SCOPED_TRACE(std::string(key));
    // Each listing of the filter's order gives the title order back after it.
    const bool filtered = key == kAlbumFilterKey;
    if (filtered) ApplyAlbumFilter(tablas_, "Rock");
    const DiscListing listing = ListDiscs(tablas_, key, Locale{});
    if (filtered) ApplyAlbumFilter(tablas_, "Rock");
    const DiscOrder order = OrderDiscs(tablas_, key);
    EXPECT_EQ(order.markedColumn, listing.markedColumn);
    EXPECT_EQ(order.discs, 4u);
    ASSERT_EQ(order.records.size(), listing.rows.size());
    for (std::size_t i = 0; i < listing.rows.size(); ++i) {
      const std::optional<DiscRow> row = ReadDiscRow(tablas_, order.records[i], Locale{});
      ASSERT_TRUE(row.has_value());
      EXPECT_EQ(row->cells, listing.rows[i].cells);
      EXPECT_EQ(row->number, listing.rows[i].number);
    }
  };
  for (const SortKey& key : kSortKeys) same(key.key);
  same("titulocd");
  same(kAlbumFilterKey);
  EXPECT_FALSE(ReadDiscRow(tablas_, 4, Locale{}).has_value());

  int visited = 0;
  ForEachDisc(tablas_, "TituloCD", Locale{}, [&](const DiscRow&) { return ++visited < 2; });
  EXPECT_EQ(visited, 2);
}

}  // namespace
}  // namespace zafirel
