// The modal loop of the settings windows.
#include "platform/gui_parts.hpp"

#include <vector>

namespace zoq::platform {
namespace {

struct DisabledWindows {
  HWND modal;
  std::vector<HWND> windows;
};

BOOL CALLBACK DisableOther(HWND w, LPARAM p) {
  auto* d = reinterpret_cast<DisabledWindows*>(p);
  if (w != d->modal && IsWindowVisible(w) && IsWindowEnabled(w)) {
    EnableWindow(w, FALSE);
    d->windows.push_back(w);
  }
  return TRUE;
}

}  // namespace

void RunModal(WindowHandle window) {
  DisabledWindows disabled{window, {}};
  EnumThreadWindows(GetCurrentThreadId(), DisableOther, reinterpret_cast<LPARAM>(&disabled));
  MSG msg;
  while (IsWindow(window)) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    if (IsWindow(window) && IsDialogMessageW(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // Left for a quit (or a failed loop) with the window still there: it is
  // closed here, where its owner is whole, so that what the owner typed is
  // kept and the controls' last notices (focus lost) reach an object that
  // still stands.
  if (IsWindow(window)) DestroyWindow(window);
  for (HWND w : disabled.windows) {
    if (IsWindow(w)) EnableWindow(w, TRUE);
  }
}

}  // namespace zoq::platform
