// Other programs open the disc table too: a spreadsheet sorts it and saves it
// back, a dBase tool edits a title in place, a row is removed or added. The
// indexes must notice and follow; tables saved as dBase III, tables whose
// header miscounts their records and other applications' tables are handled
// without losing a record or a note.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "record_support.h"
#include "store/data_folder.h"
#include "store/dbf/dbf_error.h"
#include "store/dbf/table_header.h"
#include "store/index_files.h"
#include "store/index_stamp.h"
#include "test_support.h"
#include "util/bytes.h"
#include "util/folder_lock.h"
#include "util/text.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

using testing::RawTable;

std::string Padded(std::string text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

class ForeignChangesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(catalogues_);
    testing::SeedDiscTable(
        seeded_, data_.Path(),
        {{{"TITULOCD", "Delta"}, {"AUTO", "1"}, {"ALBUM", "FOTOS"}, {"TOTFILES", "1"}},
         {{"TITULOCD", "alfa"}, {"AUTO", "2"}, {"ALBUM", "MUSICA"}, {"TOTFILES", "2"}},
         {{"TITULOCD", "Charlie"}, {"AUTO", "3"}, {"ALBUM", "FOTOS"}, {"TOTFILES", "3"}},
         {{"TITULOCD", "bravo"}, {"AUTO", "4"}, {"ALBUM", "MUSICA"}, {"TOTFILES", "4"}}});
    Close(seeded_);
  }
  static void Close(TTablas& tablas) {
    tablas.IndicesCDRom.Detach(tablas.TablaCDRom);
    tablas.TablaCDRom.Close();
  }
  fs::path Table() const { return data_ / "CDROM.DBF"; }
  DataFolderRepairs Prepare() {
    const UpgradeContext context{[](std::string_view key) { return std::string(key); }, dialogs_,
                                 locale_, [] { return std::tm{}; }};
    return PrepareDataFolder(data_.Path(), catalogues_, context, "");
  }
  // The titles in an order's walk, and the same discs sorted by the record
  // text alone, read without any index.
  static std::vector<std::string> Walk(TTablas& tablas, std::string_view tag,
                                       const char* field = "TITULOCD") {
    tablas.IndicesCDRom.Select(tablas.TablaCDRom, tag);
    std::vector<std::string> titles;
    for (tablas.TablaCDRom.First(); !tablas.TablaCDRom.Eof(); tablas.TablaCDRom.Next())
      titles.push_back(tablas.TablaCDRom.AsString(field));
    return titles;
  }
  static std::vector<std::string> TitlesSorted(TTablas& tablas) {
    std::vector<std::string> titles = Walk(tablas, "");
    std::sort(titles.begin(), titles.end(),
              [](const std::string& a, const std::string& b) { return UpperAZ(a) < UpperAZ(b); });
    return titles;
  }
  static void ExpectIndexesFollow(TTablas& tablas) {
    EXPECT_EQ(Walk(tablas, "Titulo"), TitlesSorted(tablas));
    for (const std::string& number : Walk(tablas, "", "AUTO"))
      EXPECT_TRUE(tablas.TablaCDRom.Locate("AUTO", number)) << number;
    const std::uint32_t live = tablas.TablaCDRom.RecordCount();
    for (const SortKey& sort : kSortKeys)
      EXPECT_EQ(Walk(tablas, sort.tag).size(), live) << sort.tag;
  }

  testing::TempFolder data_;
  fs::path catalogues_ = data_ / "Catalogos";
  testing::NoDialogs dialogs_;
  Locale locale_;
  TTablas seeded_;
};

struct ForeignEdit {
  const char* name;
  std::function<void(RawTable&)> edit;
};

class ForeignEditTest : public ForeignChangesTest,
                        public ::testing::WithParamInterface<ForeignEdit> {};

