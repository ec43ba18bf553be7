// The drop-down list (an owner-drawn combo box) in the colours of its form:
// its face, its items and the frame of its dropped-down list.
#include "platform/gui_parts.hpp"
#include "platform/code_pages.hpp"

#include <commctrl.h>

namespace zoq::platform {

// A row of an owner-drawn drop-down list, in the control's colours whether
// it is enabled or not (a disabled list keeps its red warning red).
void DrawDropDownItem(FormEvents& events, const DRAWITEMSTRUCT& item) {
  Colour text = 0xFFFFFF, background = 0;
  events.ColoursOf(item.hwndItem, text, background);
  const bool lit = (item.itemState & ODS_SELECTED) && !(item.itemState & ODS_COMBOBOXEDIT);
  const RECT& r = item.rcItem;
  Painter painter(item.hDC);
  if (lit) text = FromRef(GetSysColor(COLOR_HIGHLIGHTTEXT)), background = FromRef(GetSysColor(COLOR_HIGHLIGHT));
  painter.Fill(r.left, r.top, r.right - r.left, r.bottom - r.top, background);
  if (item.itemID == static_cast<UINT>(-1)) return;
  const LRESULT length = SendMessageW(item.hwndItem, CB_GETLBTEXTLEN, item.itemID, 0);
  std::wstring wide(length > 0 ? length + 1 : 1, L'\0');
  if (length > 0) SendMessageW(item.hwndItem, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(wide.data()));
  wide.resize(length > 0 ? length : 0);
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
  painter.Text(WideToGbk(wide), r.left + 3, r.top, r.right - r.left - 3, r.bottom - r.top, text,
               static_cast<HFONT>(font), false);
}

namespace {

// The frame line of a drop-down list in its form's colours.
Colour ComboLine(FormEvents& events, HWND combo, bool lit) {
  Colour text = 0xFFFFFF, background = 0;
  events.ColoursOf(combo, text, background);
  return Blend(background, text, lit ? 80 : 40);
}

// The face of a drop-down list in its form's colours: the chosen item, a
// chevron and a thin frame, where the system would draw its light ones.
void PaintComboFace(FormEvents& events, HWND combo, HDC target) {
  RECT client;
  GetClientRect(combo, &client);
  const int w = client.right, h = client.bottom, arrow = h;
  Buffered(target, 0, 0, w, h, [&](Painter& p) {
    Colour text = 0xFFFFFF, background = 0;
    events.ColoursOf(combo, text, background);
    p.Fill(0, 0, w, h, background);
    const Colour line = ComboLine(events, combo, GetFocus() == combo);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_COMBOBOX;
    item.hwndItem = combo;
    item.hDC = p.dc();
    item.itemID = static_cast<UINT>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    item.itemState = ODS_COMBOBOXEDIT;
    item.rcItem = {1, 1, w - arrow, h - 1};
    DrawDropDownItem(events, item);
    for (int i = 0; i < 4; ++i) {  // the chevron
      p.Fill(w - arrow / 2 - 4 + i, h / 2 - 2 + i, 2, 1, line);
      p.Fill(w - arrow / 2 + 2 - i, h / 2 - 2 + i, 2, 1, line);
    }
    p.Frame(0, 0, w, h, line);
  });
}

// The dropped-down list of a drop-down list: framed as the face is, where the
// system draws its light frame.
LRESULT CALLBACK DroppedListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR combo) {
  if (message == WM_NCDESTROY) RemoveWindowSubclass(list, DroppedListProcedure, 7);
  const LRESULT result = DefSubclassProc(list, message, wParam, lParam);
  FormEvents* events = EventsOf(GetParent(reinterpret_cast<HWND>(combo)));
  if (message == WM_NCPAINT && events) {
    RECT r;
    GetWindowRect(list, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC dc = GetWindowDC(list);
    Painter p(dc);
    const Colour line = ComboLine(*events, reinterpret_cast<HWND>(combo), false);
    p.Frame(0, 0, w, h, line);
    ReleaseDC(list, dc);
  }
  return result;
}

LRESULT CALLBACK ComboProcedure(HWND combo, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      FormEvents* events = EventsOf(GetParent(combo));
      if (!events) break;
      PAINTSTRUCT ps{};
      HDC dc = message == WM_PAINT ? BeginPaint(combo, &ps) : reinterpret_cast<HDC>(wParam);
      PaintComboFace(*events, combo, dc);
      if (message == WM_PAINT) EndPaint(combo, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
      return HandledThenRepainted(combo, message, wParam, lParam);
    case WM_NCDESTROY:
      RemoveWindowSubclass(combo, ComboProcedure, 3);
      break;
    default:
      break;
  }
  return DefSubclassProc(combo, message, wParam, lParam);
}

}  // namespace

WindowHandle CreateDropDownList(WindowHandle parent, int x, int y, int width, int height) {
  // The height includes the dropped-down list.
  const DWORD style = CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP;
  HWND combo = Child(L"COMBOBOX", L"", style, parent, x, y, width, height + 120);
  if (!combo) return nullptr;
  SetWindowSubclass(combo, ComboProcedure, 3, 0);
  COMBOBOXINFO parts{};
  parts.cbSize = sizeof parts;
  if (GetComboBoxInfo(combo, &parts) && parts.hwndList)
    SetWindowSubclass(parts.hwndList, DroppedListProcedure, 7, reinterpret_cast<DWORD_PTR>(combo));
  return combo;
}

void AddListItem(WindowHandle combo, const std::string& textGbk) {
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(GbkToWide(textGbk).c_str()));
}

void SelectListItem(WindowHandle combo, int item) { SendMessageW(combo, CB_SETCURSEL, item, 0); }
int SelectedListItem(WindowHandle combo) { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }
int ListItemCount(WindowHandle combo) { return static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0)); }

std::string ListItemText(WindowHandle combo, int item) {
  const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, item, 0);
  if (length == CB_ERR || length <= 0) return {};
  std::wstring text(length + 1, L'\0');
  const LRESULT got = SendMessageW(combo, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()));
  text.resize(got == CB_ERR ? 0 : got);
  return WideToGbk(text);
}

void ChooseListItem(WindowHandle combo, int item) {
  SendMessageW(combo, CB_SETCURSEL, item, 0);
  SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
}

}  // namespace zoq::platform
