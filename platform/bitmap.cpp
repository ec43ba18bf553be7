// Bitmaps made from decoded pixels.
#include "platform/gui_parts.hpp"

#include <type_traits>
#include <utility>

namespace zoq::platform {

static_assert(std::is_same_v<BitmapHandle, HBITMAP>);

Bitmap::Bitmap(const Pixels& pixels) {
  if (pixels.width <= 0 || pixels.height <= 0 ||
      pixels.rgba.size() != static_cast<std::size_t>(pixels.width) * pixels.height * 4) {
    return;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = pixels.width;
  info.bmiHeader.biHeight = -pixels.height;  // top down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return;
  auto* out = static_cast<std::uint8_t*>(bits);
  const std::uint8_t* in = pixels.rgba.data();
  for (std::size_t i = 0, n = pixels.rgba.size(); i < n; i += 4) {
    const unsigned a = in[i + 3];
    out[i + 0] = static_cast<std::uint8_t>(in[i + 2] * a / 255);  // premultiplied B, G, R
    out[i + 1] = static_cast<std::uint8_t>(in[i + 1] * a / 255);
    out[i + 2] = static_cast<std::uint8_t>(in[i + 0] * a / 255);
    out[i + 3] = static_cast<std::uint8_t>(a);
  }
  GdiFlush();
  bitmap_ = bitmap;
  width_ = pixels.width;
  height_ = pixels.height;
}

Bitmap::Bitmap(Bitmap&& other) noexcept
    : bitmap_(std::exchange(other.bitmap_, nullptr)), width_(other.width_), height_(other.height_) {}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
  if (this != &other) {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = std::exchange(other.bitmap_, nullptr);
    width_ = other.width_;
    height_ = other.height_;
  }
  return *this;
}

Bitmap::~Bitmap() {
  if (bitmap_) DeleteObject(bitmap_);
}

}  // namespace zoq::platform
