#include "store/tablas.h"

#include <gtest/gtest.h>

#include "store/dbf/dbf_error.h"
#include "test_support.h"

namespace zafirel {
namespace {

using zafirel::testing::PatchBytes;
using zafirel::testing::ReadBytes;
using zafirel::testing::TempFolder;

class TTablasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TTablas::CreateDiscTable(folder_.Path()));
    tablas_.SetFolder(folder_.Path());
    tablas_.TablaCDRom.Open();
  }
  void AddDisc(const std::string& autoText) {
    tablas_.TablaCDRom.Append();
    tablas_.TablaCDRom.SetString("TITULOCD", "disco " + autoText);
    tablas_.TablaCDRom.SetString("AUTO", autoText);
    tablas_.TablaCDRom.Post();
  }

  TempFolder folder_;
  TTablas tablas_;
};

TEST_F(TTablasTest, FieldListsMatchTheTablesOnDisk) {
  EXPECT_EQ(TTablas::DiscFieldList().size(), 14u);
  EXPECT_EQ(TTablas::DiscFieldList()[10], "NOTAS;M;10;0");
  EXPECT_EQ(TTablas::CoverFieldList().back(), "GRAFICO;M;10;0");
  const dbf::Table& disc = tablas_.TablaCDRom;
  ASSERT_EQ(disc.Fields().size(), 14u);
  EXPECT_EQ(disc.Fields()[2].name, "AUTO");
  EXPECT_EQ(disc.Fields()[11].decimals, 4);
  EXPECT_EQ(disc.Fields()[13].name, "ALBUM");
}

TEST_F(TTablasTest, CreationNeverReplacesATable) {
  AddDisc("1");
  EXPECT_FALSE(TTablas::CreateDiscTable(folder_.Path()));
  EXPECT_EQ(tablas_.TablaCDRom.RecordCount(), 1u);
  EXPECT_FALSE(TTablas::CreateDiscTable(folder_ / "no-such-folder"));
}

TEST_F(TTablasTest, NextDiscNumberIsOneMoreThanTheHighestLiveOne) {
  EXPECT_EQ(tablas_.IncrementaNHistoria(), 1);
  EXPECT_FALSE(tablas_.TablaCDRomTemp.Active());
  AddDisc("1");
  EXPECT_EQ(tablas_.IncrementaNHistoria(), 2);
  AddDisc("3");
  AddDisc("2");
  EXPECT_EQ(tablas_.IncrementaNHistoria(), 4);
  ASSERT_TRUE(tablas_.TablaCDRom.Locate("AUTO", "3"));
  tablas_.TablaCDRom.Delete();
  EXPECT_EQ(tablas_.IncrementaNHistoria(), 3);
  EXPECT_FALSE(tablas_.TablaCDRomTemp.Active());
}

TEST_F(TTablasTest, NonNumericHighestNumberGivesOne) {
  AddDisc("5");
  // Another program left text in the numeric field of the only record.
  PatchBytes(folder_ / "CDROM.DBF", 481 + 1 + 75 + 15, "     12abc");
  EXPECT_EQ(tablas_.IncrementaNHistoria(), 1);
}

TEST_F(TTablasTest, NextDiscNumberClosesTheCursorOnError) {
  AddDisc("1");
  PatchBytes(folder_ / "CDROM.DBF", 4, std::string("\x05\0\0\0", 4));  // damaged but readable
  EXPECT_EQ(tablas_.IncrementaNHistoria(), 2);
  std::filesystem::remove(folder_ / "CDROM.DBT");
  EXPECT_THROW(tablas_.IncrementaNHistoria(), dbf::DbfError);
  EXPECT_FALSE(tablas_.TablaCDRomTemp.Active());
}

TEST_F(TTablasTest, DeletedDiscIsHiddenFromBothCursors) {
  AddDisc("1");
  AddDisc("2");
  tablas_.TablaCDRomTemp.Open();
  ASSERT_TRUE(tablas_.TablaCDRomTemp.Locate("AUTO", "2"));
  ASSERT_TRUE(tablas_.TablaCDRom.Locate("AUTO", "2"));
  tablas_.TablaCDRom.Delete();
  EXPECT_EQ(tablas_.TablaCDRom.RecordCount(), 1u);
  EXPECT_EQ(tablas_.TablaCDRomTemp.RecordCount(), 1u);
  EXPECT_FALSE(tablas_.TablaCDRomTemp.Locate("AUTO", "2"));
  tablas_.TablaCDRomTemp.Last();
  EXPECT_EQ(tablas_.TablaCDRomTemp.AsString("AUTO"), "1");
  EXPECT_EQ(ReadBytes(folder_ / "CDROM.DBF")[481 + 328], '*');
}

}  // namespace
}  // namespace zafirel
