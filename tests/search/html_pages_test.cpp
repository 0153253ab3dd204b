// The pages of a saved search and of a disc, byte for byte, and where a
// search is saved.
#include "search/html_pages.h"

#include <gtest/gtest.h>

#include "browse/loaded_catalogue.h"
#include "catalogue_lines.h"
#include "test_support.h"
#include "util/failure.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

const char* const kOpening =
    "<HTML>\r\n<!-- Creado por Zafirel v1.1-->\r\n"
    "<BODY BGCOLOR=\"#F0F0C0\"\" TEXT =\"#000000\" LINK   =\"#009900\" VLINK=\"#003300\">\r\n";

TEST(HtmlPages, ASearchPageListsHeadingsInBlueAndHitsInBlack) {
  const ResultsWalk walk = [](const auto& visit) {
    visit("Juegos - N\xBA: \"7\" - Album: \"PC\" Ver cat\xE1logos", true);
    visit("Juegos - N\xBA: \"7\" - Album: \"PC\"", true);
    visit("D:\\A&B<1>.TXT", false);
    visit("D:\\C.TXT", false);
  };
  EXPECT_EQ(
      SearchPageText("rock & pop", walk),
      std::string(kOpening) +
          "<h2> B\xFAsqueda de 'rock & pop'</h2>\r\n<br><br>\r\n<br><br>\r\n"
          "<P>\r\n<FONT COLOR=\"blue\">Juegos - N\xBA: \"7\" - Album: \"PC\" Ver "
          "cat\xE1logos</FONT>\r\n</P>\r\n"
          "<P>\r\n<FONT COLOR=\"blue\">Juegos - N\xBA: \"7\" - Album: \"PC\"</FONT>\r\n</P>\r\n"
          "<FONT COLOR=\"black\">D:\\A&B<1>.TXT</FONT>\r\n"
          "<FONT COLOR=\"black\">D:\\C.TXT</FONT>\r\n</HTML>\r\n");
}

TEST(HtmlPages, ADiscPageHasARowPerFile) {
  const LineList lines =
      testing::Lines({"D:\\LEEME.TXT;2;01/01/2000", "sin campos", "D:\\A.ZIP;7;02/02/2002;Juego"});
  EXPECT_EQ(DiscPageText("Mis <discos> & m\xE1s", "650 MB", false, lines),
            std::string(kOpening) +
                "<h2> Contenido de 'Mis <discos> & m\xE1s'</h2>\r\n"
                "<h2> Creado por Zafirel v1.1 - cat\xE1logo de discos</h2>\r\n"
                "<i>Tama\xF1o : 650 MB bytes</i>\r\n<br><br>\r\n<br><br>\r\n"
                "<tr><td> D:\\LEEME.TXT <td> 2 Kb <td>  </tr>\r\n</tr>\r\n<br>\r\n"
                "<tr><td> sin campos <td>  Kb <td>  </tr>\r\n</tr>\r\n<br>\r\n"
                "<tr><td> D:\\A.ZIP <td> 7 Kb <td>  </tr>\r\n</tr>\r\n<br>\r\n</HTML>\r\n");
  // With no disc in the table the page stops after the header.
  EXPECT_EQ(DiscPageText("", "", true, lines),
            std::string(kOpening) +
                "<h2> Contenido de ''</h2>\r\n"
                "<h2> Creado por Zafirel v1.1 - cat\xE1logo de discos</h2>\r\n"
                "<i>Tama\xF1o :  bytes</i>\r\n<br><br>\r\n</HTML>\r\n");
}

// A disc's page written from its files piece by piece is the page of its
// loaded lines, whatever the files hold or lack.
TEST(HtmlPages, ADiscPageFromItsFilesIsThePageOfItsLoadedLines) {
  struct Case {
    const char* what;
    bool tree, list, noDiscs;
    int extraFiles;
  };
  for (const Case& c :
       {Case{"every kind of line", true, true, false, 0},
        Case{"many pieces", true, true, false, 12000}, Case{"no tree file", false, true, false, 0},
        Case{"no file list", true, false, false, 0}, Case{"no discs", true, true, true, 0}}) {
    SCOPED_TRACE(c.what);
    testing::TempFolder folder;
    if (c.tree) testing::WriteBytes(folder / "4.Ind", testing::kEveryKindTree);
    if (c.list) testing::WriteBytes(folder / "4.Ct", testing::EveryKindList(c.extraFiles));
    LoadedCatalogue loaded;
    loaded.CargarCatalogo(folder / "4");
    GrabarComoHTMLDesdeArchivos(folder / "4.htm", "Mis <discos>", "650 MB", c.noDiscs,
                                folder / "4");
    EXPECT_EQ(testing::ReadBytes(folder / "4.htm"),
              DiscPageText("Mis <discos>", "650 MB", c.noDiscs, loaded.LineasActuales));
  }
}

