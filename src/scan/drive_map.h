// Drive letters on Linux: each letter names a host folder. The defaults come
// from the mounted volumes (optical and removable media first, from "D"; "C"
// is the root file system); the settings file's section "Unidades" maps any
// letter to any folder ("D=/media/cdrom"), overriding a default, and an empty
// value there removes a letter.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zafirel {

// One line of /proc/self/mountinfo.
class TIniEditor;

struct MountEntry {
  std::uint32_t major = 0, minor = 0;
  std::filesystem::path mountPoint;  // octal escapes (\040) undone
  std::string fileSystem;            // the kernel's name: vfat, iso9660, ext4 ...
  std::string source;                // /dev/sr0, host:/export, tmpfs ...
};

// Parses mountinfo text; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);
// The mounted volumes of this process, read from /proc/self/mountinfo.
std::vector<MountEntry> ReadMounts();

struct MappedDrive {
  char letter = 0;  // upper case
  std::filesystem::path folder;
};

class DriveMap {
 public:
  // What the settings say of a letter: nothing when they do not name it,
  // an empty path to remove it, else its folder.
  using Setting = std::function<std::optional<std::filesystem::path>(char letter)>;
  // The defaults from the mounted volumes, then the settings' overrides.
  static DriveMap FromSystem(const Setting& settings);
  // Only the given mappings (tests, the command line).
  DriveMap() = default;

  void Map(char letter, std::filesystem::path folder);
  void Unmap(char letter);
  // The folder of a letter (either case).
  std::optional<std::filesystem::path> FolderOf(char letter) const;
  // The letter whose folder is this folder (compared after making both
  // absolute and normal), if any.
  std::optional<char> LetterOf(const std::filesystem::path& folder) const;
  // Every mapped drive, by letter.
  std::vector<MappedDrive> Drives() const;
  // A folder chosen as a drive of its own: the letter already mapped to it,
  // else the first free letter from "D" (or the given one), now mapped to
  // it; nothing when no letter is free.
  std::optional<char> MapFolder(const std::filesystem::path& folder, char wanted = 0);

 private:
  std::vector<MappedDrive> drives_;
};

// The default letters for a mount list: "C" for "/", then from "D" the
// optical and removable volumes, then the other real volumes mounted under
// /media, /mnt and /run/media, in mount order. Pseudo file systems are left out.
std::vector<MappedDrive> DefaultDrives(const std::vector<MountEntry>& mounts);
// The same with the test for removable media given (the plain form asks sysfs).
std::vector<MappedDrive> DefaultDrives(const std::vector<MountEntry>& mounts,
                                       const std::function<bool(const MountEntry&)>& removable);

// The drive letters of the settings' section "Unidades", for the drive map.
// The settings editor cannot list a section's keys, so each letter is asked
// for.
DriveMap::Setting DriveSettings(TIniEditor& ini1);

}  // namespace zafirel
