// The ten index files on a real disc table: the orders the disc list relies
// on, rebuilding only what is missing or damaged, and keeping every file in
// step with appends, edits and deletes through the cursor.
#include "store/index_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "store/dbf/dbf_error.h"
#include "store/index_files.h"
#include "store/tablas.h"
#include "test_support.h"
#include "util/dialogs.h"
#include "util/text.h"

namespace zafirel {
namespace {
namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::RunCommand;
using testing::TempFolder;
using testing::WriteBytes;

// The record numbers of a tag in the order Perl's XBase::Index walks it.
std::vector<std::uint32_t> PerlOrder(const fs::path& file, std::string_view tag) {
  const std::string out = RunCommand(
      "perl -MXBase::Index -e '$i=XBase::Index->new($ARGV[0], tag=>$ARGV[1]) or die; "
      "$i->prepare_select; while(my @r=$i->fetch){print \"$r[1]\\n\"}' '" +
      file.string() + "' " + std::string(tag) + " 2>/dev/null");
  std::vector<std::uint32_t> order;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
    order.push_back(static_cast<std::uint32_t>(std::stoul(out.substr(start, end - start))));
  return order;
}

class CountingDialogs : public Dialogs {
 public:
  class Bar : public Progress {
   public:
    explicit Bar(CountingDialogs& owner) : owner_(owner) {}
    void SetMaximum(int maximum) override { owner_.maximum = maximum; }
    void SetPosition(int) override {}
    void Step() override { ++owner_.steps; }
    void Within(std::uint64_t, std::uint64_t) override { ++owner_.withins; }
    bool Stopped() const override {
      return owner_.stopAfter >= 0 && owner_.withins > owner_.stopAfter;
    }

   private:
    CountingDialogs& owner_;
  };
  void PonerMensaje(const std::string& text) override { messages.push_back(text); }
  bool ConfirmOkCancel(const std::string&, const std::string&, Default) override { return true; }
  std::unique_ptr<Progress> ShowProgress(const std::string& text) override {
    shown.push_back(text);
    return std::make_unique<Bar>(*this);
  }
  void ProcessEvents() override {}
  std::vector<std::string> messages, shown;
  int maximum = 0, steps = 0;
  int withins = 0, stopAfter = -1;  // the bar's stop button, pressed after that many reports
};

struct Disc {
  std::string title, size, number, album;
};

class IndexSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TTablas::CreateDiscTable(folder_.Path()));
    tablas_.SetFolder(folder_.Path());
  }
  void Add(const Disc& disc) {
    testing::AppendRecord(tablas_.TablaCDRom, {{"TITULOCD", disc.title},
                                               {"BYTESCD", disc.size},
                                               {"NUMEROCD", disc.number},
                                               {"ALBUM", disc.album},
                                               {"AUTO", std::to_string(++lastAuto_)}});
  }
  void AddAll(const std::vector<Disc>& discs) {
    tablas_.TablaCDRom.Open();
    for (const Disc& disc : discs) Add(disc);
    tablas_.TablaCDRom.Close();
  }
  int Regenerate() {
    return RegeneraIndices(tablas_.TablaCDRom, folder_.Path(), dialogs_, "Creando");
  }
  std::vector<std::string> Walk(std::string_view tag, const char* field = "TITULOCD") {
    dbf::Table& t = tablas_.TablaCDRom;
    tablas_.IndicesCDRom.Select(t, tag);
    std::vector<std::string> seen;
    for (t.First(); !t.Eof(); t.Next()) seen.push_back(t.AsString(field));
    return seen;
  }

  // Perl's XBase::Index reads every file with its records in the order the
  // cursor walks; the non-unique files hold every live record.
  void ExpectPerlWalksEveryFileInOurOrder() {
    dbf::Table& t = tablas_.TablaCDRom;
    for (const IndexFile& index : kIndexFiles) {
      tablas_.IndicesCDRom.Select(t, index.tag);
      std::vector<std::uint32_t> ours;
      for (t.First(); !t.Eof(); t.Next()) ours.push_back(t.RecNo());
      EXPECT_EQ(PerlOrder(folder_ / std::string(index.file), index.tag), ours) << index.tag;
      if (!index.unique) {
        EXPECT_EQ(ours.size(), t.RecordCount()) << index.tag;
      }
    }
  }

  TempFolder folder_;
  TTablas tablas_;
  CountingDialogs dialogs_;
  int lastAuto_ = 0;
};

