// Cover pictures: any bytes stored as a picture are decoded or refused,
// never crash, and never cost memory out of proportion.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "browse/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto picture = zafirel::DecodeJpeg(bytes)) {
    // What decodes is whole: one RGB triple a pixel.
    if (picture->rgb.size() != static_cast<std::size_t>(picture->width) * picture->height * 3)
      __builtin_trap();
  }
  return 0;
}
