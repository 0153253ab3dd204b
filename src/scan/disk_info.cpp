#include "scan/disk_info.h"

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>

#include "scan/disc_image.h"
#include "scan/udf_image.h"
#include "scan/volume_reader.h"
#include "util/bytes.h"
#include "util/codepage.h"
#include "util/file_handle.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kIsoSector = 2048;
constexpr std::size_t kMaxLabel = 255;

// ---- Byte rules ----

std::uint32_t Le32(std::string_view b, std::size_t at) { return bytes::GetU32(b.data() + at); }
std::uint16_t Le16(std::string_view b, std::size_t at) { return bytes::GetU16(b.data() + at); }

enum class BootKind { kNone, kFat, kFat32, kExFat, kNtfs };

// exFAT and NTFS name themselves at offset 3; a FAT sector is known by its
// jump, a sane sector size and a FAT count, and FAT32 by its empty 16-bit
// FAT size (or its type text).
BootKind ClassifyBootSector(std::string_view sector) {
  if (sector.size() < 512) return BootKind::kNone;
  if (sector.substr(3, 8) == "NTFS    ") return BootKind::kNtfs;
  if (sector.substr(3, 8) == "EXFAT   ") return BootKind::kExFat;
  const unsigned char jump = static_cast<unsigned char>(sector[0]);
  if (jump != 0xEB && jump != 0xE9) return BootKind::kNone;
  const std::uint16_t bytesPerSector = Le16(sector, 0x0B);
  if (bytesPerSector < 512 || bytesPerSector > 4096 || (bytesPerSector & (bytesPerSector - 1)))
    return BootKind::kNone;
  if (sector[0x10] == 0) return BootKind::kNone;
  if (Le16(sector, 0x16) == 0 || sector.substr(0x52, 8) == "FAT32   ") return BootKind::kFat32;
  return BootKind::kFat;
}

bool HasExtendedSignature(std::string_view sector, std::size_t at) {
  const unsigned char signature = static_cast<unsigned char>(sector[at]);
  return signature == 0x28 || signature == 0x29;
}

bool IsJoliet(std::string_view descriptor) {
  const std::string_view escape = descriptor.substr(88, 3);
  return escape == "%/@" || escape == "%/C" || escape == "%/E";
}

