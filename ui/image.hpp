// PNG and JPEG decoding of pictures that may come from the web: decoder
// errors are trapped and the dimensions capped; any failure gives nothing.
#pragma once
#include <optional>
#include <string_view>

#include "platform/gui.hpp"

namespace zoq::ui {

// Larger pictures are refused (no window shows more than 800 pixels).
inline constexpr int kMaxPictureSide = 2048;

std::optional<platform::Pixels> DecodePicture(std::string_view bytes);

}  // namespace zoq::ui
