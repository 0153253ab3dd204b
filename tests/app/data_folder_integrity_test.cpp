// Every write path interrupted at every change it makes to the disc: a child
// process is ended (as a kill or a power loss would end the program) just
// before its Nth change, for N = 1, 2, ... until the path runs to its end;
// and, in the same process, the Nth change alone is refused (as a failing
// disc would). After each interruption the data folder is opened again as
// every program opens it, and must be whole: the table opens, the discs
// committed before are there with their catalogue files, every index lists
// exactly the live records, no number is used twice and no record lacks its
// files. A path that says it succeeded must have done what it says.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>

#include "app/startup.h"
#include "browse/loaded_catalogue.h"
#include "scan/catalogue_run.h"
#include "scan/disc_update.h"
#include "scan/drive_map.h"
#include "search/catalogue_search.h"
#include "store/catalogue_files.h"
#include "store/data_folder.h"
#include "store/dbf/attached_index.h"
#include "store/dbf/key_expression.h"
#include "store/dbf/mdx.h"
#include "store/disc_import.h"
#include "store/disc_removal.h"
#include "store/index_files.h"
#include "store/index_set.h"
#include "store/search_index.h"
#include "store/tablas.h"
#include "test_support.h"
#include "util/file_change.h"
#include "util/wildcard.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WriteBytes;

constexpr int kKilled = 77;
constexpr int kThrew = 78;

struct Disc {
  std::string number, serial;
};
// The discs every data folder of these tests starts with.
const std::vector<Disc> kDiscs = {{"1", "AAAA0001"}, {"2", "AAAA0002"}, {"3", "AAAA0003"}};

UpgradeContext Context(Dialogs& dialogs) {
  static const Locale locale;
  return {[](std::string_view key) { return std::string(key); }, dialogs, locale,
          [] { return std::tm{}; }};
}

// What every program does first: mend, then open.
void Open(const fs::path& data, TTablas& tablas) {
  SilentDialogs dialogs;
  PrepareDataFolder(data, FoldersBelow(data).catalogos, Context(dialogs), "");
  tablas.SetFolder(data);
  tablas.OpenDiscTable();
}

// A data folder with three catalogued discs, a cover picture and built
// indexes; without the album field when old.
void MakeDataFolder(const fs::path& data, bool old) {
  fs::create_directories(FoldersBelow(data).catalogos);
  std::vector<std::string> fields = TTablas::DiscFieldList();
  if (old) fields.pop_back();
  dbf::Table table(true);
  table.SetFolder(data);
  table.SetTableName(TTablas::kDiscTableName);
  table.CreateTable(dbf::ParseFieldList(fields));
  ASSERT_TRUE(TTablas::CreateCoverTable(data));
  table.Open();
  if (old) {
    // A deleted disc ahead of the others: the upgrade drops it, the record
    // numbers shift, and the index files of the old table no longer fit.
    testing::AppendRecord(table, {{"AUTO", "9"}, {"NSERIECD", "AAAA0009"}, {"TOTFILES", "0"}});
    table.First();
    table.Delete();
  }
  for (const Disc& disc : kDiscs) {
    testing::AppendRecord(table, {{"AUTO", disc.number},
                                  {"TITULOCD", "Disco " + disc.number},
                                  {"NSERIECD", disc.serial},
                                  {"TOTFILES", "1"},
                                  {"NOTAS", "Notas " + disc.number}});
    const fs::path catalogues = FoldersBelow(data).catalogos;
    WriteBytes(TreeFilePath(catalogues, disc.number), "D:\\\r\n");
    WriteBytes(ListFilePath(catalogues, disc.number), "D:\\A" + disc.number + ".TXT;1;x\r\n");
  }
  if (old) {
    for (const IndexFile& index : kIndexFiles)
      if (index.expression.find("Album") == std::string_view::npos)
        dbf::BuildIndexFile(table, data / index.file, index.tag, index.expression, index.unique);
  }
  table.Close();
  dbf::Table covers(false);
  covers.SetFolder(data);
  covers.SetTableName(TTablas::kCoverTableName);
  covers.Open();
  testing::AppendRecord(covers, {{"CODIGO", "2"}, {"GRAFICO", "\xFF\xD8 jpeg"}});
  covers.Close();
  if (!old) {
    TTablas tablas;
    Open(data, tablas);
    // A search index over lists written a while ago, which every change of
    // a list must leave following it or proven stale.
    const fs::path catalogues = FoldersBelow(data).catalogos;
    for (const Disc& disc : kDiscs)
      fs::last_write_time(ListFilePath(catalogues, disc.number),
                          fs::file_time_type::clock::now() - std::chrono::minutes(1));
    ASSERT_EQ(RebuildSearchIndex(catalogues, {}), RebuildOutcome::kDone);
  }
}

