// Archives met while cataloguing: the description of any bytes named .ZIP.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scan/zip_description.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const zafirel::ZipDescription found =
      zafirel::DescribeArchiveBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  // A description can never break the line it goes into.
  if (found.text.size() > 255 || found.text.find_first_of(";\\\r\n") != std::string::npos)
    __builtin_trap();
  return 0;
}
