#include "scan/udf_image.h"

#include <algorithm>
#include <map>

#include "scan/disk_info.h"
#include "util/bytes.h"
#include "util/codepage.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

// Descriptor tag identifiers.
constexpr std::uint16_t kAnchor = 2, kPointer = 3, kPartitionDescriptor = 5, kLogicalVolume = 6,
                        kTerminating = 8, kFileSet = 256, kFileId = 257, kAllocationExtent = 258,
                        kIndirect = 259, kFileEntry = 261, kExtendedFileEntry = 266;
// File types in an entry's ICB tag.
constexpr unsigned char kFolderType = 4, kMetadataFile = 250, kMetadataMirror = 251, kVatFile = 248;
// File characteristics in a file identifier.
constexpr unsigned char kHiddenId = 0x01, kFolderId = 0x02, kDeletedId = 0x04, kParentId = 0x08;
constexpr std::uint64_t kRecognition = 32768;  // where the volume recognition sequence begins
constexpr std::uint32_t kAnchorBlock = 256;
constexpr int kMaxHops = 8;                           // indirect entries, descriptor pointers
constexpr int kMaxContinuations = 256;                // allocation extents of one entry
constexpr std::uint64_t kMaxMappedBlocks = 1u << 22;  // block by block, per entry
constexpr std::uint32_t kNoBlock = 0xFFFFFFFF;

std::uint16_t Le16(std::string_view b, std::size_t at) { return bytes::GetU16(b.data() + at); }
std::uint32_t Le32(std::string_view b, std::size_t at) { return bytes::GetU32(b.data() + at); }
std::uint64_t Le64(std::string_view b, std::size_t at) {
  return std::uint64_t{Le32(b, at)} | std::uint64_t{Le32(b, at + 4)} << 32;
}

// A descriptor's identifier, when its 16-byte tag's checksum holds.
std::optional<std::uint16_t> TagOf(std::string_view d) {
  if (d.size() < 16) return std::nullopt;
  unsigned char sum = 0;
  for (std::size_t i = 0; i < 16; ++i)
    if (i != 4) sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(d[i]));
  if (sum != static_cast<unsigned char>(d[4])) return std::nullopt;
  return Le16(d, 0);
}

// OSTA compressed Unicode: a first byte of 8 for one byte per character
// (the first 256 code points), 16 for UTF-16 big-endian.
std::string CompressedToUtf8(std::string_view d) {
  if (d.empty()) return {};
  const unsigned char id = static_cast<unsigned char>(d[0]);
  d.remove_prefix(1);
  if (id == 8 || id == 254) {
    std::string wide;
    wide.reserve(2 * d.size());
    for (char c : d) {
      wide += '\0';
      wide += c;
    }
    return Ucs2BeToUtf8(wide);
  }
  if (id == 16 || id == 255) return Ucs2BeToUtf8(d.substr(0, d.size() & ~std::size_t{1}));
  return {};
}