// Every event of a search, in order.
std::string SearchEventsOf(TTablas& tablas, const fs::path& catalogues, const std::string& text) {
  std::string events;
  SearchEvents e;
  e.titleHeading = [&](const std::string& h) { events += "T " + h + "\n"; };
  e.discHeading = [&](const std::string& h, const std::string&) { events += "D " + h + "\n"; };
  e.hit = [&](std::string_view path) { events += "  " + std::string(path) + "\n"; };
  return events + std::to_string(BuscaEnArchivos(tablas, catalogues, text, "", e).matches);
}

// Searches find with the search index what they find without it.
void ExpectSearchesFollowTheLists(TTablas& tablas, const fs::path& data, const std::string& when) {
  const fs::path catalogues = FoldersBelow(data).catalogos, aside = data / "indice aparte";
  const std::vector<std::string> texts = {"a1.txt", "A2",    "a3.TXT", "b.txt",
                                          "LEEME",  "carta", ";1;",    "doc+txt"};
  std::vector<std::string> indexed;
  for (const std::string& text : texts) indexed.push_back(SearchEventsOf(tablas, catalogues, text));
  fs::create_directories(aside);
  for (const std::string& name : ListFiles(catalogues, "*.Tri"))
    fs::rename(catalogues / name, aside / name);
  for (std::size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(indexed[i], SearchEventsOf(tablas, catalogues, texts[i])) << texts[i] << " " << when;
  for (const std::string& name : ListFiles(aside, "*.Tri"))
    fs::rename(aside / name, catalogues / name);
  fs::remove(aside);
}

// Every index file holds exactly the keys of the live records, in order; a
// unique one the first record of each key.
void ExpectIndexesMatch(TTablas& tablas, const fs::path& data, const std::string& when) {
  dbf::Table& discs = tablas.TablaCDRom;
  for (const IndexFile& index : kIndexFiles) {
    const dbf::MdxTag tag = dbf::MdxTag::Open(IndexFilePath(data, index.file));
    const dbf::KeyExpression expression =
        dbf::KeyExpression::Parse(index.expression, discs.Fields());
    std::vector<dbf::MdxTag::Entry> expected;
    std::set<std::string> keys;
    discs.ForEachStoredRecord([&](std::uint32_t recNo, std::string_view record) {
      const std::string key = tag.StoredKey(dbf::StoredKey(expression, discs.Layout(), record));
      if (!index.unique || keys.insert(key).second) expected.push_back({key, recNo});
      return true;
    });
    const char type = tag.Info().keyType;
    std::sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
      const int c = dbf::mdx::CompareKeys(a.key, b.key, type);
      return c != 0 ? c < 0 : a.recNo < b.recNo;
    });
    auto text = [](const std::vector<dbf::MdxTag::Entry>& entries) {
      std::vector<std::string> lines;
      for (const auto& entry : entries)
        lines.push_back(entry.key + "#" + std::to_string(entry.recNo));
      return lines;
    };
    EXPECT_EQ(text(tag.Entries()), text(expected)) << index.file << " " << when;
  }
}