const ForeignEdit kForeignEdits[] = {
    {"SortedAndSaved",
     [](RawTable& t) {
       std::sort(t.records.begin(), t.records.end(), [](auto& a, auto& b) {
         return a.substr(1, 75) > b.substr(1, 75);  // by title, backwards
       });
     }},
    {"RowRemoved", [](RawTable& t) { t.records.erase(t.records.begin() + 1); }},
    {"TitleEditedInPlace", [](RawTable& t) { t.records[0].replace(1, 75, Padded("Zulu", 75)); }},
    {"RecordAppended",
     [](RawTable& t) {
       std::string record = t.records[0];
       record.replace(1, 75, Padded("Eco", 75));
       record.replace(91, 11, Padded("         99", 11));  // AUTO after TITULOCD and BYTESCD
       t.records.push_back(record);
     }},
};

TEST_P(ForeignEditTest, TheNextOpeningRebuildsTheIndexes) {
  RawTable table = RawTable::Read(Table());
  GetParam().edit(table);
  table.Write(Table());

  const DataFolderRepairs repairs = Prepare();
  EXPECT_TRUE(repairs.tableChangedElsewhere);
  EXPECT_EQ(repairs.indexesRebuilt, 10);
  TTablas tablas;
  tablas.SetFolder(data_.Path());
  tablas.OpenDiscTable();
  ExpectIndexesFollow(tablas);
  Close(tablas);
  // Proven again now: the opening after that rebuilds nothing.
  EXPECT_EQ(Prepare().indexesRebuilt, 0);
}

TEST_P(ForeignEditTest, TheNextChangeRebuildsTheIndexes) {
  TTablas tablas;
  tablas.SetFolder(data_.Path());
  tablas.OpenDiscTable();
  RawTable table = RawTable::Read(Table());
  GetParam().edit(table);
  table.Write(Table());

  tablas.IndicesCDRom.Select(tablas.TablaCDRom, "");
  ASSERT_TRUE(tablas.TablaCDRom.Locate("TITULOCD", "Charlie"));
  int told = 0;
  RebuiltForAChange() = [&] { ++told; };
  tablas.TablaCDRom.Edit();
  tablas.TablaCDRom.SetString("TITULOCD", "Aaron");
  tablas.TablaCDRom.Post();
  RebuiltForAChange() = nullptr;
  EXPECT_EQ(told, 1);
  ExpectIndexesFollow(tablas);
  EXPECT_EQ(Walk(tablas, "Titulo").front(), "Aaron");
  Close(tablas);
  EXPECT_EQ(Prepare().indexesRebuilt, 0);  // the change kept the stamp
}

INSTANTIATE_TEST_SUITE_P(Edits, ForeignEditTest, ::testing::ValuesIn(kForeignEdits),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ForeignChangesTest, OurOwnChangesKeepTheStampAndNoNumberIsGivenTwice) {
  EXPECT_FALSE(Prepare().tableChangedElsewhere);
  TTablas tablas;
  tablas.SetFolder(data_.Path());
  tablas.OpenDiscTable();
  testing::AppendRecord(tablas.TablaCDRom, {{"TITULOCD", "Foxtrot"}, {"AUTO", "5"}});
  ASSERT_TRUE(tablas.TablaCDRom.Locate("AUTO", "2"));
  tablas.TablaCDRom.Delete();
  EXPECT_NE(CheckIndexStamp(data_.Path(), Table()), StampProof::kNone);
  Close(tablas);
  const DataFolderRepairs repairs = Prepare();
  EXPECT_FALSE(repairs.tableChangedElsewhere);
  EXPECT_EQ(repairs.indexesRebuilt, 0);

  // A foreign append of a higher number: the next number skips it.
  RawTable table = RawTable::Read(Table());
  std::string record = table.records[0];
  record.replace(91, 11, Padded("         42", 11));
  table.records.push_back(record);
  table.Write(Table());
  EXPECT_EQ(tablas.IncrementaNHistoria(), 43);
}

