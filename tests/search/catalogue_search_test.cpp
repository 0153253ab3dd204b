// Searching the catalogues: the terms cut from a search text, the matching
// rule, and whole searches over catalogue files with their disc headings,
// title hits, cancelling and the result limit.
#include "search/catalogue_search.h"

#include <gtest/gtest.h>

#include "store/catalogue_files.h"
#include "store/index_set.h"
#include "store/tablas.h"
#include "test_support.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

TEST(SearchTerms, PlusCutsTermsAndOneTrailingBlankGoes) {
  auto terms = [](std::string_view text) {
    const TerminosBusqueda t = PrepareTerms(text);
    return std::vector<std::string>{t[0], t[1], t[2]};
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(terms("mp3"), (V{"MP3", "", ""}));
  EXPECT_EQ(terms("\xE9xito"), (V{"\xE9XITO", "", ""}));  // accented letters keep their case
  EXPECT_EQ(terms("c+"), (V{"C+", "", ""}));              // one piece: searched whole
  EXPECT_EQ(terms("rock+pop"), (V{"ROCK", "POP", ""}));
  EXPECT_EQ(terms("rock+pop+jazz"), (V{"ROCK", "POP", "JAZZ"}));
  EXPECT_EQ(terms("+pop"), (V{"", "POP", ""}));
  EXPECT_EQ(terms("rock "), (V{"ROCK", "", ""}));
  EXPECT_EQ(terms("rock  "), (V{"ROCK ", "", ""}));
  EXPECT_EQ(terms("rock +pop "), (V{"ROCK", "POP", ""}));
  EXPECT_EQ(PrepareTerms("a+b+c+d+e+f+g+h+i+j+k")[9], "J");
}

TEST(SearchRule, MatchesAsTheTermsSay) {
  auto matches = [](std::string_view text, std::string_view line) {
    return LineRule(PrepareTerms(text)).Matches(line);
  };
  EXPECT_TRUE(matches("mp3", "D:\\MUSICA\\TEMA.MP3;4;01/01/2000"));
  EXPECT_FALSE(matches("\xE9", "D:\\\xC9XITO.TXT;1;x"));
  EXPECT_TRUE(matches("c+", "D:\\C++\\X;1;x"));
  EXPECT_FALSE(matches("c+", "D:\\C\\X;1;x"));
  EXPECT_TRUE(matches("rock+pop", "D:\\ROCK\\POP.MP3;1;x"));
  EXPECT_FALSE(matches("rock+pop", "D:\\ROCK\\A.MP3;1;x"));
  EXPECT_TRUE(matches("rock+pop+jazz", "D:\\JAZZ\\A.MP3;1;x"));
  EXPECT_TRUE(matches("rock+pop+jazz", "D:\\ROCK\\POP;1;x"));
  EXPECT_FALSE(matches("rock+pop+jazz", "D:\\ROCK\\A;1;x"));
  EXPECT_FALSE(matches("+pop", "D:\\POP;1;x"));
  EXPECT_TRUE(matches("25/12", "D:\\A;1;25/12/2003"));  // sizes, dates, descriptions count
  EXPECT_TRUE(matches("ab", "AB"));
  EXPECT_FALSE(matches("abc", "AB"));

  // Over a whole text: each matching line once, in order, CR, LF or CR LF.
  std::vector<std::string> found;
  LineRule(PrepareTerms("rock+pop+jazz"))
      .ForEachMatch("ROCK POP rock\r\nnada\njazz\rrock sin\r\npop y rock\n",
                    [&](std::string_view line) { found.emplace_back(line); });
  EXPECT_EQ(found, (std::vector<std::string>{"ROCK POP rock", "jazz", "pop y rock"}));
}

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::SeedDiscTable(
        tablas_, data_.Path(),
        {{{"AUTO", "2"}, {"TITULOCD", "Juegos 1"}, {"NUMEROCD", "7"}, {"ALBUM", "PC"}},
         {{"AUTO", "10"}, {"TITULOCD", "Musica rock"}, {"NUMEROCD", "8"}, {"ALBUM", ""}},
         {{"AUTO", "3"}, {"TITULOCD", "Vac\xEDo"}, {"NUMEROCD", ""}, {"ALBUM", ""}}});
    fs::create_directories(catalogues_);
    testing::WriteBytes(catalogues_ / "2.Ct",
                        "D:\\DOOM\\DOOM.EXE;700;11/12/1993\r\nD:\\ROCK.TXT;1;x\r\n");
    testing::WriteBytes(catalogues_ / "10.Ct",
                        "E:\\ROCK\\a.mp3;1;x\r\nE:\\POP\\b.mp3;1;x\r\nE:\\ROCK\\c.MP3;1;x\r\n");
    testing::WriteBytes(catalogues_ / "9.Ct", "X:\\ROCK;1;x\r\n");       // named after no disc
    testing::WriteBytes(catalogues_ / "10.Ind", "E:\\ROCK\\a.mp3\r\n");  // not a file list
    testing::WriteBytes(catalogues_ / "notas.txt", "ROCK");
  }
  // The tree as lines: "# heading", "* title heading", "  hit".
  std::vector<std::string> Search(std::string_view text, SearchOutcome* outcome = nullptr,
                                  int cancelAfter = -1) {
    std::vector<std::string> tree;
    SearchEvents events;
    events.titleHeading = [&](const std::string& h) { tree.push_back("* " + h); };
    events.discHeading = [&](const std::string& h, const std::string& n) {
      tree.push_back("# " + n + " " + h);
    };
    events.hit = [&](std::string_view path) { tree.push_back("  " + std::string(path)); };
    int seen = 0;
    events.cancelled = [&] { return cancelAfter >= 0 && seen >= cancelAfter; };
    events.matched = [&](int) { ++seen; };
    const SearchOutcome result = BuscaEnArchivos(tablas_, catalogues_, text, "(ver)", events);
    if (outcome) *outcome = result;
    return tree;
  }

  testing::TempFolder data_;
  fs::path catalogues_ = data_ / "Catalogos";
  TTablas tablas_;
};