// Opens the folder again and checks it is whole; returns the serials there.
std::set<std::string> ExpectWhole(const fs::path& data, const std::set<std::string>& committed,
                                  const std::string& when) {
  std::set<std::string> serials;
  TTablas tablas;
  try {
    Open(data, tablas);
  } catch (const std::exception& error) {
    ADD_FAILURE() << "the table does not open " << when << ": " << error.what();
    return serials;
  }
  dbf::Table& discs = tablas.TablaCDRom;
  EXPECT_FALSE(discs.IndexesInDoubt()) << when;
  const fs::path catalogues = FoldersBelow(data).catalogos;
  std::set<std::string> numbers;
  tablas.IndicesCDRom.Select(discs, "");
  for (discs.First(); !discs.Eof(); discs.Next()) {
    const std::string number = discs.AsString("AUTO");
    EXPECT_TRUE(numbers.insert(number).second) << "number " << number << " twice " << when;
    EXPECT_FALSE(discs.AsString("TOTFILES").empty()) << "disc " << number << " " << when;
    EXPECT_TRUE(fs::exists(TreeFilePath(catalogues, number))) << "disc " << number << " " << when;
    EXPECT_TRUE(fs::exists(ListFilePath(catalogues, number))) << "disc " << number << " " << when;
    serials.insert(discs.AsString("NSERIECD"));
  }
  for (const std::string& serial : committed)
    EXPECT_TRUE(serials.count(serial)) << "disc " << serial << " lost " << when;
  ExpectIndexesMatch(tablas, data, when);
  ExpectSearchesFollowTheLists(tablas, data, when);
  for (const auto& entry : fs::directory_iterator(catalogues))
    EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << when;
  return serials;
}

class InterruptionTest : public ::testing::Test {
 protected:
  using Operation = std::function<bool(const fs::path& data)>;  // true: it says it succeeded
  using Outcome = std::function<void(const fs::path& data)>;

  void SetUp() override { MakeDataFolder(template_.Path() / "data", false); }

  fs::path FreshCopy() {
    const fs::path data = work_.Path() / "data";
    fs::remove_all(data);
    fs::copy(template_.Path() / "data", data, fs::copy_options::recursive);
    return data;
  }

  // Ends a child just before each change of the operation in turn; the
  // last child runs to the end. Returns the number of interruption points.
  int KillAtEveryChange(const Operation& operation, const Outcome& completed) {
    for (int n = 1;; ++n) {
      const fs::path data = FreshCopy();
      const pid_t child = fork();
      if (child == 0) {
        const std::uint64_t base = FileChangesSoFar();
        SetFileChangeHook([&] {
          if (FileChangesSoFar() - base == static_cast<std::uint64_t>(n)) _exit(kKilled);
          return true;
        });
        try {
          operation(data);
        } catch (...) {
          _exit(kThrew);
        }
        _exit(0);
      }
      int status = 0;
      waitpid(child, &status, 0);
      const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      const std::string when = "after a kill at change " + std::to_string(n);
      ExpectWhole(data, committed_, when);
      if (alsoWhole_) alsoWhole_(data, when);
      if (code == kKilled) continue;
      EXPECT_EQ(code, 0) << when;
      if (completed) completed(data);
      return n - 1;
    }
  }

  // Refuses the Nth change alone, in this process, for every N.
  int FailAtEveryChange(const Operation& operation, const Outcome& succeeded) {
    for (int n = 1;; ++n) {
      const fs::path data = FreshCopy();
      const std::uint64_t base = FileChangesSoFar();
      bool refused = false;
      SetFileChangeHook([&] {
        const bool allow = FileChangesSoFar() - base != static_cast<std::uint64_t>(n);
        refused |= !allow;
        return allow;
      });
      bool success = false;
      try {
        success = operation(data);
      } catch (const std::exception&) {
      }
      SetFileChangeHook(nullptr);
      const std::string when = "after a failed change " + std::to_string(n);
      ExpectWhole(data, committed_, when);
      if (alsoWhole_) alsoWhole_(data, when);
      if (success && succeeded) succeeded(data);
      if (!refused) return n - 1;
    }
  }

  void BothWays(const Operation& operation, const Outcome& outcome, int atLeast) {
    const int killed = KillAtEveryChange(operation, outcome);
    const int failed = FailAtEveryChange(operation, outcome);
    EXPECT_GE(killed, atLeast);
    EXPECT_EQ(killed, failed);
    std::printf("[ points ] %s: %d interruption points, killed and refused\n",
                ::testing::UnitTest::GetInstance()->current_test_info()->name(), killed);
  }

  testing::TempFolder template_, work_;
  std::set<std::string> committed_ = {"AAAA0001", "AAAA0002", "AAAA0003"};
  // What else must hold after each interruption, once the folder was opened again.
  std::function<void(const fs::path& data, const std::string& when)> alsoWhole_;
};

