// The host's view of the volume behind a folder on Linux: the kind of mount
// that holds it, what sysfs and the udev database say of its block device,
// and the first bytes of the device itself, read without blocking.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/drive_map.h"

namespace zafirel {

// Kernel bookkeeping (proc, sysfs, cgroup, devpts, tmpfs, an overlay other
// than "/", snap images ...) rather than a volume someone would catalogue.
bool IsPseudoFileSystem(const MountEntry& mount);
// A CD or DVD: iso9660 or udf, or a /dev/sr* source.
bool IsOpticalMount(const MountEntry& mount);
// A network share, by type (nfs, cifs, sshfs ...) or by a host:/ or //host/ source.
bool IsRemoteMount(const MountEntry& mount);
// Memory-backed: tmpfs, ramfs, a ram or zram device.
bool IsRamMount(const MountEntry& mount);

// The mount that holds a folder given by its canonical path and device
// number: the longest mount point above it, preferring the entries of the
// same device, the later of equal ones (a later mount hides an earlier one).
std::optional<MountEntry> MountHolding(const std::vector<MountEntry>& mounts,
                                       const std::filesystem::path& canonicalFolder,
                                       std::uint64_t device);

// A block device as sysfs (/sys/dev/block/MAJ:MIN) describes it.
struct BlockDevice {
  std::string name;                    // sda1, sr0, loop3; empty when no block device
  bool removable = false;              // the flag of the whole disk
  std::uint32_t logicalBlockSize = 0;  // 0 when unknown
  std::filesystem::path backingFile;   // the image file behind a loop device
  std::uint64_t backingOffset = 0;     // where the volume starts in that file
};
BlockDevice ReadBlockDevice(std::uint32_t major, std::uint32_t minor);

// The "E:KEY=VALUE" properties of a udev database file.
using UdevProperties = std::map<std::string, std::string, std::less<>>;
UdevProperties ParseUdevData(std::string_view text);
// /run/udev/data/bMAJ:MIN; empty when udev keeps no record.
UdevProperties ReadUdevProperties(std::uint32_t major, std::uint32_t minor);
// Undoes udev's "\x20" escapes (labels in ID_FS_LABEL_ENC and by-label links).
std::string DecodeUdevEscapes(std::string_view text);
// The name of the /dev/disk/by-label link to the device, escapes undone
// (UTF-8); empty when there is none.
std::string ByLabelName(std::uint32_t major, std::uint32_t minor);

// Up to size bytes from offset of a block device or a regular file, opened
// without blocking; fewer or none when it cannot be read.
std::string ReadVolumeStart(const std::filesystem::path& device, std::uint64_t offset,
                            std::size_t size);
// How much of a volume IdentifyVolume wants: sector 0, the ISO 9660
// descriptors from sector 16 and a Btrfs superblock at 64 KiB.
inline constexpr std::size_t kVolumeStartSize = 0x10000 + 4096;

// What a volume's first bytes say of it.
struct VolumeId {
  std::optional<std::uint32_t> serial;
  std::string label;  // ANSI
  std::string kind;  // "CDFS", "UDF", "FAT", "FAT32", "exFAT", "NTFS", "EXT2/3/4", "XFS" or "BTRFS"
};
// Nothing when the bytes hold neither ISO 9660 descriptors, a known boot
// sector nor an ext2/3/4, XFS or Btrfs superblock (whose serial is the
// first 32 bits of the volume's UUID).
std::optional<VolumeId> IdentifyVolume(std::string_view start);
// The label of an NTFS or exFAT volume, which lies past its first bytes:
// read from the volume on device (starting at offset) whose first bytes are
// start. Empty for other volumes, and when the label cannot be read.
std::string VolumeLabelInside(const std::filesystem::path& device, std::uint64_t offset,
                              std::string_view start);

}  // namespace zafirel
