// Cover pictures: JPEG decoding and encoding (through libjpeg) of plain RGB
// pixels, and the geometry of a picture shown shrunk to fit and centred.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zafirel {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3 bytes, rows top down
  bool empty() const { return width <= 0 || height <= 0; }
};

// The quality pictures are stored at: small files that still read well.
inline constexpr int kCoverJpegQuality = 85;

// True when the bytes begin like a JPEG file.
bool LooksLikeJpeg(std::string_view bytes);

// Covers are scans of a box or a sleeve: a picture declaring more pixels is
// refused before anything that size is allocated, so a few crafted bytes
// cannot claim gigabytes.
inline constexpr std::uint64_t kMaxCoverPixels = 30'000'000;

// The pixels of a JPEG file (grey and CMYK pictures come out as RGB);
// nothing when the bytes are not a JPEG the library can read, or when the
// picture declares more than maxPixels pixels.
std::optional<Picture> DecodeJpeg(std::string_view bytes,
                                  std::uint64_t maxPixels = kMaxCoverPixels);

// A baseline JPEG file of the picture at the quality (1 to 100); empty for an
// empty picture or when the library fails.
std::string EncodeJpeg(const Picture& picture, int quality);

struct PictureRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const PictureRect&) const = default;
};

// Where a picture of width w and height h is drawn in an area: with stretch
// on, shrunk to fit keeping its shape (never enlarged, lengths truncated);
// with centre on, centred in the area, else at its top-left corner.
PictureRect FitPicture(int w, int h, const PictureRect& area, bool stretch, bool centre);

}  // namespace zafirel
