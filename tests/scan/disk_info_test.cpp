// Drive information: serials and labels from boot sectors and ISO 9660
// descriptors built byte by byte, the text rules, the udev helpers, and
// TDiskInfo over temporary folders mapped to letters.
#include "scan/disk_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "scan/volume_reader.h"
#include "test_support.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

void Put(std::string& bytes, std::size_t at, std::initializer_list<int> values) {
  for (int v : values) bytes[at++] = static_cast<char>(v);
}

void Put(std::string& bytes, std::size_t at, std::string_view text) {
  bytes.replace(at, text.size(), text);
}

// A FAT boot sector as mkfs.vfat lays it out: 512-byte sectors, two FATs.
std::string FatSector(bool fat32, std::initializer_list<int> id, std::string_view label) {
  std::string s(512, '\0');
  Put(s, 0, {0xEB, fat32 ? 0x58 : 0x3C, 0x90});
  Put(s, 3, "mkfs.fat");
  Put(s, 0x0B, {0x00, 0x02, 0x04, 0x01, 0x00, 0x02});
  const std::size_t extended = fat32 ? 0x40 : 0x24;
  if (!fat32) Put(s, 0x16, {0x20, 0x00});
  s[extended + 2] = 0x29;
  Put(s, extended + 3, id);
  Put(s, extended + 7, label);
  Put(s, extended + 18, fat32 ? "FAT32   " : "FAT16   ");
  Put(s, 510, {0x55, 0xAA});
  return s;
}

std::string NamedSector(std::string_view name, std::size_t serialAt,
                        std::initializer_list<int> serial) {
  std::string s(512, '\0');
  Put(s, 0, {0xEB, 0x52, 0x90});
  Put(s, 3, name);
  Put(s, serialAt, serial);
  return s;
}

TEST(BootSectorTest, FatSerialsSitBehindTheirSignatures) {
  const std::string fat16 = FatSector(false, {0xCD, 0xAB, 0x34, 0x12}, "DATOS      ");
  EXPECT_EQ(BootSectorSerial(fat16), 0x1234ABCDu);
  EXPECT_EQ(BootSectorFileSystem(fat16), "FAT");

  std::string fat32 = FatSector(true, {0x78, 0x56, 0x34, 0x12}, "NO NAME    ");
  Put(fat32, 0x33, {0x11, 0x11, 0x11, 0x11});  // not where FAT32 keeps it
  Put(fat32, 0x27, {0x22, 0x22, 0x22, 0x22});
  EXPECT_EQ(BootSectorSerial(fat32), 0x12345678u);
  EXPECT_EQ(BootSectorFileSystem(fat32), "FAT32");

  std::string unsigned16 = fat16;
  unsigned16[0x26] = 0;  // DOS 3 sector: no extended boot record
  EXPECT_FALSE(BootSectorSerial(unsigned16));
  EXPECT_EQ(BootSectorFileSystem(unsigned16), "FAT");

  // Labels come along when IdentifyVolume reads a sector; "NO NAME" is none.
  EXPECT_EQ(IdentifyVolume(fat16)->label, "DATOS");
  EXPECT_EQ(IdentifyVolume(fat32)->label, "");
  EXPECT_EQ(IdentifyVolume(fat32)->kind, "FAT32");
}

TEST(BootSectorTest, ExFatAndNtfsNameThemselves) {
  const std::string exfat = NamedSector("EXFAT   ", 0x64, {0xEF, 0xBE, 0xAD, 0xDE});
  EXPECT_EQ(BootSectorSerial(exfat), 0xDEADBEEFu);
  EXPECT_EQ(BootSectorFileSystem(exfat), "exFAT");

  const std::string ntfs =
      NamedSector("NTFS    ", 0x48, {0xD7, 0x63, 0x78, 0x37, 0x9F, 0x9C, 0xD1, 0x1C});
  EXPECT_EQ(SerialText(*BootSectorSerial(ntfs)), "377863D7");
  EXPECT_EQ(BootSectorFileSystem(ntfs), "NTFS");
}

TEST(BootSectorTest, OtherSectorsGiveNothing) {
  const std::string zeros(512, '\0');
  EXPECT_FALSE(BootSectorSerial(zeros));
  EXPECT_EQ(BootSectorFileSystem(zeros), "");
  EXPECT_FALSE(IdentifyVolume(zeros));
  std::string oddSize = FatSector(false, {1, 2, 3, 4}, "X          ");
  Put(oddSize, 0x0B, {0x00, 0x03});  // 768-byte sectors do not exist
  EXPECT_FALSE(BootSectorSerial(oddSize));
  EXPECT_FALSE(BootSectorSerial(NamedSector("NTFS    ", 0x48, {1}).substr(0, 100)));
}