// A fixed field whose last byte holds the length used.
std::string FieldToUtf8(std::string_view field) {
  if (field.empty()) return {};
  const std::size_t used = static_cast<unsigned char>(field.back());
  if (used >= field.size()) return {};
  std::string text = CompressedToUtf8(field.substr(0, used));
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

// A 12-byte timestamp: type and zone, year, month, day, hour, minute, second.
std::time_t Timestamp(std::string_view t) {
  const std::uint16_t typeAndZone = Le16(t, 0);
  int zone = typeAndZone & 0x0FFF;
  if (zone & 0x0800) zone -= 0x1000;  // minutes east of UTC, 12-bit signed
  std::tm when{};
  when.tm_year = static_cast<std::int16_t>(Le16(t, 2)) - 1900;
  when.tm_mon = static_cast<unsigned char>(t[4]) - 1;
  when.tm_mday = static_cast<unsigned char>(t[5]);
  when.tm_hour = static_cast<unsigned char>(t[6]);
  when.tm_min = static_cast<unsigned char>(t[7]);
  when.tm_sec = static_cast<unsigned char>(t[8]);
  if (when.tm_mon < 0 || when.tm_mon > 11 || when.tm_mday < 1 || when.tm_mday > 31 ||
      when.tm_hour > 23 || when.tm_min > 59 || when.tm_sec > 60)
    return 0;
  const std::time_t utc = timegm(&when);
  if ((typeAndZone >> 12) == 1 && zone >= -1440 && zone <= 1440) return utc - zone * 60;
  return utc;
}

// The volume recognition sequence holds a beginning, an NSR descriptor (UDF)
// and an end among descriptors 2048 bytes apart.
bool HasUdfRecognition(std::string_view sequence) {
  bool begun = false;
  for (std::size_t at = 0; at + 6 <= sequence.size(); at += 2048) {
    const std::string_view id = sequence.substr(at + 1, 5);
    if (id == "BEA01") {
      begun = true;
    } else if (id == "NSR02" || id == "NSR03") {
      if (begun) return true;
    } else if (id != "CD001" && id != "CDW02" && id != "BOOT2" && id != "TEA01") {
      return false;
    }
  }
  return false;
}

struct PartitionDescriptor {
  std::uint64_t start = 0, length = 0;
};

struct VolumeDescriptors {
  std::optional<std::string> logical;  // the logical volume descriptor
  std::map<std::uint16_t, PartitionDescriptor> partitions;
};

}  // namespace

