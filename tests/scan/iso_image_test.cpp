// Disc images walked without mounting: images made by genisoimage from one
// folder give the walker's own lines over that folder (Joliet and Rock Ridge
// names), plain ISO 9660 names, the volume's facts, descriptions of archives
// inside, and damaged or looping directories that end the walk safely.
#include "scan/iso_image.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>

#include "scan/disk_info.h"
#include "scan/drive_map.h"
#include "scan/find_file.h"
#include "scan/volume_reader.h"
#include "scan/zip_description.h"
#include "test_support.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WriteBytes;

bool HaveGenisoimage() { return ::access("/usr/bin/genisoimage", X_OK) == 0; }

class IsoImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveGenisoimage()) GTEST_SKIP() << "genisoimage is not installed";
    source_ = folder_ / "fuente";
    for (const char* sub : {"Docs/Sub", "beta", "Alpha"}) fs::create_directories(source_ / sub);
    WriteBytes(source_ / "Leeme.txt", "hola");
    WriteBytes(source_ / "zeta.TXT", std::string(3000, 'z'));
    WriteBytes(source_ / "Docs" / "Un nombre largo de archivo.txt", "y");
    WriteBytes(source_ / "Docs" / "Sub" / "c.bin", std::string(2049, 'c'));
    WriteBytes(source_ / "beta" / "r.dat", "r");
    int error = 0;
    zip_t* zip = zip_open((source_ / "Alpha" / "PACK.ZIP").c_str(), ZIP_CREATE, &error);
    ASSERT_NE(zip, nullptr);
    static const char kText[] = "Un juego\r\nde cartas";
    zip_file_add(zip, "FILE_ID.DIZ", zip_source_buffer(zip, kText, sizeof kText - 1, 0), 0);
    ASSERT_EQ(zip_close(zip), 0);
  }
  fs::path Make(const std::string& options) {
    const fs::path image = folder_ / "disco.iso";
    const std::string command = "genisoimage -quiet " + options + " -V MI_DISCO -o '" +
                                image.string() + "' '" + source_.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return image;
  }
  // "F folder" and "  path size date" lines, as the walker reports them.
  std::vector<std::string> Walk(const fs::path& drive) {
    DriveMap drives;
    drives.Map('D', drive);
    TFindFile walker(drives);
    walker.Archives = archives_;
    walker.SetLocation("D:\\");
    std::vector<std::string> events;
    walker.OnNewFolder = [&](TFindFile&, const std::string& folder, bool&) {
      events.push_back("F " + folder);
    };
    walker.OnFound = [&](TFindFile& w, const std::string& folder, FileInfo& info) {
      char date[16];
      std::strftime(date, sizeof date, "%Y%m%d%H%M%S", &info.modified);
      events.push_back("  " + folder + info.name + " " + std::to_string(info.size) + " " + date);
      if (info.name == "PACK.ZIP") {
        description_ =
            w.ImageFile().empty()
                ? ReadZipDescription(w.CurrentHostFolder() / info.hostName, folder_.Path())
                : ReadZipDescription(w.ImageFile(), info.imageOffset.value_or(0), info.size,
                                     folder_.Path());
      }
    };
    walker.Execute();
    return events;
  }

  testing::TempFolder folder_;
  fs::path source_;
  ZipDescription description_;
  bool archives_ = false;
};

// Joliet names (as Windows reads the disc) or Rock Ridge names, also on the
// ISO 9660 side of a UDF bridge image: the image gives exactly what walking
// the folder it was made from gives.
TEST_F(IsoImageTest, JolietAndRockRidgeImagesWalkAsTheirFolder) {
  const std::vector<std::string> folder = Walk(source_);
  ASSERT_EQ(description_.text, "Un juego de cartas");
  for (const char* options : {"-J -R", "-J", "-R", "-udf -J"}) {
    description_ = {};
    EXPECT_EQ(Walk(Make(options)), folder) << options;
    EXPECT_EQ(description_.text, "Un juego de cartas") << options;
    fs::remove(folder_ / "disco.iso");
  }
  // Archives inside, walked as folders of their members, read in place.
  archives_ = true;
  const std::vector<std::string> withMembers = Walk(source_);
  EXPECT_EQ(withMembers.size(), folder.size() + 2);  // PACK.ZIP's folder and its member
  EXPECT_EQ(Walk(Make("-J -R")), withMembers);
}