// ---- ISO 9660 ----

constexpr std::size_t kSector = 2048;

// The sums kept as plain totals and cut to a byte at the end.
std::uint32_t Checksum(std::string_view descriptor) {
  unsigned long totals[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < descriptor.size(); ++i)
    totals[i & 3] += static_cast<unsigned char>(descriptor[i]);
  return static_cast<std::uint32_t>((totals[0] & 0xFF) << 24 | (totals[1] & 0xFF) << 16 |
                                    (totals[2] & 0xFF) << 8 | (totals[3] & 0xFF));
}

std::string Descriptor(int type, std::string_view label, std::string_view escape = {}) {
  std::string d(kSector, '\0');
  d[0] = static_cast<char>(type);
  Put(d, 1, "CD001\x01");
  Put(d, 8, std::string(32, ' '));
  Put(d, 40, label);
  Put(d, 88, escape);
  Put(d, 813, "2024010112000000");  // some dates, so that the sums differ
  return d;
}

std::string Ucs2(std::initializer_list<unsigned> units) {
  std::string out;
  for (unsigned u : units) out += {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
  while (out.size() < 32) out += {'\0', ' '};
  return out;
}

std::string Image(std::initializer_list<std::string> descriptors) {
  std::string image(16 * kSector, '\0');
  for (const std::string& d : descriptors) image += d;
  return image;
}

TEST(IsoVolumeTest, DescriptorSumsWrapPerByteLane) {
  std::string d(kSector, '\0');
  Put(d, 0, {1, 2, 3, 4});
  EXPECT_EQ(SerialText(IsoDescriptorSerial(d)), "01020304");
  d.assign(kSector, '\0');
  Put(d, 0, {0x80, 5, 0, 0, 0x80});
  EXPECT_EQ(SerialText(IsoDescriptorSerial(d)), "00050000");
  const std::string label = Descriptor(1, "ALGO");
  EXPECT_EQ(IsoDescriptorSerial(label), Checksum(label));
}

TEST(IsoVolumeTest, PrimaryDescriptorAlone) {
  const std::string primary = Descriptor(1, "ZAFIREL_CD                      ");
  const std::optional<IsoVolume> volume = ReadIsoVolume(Image({primary, Descriptor(255, "")}));
  ASSERT_TRUE(volume);
  EXPECT_EQ(volume->serial, Checksum(primary));
  EXPECT_EQ(volume->label, "ZAFIREL_CD");

  const std::optional<VolumeId> id = IdentifyVolume(Image({primary, Descriptor(255, "")}));
  ASSERT_TRUE(id);
  EXPECT_EQ(id->kind, "CDFS");
  EXPECT_EQ(id->serial, Checksum(primary));
}

TEST(IsoVolumeTest, JolietDescriptorGivesSerialAndLabel) {
  const std::string primary = Descriptor(1, "MUSICA");
  const std::string boot = Descriptor(0, "");
  const std::string joliet =
      Descriptor(2, Ucs2({'M', 0xFA, 's', 'i', 'c', 'a', ' ', 0x20AC, 0x4E2D, 0, 0}), "%/E");
  const std::optional<IsoVolume> volume =
      ReadIsoVolume(Image({primary, boot, joliet, Descriptor(255, "")}));
  ASSERT_TRUE(volume);
  EXPECT_EQ(volume->serial, Checksum(joliet));
  EXPECT_NE(volume->serial, Checksum(primary));
  EXPECT_EQ(volume->label, "M\xFAsica \x80?");

  // A supplementary descriptor without the Joliet escape, or one after the
  // terminator, is not looked at.
  const std::string plain = Descriptor(2, "OTRO");
  EXPECT_EQ(ReadIsoVolume(Image({primary, plain, Descriptor(255, "")}))->label, "MUSICA");
  EXPECT_EQ(ReadIsoVolume(Image({primary, Descriptor(255, ""), joliet}))->label, "MUSICA");
}

TEST(IsoVolumeTest, ImagesWithoutDescriptorsGiveNothing) {
  EXPECT_FALSE(ReadIsoVolume(Image({})));
  EXPECT_FALSE(ReadIsoVolume(std::string(40 * kSector, '\0')));
  EXPECT_FALSE(ReadIsoVolume(Image({Descriptor(255, "")})));
  const std::string cut = Image({Descriptor(1, "CORTADO")});
  EXPECT_FALSE(ReadIsoVolume(cut.substr(0, cut.size() - 1)));
}

// ---- Linux superblocks, from images the file systems' own tools make ----

struct MadeVolume {
  const char* tool;
  const char* size;
  const char* arguments;  // label and UUID
  const char* kind;
  const char* label;  // ANSI
  std::uint32_t serial;

  std::string Tool() const { return std::string("/usr/sbin/") + tool; }
  bool Installed() const { return ::access(Tool().c_str(), X_OK) == 0; }
  // The volume made by its tool in a file of its size.
  bool MakeImage(const fs::path& image) const {
    const std::string command = "truncate -s " + std::string(size) + " '" + image.string() +
                                "' && " + Tool() + " " + arguments + " '" + image.string() +
                                "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }
};

class SuperblockTest : public ::testing::TestWithParam<MadeVolume> {};

TEST_P(SuperblockTest, LabelAndUuidComeFromTheVolumesOwnBytes) {
  const MadeVolume& volume = GetParam();
  if (!volume.Installed()) GTEST_SKIP() << volume.tool << " is not installed";
  testing::TempFolder folder;
  const fs::path image = folder / "volume.img";
  ASSERT_TRUE(volume.MakeImage(image));
  const std::optional<VolumeId> id = IdentifyVolume(ReadVolumeStart(image, 0, kVolumeStartSize));
  ASSERT_TRUE(id);
  EXPECT_EQ(id->kind, volume.kind);
  EXPECT_EQ(id->label, volume.label);
  EXPECT_EQ(id->serial, volume.serial);
  // A volume cut short, or zeroed, is none of them.
  EXPECT_FALSE(IdentifyVolume(std::string(kVolumeStartSize, '\0')));
  EXPECT_FALSE(IdentifyVolume(ReadVolumeStart(image, 0, 100)));
}

INSTANTIATE_TEST_SUITE_P(
    LinuxFileSystems, SuperblockTest,
    ::testing::Values(MadeVolume{"mkfs.ext2", "2M",
                                 "-q -F -L 'Fotos 2024' -U 1b2c3d4e-5f60-4172-8394-a5b6c7d8e9f0",
                                 "EXT2", "Fotos 2024", 0x1B2C3D4Eu},
                      MadeVolume{"mkfs.ext4", "8M",
                                 "-q -F -L Datos -U 00000001-5f60-4172-8394-a5b6c7d8e9f0", "EXT4",
                                 "Datos", 0x00000001u},
                      MadeVolume{"mkfs.xfs", "300M",
                                 "-q -f -L Copias -m uuid=a1b2c3d4-0000-4000-8000-000000000001",
                                 "XFS", "Copias", 0xA1B2C3D4u},
                      MadeVolume{"mkfs.btrfs", "120M",
                                 "-q -f -L 'M\xC3\xBAsica' -U c0ffee00-1234-4321-8765-0123456789ab",
                                 "BTRFS", "M\xFAsica", 0xC0FFEE00u}));

// NTFS and exFAT keep their labels past the first bytes: in the volume file
// of the master file table, and in the root folder.
class InsideLabelTest : public ::testing::TestWithParam<MadeVolume> {};

TEST_P(InsideLabelTest, LabelComesFromInsideTheVolume) {
  const MadeVolume& volume = GetParam();
  if (!volume.Installed()) GTEST_SKIP() << volume.tool << " is not installed";
  testing::TempFolder folder;
  const fs::path image = folder / "volume.img";
  ASSERT_TRUE(volume.MakeImage(image));
  const std::string start = ReadVolumeStart(image, 0, kVolumeStartSize);
  ASSERT_EQ(IdentifyVolume(start)->kind, volume.kind);
  EXPECT_EQ(VolumeLabelInside(image, 0, start), volume.label);
  // The same volume further into a file, as behind a partition's offset.
  const fs::path shifted = folder / "shifted.img";
  ASSERT_EQ(std::system(("dd if=/dev/zero of='" + shifted.string() +
                         "' bs=1M count=1 status=none && cat '" + image.string() + "' >> '" +
                         shifted.string() + "'")
                            .c_str()),
            0);
  EXPECT_EQ(VolumeLabelInside(shifted, 1 << 20, start), volume.label);
  // A boot sector whose volume lies elsewhere, or cut short, names nothing.
  EXPECT_EQ(VolumeLabelInside(folder / "missing.img", 0, start), "");
  EXPECT_EQ(VolumeLabelInside(image, 0, start.substr(0, 100)), "");
}

INSTANTIATE_TEST_SUITE_P(WindowsFileSystems, InsideLabelTest,
                         ::testing::Values(MadeVolume{"mkntfs", "8M",
                                                      "-F -Q -L 'M\xC3\xBAsica 2024'", "NTFS",
                                                      "M\xFAsica 2024", 0},
                                           MadeVolume{"mkfs.exfat", "8M", "-L 'USB Ju\xC3\xA1n'",
                                                      "exFAT", "USB Ju\xE1n", 0}));

// ---- Text rules ----

TEST(DiskTextTest, SerialAndMegabyteTexts) {
  EXPECT_EQ(SerialText(255), "000000FF");
  EXPECT_EQ(SerialText(0), "00000000");
  EXPECT_EQ(SerialText(0xDEADBEEF), "DEADBEEF");
  EXPECT_EQ(MegabytesText(681574400), "650 MB");
  EXPECT_EQ(MegabytesText(8ull << 30), "8192 MB");
  EXPECT_EQ(MegabytesText(1048576), "1 MB");
  EXPECT_EQ(MegabytesText(1048575), "0 MB");
}

TEST(DiskTextTest, StableSerialIsFnv1a) {
  EXPECT_EQ(StableSerial(""), 0x811C9DC5u);
  EXPECT_EQ(StableSerial("a"), 0xE40C292Cu);
  EXPECT_EQ(StableSerial("foobar"), 0xBF9CF968u);
}

TEST(DiskTextTest, WindowsSpellingsOfFileSystems) {
  EXPECT_EQ(WindowsFileSystemName("iso9660", ""), "CDFS");
  EXPECT_EQ(WindowsFileSystemName("udf", ""), "UDF");
  EXPECT_EQ(WindowsFileSystemName("vfat", "FAT32"), "FAT32");
  EXPECT_EQ(WindowsFileSystemName("vfat", "FAT16"), "FAT");
  EXPECT_EQ(WindowsFileSystemName("vfat", ""), "FAT");
  EXPECT_EQ(WindowsFileSystemName("msdos", ""), "FAT");
  EXPECT_EQ(WindowsFileSystemName("exfat", ""), "exFAT");
  EXPECT_EQ(WindowsFileSystemName("ntfs3", ""), "NTFS");
  EXPECT_EQ(WindowsFileSystemName("ntfs", ""), "NTFS");
  EXPECT_EQ(WindowsFileSystemName("fuseblk", "ntfs"), "NTFS");
  EXPECT_EQ(WindowsFileSystemName("fuseblk", "exFAT"), "exFAT");
  EXPECT_EQ(WindowsFileSystemName("fuseblk", ""), "FUSEBLK");
  EXPECT_EQ(WindowsFileSystemName("ext4", ""), "EXT4");
}

// ---- Host helpers ----

TEST(VolumeReaderTest, UdevDataAndEscapes) {
  const UdevProperties udev = ParseUdevData(
      "I:123456\nE:ID_FS_LABEL_ENC=Mi\\x20Disco\nE:ID_FS_UUID=1234-ABCD\n"
      "S:disk/by-label/Mi\\x20Disco\nE:ID_FS_VERSION=\nE:URL=a=b");
  EXPECT_EQ(udev.size(), 4u);
  EXPECT_EQ(udev.at("ID_FS_UUID"), "1234-ABCD");
  EXPECT_EQ(udev.at("ID_FS_VERSION"), "");
  EXPECT_EQ(udev.at("URL"), "a=b");
  EXPECT_EQ(DecodeUdevEscapes(udev.at("ID_FS_LABEL_ENC")), "Mi Disco");
  EXPECT_EQ(DecodeUdevEscapes("a\\x2Fb\\x2\\xzz\\"), "a/b\\x2\\xzz\\");
}

TEST(VolumeReaderTest, ReadsImageFilesButNotOtherNodes) {
  testing::TempFolder folder;
  std::string image(4096, '\0');
  Put(image, 1024, FatSector(false, {0xCD, 0xAB, 0x34, 0x12}, "IMAGEN     "));
  testing::WriteBytes(folder / "disco.img", image);
  const std::string start = ReadVolumeStart(folder / "disco.img", 1024, kVolumeStartSize);
  EXPECT_EQ(start.size(), 3072u);
  EXPECT_EQ(BootSectorSerial(start.substr(0, 512)), 0x1234ABCDu);
  EXPECT_EQ(ReadVolumeStart(folder / "missing.img", 0, 512), "");
  EXPECT_EQ(ReadVolumeStart("/dev/null", 0, 512), "");
  EXPECT_EQ(ReadVolumeStart(folder.Path(), 0, 512), "");
}

TEST(VolumeReaderTest, MountHoldingPrefersTheLongestMountOfTheDevice) {
  const std::vector<MountEntry> mounts = {
      {254, 0, "/", "ext4", "/dev/vda"},
      {8, 1, "/media/cd", "iso9660", "/dev/sr0"},
      {8, 2, "/media/cdrom", "vfat", "/dev/sdb1"},
      {8, 3, "/media/cd", "udf", "/dev/sr1"},  // mounted over the first one
  };
  const auto held = [&](const char* path, std::uint32_t major, std::uint32_t minor) {
    return MountHolding(mounts, path, makedev(major, minor))->source;
  };
  EXPECT_EQ(held("/media/cd/x", 8, 3), "/dev/sr1");
  EXPECT_EQ(held("/media/cdrom", 8, 2), "/dev/sdb1");
  EXPECT_EQ(held("/media/cdx", 254, 0), "/dev/vda");
  EXPECT_EQ(held("/media/cd", 8, 1), "/dev/sr0");
  EXPECT_EQ(held("/media/cd", 99, 9), "/dev/sr1");  // no entry of that device
  EXPECT_FALSE(MountHolding({}, "/x", 0));
}

// ---- TDiskInfo ----

std::string Fnv1a(const std::string& text) {
  std::uint64_t hash = 0x811C9DC5;
  for (unsigned char c : text) hash = ((hash ^ c) * 0x01000193) & 0xFFFFFFFF;
  char out[9];
  std::snprintf(out, sizeof out, "%08llX", static_cast<unsigned long long>(hash));
  return out;
}

std::string FolderSerial(const fs::path& folder) {
  struct stat info;
  stat(folder.c_str(), &info);
  return Fnv1a(std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino));
}

bool IsSerialText(const std::string& text) {
  return text.size() == 8 && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

class DiskInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(folder_ / "M\xC3\xBAsica");
    fs::create_directory(folder_ / "Otro");
    drives_.Map('T', folder_ / "M\xC3\xBAsica/");
    drives_.Map('U', folder_ / "Otro");
    drives_.Map('M', folder_ / "missing");
  }
  testing::TempFolder folder_;
  DriveMap drives_;
};

