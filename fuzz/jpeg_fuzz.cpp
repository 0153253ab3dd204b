// Cover pictures: any bytes stored as a picture are decoded or refused,
// never crash, and never cost memory out of proportion.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "browse/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Damaged data still decodes to the declared size, so a picture of tens of
  // megapixels costs seconds an input under the sanitizers; the same code
  // path runs with a smaller limit, which keeps the campaign fast.
  constexpr std::uint64_t kFuzzMaxPixels = 1'000'000;
  if (const auto picture = zafirel::DecodeJpeg(bytes, kFuzzMaxPixels)) {
    // What decodes is whole: one RGB triple a pixel.
    if (picture->rgb.size() != static_cast<std::size_t>(picture->width) * picture->height * 3)
      __builtin_trap();
  }
  return 0;
}
