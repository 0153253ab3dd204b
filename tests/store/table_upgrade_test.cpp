#include "store/table_upgrade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <set>

#include "settings/language.h"
#include "store/dbf/dbf_error.h"
#include "store/tablas.h"
#include "test_support.h"
#include "util/wildcard.h"

namespace zafirel {
namespace {

using zafirel::testing::ReadBytes;
using zafirel::testing::RunCommand;
using zafirel::testing::TempFolder;
using zafirel::testing::WriteBytes;

struct ProgressRecord {
  std::string text;
  int maximum = -1;
  int position = -1;
  int steps = 0;
  int stopAt = 0;  // the step after which the user stops the upgrade; 0: never
};

class RecordingProgress : public Progress {
 public:
  explicit RecordingProgress(ProgressRecord& record) : record_(record) {}
  void SetMaximum(int maximum) override { record_.maximum = maximum; }
  void SetPosition(int position) override { record_.position = position; }
  void Step() override { ++record_.steps; }
  bool Stopped() const override { return record_.stopAt > 0 && record_.steps >= record_.stopAt; }

 private:
  ProgressRecord& record_;
};

class RecordingDialogs : public Dialogs {
 public:
  void PonerMensaje(const std::string& text) override { messages.push_back(text); }
  bool ConfirmOkCancel(const std::string&, const std::string&, Default) override { return true; }
  std::unique_ptr<Progress> ShowProgress(const std::string& text) override {
    progress.push_back(ProgressRecord{text});
    progress.back().stopAt = stopAt;
    return std::make_unique<RecordingProgress>(progress.back());
  }
  void ProcessEvents() override {}

  std::vector<std::string> messages;
  std::deque<ProgressRecord> progress;
  int stopAt = 0;
};

std::vector<std::string> DiscFieldsWithoutAlbum() {
  std::vector<std::string> fields = TTablas::DiscFieldList();
  fields.pop_back();
  return fields;
}

// Every file below a folder with its bytes, to prove a run left them alone.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file())
      files[std::filesystem::relative(entry.path(), folder).string()] = ReadBytes(entry.path());
  return files;
}

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(bytes.substr(start, end - start));
  EXPECT_EQ(start, bytes.size()) << "every line ends in CR LF";
  return lines;
}

class TableUpgradeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(folder_ / "lang.Len",
               "[General]\r\nActualizando=Actualizando\r\n"
               "ErrorCrearDirectorio=No se puede crear la carpeta\r\n"
               "CausaOtra=error del sistema:\r\n");
    data_ = folder_ / "datos";
    std::filesystem::create_directory(data_);
  }

  void CreateTable(const std::string& name, const std::vector<std::string>& fields) {
    dbf::Table table(true);
    table.SetFolder(data_);
    table.SetTableName(name);
    table.CreateTable(dbf::ParseFieldList(fields));
  }

  void AddRecord(const std::map<std::string, std::string>& values, bool deleted = false) {
    dbf::Table table(true);
    table.SetFolder(data_);
    table.SetTableName("CDROM.DBF");
    table.Open();
    table.Append();
    for (const auto& [field, value] : values) table.SetString(field, value);
    table.Post();
    if (deleted) table.Delete();
    table.Close();
  }

  void Upgrade(const std::string& table, const std::string& field, const std::string& type,
               const std::string& size, int mode) {
    Language language(folder_ / "lang.Len");
    UpgradeContext context{[&language](std::string_view key) { return language.Traduce(key); },
                           dialogs_, locale_,
                           [] {
                             std::tm now{};
                             now.tm_year = 2024 - 1900;
                             now.tm_mon = 2;
                             now.tm_mday = 5;
                             now.tm_hour = 9;
                             now.tm_min = 7;
                             return now;
                           }};
    (void)ActualizaTabla(table, data_, field, type, size, mode, context);
  }

  std::filesystem::path Backup() const { return data_ / "Archivos regenerados"; }
  std::vector<std::string> Log(const std::string& table = "CDROM.Dbf") const {
    return Lines(ReadBytes(Backup() / ("Regenerar" + table + ".ini")));
  }
  std::string InData(const std::string& name) const { return data_.string() + "\\" + name; }
  std::string InBackup(const std::string& name) const {
    return data_.string() + "\\Archivos regenerados\\" + name;
  }

  TempFolder folder_;
  std::filesystem::path data_;
  RecordingDialogs dialogs_;
  Locale locale_;
};