// A mounted Btrfs volume is a disc of its own, although its folders carry an
// anonymous device number the mount table does not show: its label, the
// UUID's serial and its file system come from the volume.
TEST(MountedVolumeTest, ABtrfsRootIsItsVolume) {
  const MadeVolume btrfs{
      "mkfs.btrfs", "120M",      "-q -f -L 'Copias BT' -U 5eed0000-1234-4321-8765-0123456789ab",
      "BTRFS",      "Copias BT", 0x5EED0000u};
  if (!btrfs.Installed()) GTEST_SKIP() << btrfs.tool << " is not installed";
  testing::TempFolder folder;
  const fs::path image = folder / "btrfs.img", root = folder / "montado";
  ASSERT_TRUE(btrfs.MakeImage(image));
  fs::create_directory(root);
  const std::string mount =
      "mount -o loop '" + image.string() + "' '" + root.string() + "' >/dev/null 2>&1";
  if (std::system(mount.c_str()) != 0)
    GTEST_SKIP() << "a loop device cannot be mounted here (needs root and loop devices)";
  fs::create_directory(root / "DOCS");
  DriveMap drives;
  drives.Map('B', root);
  drives.Map('C', root / "DOCS");
  TDiskInfo info(drives);
  info.SetDrive("B");
  const std::string label = info.VolumeName(), serial = info.SerialNumber(),
                    system = info.FileSystemType();
  const bool whole = info.WholeVolume();
  info.SetDrive("C");  // a folder inside it stands for a disc of its own
  const bool folderWhole = info.WholeVolume();
  const std::string folderLabel = info.VolumeName();
  std::system(("umount '" + root.string() + "'").c_str());
  EXPECT_EQ(label, "Copias BT");
  EXPECT_EQ(serial, "5EED0000");
  EXPECT_EQ(system, "BTRFS");
  EXPECT_TRUE(whole);
  EXPECT_FALSE(folderWhole);
  EXPECT_EQ(folderLabel, "DOCS");
}