TEST_F(IndexSetTest, OrdersOfTheDiscList) {
  AddAll({{"b", "650 MB", "10", "Juegos"},
          {"a", "74 MB", "9", "JUEGOS"},
          {"C", "12345 MB", "A1", "Rock"},
          {"d", "2000 MB", "2", ""},
          {"e", "5 MB", "100", "Rock"}});
  EXPECT_EQ(Regenerate(), 10);
  EXPECT_EQ(dialogs_.shown, std::vector<std::string>{"Creando"});
  EXPECT_EQ(dialogs_.maximum, 10);
  EXPECT_EQ(dialogs_.steps, 10);
  tablas_.OpenDiscTable();
  EXPECT_EQ(tablas_.IndicesCDRom.Current(), "Titulo");

  // Title without regard to case.
  EXPECT_EQ(Walk("Titulo"), (std::vector<std::string>{"a", "b", "C", "d", "e"}));
  // Sizes under 100 MB read as 0; 12345 MB sorts by its first four digits.
  EXPECT_EQ(Walk("Tamanio"), (std::vector<std::string>{"a", "e", "b", "C", "d"}));
  // User numbers numerically; one with letters counts as 0.
  EXPECT_EQ(Walk("Numero"), (std::vector<std::string>{"C", "d", "a", "b", "e"}));
  // One album entry per name without regard to case, the empty one included.
  EXPECT_EQ(Walk("AlbumUn", "ALBUM"), (std::vector<std::string>{"", "Juegos", "Rock"}));
  EXPECT_EQ(Walk("Album", "ALBUM"),
            (std::vector<std::string>{"", "JUEGOS", "Juegos", "Rock", "Rock"}));
  EXPECT_EQ(Walk("", "TITULOCD"), (std::vector<std::string>{"b", "a", "C", "d", "e"}));

  ExpectPerlWalksEveryFileInOurOrder();  // freshly built

  try {
    tablas_.IndicesCDRom.Select(tablas_.TablaCDRom, "Nada");
    FAIL() << "an unknown tag was selected";
  } catch (const dbf::DbfError& error) {
    EXPECT_EQ(error.Problem(), "No se puede encontrar el \xEDndice Nada");
  }
}

TEST_F(IndexSetTest, OnlyMissingOrDamagedFilesAreRebuilt) {
  AddAll({{"uno", "650 MB", "1", "A"}, {"dos", "700 MB", "2", "B"}});
  ASSERT_EQ(Regenerate(), 10);
  std::map<std::string, std::string> before;
  for (const IndexFile& index : kIndexFiles)
    before[std::string(index.file)] = ReadBytes(folder_ / std::string(index.file));

  dialogs_ = CountingDialogs();
  EXPECT_EQ(Regenerate(), 0);
  EXPECT_TRUE(dialogs_.shown.empty());

  fs::remove(folder_ / "Auto.Mdx");
  WriteBytes(folder_ / "Titulo.Mdx", std::string(3000, '\x5A'));   // garbage
  fs::rename(folder_ / "Etiqueta.Mdx", folder_ / "ETIQUETA.MDX");  // another spelling is fine
  // Keys upper-cased before the code page's rule (no mark in byte 30).
  std::string old = before["Filtro.Mdx"];
  old[30] = 0;
  WriteBytes(folder_ / "Filtro.Mdx", old);
  EXPECT_EQ(Regenerate(), 3);
  EXPECT_EQ(dialogs_.maximum, 3);
  EXPECT_EQ(ReadBytes(folder_ / "Filtro.Mdx"), before["Filtro.Mdx"]);
  for (const IndexFile& index : kIndexFiles) {
    const fs::path file = IndexFilePath(folder_.Path(), index.file);
    ASSERT_TRUE(fs::exists(file)) << index.file;
    if (index.tag != "Titulo" && index.tag != "Auto" && index.tag != "Filtro") {
      EXPECT_EQ(ReadBytes(file), before[std::string(index.file)]) << index.file << " was rewritten";
    }
  }
  tablas_.OpenDiscTable();
  EXPECT_EQ(Walk("Titulo"), (std::vector<std::string>{"dos", "uno"}));
}

