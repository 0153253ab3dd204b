// A catalogued disc walked again: the changes it shows, and catalogue files
// byte-identical to a fresh catalogue of the changed tree, with the record's
// own fields and the comments on files still there kept.
#include "scan/disc_update.h"

#include <gtest/gtest.h>
#include <sys/time.h>
#include <zip.h>

#include <algorithm>
#include <map>
#include <random>

#include "browse/loaded_catalogue.h"
#include "scan/drive_map.h"
#include "store/catalogue_files.h"
#include "store/index_set.h"
#include "store/tablas.h"
#include "test_support.h"
#include "util/text.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::SetModifiedDay;
using testing::WriteBytes;

TEST(CompareWalkOrder, FollowsTheWalk) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  };
  for (const Case& c : std::vector<Case>{
           {"D:\\Z.TXT", "D:\\A\\B.TXT", -1},      // a folder's files before its subfolders
           {"D:\\a.txt", "D:\\B.TXT", -1},         // without regard to case
           {"D:\\B.TXT", "D:\\b.txt", -1},         // then byte by byte
           {"D:\\DOC\\X", "D:\\DOCS\\A", -1},      // a name that starts another first
           {"D:\\\xE1rbol", "D:\\ZETA", 1},        // accented letters after Z, as walked
           {"D:\\A\\B.TXT", "E:\\A\\B.TXT", 0},    // the drive letter passed over
           {"D:\\A\\Z\\1", "D:\\A\\Z.TXT", 1}}) {  // a file of A before A's subfolder Z
    EXPECT_EQ(CompareWalkOrder(c.a, c.b), c.order) << c.a << " " << c.b;
    EXPECT_EQ(CompareWalkOrder(c.b, c.a), -c.order) << c.b << " " << c.a;
  }
}

void MakeZip(const fs::path& path, const std::string& description) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  zip_source_t* source = zip_source_buffer(archive, description.data(), description.size(), 0);
  zip_file_add(archive, "FILE_ID.DIZ", source, ZIP_FL_ENC_RAW);
  ASSERT_EQ(zip_close(archive), 0);
  SetModifiedDay(path, 2004, 2, 29);
}

// A data folder with its tables and catalogue folder.
struct DataFolder {
  DataFolder() {
    EXPECT_TRUE(TTablas::CreateDiscTable(folder.Path()));
    EXPECT_TRUE(TTablas::CreateCoverTable(folder.Path()));
    tablas.SetFolder(folder.Path());
    testing::NoDialogs dialogs;
    RegeneraIndices(tablas.TablaCDRom, folder.Path(), dialogs, "");
    tablas.OpenDiscTable();
    fs::create_directories(catalogues);
  }
  std::string Field(const std::string& number, const std::string& field) {
    EXPECT_TRUE(tablas.TablaCDRom.Locate("AUTO", number));
    return tablas.TablaCDRom.AsString(field);
  }

  testing::TempFolder folder;
  fs::path catalogues = folder / "Catalogos";
  TTablas tablas;
};

class DiscUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disc_ = volume_.Path() / "USB";
    for (const char* folder : {"DOCS/VIEJO", "FOTOS", "ZIPS"})
      fs::create_directories(disc_ / folder);
    Put("LEEME.TXT", 10);
    Put("DOCS/CARTA.DOC", 3000);
    Put("DOCS/CRECE.DOC", 1000);
    Put("DOCS/VIEJO/BORRAR.BIN", 1025);
    Put("FOTOS/A.JPG", 2048);
    Put("FOTOS/B.JPG", 4096);
    MakeZip(disc_ / "ZIPS" / "IGUAL.ZIP", "Igual v1");
    MakeZip(disc_ / "ZIPS" / "CAMBIA.ZIP", "Cambia v1");
    drives_.Map('E', disc_);
  }

  void Put(const std::string& name, std::size_t bytes, int day = 1) {
    WriteBytes(disc_ / name, std::string(bytes, 'x'));
    SetModifiedDay(disc_ / name, 2020, 5, day);
  }

  // A new disc of the drive as it is now, in data.
  std::string Catalogue(DataFolder& data) {
    CatalogueRun run(data.tablas, drives_, Locale{});
    Configure(run, data);
    EXPECT_EQ(run.Catalogue("E:\\", true).outcome, RunOutcome::kCatalogued);
    return run.NumeroNuevo;
  }

  void Configure(CatalogueRun& run, DataFolder& data) {
    run.catalogueFolder = data.catalogues;
    run.tempFolder = data.folder.Path();
    run.Zips = true;
  }

  // The list of disc 1 with comments on the files of these paths.
  void Comment(const std::map<std::string, std::string>& comments) {
    const fs::path list = ListFilePath(data_.catalogues, "1");
    LineList lines = ReadCatalogueFile(list);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const auto comment = comments.find(std::string(Trozo(lines[i], ';', 0)));
      if (comment != comments.end()) lines.Replace(i, WithComment(lines[i], comment->second));
    }
    ASSERT_TRUE(WriteCatalogueFile(list, lines));
  }

  testing::TempFolder volume_;
  fs::path disc_;
  DriveMap drives_;
  DataFolder data_;
};

