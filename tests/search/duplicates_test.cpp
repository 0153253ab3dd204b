// Duplicates across discs: copies matched without case and only across
// discs, and the same groups however many parts the lines are cut into.
#include "search/duplicates.h"

#include <gtest/gtest.h>

#include <random>

#include "record_support.h"
#include "store/tablas.h"
#include "test_support.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

class DuplicatesTest : public ::testing::Test {
 protected:
  void Seed(int discs) {
    testing::SeedDiscTable(tablas_, data_.Path(), {});
    for (int d = 1; d <= discs; ++d)
      testing::AppendRecord(tablas_.TablaCDRom, {{"AUTO", std::to_string(d)},
                                                 {"TITULOCD", "Disco " + std::to_string(d)},
                                                 {"NUMEROCD", std::to_string(100 + d)},
                                                 {"ALBUM", d % 2 ? "PC" : "M\xDASICA"}});
    fs::create_directories(catalogues_);
    fs::create_directories(temp_);
  }
  std::vector<std::string> Groups(DuplicateOptions options) {
    std::vector<std::string> out;
    for (const DuplicateGroup& g : FindDuplicates(tablas_, catalogues_, temp_, options)) {
      out.push_back(g.name + " " + std::to_string(g.kilobytes) + " " +
                    std::to_string(g.totalKilobytes));
      for (const DuplicateCopy& c : g.copies) out.push_back("  " + c.disc + " " + c.path);
    }
    return out;
  }

  testing::TempFolder data_;
  fs::path catalogues_ = data_ / "Catalogos", temp_ = data_ / "Temp";
  TTablas tablas_;
};

TEST_F(DuplicatesTest, CopiesOnTwoDiscsAtLeastByTheChosenKey) {
  Seed(3);
  testing::WriteBytes(catalogues_ / "1.Ct",
                      "D:\\a\\Tema.mp3;5;01/01/2000\r\nD:\\Solo.txt;1;01/01/2000\r\n"
                      "D:\\b\\solo.TXT;1;01/01/2000\r\nD:\\grande.iso;900;02/02/2002\r\n");
  testing::WriteBytes(catalogues_ / "2.Ct",
                      "E:\\TEMA.MP3;5;03/03/2003\r\nE:\\x\\grande.ISO;900;02/02/2002\r\n"
                      "E:\\otro.mp3;5;01/01/2000;una descripci\xF3n\r\n");
  testing::WriteBytes(catalogues_ / "3.Ct", "F:\\tema.mp3;6;01/01/2000\r\n");
  using V = std::vector<std::string>;
  DuplicateOptions options;
  EXPECT_EQ(Groups(options), (V{"grande.iso 900 1800", "  1 D:\\grande.iso",
                                "  2 E:\\x\\grande.ISO", "Tema.mp3 5 10", "  1 D:\\a\\Tema.mp3",
                                "  2 E:\\TEMA.MP3"}));  // Solo.txt is twice on one disc only
  options.match = DuplicateMatch::kName;
  EXPECT_EQ(Groups(options)[3], "Tema.mp3 6 16");  // the 6 KB copy on disc 3 joins
  options.match = DuplicateMatch::kNameSizeDate;
  EXPECT_EQ(Groups(options),
            (V{"grande.iso 900 1800", "  1 D:\\grande.iso", "  2 E:\\x\\grande.ISO"}));
  options.match = DuplicateMatch::kNameSize;
  options.scope.minBytes = 6 * 1024;
  EXPECT_EQ(Groups(options).size(), 3u);
  options.scope = {};
  options.scope.albums = {"PC"};  // discs 1 and 3
  EXPECT_TRUE(Groups(options).empty());
}

TEST_F(DuplicatesTest, ManyPartsGiveTheGroupsOfOne) {
  Seed(20);
  std::mt19937 random(7);
  for (int d = 1; d <= 20; ++d) {
    std::string lines;
    for (int i = 0; i < 300; ++i) {
      lines += "D:\\c" + std::to_string(random() % 5) + "\\N" + std::to_string(random() % 150) +
               ".dat;" + std::to_string(random() % 4) + ";01/01/2000\r\n";
    }
    testing::WriteBytes(catalogues_ / (std::to_string(d) + ".Ct"), lines);
  }
  for (const DuplicateMatch match :
       {DuplicateMatch::kName, DuplicateMatch::kNameSize, DuplicateMatch::kNameSizeDate}) {
    DuplicateOptions whole, cut;
    whole.match = cut.match = match;
    cut.partBytes = 2048;  // every part a few dozen lines
    const std::vector<std::string> groups = Groups(whole);
    EXPECT_GT(groups.size(), 1000u);
    EXPECT_EQ(Groups(cut), groups);
  }
  // Nothing is left behind in the temporary folder.
  EXPECT_TRUE(fs::is_empty(temp_));
}

}  // namespace
}  // namespace zafirel
