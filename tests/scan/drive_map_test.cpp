// The drive map: mountinfo parsing, the default letters for a mount list,
// explicit mappings and the overrides of the settings file.
#include "scan/drive_map.h"

#include <gtest/gtest.h>

#include "app/startup.h"
#include "settings/ini_editor.h"
#include "test_support.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

MountEntry Mount(std::uint32_t major, std::uint32_t minor, std::string point, std::string type,
                 std::string source) {
  return {major, minor, std::move(point), std::move(type), std::move(source)};
}

std::vector<std::string> Listed(const std::vector<MappedDrive>& drives) {
  std::vector<std::string> out;
  for (const MappedDrive& d : drives)
    out.push_back(std::string(1, d.letter) + "=" + d.folder.string());
  return out;
}

TEST(ParseMountInfoTest, ReadsFieldsUndoesEscapesAndSkipsJunk) {
  const std::string text =
      "26 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
      "\n"
      "garbage line\n"
      "40 26 8:17 / /media/ana/Mi\\040Disco\\011x\\012y\\134z rw - vfat /dev/sdb1 rw,uid=1000\n"
      "41 26 x:1 / /mnt/bad rw - ext4 /dev/sdc1 rw\n"
      "42 26 8:33 / /mnt/nosep rw ext4 /dev/sdc1 rw\n"
      "43 26 8:49 / relative rw - ext4 /dev/sdd1 rw\n"
      "44 26 0:50 / /mnt/share rw master:3 shared:7 - cifs //srv/pub\\040lic rw";
  const std::vector<MountEntry> mounts = ParseMountInfo(text);
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[0].major, 254u);
  EXPECT_EQ(mounts[0].minor, 0u);
  EXPECT_EQ(mounts[0].mountPoint, "/");
  EXPECT_EQ(mounts[0].fileSystem, "ext4");
  EXPECT_EQ(mounts[0].source, "/dev/vda");
  EXPECT_EQ(mounts[1].mountPoint, "/media/ana/Mi Disco\tx\ny\\z");
  EXPECT_EQ(mounts[1].minor, 17u);
  EXPECT_EQ(mounts[2].fileSystem, "cifs");
  EXPECT_EQ(mounts[2].source, "//srv/pub lic");
}

TEST(ParseMountInfoTest, ThisProcessHasARootMount) {
  const std::vector<MountEntry> mounts = ReadMounts();
  EXPECT_TRUE(std::any_of(mounts.begin(), mounts.end(),
                          [](const MountEntry& m) { return m.mountPoint == "/"; }));
}

TEST(DefaultDrivesTest, RootIsCThenOpticalRemovableAndUserVolumes) {
  const std::vector<MountEntry> mounts = {
      Mount(0, 20, "/proc", "proc", "proc"),
      Mount(0, 30, "/", "overlay", "overlay"),
      Mount(8, 17, "/mnt/datos", "ext4", "/dev/sdb1"),
      Mount(8, 33, "/media/ana/USB", "vfat", "/dev/sdc1"),
      Mount(11, 0, "/media/ana/CD", "iso9660", "/dev/sr0"),
      Mount(8, 2, "/home", "ext4", "/dev/sda2"),
      Mount(0, 40, "/mnt/ram", "tmpfs", "tmpfs"),
      Mount(7, 3, "/snap/core/1", "squashfs", "/dev/loop3"),
      Mount(0, 41, "/var/lib/docker/x", "overlay", "overlay"),
      Mount(8, 49, "/run/media/ana/Viejo", "ntfs3", "/dev/sdd1"),
      Mount(0, 50, "/mnt/red", "nfs4", "srv:/export"),
      Mount(8, 17, "/mnt/datos", "ext4", "/dev/sdb1"),  // mounted twice at one place
      Mount(8, 65, "/sys/firmware/x", "vfat", "/dev/sde1"),
  };
  const auto removable = [](const MountEntry& m) { return m.minor == 33 || m.minor == 65; };
  EXPECT_EQ(Listed(DefaultDrives(mounts, removable)),
            (std::vector<std::string>{"C=/", "D=/media/ana/CD", "E=/media/ana/USB", "F=/mnt/datos",
                                      "G=/run/media/ana/Viejo", "H=/mnt/red"}));
  EXPECT_EQ(Listed(DefaultDrives({}, removable)), (std::vector<std::string>{"C=/"}));
}

