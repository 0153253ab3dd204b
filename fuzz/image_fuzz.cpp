// A disc image file (UDF, or ISO 9660 with Joliet or Rock Ridge) walked as a drive:
// every folder and file it lists, whatever its records hold, in bounded time.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "scan/drive_map.h"
#include "scan/find_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = memfd_create("image", 0);
  if (fd < 0) return 0;
  if (write(fd, data, size) == static_cast<ssize_t>(size)) {
    zafirel::DriveMap drives;
    drives.Map('D', "/proc/self/fd/" + std::to_string(fd));
    zafirel::TFindFile walker(drives);
    try {
      walker.SetLocation("D:\\");
      std::size_t events = 0;
      walker.OnFound = [&](zafirel::TFindFile&, const std::string&, zafirel::FileInfo&) {
        ++events;
      };
      walker.Execute();
    } catch (const zafirel::EFindFileError&) {
      // Not an image: refused as a drive that does not exist.
    }
  }
  close(fd);
  return 0;
}
