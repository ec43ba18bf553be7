#include "platform/gui.hpp"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

namespace zoq::platform {

static_assert(std::is_same_v<BitmapHandle, HBITMAP> && std::is_same_v<DeviceContext, HDC>);

namespace {

constexpr UINT kGbk = 936;
// The rows of the drop-down and report lists, in pixels.
constexpr int kRowHeight = 16;

std::wstring Wide(const std::string& gbk) {
  if (gbk.empty()) return {};
  const int size = static_cast<int>(gbk.size());
  const int n = MultiByteToWideChar(kGbk, 0, gbk.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(n, L'\0');
  MultiByteToWideChar(kGbk, 0, gbk.data(), size, out.data(), n);
  return out;
}

std::string Gbk(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(kGbk, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(n, '\0');
  WideCharToMultiByte(kGbk, 0, text.data(), length, out.data(), n, nullptr, nullptr);
  return out;
}

COLORREF Ref(Colour c) { return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }
Colour FromRef(COLORREF c) { return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c); }

// Solid brushes of the colours the windows ask for, kept while a form class
// is registered.
std::mutex brushLock;
std::map<Colour, HBRUSH>& Brushes() {
  static std::map<Colour, HBRUSH> brushes;
  return brushes;
}
HBRUSH BrushOf(Colour c) {
  std::lock_guard<std::mutex> lock(brushLock);
  HBRUSH& brush = Brushes()[c];
  if (!brush) brush = CreateSolidBrush(Ref(c));
  return brush;
}
int formClasses = 0;

FormEvents* EventsOf(HWND window) { return reinterpret_cast<FormEvents*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

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

// A row of an owner-drawn drop-down list, in the control's colours whether
// it is enabled or not (a disabled list keeps its red warning red).
void DrawListItem(FormEvents& events, const DRAWITEMSTRUCT& item) {
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
  painter.Text(Gbk(wide), r.left + 3, r.top, r.right - r.left - 3, r.bottom - r.top, text, static_cast<HFONT>(font),
               false);
}

Colour Blend(Colour a, Colour b, int percentOfB) {
  Colour out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int x = (a >> shift) & 0xFF, y = (b >> shift) & 0xFF;
    out |= static_cast<Colour>(x + (y - x) * percentOfB / 100) << shift;
  }
  return out;
}

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
    DrawListItem(events, item);
    for (int i = 0; i < 4; ++i) {  // the chevron
      p.Fill(w - arrow / 2 - 4 + i, h / 2 - 2 + i, 2, 1, line);
      p.Fill(w - arrow / 2 + 2 - i, h / 2 - 2 + i, 2, 1, line);
    }
    p.Frame(0, 0, w, h, line);
  });
}

// A subclassed control handles the message as it would, then repaints: what
// it draws of its state has changed.
LRESULT HandledThenRepainted(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = DefSubclassProc(control, message, wParam, lParam);
  InvalidateRect(control, nullptr, FALSE);
  return result;
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

// A report list (CreateReportList) keeps its look with its subclass, and
// repaints as it gains or loses the focus, whose mark it draws.
LRESULT CALLBACK ListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return HandledThenRepainted(list, message, wParam, lParam);
    case WM_NCDESTROY:
      RemoveWindowSubclass(list, ListProcedure, 6);
      delete reinterpret_cast<ListLook*>(data);
      break;
    default:
      break;
  }
  return DefSubclassProc(list, message, wParam, lParam);
}

const ListLook* LookOfList(HWND list) {
  DWORD_PTR data = 0;
  return GetWindowSubclass(list, ListProcedure, 6, &data) ? reinterpret_cast<const ListLook*>(data) : nullptr;
}

// Draws a row of a report list in its look, from the texts of its cells (as
// much of each as the list itself would show), over the list's whole width.
void DrawListRow(FormEvents& events, const ListLook& look, const DRAWITEMSTRUCT& item) {
  const HWND list = item.hwndItem;
  const int row = static_cast<int>(item.itemID);
  const RECT& r = item.rcItem;
  RECT client;
  GetClientRect(list, &client);
  const UINT state = static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_SELECTED | LVIS_FOCUSED));
  const bool selected = state & LVIS_SELECTED;
  const int h = r.bottom - r.top, w = std::max(client.right, r.right);
  Painter painter(item.hDC);
  painter.Fill(0, r.top, w, h, selected ? look.selectedBackground : look.background);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, Ref(selected ? look.selectedText : look.text));
  constexpr int kPadding = 6, kShown = 259;
  for (int column = 0, x = r.left;; ++column) {
    const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
    if (width <= 0) break;
    std::wstring text = Wide(events.CellText(list, row, column));
    if (text.size() > kShown) text.resize(kShown);
    RECT cell{x + kPadding, r.top, x + width - kPadding, r.bottom};
    DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &cell,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    x += width;
  }
  if (GetFocus() == list && (state & LVIS_FOCUSED)) {
    painter.Fill(0, r.top, 3, h, look.focusMark);
    painter.Fill(0, r.top, w, 1, look.focusMark);
    painter.Fill(0, r.bottom - 1, w, 1, look.focusMark);
  }
}

