// The report list (an owner-data, owner-drawn list view) in its own look:
// the texts of its cells come from the form's receiver, and it draws its
// rows itself.
#include "platform/gui_parts.hpp"
#include "platform/code_pages.hpp"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zoq::platform {
namespace {

// What is to be repainted of the list, widened to whole rows: the list asks
// for a changed row as wide as its columns, but the row is drawn over the
// list's whole width, which may be wider.
void RepaintWholeRows(HWND list) {
  RECT client;
  GetClientRect(list, &client);
  HRGN update = CreateRectRgn(0, 0, 0, 0);
  if (update && GetUpdateRgn(list, update, FALSE) > NULLREGION) {
    std::vector<char> data(GetRegionData(update, 0, nullptr));
    auto* region = reinterpret_cast<RGNDATA*>(data.data());
    if (!data.empty() && GetRegionData(update, static_cast<DWORD>(data.size()), region)) {
      const auto* parts = reinterpret_cast<const RECT*>(region->Buffer);
      for (DWORD i = 0; i < region->rdh.nCount; ++i) {
        const RECT rows{client.left, parts[i].top, client.right, parts[i].bottom};
        InvalidateRect(list, &rows, FALSE);
      }
    }
  }
  if (update) DeleteObject(update);
}

// The look is also a property of the list, where its parent's drawing finds
// it (comctl32 of x86-64 MinGW has no GetWindowSubclass to ask).
constexpr wchar_t kLookProperty[] = L"ZoqListLook";

// A report list (CreateReportList) keeps its look with its subclass, paints
// whole rows, and repaints as it gains or loses the focus, whose mark it
// draws.
LRESULT CALLBACK ListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  switch (message) {
    case WM_PAINT:
      if (!wParam) RepaintWholeRows(list);
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return HandledThenRepainted(list, message, wParam, lParam);
    case WM_NCDESTROY:
      RemoveWindowSubclass(list, ListProcedure, 6);
      RemovePropW(list, kLookProperty);
      delete reinterpret_cast<ListLook*>(data);
      break;
    default:
      break;
  }
  return DefSubclassProc(list, message, wParam, lParam);
}

const ListLook* LookOfList(HWND list) { return static_cast<const ListLook*>(GetPropW(list, kLookProperty)); }

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
    std::wstring text = Gb18030ToWide(events.CellText(list, row, column));
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

// Whether the row's first column begins with `typed` (or, not `partial`, is
// it), letters compared without case as the system compares them.
bool RowBeginsWith(FormEvents& events, HWND list, int row, const std::wstring& typed, bool partial) {
  const std::wstring text = Gb18030ToWide(events.CellText(list, row, 0));
  if (text.size() < typed.size() || (!partial && text.size() != typed.size())) return false;
  const int n = static_cast<int>(typed.size());
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text.data(), n, typed.data(), n) == CSTR_EQUAL;
}

// The row the owner's typing over the list finds (the list keeps what was
// typed until a pause): the first from the one it starts at whose keyword
// begins with the letters; the same letter typed again goes on to the next
// row that begins with it. -1 when none does.
int FindTypedRow(FormEvents& events, const NMLVFINDITEMW& find) {
  const LVFINDINFOW& wanted = find.lvfi;
  if (!(wanted.flags & (LVFI_STRING | LVFI_PARTIAL)) || !wanted.psz || !*wanted.psz) return -1;
  const HWND list = find.hdr.hwndFrom;
  const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  std::wstring typed = wanted.psz;
  int start = std::max(0, find.iStart);
  if (typed.size() > 1 && typed.find_first_not_of(typed[0]) == std::wstring::npos) typed.resize(1), ++start;
  const bool partial = wanted.flags & LVFI_PARTIAL;
  for (int i = 0; i < rows; ++i) {
    if (start + i >= rows && !(wanted.flags & LVFI_WRAP)) break;
    const int row = (start + i) % rows;
    if (RowBeginsWith(events, list, row, typed, partial)) return row;
  }
  return -1;
}

}  // namespace

bool DrawReportRow(FormEvents& events, const DRAWITEMSTRUCT& item) {
  const ListLook* look = LookOfList(item.hwndItem);
  if (look) DrawListRow(events, *look, item);
  return look != nullptr;
}

LRESULT ReportListNotice(FormEvents& events, NMHDR& notice) {
  if (notice.code == LVN_GETDISPINFOW) {
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(notice).item;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
      const std::wstring text = Gb18030ToWide(events.CellText(notice.hwndFrom, item.iItem, item.iSubItem));
      lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
    }
    return 0;
  }
  if (notice.code == LVN_ODFINDITEMW) return FindTypedRow(events, reinterpret_cast<const NMLVFINDITEMW&>(notice));
  if (notice.code == LVN_ITEMCHANGED) {
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(notice);
    if ((change.uChanged & LVIF_STATE) && (change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED)) {
      events.OnNotice(notice.hwndFrom, Notice::RowSelected);
    }
  }
  return 0;
}

WindowHandle CreateReportList(WindowHandle parent, int x, int y, int width, int height, const ListLook& look) {
  HWND list = Child(WC_LISTVIEWW, L"",
                    LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_OWNERDATA | LVS_OWNERDRAWFIXED | LVS_SINGLESEL |
                        LVS_SHOWSELALWAYS | WS_TABSTOP,
                    parent, x, y, width, height);
  if (!list) return nullptr;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  SendMessageW(list, LVM_SETBKCOLOR, 0, Ref(look.background));
  auto* kept = new ListLook(look);
  SetPropW(list, kLookProperty, kept);
  SetWindowSubclass(list, ListProcedure, 6, reinterpret_cast<DWORD_PTR>(kept));
  return list;
}

}  // namespace zoq::platform
