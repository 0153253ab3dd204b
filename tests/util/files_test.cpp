#include "util/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "test_support.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  fs::path Write(const std::string& name, const std::string& bytes) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static std::string Bytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
  }

  testing::TempFolder temp_;
  const fs::path dir_ = temp_.Path();
};

TEST(NombreSinExtension, DropsFoldersAndTheLastExtension) {
  EXPECT_EQ(NombreSinExtension("CDROM.DBF"), "CDROM");
  EXPECT_EQ(NombreSinExtension("D:\\DATOS\\CDROM.Dbf"), "CDROM");
  EXPECT_EQ(NombreSinExtension("/home/u/datos/Caratulas.dbf"), "Caratulas");
  EXPECT_EQ(NombreSinExtension("D:\\A.B\\archivo.tar.gz"), "archivo.tar");
  EXPECT_EQ(NombreSinExtension("D:\\A.B\\SINEXT"), "SINEXT");
  EXPECT_EQ(NombreSinExtension("D:\\DOCS\\"), "");
  EXPECT_EQ(NombreSinExtension(""), "");
}

TEST_F(FilesTest, FileSizeIsZeroForMissingFilesAndFolders) {
  EXPECT_EQ(FileSizeByName(Write("a.bin", Bytes(1025))), 1025u);
  EXPECT_EQ(FileSizeByName(Write("empty", "")), 0u);
  EXPECT_EQ(FileSizeByName(dir_ / "missing"), 0u);
  EXPECT_EQ(FileSizeByName(dir_), 0u);
}

TEST_F(FilesTest, CopyHandlesEmptyExactAndPartialBlocks) {
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{16384}, std::size_t{32768}, std::size_t{40000}}) {
    const std::string bytes = Bytes(size);
    const fs::path source = Write("source", bytes);
    const fs::path target = dir_ / "target";
    ASSERT_TRUE(CopiaArchivo(source, target)) << size;
    EXPECT_EQ(Read(target), bytes) << size;
  }
}

TEST_F(FilesTest, CopyReplacesALongerTargetAndTakesTheSourceDate) {
  const fs::path source = Write("CDROM.DBF", "new");
  const fs::path target = Write("CDROMCreada.DBF", std::string(50000, 'x'));
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(source, old);

  ASSERT_TRUE(CopiaArchivo(source, target));
  EXPECT_EQ(Read(target), "new");
  EXPECT_EQ(fs::last_write_time(target), fs::last_write_time(source));
}

TEST_F(FilesTest, CopyFailsWithoutSourceOrTargetFolder) {
  const fs::path target = dir_ / "target";
  EXPECT_FALSE(CopiaArchivo(dir_ / "missing", target));
  EXPECT_FALSE(fs::exists(target));

  const fs::path source = Write("source", "data");
  EXPECT_FALSE(CopiaArchivo(source, dir_ / "no-such-folder" / "target"));
  EXPECT_EQ(Read(source), "data");
}

TEST_F(FilesTest, CopyOntoItselfKeepsTheData) {
  const fs::path source = Write("same", "precious");
  EXPECT_FALSE(CopiaArchivo(source, source));
  EXPECT_FALSE(CopiaArchivo(source, dir_ / "." / "same"));
  EXPECT_EQ(Read(source), "precious");
}

}  // namespace
}  // namespace zafirel
