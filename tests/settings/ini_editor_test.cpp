#include "settings/ini_editor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace zafirel {
namespace {

namespace fs = std::filesystem;

class IniEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() / ("zafirel-ini-" + std::to_string(::getpid()) + "-" +
                                           info->test_suite_name() + "-" + info->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    TIniEditor::SetApplicationFolder(folder_.string());
    ini_.SetFileLocation(TFileLocation::ApplicationPath);
    ini_.SetFileName("Opcion");
  }
  void TearDown() override {
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(folder_);
  }

  fs::path File() const { return folder_ / "Opcion.INI"; }
  void Put(const std::string& bytes) const { std::ofstream(File(), std::ios::binary) << bytes; }
  std::string Get() const {
    std::ifstream in(File(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path folder_;
  TIniEditor ini_;
};

TEST_F(IniEditorTest, ResolvesFileNamesAgainstTheBaseFolder) {
  const std::string base = folder_.string() + "/";
  EXPECT_EQ(ini_.ResolvedPath(), base + "Opcion.INI");
  ini_.SetFileName("\\Espanol.Len");
  EXPECT_EQ(ini_.ResolvedPath(), base + "Espanol.Len");
  ini_.SetFileName("C:\\DATOS\\Opcion");
  EXPECT_EQ(ini_.ResolvedPath(), "C:\\DATOS\\Opcion.INI");
  ini_.SetFileName("/etc/zafirel.conf");
  EXPECT_EQ(ini_.ResolvedPath(), "/etc/zafirel.conf");
  ini_.SetFileName("datos.d/Opcion");  // a dot in a folder is no extension
  EXPECT_EQ(ini_.ResolvedPath(), base + "datos.d/Opcion.INI");
  ini_.SetFileName("sub\\x.cfg");
  EXPECT_EQ(ini_.ResolvedPath(), base + "sub\\x.cfg");

  ini_.SetFileLocation(TFileLocation::PathInFileName);
  ini_.SetFileName("Opcion");
  EXPECT_EQ(ini_.ResolvedPath(), "Opcion.INI");
  ini_.SetFileName("");
  EXPECT_EQ(ini_.ResolvedPath(), "");
}

TEST_F(IniEditorTest, WindowsPathIsTheUserConfigurationFolder) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string saved_value = saved ? saved : "";
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  ini_.SetFileLocation(TFileLocation::WindowsPath);
  EXPECT_EQ(ini_.ResolvedPath(), "/cfg/Opcion.INI");
  ::unsetenv("XDG_CONFIG_HOME");
  ini_.SetFileLocation(TFileLocation::WindowsPath);
  EXPECT_EQ(ini_.ResolvedPath(), std::string(std::getenv("HOME")) + "/.config/Opcion.INI");
  if (saved) ::setenv("XDG_CONFIG_HOME", saved_value.c_str(), 1);
}

TEST_F(IniEditorTest, ReadsFollowTheProfileRules) {
  Put("top=before any section\r\n"
      "; comment=not an entry\r\n"
      "[general]\r\n"
      "  Directorio  =  /datos  \r\n"
      "Quoted=\"  kept blanks  \"\r\n"
      ";Lenguaje=Ingles.Len\r\n"
      "Empty=\r\n"
      "[ Otra ]\r\n"
      "Directorio=other\r\n");
  EXPECT_EQ(ini_.ReadStr("GENERAL", "directorio", "x"), "/datos");
  EXPECT_EQ(ini_.ReadStr("General", "Quoted", "x"), "  kept blanks  ");
  EXPECT_EQ(ini_.ReadStr("General", "Lenguaje", "Espanol.Len"), "Espanol.Len");
  EXPECT_EQ(ini_.ReadStr("General", "Empty", "x"), "");
  EXPECT_EQ(ini_.ReadStr("General", "top", "x"), "x");
  EXPECT_EQ(ini_.ReadStr("Otra", "Directorio", "x"), "other");
  EXPECT_EQ(ini_.ReadStr("Missing", "Directorio", ""), "");

  ini_.SetFileName("Nowhere");
  EXPECT_EQ(ini_.ReadStr("General", "Directorio", "def"), "def");
  EXPECT_FALSE(fs::exists(folder_ / "Nowhere.INI"));
}

TEST_F(IniEditorTest, EmptySectionOrKeyReadsTheDefault) {
  Put("[]\r\nkey=stored\r\n[General]\r\n=stored\r\n");
  EXPECT_EQ(ini_.ReadStr("", "key", "def"), "def");
  EXPECT_EQ(ini_.ReadStr("General", "", "def"), "def");
  ini_.SetFileName("");
  EXPECT_EQ(ini_.ReadStr("General", "key", "def"), "def");
}

TEST_F(IniEditorTest, DuplicatesUseTheFirstSectionAndKey) {
  Put("[A]\nk=1\nk=2\n[a]\nk=3\nonly=second\n");
  EXPECT_EQ(ini_.ReadStr("A", "k", ""), "1");
  EXPECT_EQ(ini_.ReadStr("A", "only", "none"), "none");
  ini_.WriteStr("a", "K", "9");
  EXPECT_EQ(Get(), "[A]\nk=9\nk=2\n[a]\nk=3\nonly=second\n");
  ini_.EraseEntry("A", "k");
  EXPECT_EQ(Get(), "[A]\n[a]\nk=3\nonly=second\n");
  ini_.EraseSection("A");
  EXPECT_EQ(Get(), "");
  EXPECT_EQ(ini_.ReadStr("A", "k", "def"), "def");
}

TEST_F(IniEditorTest, WritesCreateTheFileAndAppendSections) {
  ini_.WriteStr("General", "Zip", "N");
  EXPECT_EQ(Get(), "[General]\r\nZip=N\r\n");
  ini_.WriteStr("General", "Busqueda", "disco");
  ini_.WriteStr("Posicion", "Flags", "0");
  EXPECT_EQ(Get(), "[General]\r\nZip=N\r\nBusqueda=disco\r\n\r\n[Posicion]\r\nFlags=0\r\n");
}

TEST_F(IniEditorTest, WritesKeepOtherLinesByteForByte) {
  Put("; settings\n[General]\n  zip = S \n# other\n\n\n[Drives]\r\nD=/media/cdrom\r\n");
  ini_.WriteStr("GENERAL", "Zip", "N");
  ini_.WriteStr("General", "Indice", "Album");
  ini_.WriteStr("Drives", "E", "/mnt");
  EXPECT_EQ(Get(),
            "; settings\n[General]\nzip=N\n# other\nIndice=Album\r\n\n\n"
            "[Drives]\r\nD=/media/cdrom\r\nE=/mnt\r\n");
}

TEST_F(IniEditorTest, WritesAfterAnUnterminatedLastLine) {
  Put("[General]\nZip=S");
  ini_.WriteStr("General", "Lenguaje", "Ingles.Len");
  EXPECT_EQ(Get(), "[General]\nZip=S\r\nLenguaje=Ingles.Len\r\n");
  Put("[General]\nZip=S");
  ini_.WriteStr("Other", "k", "v");
  EXPECT_EQ(Get(), "[General]\nZip=S\r\n\r\n[Other]\r\nk=v\r\n");
}

TEST_F(IniEditorTest, EmptyValueOrKeyDeletes) {
  Put("[General]\r\nBusqueda=disco\r\nZip=S\r\n\r\n[Old]\r\n; "
      "note\r\nx=1\r\n\r\n[Last]\r\ny=2\r\n");
  ini_.WriteStr("General", "Busqueda", "");
  EXPECT_EQ(ini_.ReadStr("General", "Busqueda", "def"), "def");
  ini_.WriteStr("Old", "", "");
  EXPECT_EQ(Get(), "[General]\r\nZip=S\r\n\r\n[Last]\r\ny=2\r\n");

  ini_.SetFileName("Fresh");
  ini_.EraseEntry("General", "Zip");
  ini_.EraseSection("General");
  EXPECT_FALSE(fs::exists(folder_ / "Fresh.INI"));
}

TEST_F(IniEditorTest, OddBytesAndLongLinesSurvive) {
  const std::string binary("\x01\xff\x00\xe9", 4);
  const std::string long_line(3 << 20, 'x');
  Put("[General]\r\nBin=" + binary + "\r\nLong=" + long_line + "\r\n" + long_line + "\nNext=ok\n");
  EXPECT_EQ(ini_.ReadStr("General", "Bin", ""), binary);
  EXPECT_EQ(ini_.ReadStr("General", "Long", ""), long_line.substr(0, 255));
  EXPECT_EQ(ini_.ReadStr("General", "Next", ""), "ok");
  ini_.WriteStr("General", "Next", "Tama\xf1o");
  EXPECT_EQ(Get(), "[General]\r\nBin=" + binary + "\r\nLong=" + long_line + "\r\n" + long_line +
                       "\nNext=Tama\xf1o\n");
}

TEST_F(IniEditorTest, TextsAreCutTo255Bytes) {
  const std::string key(300, 'k');
  const std::string value(300, 'v');
  ini_.WriteStr(std::string(300, 's'), key, value);
  EXPECT_EQ(Get(), "[" + std::string(255, 's') + "]\r\n" + std::string(255, 'k') + "=" +
                       std::string(255, 'v') + "\r\n");
  EXPECT_EQ(ini_.ReadStr(std::string(255, 's'), key, ""), std::string(255, 'v'));
  EXPECT_EQ(ini_.ReadStr("none", "k", value), std::string(255, 'v'));
}

TEST_F(IniEditorTest, LineBreaksCannotInjectEntries) {
  ini_.WriteStr("General", "Busqueda", "a\r\n[Drives]\r\nD=/");
  EXPECT_EQ(ini_.ReadStr("Drives", "D", "none"), "none");
  EXPECT_EQ(ini_.ReadStr("General", "Busqueda", ""), "a  [Drives]  D=/");
}

TEST_F(IniEditorTest, FailedWritesAreLost) {
  ini_.SetFileName("missing/Opcion");
  ini_.WriteStr("General", "Zip", "S");
  EXPECT_EQ(ini_.ReadStr("General", "Zip", "N"), "N");

  ini_.SetFileName("Opcion");
  Put("[General]\nZip=S\n");
  fs::permissions(File(), fs::perms::owner_read);
  ini_.WriteStr("General", "Zip", "N");
  EXPECT_EQ(Get(), "[General]\nZip=S\n");
  fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(IniEditorTest, FileNamesMatchRegardlessOfCase) {
  std::ofstream(folder_ / "opcion.ini", std::ios::binary) << "[General]\nZip=S\n";
  EXPECT_EQ(ini_.ReadStr("General", "Zip", "N"), "S");
  ini_.WriteStr("General", "Zip", "N");
  EXPECT_FALSE(fs::exists(File()));
  EXPECT_EQ(ini_.ReadStr("General", "Zip", ""), "N");
}

TEST_F(IniEditorTest, WritesGoThroughSymbolicLinks) {
  std::ofstream(folder_ / "real.ini", std::ios::binary) << "[General]\nZip=S\n";
  fs::create_symlink(folder_ / "real.ini", File());
  ini_.WriteStr("General", "Zip", "N");
  EXPECT_TRUE(fs::is_symlink(File()));
  EXPECT_EQ(ini_.ReadStr("General", "Zip", ""), "N");
}

TEST_F(IniEditorTest, BoolsAndChars) {
  Put("[B]\na=yEs\nb=TRUE\nc=1\nd=Y\ne=2\nf=on\ng=\n");
  for (const char* key : {"a", "b", "c"}) EXPECT_TRUE(ini_.ReadBool("B", key, false)) << key;
  for (const char* key : {"d", "e", "f", "g"}) EXPECT_FALSE(ini_.ReadBool("B", key, true)) << key;
  EXPECT_TRUE(ini_.ReadBool("B", "missing", true));
  EXPECT_EQ(ini_.ReadChar("B", "a", '?'), 'y');
  EXPECT_EQ(ini_.ReadChar("B", "g", '?'), '?');
  EXPECT_EQ(ini_.ReadChar("B", "missing", '?'), '?');

  ini_.WriteBool("W", "t", true);
  ini_.WriteBool("W", "f", false);
  ini_.WriteChar("W", "c", 'S');
  EXPECT_EQ(ini_.ReadStr("W", "t", ""), "True");
  EXPECT_EQ(ini_.ReadStr("W", "f", ""), "False");
  EXPECT_EQ(ini_.ReadStr("W", "c", ""), "S");
}

TEST_F(IniEditorTest, NumbersParseStrictly) {
  Put("[N]\nletters=12abc\nneg=-7.5\npos=3.9\ncomma= 1,5 \nexp=-2.5E3\nplus=+4\n"
      "half=-.5\ndot=.\nbadexp=1e\nhuge=1e999\nbig=9223372036854775807\nover=1e19\n");
  EXPECT_EQ(ini_.ReadInt("N", "letters", 11), 11);
  EXPECT_EQ(ini_.ReadInt("N", "neg", 0), -7);
  EXPECT_EQ(ini_.ReadInt("N", "pos", 0), 3);
  EXPECT_EQ(ini_.ReadInt("N", "exp", 0), -2500);
  EXPECT_EQ(ini_.ReadInt("N", "half", 9), 0);
  EXPECT_EQ(ini_.ReadInt("N", "big", 0), 9223372036854775807L);
  EXPECT_EQ(ini_.ReadInt("N", "over", 5), 5);
  EXPECT_EQ(ini_.ReadInt("N", "missing", 42), 42);
  EXPECT_DOUBLE_EQ(ini_.ReadReal("N", "comma", 0), 1.5);
  EXPECT_DOUBLE_EQ(ini_.ReadReal("N", "exp", 0), -2500);
  EXPECT_DOUBLE_EQ(ini_.ReadReal("N", "plus", 0), 4);
  for (const char* key : {"letters", "dot", "badexp", "huge"}) {
    EXPECT_DOUBLE_EQ(ini_.ReadReal("N", key, 0.25), 0.25) << key;
  }
}

TEST_F(IniEditorTest, NumbersWriteInGeneralFormat) {
  const std::pair<double, const char*> cases[] = {
      {0.1, "0.1"}, {100, "100"}, {1.0 / 3, "0.333333333333333"}, {-2.5, "-2.5"}, {1e20, "1e+20"}};
  for (const auto& [value, text] : cases) {
    ini_.WriteReal("R", "x", value);
    EXPECT_EQ(ini_.ReadStr("R", "x", ""), text);
  }
  ini_.WriteInt("R", "i", -123);
  EXPECT_EQ(ini_.ReadStr("R", "i", ""), "-123");
}

}  // namespace
}  // namespace zafirel