std::optional<std::uint64_t> UdfImage::Place(std::size_t partition, std::uint64_t block) const {
  if (partition >= partitions_.size()) return std::nullopt;
  const Partition& p = partitions_[partition];
  switch (p.kind) {
    case Partition::Kind::kPhysical:
      if (block >= p.length) return std::nullopt;
      return (p.start + block) * blockSize_;
    case Partition::Kind::kVirtual: {
      if (block >= p.vat.size() || p.vat[block] == kNoBlock) return std::nullopt;
      const Partition& under = partitions_[p.under];
      if (p.vat[block] >= under.length) return std::nullopt;
      return (under.start + p.vat[block]) * blockSize_;
    }
    case Partition::Kind::kMetadata: {
      std::uint64_t offset = block * blockSize_;
      for (const Extent& extent : p.metadata) {
        if (offset < extent.length) return extent.offset + offset;
        offset -= extent.length;
      }
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// Adds length bytes from block of the partition to the node's data, merged
// with the run before where they follow it in the image.
bool UdfImage::AddData(Node& node, std::size_t partition, std::uint32_t block, std::uint64_t length,
                       std::uint64_t& work) const {
  const auto add = [&node](std::uint64_t offset, std::uint64_t bytes) {
    if (!node.data.empty() && node.data.back().offset + node.data.back().length == offset)
      node.data.back().length += bytes;
    else
      node.data.push_back({offset, bytes});
  };
  if (partition < partitions_.size() && partitions_[partition].kind == Partition::Kind::kPhysical) {
    const std::uint64_t blocks = (length + blockSize_ - 1) / blockSize_;
    const std::optional<std::uint64_t> first = Place(partition, block);
    const std::optional<std::uint64_t> last = Place(partition, block + blocks - 1);
    if (!first || !last) return false;
    add(*first, length);
    return true;
  }
  // Blocks of a virtual or metadata partition each lie where their map says.
  for (std::uint64_t done = 0; done < length; done += blockSize_) {
    if (++work > kMaxMappedBlocks) return false;
    const std::optional<std::uint64_t> at = Place(partition, block + done / blockSize_);
    if (!at) return false;
    add(*at, std::min<std::uint64_t>(blockSize_, length - done));
  }
  return true;
}

std::optional<UdfImage::Node> UdfImage::ReadNode(std::size_t partition, std::uint32_t block) const {
  std::string entry;
  std::optional<std::uint64_t> at;
  std::optional<std::uint16_t> tag;
  for (int hop = 0;; ++hop) {
    at = Place(partition, block);
    if (!at || hop > kMaxHops || !Spend(blockSize_)) return std::nullopt;
    entry = ReadAt(*at, blockSize_);
    tag = TagOf(entry);
    if (tag != kIndirect || entry.size() < 52) break;
    // An indirect entry names the entry that stands for this one.
    block = Le32(entry, 40);
    partition = Le16(entry, 44);
  }
  if (tag != kFileEntry && tag != kExtendedFileEntry) return std::nullopt;
  const bool extended = tag == kExtendedFileEntry;
  const std::size_t header = extended ? 216 : 176;
  if (entry.size() < header) return std::nullopt;
  Node node;
  node.at = *at;
  node.type = static_cast<unsigned char>(entry[27]);
  node.size = Le64(entry, 56);
  node.modified = Timestamp(std::string_view(entry).substr(extended ? 92 : 84, 12));
  const std::uint64_t attributes = Le32(entry, extended ? 208 : 168);
  const std::uint64_t descriptorBytes = Le32(entry, extended ? 212 : 172);
  if (header + attributes + descriptorBytes > entry.size()) return std::nullopt;
  const unsigned descriptorKind = Le16(entry, 34) & 0x07;
  if (descriptorKind == 3) {  // the data lie in the entry itself
    node.data.push_back(
        {*at + header + attributes, std::min<std::uint64_t>(node.size, descriptorBytes)});
    return node;
  }
  const std::size_t step = descriptorKind == 0 ? 8 : descriptorKind == 1 ? 16 : 20;
  if (descriptorKind > 2) return std::nullopt;
  std::string descriptors = entry.substr(header + attributes, descriptorBytes);
  std::uint64_t covered = 0, work = 0;
  int continuations = 0;
  for (std::size_t p = 0; p + step <= descriptors.size() && covered < node.size;) {
    const std::string_view d = std::string_view(descriptors).substr(p, step);
    p += step;
    const std::uint32_t raw = Le32(d, 0);
    const std::uint64_t length = raw & 0x3FFFFFFF;
    const unsigned kind = raw >> 30;
    if (length == 0) break;
    std::size_t where = partition;
    std::uint32_t first = Le32(d, 4);
    if (step == 16) where = Le16(d, 8);
    if (step == 20) {
      first = Le32(d, 12);
      where = Le16(d, 16);
    }
    if (kind == 3) {  // the descriptors go on in an allocation extent
      const std::optional<std::uint64_t> next = Place(where, first);
      if (!next || ++continuations > kMaxContinuations || !Spend(blockSize_)) {
        node.whole = false;
        break;
      }
      const std::string more = ReadAt(*next, blockSize_);
      const std::uint64_t moreBytes = more.size() >= 24 ? Le32(more, 20) : 0;
      if (TagOf(more) != kAllocationExtent || 24 + moreBytes > more.size()) {
        node.whole = false;
        break;
      }
      descriptors = more.substr(24, moreBytes);
      p = 0;
      continue;
    }
    const std::uint64_t take = std::min(length, node.size - covered);
    covered += take;
    if (kind != 0 || !AddData(node, where, first, take, work)) node.whole = false;
  }
  if (covered < node.size) node.whole = false;
  return node;
}

std::string UdfImage::ReadData(const Node& node, std::uint64_t most) const {
  std::string bytes;
  for (const Extent& extent : node.data) {
    if (bytes.size() >= most) break;
    const std::uint64_t take = std::min<std::uint64_t>(extent.length, most - bytes.size());
    if (extent.offset >= fileBytes_ || !Spend(std::min(take, fileBytes_ - extent.offset))) break;
    const std::string part = ReadAt(extent.offset, static_cast<std::size_t>(take));
    bytes += part;
    if (part.size() < take) break;
  }
  return bytes;
}

// The virtual allocation table: a file in the last written blocks of the
// image whose numbers give each virtual block's place in the partition under.
bool UdfImage::LoadVat(Partition& virtualMap, std::string& label) {
  const std::uint64_t blocks = fileBytes_ / blockSize_;
  const Partition& under = partitions_[virtualMap.under];
  for (std::uint64_t back = 1; back <= 32 && back <= blocks; ++back) {
    const std::uint64_t block = blocks - back;
    if (block < under.start || !Spend(blockSize_)) continue;
    const std::string entry = ReadAt(block * blockSize_, 32);
    const std::optional<std::uint16_t> tag = TagOf(entry);
    if ((tag != kFileEntry && tag != kExtendedFileEntry) || entry.size() < 28) continue;
    const unsigned char type = static_cast<unsigned char>(entry[27]);
    if (type != kVatFile && type != 0) continue;
    const std::optional<Node> node =
        ReadNode(virtualMap.under, static_cast<std::uint32_t>(block - under.start));
    if (!node) continue;
    const std::string table = ReadData(*node, std::min<std::uint64_t>(node->size, kMaxFolderBytes));
    std::size_t from = 0, to = table.size();
    if (type == kVatFile) {  // a header first, holding the volume's current name
      if (table.size() < 152) continue;
      from = Le16(table, 0);
      if (from < 152 || from > table.size()) continue;
      label = FieldToUtf8(std::string_view(table).substr(4, 128));
    } else {  // the older table ends with its identifier and a pointer
      if (table.size() < 36 || table.compare(table.size() - 35, 22, "*UDF Virtual Alloc Tbl") != 0)
        continue;
      to = table.size() - 36;
    }
    for (std::size_t at = from; at + 4 <= to; at += 4) virtualMap.vat.push_back(Le32(table, at));
    return true;
  }
  return false;
}

// The metadata partition's blocks are those of the metadata file (or of its
// mirror when the file cannot be read).
bool UdfImage::LoadMetadata(Partition& metadataMap, std::size_t under, std::uint32_t location) {
  const std::optional<Node> node = ReadNode(under, location);
  if (!node || (node->type != kMetadataFile && node->type != kMetadataMirror) || !node->whole)
    return false;
  metadataMap.metadata = node->data;
  return true;
}

std::unique_ptr<UdfImage> UdfImage::Open(const fs::path& file) {
  std::unique_ptr<UdfImage> opened(new UdfImage);
  UdfImage& image = *opened;
  if (!image.OpenFile(file)) return nullptr;
  if (!HasUdfRecognition(image.ReadAt(kRecognition, 32 * 2048))) return nullptr;

  // The anchor lies in block 256, or in the last block or 256 before it;
  // its own place, recorded in its tag, tells the block size.
  std::string anchor;
  for (const std::uint32_t size : {2048u, 512u, 1024u, 4096u, 8192u, 16384u, 32768u}) {
    const std::uint64_t last = image.fileBytes_ / size;
    for (const std::uint64_t block :
         {std::uint64_t{kAnchorBlock}, last - 1, last > 257 ? last - 257 : 0}) {
      if (block < kAnchorBlock || block >= last) continue;
      const std::string d = image.ReadAt(block * size, 512);
      if (TagOf(d) == kAnchor && Le32(d, 12) == block) {
        anchor = d;
        image.blockSize_ = size;
        break;
      }
    }
    if (!anchor.empty()) break;
  }
  if (anchor.empty()) return nullptr;
  const std::uint32_t size = image.blockSize_;

  // The main volume descriptor sequence, or the reserve one.
  VolumeDescriptors volume;
  for (const std::size_t extent : {16u, 24u}) {
    std::uint64_t length = Le32(anchor, extent), where = Le32(anchor, extent + 4);
    volume = {};
    for (int hop = 0; hop <= kMaxHops;) {
      bool moved = false;
      for (std::uint64_t i = 0; i < std::min<std::uint64_t>(length / size, 256); ++i) {
        const std::string d = image.ReadAt((where + i) * size, size);
        const std::optional<std::uint16_t> tag = TagOf(d);
        if (!tag || tag == kTerminating) break;
        if (tag == kPartitionDescriptor && d.size() >= 196) {
          volume.partitions[Le16(d, 22)] = {Le32(d, 188), Le32(d, 192)};
        } else if (tag == kLogicalVolume && d.size() >= 440 && !volume.logical) {
          volume.logical = d;
        } else if (tag == kPointer && d.size() >= 28) {
          length = Le32(d, 20);
          where = Le32(d, 24);
          moved = true;
          ++hop;
          break;
        }
      }
      if (!moved) break;
    }
    if (volume.logical && !volume.partitions.empty()) break;
  }
  if (!volume.logical || volume.partitions.empty()) return nullptr;
  const std::string_view logical = *volume.logical;
  if (Le32(logical, 212) != size) return nullptr;

  // The partition maps, in order: their numbers are what addresses name.
  struct Map {
    unsigned char type = 0;
    std::string kind;  // of a type 2 map
    std::uint16_t number = 0;
    std::uint32_t metadata = 0, mirror = 0;
  };
  std::vector<Map> maps;
  const std::size_t tableEnd =
      std::min<std::size_t>(logical.size(), 440 + std::uint64_t{Le32(logical, 264)});
  for (std::size_t at = 440; at + 2 <= tableEnd && maps.size() < 64;) {
    const unsigned char type = static_cast<unsigned char>(logical[at]);
    const std::size_t length = static_cast<unsigned char>(logical[at + 1]);
    if (length < 6 || at + length > tableEnd) break;
    const std::string_view m = logical.substr(at, length);
    at += length;
    Map map;
    map.type = type;
    if (type == 1) {
      map.number = Le16(m, 4);
    } else if (type == 2 && length >= 64) {
      map.kind = std::string(m.substr(5, 23));
      map.kind.resize(std::min(map.kind.size(), map.kind.find('\0')));
      map.number = Le16(m, 38);
      map.metadata = Le32(m, 40);
      map.mirror = Le32(m, 44);
    }
    maps.push_back(map);
  }
  const auto physical = [&](std::uint16_t number) {
    Partition p;
    if (const auto found = volume.partitions.find(number); found != volume.partitions.end()) {
      p.start = found->second.start;
      p.length = found->second.length;
    }
    p.number = number;
    return p;
  };
  for (const Map& map : maps) {
    Partition p = physical(map.number);
    if (map.kind == "*UDF Virtual Partition") p.kind = Partition::Kind::kVirtual;
    if (map.kind == "*UDF Metadata Partition") p.kind = Partition::Kind::kMetadata;
    image.partitions_.push_back(std::move(p));
  }
  // What virtual and metadata partitions lie on: the physical partition of
  // their number (a hidden map of its own where the volume names none).
  const auto physicalMap = [&](std::uint16_t number) {
    for (std::size_t i = 0; i < image.partitions_.size(); ++i)
      if (image.partitions_[i].kind == Partition::Kind::kPhysical &&
          image.partitions_[i].number == number)
        return i;
    image.partitions_.push_back(physical(number));
    return image.partitions_.size() - 1;
  };
  std::string vatLabel;
  for (std::size_t i = 0; i < maps.size(); ++i) {
    if (image.partitions_[i].kind != Partition::Kind::kVirtual) continue;
    const std::size_t under = physicalMap(maps[i].number);
    image.partitions_[i].under = under;
    Partition virtualMap = image.partitions_[i];
    if (image.LoadVat(virtualMap, vatLabel)) image.partitions_[i] = std::move(virtualMap);
  }
  for (std::size_t i = 0; i < maps.size(); ++i) {
    if (image.partitions_[i].kind != Partition::Kind::kMetadata) continue;
    // The metadata file is addressed in the virtual partition of its number
    // on write-once discs, else in the physical one.
    std::vector<std::size_t> candidates;
    for (std::size_t j = 0; j < maps.size(); ++j)
      if (image.partitions_[j].kind == Partition::Kind::kVirtual &&
          maps[j].number == maps[i].number)
        candidates.push_back(j);
    candidates.push_back(physicalMap(maps[i].number));
    Partition metadataMap = image.partitions_[i];
    bool loaded = false;
    for (const std::size_t under : candidates)
      for (const std::uint32_t location : {maps[i].metadata, maps[i].mirror})
        if (!loaded) loaded = image.LoadMetadata(metadataMap, under, location);
    if (loaded) image.partitions_[i] = std::move(metadataMap);
  }

  // The file set descriptor: the root folder, and the serial.
  const std::size_t fileSetPartition = Le16(logical, 256);
  const std::optional<std::uint64_t> fileSetAt = image.Place(fileSetPartition, Le32(logical, 252));
  if (!fileSetAt) return nullptr;
  const std::string fileSet = image.ReadAt(*fileSetAt, 512);
  if (fileSet.size() < 512 || TagOf(fileSet) != kFileSet) return nullptr;
  const std::uint32_t sums = IsoDescriptorSerial(fileSet);
  image.serial_ = (sums >> 24) | ((sums >> 8) & 0xFF00) | ((sums << 8) & 0xFF0000) | (sums << 24);
  const std::size_t rootPartition = Le16(fileSet, 408);
  const std::uint32_t rootBlock = Le32(fileSet, 404);
  const std::optional<Node> root = image.ReadNode(rootPartition, rootBlock);
  if (!root || root->type != kFolderType) return nullptr;
  image.root_.folder = true;
  image.root_.offset = root->at;
  image.root_.size = root->size;
  image.root_.modified = root->modified;
  image.root_.node = std::uint64_t{rootPartition} << 32 | rootBlock;

  const std::string label = vatLabel.empty() ? FieldToUtf8(logical.substr(84, 128)) : vatLabel;
  image.label_ = Utf8ToAnsi(label);
  std::uint64_t end = 0;
  for (const Partition& p : image.partitions_)
    if (p.kind == Partition::Kind::kPhysical) end = std::max(end, (p.start + p.length) * size);
  image.volumeBytes_ = end == 0 ? image.fileBytes_ : std::min(end, image.fileBytes_);
  return opened;
}

std::vector<ImageEntry> UdfImage::List(const ImageEntry& folder) const {
  std::vector<ImageEntry> entries;
  const std::optional<Node> node = ReadNode(static_cast<std::size_t>(folder.node >> 32),
                                            static_cast<std::uint32_t>(folder.node));
  if (!node || node->type != kFolderType) return entries;
  const std::string records = ReadData(*node, std::min(node->size, kMaxFolderBytes));
  const std::string_view all(records);
  for (std::size_t at = 0; at + 38 <= all.size() && entries.size() < kMaxEntries;) {
    const std::string_view id = all.substr(at);
    if (TagOf(id) != kFileId) break;  // damaged: what was read stands
    const unsigned char characteristics = static_cast<unsigned char>(id[18]);
    const std::size_t nameLength = static_cast<unsigned char>(id[19]);
    const std::size_t use = Le16(id, 36);
    if (38 + use + nameLength > id.size()) break;
    at += (38 + use + nameLength + 3) & ~std::size_t{3};
    if (characteristics & (kDeletedId | kParentId)) continue;
    ImageEntry entry;
    entry.name = CompressedToUtf8(id.substr(38 + use, nameLength));
    if (entry.name.empty()) continue;
    const std::size_t partition = Le16(id, 28);
    const std::uint32_t block = Le32(id, 24);
    const std::optional<Node> child = ReadNode(partition, block);
    if (!child) continue;
    entry.folder = (characteristics & kFolderId) != 0;
    entry.hidden = (characteristics & kHiddenId) != 0;
    entry.node = std::uint64_t{partition} << 32 | block;
    entry.size = child->size;
    entry.modified = child->modified;
    if (entry.folder) {
      entry.offset = child->at;
    } else {
      entry.offset = child->data.empty() ? 0 : child->data.front().offset;
      entry.contiguous = child->whole && child->data.size() <= 1;
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace zafirel