// Discs come in the catalogue files' name order without regard to case, as
// the walker orders names ("10" before "2"), each title hit before its lines.
TEST_F(SearchTest, HitsComeUnderTheirDiscsAndATitleHitHasItsOwnHeading) {
  SearchOutcome outcome;
  EXPECT_EQ(
      Search("rock", &outcome),
      (std::vector<std::string>{"* Musica rock - N\xBA: \"8\" - Album: \"\" (ver)",
                                "# 10 Musica rock - N\xBA: \"8\" - Album: \"\"",
                                "  E:\\ROCK\\a.mp3", "  E:\\ROCK\\c.MP3",
                                "# 2 Juegos 1 - N\xBA: \"7\" - Album: \"PC\"", "  D:\\ROCK.TXT"}));
  EXPECT_EQ(outcome.matches, 4);  // the title hit counts too
  EXPECT_EQ(outcome.text, "ROCK");
  EXPECT_EQ(Search("mp3+pop").size(), 2u);  // the heading and one hit
  EXPECT_TRUE(Search("+pop").empty());
  EXPECT_TRUE(Search("zzz").empty());
}

TEST_F(SearchTest, SearchTextsOfAnyBytesAreSafe) {
  for (const std::string& odd : {std::string("\n"), std::string("\r\nROCK"), std::string("\0", 1),
                                 std::string("\xFF\xFE"), std::string(5000, 'r'), std::string(";"),
                                 std::string("+"), std::string("++"), std::string(" ")}) {
    SearchOutcome outcome;
    Search(odd, &outcome);
    EXPECT_GE(outcome.matches, 0);
  }
  SearchOutcome semicolons;
  Search(";", &semicolons);
  EXPECT_EQ(semicolons.matches, 5);  // every line of the two discs holds one
}

TEST_F(SearchTest, CancellingKeepsWhatWasFound) {
  SearchOutcome outcome;
  Search("mp3", &outcome, 1);
  EXPECT_EQ(outcome.matches, 1);
}

// The bar of the window fills with the bytes of the catalogues searched:
// those of discs in the table, not 9.Ct.
TEST_F(SearchTest, ProgressCountsTheBytesOfTheCataloguesSearched) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> seen;
  SearchEvents events;
  events.progress = [&](std::uint64_t done, std::uint64_t total) {
    seen.emplace_back(done, total);
  };
  BuscaEnArchivos(tablas_, catalogues_, "rock", "(ver)", events);
  const std::uint64_t total =
      fs::file_size(catalogues_ / "2.Ct") + fs::file_size(catalogues_ / "10.Ct");
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), std::make_pair(total, total));
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i - 1].first, seen[i].first);
}

TEST_F(SearchTest, HitsPastTheLimitAreCountedOnly) {
  std::string many;
  for (int i = 0; i < kResultSlots + 5; ++i)
    many += "F:\\MUCHOS\\" + std::to_string(i) + ".X;1;x\r\n";
  testing::WriteBytes(catalogues_ / "3.Ct", many);
  SearchOutcome outcome;
  const std::vector<std::string> tree = Search("muchos", &outcome);
  EXPECT_EQ(outcome.matches, kResultSlots + 5);
  EXPECT_TRUE(outcome.beyondLimit());
  EXPECT_EQ(tree.size(), static_cast<std::size_t>(kResultSlots) + 1);
}

// A file without line breaks (a damaged catalogue) is read in pieces all the
// same: a line longer than a piece is cut, never held whole.
TEST_F(SearchTest, ALineLongerThanAReadPieceIsCutIntoPieces) {
  std::string huge =
      "F:\\" + std::string(9u << 20, 'A') + "AGUJA;1;x\r\nF:\\OTRA;1;x\r\nF:\\AGUJA2";
  testing::WriteBytes(catalogues_ / "3.Ct", huge);
  SearchOutcome outcome;
  const std::vector<std::string> tree = Search("aguja", &outcome);
  EXPECT_EQ(outcome.matches, 2);               // the last line needs no line end
  ASSERT_EQ(tree.size(), 3u);                  // the heading, then the hits
  EXPECT_LE(tree[1].size(), 2u + (4u << 20));  // the hit's piece of its line
  EXPECT_EQ(tree[1].substr(tree[1].size() - 5), "AGUJA");
  EXPECT_EQ(tree[2], "  F:\\AGUJA2");
}

}  // namespace
}  // namespace zafirel