TEST_F(IsoImageTest, PlainIsoNamesLoseTheirVersion) {
  const std::vector<std::string> events = Walk(Make(""));
  ASSERT_EQ(events.size(), 11u);
  EXPECT_EQ(events[0], "F D:\\");
  EXPECT_EQ(events[1].substr(0, 17), "  D:\\LEEME.TXT 4 ");
  EXPECT_EQ(events[8].substr(0, 24), "  D:\\DOCS\\UN_NOMBR.TXT 1");
}

TEST_F(IsoImageTest, TheVolumeFactsComeFromTheDescriptors) {
  const fs::path image = Make("-J -R");
  DriveMap drives;
  drives.Map('D', image);
  TDiskInfo info(drives);
  info.SetDrive("D");
  ASSERT_EQ(info.Drive(), "D");
  EXPECT_EQ(info.VolumeName(), "MI_DISCO");
  EXPECT_EQ(info.FileSystemType(), "CDFS");
  EXPECT_EQ(info.DriveType(), "CDROM");
  EXPECT_EQ(info.SerialNumber(),
            SerialText(ReadIsoVolume(ReadVolumeStart(image, 0, kVolumeStartSize))->serial));
  EXPECT_EQ(info.TotalDiskSpace(), MegabytesText(IsoImage::Open(image)->VolumeBytes()));
  EXPECT_EQ(IsoImage::Open(image)->VolumeBytes(), fs::file_size(image));

  // A file that is no image is no drive, and walking it is refused.
  WriteBytes(folder_ / "nada.iso", std::string(40000, 'x'));
  EXPECT_FALSE(IsoImage::Open(folder_ / "nada.iso"));
  drives.Map('E', folder_ / "nada.iso");
  TFindFile walker(drives);
  EXPECT_THROW(walker.SetLocation("E:\\"), EFindFileError);
}

// A folder record pointing back at the root, and records cut or zeroed: the
// walk ends, listing what it could.
TEST_F(IsoImageTest, LoopsAndDamageEndTheWalkSafely) {
  const fs::path image = Make("");
  const std::optional<IsoImage> opened = IsoImage::Open(image);
  ASSERT_TRUE(opened);
  std::string bytes = ReadBytes(image);
  const std::size_t root = opened->Root().offset;
  const std::size_t alpha = bytes.find("ALPHA", root);  // its record in the root folder
  ASSERT_NE(alpha, std::string::npos);
  const std::size_t record = alpha - 33;
  const std::uint32_t rootBlock = static_cast<std::uint32_t>(root / 2048);
  for (int i = 0; i < 4; ++i) {
    bytes[record + 2 + i] = static_cast<char>(rootBlock >> (8 * i));  // little-endian
    bytes[record + 9 - i] = static_cast<char>(rootBlock >> (8 * i));  // big-endian
  }
  WriteBytes(image, bytes);
  const std::vector<std::string> looped = Walk(image);
  // The root is not entered a second time; the rest is listed once.
  EXPECT_EQ(std::count(looped.begin(), looped.end(), "F D:\\ALPHA\\"), 0);
  EXPECT_EQ(std::count(looped.begin(), looped.end(), "F D:\\DOCS\\SUB\\"), 1);
  EXPECT_EQ(looped.size(), 9u);

  // Record lengths that overrun their folder, then a zeroed folder.
  bytes[record] = static_cast<char>(250);
  WriteBytes(image, bytes);
  EXPECT_FALSE(Walk(image).empty());
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(root),
            bytes.begin() + static_cast<std::ptrdiff_t>(root + 2048), '\0');
  WriteBytes(image, bytes);
  EXPECT_EQ(Walk(image), std::vector<std::string>{"F D:\\"});

  // A folder claiming 4 GB of records: no more than the file holds is read.
  bytes = ReadBytes(Make(""));
  for (int i = 0; i < 8; ++i) bytes[record + 10 + i] = '\xFF';
  WriteBytes(image, bytes);
  EXPECT_GE(Walk(image).size(), 4u);
}

}  // namespace
}  // namespace zafirel