TEST_F(DiscUpdateTest, AChangedTreeGivesTheFilesOfAFreshCatalogueWithTheUsersWordsKept) {
  ASSERT_EQ(Catalogue(data_), "1");
  {
    dbf::Table& discs = data_.tablas.TablaCDRom;
    ASSERT_TRUE(discs.Locate("AUTO", "1"));
    discs.Edit();
    discs.SetString("TITULOCD", "Mi USB");
    discs.SetString("ALBUM", "COPIAS");
    discs.SetString("NOTAS", "Notas del disco");
    discs.SetString("DEDONDE", "Oficina");
    discs.SetString("NUMEROCD", "U-7");
    discs.Post();
  }
  Comment({{"E:\\LEEME.TXT", "se queda"},
           {"E:\\DOCS\\CRECE.DOC", "crece"},
           {"E:\\DOCS\\VIEJO\\BORRAR.BIN", "se va"},
           {"E:\\ZIPS\\IGUAL.ZIP", "mi nota"},
           {"E:\\ZIPS\\CAMBIA.ZIP", "nota vieja"}});

  // Every kind of change: added, removed, grown, touched, a folder renamed,
  // an archive replaced.
  Put("NUEVO.TXT", 5);
  fs::create_directory(disc_ / "DOCS" / "NUEVA");
  Put("DOCS/NUEVA/DENTRO.TXT", 0, 2);
  fs::remove(disc_ / "DOCS" / "VIEJO" / "BORRAR.BIN");
  Put("DOCS/CRECE.DOC", 9000);
  SetModifiedDay(disc_ / "DOCS" / "CARTA.DOC", 2021, 6, 15);
  fs::rename(disc_ / "FOTOS", disc_ / "IMAGENES");
  MakeZip(disc_ / "ZIPS" / "CAMBIA.ZIP", "Cambia v2");
  SetModifiedDay(disc_ / "ZIPS" / "CAMBIA.ZIP", 2005, 3, 1);

  DiscUpdate update(data_.tablas, drives_, Locale{});
  Configure(update.run, data_);
  ASSERT_EQ(update.Walk("1", "E:\\", true).outcome, RunOutcome::kCatalogued);
  std::vector<std::string> seen;
  const ListComparison changes = update.Compare([&](const FileChange& change) {
    const std::string_view line =
        change.kind == ChangeKind::kRemoved ? change.oldLine : change.newLine;
    seen.push_back("+-~"[static_cast<int>(change.kind)] + std::string(Trozo(line, ';', 0)));
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"+E:\\NUEVO.TXT", "~E:\\DOCS\\CARTA.DOC",
                                            "~E:\\DOCS\\CRECE.DOC", "+E:\\DOCS\\NUEVA\\DENTRO.TXT",
                                            "-E:\\DOCS\\VIEJO\\BORRAR.BIN", "-E:\\FOTOS\\A.JPG",
                                            "-E:\\FOTOS\\B.JPG", "+E:\\IMAGENES\\A.JPG",
                                            "+E:\\IMAGENES\\B.JPG", "~E:\\ZIPS\\CAMBIA.ZIP"}));
  EXPECT_EQ(changes.added, 4u);
  EXPECT_EQ(changes.removed, 3u);
  EXPECT_EQ(changes.changed, 3u);
  EXPECT_EQ(changes.unchanged, 2u);
  EXPECT_FALSE(changes.sortedInMemory);
  ASSERT_TRUE(update.Apply());

  DataFolder fresh;
  ASSERT_EQ(Catalogue(fresh), "1");
  EXPECT_EQ(ReadBytes(TreeFilePath(data_.catalogues, "1")),
            ReadBytes(TreeFilePath(fresh.catalogues, "1")));
  // The fresh list with the comments of the files that stayed; a changed
  // archive shows its new description.
  LineList expected = ReadCatalogueFile(ListFilePath(fresh.catalogues, "1"));
  const std::map<std::string, std::string> kept = {{"E:\\LEEME.TXT", "se queda"},
                                                   {"E:\\DOCS\\CRECE.DOC", "crece"},
                                                   {"E:\\ZIPS\\IGUAL.ZIP", "mi nota"}};
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (const auto comment = kept.find(std::string(Trozo(expected[i], ';', 0)));
        comment != kept.end())
      expected.Replace(i, WithComment(expected[i], comment->second));
  EXPECT_EQ(ReadBytes(ListFilePath(data_.catalogues, "1")), expected.ToText());
  EXPECT_NE(expected.ToText().find(";Cambia v2"), std::string::npos);

  for (const char* field : {"TITULOCD", "ALBUM", "NOTAS", "DEDONDE", "NUMEROCD"})
    EXPECT_NE(data_.Field("1", field), fresh.Field("1", field)) << field;
  EXPECT_EQ(data_.Field("1", "TITULOCD"), "Mi USB");
  EXPECT_EQ(data_.Field("1", "NUMEROCD"), "U-7");
  for (const char* field : {"ETIQUETA", "NSERIECD", "BYTESCD", "TOTFILES", "UNIDAD"})
    EXPECT_EQ(data_.Field("1", field), fresh.Field("1", field)) << field;
  EXPECT_EQ(data_.Field("1", "TOTFILES"), "9");
  // Nothing of the update is left beside the catalogue.
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(data_.catalogues))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"1.Ct", "1.Ind", "1.Tri"}));
}

