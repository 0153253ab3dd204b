// The UDF side of a disc image (ECMA-167 as OSTA UDF 1.02 to 2.60 records
// it): the volume recognition sequence, the anchor, the volume descriptors
// (primary, partitions, logical volume), physical, sparable, virtual (VAT)
// and metadata partitions, the file set descriptor, file entries and file
// identifiers. The label is the logical volume's identifier, the serial is
// the one Windows gives such a volume (byte-lane sums of the file set
// descriptor), the size the partitions' end.
#pragma once

#include <memory>
#include <optional>

#include "scan/disc_image.h"

namespace zafirel {

class UdfImage final : public DiscImage {
 public:
  // Nothing when the file holds no UDF volume whose root can be read.
  static std::unique_ptr<UdfImage> Open(const std::filesystem::path& file);

  const char* FileSystem() const override { return "UDF"; }
  std::vector<ImageEntry> List(const ImageEntry& folder) const override;

 private:
  struct Extent {
    std::uint64_t offset = 0;  // in the image
    std::uint64_t length = 0;
  };
  // What a file entry says: its kind, size, date and where its data lie.
  struct Node {
    unsigned char type = 0;  // 4 for a folder
    std::uint64_t at = 0;    // the entry's own place in the image
    std::uint64_t size = 0;
    std::time_t modified = 0;
    std::vector<Extent> data;  // merged where they run on
    bool whole = true;         // every byte of the data lies in the image
  };
  struct Partition {
    enum class Kind { kPhysical, kVirtual, kMetadata } kind = Kind::kPhysical;
    std::uint16_t number = 0;        // the partition descriptor's number
    std::uint64_t start = 0;         // physical: its first block in the image
    std::uint64_t length = 0;        // physical: its blocks
    std::size_t under = 0;           // virtual: the physical map it lies on
    std::vector<std::uint32_t> vat;  // virtual: each block's place in the one under it
    std::vector<Extent> metadata;    // metadata: the metadata file in the image
  };

  UdfImage() = default;
  std::optional<std::uint64_t> Place(std::size_t partition, std::uint64_t block) const;
  std::optional<Node> ReadNode(std::size_t partition, std::uint32_t block) const;
  bool AddData(Node& node, std::size_t partition, std::uint32_t block, std::uint64_t length,
               std::uint64_t& work) const;
  std::string ReadData(const Node& node, std::uint64_t most) const;
  bool LoadVat(Partition& virtualMap, std::string& label);
  bool LoadMetadata(Partition& metadataMap, std::size_t under, std::uint32_t location);

  std::vector<Partition> partitions_;  // in the logical volume's map order
};

}  // namespace zafirel
