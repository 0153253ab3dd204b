// The search index never changes what a search finds: random catalogues and
// random searches give the same events with the index as without it, whether
// the index is whole, stale for some discs, or damaged.
#include "search/trigram_index.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "record_support.h"
#include "store/data_folder.h"
#include "store/tablas.h"
#include "test_support.h"
#include "util/dialogs.h"
#include "util/file_writer.h"
#include "util/wildcard.h"

namespace zafirel {
namespace {
namespace fs = std::filesystem;

constexpr int kDiscs = 12;

class SearchIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::SeedDiscTable(tablas_, data_.Path(), {});
    for (int d = 1; d <= kDiscs; ++d)
      testing::AppendRecord(tablas_.TablaCDRom, {{"AUTO", std::to_string(d)},
                                                 {"TITULOCD", "Disco " + Word()},
                                                 {"NUMEROCD", std::to_string(d)}});
    fs::create_directories(catalogues_);
    for (int d = 1; d <= kDiscs; ++d) Write(d, Catalogue(d));
  }

  // A list written a while ago, as lists are when their index is built.
  void Write(int disc, const std::string& text) {
    testing::WriteBytes(ListOf(disc), text);
    fs::last_write_time(ListOf(disc), fs::file_time_type::clock::now() - std::chrono::seconds(60));
  }

  fs::path ListOf(int disc) const { return catalogues_ / (std::to_string(disc) + ".Ct"); }

  std::string Word() {
    static const char* const kWords[] = {"musica",  "Foto", "VERANO", "a\xF1o", "cami\xF3n",
                                         "caf\xE9", "DOC",  "x",      "zz",     "Readme"};
    std::string word = kWords[random_() % 10];
    if (random_() % 3 == 0) word += std::to_string(random_() % 100);
    return word;
  }

  // Lines of paths, sizes, dates and descriptions, with every kind of line
  // end, ";" and "\" in odd places, and now and then a line longer than a
  // read piece.
  std::string Catalogue(int disc) {
    std::string text;
    const int lines = 200 + static_cast<int>(random_() % 3000);
    for (int i = 0; i < lines; ++i) {
      text += "D:\\" + Word() + "\\" + Word() + " " + Word() + "." + Word() + ";" +
              std::to_string(random_() % 9999) + ";12/0" + std::to_string(1 + random_() % 9) +
              "/2003";
      if (random_() % 9 == 0) text += ";" + Word() + " " + Word();
      if (disc == 3 && i == lines / 2) text += std::string(200 * 1024, 'Q') + "FIN";
      static const char* const kEnds[] = {"\r\n", "\r\n", "\n", "\r"};
      text += kEnds[random_() % 4];
    }
    return text;
  }

  // Every event of a search, in order.
  std::string Search(const std::string& text) {
    std::string events;
    SearchEvents e;
    e.titleHeading = [&](const std::string& h) { events += "T " + h + "\n"; };
    e.discHeading = [&](const std::string& h, const std::string& n) {
      events += "D " + n + " " + h + "\n";
    };
    e.hit = [&](std::string_view path) { events += "  " + std::string(path) + "\n"; };
    const SearchOutcome outcome = BuscaEnArchivos(tablas_, catalogues_, text, "(ver)", e);
    return events + "= " + std::to_string(outcome.matches);
  }

  // A search text of one to three terms, most taken from the catalogues.
  std::string RandomSearch() {
    std::string text;
    const int terms = 1 + static_cast<int>(random_() % 3);
    for (int t = 0; t < terms; ++t) {
      if (t > 0) text += "+";
      std::string term = Word();
      const std::size_t length = 1 + random_() % 5;
      if (random_() % 4 != 0) {
        const std::string list =
            testing::ReadBytes(ListOf(1 + static_cast<int>(random_() % kDiscs)));
        term = list.substr(random_() % (list.size() - length), length);
      }
      for (char& c : term)
        if (random_() % 2 == 0) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      text += term;
    }
    return text;
  }

  void WriteSegment(const std::string& name, const std::vector<int>& discs,
                    std::size_t foldBytes = std::size_t{8} << 20) {
    SegmentBuilder builder(foldBytes);
    for (const int d : discs)
      builder.AddDisc(std::to_string(d), *StampOf(ListOf(d)), testing::ReadBytes(ListOf(d)));
    ASSERT_TRUE(builder.Write(catalogues_ / name));
  }

  // Search texts: random ones, and some that reach every corner.
  std::vector<std::string> SearchTexts(int count) {
    std::vector<std::string> texts{"QQQFIN", "musica+foto", "ver+ano+caf\xC9", "", "+x",
                                   "D:\\",   ";12"};
    for (int i = 0; i < count; ++i) texts.push_back(RandomSearch());
    return texts;
  }

