// The album list and the album filter over the disc table's indexes.
#include "store/album_filter.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "browse/disc_list.h"
#include "store/index_files.h"
#include "store/index_set.h"
#include "store/tablas.h"
#include "test_support.h"
#include "util/codepage.h"

namespace zafirel {
namespace {

class AlbumFilterTest : public ::testing::Test {
 protected:
  void Make(const std::vector<std::pair<std::string, std::string>>& discs) {
    ASSERT_TRUE(TTablas::CreateDiscTable(folder_.Path()));
    tablas_.SetFolder(folder_.Path());
    tablas_.TablaCDRom.Open();
    int number = 0;
    for (const auto& [title, album] : discs) {
      ++number;
      testing::AppendRecord(tablas_.TablaCDRom, {{"TITULOCD", title},
                                                 {"ALBUM", album},
                                                 {"NSERIECD", "S" + std::to_string(number)},
                                                 {"AUTO", std::to_string(number)}});
    }
    tablas_.TablaCDRom.Close();
    testing::NoDialogs dialogs;
    RegeneraIndices(tablas_.TablaCDRom, folder_.Path(), dialogs, "");
    tablas_.OpenDiscTable();
  }
  std::vector<std::string> Filtered(const std::string& album) {
    ApplyAlbumFilter(tablas_, album);
    std::vector<std::string> titles;
    for (const DiscRow& row : ListDiscs(tablas_, kAlbumFilterKey, Locale{}).rows)
      titles.push_back(row.cells[0]);
    return titles;
  }

  testing::TempFolder folder_;
  TTablas tablas_;
};

TEST_F(AlbumFilterTest, AlbumsDifferingInCaseAreOneChoiceListingBothDiscs) {
  Make({{"Zelda", "Juegos"},
        {"\xE1rbol", "JUEGOS"},
        {"doom", "juegos"},
        {"Bach", ""},
        {"Mozart", "Cl\xE1sica"},
        {"Tetris", "Juegos y m\xE1s"}});
  tablas_.TablaCDRom.Last();
  const std::string current = tablas_.TablaCDRom.AsString("TITULOCD");
  EXPECT_EQ(ListAlbums(tablas_),
            (std::vector<std::string>{"CL\xC1SICA", "JUEGOS", "JUEGOS Y M\xC1S"}));
  EXPECT_FALSE(tablas_.TablaCDRomTemp.Active());
  EXPECT_EQ(tablas_.TablaCDRom.AsString("TITULOCD"), current);  // the main cursor stays

  // Every disc of the album, accented or lower-case titles too, titles as stored.
  EXPECT_EQ(Filtered("JUEGOS"), (std::vector<std::string>{"Zelda", "doom", "\xE1rbol"}));
  EXPECT_EQ(Filtered("Juegos"), Filtered("JUEGOS"));
  EXPECT_EQ(Filtered("CL\xE1SICA"), (std::vector<std::string>{"Mozart"}));
  EXPECT_TRUE(Filtered("NADA").empty());
  EXPECT_EQ(tablas_.IndicesCDRom.Current(), "Titulo");

  // Lifting the filter: the tag is whole again.
  ApplyAlbumFilter(tablas_, "");
  EXPECT_EQ(tablas_.IndicesCDRom.Current(), "Filtro");
  EXPECT_EQ(ListDiscs(tablas_, kAlbumFilterKey, Locale{}).rows.size(), 6u);
}

// Every accented small letter of Spanish, Catalan, Portuguese, French and
// German (all of Latin-1's, which the table's code page 850 holds with their
// capitals; it holds neither "œ" nor "Ÿ"): an album typed in small letters
// and the same album in capitals are one album, listed by either spelling.
TEST_F(AlbumFilterTest, AccentedAlbumsInEitherCaseAreOneAlbum) {
  std::vector<std::pair<std::string, std::string>> discs;
  std::vector<std::string> albums;
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c == 0xF7) continue;  // the division sign
    const std::string small = "m" + std::string(1, static_cast<char>(c)) + "sica";
    const std::string capital = "M" + std::string(1, static_cast<char>(c - 0x20)) + "SICA";
    discs.push_back({"a" + small, small});
    discs.push_back({"b" + capital, capital});
    albums.push_back(capital);
  }
  discs.push_back(
      {"cStra\xDF"
       "e",
       "stra\xDF"
       "e"});  // sharp s has no one-letter capital
  discs.push_back(
      {"dSTRA\xDF"
       "E",
       "STRA\xDF"
       "E"});
  Make(discs);
  std::vector<std::string> expected = albums;
  expected.push_back(
      "STRA\xDF"
      "E");
  std::sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
    return AnsiToOem(a) < AnsiToOem(b);  // the index's order: the code page's bytes
  });
  EXPECT_EQ(ListAlbums(tablas_), expected);
  for (std::size_t i = 0; i < discs.size(); i += 2) {
    const std::vector<std::string> both{discs[i].first, discs[i + 1].first};
    EXPECT_EQ(Filtered(discs[i].second), both) << discs[i].second;
    EXPECT_EQ(Filtered(discs[i + 1].second), both) << discs[i + 1].second;
  }
}

TEST_F(AlbumFilterTest, NoAlbumsNoChoices) {
  Make({{"Uno", ""}, {"Dos", "  "}});
  EXPECT_TRUE(ListAlbums(tablas_).empty());
}

}  // namespace
}  // namespace zafirel
