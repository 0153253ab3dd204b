// The command-line front end run as a script would run it: cataloguing a
// folder, listing the discs and a disc's folders and files, and the exit
// codes of the failures.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "store/tablas.h"
#include "test_support.h"
#include "util/folder_lock.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

struct Result {
  int code;
  std::string out;
};

// What the program printed (with its messages when asked) and its exit code;
// redirection sends its standard output elsewhere.
Result Cli(const std::string& arguments, bool messages = false,
           const std::string& redirection = "") {
  const std::string command = std::string(ZAFIREL_CLI) + " " + arguments +
                              (messages ? " 2>&1" : " 2>/dev/null") + redirection +
                              "; echo \"#$?\"";
  std::string out = testing::RunCommand(command);
  const std::size_t mark = out.rfind('#');
  const int code = std::atoi(out.c_str() + mark + 1);
  out.erase(mark);
  return {code, out};
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

TEST(Cli, CataloguesAFolderAndListsWhatItHolds) {
  testing::TempFolder data, volume;
  const fs::path disc = volume / "DISCO";
  fs::create_directories(disc / "DOCS");
  testing::WriteBytes(disc / "LEEME.TXT", std::string(3000, 'x'));
  testing::WriteBytes(disc / "DOCS" / "NOTAS.TXT", "");
  const std::string dataOption = "--data " + Quoted(data.Path());

  // A data folder without tables gets them, as at the window's first start,
  // and the album is stored in capitals, as the disc editor stores it.
  Result run = Cli(
      dataOption + " catalogue " + Quoted(disc) + " --letter K --title 'Mis cosas' --album rock",
      true);
  ASSERT_EQ(run.code, 0) << run.out;
  EXPECT_EQ(run.out.rfind("zafirel-cli: created the disc tables in ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("disc 1: 2 files "), std::string::npos) << run.out;

  Result list = Cli(dataOption + " list");
  ASSERT_EQ(list.code, 0);
  EXPECT_EQ(list.out.substr(0, 12), "1\tMis cosas\t");
  EXPECT_NE(list.out.find("\t2\t1\tROCK\n"), std::string::npos) << list.out;
  EXPECT_EQ(Cli(dataOption + " list --album ROCK").out, list.out);
  EXPECT_EQ(Cli(dataOption + " list --album jazz").out, "");

  EXPECT_EQ(Cli(dataOption + " files 1").out, "K:\\\nK:\\DOCS\\\n");
  const Result files = Cli(dataOption + " files 1 'K:\\'");
  EXPECT_EQ(files.out.substr(0, 15), "LEEME.TXT\t3 KB\t") << files.out;
  EXPECT_EQ(Cli(dataOption + " files 1 'K:\\DOCS'").out.substr(0, 14), "NOTAS.TXT\t KB\t");

  const Result found = Cli(dataOption + " search leeme");
  EXPECT_EQ(found.code, 0);
  EXPECT_EQ(found.out, "Mis cosas - N\xC2\xBA: \"1\" - Album: \"ROCK\"\n  K:\\LEEME.TXT\n1\n");
  EXPECT_EQ(Cli(dataOption + " search cosas").out.substr(0, 10), "Mis cosas ");

  const fs::path page = data / "disco.htm";
  EXPECT_EQ(Cli(dataOption + " export 1 " + Quoted(page)).code, 0);
  const std::string html = testing::ReadBytes(page);
  EXPECT_NE(html.find("<h2> Contenido de 'Mis cosas'</h2>\r\n"), std::string::npos);
  EXPECT_NE(html.find("<tr><td> K:\\LEEME.TXT <td> 3 Kb <td>  </tr>\r\n"), std::string::npos);
  EXPECT_EQ(Cli(dataOption + " export 5 " + Quoted(page)).code, 4);

  // The same disc again, a missing disc or folder, wrong usage.
  EXPECT_EQ(Cli(dataOption + " catalogue " + Quoted(disc) + " --letter K").code, 3);
  EXPECT_EQ(Cli(dataOption + " files 7").code, 4);
  EXPECT_EQ(Cli(dataOption + " files 1 'K:\\NADA'").code, 4);
  EXPECT_EQ(Cli(dataOption + " list --sort color").code, 2);
  EXPECT_EQ(Cli("bogus").code, 2);
  EXPECT_EQ(Cli("--help").code, 0);
  EXPECT_EQ(Cli(dataOption + " catalogue " + Quoted(volume / "NO_EXISTE")).code, 1);
}

// Tables the program cannot use as they are: an older one is upgraded, one
// without a field the program needs is refused with a message, and a
// catalogue folder that cannot be written is found out before the walk.
TEST(Cli, TablesAndFoldersItCannotUseAreUpgradedOrRefusedClearly) {
  testing::TempFolder volume;
  fs::create_directories(volume / "DISCO");
  testing::WriteBytes(volume / "DISCO" / "A.TXT", "a");
  auto tableWith = [](const fs::path& folder, std::vector<std::string> fields) {
    dbf::Table table(true);
    table.SetFolder(folder);
    table.SetTableName(TTablas::kDiscTableName);
    table.CreateTable(dbf::ParseFieldList(fields));
    table.Open();
    testing::AppendRecord(table, {{"TITULOCD", "Viejo"}, {"AUTO", "1"}, {"TOTFILES", "0"}});
  };

  testing::TempFolder older;
  std::vector<std::string> fields = TTablas::DiscFieldList();
  fields.pop_back();  // before the album field existed
  tableWith(older.Path(), fields);
  const Result list = Cli("--data " + Quoted(older.Path()) + " list");
  EXPECT_EQ(list.code, 0);
  EXPECT_EQ(list.out.substr(0, 8), "1\tViejo\t");
  EXPECT_TRUE(fs::exists(older / "Archivos regenerados" / "RegenerarCDROM.Dbf.ini"));

  testing::TempFolder renamed;
  fields = TTablas::DiscFieldList();
  fields[7] = "NSERIE;C;11;0";  // NSERIECD under another name
  tableWith(renamed.Path(), fields);
  const Result refused =
      Cli("--data " + Quoted(renamed.Path()) + " catalogue " + Quoted(volume / "DISCO"), true);
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.out.find("NSERIECD"), std::string::npos) << refused.out;

  testing::TempFolder data;
  ASSERT_EQ(Cli("init " + Quoted(data.Path())).code, 0);
  testing::WriteBytes(data / "Catálogos", "a file where the folder should be");
  const Result unwritable =
      Cli("--data " + Quoted(data.Path()) + " catalogue " + Quoted(volume / "DISCO"), true);
  EXPECT_EQ(unwritable.code, 1);
  EXPECT_NE(unwritable.out.find("cannot be written"), std::string::npos) << unwritable.out;
  EXPECT_EQ(Cli("--data " + Quoted(data.Path()) + " list").out, "");
}

// A small tmpfs of its own under a temporary folder, unmounted at the end;
// not mounted where the system does not allow it (not root).
class SmallFileSystem {
 public:
  SmallFileSystem() { mounted_ = ::mount("zafirel-test", Path().c_str(), "tmpfs", 0, kSize) == 0; }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(Path().c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  const fs::path& Path() const { return folder_.Path(); }
  bool MakeReadOnly() {
    return ::mount(nullptr, Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, kSize) == 0;
  }
  // Writes a file until the file system has no room left.
  void Fill() {
    const std::string block(4096, 'x');
    std::FILE* out = std::fopen((Path() / "relleno").c_str(), "wb");
    while (out && std::fwrite(block.data(), 1, block.size(), out) == block.size() &&
           std::fflush(out) == 0) {
    }
    if (out) std::fclose(out);
  }

 private:
  static constexpr const char* kSize = "size=256k";
  testing::TempFolder folder_;
  bool mounted_ = false;
};

// A table that must be upgraded on a disc that cannot take the new one: the
// message names the system's reason, in English, and no raw language key.
TEST(Cli, AnUpgradeTheDiscRefusesSaysWhy) {
  SmallFileSystem disc;
  if (!disc.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  std::vector<std::string> fields = TTablas::DiscFieldList();
  fields.pop_back();  // before the album field existed
  {
    dbf::Table table(true);
    table.SetFolder(disc.Path());
    table.SetTableName(TTablas::kDiscTableName);
    table.CreateTable(dbf::ParseFieldList(fields));
    table.Open();
    testing::AppendRecord(table, {{"TITULOCD", "Viejo"}, {"AUTO", "1"}});
  }
  disc.Fill();
  const Result full = Cli("--data " + Quoted(disc.Path()) + " list", true);
  EXPECT_EQ(full.code, 1);
  EXPECT_NE(full.out.find("(no space left on the disk)"), std::string::npos) << full.out;
  EXPECT_EQ(full.out.find("ALBUM"), std::string::npos) << full.out;

  fs::remove(disc.Path() / "relleno");
  fs::remove_all(disc.Path() / "Archivos regenerados");
  ASSERT_TRUE(disc.MakeReadOnly());
  const Result readOnly = Cli("--data " + Quoted(disc.Path()) + " list", true);
  EXPECT_EQ(readOnly.code, 1);
  EXPECT_NE(readOnly.out.find("read-only"), std::string::npos) << readOnly.out;
  EXPECT_EQ(readOnly.out.find("ErrorCrearDirectorio"), std::string::npos) << readOnly.out;
}

// A whole file reaches the disc before its name does: the temporary file is
// flushed before the rename, and the folder after it (seen through strace).
TEST(Cli, CatalogueFilesAreFlushedBeforeAndAfterTheirRename) {
  if (std::system("strace -V > /dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  testing::TempFolder data, volume;
  testing::WriteBytes(volume / "A.TXT", "a");
  ASSERT_EQ(Cli("init " + Quoted(data.Path())).code, 0);
  const std::string trace = testing::RunCommand(
      "strace -f -e trace=fdatasync,fsync,rename " + std::string(ZAFIREL_CLI) + " --data " +
      Quoted(data.Path()) + " catalogue " + Quoted(volume.Path()) + " 2>&1 >/dev/null");
  for (const char* file : {"1.Ct", "1.Ind"}) {
    const std::size_t rename = trace.find(std::string(file) + "\")");
    ASSERT_NE(rename, std::string::npos) << trace;
    const std::size_t before = trace.rfind("rename(", rename);
    EXPECT_NE(trace.rfind("fdatasync(", before), std::string::npos) << trace;
    const std::size_t after = trace.find("fsync(", rename);
    EXPECT_NE(after, std::string::npos) << trace;
    EXPECT_LT(after, trace.find("rename(", rename + 1)) << trace;
  }
}

// A spreadsheet sorts the table and saves it back, then a row is removed:
// every command sees the table as it is, and no disc number is given twice.
TEST(Cli, FollowsATableThatAnotherProgramRewrote) {
  testing::TempFolder data, volume;
  const std::string dataOption = "--data " + Quoted(data.Path());
  for (const char* name : {"UNO", "DOS", "TRES"}) {
    fs::create_directories(volume / name);
    testing::WriteBytes(volume / name / "A.TXT", name);
    const std::string album = std::string(name) == "TRES" ? " --album fotos" : "";
    ASSERT_EQ(Cli(dataOption + " catalogue " + Quoted(volume / name) + " --letter K" + album).code,
              0);
  }
  const fs::path table = data / "CDROM.DBF";
  testing::RawTable sorted = testing::RawTable::Read(table);
  std::swap(sorted.records[0], sorted.records[2]);  // TRES, DOS, UNO
  sorted.Write(table);

  const Result list = Cli(dataOption + " list --sort title", true);
  EXPECT_NE(list.out.find("changed the disc table"), std::string::npos) << list.out;
  EXPECT_EQ(Cli(dataOption + " list --sort title").out.substr(0, 6), "2\tDOS\t");
  EXPECT_EQ(Cli(dataOption + " list --album FOTOS").out.substr(0, 7), "3\tTRES\t");
  for (const char* number : {"1", "2", "3"})
    EXPECT_EQ(Cli(dataOption + " export " + number + " " + Quoted(data / "p.htm")).code, 0);
  EXPECT_EQ(Cli(dataOption + " catalogue " + Quoted(volume / "UNO") + " --letter K").code, 3);

  testing::RawTable removed = testing::RawTable::Read(table);
  removed.records.erase(removed.records.begin() + 1);  // disc 2's record
  removed.Write(table);
  EXPECT_EQ(Cli(dataOption + " files 2").code, 4);
  EXPECT_EQ(Cli(dataOption + " export 2 " + Quoted(data / "p.htm")).code, 4);
  fs::create_directories(volume / "CUATRO");
  ASSERT_EQ(Cli(dataOption + " catalogue " + Quoted(volume / "CUATRO") + " --letter K").code, 0);
  EXPECT_EQ(Cli(dataOption + " list --sort number").out.substr(0, 6), "1\tUNO\t");
  EXPECT_NE(Cli(dataOption + " list").out.find("4\tCUATRO\t"), std::string::npos);
}

// init makes its folder, parents included; a folder on a drive is wrong
// usage for catalogue, refused before the data folder is touched; output
// that cannot be written fails the command with its cause.
TEST(Cli, MakesItsFoldersRefusesFoldersOnADriveAndReportsLostOutput) {
  testing::TempFolder root;
  const fs::path data = root / "a" / "b";
  ASSERT_EQ(Cli("init " + Quoted(data)).code, 0);
  EXPECT_TRUE(fs::exists(data / "CDROM.DBF"));
  EXPECT_TRUE(fs::exists(data / "IMG.DBF"));
  testing::WriteBytes(root / "file", "");
  const Result notAFolder = Cli("init " + Quoted(root / "file" / "c"), true);
  EXPECT_EQ(notAFolder.code, 1);
  EXPECT_NE(notAFolder.out.find(std::strerror(ENOTDIR)), std::string::npos) << notAFolder.out;

  for (const char* drive : {"'T:\\zips'", "'D:\\DOCS'", "D:DOCS"}) {
    const Result refused = Cli("--data " + Quoted(root / "new") + " catalogue " + drive, true);
    EXPECT_EQ(refused.code, 2) << drive;
    EXPECT_NE(refused.out.find("\nusage: zafirel-cli"), std::string::npos) << refused.out;
  }
  EXPECT_FALSE(fs::exists(root / "new"));

  for (const std::string& command :
       {std::string("version"), std::string("--help"), "--data " + Quoted(data) + " search x"}) {
    const Result lost = Cli(command, true, " >/dev/full");
    EXPECT_EQ(lost.code, 1) << command;
    EXPECT_NE(lost.out.find(std::strerror(ENOSPC)), std::string::npos) << lost.out;
  }
}

// While another program (this test) keeps the data folder's lock, the
// reading commands answer at once from the tables as they are, and a
// catalogue run waits for the lock once and gives up saying why.
TEST(Cli, ReadersDoNotWaitForAKeptLockAndAWriterWaitsOnce) {
  using Clock = std::chrono::steady_clock;
  using namespace std::chrono_literals;
  testing::TempFolder data, volume, other;
  testing::WriteBytes(volume / "A.TXT", "a");
  testing::WriteBytes(other / "B.TXT", "b");
  const std::string dataOption = "--data " + Quoted(data.Path()) + " ";
  ASSERT_EQ(Cli(dataOption + "catalogue " + Quoted(volume.Path()) + " --letter K").code, 0);

  const FolderLock kept(data.Path());
  const fs::path page = data / "disco.htm";
  struct Read {
    std::string command, shows;
  };
  for (const Read& read : {Read{"list", "1\t"}, Read{"search a.txt", "  K:\\A.TXT\n"},
                           Read{"files 1 K:", "A.TXT\t"}, Read{"export 1 " + Quoted(page), ""}}) {
    const auto start = Clock::now();
    const Result result = Cli(dataOption + read.command);
    EXPECT_LT(Clock::now() - start, 2500ms) << read.command;
    EXPECT_EQ(result.code, 0) << read.command;
    EXPECT_NE(result.out.find(read.shows), std::string::npos) << result.out;
  }
  EXPECT_TRUE(fs::exists(page));
  const auto start = Clock::now();
  const Result refused = Cli(dataOption + "catalogue " + Quoted(other.Path()), true);
  EXPECT_LT(Clock::now() - start, 7s);
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.out.find("another program is changing this data folder"), std::string::npos)
      << refused.out;
}

}  // namespace
}  // namespace zafirel