// A rebuild stopped half way leaves no file trusted: the next opening
// builds them all again, whether the stopped build had reached them or not.
TEST_F(IndexSetTest, AStoppedRebuildIsDoneAgainAtTheNextOpening) {
  AddAll({{"uno", "650 MB", "1", "A"}, {"dos", "700 MB", "2", "B"}});
  dialogs_.stopAfter = 4;  // a few files in
  const int built = Regenerate();
  EXPECT_GT(built, 0);
  EXPECT_LT(built, 10);
  dialogs_ = CountingDialogs();
  EXPECT_EQ(Regenerate(), 10);
  tablas_.OpenDiscTable();
  EXPECT_EQ(Walk("Titulo"), (std::vector<std::string>{"dos", "uno"}));
  ExpectPerlWalksEveryFileInOurOrder();
}

// Opening reads only the top of a tree: damage deeper down is found by the
// walk that meets it, which fails and leaves the indexes to be built anew.
TEST_F(IndexSetTest, DamageFoundByAWalkHasTheIndexesBuiltAgain) {
  std::vector<Disc> discs;
  for (int i = 0; i < 200; ++i) discs.push_back({"Disco " + std::to_string(1000 + i), "", "", ""});
  AddAll(discs);
  ASSERT_EQ(Regenerate(), 10);
  // The first two titles of the last leaf (three levels down) change places.
  const fs::path file = folder_ / "Titulo.Mdx";
  std::string bytes = ReadBytes(file);
  const std::size_t leaf = std::size_t{512} * static_cast<unsigned char>(bytes[2048 + 252]) +
                           512 * 256 * static_cast<unsigned char>(bytes[2048 + 253]);
  const std::size_t key = leaf + 8 + 4, item = 80;  // a 75-character key
  std::swap_ranges(bytes.begin() + key, bytes.begin() + key + 75, bytes.begin() + key + item);
  WriteBytes(file, bytes);

  tablas_.OpenDiscTable();
  ASSERT_EQ(tablas_.IndicesCDRom.Current(), "Titulo");
  EXPECT_THROW(Walk("Titulo"), dbf::DbfError);
  tablas_.IndicesCDRom.Detach(tablas_.TablaCDRom);
  tablas_.TablaCDRom.Close();
  EXPECT_EQ(Regenerate(), 10);
  tablas_.OpenDiscTable();
  EXPECT_EQ(Walk("Titulo").size(), 200u);
}

// Locate asks an index keyed on the field alone for the records that may hold
// the value, reads the field of those, and lands where a walk would.
TEST_F(IndexSetTest, LocateLandsWhereAWalkOfTheOrderWould) {
  AddAll({{"b", "", "7", ""}, {"a", "", "7", ""}, {"c", "", "8", ""}});
  ASSERT_EQ(Regenerate(), 10);
  tablas_.OpenDiscTable();  // title order
  dbf::Table& t = tablas_.TablaCDRom;
  for (const bool inDoubt : {false, true}) {
    t.SetIndexesInDoubt(inDoubt);  // in doubt, every record is read instead
    EXPECT_TRUE(t.Locate("AUTO", "3"));
    EXPECT_EQ(t.AsString("TITULOCD"), "c");
    EXPECT_TRUE(t.Locate("NUMEROCD", "7"));  // two records: the first in title order
    EXPECT_EQ(t.AsString("TITULOCD"), "a");
    EXPECT_FALSE(t.Locate("AUTO", "03"));  // the same number, not the same text
    EXPECT_FALSE(t.Locate("AUTO", "9"));
    EXPECT_EQ(t.AsString("TITULOCD"), "a");
  }
}