std::string TrimLabel(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

// Through UTF-8, so that the Windows-1252 row 0x80 (the euro sign ...) comes out right.
std::string JolietLabel(std::string_view field) {
  return TrimLabel(Utf8ToAnsi(TrimLabel(Ucs2BeToUtf8(field))));
}

std::string LowerAZ(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  return out;
}

// ---- The host side ----

// The folder, its device and the mount and block device behind it.
struct Place {
  struct stat info;
  fs::path canonical;
  std::optional<MountEntry> mount;
  dev_t device = 0;  // the block device behind the mount
  BlockDevice block;
  bool root = false;  // the folder is its volume's mount point
};

std::optional<Place> Locate(const fs::path& folder) {
  Place place;
  std::error_code error;
  if (stat(folder.c_str(), &place.info) != 0 || !S_ISDIR(place.info.st_mode)) return std::nullopt;
  place.canonical = fs::canonical(folder, error);
  if (error) return std::nullopt;
  place.mount = MountHolding(ReadMounts(), place.canonical, place.info.st_dev);
  if (!place.mount) return place;
  place.device = makedev(place.mount->major, place.mount->minor);
  bool sameVolume = place.device == place.info.st_dev;
  // Btrfs numbers each subvolume anonymously (major 0), and the mount table
  // and the folder's stat disagree on the number: its volume is the
  // mount's source device.
  struct stat source {};
  if (place.mount->fileSystem == "btrfs" && place.mount->major == 0 &&
      place.mount->source.starts_with("/dev/") && stat(place.mount->source.c_str(), &source) == 0 &&
      S_ISBLK(source.st_mode)) {
    place.device = source.st_rdev;
    sameVolume = true;
  }
  place.block = ReadBlockDevice(major(place.device), minor(place.device));
  place.root = sameVolume && place.mount->mountPoint == place.canonical;
  return place;
}

bool CanOpenFolder(const fs::path& folder) { return OpenFolder(folder).valid(); }

// The volume's first bytes: its device node, else the image behind a loop.
std::optional<VolumeId> ReadOwnId(const Place& place) {
  if (place.block.name.empty()) return std::nullopt;
  std::vector<std::pair<fs::path, std::uint64_t>> candidates;
  if (place.mount->source.starts_with("/dev/")) candidates.emplace_back(place.mount->source, 0);
  candidates.emplace_back("/dev/" + place.block.name, 0);
  if (!place.block.backingFile.empty())
    candidates.emplace_back(place.block.backingFile, place.block.backingOffset);
  for (const auto& [path, offset] : candidates) {
    // A UDF disc (most DVDs, every Blu-ray) is known by its UDF volume, as
    // Windows and the disc's image know it, even where it has ISO 9660 too.
    if (place.mount->fileSystem == "udf" && offset == 0)
      if (const std::unique_ptr<UdfImage> udf = UdfImage::Open(path))
        return VolumeId{udf->Serial(), udf->Label(), "UDF"};
    const std::string start = ReadVolumeStart(path, offset, kVolumeStartSize);
    if (start.size() < 512) continue;
    std::optional<VolumeId> id = IdentifyVolume(start);
    if (id && id->label.empty()) id->label = VolumeLabelInside(path, offset, start);
    return id;
  }
  return std::nullopt;
}

std::string Property(const UdevProperties& udev, std::string_view key) {
  const auto it = udev.find(key);
  return it == udev.end() ? std::string() : it->second;
}

// What the kernel's name leaves open: the FAT variant, or the file system
// behind a fuseblk mount.
std::string FileSystemName(const MountEntry& mount, const UdevProperties& udev,
                           const std::optional<VolumeId>& id) {
  std::string detail;
  if (mount.fileSystem == "vfat")
    detail = Property(udev, "ID_FS_VERSION");
  else if (mount.fileSystem == "fuseblk")
    detail = Property(udev, "ID_FS_TYPE");
  if (detail.empty() && id) detail = id->kind;
  return WindowsFileSystemName(mount.fileSystem, detail);
}

// blkid's UUID of FAT and exFAT is the serial with a dash; of NTFS the
// 64-bit serial, whose low half Windows shows; of a 128-bit UUID (ext2/3/4,
// XFS, Btrfs) the first 32 bits stand for it, as read from the superblock.
std::optional<std::uint32_t> SerialFromUuid(std::string uuid, std::string_view type) {
  std::erase(uuid, '-');
  const bool fat = type == "vfat" || type == "exfat" || type == "msdos";
  const bool ntfs = type == "ntfs" || type == "ntfs3";
  std::string_view digits;
  if ((fat && uuid.size() == 8) || (ntfs && uuid.size() == 16))
    digits = std::string_view(uuid).substr(uuid.size() - 8);
  else if (!fat && !ntfs && uuid.size() == 32)
    digits = std::string_view(uuid).substr(0, 8);
  else
    return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::optional<std::uint32_t> FatVolumeId(const fs::path& folder) {
  const FileDescriptor fd =
      FileDescriptor::Open(folder, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (!fd.valid()) return std::nullopt;
  std::uint32_t id = 0;
  if (ioctl(fd.get(), FAT_IOCTL_GET_VOLUME_ID, &id) != 0) return std::nullopt;
  return id;
}

// Serial: the volume's own bytes, the FAT driver, the udev UUID, and last a
// value that at least stays the same while the volume stays mounted there.
std::uint32_t RootSerial(const Place& place, const UdevProperties& udev,
                         const std::optional<VolumeId>& id) {
  const MountEntry& mount = *place.mount;
  if (id && id->serial) return *id->serial;
  if (mount.fileSystem == "vfat" || mount.fileSystem == "msdos")
    if (std::optional<std::uint32_t> serial = FatVolumeId(place.canonical)) return *serial;
  const std::string uuid = Property(udev, "ID_FS_UUID");
  if (!uuid.empty()) {
    std::string type = Property(udev, "ID_FS_TYPE");
    if (type.empty()) type = mount.fileSystem;
    return SerialFromUuid(uuid, type).value_or(StableSerial(uuid));
  }
  return StableSerial(std::to_string(mount.major) + ":" + std::to_string(mount.minor) + ":" +
                      mount.mountPoint.string());
}

// Label: an ISO disc's own descriptor (the Joliet one when present), else
// what udev probed, else the by-label link, else a FAT boot sector's.
std::string RootLabel(const Place& place, const UdevProperties& udev,
                      const std::optional<VolumeId>& id) {
  if (id && id->kind == "CDFS" && !id->label.empty()) return id->label;
  std::string label = DecodeUdevEscapes(Property(udev, "ID_FS_LABEL_ENC"));
  if (label.empty()) label = Property(udev, "ID_FS_LABEL");
  if (label.empty()) label = ByLabelName(major(place.device), minor(place.device));
  if (!label.empty()) return Utf8ToAnsi(label);
  return id ? id->label : std::string();
}

std::string FolderName(const fs::path& folder, const fs::path& canonical) {
  std::string text = folder.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  std::string name = fs::path(text).filename().string();
  if (name.empty() || name == "." || name == "..") name = canonical.filename().string();
  return Utf8ToAnsi(name);
}

struct VolumeInformation {
  std::string label, serial = "00000000", fileSystem;
};

VolumeInformation ReadVolumeInformation(const Place& place, const fs::path& folder) {
  VolumeInformation info;
  UdevProperties udev;
  std::optional<VolumeId> id;
  if (place.mount) {
    if (!place.block.name.empty())
      udev = ReadUdevProperties(major(place.device), minor(place.device));
    id = ReadOwnId(place);
    info.fileSystem = FileSystemName(*place.mount, udev, id);
  }
  if (place.root) {
    info.label = RootLabel(place, udev, id).substr(0, kMaxLabel);
    info.serial = SerialText(RootSerial(place, udev, id));
  } else {
    // A plain folder stands for a disc of its own.
    info.label = FolderName(folder, place.canonical).substr(0, kMaxLabel);
    info.serial = SerialText(
        StableSerial(std::to_string(place.info.st_dev) + ":" + std::to_string(place.info.st_ino)));
  }
  return info;
}

std::uint32_t Clamp32(std::uint64_t value) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

// ---- TDiskInfo ----

TDiskInfo::TDiskInfo(const DriveMap& drives) : drives_(drives), drive_("C") { SetDrive("C"); }

void TDiskInfo::SetDrive(std::string_view value) {
  if (value.empty()) return;
  const std::optional<fs::path> folder = drives_.FolderOf(value.front());
  if (!folder) return;
  std::error_code ec;
  if (fs::is_regular_file(*folder, ec)) {
    if (const std::unique_ptr<DiscImage> image = DiscImage::Open(*folder)) {
      // A disc image: the disc's facts as a drive holding it would give them.
      drive_.assign(1, value.front());
      volumeName_ = image->Label().substr(0, kMaxLabel);
      serialNumber_ = SerialText(image->Serial());
      fileSystemType_ = image->FileSystem();
      wholeVolume_ = true;
      bytesPerSector_ = image->BlockSize();
      sectorsPerCluster_ = 1;
      clusters_ = Clamp32(image->VolumeBytes() / image->BlockSize());
      freeClusters_ = 0;
      totalDiskSpace_ = MegabytesText(image->VolumeBytes());
      diskFreeSpace_ = MegabytesText(0);
      usedBytes_ = image->VolumeBytes();
    }
    return;
  }
  if (!CanOpenFolder(*folder)) return;
  drive_.assign(1, value.front());

  const std::optional<Place> place = Locate(*folder);
  const VolumeInformation info =
      place ? ReadVolumeInformation(*place, *folder) : VolumeInformation{};
  volumeName_ = info.label;
  serialNumber_ = info.serial;
  fileSystemType_ = info.fileSystem;
  wholeVolume_ = !place || place->root;
  usedBytes_ = 0;

  struct statvfs space;
  if (!place || statvfs(folder->c_str(), &space) != 0) return;
  bytesPerSector_ = place->block.logicalBlockSize ? place->block.logicalBlockSize : 512;
  sectorsPerCluster_ = std::max<std::uint32_t>(1, Clamp32(space.f_frsize / bytesPerSector_));
  clusters_ = Clamp32(space.f_blocks);
  freeClusters_ = Clamp32(space.f_bavail);
  totalDiskSpace_ = MegabytesText(std::uint64_t{space.f_blocks} * space.f_frsize);
  diskFreeSpace_ = MegabytesText(std::uint64_t{space.f_bavail} * space.f_frsize);
  if (wholeVolume_ && space.f_blocks >= space.f_bfree)
    usedBytes_ = std::uint64_t{space.f_blocks - space.f_bfree} * space.f_frsize;
}

std::string TDiskInfo::DriveType() const {
  const std::optional<fs::path> folder =
      drive_.empty() ? std::nullopt : drives_.FolderOf(drive_.front());
  std::error_code ec;
  if (folder && fs::is_regular_file(*folder, ec) && DiscImage::Open(*folder)) return "CDROM";
  const std::optional<Place> place = folder ? Locate(*folder) : std::nullopt;
  if (!place) return "Root Directory does not exist";
  if (!place->mount) return "No Type Information";
  const MountEntry& mount = *place->mount;
  const std::string& name = place->block.name;
  if (IsOpticalMount(mount) || name.starts_with("sr") ||
      (!name.empty() && Property(ReadUdevProperties(mount.major, mount.minor), "ID_CDROM") == "1"))
    return "CDROM";
  if (IsRemoteMount(mount)) return "Remote";
  if (IsRamMount(mount) || name.starts_with("ram") || name.starts_with("zram")) return "RamDisk";
  if (name.empty()) return "No Type Information";
  return place->block.removable ? "Removable" : "Fixed";
}

// ---- Pure rules ----

std::string SerialText(std::uint32_t serial) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(serial));
  return text;
}

std::string MegabytesText(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

std::optional<std::uint32_t> BootSectorSerial(std::string_view sector) {
  switch (ClassifyBootSector(sector)) {
    case BootKind::kNtfs:
      return Le32(sector, 0x48);
    case BootKind::kExFat:
      return Le32(sector, 0x64);
    case BootKind::kFat32:
      if (HasExtendedSignature(sector, 0x42)) return Le32(sector, 0x43);
      return std::nullopt;
    case BootKind::kFat:
      if (HasExtendedSignature(sector, 0x26)) return Le32(sector, 0x27);
      return std::nullopt;
    case BootKind::kNone:
      break;
  }
  return std::nullopt;
}

std::string BootSectorFileSystem(std::string_view sector) {
  switch (ClassifyBootSector(sector)) {
    case BootKind::kNtfs:
      return "NTFS";
    case BootKind::kExFat:
      return "exFAT";
    case BootKind::kFat32:
      return "FAT32";
    case BootKind::kFat:
      return "FAT";
    case BootKind::kNone:
      break;
  }
  return {};
}

std::uint32_t IsoDescriptorSerial(std::string_view descriptor) {
  unsigned char sums[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < descriptor.size(); ++i)
    sums[i % 4] =
        static_cast<unsigned char>(sums[i % 4] + static_cast<unsigned char>(descriptor[i]));
  return std::uint32_t{sums[0]} << 24 | std::uint32_t{sums[1]} << 16 | std::uint32_t{sums[2]} << 8 |
         sums[3];
}

IsoDescriptors FindIsoDescriptors(std::string_view image) {
  IsoDescriptors found;
  for (std::size_t at = 16 * kIsoSector; at + kIsoSector <= image.size(); at += kIsoSector) {
    const std::string_view descriptor = image.substr(at, kIsoSector);
    if (descriptor.substr(1, 5) != "CD001") break;
    const unsigned char type = static_cast<unsigned char>(descriptor[0]);
    if (type == 255) break;
    if (type == 1 && !found.primary) found.primary = descriptor;
    if (type == 2 && !found.joliet && IsJoliet(descriptor)) found.joliet = descriptor;
  }
  return found;
}

std::optional<IsoVolume> ReadIsoVolume(std::string_view image) {
  const auto [primary, joliet] = FindIsoDescriptors(image);
  if (joliet) return IsoVolume{IsoDescriptorSerial(*joliet), JolietLabel(joliet->substr(40, 32))};
  if (primary)
    return IsoVolume{IsoDescriptorSerial(*primary),
                     TrimLabel(std::string(primary->substr(40, 32)))};
  return std::nullopt;
}

std::uint32_t StableSerial(std::string_view seed) {
  std::uint32_t hash = 2166136261u;
  for (char c : seed) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

std::string WindowsFileSystemName(std::string_view kernelName, std::string_view fatVersion) {
  const std::string name = LowerAZ(kernelName);
  if (name == "fuseblk") {
    // The second value names what the user-space driver serves.
    const std::string served = LowerAZ(fatVersion);
    return served.empty() || served == "fuseblk" ? "FUSEBLK" : WindowsFileSystemName(served, "");
  }
  if (name == "iso9660" || name == "cdfs") return "CDFS";
  if (name == "udf") return "UDF";
  if (name == "vfat") return EqualsNoCaseAZ(fatVersion, "FAT32") ? "FAT32" : "FAT";
  if (name == "msdos" || name == "fat") return "FAT";
  if (name == "fat32") return "FAT32";
  if (name == "exfat") return "exFAT";
  if (name == "ntfs" || name == "ntfs3") return "NTFS";
  return UpperAZ(kernelName);
}

}  // namespace zafirel
