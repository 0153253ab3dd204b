// The first sectors of a volume (FAT, exFAT, NTFS boot sectors, ISO 9660 and
// Joliet descriptors), as read from a disc: identified or refused.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scan/volume_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zafirel::IdentifyVolume(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
