// What narrows a search: sizes and dates read as the lines hold them, at
// their boundaries; kinds as extensions; albums and discs.
#include "search/search_filter.h"

#include <gtest/gtest.h>

#include "settings/ini_editor.h"
#include "test_support.h"

namespace zafirel {
namespace {

Locale WithDates(const char* pattern) {
  Locale locale;
  locale.shortDateFormat = pattern;
  return locale;
}

TEST(SearchFilterTest, DatesAreReadInTheirPatternsOrder) {
  const Locale spanish = WithDates("dd/MM/yyyy"), american = WithDates("M/d/yyyy"),
               shortYear = WithDates("dd.MM.yy"), iso = WithDates("yyyy-MM-dd");
  EXPECT_EQ(ParseShortDate("03/02/2024", spanish), 20240203);
  EXPECT_EQ(ParseShortDate("3/2/2024", american), 20240302);
  EXPECT_EQ(ParseShortDate("29.02.24", shortYear), 20240229);
  EXPECT_EQ(ParseShortDate("31.12.30", shortYear), 19301231);  // two digits: 1930 to 2029
  EXPECT_EQ(ParseShortDate("2024-02-03", spanish), 20240203);  // four digits first: Y-M-D
  EXPECT_EQ(ParseShortDate("2024-02-03", iso), 20240203);
  for (const char* wrong : {"", "31/02/2024", "29/02/2023", "13/13/2024", "1/2", "1/2/3/4",
                            "00/01/2024", "01/01/123456"})
    EXPECT_FALSE(ParseShortDate(wrong, spanish)) << wrong;
  EXPECT_EQ(ParseIsoDate("2024-01-31"), 20240131);
  EXPECT_FALSE(ParseIsoDate("2024-1-31"));
  EXPECT_FALSE(ParseIsoDate("31/01/2024"));
}

TEST(SearchFilterTest, SizesTakeTheirUnits) {
  EXPECT_EQ(ParseSize("700"), 700u);
  EXPECT_EQ(ParseSize("64k"), 64u << 10);
  EXPECT_EQ(ParseSize("10M"), 10u << 20);
  EXPECT_EQ(ParseSize("2G"), std::uint64_t{2} << 30);
  for (const char* wrong : {"", "M", "1.5M", "10MB", "-1", "99999999999999G"})
    EXPECT_FALSE(ParseSize(wrong)) << wrong;
}

// A line's kilobytes are its bytes rounded up: a bound is rounded the same
// way, so "at most 1M" keeps 1024 KB and "at least 1M" leaves out 1023 KB.
TEST(SearchFilterTest, LinesAreJudgedAtTheirBoundaries) {
  SearchFilter filter;
  filter.locale = WithDates("dd/MM/yyyy");
  filter.minBytes = 1u << 20;
  filter.maxBytes = (2u << 20) + 1;  // 2049 KB
  filter.from = 20240201;
  filter.to = 20240229;
  filter.extensions = {"MP3", "FLAC"};
  const struct {
    const char* line;
    bool kept;
  } cases[] = {
      {"D:\\M\xDAsica\\a.mp3;1024;01/02/2024", true},
      {"D:\\M\xDAsica\\a.MP3;2049;29/02/2024;Una descripci\xF3n", true},
      {"D:\\a.flac;1023;15/02/2024", false},  // too small
      {"D:\\a.flac;2050;15/02/2024", false},  // too big
      {"D:\\a.flac;1500;31/01/2024", false},  // too early
      {"D:\\a.flac;1500;01/03/2024", false},  // too late
      {"D:\\a.ogg;1500;15/02/2024", false},   // another kind
      {"D:\\mp3;1500;15/02/2024", false},     // no extension
      {"D:\\x.mp3\\b;1500;15/02/2024", false},
      {"D:\\a.flac;;15/02/2024", false},  // no size
      {"D:\\a.flac;1500;", false},        // no date
      {"D:\\a.flac", false},
  };
  for (const auto& c : cases) EXPECT_EQ(filter.KeepsLine(c.line), c.kept) << c.line;
  EXPECT_TRUE(filter.JudgesLines());
  EXPECT_FALSE(SearchFilter{}.JudgesLines());
  EXPECT_TRUE(SearchFilter{}.KeepsLine("anything"));
}

TEST(SearchFilterTest, DiscsAndAlbumsAndKinds) {
  SearchFilter filter;
  EXPECT_TRUE(filter.KeepsDisc("7", "PC"));
  filter.albums = {"m\xFAsica ", "PC"};
  EXPECT_TRUE(filter.KeepsDisc("7", "M\xDASICA"));
  EXPECT_FALSE(filter.KeepsDisc("7", "Juegos"));
  filter.discs = {"3"};
  EXPECT_FALSE(filter.KeepsDisc("7", "PC"));
  EXPECT_TRUE(filter.KeepsDisc("3", "pc"));

  testing::TempFolder folder;
  TIniEditor::SetApplicationFolder(folder.Path().string() + "/");
  TIniEditor settings;
  settings.SetFileLocation(TFileLocation::ApplicationPath);
  settings.SetFileName("Opcion");
  EXPECT_EQ(KindExtensions(settings, "nothing"), std::nullopt);
  EXPECT_EQ(KindExtensions(settings, "MUSIC")->front(), "MP3");
  settings.WriteStr(kFileKindsSection, "Musica", "ogg, .Opus;wav");
  EXPECT_EQ(KindExtensions(settings, "Musica"), (std::vector<std::string>{"OGG", "OPUS", "WAV"}));
}

}  // namespace
}  // namespace zafirel