TEST_F(IndexSetTest, EveryWriteThroughTheCursorKeepsAllFilesInStep) {
  AddAll({});
  ASSERT_EQ(Regenerate(), 10);
  tablas_.OpenDiscTable();
  dbf::Table& t = tablas_.TablaCDRom;
  const char* albums[] = {"Rock", "Jazz", "Pop", "Clasica"};
  for (int i = 0; i < 400; ++i)
    Add({"Disco " + std::to_string((i * 7919) % 401), std::to_string(100 + i % 900) + " MB",
         std::to_string(i), albums[i % 4]});
  // Edits that move keys, and deletes that empty nodes.
  for (int recNo = 1; recNo <= 400; recNo += 3) {
    t.GoTo(static_cast<std::uint32_t>(recNo));
    t.Edit();
    t.SetString("TITULOCD", "Editado " + std::to_string(recNo));
    t.SetString("ALBUM", recNo % 2 ? "ROCK" : "Nuevo");
    t.Post();
  }
  for (int recNo = 2; recNo <= 400; recNo += 4) {
    t.GoTo(static_cast<std::uint32_t>(recNo));
    t.Delete();
  }
  const std::vector<std::string> incremental = Walk("Titulo");
  const std::vector<std::string> albumsSeen = Walk("AlbumUn", "ALBUM");

  // The same files built from scratch give the same orders.
  tablas_.IndicesCDRom.Detach(t);
  t.Close();
  for (const IndexFile& index : kIndexFiles) fs::remove(folder_ / std::string(index.file));
  ASSERT_EQ(Regenerate(), 10);
  tablas_.OpenDiscTable();
  EXPECT_EQ(Walk("Titulo"), incremental);
  EXPECT_EQ(Walk("AlbumUn", "ALBUM"), albumsSeen);
  EXPECT_EQ(incremental.size(), 300u);
  std::vector<std::string> sorted = incremental;
  std::stable_sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
    return UpperAZ(a) < UpperAZ(b);
  });
  EXPECT_EQ(incremental, sorted);
}

// Thousands of discs with shared titles and albums, edited and deleted
// through the cursor until nodes split and merge: every one of the ten files
// reads, in Perl's independent reader, in exactly the order the cursor walks.
TEST_F(IndexSetTest, AnIndependentReaderWalksEveryFileInOurOrder) {
  AddAll({});
  ASSERT_EQ(Regenerate(), 10);
  tablas_.OpenDiscTable();
  dbf::Table& t = tablas_.TablaCDRom;
  const char* albums[] = {"Rock", "ROCK", "Jazz", "", "Juegos", "Mapas del mundo"};
  for (int i = 0; i < 3000; ++i)
    Add({"Disco " + std::to_string((i * 7919) % 700), std::to_string(i % 3000) + " MB",
         std::to_string((i * 31) % 1000), albums[i % 6]});
  for (int recNo = 5; recNo <= 3000; recNo += 5) {
    t.GoTo(static_cast<std::uint32_t>(recNo));
    t.Edit();
    t.SetString("TITULOCD", "Otro " + std::to_string(recNo % 97));
    t.SetString("ALBUM", albums[(recNo / 5) % 6]);
    t.Post();
  }
  for (int recNo = 1; recNo <= 3000; recNo += 2) {
    if (recNo % 5 == 0) continue;
    t.GoTo(static_cast<std::uint32_t>(recNo));
    t.Delete();
  }
  ExpectPerlWalksEveryFileInOurOrder();
}

TEST_F(IndexSetTest, TheAlbumFilterWalksOneAlbumInTitleOrder) {
  AddAll({{"b", "", "", "Rock"},
          {"a", "", "", "Jazz"},
          {"C", "", "", "ROCK"},
          {"d", "", "", "Rockabilly"},
          {"A", "", "", "rock"}});
  ASSERT_EQ(Regenerate(), 10);
  tablas_.OpenDiscTable();
  dbf::Table& t = tablas_.TablaCDRom;
  tablas_.IndicesCDRom.Select(t, "Filtro");
  std::string prefix = "ROCK";
  prefix.resize(50, ' ');  // the album as the key holds it, so "Rockabilly" stays out
  tablas_.IndicesCDRom.CurrentTag()->SetRange(prefix);
  std::vector<std::string> seen;
  for (t.First(); !t.Eof(); t.Next()) seen.push_back(t.AsString("TITULOCD"));
  // The key upper-cases the album only: titles follow in byte order.
  EXPECT_EQ(seen, (std::vector<std::string>{"A", "C", "b"}));
  seen.clear();
  for (t.Last(); !t.Bof(); t.Prior()) seen.push_back(t.AsString("TITULOCD"));
  EXPECT_EQ(seen, (std::vector<std::string>{"b", "C", "A"}));
  tablas_.IndicesCDRom.Select(t, "Filtro");  // selecting again lifts the range
  EXPECT_EQ(Walk("Filtro").size(), 5u);
}

