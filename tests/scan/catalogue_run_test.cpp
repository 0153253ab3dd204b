// A catalogue run over a small tree in a temporary folder mapped to a drive
// letter: the new record, the exact bytes of both catalogue files, names the
// lines cannot hold, runs without subfolders, stops, duplicates and archives.
#include "scan/catalogue_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <zip.h>

#include "scan/drive_map.h"
#include "store/catalogue_files.h"
#include "store/index_set.h"
#include "store/tablas.h"
#include "test_support.h"
#include "util/codepage.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::SetModifiedDay;
using testing::WriteBytes;

void MakeZip(const fs::path& path,
             const std::vector<std::pair<std::string, std::string>>& members) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  for (const auto& [name, text] : members) {
    zip_source_t* source = zip_source_buffer(archive, text.data(), text.size(), 0);
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_RAW);
    zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), 1'000'036'800,
                       0);  // noon, 9 September 2001 (UTC)
  }
  ASSERT_EQ(zip_close(archive), 0);
}

// The bytes the program has always written for the tree of the test
// EveryKindOfEntryGivesTheSameBytesAsAlways.
const std::string kGoldenTree =
    "E:\\\r\n"
    "E:\\a_b\\\r\n"
    "E:\\DOCS\\\r\n"
    "E:\\DOCS\\VIEJO\\\r\n"
    "E:\\VACIA\\\r\n"
    "E:\\ZIPS\\\r\n"
    "E:\\ZIPS\\pack.zip\\\r\n"
    "E:\\ZIPS\\pack.zip\\docs\\\r\n"
    "E:\\ZIPS\\pack.zip\\docs\\sub\\\r\n"
    "E:\\ZIPS\\z\\\r\n"
    "E:\\ZIPS\\z\\NADA.ZIP\\\r\n";
const std::string kGoldenList =
    "E:\\b_c.txt;3;29/02/2004\r\n"
    "E:\\ENLACE.BIN;1;02/01/1999\r\n"
    "E:\\GRANDE.ISO;5242881;29/02/2004\r\n"
    "E:\\mal?.bin;1;29/02/2004\r\n"
    "E:\\SOLO.TXT;1;29/02/2004\r\n"
    "E:\\VACIO.TXT;0;25/12/2003\r\n"
    "E:\\\xC1"
    "rbol.txt;1;29/02/2004\r\n"
    "E:\\a_b\\dentro.txt;2;29/02/2004\r\n"
    "E:\\DOCS\\KILO.BIN;1;02/01/1999\r\n"
    "E:\\DOCS\\VIEJO\\MAS.BIN;2;31/07/2010\r\n"
    "E:\\ZIPS\\pack.zip;1;29/02/2004;Juegodecartas v1.0\r\n"
    "E:\\ZIPS\\ROTO.ZIP;1;29/02/2004;\r\n"
    "E:\\ZIPS\\pack.zip\\LEEME.DOC;1;09/09/2001\r\n"
    "E:\\ZIPS\\pack.zip\\README.TXT;1;09/09/2001\r\n"
    "E:\\ZIPS\\pack.zip\\docs\\FILE_ID.DIZ;1;09/09/2001\r\n"
    "E:\\ZIPS\\pack.zip\\docs\\sub\\uno.txt;2;09/09/2001\r\n"
    "E:\\ZIPS\\z\\NADA.ZIP;1;29/02/2004\r\n"
    "E:\\ZIPS\\z\\NADA.ZIP\\PROGRAMA.EXE;1;09/09/2001\r\n";

class CatalogueRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TTablas::CreateDiscTable(data_.Path()));
    ASSERT_TRUE(TTablas::CreateCoverTable(data_.Path()));
    tablas_.SetFolder(data_.Path());
    testing::NoDialogs dialogs;
    RegeneraIndices(tablas_.TablaCDRom, data_.Path(), dialogs, "");
    tablas_.OpenDiscTable();
    fs::create_directories(catalogues_);
    fs::create_directories(temp_);
    disc_ = volume_.Path() / "DISCO1";
    fs::create_directories(disc_ / "DOCS" / "VIEJO");
    WriteBytes(disc_ / "VACIO.TXT", "");
    WriteBytes(disc_ / "DOCS" / "KILO.BIN", std::string(1024, 'k'));
    WriteBytes(disc_ / "DOCS" / "VIEJO" / "MAS.BIN", std::string(1025, 'm'));
    SetModifiedDay(disc_ / "VACIO.TXT", 2003, 12, 25);
    SetModifiedDay(disc_ / "DOCS" / "KILO.BIN", 1999, 1, 2);
    SetModifiedDay(disc_ / "DOCS" / "VIEJO" / "MAS.BIN", 2010, 7, 31);
    drives_.Map('E', disc_);
  }
  // One whole run; the hook may stop it.
  CatalogueRun& Run(bool subfolders, std::function<void(CatalogueRun&)> hook = nullptr) {
    run_ = std::make_unique<CatalogueRun>(tablas_, drives_, Locale{});
    run_->catalogueFolder = catalogues_;
    run_->tempFolder = temp_;
    run_->Zips = zips_;
    run_->Archives = archives_;
    EXPECT_EQ(run_->PrepareDrive("E:\\"), CatalogueRun::DriveCheck::kReady);
    run_->AppendDisc();
    run_->progressInterval = std::chrono::milliseconds(0);
    run_->onProgress = [&](const RunProgress&) {
      if (hook) hook(*run_);
    };
    run_->Walk(subfolders);
    if (run_->Stopped()) {
      run_->DiscardDisc();
    } else {
      EXPECT_TRUE(run_->FinishDisc());
    }
    return *run_;
  }

  testing::TempFolder data_, volume_;
  fs::path catalogues_ = data_ / "Catalogos", temp_ = data_ / "Temp", disc_;
  TTablas tablas_;
  DriveMap drives_;
  bool zips_ = false;
  bool archives_ = false;
  std::unique_ptr<CatalogueRun> run_;
};

TEST_F(CatalogueRunTest, AWholeRunWritesTheRecordAndBothFilesExactly) {
  Run(true);
  EXPECT_EQ(ReadBytes(catalogues_ / "1.Ind"), "E:\\\r\nE:\\DOCS\\\r\nE:\\DOCS\\VIEJO\\\r\n");
  EXPECT_EQ(ReadBytes(catalogues_ / "1.Ct"),
            "E:\\VACIO.TXT;0;25/12/2003\r\n"
            "E:\\DOCS\\KILO.BIN;1;02/01/1999\r\n"
            "E:\\DOCS\\VIEJO\\MAS.BIN;2;31/07/2010\r\n");
  dbf::Table& discs = tablas_.TablaCDRom;
  ASSERT_EQ(discs.RecordCount(), 1u);
  ASSERT_TRUE(discs.Locate("AUTO", "1"));
  EXPECT_EQ(discs.AsString("NUMEROCD"), "1");
  EXPECT_EQ(discs.AsString("TOTFILES"), "3");
  EXPECT_EQ(discs.AsString("UNIDAD"), "E");
  EXPECT_EQ(discs.AsString("TITULOCD"), "DISCO1");  // a folder's disc is named after it
  EXPECT_EQ(discs.AsString("ETIQUETA"), "DISCO1");
  EXPECT_EQ(discs.AsString("NSERIECD").size(), 8u);
  EXPECT_EQ(discs.AsString("BYTESCD"), "0 MB");  // what the folder holds, not its host volume
  EXPECT_EQ(TitleForLabel(""), "Sin nombre");

  // The same disc again is refused by its serial number.
  CatalogueRun again(tablas_, drives_, Locale{});
  ASSERT_EQ(again.PrepareDrive("E:\\"), CatalogueRun::DriveCheck::kReady);
  EXPECT_EQ(again.DuplicateTitle(), "DISCO1");
}

// Linux names may hold line breaks (a Mac's "Icon\r" file); each would split
// a catalogue line.
TEST_F(CatalogueRunTest, LineBreaksInNamesKeepOneLinePerFile) {
  fs::remove_all(disc_ / "DOCS");
  fs::remove(disc_ / "VACIO.TXT");
  WriteBytes(disc_ / "Icon\r", std::string(1024, 'i'));
  fs::create_directory(disc_ / "a\nb");
  WriteBytes(disc_ / "a\nb" / "dentro.txt", std::string(1025, 'd'));
  SetModifiedDay(disc_ / "Icon\r", 2001, 3, 4);
  SetModifiedDay(disc_ / "a\nb" / "dentro.txt", 2002, 5, 6);
  Run(true);
  EXPECT_EQ(ReadBytes(catalogues_ / "1.Ind"), "E:\\\r\nE:\\a_b\\\r\n");
  EXPECT_EQ(ReadBytes(catalogues_ / "1.Ct"),
            "E:\\Icon_;1;04/03/2001\r\n"
            "E:\\a_b\\dentro.txt;2;06/05/2002\r\n");
  ASSERT_TRUE(tablas_.TablaCDRom.Locate("AUTO", "1"));
  EXPECT_EQ(tablas_.TablaCDRom.AsString("TOTFILES"), "2");
}