// The volume the runs of these tests walk: two files, one in a folder.
fs::path MakeVolume(const fs::path& root) {
  const fs::path volume = root / "volume";
  fs::create_directories(volume / "DOCS");
  WriteBytes(volume / "LEEME.TXT", "hola");
  WriteBytes(volume / "DOCS" / "CARTA.DOC", std::string(3000, 'x'));
  return volume;
}

// A run's folders in the data folder.
void Configure(CatalogueRun& run, const fs::path& data) {
  run.catalogueFolder = FoldersBelow(data).catalogos;
  run.tempFolder = data;
}

TEST_F(InterruptionTest, CatalogueRun) {
  const fs::path volume = MakeVolume(template_.Path());
  BothWays(
      [&](const fs::path& data) {
        TTablas tablas;
        Open(data, tablas);
        DriveMap drives;
        drives.Map('E', volume);
        CatalogueRun run(tablas, drives, Locale{});
        Configure(run, data);
        if (run.PrepareDrive("E:\\") != CatalogueRun::DriveCheck::kReady) return false;
        run.AppendDisc();
        run.Walk(true);
        return run.FinishDisc();
      },
      [&](const fs::path& data) {
        TTablas tablas;
        Open(data, tablas);
        ASSERT_TRUE(tablas.TablaCDRom.Locate("AUTO", "4"));
        EXPECT_EQ(tablas.TablaCDRom.AsString("ETIQUETA"), "volume");
        EXPECT_EQ(tablas.TablaCDRom.AsString("TOTFILES"), "2");
        EXPECT_EQ(ReadCatalogueFile(ListFilePath(FoldersBelow(data).catalogos, "4")).size(), 2u);
      },
      20);
}

TEST_F(InterruptionTest, DiscUpdate) {
  const fs::path volume = MakeVolume(template_.Path());
  WriteBytes(volume / "A2.TXT", "sigue");
  committed_.erase("AAAA0002");  // disc 2 takes the folder's serial
  // Disc 2 is either as it was or wholly updated: record, list and tree.
  alsoWhole_ = [](const fs::path& data, const std::string& when) {
    TTablas tablas;
    Open(data, tablas);
    ASSERT_TRUE(tablas.TablaCDRom.Locate("AUTO", "2")) << when;
    const fs::path catalogues = FoldersBelow(data).catalogos;
    const std::string state =
        tablas.TablaCDRom.AsString("TOTFILES") + " " + tablas.TablaCDRom.AsString("UNIDAD") + " " +
        std::to_string(ReadCatalogueFile(ListFilePath(catalogues, "2")).size()) + " " +
        ReadBytes(TreeFilePath(catalogues, "2"));
    const bool old = tablas.TablaCDRom.AsString("NSERIECD") == "AAAA0002";
    EXPECT_EQ(state, old ? "1  1 D:\\\r\n" : "3 E 3 E:\\\r\nE:\\DOCS\\\r\n") << when;
    EXPECT_EQ(tablas.TablaCDRom.AsString("TITULOCD"), "Disco 2") << when;
    EXPECT_EQ(tablas.TablaCDRom.AsString("NOTAS"), "Notas 2") << when;
  };
  BothWays(
      [&](const fs::path& data) {
        TTablas tablas;
        Open(data, tablas);
        DriveMap drives;
        drives.Map('E', volume);
        DiscUpdate update(tablas, drives, Locale{});
        Configure(update.run, data);
        if (update.Walk("2", "E:\\", true).outcome != RunOutcome::kCatalogued) return false;
        return update.Apply();
      },
      [&](const fs::path& data) {
        TTablas tablas;
        Open(data, tablas);
        ASSERT_TRUE(tablas.TablaCDRom.Locate("AUTO", "2"));
        EXPECT_NE(tablas.TablaCDRom.AsString("NSERIECD"), "AAAA0002");
      },
      8);
}

