// An archive (ZIP, 7Z, RAR, TAR and its compressed forms, CAB) listed from
// its headers, with one level of archives inside: any bytes give a listing
// or none, within the listing's bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scan/archive_members.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zafirel::ListArchiveBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