TEST_F(CatalogueRunTest, WithoutSubfoldersOnlyTheRootIsWalked) {
  WriteBytes(disc_ / "GRANDE.BIN", "");
  fs::resize_file(disc_ / "GRANDE.BIN", 5u << 20);  // sparse: no room taken
  SetModifiedDay(disc_ / "GRANDE.BIN", 2003, 12, 25);
  Run(false);
  EXPECT_EQ(ReadBytes(catalogues_ / "1.Ind"), "E:\\\r\n");
  EXPECT_EQ(ReadBytes(catalogues_ / "1.Ct"),
            "E:\\GRANDE.BIN;5120;25/12/2003\r\nE:\\VACIO.TXT;0;25/12/2003\r\n");
  ASSERT_TRUE(tablas_.TablaCDRom.Locate("AUTO", "1"));
  EXPECT_EQ(tablas_.TablaCDRom.AsString("TOTFILES"), "2");
  EXPECT_EQ(tablas_.TablaCDRom.AsString("BYTESCD"), "5 MB");  // the files walked, no more
}

TEST_F(CatalogueRunTest, AStopInTheFirstFolderLeavesNothingBehind) {
  Run(true, [](CatalogueRun& run) { run.Buscador.Abort(); });
  EXPECT_EQ(tablas_.TablaCDRom.RecordCount(), 0u);
  EXPECT_TRUE(fs::is_empty(catalogues_));
  EXPECT_TRUE(run_->NumeroNuevo.empty());
}

TEST_F(CatalogueRunTest, ChecksTheChosenDrive) {
  CatalogueRun run(tablas_, drives_, Locale{});
  EXPECT_EQ(run.PrepareDrive("E:\\DOCS"), CatalogueRun::DriveCheck::kNotARoot);
  EXPECT_EQ(run.PrepareDrive("E:"), CatalogueRun::DriveCheck::kNotARoot);
  EXPECT_EQ(run.PrepareDrive("Q:\\"), CatalogueRun::DriveCheck::kDriveError);
  // A file picked as a disc image that holds none is told apart.
  WriteBytes(volume_.Path() / "nada.iso", std::string(70000, 'x'));
  drives_.Map('F', volume_.Path() / "nada.iso");
  CatalogueRun onFile(tablas_, drives_, Locale{});
  const RunResult refused = onFile.Catalogue("F:\\", true, {});
  EXPECT_EQ(refused.outcome, RunOutcome::kNotAnImage);
  EXPECT_EQ(refused.detail, PathText(volume_.Path() / "nada.iso"));
  fs::remove_all(disc_);
  EXPECT_EQ(run.PrepareDrive("E:\\"), CatalogueRun::DriveCheck::kDriveError);  // an empty drive
  EXPECT_EQ(tablas_.TablaCDRom.RecordCount(), 0u);
}

TEST_F(CatalogueRunTest, ArchivesGetTheirDescriptionsAndADamagedOneGoesOn) {
  fs::remove_all(disc_ / "DOCS");
  fs::remove(disc_ / "VACIO.TXT");
  fs::create_directories(disc_ / "A");
  fs::create_directories(disc_ / "B");
  fs::create_directories(disc_ / "C");
  MakeZip(
      disc_ / "A" / "pack.zip",
      {{"LEEME.DOC", "no"}, {"FILE_ID.DIZ", "Juego;de\\cartas\r\nv1.0"}, {"README.TXT", "otro"}});
  WriteBytes(disc_ / "B" / "ROTO.ZIP", "PK\x03\x04 esto no es un zip");
  MakeZip(disc_ / "C" / "NADA.ZIP", {{"PROGRAMA.EXE", "MZ"}});
  fs::create_directories(disc_ / "D");
  MakeZip(disc_ / "D" / "otro.zip", {{"FILE_ID.DIZ", "corto"}});
  WriteBytes(temp_ / "FILE_ID.DIZ", "a read-only file left from before, much longer");
  fs::permissions(temp_ / "FILE_ID.DIZ", fs::perms::owner_read);
  for (const char* f : {"A/pack.zip", "B/ROTO.ZIP", "C/NADA.ZIP", "D/otro.zip"})
    SetModifiedDay(disc_ / f, 2001, 2, 3);
  zips_ = true;
  Run(true);
  std::string list = ReadBytes(catalogues_ / "1.Ct");
  EXPECT_NE(list.find(";03/02/2001;Juegodecartas v1.0\r\n"), std::string::npos) << list;
  EXPECT_NE(list.find("E:\\B\\ROTO.ZIP;1;03/02/2001;\r\n"), std::string::npos) << list;
  EXPECT_NE(list.find("E:\\C\\NADA.ZIP;1;03/02/2001\r\n"), std::string::npos) << list;
  EXPECT_EQ(run_->Progress().files, 4u);
  // The copy in the temporary folder holds the last member of its name, whole.
  EXPECT_EQ(ReadBytes(temp_ / "FILE_ID.DIZ"), "corto");
}