TEST_F(DiskInfoTest, StartsOnDriveCAndIgnoresLettersItCannotRead) {
  TDiskInfo info(drives_);
  EXPECT_EQ(info.Drive(), "C");
  EXPECT_EQ(info.SerialNumber(), "00000000");
  EXPECT_EQ(info.DriveType(), "Root Directory does not exist");

  info.SetDrive("t:\\");
  const std::string serial = info.SerialNumber();
  for (const char* value : {"Q", "M:\\", "", "1"}) {
    info.SetDrive(value);
    EXPECT_EQ(info.Drive(), "t") << value;
    EXPECT_EQ(info.SerialNumber(), serial) << value;
    EXPECT_EQ(info.VolumeName(), "M\xFAsica") << value;
  }
}

TEST_F(DiskInfoTest, APlainFolderIsADiscOfItsOwn) {
  TDiskInfo info(drives_);
  info.SetDrive("t:\\");
  EXPECT_EQ(info.Drive(), "t");
  EXPECT_EQ(info.VolumeName(), "M\xFAsica");
  EXPECT_EQ(info.SerialNumber(), FolderSerial(folder_ / "M\xC3\xBAsica"));
  EXPECT_FALSE(info.FileSystemType().empty());
  EXPECT_NE(info.DriveType(), "");
  EXPECT_NE(info.DriveType(), "Root Directory does not exist");

  const std::string first = info.SerialNumber();
  info.SetDrive("U");
  EXPECT_EQ(info.VolumeName(), "Otro");
  EXPECT_NE(info.SerialNumber(), first);
  info.SetDrive("T");
  EXPECT_EQ(info.SerialNumber(), first);
}