TEST_F(InterruptionTest, DiscEdit) {
  BothWays(
      [](const fs::path& data) {
        TTablas tablas;
        Open(data, tablas);
        if (!tablas.TablaCDRom.Locate("AUTO", "2")) return false;
        tablas.TablaCDRom.Edit();
        tablas.TablaCDRom.SetString("TITULOCD", "Editado");
        tablas.TablaCDRom.SetString("ALBUM", "NUEVO");
        tablas.TablaCDRom.SetString("NOTAS", std::string(2000, 'n'));
        tablas.TablaCDRom.Post();
        return true;
      },
      [](const fs::path& data) {
        TTablas tablas;
        Open(data, tablas);
        ASSERT_TRUE(tablas.TablaCDRom.Locate("AUTO", "2"));
        EXPECT_EQ(tablas.TablaCDRom.AsString("TITULOCD"), "Editado");
        EXPECT_EQ(tablas.TablaCDRom.AsString("NOTAS").size(), 2000u);
      },
      5);
}

TEST_F(InterruptionTest, DiscDeletion) {
  committed_.erase("AAAA0002");  // the disc deleted may stay or go, whole either way
  BothWays(
      [](const fs::path& data) {
        TTablas tablas;
        Open(data, tablas);
        return DeleteDisc(tablas, FoldersBelow(data).catalogos, "2");
      },
      [](const fs::path& data) {
        TTablas tablas;
        Open(data, tablas);
        // Files that could not be removed are unreachable and the next disc
        // given the number writes its own: only the record must be gone.
        EXPECT_FALSE(tablas.TablaCDRom.Locate("AUTO", "2"));
      },
      5);
}

TEST_F(InterruptionTest, FileEntryRename) {
  BothWays(
      [](const fs::path& data) {
        const std::string before = ReadBytes(ListFilePath(FoldersBelow(data).catalogos, "1"));
        LoadedCatalogue catalogue;
        catalogue.lockFolder = data;
        catalogue.CargarCatalogo(FoldersBelow(data).catalogos / "1");
        const bool written = catalogue.Rename(0, "B.TXT") == EditOutcome::kWritten;
        // Memory and the file agree, whatever happened.
        EXPECT_EQ(catalogue.LineasActuales.ToText(),
                  ReadBytes(ListFilePath(FoldersBelow(data).catalogos, "1")));
        return written;
      },
      [](const fs::path& data) {
        EXPECT_EQ(ReadBytes(ListFilePath(FoldersBelow(data).catalogos, "1")), "D:\\B.TXT;1;x\r\n");
      },
      2);
}

TEST_F(InterruptionTest, TableUpgrade) {
  const fs::path old = template_.Path() / "data";
  fs::remove_all(old);
  MakeDataFolder(old, true);
  BothWays(
      [](const fs::path& data) {
        SilentDialogs dialogs;
        PrepareDataFolder(data, FoldersBelow(data).catalogos, Context(dialogs), "");
        dbf::Table table(true);
        table.SetFolder(data);
        table.SetTableName(TTablas::kDiscTableName);
        table.Open();
        return table.FieldIndex("ALBUM") >= 0;
      },
      [](const fs::path& data) {
        TTablas tablas;
        Open(data, tablas);
        ASSERT_TRUE(tablas.TablaCDRom.Locate("AUTO", "3"));
        EXPECT_EQ(tablas.TablaCDRom.AsString("NOTAS"), "Notas 3");
      },
      10);
}

TEST_F(InterruptionTest, Import) {
  const fs::path source = template_.Path() / "source";
  MakeDataFolder(source, false);
  {
    TTablas tablas;
    Open(source, tablas);
    ASSERT_TRUE(tablas.TablaCDRom.Locate("AUTO", "3"));
    tablas.TablaCDRom.Edit();
    tablas.TablaCDRom.SetString("NSERIECD", "BBBB0003");  // the one disc not here yet
    tablas.TablaCDRom.Post();
  }
  BothWays(
      [&](const fs::path& data) {
        TTablas tablas;
        Open(data, tablas);
        const ImportReport report = ImportDiscs(tablas, FoldersBelow(data).catalogos, source,
                                                [](int, int) { return true; });
        return report.imported == 1;
      },
      [](const fs::path& data) {
        TTablas tablas;
        Open(data, tablas);
        ASSERT_TRUE(tablas.TablaCDRom.Locate("NSERIECD", "BBBB0003"));
        EXPECT_EQ(tablas.TablaCDRom.AsString("AUTO"), "4");
        EXPECT_EQ(ReadBytes(ListFilePath(FoldersBelow(data).catalogos, "4")), "D:\\A3.TXT;1;x\r\n");
      },
      5);
}

}  // namespace
}  // namespace zafirel

