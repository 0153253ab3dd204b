// Opening a data folder mends what interrupted work left behind: records of
// runs that never completed, temporary files of cut writes, and indexes a
// change left in doubt; a run still going on elsewhere is left alone.
#include "store/data_folder.h"

#include <gtest/gtest.h>

#include "store/catalogue_files.h"
#include "store/tablas.h"
#include "test_support.h"
#include "util/folder_lock.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;
using testing::WriteBytes;

TEST(PrepareDataFolderTest, UnfinishedRunsGoOrAreCompletedAndLiveOnesStay) {
  testing::TempFolder data;
  const fs::path catalogues = data / "Catalogos";
  fs::create_directories(catalogues);
  ASSERT_TRUE(TTablas::CreateDiscTable(data.Path()));
  testing::AddDiscRecords(data.Path(), {{{"AUTO", "1"}, {"TOTFILES", "2"}},
                                        {{"AUTO", "2"}, {"TOTFILES", ""}},
                                        {{"AUTO", "3"}, {"TOTFILES", ""}},
                                        {{"AUTO", "4"}, {"TOTFILES", ""}},
                                        {{"AUTO", "5"}, {"TOTFILES", "0"}}});
  for (const char* number : {"1", "3", "5"}) {
    WriteBytes(TreeFilePath(catalogues, number), "D:\\\r\n");
    WriteBytes(ListFilePath(catalogues, number), "D:\\A;1;x\r\nD:\\B;1;x\r\n");
  }
  WriteBytes(TreeFilePath(catalogues, "2"), "D:\\\r\n");  // cut before its file list
  WriteBytes(catalogues / "5.Ct.tmp-a1B2c3", "half a file");
  WriteBytes(catalogues / "notes.tmp-1", "not one of ours");
  // A run's working files: of a run that crashed, of disc 4's live run, and no run's.
  for (const char* name : {"6.Ct.run", "6.Ind.run", "4.Ct.run", "lista.Ct.run"})
    WriteBytes(catalogues / name, "D:\\\r\n");
  RunClaim live;  // disc 4's run is still walking
  ASSERT_TRUE(live.Claim(data.Path(), 4));

  testing::NoDialogs dialogs;
  const Locale locale;
  const UpgradeContext context{[](std::string_view key) { return std::string(key); }, dialogs,
                               locale, [] { return std::tm{}; }};
  const DataFolderRepairs repairs = PrepareDataFolder(data.Path(), catalogues, context, "");
  EXPECT_FALSE(repairs.busy);
  EXPECT_EQ(repairs.unfinishedRemoved, 1);
  EXPECT_EQ(repairs.unfinishedCompleted, 1);
  EXPECT_EQ(repairs.tempFilesRemoved, 3);
  EXPECT_EQ(repairs.indexesRebuilt, 10);  // none were there
  EXPECT_FALSE(fs::exists(TreeFilePath(catalogues, "2")));
  EXPECT_FALSE(fs::exists(catalogues / "5.Ct.tmp-a1B2c3"));
  EXPECT_TRUE(fs::exists(catalogues / "notes.tmp-1"));
  EXPECT_FALSE(fs::exists(catalogues / "6.Ct.run") || fs::exists(catalogues / "6.Ind.run"));
  EXPECT_TRUE(fs::exists(catalogues / "4.Ct.run") && fs::exists(catalogues / "lista.Ct.run"));

  TTablas tablas;
  tablas.SetFolder(data.Path());
  tablas.OpenDiscTable();
  EXPECT_FALSE(tablas.TablaCDRom.Locate("AUTO", "2"));
  ASSERT_TRUE(tablas.TablaCDRom.Locate("AUTO", "3"));
  EXPECT_EQ(tablas.TablaCDRom.AsString("TOTFILES"), "2");
  EXPECT_EQ(tablas.TablaCDRom.AsString("NUMEROCD"), "3");
  ASSERT_TRUE(tablas.TablaCDRom.Locate("AUTO", "4"));
  EXPECT_EQ(tablas.TablaCDRom.AsString("TOTFILES"), "");
  EXPECT_EQ(tablas.TablaCDRom.RecordCount(), 4u);

  // A change cut short leaves its mark: the next opening rebuilds all ten.
  tablas.TablaCDRom.SetIndexesInDoubt(true);
  tablas.IndicesCDRom.Detach(tablas.TablaCDRom);
  tablas.TablaCDRom.Close();
  live.Release();
  const DataFolderRepairs again = PrepareDataFolder(data.Path(), catalogues, context, "");
  EXPECT_EQ(again.indexesRebuilt, 10);
  EXPECT_EQ(again.unfinishedRemoved, 1);  // disc 4's run has ended without finishing
  EXPECT_FALSE(dbf::Table::IndexesInDoubt(data / "CDROM.DBF"));
}

}  // namespace
}  // namespace zafirel