TEST(DefaultDrivesTest, LettersStopAtZ) {
  std::vector<MountEntry> mounts;
  for (std::uint32_t i = 0; i < 40; ++i)
    mounts.push_back(Mount(8, i, "/mnt/d" + std::to_string(i), "ext4", "/dev/sdx"));
  const std::vector<MappedDrive> drives =
      DefaultDrives(mounts, [](const MountEntry&) { return false; });
  ASSERT_EQ(drives.size(), 24u);
  EXPECT_EQ(drives.back().letter, 'Z');
  EXPECT_EQ(drives.back().folder, "/mnt/d22");
}

TEST(DriveMapTest, MapsLettersInEitherCaseAndFindsFoldersBack) {
  DriveMap map;
  map.Map('t', "/tmp/uno/");
  map.Map('D', "/media/cd");
  map.Map('1', "/nowhere");  // not a letter
  EXPECT_EQ(map.FolderOf('T'), fs::path("/tmp/uno/"));
  EXPECT_EQ(map.FolderOf('d'), fs::path("/media/cd"));
  EXPECT_FALSE(map.FolderOf('1'));
  EXPECT_EQ(map.LetterOf("/tmp/./uno"), 'T');
  EXPECT_EQ(map.LetterOf("/media/x/../cd/"), 'D');
  EXPECT_FALSE(map.LetterOf("/media"));
  EXPECT_EQ(Listed(map.Drives()), (std::vector<std::string>{"D=/media/cd", "T=/tmp/uno/"}));

  map.Map('T', "/srv");
  map.Unmap('d');
  EXPECT_EQ(Listed(map.Drives()), (std::vector<std::string>{"T=/srv"}));

  const fs::path here = fs::current_path();
  map.Map('R', "relative");
  EXPECT_EQ(map.LetterOf(here / "relative"), 'R');

  // A folder chosen as a drive: its own letter, else the first free from D.
  EXPECT_EQ(map.MapFolder(here / "relative/"), 'R');
  EXPECT_EQ(map.MapFolder("/srv/discos"), 'D');
  EXPECT_EQ(map.FolderOf('D'), fs::path("/srv/discos"));
  EXPECT_EQ(map.MapFolder("/srv/otro", 'q'), 'Q');
  for (char c = 'E'; c <= 'Z'; ++c) map.Map(c, "/x");
  EXPECT_FALSE(map.MapFolder("/srv/lleno"));
}

TEST(DriveMapTest, SettingsOverrideAndRemoveDefaults) {
  testing::TempFolder folder;
  testing::WriteBytes(folder / "Opcion.ini",
                      "[General]\r\nT=/not/this\r\n"
                      "[Unidades]\r\nt=/tmp/catalogo\r\nC=\r\nX = \"/media/m\xFAsica\"\r\n"
                      "Y=/media/\xD0\x94\xD0\xB8\xD0\xBC\xD0\xB0\r\n");
  TIniEditor settings;
  settings.SetFileLocation(TFileLocation::PathInFileName);
  settings.SetFileName((folder / "Opcion.ini").string());
  const DriveMap map = DriveMap::FromSystem(DriveSettings(settings));
  EXPECT_EQ(map.FolderOf('T'), fs::path("/tmp/catalogo"));
  EXPECT_FALSE(map.FolderOf('C'));
  EXPECT_EQ(map.FolderOf('X'), fs::path("/media/m\xC3\xBAsica"));
  EXPECT_EQ(map.FolderOf('Y'), fs::path("/media/\xD0\x94\xD0\xB8\xD0\xBC\xD0\xB0"));  // UTF-8

  const DriveMap defaults = DriveMap::FromSystem(nullptr);
  EXPECT_EQ(defaults.FolderOf('C'), fs::path("/"));
}

}  // namespace
}  // namespace zafirel
