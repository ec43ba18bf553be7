// The plain controls (buttons, picture boxes, labels, tabs and tool-tips) and
// what every window of the settings windows is asked or told.
#include "platform/gui_parts.hpp"
#include "platform/code_pages.hpp"

#include <commctrl.h>

namespace zoq::platform {

HWND Child(const wchar_t* windowClass, const std::wstring& text, DWORD style, HWND parent, int x, int y, int w,
           int h, DWORD exStyle) {
  return CreateWindowExW(exStyle, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         nullptr, OwnModule(), nullptr);
}

LRESULT HandledThenRepainted(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = DefSubclassProc(control, message, wParam, lParam);
  InvalidateRect(control, nullptr, FALSE);
  return result;
}

int LineHeight(HWND control) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return metrics.tmHeight > 0 ? metrics.tmHeight : 16;
}

ModuleHandle OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

WindowHandle CreateButton(WindowHandle parent, int x, int y, int width, int height, const std::string& captionGbk) {
  return Child(L"BUTTON", GbkToWide(captionGbk), BS_OWNERDRAW | BS_NOTIFY | WS_TABSTOP, parent, x, y, width, height);
}

WindowHandle CreatePictureButton(WindowHandle parent, int x, int y, int width, int height) {
  return Child(L"BUTTON", L"", BS_OWNERDRAW | WS_TABSTOP, parent, x, y, width, height);
}

WindowHandle CreatePictureBox(WindowHandle parent, int x, int y, int width, int height) {
  return Child(L"STATIC", L"", SS_OWNERDRAW, parent, x, y, width, height);
}

WindowHandle CreateLabel(WindowHandle parent, int x, int y, int width, int height, const std::string& textGbk,
                         bool centred) {
  return Child(L"STATIC", GbkToWide(textGbk), (centred ? SS_CENTER : SS_LEFT) | SS_CENTERIMAGE, parent, x, y, width,
               height);
}

WindowHandle CreateTabs(WindowHandle parent, int x, int y, int width, int height,
                        const std::vector<std::string>& pagesGbk) {
  HWND tabs = Child(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS, parent, x, y, width, height);
  if (!tabs) return nullptr;
  for (std::size_t i = 0; i < pagesGbk.size(); ++i) {
    std::wstring caption = GbkToWide(pagesGbk[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  return tabs;
}

void SelectTab(WindowHandle tabs, int page) { SendMessageW(tabs, TCM_SETCURSEL, page, 0); }
int SelectedTab(WindowHandle tabs) { return static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0)); }

void SetFont(WindowHandle control, FontHandle font) {
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void Redraw(WindowHandle window) { InvalidateRect(window, nullptr, FALSE); }
void SetFocusTo(WindowHandle window) { SetFocus(window); }
WindowHandle FocusedWindow() { return GetFocus(); }
void PostClose(WindowHandle window) { PostMessageW(window, WM_CLOSE, 0, 0); }
bool IsAlive(WindowHandle window) { return window && IsWindow(window); }

bool IsEnabled(WindowHandle window) { return IsWindowEnabled(window) != 0; }
WindowHandle ParentOf(WindowHandle window) { return GetParent(window); }
bool IsVisible(WindowHandle window) { return IsWindowVisible(window) != 0; }
void RaiseAboveSiblings(WindowHandle window) {
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void ShowWindowNow(WindowHandle window) {
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
}

Rect WindowRect(WindowHandle window) {
  RECT r{};
  GetWindowRect(window, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void MoveWindowTo(WindowHandle window, int left, int top) {
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Rect ScreenRect() { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

void Click(WindowHandle button) { SendMessageW(button, BM_CLICK, 0, 0); }

void AddToolTip(WindowHandle owner, WindowHandle tool, const std::string& textGbk) {
  HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, OwnModule(),
                             nullptr);
  if (!tip) return;
  std::wstring text = GbkToWide(textGbk);
  TOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = owner;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = text.data();
  SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 400);  // lets CR LF break the tip's lines
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace zoq::platform