const char kTitle[] = "Canci\xF3n del a\xF1o";
const char kNotes[] = "Notas con \xF1\r\nsegunda l\xEDnea";

TEST_F(TableUpgradeTest, DiscTableWithAlbumIsLeftAlone) {
  ASSERT_TRUE(TTablas::CreateDiscTable(data_));
  AddRecord({{"TITULOCD", kTitle}, {"ALBUM", "Rock"}});
  const auto before = Snapshot(data_);

  Upgrade("CDROM.Dbf", "ALBUM", "C", "50", 0);

  EXPECT_TRUE(dialogs_.progress.empty());
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(Snapshot(data_), before);
}

class DiscTableUpgradeTest : public TableUpgradeTest {
 protected:
  void SetUp() override {
    TableUpgradeTest::SetUp();
    CreateTable("CDROM.DBF", DiscFieldsWithoutAlbum());
    AddRecord({{"TITULOCD", kTitle}, {"AUTO", "1"}, {"NOTAS", kNotes}, {"GRAFICO", "12.3456"}});
    AddRecord({{"TITULOCD", "borrado"}, {"AUTO", "2"}}, true);
    AddRecord({{"TITULOCD", "Otro"}, {"AUTO", "3"}, {"UNIDAD", "D"}});
    oldTable_ = ReadBytes(data_ / "CDROM.DBF");
    oldMemo_ = ReadBytes(data_ / "CDROM.DBT");
  }

  std::string oldTable_;
  std::string oldMemo_;
};

// Stopped after its first record, the upgrade leaves the old table in place,
// untouched, and fails.
TEST_F(DiscTableUpgradeTest, AStoppedUpgradeLeavesTheOldTable) {
  dialogs_.stopAt = 1;
  EXPECT_ANY_THROW(Upgrade("CDROM.Dbf", "ALBUM", "C", "50", 0));
  EXPECT_EQ(dialogs_.progress.at(0).steps, 1);
  EXPECT_EQ(ReadBytes(data_ / "CDROM.DBF"), oldTable_);
  EXPECT_EQ(ReadBytes(data_ / "CDROM.DBT"), oldMemo_);
}

TEST_F(DiscTableUpgradeTest, AddsAlbumLastAndKeepsEveryLiveRecord) {
  Upgrade("CDROM.Dbf", "ALBUM", "C", "50", 0);

  dbf::Table table(true);
  table.SetFolder(data_);
  table.SetTableName("CDROM.DBF");
  table.Open();
  ASSERT_EQ(table.Fields().size(), 14u);
  EXPECT_EQ(table.Fields().back().name, "ALBUM");
  EXPECT_EQ(table.Fields().back().type, 'C');
  EXPECT_EQ(table.Fields().back().width, 50);
  const dbf::FieldDef& grafico = table.Fields()[11];
  EXPECT_EQ(grafico.type, 'N');
  EXPECT_EQ(grafico.width, 11);
  EXPECT_EQ(grafico.decimals, 0);

  ASSERT_EQ(table.RecordCount(), 2u);
  table.First();
  EXPECT_EQ(table.AsString("TITULOCD"), kTitle);
  EXPECT_EQ(table.AsString("AUTO"), "1");
  EXPECT_EQ(table.AsString("NOTAS"), kNotes);
  EXPECT_EQ(table.AsString("GRAFICO"), "12");
  EXPECT_EQ(table.AsString("ALBUM"), "");
  table.Next();
  EXPECT_EQ(table.AsString("TITULOCD"), "Otro");
  EXPECT_EQ(table.AsString("AUTO"), "3");
  EXPECT_EQ(table.AsString("UNIDAD"), "D");
  EXPECT_EQ(table.AsString("NOTAS"), "");
  table.Close();

  EXPECT_EQ(ReadBytes(Backup() / "CDROM.DBF"), oldTable_);
  EXPECT_EQ(ReadBytes(Backup() / "CDROM.DBT"), oldMemo_);
  EXPECT_TRUE(std::filesystem::exists(Backup() / "CDROMCREADA.DBF"));

  ASSERT_EQ(dialogs_.progress.size(), 1u);
  EXPECT_EQ(dialogs_.progress[0].text, "Actualizando CDROM.Dbf");
  EXPECT_EQ(dialogs_.progress[0].maximum, 2);
  EXPECT_EQ(dialogs_.progress[0].steps, 2);
  EXPECT_EQ(dialogs_.progress[0].position, 2);
}

