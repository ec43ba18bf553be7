// The clipboard's text.
#include "platform/gui_parts.hpp"
#include "platform/code_pages.hpp"

#include <cstring>

namespace zoq::platform {

std::wstring ClipboardWide() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(GlobalLock(block))) {
      text = p;
      GlobalUnlock(block);
    }
  }
  CloseClipboard();
  return text;
}

bool SetClipboardText(const std::string& textGbk) {
  const std::wstring text = GbkToWide(textGbk);
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  bool done = false;
  if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
    if (void* p = GlobalLock(block)) {
      memcpy(p, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
      GlobalUnlock(block);
      done = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    }
    if (!done) GlobalFree(block);
  }
  CloseClipboard();
  return done;
}

std::string ClipboardText() { return WideToGbk(ClipboardWide()); }

}  // namespace zoq::platform
