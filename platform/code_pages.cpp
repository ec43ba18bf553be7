#include "platform/code_pages.hpp"

#include <windows.h>

#include <memory>
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

const std::array<std::uint16_t, 0x10000>& LowerCaseOfDoubleBytes() {
  static const std::unique_ptr<std::array<std::uint16_t, 0x10000>> table = [] {
    auto t = std::make_unique<std::array<std::uint16_t, 0x10000>>();
    for (std::size_t i = 0; i < t->size(); ++i) (*t)[i] = static_cast<std::uint16_t>(i);
    // Every character in one text, converted, lowered and compared in bulk.
    std::string all;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        all += static_cast<char>(lead);
        all += static_cast<char>(trail);
      }
    }
    const int count = static_cast<int>(all.size() / 2);
    std::wstring wide(all.size(), L'\0');
    const int n = MultiByteToWideChar(936, 0, all.data(), static_cast<int>(all.size()), wide.data(),
                                      static_cast<int>(wide.size()));
    if (n != count) return t;  // not one wide character each: leave every character to itself
    std::wstring lower(wide.data(), static_cast<std::size_t>(n));
    CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    for (int i = 0; i < n; ++i) {
      if (lower[i] == wide[i]) continue;
      char back[4];
      BOOL lossy = FALSE;
      const int m = WideCharToMultiByte(936, 0, &lower[i], 1, back, sizeof back, nullptr, &lossy);
      if (m != 2 || lossy) continue;
      const auto code = static_cast<std::uint16_t>((static_cast<unsigned char>(all[2 * i]) << 8) |
                                                   static_cast<unsigned char>(all[2 * i + 1]));
      (*t)[code] = static_cast<std::uint16_t>((static_cast<unsigned char>(back[0]) << 8) |
                                              static_cast<unsigned char>(back[1]));
    }
    return t;
  }();
  return *table;
}

}  // namespace zoq::platform