LRESULT CALLBACK FormProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wParam, lParam);
  }
  FormEvents* events = EventsOf(window);
  if (!events) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      RECT client;
      GetClientRect(window, &client);
      Buffered(dc, 0, 0, client.right, client.bottom,
               [&](Painter& p) { events->OnPaintBackground(window, p, client.right, client.bottom); });
      EndPaint(window, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      // The background drags the whole window.
      ReleaseCapture();
      SendMessageW(GetAncestor(window, GA_ROOT), WM_NCLBUTTONDOWN, HTCAPTION, 0);
      return 0;
    case WM_COMMAND: {
      const HWND control = reinterpret_cast<HWND>(lParam);
      if (!control) {  // the dialog keys: Esc goes to the window, Enter nowhere
        if (LOWORD(wParam) == IDCANCEL) events->OnEscape();
        return 0;
      }
      wchar_t className[16] = {};
      GetClassNameW(control, className, 16);
      if (lstrcmpiW(className, L"ComboBox") == 0) {
        if (HIWORD(wParam) == CBN_SELCHANGE) events->OnNotice(control, Notice::RowSelected);
        return 0;
      }
      switch (HIWORD(wParam)) {
        case BN_CLICKED: events->OnNotice(control, Notice::Click); break;
        case EN_CHANGE: events->OnNotice(control, Notice::Changed); break;
        case EN_SETFOCUS:
        case BN_SETFOCUS: events->OnNotice(control, Notice::FocusGained); break;
        case EN_KILLFOCUS:
        case BN_KILLFOCUS: events->OnNotice(control, Notice::FocusLost); break;
        default: break;
      }
      return 0;
    }
    case WM_MEASUREITEM:
      reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = kRowHeight;  // drop-down and report lists
      return TRUE;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType == ODT_COMBOBOX) {
        DrawListItem(*events, *item);
        return TRUE;
      }
      if (item->CtlType == ODT_LISTVIEW) {
        if (const ListLook* look = LookOfList(item->hwndItem)) DrawListRow(*events, *look, *item);
        return TRUE;
      }
      const int w = item->rcItem.right - item->rcItem.left, h = item->rcItem.bottom - item->rcItem.top;
      Buffered(item->hDC, item->rcItem.left, item->rcItem.top, w, h, [&](Painter& p) {
        events->OnPaintControl(item->hwndItem, p, w, h, (item->itemState & ODS_SELECTED) != 0);
      });
      return TRUE;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: {
      Colour text = 0, background = 0;
      if (!events->ColoursOf(reinterpret_cast<HWND>(lParam), text, background)) break;
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, Ref(text));
      SetBkColor(dc, Ref(background));
      return reinterpret_cast<LRESULT>(BrushOf(background));
    }
    case WM_TIMER:
      events->OnTimer(window, static_cast<unsigned>(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto* head = reinterpret_cast<const NMHDR*>(lParam);
      if (head->code == LVN_GETDISPINFOW) {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(lParam)->item;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
          const std::wstring text = Wide(events->CellText(head->hwndFrom, item.iItem, item.iSubItem));
          lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
        }
        return 0;
      }
      if (head->code == LVN_ITEMCHANGED) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
        if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
            !(change->uOldState & LVIS_SELECTED)) {
          events->OnNotice(head->hwndFrom, Notice::RowSelected);
        }
      }
      return 0;
    }
    case WM_DESTROY:
      if (!(GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) events->OnDestroyed(window);
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND Child(const wchar_t* windowClass, const std::wstring& text, DWORD style, HWND parent, int x, int y, int w,
           int h, DWORD exStyle = 0) {
  return CreateWindowExW(exStyle, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         nullptr, OwnModule(), nullptr);
}

// The key of a WM_GETDLGCODE query, when the message asked about is a key-down.
WPARAM KeyAskedAbout(LPARAM lParam) {
  const auto* asked = reinterpret_cast<const MSG*>(lParam);
  return asked && asked->message == WM_KEYDOWN ? asked->wParam : 0;
}

LRESULT CALLBACK WatchProcedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR data) {
  auto* events = reinterpret_cast<FormEvents*>(data);
  switch (message) {
    case WM_GETDLGCODE:
      // The modal loop's dialog keys would take Enter away before the
      // control's own key handler sees it.
      if (KeyAskedAbout(lParam) == VK_RETURN) return DefSubclassProc(control, message, wParam, lParam) | DLGC_WANTMESSAGE;
      break;
    case WM_KEYDOWN: {
      const bool ctrl = GetKeyState(VK_CONTROL) & 0x8000;
      const bool others = (GetKeyState(VK_SHIFT) & 0x8000) || (GetKeyState(VK_MENU) & 0x8000);
      if (!events->OnKeyDown(control, static_cast<int>(wParam), ctrl && !others)) break;
      // Used up: the character the loop has already made of the key goes too.
      MSG typed;
      PeekMessageW(&typed, control, WM_CHAR, WM_CHAR, PM_REMOVE);
      return 0;
    }
    case WM_DROPFILES: {
      const HDROP drop = reinterpret_cast<HDROP>(wParam);
      std::vector<std::string> paths;
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        const UINT got = DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size()));
        path.resize(got);
        paths.push_back(Gbk(path));
      }
      DragFinish(drop);
      events->OnFilesDropped(control, paths);
      return 0;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(control, WatchProcedure, 1);
      break;
    default:
      break;
  }
  return DefSubclassProc(control, message, wParam, lParam);
}

