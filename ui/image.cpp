#include "ui/image.hpp"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>
#include <jpeglib.h>

namespace zoq::ui {
namespace {

bool Acceptable(unsigned width, unsigned height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide;
}

bool DecodePng(std::string_view bytes, platform::Pixels& out) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  if (!Acceptable(image.width, image.height)) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  out.rgba.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  return true;
}

// libjpeg reports a fatal error by calling error_exit, which must not
// return: it jumps back to DecodeJpeg, which holds nothing with a destructor
// between the jump's two ends.
struct JpegTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void JpegFailed(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegTrap*>(info->err)->jump, 1); }
void JpegQuiet(j_common_ptr, int) {}

bool DecodeJpeg(std::string_view bytes, platform::Pixels& out) {
  jpeg_decompress_struct info;
  JpegTrap trap;
  info.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = JpegFailed;
  trap.manager.emit_message = JpegQuiet;
  if (setjmp(trap.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || !Acceptable(info.image_width, info.image_height)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_EXT_RGBA;
  jpeg_start_decompress(&info);
  const unsigned width = info.output_width, height = info.output_height;
  if (!Acceptable(width, height) || info.output_components != 4) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  out.rgba.assign(static_cast<std::size_t>(width) * height * 4, 0);
  while (info.output_scanline < height) {
    JSAMPROW row = out.rgba.data() + static_cast<std::size_t>(info.output_scanline) * width * 4;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  return true;
}

}  // namespace

std::optional<platform::Pixels> DecodePicture(std::string_view bytes) {
  platform::Pixels pixels;
  bool done = false;
  try {
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) == 0) {
      done = DecodePng(bytes, pixels);
    } else if (bytes.size() >= 3 && std::memcmp(bytes.data(), "\xFF\xD8\xFF", 3) == 0) {
      done = DecodeJpeg(bytes, pixels);
    }
  } catch (...) {
    done = false;
  }
  if (!done) return std::nullopt;
  return pixels;
}

}  // namespace zoq::ui
