// Windows side of the seams: code page 936 and the shell's word order.
#include "json/seams.hpp"

#include <windows.h>

namespace zoq::json::seam {

bool GbkToUtf16(std::string_view gbk, std::u16string& out) {
  out.clear();
  if (gbk.empty()) return true;
  const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), static_cast<int>(gbk.size()),
                                    nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), static_cast<int>(gbk.size()),
                             reinterpret_cast<wchar_t*>(out.data()), n) == n;
}

std::string Utf16ToGbk(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* w = reinterpret_cast<const wchar_t*>(text.data());
  const int len = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(936, 0, w, len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(936, 0, w, len, out.data(), n, nullptr, nullptr);
  return out;
}

int CompareKeys(const std::u16string& a, const std::u16string& b, bool ignoreCase) {
  const auto* x = reinterpret_cast<const wchar_t*>(a.c_str());
  const auto* y = reinterpret_cast<const wchar_t*>(b.c_str());
  return ignoreCase ? lstrcmpiW(x, y) : lstrcmpW(x, y);
}

}  // namespace zoq::json::seam