bool IsDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= 0xFF10 && c <= 0xFF19); }

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

// The height of a line of text in the control's font.
int LineHeight(HWND control) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return metrics.tmHeight > 0 ? metrics.tmHeight : 16;
}

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

std::mutex timerLock;
std::map<UINT_PTR, std::function<void()>>& Timers() {
  static std::map<UINT_PTR, std::function<void()>> timers;
  return timers;
}

void CALLBACK TimerTick(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  std::function<void()> tick;
  {
    std::lock_guard<std::mutex> lock(timerLock);
    auto found = Timers().find(id);
    if (found == Timers().end()) return;
    tick = std::move(found->second);
    Timers().erase(found);
  }
  if (tick) tick();
}

std::mutex openerLock;
OpenAddressHook& Opener() {
  static OpenAddressHook hook;
  return hook;
}

}  // namespace

ModuleHandle OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

Bitmap::Bitmap(const Pixels& pixels) {
  if (pixels.width <= 0 || pixels.height <= 0 ||
      pixels.rgba.size() != static_cast<std::size_t>(pixels.width) * pixels.height * 4) {
    return;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = pixels.width;
  info.bmiHeader.biHeight = -pixels.height;  // top down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return;
  auto* out = static_cast<std::uint8_t*>(bits);
  const std::uint8_t* in = pixels.rgba.data();
  for (std::size_t i = 0, n = pixels.rgba.size(); i < n; i += 4) {
    const unsigned a = in[i + 3];
    out[i + 0] = static_cast<std::uint8_t>(in[i + 2] * a / 255);  // premultiplied B, G, R
    out[i + 1] = static_cast<std::uint8_t>(in[i + 1] * a / 255);
    out[i + 2] = static_cast<std::uint8_t>(in[i + 0] * a / 255);
    out[i + 3] = static_cast<std::uint8_t>(a);
  }
  GdiFlush();
  bitmap_ = bitmap;
  width_ = pixels.width;
  height_ = pixels.height;
}

Bitmap::Bitmap(Bitmap&& other) noexcept
    : bitmap_(std::exchange(other.bitmap_, nullptr)), width_(other.width_), height_(other.height_) {}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
  if (this != &other) {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = std::exchange(other.bitmap_, nullptr);
    width_ = other.width_;
    height_ = other.height_;
  }
  return *this;
}

Bitmap::~Bitmap() {
  if (bitmap_) DeleteObject(bitmap_);
}

void Painter::Fill(int x, int y, int w, int h, Colour colour) {
  RECT r{x, y, x + w, y + h};
  FillRect(dc_, &r, BrushOf(colour));
}

void Painter::Frame(int x, int y, int w, int h, Colour colour) {
  Fill(x, y, w, 1, colour), Fill(x, y + h - 1, w, 1, colour);
  Fill(x, y, 1, h, colour), Fill(x + w - 1, y, 1, h, colour);
}