TEST_F(DiscTableUpgradeTest, LogsEveryStepInOrder) {
  Upgrade("CDROM.Dbf", "ALBUM", "C", "50", 0);

  std::vector<std::string> log = Log();
  ASSERT_EQ(log.size(), 10u);
  EXPECT_EQ(log[0], "Correcto: Archivo creado : 05/03/2024, 09:07");
  EXPECT_EQ(log[1], "Correcto: Tabla : CDROM.Dbf");
  EXPECT_EQ(log[2], "Correcto: El campo ALBUM no existe, procediendo...");
  EXPECT_EQ(log[3], "Correcto: Exportando 2 registros");
  const std::string copied = "Correcto: Tabla copiada con \xE9xito: ";
  const std::string deleted = "Correcto: Tabla borrada con \xE9xito: ";
  // The old files are copied away, the new ones renamed into their places,
  // and the old ones are then gone; the listing decides the order in each step.
  auto step = [&](int from) {
    return std::set<std::string>(log.begin() + from, log.begin() + from + 2);
  };
  EXPECT_EQ(step(4), (std::set<std::string>{copied + InBackup("CDROM.DBF"),
                                            copied + InBackup("CDROM.DBT")}));
  EXPECT_EQ(step(6), (std::set<std::string>{copied + InBackup("CDROMCREADA.DBF"),
                                            copied + InBackup("CDROMCREADA.DBT")}));
  EXPECT_EQ(step(8),
            (std::set<std::string>{deleted + InData("CDROM.DBF"), deleted + InData("CDROM.DBT")}));
}

TEST_F(DiscTableUpgradeTest, IndependentReaderSeesOldValuesAndEmptyAlbum) {
  Upgrade("CDROM.Dbf", "ALBUM", "C", "50", 0);

  const std::string script =
      "import sys\n"
      "from dbfread import DBF\n"
      "t = DBF(sys.argv[1], encoding='cp850', char_decode_errors='strict')\n"
      "print(ascii(t.field_names))\n"
      "# dbfread counts a memo's 8-byte mark as text: it returns 8 bytes more.\n"
      "m = lambda v: v if v is None else v.rstrip('\\x00')\n"
      "for r in t:\n"
      "    print(ascii([r['TITULOCD'], r['AUTO'], m(r['NOTAS']), r['UNIDAD'], r['ALBUM']]))\n";
  WriteBytes(folder_ / "read.py", script);
  std::string output = RunCommand("/usr/bin/python3 " + (folder_ / "read.py").string() + " " +
                                  (data_ / "CDROM.DBF").string());
  EXPECT_EQ(output,
            "['TITULOCD', 'BYTESCD', 'AUTO', 'TOTDIR', 'TOTFILES', 'SOCD', 'ETIQUETA', "
            "'NSERIECD', 'DEDONDE', 'NUMEROCD', 'NOTAS', 'GRAFICO', 'UNIDAD', 'ALBUM']\n"
            "['Canci\\xf3n del a\\xf1o', 1, 'Notas con \\xf1\\r\\nsegunda l\\xednea', '', '']\n"
            "['Otro', 3, None, 'D', '']\n");
}