  // The events of each search without any index.
  std::map<std::string, std::string> Scanned(const std::vector<std::string>& texts) {
    const fs::path aside = data_ / "aparte";
    fs::create_directories(aside);
    for (const std::string& name : ListFiles(catalogues_, "*.Tri"))
      fs::rename(catalogues_ / name, aside / name);
    std::map<std::string, std::string> events;
    for (const std::string& text : texts) events[text] = Search(text);
    for (const std::string& name : ListFiles(aside, "*.Tri"))
      fs::rename(aside / name, catalogues_ / name);
    return events;
  }

  void ExpectSameAsTheScan(const std::map<std::string, std::string>& scanned) {
    for (const auto& [text, events] : scanned) EXPECT_EQ(Search(text), events) << text;
  }

  std::mt19937 random_{20261210};
  testing::TempFolder data_;
  fs::path catalogues_ = data_ / "Catalogos";
  TTablas tablas_;
};

TEST_F(SearchIndexTest, HitsAreTheScansWithAWholeStaleOrDamagedIndex) {
  const std::vector<std::string> texts = SearchTexts(150);
  // Whole: a many-disc segment, and discs of their own; disc 12 has none.
  WriteSegment(GroupSegmentName(1), {1, 2, 3, 4, 5, 6, 7, 8});
  for (const int d : {9, 10, 11}) WriteSegment(std::to_string(d) + kIndexExtension, {d});
  ExpectSameAsTheScan(Scanned(texts));

  // Stale: lists changed after their index was written, at the same size or not.
  std::string list = testing::ReadBytes(ListOf(2));
  list[list.size() / 3] = 'W';
  testing::WriteBytes(ListOf(2), list);  // written in place, now
  Write(10, testing::ReadBytes(ListOf(10)) + "D:\\NUEVO.TXT;1;x\r\n");
  const std::map<std::string, std::string> scanned = Scanned(texts);
  ExpectSameAsTheScan(scanned);

  // Damaged: cut short, or a byte changed anywhere.
  const std::string pack = testing::ReadBytes(catalogues_ / GroupSegmentName(1));
  for (const std::size_t at : {std::size_t{0}, std::size_t{75}, pack.size() / 4, pack.size() / 2,
                               pack.size() - 40, pack.size() - 1}) {
    std::string damaged = pack;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x24);
    testing::WriteBytes(catalogues_ / GroupSegmentName(1), damaged);
    ExpectSameAsTheScan(scanned);
    testing::WriteBytes(catalogues_ / GroupSegmentName(1), pack.substr(0, at));
    ExpectSameAsTheScan(scanned);
  }
}