// Every kind of entry a volume holds, with descriptions and archives' members
// on: the two files must stay byte for byte what the program has always
// written for such a tree (the expected bytes are those of earlier versions).
TEST_F(CatalogueRunTest, EveryKindOfEntryGivesTheSameBytesAsAlways) {
  WriteBytes(disc_ / "\xC3\x81rbol.txt", "a");  // "Árbol" in UTF-8
  WriteBytes(disc_ / "b;c.txt", std::string(3000, 'b'));
  WriteBytes(disc_ / "mal\xFF.bin", "m");
  WriteBytes(disc_ / "SOLO.TXT", "s");
  fs::permissions(disc_ / "SOLO.TXT", fs::perms::owner_read);
  WriteBytes(disc_ / ".oculto", "o");
  WriteBytes(disc_ / ".git" / "config", "g");
  fs::create_symlink(disc_ / "DOCS" / "KILO.BIN", disc_ / "ENLACE.BIN");
  fs::create_directory_symlink(disc_, disc_ / "DOCS" / "BUCLE");
  fs::create_symlink(disc_ / "NO_EXISTE", disc_ / "ROTO");
  ASSERT_EQ(mkfifo((disc_ / "TUBERIA").c_str(), 0644), 0);
  fs::create_directories(disc_ / "VACIA");
  fs::create_directories(disc_ / "a\nb");
  WriteBytes(disc_ / "a\nb" / "dentro.txt", std::string(1025, 'd'));
  WriteBytes(disc_ / "GRANDE.ISO", "");
  fs::resize_file(disc_ / "GRANDE.ISO", (std::uintmax_t{5} << 30) + 1);
  fs::create_directories(disc_ / "ZIPS" / "z");
  MakeZip(disc_ / "ZIPS" / "pack.zip", {{"LEEME.DOC", "no"},
                                        {"docs/FILE_ID.DIZ", "Juego;de\\cartas\r\nv1.0"},
                                        {"docs/sub/uno.txt", std::string(2048, 'u')},
                                        {"README.TXT", "otro"}});
  WriteBytes(disc_ / "ZIPS" / "ROTO.ZIP", "PK\x03\x04 esto no es un zip");
  MakeZip(disc_ / "ZIPS" / "z" / "NADA.ZIP", {{"PROGRAMA.EXE", "MZ"}});
  for (const char* f : {"\xC3\x81rbol.txt", "b;c.txt", "mal\xFF.bin", "SOLO.TXT", "GRANDE.ISO",
                        "a\nb/dentro.txt", "ZIPS/pack.zip", "ZIPS/ROTO.ZIP", "ZIPS/z/NADA.ZIP"})
    SetModifiedDay(disc_ / f, 2004, 2, 29);
  zips_ = true;
  archives_ = true;
  Run(true);
  const std::string tree = ReadBytes(catalogues_ / "1.Ind");
  const std::string list = ReadBytes(catalogues_ / "1.Ct");
  if (std::getenv("ZAFIREL_PRINT_GOLDEN") != nullptr)
    std::printf("TREE<<%s>>\nLIST<<%s>>\n", tree.c_str(), list.c_str());
  EXPECT_EQ(tree, kGoldenTree);
  EXPECT_EQ(list, kGoldenList);
}

}  // namespace
}  // namespace zafirel