void Painter::Draw(const Bitmap& bitmap, int x, int y, int w, int h) {
  if (!bitmap || w <= 0 || h <= 0) return;
  HDC memory = CreateCompatibleDC(dc_);
  HGDIOBJ old = SelectObject(memory, bitmap.get());
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  SetStretchBltMode(dc_, HALFTONE);
  GdiAlphaBlend(dc_, x, y, w, h, memory, 0, 0, bitmap.width(), bitmap.height(), blend);
  SelectObject(memory, old);
  DeleteDC(memory);
}

void Painter::Text(const std::string& textGbk, int x, int y, int w, int h, Colour colour, FontHandle font,
                   bool centred) {
  std::wstring text = Wide(textGbk);
  RECT r{x, y, x + w, y + h};
  SetBkMode(dc_, TRANSPARENT);
  SetTextColor(dc_, Ref(colour));
  HGDIOBJ old = font ? SelectObject(dc_, font) : nullptr;
  DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &r,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (centred ? DT_CENTER : DT_LEFT));
  if (old) SelectObject(dc_, old);
}

FormClass::FormClass(ModuleHandle module, const std::string& name) : module_(module), name_(Wide(name)) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&classes);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FormProcedure;
  wc.hInstance = module_;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = name_.c_str();
  registered_ = RegisterClassExW(&wc) != 0;
  if (registered_) {
    std::lock_guard<std::mutex> lock(brushLock);
    ++formClasses;
  }
}

FormClass::~FormClass() {
  if (!registered_) return;
  UnregisterClassW(name_.c_str(), module_);
  std::lock_guard<std::mutex> lock(brushLock);
  if (--formClasses == 0) {
    for (auto& [colour, brush] : Brushes()) DeleteObject(brush);
    Brushes().clear();
  }
}

UniqueWindow FormClass::CreateTopLevel(const std::string& titleGbk, int width, int height, FormEvents& events,
                                       WindowHandle owner) const {
  if (!registered_) return {};
  const Rect screen = ScreenRect();
  const int x = screen.left + (screen.width - width) / 2, y = screen.top + (screen.height - height) / 2;
  return UniqueWindow(CreateWindowExW(WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, name_.c_str(), Wide(titleGbk).c_str(),
                                      WS_POPUP | WS_CLIPCHILDREN | WS_MINIMIZEBOX | WS_SYSMENU, x, y, width, height,
                                      owner, nullptr, module_, &events));
}

UniqueWindow FormClass::CreateTopmostTool(const std::string& titleGbk, int width, int height,
                                          FormEvents& events) const {
  if (!registered_) return {};
  const Rect screen = ScreenRect();
  const int x = screen.left + (screen.width - width) / 2, y = screen.top + (screen.height - height) / 2;
  return UniqueWindow(CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT, name_.c_str(),
                                      Wide(titleGbk).c_str(), WS_POPUP | WS_CLIPCHILDREN, x, y, width, height,
                                      nullptr, nullptr, module_, &events));
}

WindowHandle FormClass::CreateContainer(WindowHandle parent, int x, int y, int width, int height,
                                        FormEvents& events) const {
  if (!registered_) return nullptr;
  return CreateWindowExW(WS_EX_CONTROLPARENT, name_.c_str(), L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x, y,
                         width, height, parent, nullptr, module_, &events);
}

WindowHandle CreateEdit(WindowHandle parent, int x, int y, int width, int height, const EditStyle& style) {
  DWORD flags = WS_TABSTOP | (style.centred ? ES_CENTER : ES_LEFT);
  flags |= style.multiLine ? ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL : ES_AUTOHSCROLL;
  HWND edit = Child(L"EDIT", L"", flags, parent, x, y, width, height);
  if (!edit) return nullptr;
  if (style.limit > 0) SendMessageW(edit, EM_SETLIMITTEXT, style.limit, 0);
  const DWORD_PTR kind = (style.multiLine ? kMultiLine : 0) | (style.digitsOnly ? kDigitsOnly : 0);
  SetWindowSubclass(edit, EditProcedure, 2, kind);
  if (!style.multiLine) FrameChanged(edit);
  return edit;
}

WindowHandle CreateButton(WindowHandle parent, int x, int y, int width, int height, const std::string& captionGbk) {
  return Child(L"BUTTON", Wide(captionGbk), BS_OWNERDRAW | BS_NOTIFY | WS_TABSTOP, parent, x, y, width, height);
}

