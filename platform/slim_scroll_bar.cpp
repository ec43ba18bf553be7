// The slim scroll bar that stands for a list's or an edit box's own.
#include "platform/gui_parts.hpp"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace zoq::platform {
namespace {

// A scroll bar of our own for a list or an edit box (CreateScrollBarFor):
// shared by the bar's subclass and the control's, freed with the bar.
struct ScrollCover {
  HWND control = nullptr, bar = nullptr;
  bool list = false;
  Colour track = 0, thumb = 0;
  int grab = -1;  // while the thumb is dragged: where it was taken, from its top
  // What the bar shows: the first row or line in view, how many there are,
  // how many are in view.
  struct State {
    int first = 0, count = 0, page = 1;
    bool operator==(const State&) const = default;
  } shown;
  bool reading = false;
};

ScrollCover::State ScrollStateOf(ScrollCover& c) {
  c.reading = true;
  ScrollCover::State s;
  if (c.list) {
    s.first = static_cast<int>(SendMessageW(c.control, LVM_GETTOPINDEX, 0, 0));
    s.count = static_cast<int>(SendMessageW(c.control, LVM_GETITEMCOUNT, 0, 0));
    s.page = static_cast<int>(SendMessageW(c.control, LVM_GETCOUNTPERPAGE, 0, 0));
  } else {
    RECT r;
    GetClientRect(c.control, &r);
    s.first = static_cast<int>(SendMessageW(c.control, EM_GETFIRSTVISIBLELINE, 0, 0));
    s.count = static_cast<int>(SendMessageW(c.control, EM_GETLINECOUNT, 0, 0));
    s.page = r.bottom / LineHeight(c.control);
  }
  c.reading = false;
  if (s.page < 1) s.page = 1;
  return s;
}

// The thumb's top and height in a bar of `height` pixels; height 0 when all is in view.
std::pair<int, int> ThumbOf(const ScrollCover::State& s, int height) {
  if (s.count <= s.page) return {0, 0};
  const int size = std::max(16, static_cast<int>(static_cast<long long>(height) * s.page / s.count));
  return {static_cast<int>(static_cast<long long>(height - size) * s.first / (s.count - s.page)), size};
}

void ScrollTo(ScrollCover& c, int first) {
  const ScrollCover::State s = ScrollStateOf(c);
  const int rows = std::clamp(first, 0, std::max(0, s.count - s.page)) - s.first;
  if (rows == 0) return;
  if (c.list) {
    RECT row{LVIR_BOUNDS};
    SendMessageW(c.control, LVM_GETITEMRECT, s.first, reinterpret_cast<LPARAM>(&row));
    SendMessageW(c.control, LVM_SCROLL, 0, rows * (row.bottom - row.top));
  } else {
    SendMessageW(c.control, EM_LINESCROLL, 0, rows);
  }
}

// The control of a bar: whatever it handles may scroll it or change its rows
// or lines; the bar follows.
LRESULT CALLBACK ScrolledProcedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR data) {
  auto& c = *reinterpret_cast<ScrollCover*>(data);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(control, ScrolledProcedure, 5);
    c.control = nullptr;
    return DefSubclassProc(control, message, wParam, lParam);
  }
  const LRESULT result = DefSubclassProc(control, message, wParam, lParam);
  if (!c.reading && message != WM_PAINT && message != WM_NCPAINT && message != WM_ERASEBKGND &&
      message != WM_NCHITTEST && message != WM_SETCURSOR && !(c.shown == ScrollStateOf(c))) {
    InvalidateRect(c.bar, nullptr, FALSE);
  }
  return result;
}

LRESULT CALLBACK ScrollBarProcedure(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto& c = *reinterpret_cast<ScrollCover*>(data);
  RECT r;
  GetClientRect(bar, &r);
  const int y = static_cast<short>(HIWORD(lParam));
  switch (message) {
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(bar, &ps);
      if (c.control) c.shown = ScrollStateOf(c);
      const auto [top, size] = ThumbOf(c.shown, r.bottom);
      Buffered(dc, 0, 0, r.right, r.bottom, [&](Painter& p) {
        p.Fill(0, 0, r.right, r.bottom, c.track);
        if (size) p.Fill(2, top + 1, r.right - 4, size - 2, c.grab >= 0 ? Blend(c.thumb, 0xFFFFFF, 25) : c.thumb);
      });
      EndPaint(bar, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN: {
      if (!c.control) return 0;
      const ScrollCover::State s = ScrollStateOf(c);
      const auto [top, size] = ThumbOf(s, r.bottom);
      if (!size) return 0;
      if (y < top || y >= top + size) {  // a page towards the click
        ScrollTo(c, s.first + (y < top ? -s.page : s.page));
        return 0;
      }
      c.grab = y - top;
      SetCapture(bar);
      InvalidateRect(bar, nullptr, FALSE);
      return 0;
    }
    case WM_MOUSEMOVE: {
      if (c.grab < 0 || !c.control) return 0;
      // The row or line whose place in the bar the thumb's top has reached.
      const ScrollCover::State s = ScrollStateOf(c);
      const long long room = r.bottom - ThumbOf(s, r.bottom).second;
      if (room > 0) ScrollTo(c, static_cast<int>(((y - c.grab) * (s.count - s.page) + room / 2) / room));
      return 0;
    }
    case WM_LBUTTONUP:
      if (c.grab >= 0) ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      c.grab = -1;
      InvalidateRect(bar, nullptr, FALSE);
      return 0;
    case WM_MOUSEWHEEL:
      if (c.control) SendMessageW(c.control, message, wParam, lParam);
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(bar, ScrollBarProcedure, 4);
      if (c.control) RemoveWindowSubclass(c.control, ScrolledProcedure, 5);
      delete &c;
      break;
    default:
      break;
  }
  return DefSubclassProc(bar, message, wParam, lParam);
}

}  // namespace

WindowHandle CreateScrollBarFor(WindowHandle control, int x, int y, int width, int height, Colour track,
                                Colour thumb) {
  HWND bar = Child(L"STATIC", L"", 0, GetParent(control), x, y, width, height);
  if (!bar) return nullptr;
  wchar_t className[32] = {};
  GetClassNameW(control, className, 32);
  auto* cover = new ScrollCover{control, bar, lstrcmpiW(className, WC_LISTVIEWW) == 0, track, thumb};
  SetWindowSubclass(bar, ScrollBarProcedure, 4, reinterpret_cast<DWORD_PTR>(cover));
  SetWindowSubclass(control, ScrolledProcedure, 5, reinterpret_cast<DWORD_PTR>(cover));
  // Over the control: a control that reaches under the bar leaves it alone.
  SetWindowLongW(control, GWL_STYLE, GetWindowLongW(control, GWL_STYLE) | WS_CLIPSIBLINGS);
  SetWindowPos(bar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return bar;
}

int SystemScrollBarWidth() { return GetSystemMetrics(SM_CXVSCROLL); }

}  // namespace zoq::platform
