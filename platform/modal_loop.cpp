// The modal loop of the settings windows.
#include "platform/gui_parts.hpp"

#include <commctrl.h>

#include <vector>

namespace zoq::platform {
namespace {

struct DisabledWindows {
  HWND modal;
  std::vector<HWND> windows;

  void EnableAgain() {
    for (HWND w : windows) {
      if (IsWindow(w)) EnableWindow(w, TRUE);
    }
    windows.clear();
  }
};

BOOL CALLBACK DisableOther(HWND w, LPARAM p) {
  auto* d = reinterpret_cast<DisabledWindows*>(p);
  if (w != d->modal && IsWindowVisible(w) && IsWindowEnabled(w)) {
    EnableWindow(w, FALSE);
    d->windows.push_back(w);
  }
  return TRUE;
}

constexpr UINT_PTR kModalSubclass = 2;

// The windows disabled for the modal one are enabled again as it is hidden
// (the first thing its destruction does), before the system looks for the
// window that takes the activation after it: its owner, then, and not none.
LRESULT CALLBACK EnableBeforeHiding(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                    DWORD_PTR data) {
  if (message == WM_WINDOWPOSCHANGING && (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_HIDEWINDOW) &&
      IsWindowVisible(window)) {
    reinterpret_cast<DisabledWindows*>(data)->EnableAgain();
  } else if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, EnableBeforeHiding, id);
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void RunModal(WindowHandle window) {
  DisabledWindows disabled{window, {}};
  EnumThreadWindows(GetCurrentThreadId(), DisableOther, reinterpret_cast<LPARAM>(&disabled));
  SetWindowSubclass(window, EnableBeforeHiding, kModalSubclass, reinterpret_cast<DWORD_PTR>(&disabled));
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
  if (IsWindow(window)) RemoveWindowSubclass(window, EnableBeforeHiding, kModalSubclass);
  disabled.EnableAgain();
}

}  // namespace zoq::platform