namespace zafirel {
namespace {

// Two programs cataloguing into one data folder at once (the command line
// twice, fifty discs each): every disc arrives, with its own number, and
// the indexes list them all.
TEST(SharedDataFolder, TwoProgramsCataloguingAtOnceLoseNothing) {
  testing::TempFolder root;
  const fs::path data = root / "data";
  fs::create_directories(data);
  const std::string cli = ZAFIREL_CLI;
  ASSERT_EQ(std::system((cli + " init '" + data.string() + "'").c_str()), 0);
  for (const char* side : {"a", "b"}) {
    for (int i = 0; i < 50; ++i) {
      const fs::path disc = root / "discs" / (side + std::to_string(i));
      fs::create_directories(disc);
      WriteBytes(disc / "LEEME.TXT", side);
    }
  }
  std::string script;
  for (const char* side : {"a", "b"}) {
    script += "(for i in $(seq 0 49); do '" + cli + "' --data '" + data.string() + "' catalogue '" +
              (root / "discs").string() + "/" + side + "'$i > /dev/null 2>> '" +
              (root / "errors").string() + "' || echo failed >> '" + (root / "errors").string() +
              "'; done) & ";
  }
  script += "wait\n";
  WriteBytes(root / "both.sh", script);
  ASSERT_EQ(std::system(("bash '" + (root / "both.sh").string() + "'").c_str()), 0);
  EXPECT_EQ(ReadBytes(root / "errors"), "");

  const std::set<std::string> serials = ExpectWhole(data, {}, "after both programs");
  EXPECT_EQ(serials.size(), 100u);
  TTablas tablas;
  Open(data, tablas);
  std::set<int> numbers;
  for (tablas.TablaCDRom.First(); !tablas.TablaCDRom.Eof(); tablas.TablaCDRom.Next())
    numbers.insert(std::stoi(tablas.TablaCDRom.AsString("AUTO")));
  EXPECT_EQ(numbers.size(), 100u);
  EXPECT_EQ(*numbers.rbegin(), 100);
}

// Runs started together on a folder that does not exist yet (four at once,
// a few times over): the tables are made once, and every run adds its disc
// with a number of its own.
TEST(SharedDataFolder, RunsStartedTogetherOnANewFolderAllSucceed) {
  constexpr int kRuns = 4, kRounds = 5;
  testing::TempFolder root;
  const std::string cli = ZAFIREL_CLI;
  for (int i = 0; i < kRuns; ++i) {
    fs::create_directories(root / "discs" / std::to_string(i));
    WriteBytes(root / "discs" / std::to_string(i) / "LEEME.TXT", std::to_string(i));
  }
  for (int round = 0; round < kRounds; ++round) {
    fs::create_directories(root / std::to_string(round));
    const fs::path data = root / std::to_string(round) / "data";
    const std::string errors = (root / std::to_string(round) / "errors").string();
    std::string script;
    for (int i = 0; i < kRuns; ++i)
      script += "('" + cli + "' --data '" + data.string() + "' catalogue '" +
                (root / "discs" / std::to_string(i)).string() + "' > /dev/null 2>> '" + errors +
                "' || echo failed >> '" + errors + "') & ";
    WriteBytes(root / "together.sh", script + "wait\n");
    ASSERT_EQ(std::system(("bash '" + (root / "together.sh").string() + "'").c_str()), 0);
    EXPECT_EQ(ReadBytes(errors), "zafirel-cli: created the disc tables in " + data.string() + "\n")
        << "round " << round;

    TTablas tablas;
    Open(data, tablas);
    std::set<std::string> numbers;
    for (tablas.TablaCDRom.First(); !tablas.TablaCDRom.Eof(); tablas.TablaCDRom.Next())
      numbers.insert(tablas.TablaCDRom.AsString("AUTO"));
    EXPECT_EQ(numbers, (std::set<std::string>{"1", "2", "3", "4"})) << "round " << round;
  }
}

}  // namespace
}  // namespace zafirel
