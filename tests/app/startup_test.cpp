// Start-up steps without a window: the data folder setting, the first-run
// tables and their report, the shipped language files, name patterns and
// the window placement.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/ini_editor.h"
#include "app/language.h"
#include "app/language_keys.h"
#include "app/window_placement.h"
#include "util/wildcard.h"

namespace zafirel {
namespace {
namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/zafirel-startup-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempFolder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

const fs::path kLangFolder = fs::path(ZAFIREL_SOURCE_DIR) / "lang";

TEST(DataFolderSetting, EmptyMeansTheDefaultAndOneTrailingSeparatorGoes) {
  TempFolder dir;
  TIniEditor ini;
  ini.SetFileLocation(TFileLocation::PathInFileName);
  ini.SetFileName((dir.path() / "Opcion.INI").string());

  EXPECT_EQ(DetermineDataFolder(ini, dir.path()), dir.path());
  EXPECT_EQ(ini.ReadStr("General", "Directorio", ""), dir.path().string());

  ini.WriteStr("General", "Directorio", "/srv/discos//");
  EXPECT_EQ(DetermineDataFolder(ini, dir.path()), fs::path("/srv/discos/"));
  EXPECT_EQ(ini.ReadStr("General", "Directorio", ""), "/srv/discos/");
  ini.WriteStr("General", "Directorio", "D:\\DATOS\\");
  EXPECT_EQ(DetermineDataFolder(ini, dir.path()), fs::path("D:\\DATOS"));
}

TEST(FirstRunTables, ReportNamesTheTablesThatWereMissing) {
  TempFolder dir;
  Language spanish(kLangFolder / "Espanol.Len");
  const std::string intro = spanish.Traduce("FicherosCreados");
  const std::string covers = spanish.Traduce("Imagenes");

  EXPECT_EQ(CreaFicheros(dir.path(), spanish), intro + "CDRom, " + covers + ".");
  EXPECT_EQ(CreaFicheros(dir.path(), spanish), std::nullopt);

  // A disc table under another letter case counts as present.
  fs::remove(dir.path() / "IMG.DBF");
  fs::remove(dir.path() / "IMG.DBT");
  fs::rename(dir.path() / "CDROM.DBF", dir.path() / "CDRom.Dbf");
  EXPECT_EQ(CreaFicheros(dir.path(), spanish), intro + covers + ".");
  EXPECT_EQ(fs::file_size(dir.path() / "CDRom.Dbf"), 482u);
}

TEST(FirstRunTables, TablesThatCannotBeMadeStillGiveTheReport) {
  TempFolder dir;
  // A folder below a plain file cannot be written to, not even by root.
  WriteFile(dir.path() / "plain", "x");
  Language spanish(kLangFolder / "Espanol.Len");
  EXPECT_EQ(CreaFicheros(dir.path() / "plain" / "data", spanish),
            spanish.Traduce("FicherosCreados") + ".");
}

TEST(ShippedLanguageFiles, CoverEveryKeyInWindowsTextWithCrLf) {
  for (const char* name : {"Espanol.Len", "Ingles.Len"}) {
    Language language(kLangFolder / name);
    for (std::string_view key : kLanguageKeys)
      EXPECT_FALSE(language.Traduce(key).empty()) << name << ": " << key;
    const std::string bytes = ReadFile(kLangFolder / name);
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
  WriteFile(shipped.path() / "Espanol.Len", "[General]\r\nParar=P\r\n");
  WriteFile(shipped.path() / "Ingles.Len", "[General]\r\nParar=S\r\n");
  CopyShippedLanguageFiles(shipped.path(), data.path());
  EXPECT_TRUE(fs::exists(data.path() / "Espanol.Len"));
  EXPECT_TRUE(fs::exists(data.path() / "Ingles.Len"));

  WriteFile(other.path() / "mio.len", "[General]\r\n");
  CopyShippedLanguageFiles(shipped.path(), other.path());
  EXPECT_FALSE(fs::exists(other.path() / "Espanol.Len"));
}

TEST(LanguageStore, FileNamesAndKeysIgnoreCaseAndMissingGivesEmpty) {
  TempFolder dir;
  WriteFile(dir.path() / "espanol.len", "[general]\r\nPARAR=&Parar\r\n");
  Language language(dir.path() / "Ingles.Len");
  EXPECT_EQ(language.Traduce("Parar"), "");  // no such file yet
  language.Use(dir.path(), "Espanol.Len");
  EXPECT_EQ(language.Traduce("Parar"), "&Parar");
  EXPECT_EQ(language.Traduce("Catalogar1"), "");
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
  WriteFile(dir.path() / "LEEME.TXT", "x");
  WriteFile(dir.path() / "FILE_ID", "x");
  fs::create_directory(dir.path() / "sub");
  WriteFile(dir.path() / "sub" / "keep.txt", "x");
  EmptyFolderFiles(dir.path());
  EXPECT_FALSE(fs::exists(dir.path() / "LEEME.TXT"));
  EXPECT_FALSE(fs::exists(dir.path() / "FILE_ID"));
  EXPECT_TRUE(fs::exists(dir.path() / "sub" / "keep.txt"));
  EmptyFolderFiles(dir.path() / "missing");  // nothing to do, no failure
}

TEST(WindowPlacementStore, RoundTripsUnderTheSameResolutionOnly) {
  TempFolder dir;
  TIniEditor posicion;
  posicion.SetFileLocation(TFileLocation::PathInFileName);
  posicion.SetFileName((dir.path() / "Opcion.ini").string());
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

}  // namespace
}  // namespace zafirel
