// The first sectors of a volume (FAT, exFAT, NTFS boot sectors, ISO 9660 and
// Joliet descriptors), as read from a disc: identified or refused; and the
// NTFS and exFAT labels read from inside the same bytes taken as the volume.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "scan/volume_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  zafirel::IdentifyVolume(bytes);
  static const int volume = memfd_create("volume", 0);
  if (volume < 0 || ftruncate(volume, 0) != 0 ||
      pwrite(volume, data, size, 0) != static_cast<ssize_t>(size))
    return 0;
  zafirel::VolumeLabelInside("/proc/self/fd/" + std::to_string(volume), 0, bytes);
  return 0;
}
