// The ISO 9660 side of a disc image: volume facts from the volume
// descriptors, folders from the directory records. Names come from the
// Joliet tree when there is one (as Windows shows them), else from Rock Ridge
// NM entries, else the ISO 9660 names without their ";1" version.
#pragma once

#include <memory>

#include "scan/disc_image.h"

namespace zafirel {

class IsoImage final : public DiscImage {
 public:
  // Nothing when the file holds no ISO 9660 volume.
  static std::unique_ptr<IsoImage> Open(const std::filesystem::path& file);

  const char* FileSystem() const override { return "CDFS"; }
  std::vector<ImageEntry> List(const ImageEntry& folder) const override;

 private:
  IsoImage() = default;

  enum class Names { kIso, kJoliet, kRockRidge } names_ = Names::kIso;
  std::size_t susSkip_ = 0;  // bytes before the Rock Ridge entries in each record
};

}  // namespace zafirel
