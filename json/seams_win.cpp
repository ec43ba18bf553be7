// Windows side of the seams: code page 936, the shell's word order and the
// system's random source.
#include "json/seams.hpp"

#include <windows.h>
#include <ntsecapi.h>

namespace zoq::json::seam {

bool GbkToUtf16(std::string_view gbk, std::u16string& out, bool strict) {
  out.clear();
  if (gbk.empty()) return true;
  // A GBK text never has more UTF-16 characters than bytes: one pass suffices.
  out.resize(gbk.size());
  const int n = MultiByteToWideChar(936, strict ? MB_ERR_INVALID_CHARS : 0, gbk.data(), static_cast<int>(gbk.size()),
                                    reinterpret_cast<wchar_t*>(out.data()), static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return n > 0;
}

std::string Utf16ToGbk(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* w = reinterpret_cast<const wchar_t*>(text.data());
  const int len = static_cast<int>(text.size());
  // At most two bytes per UTF-16 character: one pass suffices.
  std::string out(text.size() * 2, '\0');
  const int n = WideCharToMultiByte(936, 0, w, len, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

int CompareKeys(const char16_t* a, const char16_t* b, bool ignoreCase) {
  const auto* x = reinterpret_cast<const wchar_t*>(a);
  const auto* y = reinterpret_cast<const wchar_t*>(b);
  return ignoreCase ? lstrcmpiW(x, y) : lstrcmpW(x, y);
}

void IndexSecret(std::uint32_t key[2]) {
  if (RtlGenRandom(key, 2 * sizeof key[0])) return;
  // Should the source fail, the clocks and ids of the moment stand in.
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  key[0] = static_cast<std::uint32_t>(counter.QuadPart) ^ GetCurrentProcessId() << 16;
  key[1] = static_cast<std::uint32_t>(GetTickCount64() * 2654435761u) ^ reinterpret_cast<std::uintptr_t>(&counter);
}

}  // namespace zoq::json::seam
