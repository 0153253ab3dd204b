// The album list and the album filter over the disc table's indexes.
#include "store/album_filter.h"

#include <gtest/gtest.h>

#include "browse/disc_list.h"
#include "store/index_files.h"
#include "store/index_set.h"
#include "store/tablas.h"
#include "test_support.h"

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
            (std::vector<std::string>{"CL\xE1SICA", "JUEGOS", "JUEGOS Y M\xE1S"}));
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

TEST_F(AlbumFilterTest, NoAlbumsNoChoices) {
  Make({{"Uno", ""}, {"Dos", "  "}});
  EXPECT_TRUE(ListAlbums(tablas_).empty());
}

}  // namespace
}  // namespace zafirel