TEST_F(DiskInfoTest, SizesAndClustersComeFromTheFileSystem) {
  TDiskInfo info(drives_);
  info.SetDrive("U");
  struct statvfs space;
  ASSERT_EQ(statvfs((folder_ / "Otro").c_str(), &space), 0);
  const std::uint64_t total = std::uint64_t{space.f_blocks} * space.f_frsize;
  EXPECT_EQ(info.TotalDiskSpace(), std::to_string(total / 1048576) + " MB");
  EXPECT_TRUE(info.DiskFreeSpace().ends_with(" MB"));
  EXPECT_EQ(info.Clusters(), std::min<std::uint64_t>(space.f_blocks, 0xFFFFFFFFu));
  EXPECT_GE(info.SectorsPerCluster(), 1u);
  EXPECT_GE(info.BytesPerSector(), 512u);
  if (space.f_frsize >= info.BytesPerSector()) {
    EXPECT_EQ(std::uint64_t{info.SectorsPerCluster()} * info.BytesPerSector(), space.f_frsize);
  }
}

TEST_F(DiskInfoTest, AFolderThatGoesAwayKeepsTheLastFigures) {
  TDiskInfo info(drives_);
  info.SetDrive("U");
  const std::string label = info.VolumeName(), total = info.TotalDiskSpace();
  fs::remove(folder_ / "Otro");
  EXPECT_EQ(info.DriveType(), "Root Directory does not exist");
  info.SetDrive("U");
  EXPECT_EQ(info.VolumeName(), label);
  EXPECT_EQ(info.TotalDiskSpace(), total);
}

TEST_F(DiskInfoTest, AVolumeRootTakesTheVolumesIdentity) {
  drives_.Map('R', "/");
  TDiskInfo info(drives_);
  info.SetDrive("R");
  EXPECT_TRUE(IsSerialText(info.SerialNumber()));
  EXPECT_NE(info.SerialNumber(), FolderSerial("/"));
  EXPECT_FALSE(info.FileSystemType().empty());
  const std::string type = info.DriveType();
  EXPECT_TRUE(type == "Fixed" || type == "Removable" || type == "RamDisk" || type == "Remote" ||
              type == "CDROM" || type == "No Type Information")
      << type;
}

}  // namespace
}  // namespace zafirel
