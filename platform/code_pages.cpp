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

constexpr UINT kGbk = 936;

}  // namespace

std::wstring GbkToWide(std::string_view gbk) {
  if (gbk.empty()) return {};
  const int n = MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), n);
  return wide;
}

namespace {
std::string ToGbk(std::wstring_view wide, bool exact) {
  if (wide.empty()) return {};
  BOOL usedDefault = FALSE;
  BOOL* flag = exact ? &usedDefault : nullptr;
  const DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
  const int n =
      WideCharToMultiByte(kGbk, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, flag);
  if (n <= 0 || usedDefault) return {};
  std::string gbk(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kGbk, flags, wide.data(), static_cast<int>(wide.size()), gbk.data(), n, nullptr, flag);
  if (usedDefault) return {};
  return gbk;
}
}  // namespace

std::string WideToGbk(std::wstring_view wide) { return ToGbk(wide, false); }
std::string WideToGbkExact(std::wstring_view wide) { return ToGbk(wide, true); }

std::string FileTextAsAnsi(std::string bytes) {
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
  return bytes;  // moved out
}

}  // namespace zoq::platform
