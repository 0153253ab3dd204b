// Start-up steps without a window: the data folder setting, the first-run
// tables and their report, the shipped language files, name patterns and
// the window placement.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/window_placement.h"
#include "settings/ini_editor.h"
#include "settings/language.h"
#include "settings/language_keys.h"
#include "test_support.h"
#include "util/wildcard.h"

namespace zafirel {
namespace {
namespace fs = std::filesystem;

using testing::TempFolder;

const fs::path kLangFolder = fs::path(ZAFIREL_SOURCE_DIR) / "lang";

TEST(DataFolderSetting, EmptyMeansTheDefaultAndOneTrailingSeparatorGoes) {
  TempFolder dir;
  TIniEditor ini;
  ini.SetFileLocation(TFileLocation::PathInFileName);
  ini.SetFileName((dir.Path() / "Opcion.INI").string());

  EXPECT_EQ(DetermineDataFolder(ini, dir.Path()), dir.Path());
  EXPECT_EQ(ini.ReadStr("General", "Directorio", ""), dir.Path().string());

  ini.WriteStr("General", "Directorio", "/srv/discos//");
  EXPECT_EQ(DetermineDataFolder(ini, dir.Path()), fs::path("/srv/discos/"));
  EXPECT_EQ(ini.ReadStr("General", "Directorio", ""), "/srv/discos/");
  ini.WriteStr("General", "Directorio", "D:\\DATOS\\");
  EXPECT_EQ(DetermineDataFolder(ini, dir.Path()), fs::path("D:\\DATOS"));
}

// The data folder written at one start is the one found at the next, whatever
// its characters or length.
class DataFolderRestart : public ::testing::TestWithParam<std::string> {};

TEST_P(DataFolderRestart, FindsTheSameFolderAgain) {
  TempFolder dir;
  const fs::path folder = dir.Path() / GetParam();
  const std::string settings = (dir.Path() / "Opcion.INI").string();
  TIniEditor first;
  first.SetFileLocation(TFileLocation::PathInFileName);
  first.SetFileName(settings);
  ASSERT_EQ(DetermineDataFolder(first, folder), folder);

  TIniEditor next;
  next.SetFileLocation(TFileLocation::PathInFileName);
  next.SetFileName(settings);
  EXPECT_EQ(DetermineDataFolder(next, dir.Path() / "otra"), folder);
  EXPECT_EQ(DetermineDataFolder(next, dir.Path() / "otra"), folder);
}

std::string LongPath() {
  std::string path;
  while (path.size() < 300) path += "carpeta/";
  return path + "datos";
}

INSTANTIATE_TEST_SUITE_P(
    Names, DataFolderRestart,
    ::testing::Values("\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5",  // Cyrillic
                      "\xCE\x94\xCE\xB5\xCE\xB4\xCE\xBF\xCE\xBC\xCE\xAD\xCE\xBD\xCE\xB1",  // Greek
                      "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF",                              // CJK
                      "\xC5\x81\xC3\xB3"
                      "d\xC5\xBA/m\xC3\xBAsica",  // "ł" beside Windows-1252 letters
                      "\xC3\x83\xC2\xA9",         // Windows-1252 bytes that read as UTF-8
                      "con blanco ", LongPath()));

TEST(DataFolderSetting, SettingsWrittenInAnsiElsewhereReadAsBefore) {
  TempFolder dir;
  const std::string ansi = "[General]\r\nDirectorio=/srv/m\xFAsica\r\n";
  testing::WriteBytes(dir.Path() / "Opcion.INI", ansi);
  TIniEditor ini;
  ini.SetFileLocation(TFileLocation::PathInFileName);
  ini.SetFileName((dir.Path() / "Opcion.INI").string());
  EXPECT_EQ(DetermineDataFolder(ini, dir.Path()), fs::path("/srv/m\xC3\xBAsica"));
  EXPECT_EQ(testing::ReadBytes(dir.Path() / "Opcion.INI"), ansi);  // still ANSI for the others

  testing::WriteBytes(dir.Path() / "Opcion.INI",
                      "[General]\r\nDirectorio=C:\\DATOS\\M\xFAsica\r\n");
  EXPECT_EQ(DetermineDataFolder(ini, dir.Path()), fs::path("C:\\DATOS\\M\xC3\xBAsica"));
}

TEST(ProgramLocation, AnUnwritableProgramFolderSendsSettingsAndDataToXdgFolders) {
  TempFolder dir;
  const fs::path writable = dir.Path() / "bin";
  fs::create_directory(writable);
  ProgramLocation here = LocateProgram(writable);
  EXPECT_EQ(here.programFolder, writable);
  EXPECT_EQ(here.defaultDataFolder, writable);

  // A folder below a plain file cannot be written, not even by root.
  testing::WriteBytes(dir.Path() / "plain", "x");
  setenv("XDG_CONFIG_HOME", (dir.Path() / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (dir.Path() / "share").c_str(), 1);
  ProgramLocation system = LocateProgram(dir.Path() / "plain" / "bin");
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(system.executableFolder, dir.Path() / "plain" / "bin");
  EXPECT_EQ(system.programFolder, dir.Path() / "config" / "Zafirel");
  EXPECT_EQ(system.defaultDataFolder, dir.Path() / "share" / "Zafirel");
  EXPECT_TRUE(fs::is_directory(system.programFolder));
  EXPECT_TRUE(fs::is_directory(system.defaultDataFolder));

  // Installed (language files in share/): the XDG folders even where bin/ is
  // writable, as /usr/bin is for root.
  fs::create_directories(dir.Path() / "usr" / "bin");
  fs::create_directories(dir.Path() / "usr" / "share" / "zafirel");
  testing::WriteBytes(dir.Path() / "usr" / "share" / "zafirel" / "Espanol.Len", "[General]\r\n");
  setenv("XDG_CONFIG_HOME", (dir.Path() / "config").c_str(), 1);
  const ProgramLocation installed = LocateProgram(dir.Path() / "usr" / "bin");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(installed.programFolder, dir.Path() / "config" / "Zafirel");
}

TEST(ProgramLocation, ShippedLanguageFilesBesideTheExecutableElseInShare) {
  TempFolder dir;
  const fs::path bin = dir.Path() / "usr" / "bin";
  fs::create_directories(bin);
  testing::WriteBytes(bin / "zafirel", "");
  EXPECT_EQ(ShippedLanguageFolder(bin), dir.Path() / "usr" / "share" / "zafirel");

  testing::WriteBytes(bin / "espanol.len", "[General]\r\n");  // a build folder, any letter case
  EXPECT_EQ(ShippedLanguageFolder(bin), bin);
}

TEST(FirstRunTables, ReportNamesTheTablesThatWereMissing) {
  TempFolder dir;
  Language spanish(kLangFolder / "Espanol.Len");
  const std::string intro = spanish.Traduce("FicherosCreados");
  const std::string covers = spanish.Traduce("Imagenes");

  EXPECT_EQ(CreaFicheros(dir.Path(), spanish), intro + "CDRom, " + covers + ".");
  EXPECT_EQ(CreaFicheros(dir.Path(), spanish), std::nullopt);

  // A disc table under another letter case counts as present.
  fs::remove(dir.Path() / "IMG.DBF");
  fs::remove(dir.Path() / "IMG.DBT");
  fs::rename(dir.Path() / "CDROM.DBF", dir.Path() / "CDRom.Dbf");
  EXPECT_EQ(CreaFicheros(dir.Path(), spanish), intro + covers + ".");
  EXPECT_EQ(fs::file_size(dir.Path() / "CDRom.Dbf"), 482u);
}

TEST(FirstRunTables, TablesThatCannotBeMadeStillGiveTheReport) {
  TempFolder dir;
  // A folder below a plain file cannot be written to, not even by root.
  testing::WriteBytes(dir.Path() / "plain", "x");
  Language spanish(kLangFolder / "Espanol.Len");
  EXPECT_EQ(CreaFicheros(dir.Path() / "plain" / "data", spanish),
            spanish.Traduce("FicherosCreados") + ".");
}

TEST(ShippedLanguageFiles, CoverEveryKeyInWindowsTextWithCrLf) {
  for (const char* name : {"Espanol.Len", "Ingles.Len"}) {
    Language language(kLangFolder / name);
    for (std::string_view key : kLanguageKeys)
      EXPECT_FALSE(language.Traduce(key).empty()) << name << ": " << key;
    const std::string bytes = testing::ReadBytes(kLangFolder / name);
    for (std::size_t i = bytes.find('\n'); i != std::string::npos; i = bytes.find('\n', i + 1))
      ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << name << " has a bare LF";
  }
  // Texts that are glued to what follows keep their edge blanks.
  Language spanish(kLangFolder / "Espanol.Len");
  EXPECT_EQ(spanish.Traduce("ArchivosProcesados").front(), ' ');
  EXPECT_EQ(spanish.Traduce("Tama\xF1o"), "Tama\xF1o");
}

TEST(ShippedLanguageFiles, CopiedOnlyIntoADataFolderWithoutAny) {
  TempFolder shipped, data, other;
  testing::WriteBytes(shipped.Path() / "Espanol.Len", "[General]\r\nParar=P\r\n");
  testing::WriteBytes(shipped.Path() / "Ingles.Len", "[General]\r\nParar=S\r\n");
  CopyShippedLanguageFiles(shipped.Path(), data.Path());
  EXPECT_TRUE(fs::exists(data.Path() / "Espanol.Len"));
  EXPECT_TRUE(fs::exists(data.Path() / "Ingles.Len"));

  testing::WriteBytes(other.Path() / "mio.len", "[General]\r\n");
  CopyShippedLanguageFiles(shipped.Path(), other.Path());
  EXPECT_FALSE(fs::exists(other.Path() / "Espanol.Len"));
}

TEST(LanguageStore, FileNamesAndKeysIgnoreCaseAndMissingGivesEmpty) {
  TempFolder dir;
  testing::WriteBytes(dir.Path() / "espanol.len", "[general]\r\nPARAR=&Parar\r\n");
  Language language(dir.Path() / "Ingles.Len");
  EXPECT_EQ(language.Traduce("Parar"), "");  // no such file yet
  language.Use(dir.Path(), "Espanol.Len");
  EXPECT_EQ(language.Traduce("Parar"), "&Parar");
  EXPECT_EQ(language.Traduce("Catalogar1"), "");

  // A data folder's copy from an earlier version lacks the newer keys: they
  // come from the shipped file of the same name; its own texts, empty ones
  // too, stand.
  TempFolder data;
  testing::WriteBytes(data.Path() / "Espanol.Len", "[General]\r\nParar=Alto\r\nBuscar=\r\n");
  testing::WriteBytes(dir.Path() / "espanol.len",
                      "[General]\r\nParar=&Parar\r\nBuscar=&Buscar\r\nFiltros=F&iltros\r\n");
  language.Use(data.Path(), "Espanol.Len");
  EXPECT_EQ(language.Traduce("Parar"), "Alto");
  EXPECT_EQ(language.Traduce("Buscar"), "");
  EXPECT_EQ(language.Traduce("Filtros"), "F&iltros");
  EXPECT_EQ(language.Traduce("Otra"), "");
}

TEST(NamePatterns, MatchLikeTheDirectoryListing) {
  EXPECT_TRUE(MatchesPattern("uno.htm", "*.htm*"));
  EXPECT_TRUE(MatchesPattern("DOS.HTML", "*.htm*"));
  EXPECT_FALSE(MatchesPattern("tres.txt", "*.htm*"));
  EXPECT_FALSE(MatchesPattern("htm", "*.htm*"));
  EXPECT_TRUE(MatchesPattern("sinpunto", "*.*"));
  EXPECT_TRUE(MatchesPattern("CDROM", "cdrom.*"));
  EXPECT_TRUE(MatchesPattern("CDROMCREADA.DBT", "CDROMCreada.*"));
  EXPECT_TRUE(MatchesPattern("a.len", "?.Len"));
  EXPECT_FALSE(MatchesPattern("ab.len", "?.Len"));
  EXPECT_TRUE(MatchesPattern(std::string(5000, 'a') + ".x", "*a*a*a*.x"));
}

TEST(TemporaryFolder, EmptiedOfFilesButNotOfFolders) {
  TempFolder dir;
  testing::WriteBytes(dir.Path() / "LEEME.TXT", "x");
  testing::WriteBytes(dir.Path() / "FILE_ID", "x");
  fs::create_directory(dir.Path() / "sub");
  testing::WriteBytes(dir.Path() / "sub" / "keep.txt", "x");
  EmptyFolderFiles(dir.Path());
  EXPECT_FALSE(fs::exists(dir.Path() / "LEEME.TXT"));
  EXPECT_FALSE(fs::exists(dir.Path() / "FILE_ID"));
  EXPECT_TRUE(fs::exists(dir.Path() / "sub" / "keep.txt"));
  EmptyFolderFiles(dir.Path() / "missing");  // nothing to do, no failure
}

TEST(WindowPlacementStore, RoundTripsUnderTheSameResolutionOnly) {
  TempFolder dir;
  TIniEditor posicion;
  posicion.SetFileLocation(TFileLocation::PathInFileName);
  posicion.SetFileName((dir.Path() / "Opcion.ini").string());
  const ScreenFacts screen{1920, 1080, 96};
  EXPECT_FALSE(LoadPlacement(posicion, screen));

  WindowPlacement saved;
  saved.left = 10;
  saved.top = 20;
  saved.right = 762;
  saved.bottom = 464;
  SavePlacement(posicion, saved, screen);
  EXPECT_EQ(posicion.ReadStr("Posicion", "NormPos", ""), "10,20,762,464");
  EXPECT_EQ(posicion.ReadStr("Posicion", "NormPos(1920x1080)", ""), "10,20,762,464");
  EXPECT_EQ(posicion.ReadStr("Posicion", "FormVersion", ""), "0");

  const auto loaded = LoadPlacement(posicion, screen);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->right, 762);
  EXPECT_FALSE(LoadPlacement(posicion, ScreenFacts{1920, 1080, 120}));

  posicion.WriteStr("Posicion", "NormPos(1920x1080)", "basura");
  posicion.WriteStr("Posicion", "NormPos", "1,2");
  EXPECT_FALSE(LoadPlacement(posicion, screen));
}

TEST(WindowPlacementStore, FitsOnTheScreenItOpensOn) {
  auto fit = [](int left, int top, int right, int bottom) {
    WindowPlacement p;
    p.left = left, p.top = top, p.right = right, p.bottom = bottom;
    p = FitPlacement(p, ScreenArea{0, 30, 1280, 770});  // below a 30-pixel panel
    return std::vector<int>{p.left, p.top, p.right, p.bottom};
  };
  EXPECT_EQ(fit(10, 40, 762, 484), (std::vector<int>{10, 40, 762, 484}));       // fits: as saved
  EXPECT_EQ(fit(2000, 40, 2752, 484), (std::vector<int>{528, 40, 1280, 484}));  // a monitor gone
  EXPECT_EQ(fit(-900, -50, -100, 400), (std::vector<int>{0, 30, 800, 480}));    // off to the left
  EXPECT_EQ(fit(100, 100, 2100, 1300), (std::vector<int>{0, 30, 1280, 800}));   // larger: shrunk
}

}  // namespace
}  // namespace zafirel