// A file list that cannot be read or a page that cannot be written fails,
// naming that file; no page is left behind.
TEST(HtmlPages, ADiscPageThatCannotBeMadeSaysWhichFile) {
  testing::TempFolder folder;
  testing::WriteBytes(folder / "4.Ind", testing::kEveryKindTree);
  fs::create_directory(folder / "4.Ct");  // opens, but reads fail
  for (const auto& [page, named] :
       {std::pair{folder / "4.htm", folder / "4.Ct"},
        std::pair{folder / "falta" / "4.htm", folder / "falta" / "4.htm"}}) {
    try {
      GrabarComoHTMLDesdeArchivos(page, "T", "1", false, folder / "4");
      ADD_FAILURE() << page;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.File(), named);
      EXPECT_NE(failure.Cause(), 0);
    }
    EXPECT_FALSE(fs::exists(page));
  }
  EXPECT_EQ(fs::directory_iterator(folder / "4.Ct"), fs::directory_iterator());
}

TEST(HtmlPages, StoredSearchesListByNameWithoutRegardToCase) {
  testing::TempFolder folder;
  for (const char* name : {"zeta.htm", "Beta.htm", "alfa.html", "nota.txt", "Alfa.htm"})
    testing::WriteBytes(folder / name, "x");
  EXPECT_EQ(ListStoredSearches(folder.Path()),
            (std::vector<std::string>{"Alfa.htm", "alfa.html", "Beta.htm", "zeta.htm"}));
}

TEST(HtmlPages, SearchesAreSavedUnderTheirCapitalisedTextOrTheTemporaryName) {
  testing::TempFolder folder;
  EXPECT_EQ(StoredSearchPath(folder.Path(), "mp3 de rock-pop"), folder / "Mp3 De Rock-Pop.htm");
  EXPECT_EQ(StoredSearchPath(folder.Path(), "\xE9xito"), folder / "\xC3\x89xito.htm");
  for (const char* unusable : {"a/b", "..\\fuera", ".oculto", ""})
    EXPECT_EQ(StoredSearchPath(folder.Path(), unusable), folder / "~Temporal.htm") << unusable;
  EXPECT_EQ(StoredSearchPath(folder.Path(), std::string("x\0y", 3)), folder / "~Temporal.htm");
  EXPECT_EQ(StoredSearchPath(folder.Path(), std::string(300, 'a')), folder / "~Temporal.htm");
  EXPECT_EQ(StoredSearchPath(folder / "no existe", "rock"), folder / "no existe" / "~Temporal.htm");

  // Saving again under the same text replaces the page.
  const fs::path page = StoredSearchPath(folder.Path(), "rock");
  GrabarLaBusqueda(page, "rock", [](const auto& visit) { visit("uno", true); });
  GrabarLaBusqueda(page, "rock", [](const auto& visit) { visit("dos", true); });
  const std::string saved = testing::ReadBytes(page);
  EXPECT_EQ(saved.find("uno"), std::string::npos);
  EXPECT_NE(saved.find("dos"), std::string::npos);
  EXPECT_THROW(GrabarLaBusqueda(folder / "no existe" / "x.htm", "x", [](const auto&) {}),
               std::runtime_error);
}

TEST(HtmlPages, ExportNamesHoldNoPathCharacters) {
  EXPECT_EQ(ExportPageName("12", "Juegos: 1/2 \"PC\""), "12 - Juegos_ 1_2 _PC_.htm");
  EXPECT_EQ(ExportPageName("3", std::string(100, 'x')).size(), 75u + 4);
}

}  // namespace
}  // namespace zafirel
