// Building the ten index files of a disc table: the bytes written are fixed
// (the same table always gives the same files, whatever memory the build
// may use), and the build reports its progress and can be stopped.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "store/dbf/attached_index.h"
#include "store/index_files.h"
#include "store/tablas.h"
#include "test_support.h"

namespace zafirel {
namespace {
namespace fs = std::filesystem;
using testing::TempFolder;

// The file's bytes with the two dates of its headers blanked.
std::uint64_t Fingerprint(std::string bytes) {
  for (std::size_t at : {1, 2, 3, 44, 45, 46})
    if (at < bytes.size()) bytes[at] = 0;
  std::uint64_t hash = 1469598103934665603ULL;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ULL;
  return hash;
}

// Titles with long shared beginnings, case variants, accented letters,
// bytes below the blank and empty ones; albums differing in case; sizes and
// counts that are not numbers; every seventh record deleted.
void SeedTable(dbf::Table& table, int discs) {
  static const char* const kAlbums[] = {"Rock", "ROCK", "", "Jazz \x01", "Cl\xE1sica", "Mapas"};
  for (int i = 1; i <= discs; ++i) {
    table.Append();
    std::string title = i % 5 == 0 ? "Una coleccion muy larga de discos " : "Disco ";
    title += std::to_string((i * 7919) % (discs / 3 + 1));
    if (i % 11 == 0) title += "\x01";
    if (i % 13 == 0)
      title =
          "\xF1"
          "and\xFA " +
          title;
    if (i % 17 == 0) title.clear();
    table.SetString("TITULOCD", title);
    table.SetString("BYTESCD", i % 9 == 0 ? "74 MB" : std::to_string(100 + i * 37 % 20000) + " MB");
    table.SetString("AUTO", std::to_string(i));
    table.SetString("TOTFILES", i % 10 == 0 ? "x" : std::to_string(i * 13 % 5000));
    table.SetString("ETIQUETA", "ETQ" + std::to_string(i % 97));
    table.SetString("NSERIECD", std::to_string(90000000 - i));
    table.SetString("NUMEROCD", i % 8 == 0 ? "A" + std::to_string(i) : std::to_string(i % 400));
    table.SetString("ALBUM", kAlbums[i % 6]);
    table.Post();
    if (i % 7 == 0) table.Delete();
  }
}

// The fingerprints of the ten files built from SeedTable(3000), in their
// fixed order.
constexpr std::uint64_t kExpected[] = {
    0xcb00043e8a0a47a9ULL, 0x42efa17ac11c3814ULL, 0x6eda266b5a2c45eeULL, 0x0dd82c3e6ee69473ULL,
    0x76c77e26495ebf8fULL, 0x59140779175db5e3ULL, 0x33049042c54b49ceULL, 0x4bc0e5f42ca2e8daULL,
    0x8169148484ffb5edULL, 0x9f4b9ff6dfdf551eULL};

class IndexBuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TTablas::CreateDiscTable(folder.Path()));
    table.SetFolder(folder.Path());
    table.SetTableName(TTablas::kDiscTableName);
    table.Open();
    SeedTable(table, 3000);
  }
  std::vector<dbf::IndexBuild> Builds(std::vector<std::string>* inMemory) {
    std::vector<dbf::IndexBuild> builds;
    for (std::size_t i = 0; i < kIndexFiles.size(); ++i)
      builds.push_back({folder / std::string(kIndexFiles[i].file), kIndexFiles[i].tag,
                        kIndexFiles[i].expression, kIndexFiles[i].unique,
                        inMemory ? &(*inMemory)[i] : nullptr});
    return builds;
  }
  TempFolder folder;
  dbf::Table table{true};
};

TEST_F(IndexBuildTest, TheFilesWrittenForATableAreFixed) {
  for (const bool inMemory : {false, true}) {
    SCOPED_TRACE(inMemory ? "in memory" : "on disc");
    std::vector<std::string> bytes(kIndexFiles.size());
    for (const std::exception_ptr& failure :
         dbf::BuildIndexFiles(table, Builds(inMemory ? &bytes : nullptr)))
      EXPECT_FALSE(failure);
    for (std::size_t i = 0; i < kIndexFiles.size(); ++i) {
      if (!inMemory) bytes[i] = testing::ReadBytes(folder / std::string(kIndexFiles[i].file));
      EXPECT_EQ(Fingerprint(bytes[i]), kExpected[i]) << kIndexFiles[i].file;
    }
  }
}

// The progress rises to its total; stopped after the first file, the build
// leaves every later file as it was.
TEST_F(IndexBuildTest, ProgressRunsToItsTotalAndStopsWhenAsked) {
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stopped" : "whole");
    for (const IndexFile& index : kIndexFiles)
      testing::WriteBytes(folder / std::string(index.file), "old");
    std::uint64_t last = 0, total = 0;
    int files = 0;
    const auto failures = dbf::BuildIndexFiles(
        table, Builds(nullptr), [&] { ++files; },
        [&](std::uint64_t done, std::uint64_t all) {
          EXPECT_GE(done, last);
          last = done;
          total = all;
          return !stop || files == 0;
        });
    EXPECT_EQ(total, std::uint64_t{table.StoredRecordCount()} * kIndexFiles.size());
    EXPECT_EQ(last, stop ? total / kIndexFiles.size() : total);
    for (std::size_t i = 0; i < kIndexFiles.size(); ++i) {
      const bool written = !stop || i == 0;
      EXPECT_EQ(failures[i] == nullptr, written) << kIndexFiles[i].file;
      EXPECT_EQ(testing::ReadBytes(folder / std::string(kIndexFiles[i].file)) == "old", !written);
    }
  }
}

}  // namespace
}  // namespace zafirel
