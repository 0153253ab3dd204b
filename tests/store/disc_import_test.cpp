// Importing another data folder's discs: new discs numbered on, their files
// and pictures along, duplicates skipped, a damaged source refused.
#include "store/disc_import.h"

#include <gtest/gtest.h>

#include "app/startup.h"
#include "store/catalogue_files.h"
#include "store/covers.h"
#include "store/index_set.h"
#include "store/tablas.h"
#include "test_support.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WriteBytes;

void AddDisc(TTablas& tablas, const char* number, const char* title, const char* serial) {
  testing::AppendRecord(tablas.TablaCDRom, {{"AUTO", number},
                                            {"TITULOCD", title},
                                            {"NSERIECD", serial},
                                            {"NOTAS", std::string("Notas de ") + title}});
}

TEST(DiscImport, NewDiscsComeWithTheirFilesAndPicturesAndDuplicatesStay) {
  testing::TempFolder here, there;
  for (const fs::path& folder : {here.Path(), there.Path()}) {
    ASSERT_TRUE(TTablas::CreateDiscTable(folder));
    ASSERT_TRUE(TTablas::CreateCoverTable(folder));
    fs::create_directories(FoldersBelow(folder).catalogos);
  }
  {
    TTablas source;
    source.SetFolder(there.Path());
    source.TablaCDRom.Open();
    AddDisc(source, "4", "Repetido", "AAAA-0001");
    AddDisc(source, "7", "Nuevo", "BBBB-0002");
    AddDisc(source, "9", "Sin archivos", "CCCC-0003");
    source.TablaGraf.Open();
    StoreCover(source.TablaGraf, "7", "\xFF\xD8\xFF jpeg");
    const fs::path catalogues = FoldersBelow(there.Path()).catalogos;
    WriteBytes(TreeFilePath(catalogues, "7"), "D:\\\r\n");
    WriteBytes(ListFilePath(catalogues, "7"), "D:\\A.TXT;1;01/01/2000\r\n");
  }
  const std::string sourceTable = ReadBytes(there / "CDROM.DBF");

  TTablas target;
  target.SetFolder(here.Path());
  target.TablaCDRom.Open();
  AddDisc(target, "1", "Ya estaba", "AAAA-0001");
  target.TablaCDRom.Close();
  testing::NoDialogs dialogs;
  RegeneraIndices(target.TablaCDRom, here.Path(), dialogs, "");
  target.OpenDiscTable();

  int steps = 0;
  const fs::path catalogues = FoldersBelow(here.Path()).catalogos;
  const ImportReport report =
      ImportDiscs(target, catalogues, there.Path(), [&](int done, int total) {
        ++steps;
        EXPECT_EQ(total, 3);
        EXPECT_EQ(done, steps);
        return true;
      });
  EXPECT_EQ(report.imported, 2);
  EXPECT_EQ(report.skipped, 1);
  EXPECT_EQ(report.withoutFiles, 1);
  EXPECT_EQ(target.TablaCDRom.RecordCount(), 3u);
  ASSERT_TRUE(target.TablaCDRom.Locate("NSERIECD", "BBBB-0002"));
  EXPECT_EQ(target.TablaCDRom.AsString("AUTO"), "2");
  EXPECT_EQ(target.TablaCDRom.AsString("TITULOCD"), "Nuevo");
  EXPECT_EQ(target.TablaCDRom.AsString("NOTAS"), "Notas de Nuevo");
  EXPECT_EQ(ReadBytes(ListFilePath(catalogues, "2")), "D:\\A.TXT;1;01/01/2000\r\n");
  EXPECT_EQ(ReadBytes(TreeFilePath(catalogues, "2")), "D:\\\r\n");
  ASSERT_TRUE(target.TablaCDRom.Locate("NSERIECD", "CCCC-0003"));
  EXPECT_EQ(target.TablaCDRom.AsString("AUTO"), "3");
  // A source disc without files comes with an empty list and its bare root.
  EXPECT_EQ(ReadBytes(ListFilePath(catalogues, "3")), "");
  EXPECT_EQ(ReadBytes(TreeFilePath(catalogues, "3")), "D:\\\r\n");
  target.TablaGraf.Open();
  EXPECT_EQ(FindCover(target.TablaGraf, "2"), "\xFF\xD8\xFF jpeg");
  EXPECT_FALSE(FindCover(target.TablaGraf, "3"));
  EXPECT_EQ(ReadBytes(there / "CDROM.DBF"), sourceTable);  // the source is only read

  // A damaged source is refused before anything changes.
  WriteBytes(there / "CDROM.DBF", "roto");
  EXPECT_THROW(ImportDiscs(target, catalogues, there.Path(), nullptr), std::runtime_error);
  EXPECT_EQ(target.TablaCDRom.RecordCount(), 3u);
  EXPECT_TRUE(SameFolder(here.Path(), here / "."));
  EXPECT_FALSE(SameFolder(here.Path(), there.Path()));
}

}  // namespace
}  // namespace zafirel