TEST_F(DiscTableUpgradeTest, LeftoverNewTableFromAnEarlierRunIsReplaced) {
  std::filesystem::create_directory(Backup());
  WriteBytes(Backup() / "CDROMCREADA.DBF", "damaged");
  WriteBytes(Backup() / "CDROMCREADA.DBT", "damaged");

  Upgrade("CDROM.Dbf", "ALBUM", "C", "50", 0);

  dbf::Table table(true);
  table.SetFolder(data_);
  table.SetTableName("CDROM.DBF");
  table.Open();
  EXPECT_EQ(table.Fields().size(), 14u);
  EXPECT_EQ(table.RecordCount(), 2u);
  for (const std::string& line : Log()) EXPECT_EQ(line.rfind("Correcto: ", 0), 0u) << line;
}

TEST_F(DiscTableUpgradeTest, ModeOneResizesTheFieldInPlace) {
  Upgrade("CDROM.Dbf", "TITULOCD", "C", "5", 1);

  dbf::Table table(true);
  table.SetFolder(data_);
  table.SetTableName("CDROM.DBF");
  table.Open();
  ASSERT_EQ(table.Fields().size(), 13u);
  EXPECT_EQ(table.Fields()[0].name, "TITULOCD");
  EXPECT_EQ(table.Fields()[0].width, 5);
  table.First();
  EXPECT_EQ(table.AsString("TITULOCD"), "Canci");
  EXPECT_EQ(table.AsString("NOTAS"), kNotes);

  std::vector<std::string> log = Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[2], "Correcto: Exportando 2 registros");
}

TEST_F(DiscTableUpgradeTest, ModeOneAtTheSameWidthOnlyWritesTheLog) {
  const auto before = Snapshot(data_);

  Upgrade("CDROM.Dbf", "TITULOCD", "C", "75", 1);

  auto after = Snapshot(data_);
  ASSERT_EQ(after.erase("Archivos regenerados/RegenerarCDROM.Dbf.ini"), 1u);
  EXPECT_EQ(after, before);
  EXPECT_EQ(Log(),
            (std::vector<std::string>{
                "Correcto: Archivo creado : 05/03/2024, 09:07", "Correcto: Tabla : CDROM.Dbf",
                "Correcto: El campo TITULOCD existe y ya ha sido actualizado"}));
}

TEST_F(DiscTableUpgradeTest, FailedRecordCopyKeepsTheOldTableAndReachesTheCaller) {
  // A title that is not a number cannot go into a numeric field.
  EXPECT_THROW(Upgrade("CDROM.Dbf", "TITULOCD", "N", "5", 1), dbf::DbfError);

  EXPECT_EQ(ReadBytes(data_ / "CDROM.DBF"), oldTable_);
  EXPECT_EQ(ReadBytes(data_ / "CDROM.DBT"), oldMemo_);
  EXPECT_FALSE(std::filesystem::exists(Backup() / "RegenerarCDROM.Dbf.ini"));
}

TEST_F(DiscTableUpgradeTest, UnsupportedTypeMakesNoTableAndReplacesNothing) {
  // No new table to take the records: the copy fails as a whole.
  EXPECT_THROW(Upgrade("CDROM.Dbf", "ALBUM", "X", "50", 0), dbf::DbfError);

  EXPECT_EQ(ReadBytes(data_ / "CDROM.DBF"), oldTable_);
  EXPECT_FALSE(std::filesystem::exists(Backup() / "CDROMCREADA.DBF"));
  EXPECT_EQ(dialogs_.progress.size(), 1u);
}