TEST_F(DiscUpdateTest, AListInAnotherOrderIsComparedTheSame) {
  ASSERT_EQ(Catalogue(data_), "1");
  Put("NUEVO.TXT", 5);
  const fs::path list = ListFilePath(data_.catalogues, "1");
  const std::string inOrder = ReadBytes(list);
  const auto compare = [&] {
    DiscUpdate update(data_.tablas, drives_, Locale{});
    Configure(update.run, data_);
    EXPECT_EQ(update.Walk("1", "E:\\", true).outcome, RunOutcome::kCatalogued);
    std::string changes;
    const ListComparison counts = update.Compare([&](const FileChange& change) {
      changes += std::string(change.oldLine) + ">" + std::string(change.newLine) + "\n";
    });
    return std::pair{changes, counts};
  };
  const auto [expected, inOrderCounts] = compare();
  LineList lines = ReadCatalogueFile(list), shuffled;
  std::vector<std::size_t> order(lines.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  for (const std::size_t i : order) shuffled.push_back(lines[i]);
  ASSERT_TRUE(WriteCatalogueFile(list, shuffled));
  ASSERT_NE(ReadBytes(list), inOrder);
  const auto [seen, counts] = compare();
  EXPECT_EQ(seen, expected);
  EXPECT_TRUE(counts.sortedInMemory);
  EXPECT_EQ(counts.added, 1u);
  EXPECT_EQ(counts.unchanged, inOrderCounts.unchanged);
}

TEST_F(DiscUpdateTest, RefusalsAndDiscardsLeaveTheDiscAsItWas) {
  ASSERT_EQ(Catalogue(data_), "1");
  const std::string list = ReadBytes(ListFilePath(data_.catalogues, "1"));
  Put("NUEVO.TXT", 5);
  DiscUpdate update(data_.tablas, drives_, Locale{});
  Configure(update.run, data_);
  EXPECT_EQ(update.Walk("9", "E:\\", true).outcome, RunOutcome::kNoSuchDisc);
  // The drive holds disc 2 of the collection, not disc 1.
  testing::TempFolder other;
  drives_.Map('F', other.Path());
  CatalogueRun run(data_.tablas, drives_, Locale{});
  Configure(run, data_);
  ASSERT_EQ(run.Catalogue("F:\\", true).outcome, RunOutcome::kCatalogued);
  const RunResult other2 = update.Walk("1", "F:\\", true);
  EXPECT_EQ(other2.outcome, RunOutcome::kDuplicate);
  EXPECT_EQ(other2.detail, fs::path(other.Path()).filename().string());
  // Walked and compared, then let go.
  ASSERT_EQ(update.Walk("1", "E:\\", true).outcome, RunOutcome::kCatalogued);
  EXPECT_EQ(update.Compare({}).added, 1u);
  update.Discard();
  EXPECT_EQ(ReadBytes(ListFilePath(data_.catalogues, "1")), list);
  EXPECT_EQ(data_.Field("1", "TOTFILES"), "8");
  for (const auto& entry : fs::directory_iterator(data_.catalogues))
    EXPECT_EQ(entry.path().extension() == ".run" || entry.path().extension() == ".new", false)
        << entry.path();
}

}  // namespace
}  // namespace zafirel
