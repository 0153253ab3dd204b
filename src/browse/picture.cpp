#include "browse/picture.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace zafirel {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// it jumps back to the call that set the mark.
struct ErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf mark;
};

void JumpBack(j_common_ptr info) {
  auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
  std::longjmp(trap->mark, 1);
}

void Silence(j_common_ptr, int) {}

ErrorTrap* InstallTrap(ErrorTrap& trap) {
  jpeg_std_error(&trap.manager);
  trap.manager.error_exit = JumpBack;
  trap.manager.emit_message = Silence;
  return &trap;
}

// A picture needing more of libjpeg's working memory is refused as well.
constexpr long kMaxDecoderMemory = 128L << 20;

// Kept free of objects with destructors: a jump out of it skips them.
bool DecodeInto(const unsigned char* data, unsigned long size, std::uint64_t maxPixels,
                Picture& out) {
  jpeg_decompress_struct info;
  ErrorTrap trap;
  info.err = &InstallTrap(trap)->manager;
  // Freed (and emptied) on every way out, a jump from libjpeg included.
  unsigned char* volatile rowBuffer = nullptr;
  if (setjmp(trap.mark)) {
    std::free(rowBuffer);
    rowBuffer = nullptr;
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = kMaxDecoderMemory;
  jpeg_mem_src(&info, data, size);
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const std::uint64_t declared = std::uint64_t{info.image_width} * info.image_height;
  if (declared == 0 || declared > maxPixels) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  const int channels = info.output_components;
  if (width <= 0 || height <= 0 ||
      std::uint64_t{info.output_width} * info.output_height > maxPixels ||
      (channels != 3 && channels != 4)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  out.width = width;
  out.height = height;
  out.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  out.rgb.shrink_to_fit();
  if (channels == 4) rowBuffer = static_cast<unsigned char*>(std::malloc(width * 4u));
  while (info.output_scanline < info.output_height) {
    unsigned char* target = out.rgb.data() + static_cast<std::size_t>(info.output_scanline) *
                                                 static_cast<std::size_t>(width) * 3;
    JSAMPROW row = channels == 4 ? rowBuffer : target;
    if (row == nullptr || jpeg_read_scanlines(&info, &row, 1) != 1) break;
    if (channels == 4) {
      // Adobe writes CMYK inverted: each value is already 255 minus ink.
      for (int x = 0; x < width; ++x) {
        const unsigned k = rowBuffer[x * 4 + 3];
        for (int c = 0; c < 3; ++c)
          target[x * 3 + c] = static_cast<unsigned char>(rowBuffer[x * 4 + c] * k / 255);
      }
    }
  }
  std::free(rowBuffer);
  rowBuffer = nullptr;  // a jump from what follows must not free it again
  if (info.output_scanline < info.output_height) {
    jpeg_abort_decompress(&info);
  } else {
    jpeg_finish_decompress(&info);
  }
  jpeg_destroy_decompress(&info);
  return true;
}

bool EncodeInto(const Picture& picture, int quality, unsigned char** buffer, unsigned long* size) {
  jpeg_compress_struct info;
  ErrorTrap trap;
  info.err = &InstallTrap(trap)->manager;
  if (setjmp(trap.mark)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, buffer, size);
  info.image_width = static_cast<JDIMENSION>(picture.width);
  info.image_height = static_cast<JDIMENSION>(picture.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row =
        const_cast<unsigned char*>(picture.rgb.data()) +
        static_cast<std::size_t>(info.next_scanline) * static_cast<std::size_t>(picture.width) * 3;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool LooksLikeJpeg(std::string_view bytes) {
  return bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
         static_cast<unsigned char>(bytes[1]) == 0xD8 &&
         static_cast<unsigned char>(bytes[2]) == 0xFF;
}

std::optional<Picture> DecodeJpeg(std::string_view bytes, std::uint64_t maxPixels) {
  if (!LooksLikeJpeg(bytes)) return std::nullopt;
  Picture picture;
  if (!DecodeInto(reinterpret_cast<const unsigned char*>(bytes.data()),
                  static_cast<unsigned long>(bytes.size()), maxPixels, picture))
    return std::nullopt;
  return picture;
}

std::string EncodeJpeg(const Picture& picture, int quality) {
  if (picture.empty() || picture.rgb.size() < static_cast<std::size_t>(picture.width) *
                                                  static_cast<std::size_t>(picture.height) * 3)
    return {};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const bool ok = EncodeInto(picture,
                             quality < 1     ? 1
                             : quality > 100 ? 100
                                             : quality,
                             &buffer, &size);
  std::string bytes;
  if (ok && buffer != nullptr) bytes.assign(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return bytes;
}

PictureRect FitPicture(int w, int h, const PictureRect& area, bool stretch, bool centre) {
  PictureRect out{area.left, area.top, w, h};
  const int W = area.width, H = area.height;
  if (stretch && w > 0 && h > 0 && (w > W || h > H)) {
    if (w > W && h <= H) {
      out.width = W;
      out.height = static_cast<int>(static_cast<long long>(W) * h / w);
    } else if (h > H && w <= W) {
      out.width = static_cast<int>(static_cast<long long>(w) * H / h);
      out.height = H;
    } else {
      out.width = W;
      const long long e = static_cast<long long>(W) * h / w;
      out.height = static_cast<int>(e);
      if (e > H) {
        out.width = static_cast<int>(static_cast<long long>(W) * H / e);
        out.height = H;
      }
    }
  }
  if (centre) {
    out.left = area.left + W / 2 - out.width / 2;
    out.top = area.top + H / 2 - out.height / 2;
  }
  return out;
}

}  // namespace zafirel
