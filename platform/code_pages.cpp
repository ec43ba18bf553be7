#include "platform/code_pages.hpp"

#include <windows.h>

#include <string_view>

namespace zoq::platform {
namespace {

std::string WideToAnsi(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::string FileTextAsAnsi(const std::string& bytes) {
  const std::string_view b(bytes);
  if (b.starts_with("\xEF\xBB\xBF")) {
    const std::string_view utf8 = b.substr(3);
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return WideToAnsi(wide.data(), static_cast<int>(wide.size()));
  }
  const bool little = b.starts_with("\xFF\xFE"), big = b.starts_with("\xFE\xFF");
  if (little || big) {
    std::wstring wide;
    for (std::size_t i = 2; i + 1 < b.size(); i += 2) {
      const unsigned char lo = static_cast<unsigned char>(b[little ? i : i + 1]);
      const unsigned char hi = static_cast<unsigned char>(b[little ? i + 1 : i]);
      wide.push_back(static_cast<wchar_t>(lo | (hi << 8)));
    }
    return WideToAnsi(wide.data(), static_cast<int>(wide.size()));
  }
  return bytes;
}

}  // namespace zoq::platform
