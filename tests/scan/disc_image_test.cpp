// Disc images walked without mounting: images made by genisoimage from one
// folder give the walker's own lines over that folder (Joliet and Rock Ridge
// names, and UDF), plain ISO 9660 names, the volume's facts, descriptions of
// archives inside, and damaged or looping directories that end the walk
// safely. Empty UDF volumes of every revision come from mkudffs.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>

#include "scan/disk_info.h"
#include "scan/drive_map.h"
#include "scan/find_file.h"
#include "scan/iso_image.h"
#include "scan/udf_image.h"
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
  const std::unique_ptr<IsoImage> opened = IsoImage::Open(image);
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

// The image with its ISO 9660 descriptors taken out of the recognition
// sequence: a UDF volume alone, as on Blu-ray and many DVD images.
std::string UdfOnly(std::string bytes) {
  std::vector<std::string> kept;
  for (std::size_t at = 16 * 2048; at + 2048 <= bytes.size(); at += 2048) {
    const std::string id = bytes.substr(at + 1, 5);
    if (id != "CD001") kept.push_back(bytes.substr(at, 2048));
    if (id == "TEA01" || id.find_first_not_of('\0') == std::string::npos) {
      std::fill(bytes.begin() + 16 * 2048, bytes.begin() + static_cast<std::ptrdiff_t>(at + 2048),
                '\0');
      break;
    }
  }
  for (std::size_t i = 0; i < kept.size(); ++i) bytes.replace((16 + i) * 2048, 2048, kept[i]);
  return bytes;
}

// UDF read as Windows reads a disc that has it (the hybrid image's UDF side,
// and an image with UDF alone) walks exactly as the folder it was made from.
TEST_F(IsoImageTest, UdfImagesWalkAsTheirFolder) {
  const std::vector<std::string> folder = Walk(source_);
  const fs::path hybrid = Make("-udf -J -R");
  ASSERT_TRUE(UdfImage::Open(hybrid));
  EXPECT_STREQ(DiscImage::Open(hybrid)->FileSystem(), "UDF");
  EXPECT_EQ(Walk(hybrid), folder);
  const fs::path alone = folder_ / "solo.udf";
  WriteBytes(alone, UdfOnly(ReadBytes(hybrid)));
  ASSERT_FALSE(IsoImage::Open(alone));
  description_ = {};
  EXPECT_EQ(Walk(alone), folder);
  EXPECT_EQ(description_.text, "Un juego de cartas");
  archives_ = true;
  EXPECT_EQ(Walk(alone), Walk(source_));

  DriveMap drives;
  drives.Map('D', alone);
  TDiskInfo info(drives);
  info.SetDrive("D");
  EXPECT_EQ(info.VolumeName(), "MI_DISCO");
  EXPECT_EQ(info.FileSystemType(), "UDF");
  EXPECT_EQ(info.DriveType(), "CDROM");

  // A folder's identifier pointing back at the root, then a zeroed root: the
  // walk ends, listing what it could.
  std::string bytes = ReadBytes(alone);
  const std::unique_ptr<UdfImage> image = UdfImage::Open(alone);
  const std::size_t alpha =
      bytes.find(std::string("\x08"
                             "Alpha",
                             6));
  ASSERT_NE(alpha, std::string::npos);
  const std::size_t id = alpha - 38;  // no implementation use before genisoimage's names
  const std::uint32_t rootBlock = static_cast<std::uint32_t>(image->Root().node);
  for (int i = 0; i < 4; ++i) bytes[id + 24 + i] = static_cast<char>(rootBlock >> (8 * i));
  unsigned char sum = 0;  // the tag's checksum, so that the record still reads
  for (int i = 0; i < 16; ++i)
    if (i != 4) sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(bytes[id + i]));
  bytes[id + 4] = static_cast<char>(sum);
  WriteBytes(alone, bytes);
  archives_ = false;
  const std::vector<std::string> looped = Walk(alone);
  EXPECT_EQ(std::count(looped.begin(), looped.end(), "F D:\\Alpha\\"), 0);
  EXPECT_EQ(std::count(looped.begin(), looped.end(), "F D:\\Docs\\Sub\\"), 1);
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(image->Root().offset),
            bytes.begin() + static_cast<std::ptrdiff_t>(image->Root().offset + 2048), '\0');
  WriteBytes(alone, bytes);
  EXPECT_FALSE(DiscImage::Open(alone));
}

// Little-endian numbers and descriptor tags written into an image.
void Put(std::string& bytes, std::size_t at, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}
std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}
void Tag(std::string& bytes, std::size_t at, std::uint16_t id, std::uint32_t location) {
  Put(bytes, at, id, 2);
  Put(bytes, at + 2, 2, 2);
  Put(bytes, at + 12, location, 4);
  unsigned char sum = 0;
  for (int i = 0; i < 16; ++i)
    if (i != 4) sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(bytes[at + i]));
  bytes[at + 4] = static_cast<char>(sum);
}