// A walk over many leaves sees changes made during it at once: its own
// edits, another cursor's deletions and appends, and the range of a filter.
TEST_F(IndexSetTest, AWalkOverManyLeavesSeesChangesMadeDuringIt) {
  std::vector<Disc> discs;
  for (int i = 0; i < 400; ++i) {
    char title[8];
    std::snprintf(title, sizeof title, "t%03d", (i * 7) % 400);
    discs.push_back({title, "", "", i % 3 == 0 ? "Rock" : "Jazz"});
  }
  AddAll(discs);
  ASSERT_EQ(Regenerate(), 10);
  tablas_.OpenDiscTable();
  TTablas other;
  other.SetFolder(folder_.Path());
  other.OpenDiscTable();
  dbf::Table& t = tablas_.TablaCDRom;
  tablas_.IndicesCDRom.Select(t, "Titulo");
  std::vector<std::string> seen;
  for (t.First(); !t.Eof(); t.Next()) {
    const std::string title = t.AsString("TITULOCD");
    seen.push_back(title);
    if (title == "t100") {  // another cursor removes a disc ahead and adds one
      ASSERT_TRUE(other.TablaCDRom.Locate("TITULOCD", "t105"));
      other.TablaCDRom.Delete();
      testing::AppendRecord(other.TablaCDRom, {{"TITULOCD", "t1055"}, {"AUTO", "999"}});
    }
    if (title == "t200") {  // moves a disc ahead back behind the cursor
      t.Edit();
      t.SetString("ALBUM", "Otro");
      t.Post();
      ASSERT_TRUE(t.Locate("TITULOCD", "t210"));
      t.Edit();
      t.SetString("TITULOCD", "a210");
      t.Post();
      ASSERT_TRUE(t.Locate("TITULOCD", "t200"));
    }
  }
  std::vector<std::string> expected;
  for (int i = 0; i < 400; ++i) {
    char title[8];
    std::snprintf(title, sizeof title, "t%03d", i);
    if (i != 105 && i != 210) expected.push_back(title);
    if (i == 105) expected.push_back("t1055");
  }
  EXPECT_EQ(seen, expected);

  // The album filter's range ends inside a leaf, and past several.
  tablas_.IndicesCDRom.Select(t, "Filtro");
  std::string prefix = "ROCK";
  prefix.resize(50, ' ');
  tablas_.IndicesCDRom.CurrentTag()->SetRange(prefix);
  std::size_t rock = 0;
  for (t.First(); !t.Eof(); t.Next(), ++rock) EXPECT_EQ(t.AsString("ALBUM"), "Rock");
  EXPECT_EQ(rock, 133u);  // one of the 134 was deleted above
}

TEST_F(IndexSetTest, AnAlbumStaysListedWhileAnyDiscHasIt) {
  AddAll({{"a", "1 MB", "1", "Rock"}, {"b", "1 MB", "2", "ROCK"}, {"c", "1 MB", "3", "Jazz"}});
  ASSERT_EQ(Regenerate(), 10);
  tablas_.OpenDiscTable();
  dbf::Table& t = tablas_.TablaCDRom;
  ASSERT_TRUE(t.Locate("TITULOCD", "a"));
  t.Delete();  // "a" held the entry of ROCK
  EXPECT_EQ(Walk("AlbumUn", "ALBUM"), (std::vector<std::string>{"Jazz", "ROCK"}));
  ASSERT_TRUE(t.Locate("TITULOCD", "b"));
  t.Edit();
  t.SetString("ALBUM", "Jazz");
  t.Post();
  EXPECT_EQ(Walk("AlbumUn", "ALBUM"), (std::vector<std::string>{"Jazz"}));
}

TEST_F(IndexSetTest, NextDiscNumberComesFromTheAutoOrder) {
  AddAll({{"a", "", "", ""}, {"b", "", "", ""}, {"c", "", "", ""}});
  ASSERT_EQ(Regenerate(), 10);
  tablas_.OpenDiscTable();
  EXPECT_EQ(tablas_.IncrementaNHistoria(), 4);
  ASSERT_TRUE(tablas_.TablaCDRom.Locate("AUTO", "3"));
  tablas_.TablaCDRom.Delete();
  EXPECT_EQ(tablas_.IncrementaNHistoria(), 3);
  EXPECT_FALSE(tablas_.TablaCDRomTemp.Active());
}

}  // namespace
}  // namespace zafirel
