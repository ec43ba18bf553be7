// The edit box: Tab leaves a multi-line box and Esc goes to the window, a
// box of digits takes digits only, a single-line box keeps its line in the
// middle.
#include "platform/gui_parts.hpp"

#include <commctrl.h>

namespace zoq::platform {
namespace {

bool IsDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= 0xFF10 && c <= 0xFF19); }

// Makes the window's frame (what lies around its client area) be measured again.
void FrameChanged(HWND window) {
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// A single-line box keeps its line in the middle: its client area is one line
// high, the rows above and below it are painted in the box's background and
// take clicks as the line does.
LRESULT CentredLine(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCALCSIZE: {
      const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
      RECT& r = wParam ? reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : *reinterpret_cast<RECT*>(lParam);
      const int room = (r.bottom - r.top) - LineHeight(edit);
      if (room > 1) r.top += room / 2, r.bottom -= room - room / 2;
      return result;
    }
    case WM_SETFONT: {
      const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
      FrameChanged(edit);
      return result;
    }
    case WM_NCPAINT: {
      RECT window, client;
      GetWindowRect(edit, &window);
      GetClientRect(edit, &client);
      MapWindowPoints(edit, nullptr, reinterpret_cast<POINT*>(&client), 2);
      OffsetRect(&client, -window.left, -window.top);
      OffsetRect(&window, -window.left, -window.top);
      HDC dc = GetWindowDC(edit);
      const bool plain = IsWindowEnabled(edit) && !(GetWindowLongW(edit, GWL_STYLE) & ES_READONLY);
      auto brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(edit), plain ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC,
                                                         reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edit)));
      ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
      FillRect(dc, &window, brush ? brush : GetSysColorBrush(COLOR_WINDOW));
      ReleaseDC(edit, dc);
      return 0;
    }
    case WM_NCHITTEST: {
      const LRESULT hit = DefSubclassProc(edit, message, wParam, lParam);
      return hit == HTNOWHERE || hit == HTBORDER ? HTCLIENT : hit;
    }
    default:
      return DefSubclassProc(edit, message, wParam, lParam);
  }
}

// Every edit box: Tab leaves a multi-line box (which would keep it) and Esc
// goes to the window (in a multi-line box it would close the box's parent),
// a box of digits refuses everything else, and a single-line box keeps its
// line in the middle.
constexpr DWORD_PTR kMultiLine = 1, kDigitsOnly = 2;
LRESULT CALLBACK EditProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR kind) {
  switch (message) {
    case WM_NCCALCSIZE:
    case WM_SETFONT:
    case WM_NCPAINT:
    case WM_NCHITTEST:
      if (!(kind & kMultiLine)) return CentredLine(edit, message, wParam, lParam);
      break;
    case WM_GETDLGCODE:
      if ((kind & kMultiLine) && (KeyAskedAbout(lParam) == VK_TAB || KeyAskedAbout(lParam) == VK_ESCAPE)) {
        return DefSubclassProc(edit, message, wParam, lParam) & ~(DLGC_WANTALLKEYS | DLGC_WANTTAB);
      }
      break;
    case WM_CHAR:
      if ((kind & kDigitsOnly) && wParam >= L' ' && !IsDigit(static_cast<wchar_t>(wParam))) return 0;
      break;
    case WM_PASTE:
      if (kind & kDigitsOnly) {
        std::wstring digits;
        for (wchar_t c : ClipboardWide()) {
          if (IsDigit(c)) digits += c;
        }
        SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(digits.c_str()));
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(edit, EditProcedure, 2);
      break;
    default:
      break;
  }
  return DefSubclassProc(edit, message, wParam, lParam);
}

}  // namespace

WindowHandle CreateEdit(WindowHandle parent, int x, int y, int width, int height, const EditStyle& style) {
  DWORD flags = WS_TABSTOP | (style.centred ? ES_CENTER : ES_LEFT);
  flags |= style.multiLine ? ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL : ES_AUTOHSCROLL;
  HWND edit = Child(L"EDIT", L"", flags, parent, x, y, width, height);
  if (!edit) return nullptr;
  // Without a limit of its own (0), a box takes as much as a file can hold
  // (the control's default is 30,000 characters).
  SendMessageW(edit, EM_SETLIMITTEXT, style.limit, 0);
  const DWORD_PTR kind = (style.multiLine ? kMultiLine : 0) | (style.digitsOnly ? kDigitsOnly : 0);
  SetWindowSubclass(edit, EditProcedure, 2, kind);
  if (!style.multiLine) FrameChanged(edit);
  return edit;
}

void CaretToEnd(WindowHandle edit, int before) {
  const int at = GetWindowTextLengthW(edit) - before;
  SendMessageW(edit, EM_SETSEL, at, at);
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

void SelectAllText(WindowHandle edit) { SendMessageW(edit, EM_SETSEL, 0, -1); }

}  // namespace zoq::platform