TEST_F(TableUpgradeTest, EmptyTableWithoutNewTableIsNotReplaced) {
  CreateTable("CDROM.DBF", DiscFieldsWithoutAlbum());
  const std::string oldTable = ReadBytes(data_ / "CDROM.DBF");

  Upgrade("CDROM.Dbf", "ALBUM", "X", "50", 0);

  EXPECT_EQ(ReadBytes(data_ / "CDROM.DBF"), oldTable);
  std::vector<std::string> log = Log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[3], "Fallo: Fallo al asignar todos los campos a la tabla Destino");
  EXPECT_EQ(log[4], "Fallo: Fallo al abrir la tabla Destino");
  EXPECT_EQ(log[5], "Correcto: Exportando 0 registros");
}

TEST_F(TableUpgradeTest, UnreadableOldTableLogsOnlyThat) {
  WriteBytes(data_ / "CDROM.DBF", "not a table at all, just text");

  Upgrade("CDROM.Dbf", "ALBUM", "C", "50", 0);

  EXPECT_EQ(ReadBytes(Backup() / "RegenerarCDROM.Dbf.ini"),
            "Fallo: Tabla Origen no fue creada\r\n");
  EXPECT_EQ(ReadBytes(data_ / "CDROM.DBF"), "not a table at all, just text");
  EXPECT_TRUE(dialogs_.progress.empty());
}

TEST_F(TableUpgradeTest, BackupFolderThatCannotBeMadeShowsAMessage) {
  ASSERT_TRUE(TTablas::CreateDiscTable(data_));
  WriteBytes(data_ / "Archivos regenerados", "a file in the way");

  Upgrade("CDROM.Dbf", "ALBUM", "C", "50", 0);

  EXPECT_EQ(dialogs_.messages, std::vector<std::string>{"No se puede crear la carpeta " +
                                                        InData("Archivos regenerados") +
                                                        " (error del sistema: File exists)"});
  EXPECT_TRUE(dialogs_.progress.empty());
}

// The log is Windows-1252 throughout, the lines about an interrupted swap too.
TEST_F(TableUpgradeTest, AnInterruptedSwapWhoseNewFilesAreGoneIsLoggedInTheLogsCodePage) {
  ASSERT_TRUE(TTablas::CreateDiscTable(data_));
  std::filesystem::create_directory(Backup());
  WriteBytes(Backup() / "RegenerarCDROM.Dbf.pendiente", "CDROMCreada.DBF;CDROM.DBF\n");

  Upgrade("CDROM.Dbf", "ALBUM", "C", "50", 0);

  EXPECT_EQ(Log().back(),
            "Fallo: Actualizaci\xF3n interrumpida sin tabla nueva: " + InData("CDROM.Dbf"));
}

TEST_F(TableUpgradeTest, FailedCopyBackRestoresTheOldTable) {
  CreateTable("T.DBF", {"NOMBRE;C;5;0"});
  {
    dbf::Table table(false);
    table.SetFolder(data_);
    table.SetTableName("T.DBF");
    table.Open();
    table.Append();
    table.SetString("NOMBRE", "uno");
    table.Post();
  }
  const std::string oldTable = ReadBytes(data_ / "T.DBF");
  // The new memo file cannot take the place of a folder.
  std::filesystem::create_directory(data_ / "T.DBT");

  Upgrade("T.DBF", "NOTAS", "M", "10", 0);

  EXPECT_EQ(ReadBytes(data_ / "T.DBF"), oldTable);
  std::vector<std::string> log = Log("T.DBF");
  EXPECT_NE(
      std::find(log.begin(), log.end(), "Fallo:  Tabla no copiada: " + InBackup("TCREADA.DBT")),
      log.end());
  EXPECT_EQ(log.back(), "Correcto: Tabla restaurada: " + InData("T.DBF"));
}

}  // namespace
}  // namespace zafirel