TEST_F(SearchIndexTest, PostingsMergedAfterEveryBlockAreThoseMergedOnce) {
  // Merged at the end, and after every block (lists growing into bitmaps on
  // the way): the same segment but for its header's time of building.
  WriteSegment("una-vez.Tri", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  WriteSegment("a-menudo.Tri", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 1);
  const std::string once = testing::ReadBytes(catalogues_ / "una-vez.Tri");
  const std::string often = testing::ReadBytes(catalogues_ / "a-menudo.Tri");
  ASSERT_GT(once.size(), 88u);
  EXPECT_EQ(once.substr(0, 72), often.substr(0, 72));
  EXPECT_TRUE(once.substr(88) == often.substr(88));
}

TEST_F(SearchIndexTest, ARareTermReadsOnlyTheBlocksThatHoldIt) {
  WriteSegment(GroupSegmentName(1), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  SearchIndex index(catalogues_, {GroupSegmentName(1)});
  ASSERT_TRUE(index.Plan(PrepareTerms("qqqfin")));
  const ReadPlan plan = index.PlanFor("3", StampOf(ListOf(3)));
  ASSERT_EQ(plan.kind, ReadPlan::Kind::kRanges);
  EXPECT_EQ(plan.ranges.size(), 1u);
  EXPECT_EQ(index.PlanFor("4", StampOf(ListOf(4))).kind, ReadPlan::Kind::kNothing);
  EXPECT_FALSE(index.Plan(PrepareTerms("zz")));    // no trigram: every disc read
  EXPECT_FALSE(index.Plan(PrepareTerms("d:\\")));  // on every line: read in order
}

// A disc's own segment follows each change of its list: written just now
// (its time is set back so that a later change shows), or removed with it.
TEST_F(SearchIndexTest, ADiscsOwnSegmentFollowsItsList) {
  WriteSegment(GroupSegmentName(1), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  testing::WriteBytes(ListOf(5), testing::ReadBytes(ListOf(5)) + "D:\\QQQUNICO.TXT;1;x\r\n");
  ASSERT_TRUE(UpdateDiscIndex(catalogues_, "5"));
  SearchIndex index(catalogues_, {GroupSegmentName(1), "5.Tri"});
  ASSERT_TRUE(index.Plan(PrepareTerms("qqqunico")));
  EXPECT_EQ(index.PlanFor("5", StampOf(ListOf(5))).kind, ReadPlan::Kind::kRanges);
  EXPECT_EQ(Search("qqqunico"), Scanned({"qqqunico"}).at("qqqunico"));

  fs::remove(ListOf(5));
  ASSERT_TRUE(UpdateDiscIndex(catalogues_, "5"));
  EXPECT_FALSE(fs::exists(catalogues_ / "5.Tri"));
}

// Discs indexed one at a time end up in a few group segments, each disc
// still covered for its current list, with the same hits as the scan.
TEST_F(SearchIndexTest, OwnSegmentsAreMergedIntoFewGroups) {
  const auto indexFiles = [&] { return ListFiles(catalogues_, "*.Tri"); };
  const auto expectEveryDiscCovered = [&](const std::string& when) {
    SearchIndex index(catalogues_, indexFiles());
    ASSERT_TRUE(index.Plan(PrepareTerms("zzqqxxww"))) << when;
    for (int d = 1; d <= kDiscs; ++d) {
      if (!fs::exists(ListOf(d))) continue;
      EXPECT_EQ(index.PlanFor(std::to_string(d), StampOf(ListOf(d))).kind, ReadPlan::Kind::kNothing)
          << "disc " << d << " " << when;
    }
  };
  const std::vector<std::string> texts = SearchTexts(20);
  const auto changeAndIndex = [&](std::initializer_list<int> discs, CompactionLimits limits) {
    for (const int d : discs) {
      Write(d, testing::ReadBytes(ListOf(d)) + "D:\\CAMBIO" + std::to_string(d) + ".TXT;1;x\r\n");
      ASSERT_TRUE(UpdateDiscIndex(catalogues_, std::to_string(d)));
    }
    CompactSearchIndex(catalogues_, limits);
  };

  changeAndIndex({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {4, 2});
  EXPECT_EQ(indexFiles(), std::vector<std::string>{"Indice-1.Tri"});
  expectEveryDiscCovered("after the first merge");

  // A third group makes the two smaller ones one; an orphan segment and a
  // rebuild's leftover go.
  changeAndIndex({1, 2, 3}, {3, 2});
  changeAndIndex({4, 5, 6}, {3, 2});
  fs::remove(ListOf(12));
  fs::copy_file(catalogues_ / "Indice-1.Tri", catalogues_ / "12.Tri");
  fs::copy_file(catalogues_ / "Indice-1.Tri", catalogues_ / "Nuevo-Indice-1.Tri");
  CompactSearchIndex(catalogues_, {3, 2});
  EXPECT_EQ(indexFiles().size(), 2u);
  EXPECT_FALSE(fs::exists(catalogues_ / "12.Tri"));
  expectEveryDiscCovered("after merging groups");
  std::map<std::string, std::string> scanned = Scanned(texts);
  ExpectSameAsTheScan(scanned);
}

// A folder an older version wrote gets its index at the window's opening,
// unless the user stops it; a folder with an index is left as it is.
TEST_F(SearchIndexTest, AFolderWithoutAnIndexGetsOneAtOpeningUnlessStopped) {
  struct Stopping : SilentDialogs {
    struct AskedToStop : Progress {
      void SetMaximum(int) override {}
      void SetPosition(int) override {}
      void Step() override {}
      bool Stopped() const override { return true; }
    };
    std::unique_ptr<Progress> ShowProgress(const std::string&) override {
      return std::make_unique<AskedToStop>();
    }
  } stopping;
  BuildMissingSearchIndex(data_.Path(), catalogues_, stopping, "");
  EXPECT_TRUE(ListFiles(catalogues_, "*.Tri").empty());

  SilentDialogs silent;
  BuildMissingSearchIndex(data_.Path(), catalogues_, silent, "");
  EXPECT_EQ(ListFiles(catalogues_, "*.Tri"), std::vector<std::string>{GroupSegmentName(1)});
  fs::remove(ListOf(4));
  BuildMissingSearchIndex(data_.Path(), catalogues_, silent, "");  // has one: not built again
  SearchIndex index(catalogues_, {GroupSegmentName(1)});
  ASSERT_TRUE(index.Plan(PrepareTerms("qqqfin")));
  EXPECT_EQ(index.PlanFor("3", StampOf(ListOf(3))).kind, ReadPlan::Kind::kRanges);
}

}  // namespace
}  // namespace zafirel
