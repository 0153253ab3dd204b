// TDiskInfo: the facts of the volume behind a drive letter (label, serial
// number, file system, cluster figures, sizes, drive type), read on Linux
// from the drive map's folder, statvfs, /proc/self/mountinfo, sysfs, the udev
// database and, where it can be read, the volume's own boot sector or volume
// descriptor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scan/drive_map.h"

namespace zafirel {

class TDiskInfo {
 public:
  // Describes drive "C" until the first assignment.
  explicit TDiskInfo(const DriveMap& drives);

  // Only the first character counts; a letter that is not mapped, or whose
  // folder cannot be opened, changes nothing. Never throws, never blocks on
  // an empty optical drive.
  void SetDrive(std::string_view value);

  const std::string& Drive() const { return drive_; }
  std::uint32_t SectorsPerCluster() const { return sectorsPerCluster_; }
  std::uint32_t BytesPerSector() const { return bytesPerSector_; }
  std::uint32_t FreeClusters() const { return freeClusters_; }
  std::uint32_t Clusters() const { return clusters_; }
  const std::string& DiskFreeSpace() const { return diskFreeSpace_; }
  const std::string& TotalDiskSpace() const { return totalDiskSpace_; }
  // Worked out anew on every read: "CDROM", "Removable", "Remote", "RamDisk",
  // "Fixed", "Root Directory does not exist" or "No Type Information".
  std::string DriveType() const;
  const std::string& VolumeName() const { return volumeName_; }
  const std::string& SerialNumber() const { return serialNumber_; }
  const std::string& FileSystemType() const { return fileSystemType_; }
  // False when the drive stands for a folder inside a volume rather than
  // for the volume's root: its sizes are then the host volume's.
  bool WholeVolume() const { return wholeVolume_; }
  // The bytes in use on the whole volume (an image's size for a disc
  // image); 0 when unknown or when the drive stands for a folder.
  std::uint64_t UsedBytes() const { return usedBytes_; }

 private:
  const DriveMap& drives_;
  std::string drive_;
  std::uint32_t sectorsPerCluster_ = 0, bytesPerSector_ = 0, freeClusters_ = 0, clusters_ = 0;
  std::string diskFreeSpace_, totalDiskSpace_, volumeName_, serialNumber_ = "00000000",
                                                            fileSystemType_;
  bool wholeVolume_ = true;
  std::uint64_t usedBytes_ = 0;
};

// Pure rules over bytes, for the volume readers and their tests.

// "000000FF" for 255: 8 upper-case hex digits.
std::string SerialText(std::uint32_t serial);
// Whole MiB, rounded down, then " MB".
std::string MegabytesText(std::uint64_t bytes);
// The serial of a FAT12/16 or FAT32 boot sector (FAT32 at 0x43, else 0x27,
// each behind its extended boot signature), of an exFAT boot sector (0x64)
// or the low 32 bits of an NTFS serial (0x48); nothing for other sectors.
std::optional<std::uint32_t> BootSectorSerial(std::string_view sector);
// "FAT", "FAT32", "exFAT" or "NTFS" for a boot sector; empty when unknown.
std::string BootSectorFileSystem(std::string_view sector);
// The four wrapping byte sums of a 2048-byte ISO 9660 volume descriptor,
// sum0 (bytes 0, 4, 8 ...) the most significant byte.
std::uint32_t IsoDescriptorSerial(std::string_view descriptor);
// The primary volume descriptor and the Joliet supplementary one, from
// sector 16 of an image or device given as its first bytes.
struct IsoDescriptors {
  std::optional<std::string_view> primary, joliet;
};
IsoDescriptors FindIsoDescriptors(std::string_view image);
struct IsoVolume {
  std::uint32_t serial = 0;
  std::string label;  // ANSI, trailing blanks and NULs trimmed
};
// Reads the descriptors from sector 16 of an ISO 9660 image or device given
// as its first bytes (at least up to the terminator): the Joliet
// supplementary descriptor when there is one, else the primary one.
std::optional<IsoVolume> ReadIsoVolume(std::string_view image);
// A stable 32-bit value for a volume or folder without a readable serial
// (FNV-1a over the seed text).
std::uint32_t StableSerial(std::string_view seed);
// The Windows spelling of a kernel file-system name ("iso9660" -> "CDFS",
// "vfat" -> "FAT" or "FAT32" by the version, "ntfs3" -> "NTFS" ...); other
// names upper-cased.
std::string WindowsFileSystemName(std::string_view kernelName, std::string_view fatVersion);

}  // namespace zafirel
