// What the widget files of platform/gui.hpp share, for those files alone (it
// brings in <windows.h>): colours as GDI takes them, the kept brushes,
// painting through a memory bitmap, child windows, and the parts of the
// lists that the form's window procedure hands their items to.
#pragma once
#include <windows.h>

#include <string>

#include "platform/gui.hpp"

namespace zoq::platform {

// The rows of the drop-down and report lists, in pixels.
inline constexpr int kRowHeight = 16;

inline COLORREF Ref(Colour c) { return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }
inline Colour FromRef(COLORREF c) { return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c); }
// `a` mixed with `percentOfB` per cent of `b`.
Colour Blend(Colour a, Colour b, int percentOfB);

// A solid brush of the colour, kept while a form class is registered
// (KeepBrushes when one is, ReleaseBrushes when it goes).
HBRUSH BrushOf(Colour c);
void KeepBrushes();
void ReleaseBrushes();

// The receiver of a window made with a form class.
inline FormEvents* EventsOf(HWND window) {
  return reinterpret_cast<FormEvents*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Paints through a memory bitmap, so that a repaint does not flicker.
template <typename Paint>
void Buffered(HDC target, int x, int y, int w, int h, Paint&& paint) {
  if (w <= 0 || h <= 0) return;
  HDC memory = CreateCompatibleDC(target);
  HBITMAP surface = CreateCompatibleBitmap(target, w, h);
  HGDIOBJ old = SelectObject(memory, surface);
  Painter painter(memory);
  paint(painter);
  BitBlt(target, x, y, w, h, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(surface);
  DeleteDC(memory);
}

// A visible child window of the module's.
HWND Child(const wchar_t* windowClass, const std::wstring& text, DWORD style, HWND parent, int x, int y, int w, int h,
           DWORD exStyle = 0);
// A subclassed control handles the message as it would, then repaints: what
// it draws of its state has changed.
LRESULT HandledThenRepainted(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
// The key of a WM_GETDLGCODE query, when the message asked about is a key-down.
inline WPARAM KeyAskedAbout(LPARAM lParam) {
  const auto* asked = reinterpret_cast<const MSG*>(lParam);
  return asked && asked->message == WM_KEYDOWN ? asked->wParam : 0;
}
// The height of a line of text in the control's font.
int LineHeight(HWND control);
// The clipboard's text; empty when there is none or the clipboard refuses.
std::wstring ClipboardWide();

// The form's window procedure hands the lists their items:
// a drop-down list's item is drawn;
void DrawDropDownItem(FormEvents& events, const DRAWITEMSTRUCT& item);
// a report list's row is drawn (false: the list is not one of CreateReportList);
bool DrawReportRow(FormEvents& events, const DRAWITEMSTRUCT& item);
// a report list's notice is answered (the texts of its cells, its
// selections, the row the owner's typing finds).
LRESULT ReportListNotice(FormEvents& events, NMHDR& notice);

}  // namespace zoq::platform