WindowHandle CreatePictureButton(WindowHandle parent, int x, int y, int width, int height) {
  return Child(L"BUTTON", L"", BS_OWNERDRAW, parent, x, y, width, height);
}

WindowHandle CreatePictureBox(WindowHandle parent, int x, int y, int width, int height) {
  return Child(L"STATIC", L"", SS_OWNERDRAW, parent, x, y, width, height);
}

WindowHandle CreateLabel(WindowHandle parent, int x, int y, int width, int height, const std::string& textGbk,
                         bool centred) {
  return Child(L"STATIC", Wide(textGbk), (centred ? SS_CENTER : SS_LEFT) | SS_CENTERIMAGE, parent, x, y, width,
               height);
}

WindowHandle CreateTabs(WindowHandle parent, int x, int y, int width, int height,
                        const std::vector<std::string>& pagesGbk) {
  HWND tabs = Child(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS, parent, x, y, width, height);
  if (!tabs) return nullptr;
  for (std::size_t i = 0; i < pagesGbk.size(); ++i) {
    std::wstring caption = Wide(pagesGbk[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  return tabs;
}

void WatchKeys(WindowHandle control, FormEvents& events, bool acceptFiles) {
  SetWindowSubclass(control, WatchProcedure, 1, reinterpret_cast<DWORD_PTR>(&events));
  if (acceptFiles) DragAcceptFiles(control, TRUE);
}

WindowHandle CreateReportList(WindowHandle parent, int x, int y, int width, int height, const ListLook& look) {
  HWND list = Child(WC_LISTVIEWW, L"",
                    LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_OWNERDATA | LVS_OWNERDRAWFIXED | LVS_SINGLESEL |
                        LVS_SHOWSELALWAYS | WS_TABSTOP,
                    parent, x, y, width, height);
  if (!list) return nullptr;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  SendMessageW(list, LVM_SETBKCOLOR, 0, Ref(look.background));
  SetWindowSubclass(list, ListProcedure, 6, reinterpret_cast<DWORD_PTR>(new ListLook(look)));
  return list;
}

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
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(textGbk).c_str()));
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
  return Gbk(text);
}

void ChooseListItem(WindowHandle combo, int item) {
  SendMessageW(combo, CB_SETCURSEL, item, 0);
  SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
}

void CaretToEnd(WindowHandle edit) {
  const int end = GetWindowTextLengthW(edit);
  SendMessageW(edit, EM_SETSEL, end, end);
}

void SelectAllText(WindowHandle edit) { SendMessageW(edit, EM_SETSEL, 0, -1); }

void DropFiles(WindowHandle control, const std::vector<std::string>& pathsGbk) {
  // A DROPFILES block with wide paths, each ended by a NUL, the list by another.
  std::wstring list;
  for (const std::string& path : pathsGbk) list += Wide(path) + L'\0';
  list += L'\0';
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
  if (!block) return;
  auto* files = static_cast<DROPFILES*>(GlobalLock(block));
  files->pFiles = sizeof(DROPFILES);
  files->fWide = TRUE;
  memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
  GlobalUnlock(block);
  SendMessageW(control, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
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
  std::wstring text = Wide(textGbk);
  TOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = owner;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = text.data();
  SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 400);  // lets CR LF break the tip's lines
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

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
  for (HWND w : disabled.windows) {
    if (IsWindow(w)) EnableWindow(w, TRUE);
  }
}

bool SetClipboardText(const std::string& textGbk) {
  const std::wstring text = Wide(textGbk);
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

std::string ClipboardText() { return Gbk(ClipboardWide()); }

void SetOpenAddressHook(OpenAddressHook hook) {
  std::lock_guard<std::mutex> lock(openerLock);
  Opener() = std::move(hook);
}

void OpenAddress(const std::string& address) {
  OpenAddressHook hook;
  {
    std::lock_guard<std::mutex> lock(openerLock);
    hook = Opener();
  }
  if (hook) return hook(address);
  ShellExecuteW(nullptr, L"open", Wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void StartTimer(WindowHandle window, unsigned id, unsigned ms) { SetTimer(window, id, ms, nullptr); }
void StopTimer(WindowHandle window, unsigned id) { KillTimer(window, id); }

void RunSoon(std::function<void()> tick, unsigned delayMs) {
  std::lock_guard<std::mutex> lock(timerLock);
  const UINT_PTR id = SetTimer(nullptr, 0, delayMs, TimerTick);
  if (id) Timers()[id] = std::move(tick);
}

}  // namespace zoq::platform