// A UDF 2.50 metadata partition laid over the image's partition: every
// address goes through the metadata file (two extents; the main file
// unreadable, so its mirror serves), and the walk is the folder's.
TEST_F(IsoImageTest, AMetadataPartitionLeadsToTheSameFiles) {
  std::string bytes = UdfOnly(ReadBytes(Make("-udf")));
  const std::size_t sequence = Get32(bytes, 256 * 2048 + 20) * std::size_t{2048};
  std::size_t logical = 0, partition = 0;
  for (std::size_t at = sequence; at < sequence + 16 * 2048; at += 2048) {
    if (bytes[at] == 6) logical = at;
    if (bytes[at] == 5) partition = at;
  }
  ASSERT_TRUE(logical && partition);
  const std::uint32_t start = Get32(bytes, partition + 188), length = Get32(bytes, partition + 192);
  const std::uint16_t number = static_cast<std::uint16_t>(Get32(bytes, partition + 22));
  // The mirror's entry in the partition's last free block.
  std::uint32_t mirror = length;
  while (mirror > 0 &&
         bytes.substr((start + mirror - 1) * std::size_t{2048}, 2048) != std::string(2048, '\0'))
    --mirror;
  ASSERT_GT(mirror--, 0u);
  const std::size_t entry = (start + mirror) * std::size_t{2048};
  bytes[entry + 27] = static_cast<char>(251);  // the metadata mirror file
  Put(bytes, entry + 56, std::uint64_t{length} * 2048, 8);
  Put(bytes, entry + 172, 16, 4);  // two short allocation descriptors
  const std::uint32_t split = length / 3;
  Put(bytes, entry + 176, split * 2048, 4);
  Put(bytes, entry + 180, 0, 4);
  Put(bytes, entry + 184, (length - split) * 2048, 4);
  Put(bytes, entry + 188, split, 4);
  Tag(bytes, entry, 261, mirror);
  // Map 0 becomes the metadata partition, the physical one map 1.
  std::string maps(70, '\0');
  maps[0] = 2;
  maps[1] = 64;
  maps.replace(5, 23, "*UDF Metadata Partition");
  Put(maps, 36, 1, 2);
  Put(maps, 38, number, 2);
  Put(maps, 40, 0, 4);  // the main file's entry: block 0 holds none
  Put(maps, 44, mirror, 4);
  Put(maps, 48, 0xFFFFFFFF, 4);
  maps[64] = 1;
  maps[65] = 6;
  Put(maps, 66, 1, 2);
  Put(maps, 68, number, 2);
  bytes.replace(logical + 440, maps.size(), maps);
  Put(bytes, logical + 264, maps.size(), 4);
  Put(bytes, logical + 268, 2, 4);
  const fs::path image = folder_ / "metadatos.udf";
  WriteBytes(image, bytes);
  ASSERT_TRUE(UdfImage::Open(image));
  EXPECT_EQ(Walk(image), Walk(source_));
}

// A DVD in its drive is the disc its image is: the same UDF serial and label
// (the duplicate test knows them as one), although the disc has ISO 9660 too.
TEST_F(IsoImageTest, AMountedUdfDiscIsTheDiscItsImageIs) {
  const fs::path image = Make("-udf -J");
  const fs::path root = folder_ / "montado";
  fs::create_directory(root);
  const std::string mount =
      "mount -t udf -o loop,ro '" + image.string() + "' '" + root.string() + "' >/dev/null 2>&1";
  if (std::system(mount.c_str()) != 0)
    GTEST_SKIP() << "a UDF image cannot be mounted here (needs root and the kernel's udf)";
  DriveMap drives;
  drives.Map('D', root);
  drives.Map('E', image);
  TDiskInfo disc(drives), file(drives);
  disc.SetDrive("D");
  file.SetDrive("E");
  const std::string label = disc.VolumeName(), serial = disc.SerialNumber();
  std::system(("umount '" + root.string() + "'").c_str());
  EXPECT_EQ(label, file.VolumeName());
  EXPECT_EQ(serial, file.SerialNumber());
  EXPECT_EQ(file.FileSystemType(), "UDF");
}

bool HaveMkudffs() { return ::access("/usr/sbin/mkudffs", X_OK) == 0; }

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

// Every revision and kind mkudffs writes (physical partitions in blocks of
// 512 and 2048 bytes; write-once discs with a virtual allocation table and a
// metadata partition): the label, the serial udfinfo says Windows gives, and
// the empty root.
TEST(UdfImageTest, EveryRevisionGivesItsLabelSerialAndRoot) {
  if (!HaveMkudffs()) GTEST_SKIP() << "mkudffs (udftools) is not installed";
  testing::TempFolder folder;
  for (const char* options :
       {"-m hd -b 512 -r 1.02", "-m hd -r 2.01", "-m dvdr -r 2.50", "-m bdr -r 2.60 --closed"}) {
    const fs::path image = folder / "vacio.udf";
    fs::remove(image);
    const std::string made = Output("mkudffs --utf8 --new-file --label='M\xC3\xBAsica' " +
                                    std::string(options) + " '" + image.string() + "' 4000 2>&1");
    const std::unique_ptr<DiscImage> opened = DiscImage::Open(image);
    ASSERT_TRUE(opened) << options << "\n" << made;
    EXPECT_EQ(opened->Label(), "M\xFAsica") << options;
    const std::string info = Output("udfinfo '" + image.string() + "' 2>/dev/null");
    const std::size_t serial = info.find("winserialnum=0x");
    ASSERT_NE(serial, std::string::npos) << info;
    std::string windows = info.substr(serial + 15, 8);
    std::transform(windows.begin(), windows.end(), windows.begin(), ::toupper);
    EXPECT_EQ(SerialText(opened->Serial()), windows) << options;
    EXPECT_EQ(opened->List(opened->Root()).size(), 0u) << options;
    DriveMap drives;
    drives.Map('D', image);
    TFindFile walker(drives);
    walker.SetLocation("D:\\");
    int folders = 0;
    walker.OnNewFolder = [&](TFindFile&, const std::string&, bool&) { ++folders; };
    walker.Execute();
    EXPECT_EQ(folders, 1) << options;
  }
}

}  // namespace
}  // namespace zafirel