TEST_F(ForeignChangesTest, AFolderThatCannotBeHealedBuildsItsOrdersInMemory) {
  RawTable table = RawTable::Read(Table());
  table.records.erase(table.records.begin());  // "Delta" gone
  table.Write(Table());
  // Another program holds the lock: nothing can be rebuilt on disc now.
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t other = fork();
  if (other == 0) {
    FolderLock lock(data_.Path());
    char c = 1;
    (void)!write(ready[1], &c, 1);
    (void)!read(done[0], &c, 1);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  const std::string indexBytes = testing::ReadBytes(data_ / "Titulo.Mdx");
  {
    TTablas tablas;
    tablas.SetFolder(data_.Path());
    tablas.OpenDiscTable();
    ExpectIndexesFollow(tablas);
    EXPECT_EQ(Walk(tablas, "Titulo"), (std::vector<std::string>{"alfa", "bravo", "Charlie"}));
    Close(tablas);
  }
  EXPECT_EQ(testing::ReadBytes(data_ / "Titulo.Mdx"), indexBytes);
  (void)!write(done[1], &c, 1);
  waitpid(other, nullptr, 0);
}

// A header that counts fewer records than the file holds hides discs; the
// next change would write over them. Every record is shown, nothing is
// written, and the opening repairs the table with a backup.
class MiscountTest : public ForeignChangesTest, public ::testing::WithParamInterface<int> {};

TEST_P(MiscountTest, EveryRecordIsKeptAndTheTableIsRepairedWithABackup) {
  RawTable::Read(Table()).Write(Table(), GetParam());
  {
    dbf::Table table(true);
    table.SetFolder(data_.Path());
    table.SetTableName("CDROM.DBF");
    table.Open();
    EXPECT_TRUE(table.CountDamaged());
    EXPECT_EQ(table.RecordCount(), 4u);
    EXPECT_THROW(table.Append(), dbf::DbfError);
  }
  EXPECT_EQ(RawTable::Read(Table()).records.size(), static_cast<std::size_t>(GetParam()));
  const DataFolderRepairs repairs = Prepare();
  EXPECT_TRUE(repairs.tableRepaired);
  EXPECT_TRUE(fs::exists(data_ / "Archivos regenerados" / "CDROM.DBF"));
  TTablas tablas;
  tablas.SetFolder(data_.Path());
  tablas.OpenDiscTable();
  EXPECT_FALSE(tablas.TablaCDRom.CountDamaged());
  EXPECT_EQ(TitlesSorted(tablas), (std::vector<std::string>{"alfa", "bravo", "Charlie", "Delta"}));
  ExpectIndexesFollow(tablas);
  EXPECT_EQ(tablas.IncrementaNHistoria(), 5);
  Close(tablas);
}

INSTANTIATE_TEST_SUITE_P(Counts, MiscountTest, ::testing::Values(0, 3));

TEST_F(ForeignChangesTest, AnAppendCutShortIsNotDamage) {
  RawTable table = RawTable::Read(Table());
  table.records.push_back(table.records[0]);  // written, not yet counted
  table.Write(Table(), 4);
  testing::PatchBytes(Table(), dbf::kInDoubtOffset, std::string(1, '\x01'));
  EXPECT_FALSE(Prepare().tableRepaired);
  TTablas tablas;
  tablas.SetFolder(data_.Path());
  tablas.OpenDiscTable();
  EXPECT_FALSE(tablas.TablaCDRom.CountDamaged());
  EXPECT_EQ(tablas.TablaCDRom.RecordCount(), 4u);
  testing::AppendRecord(tablas.TablaCDRom, {{"TITULOCD", "Eco"}, {"AUTO", "5"}});
  EXPECT_EQ(tablas.TablaCDRom.RecordCount(), 5u);
  Close(tablas);
}

// What a spreadsheet saves: version 0x83, a dBase III memo file (blocks of
// 512 bytes, no block header, text ended by 0x1A 0x1A) spelled its own way.
TEST_F(ForeignChangesTest, ADBase3TableIsReadAndBroughtToDBase4WithItsNotes) {
  RawTable table = RawTable::Read(Table());
  table.header[0] = '\x83';
  const std::string note = "Nota de \xA4u";  // OEM bytes as stored: code page 850's ñ
  std::string memo(512, '\0');
  bytes::PutU32(memo.data(), 3);
  memo[16] = 0x03;
  memo += note + "\x1A\x1A" + std::string(512 - note.size() - 2, '\0');
  memo += "Otra nota\x1A\x1A" + std::string(512 - 11, '\0');
  table.records[0].replace(247, 10, "         1");  // NOTAS, after NUMEROCD
  table.records[2].replace(247, 10, "         2");
  table.Write(Table());
  // Written beside our memo file under the spreadsheet's own spelling.
  fs::last_write_time(data_ / "CDROM.DBT",
                      fs::last_write_time(data_ / "CDROM.DBT") - std::chrono::seconds(10));
  testing::WriteBytes(data_ / "CDROM.dbt", memo);
  {
    dbf::Table read(true);
    read.SetFolder(data_.Path());
    read.SetTableName("CDROM.DBF");
    read.Open();
    EXPECT_TRUE(read.NeedsUpgrade());
    ASSERT_TRUE(read.Locate("AUTO", "3"));
    EXPECT_EQ(read.AsString("NOTAS"), "Otra nota");
  }
  const DataFolderRepairs repairs = Prepare();
  EXPECT_TRUE(repairs.tableConverted);
  EXPECT_EQ(testing::ReadBytes(data_ / "Archivos regenerados" / "CDROM.dbt"), memo);
  EXPECT_FALSE(fs::exists(data_ / "CDROM.dbt"));
  EXPECT_EQ(testing::ReadBytes(Table())[0], '\x8B');
  TTablas tablas;
  tablas.SetFolder(data_.Path());
  tablas.OpenDiscTable();
  EXPECT_FALSE(tablas.TablaCDRom.NeedsUpgrade());
  ASSERT_TRUE(tablas.TablaCDRom.Locate("AUTO", "1"));
  EXPECT_EQ(tablas.TablaCDRom.AsString("NOTAS"), "Nota de \xF1u");
  ASSERT_TRUE(tablas.TablaCDRom.Locate("AUTO", "3"));
  EXPECT_EQ(tablas.TablaCDRom.AsString("NOTAS"), "Otra nota");
  tablas.TablaCDRom.Edit();
  tablas.TablaCDRom.SetString("NOTAS", "Cambiada");
  tablas.TablaCDRom.Post();
  EXPECT_EQ(tablas.TablaCDRom.AsString("NOTAS"), "Cambiada");
  Close(tablas);
}

TEST_F(ForeignChangesTest, AnotherApplicationsTableIsRefusedUntouched) {
  fs::remove(Table());
  dbf::Table other(false);
  other.SetFolder(data_.Path());
  other.SetTableName("CDROM.DBF");
  other.CreateTable(dbf::ParseFieldList({"NOMBRE;C;20;0", "PRECIO;N;10;2", "NOTAS;M;10;0"}));
  const std::string before = testing::ReadBytes(Table());
  struct Recorder : testing::NoDialogs {
    void PonerMensaje(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
  } recorder;
  const UpgradeContext context{[](std::string_view key) { return std::string(key); }, recorder,
                               locale_, [] { return std::tm{}; }};
  PrepareDataFolder(data_.Path(), catalogues_, context, "");
  EXPECT_EQ(testing::ReadBytes(Table()), before);
  EXPECT_FALSE(fs::exists(data_ / "Archivos regenerados"));
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_NE(recorder.messages[0].find("TablaAjena"), std::string::npos);
  EXPECT_NE(recorder.messages[0].find("TITULOCD"), std::string::npos);
  EXPECT_EQ(recorder.messages[0].find("CREADA"), std::string::npos);
}

}  // namespace
}  // namespace zafirel
