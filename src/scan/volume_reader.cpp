#include "scan/volume_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>

#include "scan/disk_info.h"
#include "util/bytes.h"
#include "util/codepage.h"
#include "util/file_handle.h"
#include "util/file_writer.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 30> kPseudoTypes = {
    "proc",       "sysfs",       "devtmpfs", "devpts",          "tmpfs",
    "ramfs",      "securityfs",  "debugfs",  "tracefs",         "mqueue",
    "pstore",     "bpf",         "autofs",   "fusectl",         "configfs",
    "hugetlbfs",  "binfmt_misc", "efivarfs", "rpc_pipefs",      "nsfs",
    "selinuxfs",  "nfsd",        "devfs",    "fuse.gvfsd-fuse", "fuse.portal",
    "fuse.lxcfs", "cgroup",      "cgroup2",  "zonefs",          "fuse.xdg-document-portal"};

constexpr std::array<std::string_view, 14> kRemoteTypes = {
    "nfs",   "nfs4",      "cifs",       "smb3",        "smbfs",          "9p",   "ceph", "afs",
    "ncpfs", "glusterfs", "fuse.sshfs", "fuse.rclone", "fuse.glusterfs", "davfs"};

template <std::size_t N>
bool OneOf(std::string_view name, const std::array<std::string_view, N>& names) {
  for (std::string_view candidate : names)
    if (name == candidate) return true;
  return false;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// A sysfs attribute without its line end; empty when it is missing.
std::string ReadAttribute(const fs::path& path) {
  std::string text = ReadWholeFile(path).value_or(std::string());
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::uint64_t ReadNumber(const fs::path& path) {
  const std::string text = ReadAttribute(path);
  std::uint64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::string DeviceNumber(std::uint32_t major, std::uint32_t minor) {
  return std::to_string(major) + ":" + std::to_string(minor);
}

bool AtOrUnder(const std::string& path, const std::string& folder) {
  if (folder == "/") return true;
  return StartsWith(path, folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The label a FAT boot sector carries behind its extended signature 0x29
// ("NO NAME" means none); OEM text.
std::string FatBootLabel(std::string_view sector, std::string_view kind) {
  const std::size_t signature = kind == "FAT32" ? 0x42 : 0x26;
  if (static_cast<unsigned char>(sector[signature]) != 0x29) return {};
  std::string label(sector.substr(signature + 5, 11));
  while (!label.empty() && (label.back() == ' ' || label.back() == '\0')) label.pop_back();
  return label == "NO NAME" ? std::string() : OemToAnsi(label);
}

}  // namespace

bool IsPseudoFileSystem(const MountEntry& mount) {
  const std::string_view type = mount.fileSystem;
  if (OneOf(type, kPseudoTypes) || StartsWith(type, "cgroup")) return true;
  if (type == "overlay") return mount.mountPoint != "/";
  if (type == "squashfs")  // snap packages
    return StartsWith(mount.mountPoint.string(), "/snap/") ||
           mount.source.find("/snapd/") != std::string::npos;
  return false;
}

bool IsOpticalMount(const MountEntry& mount) {
  return mount.fileSystem == "iso9660" || mount.fileSystem == "udf" ||
         StartsWith(mount.source, "/dev/sr") || mount.major == 11;
}

bool IsRemoteMount(const MountEntry& mount) {
  if (OneOf(std::string_view(mount.fileSystem), kRemoteTypes)) return true;
  const std::string& source = mount.source;
  if (StartsWith(source, "//")) return true;
  return !source.empty() && source.front() != '/' && source.find(':') != std::string::npos;
}

bool IsRamMount(const MountEntry& mount) {
  return mount.fileSystem == "tmpfs" || mount.fileSystem == "ramfs" ||
         StartsWith(mount.source, "/dev/ram") || StartsWith(mount.source, "/dev/zram");
}

std::optional<MountEntry> MountHolding(const std::vector<MountEntry>& mounts,
                                       const std::filesystem::path& canonicalFolder,
                                       std::uint64_t device) {
  const std::string folder = canonicalFolder.string();
  const MountEntry* best = nullptr;
  bool bestSameDevice = false;
  for (const MountEntry& mount : mounts) {
    const std::string point = mount.mountPoint.string();
    if (!AtOrUnder(folder, point)) continue;
    const bool sameDevice = makedev(mount.major, mount.minor) == device;
    const bool better =
        best == nullptr || (sameDevice && !bestSameDevice) ||
        (sameDevice == bestSameDevice && point.size() >= best->mountPoint.string().size());
    if (better) best = &mount, bestSameDevice = sameDevice;
  }
  if (best == nullptr) return std::nullopt;
  return *best;
}

BlockDevice ReadBlockDevice(std::uint32_t major, std::uint32_t minor) {
  BlockDevice device;
  std::error_code error;
  const fs::path node = fs::canonical("/sys/dev/block/" + DeviceNumber(major, minor), error);
  if (error) return device;
  device.name = node.filename().string();
  // A partition keeps its disk's flags and queue in the folder above it.
  const bool partition = fs::exists(node / "partition", error);
  const fs::path disk = partition ? node.parent_path() : node;
  device.removable = ReadAttribute(disk / "removable") == "1";
  device.logicalBlockSize =
      static_cast<std::uint32_t>(ReadNumber(disk / "queue" / "logical_block_size"));
  const std::string backing = ReadAttribute(disk / "loop" / "backing_file");
  if (!backing.empty()) {
    device.backingFile = backing;
    device.backingOffset = ReadNumber(disk / "loop" / "offset");
    if (partition) device.backingOffset += ReadNumber(node / "start") * 512;
  }
  return device;
}

UdevProperties ParseUdevData(std::string_view text) {
  UdevProperties properties;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    const std::size_t equals = line.find('=');
    if (StartsWith(line, "E:") && equals != std::string_view::npos)
      properties.emplace(line.substr(2, equals - 2), line.substr(equals + 1));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return properties;
}

UdevProperties ReadUdevProperties(std::uint32_t major, std::uint32_t minor) {
  return ParseUdevData(
      ReadWholeFile("/run/udev/data/b" + DeviceNumber(major, minor)).value_or(std::string()));
}

std::string DecodeUdevEscapes(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
        HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string ByLabelName(std::uint32_t major, std::uint32_t minor) {
  std::error_code error;
  for (fs::directory_iterator it("/dev/disk/by-label", error), end; !error && it != end;
       it.increment(error)) {
    struct stat target;
    if (stat(it->path().c_str(), &target) == 0 && S_ISBLK(target.st_mode) &&
        target.st_rdev == makedev(major, minor))
      return DecodeUdevEscapes(it->path().filename().string());
  }
  return {};
}

std::string ReadVolumeStart(const std::filesystem::path& device, std::uint64_t offset,
                            std::size_t size) {
  const FileDescriptor file =
      FileDescriptor::Open(device, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (!file.valid()) return {};
  const int fd = file.get();
  std::string bytes;
  struct stat info;
  if (fstat(fd, &info) == 0 && (S_ISBLK(info.st_mode) || S_ISREG(info.st_mode))) {
    bytes.resize(size);
    const ssize_t got = ReadAtOffset(fd, offset, bytes.data(), size);
    bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  }
  return bytes;
}

namespace {

// A label field: NUL-terminated UTF-8 at most width bytes long, as ANSI.
std::string SuperblockLabel(std::string_view bytes, std::size_t at, std::size_t width) {
  std::string_view field = bytes.substr(at, width);
  field = field.substr(0, field.find('\0'));
  return Utf8ToAnsi(field);
}

// The first four bytes of a 16-byte UUID, read as its text's first eight
// hex digits: the same whatever folder the volume is mounted on.
std::uint32_t UuidSerial(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The Linux file systems' own superblocks: ext2/3/4 at 1024 (magic 0xEF53 at
// +56, UUID at +104, label of 16 at +120), XFS at 0 ("XFSB", UUID at +32,
// label of 12 at +108) and Btrfs at 64 KiB ("_BHRfS_M" at +64, UUID at +32,
// label of 256 at +299).
std::optional<VolumeId> LinuxSuperblock(std::string_view start) {
  constexpr std::size_t kExt = 1024, kBtrfs = 0x10000;
  if (start.size() >= kExt + 136 && static_cast<unsigned char>(start[kExt + 56]) == 0x53 &&
      static_cast<unsigned char>(start[kExt + 57]) == 0xEF) {
    const std::uint32_t compat = bytes::GetU32(start.data() + kExt + 92);
    const std::uint32_t incompat = bytes::GetU32(start.data() + kExt + 96);
    const char* kind = (incompat & ~0x6u) != 0 ? "EXT4" : (compat & 0x4u) != 0 ? "EXT3" : "EXT2";
    return VolumeId{UuidSerial(start, kExt + 104), SuperblockLabel(start, kExt + 120, 16), kind};
  }
  if (start.size() >= 120 && start.substr(0, 4) == "XFSB")
    return VolumeId{UuidSerial(start, 32), SuperblockLabel(start, 108, 12), "XFS"};
  if (start.size() >= kBtrfs + 555 && start.substr(kBtrfs + 64, 8) == "_BHRfS_M")
    return VolumeId{UuidSerial(start, kBtrfs + 32), SuperblockLabel(start, kBtrfs + 299, 256),
                    "BTRFS"};
  return std::nullopt;
}

// A label in UTF-16 little-endian, as ANSI.
std::string Utf16LeLabel(std::string_view bytes) {
  std::string big(bytes.substr(0, bytes.size() & ~std::size_t{1}));
  for (std::size_t i = 0; i + 1 < big.size(); i += 2) std::swap(big[i], big[i + 1]);
  return Utf8ToAnsi(Ucs2BeToUtf8(big));
}

// The bytes at from within the volume, at most size of them; empty when the
// place lies past what a label needs to read.
std::string ReadWithin(const fs::path& device, std::uint64_t offset, std::uint64_t from,
                       std::size_t size) {
  if (from > (std::uint64_t{1} << 44)) return {};  // 16 TiB: no real boot sector says so
  return ReadVolumeStart(device, offset + from, size);
}

// NTFS keeps its label in the volume file, record 3 of the master file
// table, as the value of its volume name attribute (0x60).
std::string NtfsLabel(const fs::path& device, std::uint64_t offset, std::string_view sector) {
  const std::uint32_t sectorBytes = bytes::GetU16(sector.data() + 0x0B);
  const auto sectorsByte = static_cast<unsigned char>(sector[0x0D]);
  // Clusters past 128 sectors are written as a negative power of two.
  if (sectorsByte > 0x80 && 256 - sectorsByte > 16) return {};
  const std::uint64_t clusterSectors =
      sectorsByte <= 0x80 ? sectorsByte : std::uint64_t{1} << (256 - sectorsByte);
  const std::uint64_t clusterBytes = sectorBytes * clusterSectors;
  const auto perRecord = static_cast<signed char>(sector[0x40]);
  const std::uint64_t recordBytes = perRecord > 0     ? perRecord * clusterBytes
                                    : perRecord > -31 ? std::uint64_t{1} << -perRecord
                                                      : 0;
  std::uint64_t mft = 0;
  for (int i = 7; i >= 0; --i) mft = mft << 8 | static_cast<unsigned char>(sector[0x30 + i]);
  if (sectorBytes < 256 || clusterBytes == 0 || recordBytes < 512 || recordBytes > 65536 ||
      mft > (std::uint64_t{1} << 40) / std::max<std::uint64_t>(clusterBytes, 1))
    return {};
  std::string record = ReadWithin(device, offset, mft * clusterBytes + 3 * recordBytes,
                                  static_cast<std::size_t>(recordBytes));
  if (record.size() != recordBytes || record.compare(0, 4, "FILE") != 0) return {};
  // Each 512-byte stride ends in the update number; the array keeps the
  // bytes that belong there.
  const std::uint16_t fixupsAt = bytes::GetU16(record.data() + 4);
  const std::uint16_t fixups = bytes::GetU16(record.data() + 6);
  if (fixups < 2 || fixupsAt + std::size_t{2} * fixups > record.size() ||
      (fixups - 1) * std::size_t{512} > record.size())
    return {};
  for (std::size_t i = 1; i < fixups; ++i) {
    const std::size_t end = i * 512 - 2;
    if (record.compare(end, 2, record, fixupsAt, 2) != 0) return {};  // torn
    record.replace(end, 2, record, fixupsAt + 2 * i, 2);
  }
  for (std::size_t at = bytes::GetU16(record.data() + 0x14); at + 24 <= record.size();) {
    const std::uint32_t type = bytes::GetU32(record.data() + at);
    const std::uint32_t length = bytes::GetU32(record.data() + at + 4);
    if (type == 0xFFFFFFFF || length < 24 || length > record.size() - at) break;
    if (type == 0x60 && record[at + 8] == 0) {
      const std::uint32_t valueLength = bytes::GetU32(record.data() + at + 16);
      const std::uint16_t valueAt = bytes::GetU16(record.data() + at + 20);
      if (valueAt > length || valueLength > length - valueAt) return {};
      return Utf16LeLabel(std::string_view(record).substr(at + valueAt, valueLength));
    }
    at += length;
  }
  return {};
}

// exFAT keeps its label in an entry (type 0x83) of the root folder, whose
// first cluster the boot sector names.
std::string ExFatLabel(const fs::path& device, std::uint64_t offset, std::string_view sector) {
  const auto sectorShift = static_cast<unsigned char>(sector[108]);
  const auto clusterShift = static_cast<unsigned char>(sector[109]);
  const std::uint32_t heap = bytes::GetU32(sector.data() + 88);
  const std::uint32_t root = bytes::GetU32(sector.data() + 96);
  if (sectorShift < 9 || sectorShift > 12 || clusterShift > 25 - sectorShift || root < 2) return {};
  const std::uint64_t clusterBytes = std::uint64_t{1} << (sectorShift + clusterShift);
  const std::string folder =
      ReadWithin(device, offset, (std::uint64_t{heap} << sectorShift) + (root - 2) * clusterBytes,
                 static_cast<std::size_t>(std::min<std::uint64_t>(clusterBytes, 65536)));
  for (std::size_t at = 0; at + 32 <= folder.size(); at += 32) {
    const auto type = static_cast<unsigned char>(folder[at]);
    if (type == 0x00) break;  // the end of the folder
    if (type != 0x83) continue;
    const std::size_t characters =
        std::min<std::size_t>(static_cast<unsigned char>(folder[at + 1]), 11);
    return Utf16LeLabel(std::string_view(folder).substr(at + 2, 2 * characters));
  }
  return {};
}

}  // namespace

std::string VolumeLabelInside(const fs::path& device, std::uint64_t offset,
                              std::string_view start) {
  if (start.size() < 512) return {};
  const std::string_view sector = start.substr(0, 512);
  const std::string kind = BootSectorFileSystem(sector);
  if (kind == "NTFS") return NtfsLabel(device, offset, sector);
  if (kind == "exFAT") return ExFatLabel(device, offset, sector);
  return {};
}

std::optional<VolumeId> IdentifyVolume(std::string_view start) {
  if (std::optional<IsoVolume> iso = ReadIsoVolume(start))
    return VolumeId{iso->serial, iso->label, "CDFS"};
  const std::string_view sector = start.substr(0, 512);
  std::string kind = BootSectorFileSystem(sector);
  if (kind.empty()) return LinuxSuperblock(start);
  VolumeId id{BootSectorSerial(sector), {}, kind};
  if (kind == "FAT" || kind == "FAT32") id.label = FatBootLabel(sector, kind);
  return id;
}

}  // namespace zafirel
