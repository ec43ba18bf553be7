// The form: a window class whose windows hand their events to an object of
// the caller's (FormEvents), are dragged by their background and give the
// controls on them their colours; and the watch of a control's keys and
// dropped files; the rest of a double click held back.
#include "platform/gui_parts.hpp"
#include "platform/code_pages.hpp"
#include "platform/files.hpp"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zoq::platform {
namespace {

// Where a top-level form keeps the control that had the keyboard focus when
// it was last deactivated.
constexpr wchar_t kFocusLeft[] = L"ZoqFocusLeft";

// The control the window's focus returns to as it is activated again: the
// one that had it, while it can still take it.
HWND FocusToRestore(HWND window) {
  HWND left = static_cast<HWND>(GetPropW(window, kFocusLeft));
  if (!IsChild(window, left)) return nullptr;  // (none kept, or gone)
  return IsWindowVisible(left) && IsWindowEnabled(left) ? left : nullptr;
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
    case WM_ACTIVATE:
      // The focus goes back to the control that had it, as in a dialog: a
      // window activated again after one it opened has gone (or after another
      // program) is typed on where the owner left it.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus)) SetPropW(window, kFocusLeft, focus);
      } else if (!HIWORD(wParam)) {
        if (HWND left = FocusToRestore(window)) {
          SetFocus(left);
          return 0;
        }
      }
      break;
    case WM_CLOSE:
      // Asked to close (the close button, Alt+F4, PostClose): it may stay.
      if (!(GetWindowLongW(window, GWL_STYLE) & WS_CHILD) && !events->OnCloseAsked()) return 0;
      break;
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
        DrawDropDownItem(*events, *item);
        return TRUE;
      }
      if (item->CtlType == ODT_LISTVIEW) {
        DrawReportRow(*events, *item);
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
    case WM_NOTIFY:
      return ReportListNotice(*events, *reinterpret_cast<NMHDR*>(lParam));
    case WM_DESTROY:
      RemovePropW(window, kFocusLeft);
      if (!(GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) events->OnDestroyed(window);
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A dropped file's name in the ANSI code page, where the boxes, which read
// GB18030, read those bytes as the same name (they do not read "€", 80 in
// the code page, so); else none.
std::optional<std::string> ReadAlikeByTheBoxes(std::wstring_view path) {
  std::string ansi = WideToAnsiExact(path);
  if (ansi.empty() || ansi != WideToGb18030(path)) return std::nullopt;
  return ansi;
}

// The characters of `path` that have no such name, each once, in GB18030.
std::vector<std::string> NotReadAlike(std::wstring_view path) {
  std::vector<std::string> lacking;
  for (std::size_t i = 0, n; i < path.size(); i += n) {
    n = IS_HIGH_SURROGATE(path[i]) ? 2 : 1;  // (a lone one at the end: substr takes what there is)
    const std::wstring_view c = path.substr(i, n);
    if (ReadAlikeByTheBoxes(c)) continue;
    std::string shown = WideToGb18030(c);
    if (std::find(lacking.begin(), lacking.end(), shown) == lacking.end()) lacking.push_back(std::move(shown));
  }
  return lacking;
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
      std::vector<DroppedFile> files;
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        const UINT got = DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size()));
        path.resize(got);
        const std::optional<std::wstring> brief = ShortPath(path);
        files.push_back({WideToGb18030(path), ReadAlikeByTheBoxes(path),
                         brief ? ReadAlikeByTheBoxes(*brief) : std::nullopt, NotReadAlike(path)});
      }
      DragFinish(drop);
      events->OnFilesDropped(control, files);
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

// The rest of a double click held back (SwallowRestOfDoubleClick): where and
// when its first click was, and whether its second press was held back. The
// settings windows run on one thread at a time.
struct DoubleClickRest {
  HHOOK hook = nullptr;
  POINT at{};
  DWORD time = 0;
  bool pressed = false;
} rest;

void EndDoubleClickRest() {
  if (rest.hook) UnhookWindowsHookEx(rest.hook);
  rest = {};
}

LRESULT CALLBACK HoldBackSecondClick(int code, WPARAM removed, LPARAM lParam) {
  MSG& m = *reinterpret_cast<MSG*>(lParam);
  if (code != HC_ACTION || removed != PM_REMOVE) return CallNextHookEx(nullptr, code, removed, lParam);
  if (rest.pressed) {
    // Its release; or a press, when the release went to another program.
    const bool released = m.message == WM_LBUTTONUP;
    if (released) m.message = WM_NULL;
    if (released || m.message == WM_LBUTTONDOWN) EndDoubleClickRest();
  } else if (static_cast<LONG>(m.time - rest.time) > static_cast<LONG>(GetDoubleClickTime())) {
    EndDoubleClickRest();
  } else if (m.message == WM_LBUTTONDOWN) {
    // Near enough, the second press (a plain one: the first click's window has
    // gone); elsewhere, a click of its own.
    if (std::abs(m.pt.x - rest.at.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
        std::abs(m.pt.y - rest.at.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2) {
      m.message = WM_NULL;
      rest.pressed = true;
    } else {
      EndDoubleClickRest();
    }
  }
  return CallNextHookEx(nullptr, code, removed, lParam);
}

}  // namespace

void SwallowRestOfDoubleClick() {
  EndDoubleClickRest();
  const DWORD at = GetMessagePos();
  rest.at = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  rest.time = GetMessageTime();
  rest.hook = SetWindowsHookExW(WH_GETMESSAGE, HoldBackSecondClick, nullptr, GetCurrentThreadId());
}

FormClass::FormClass(ModuleHandle module, const std::string& name) : module_(module), name_(GbkToWide(name)) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&classes);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FormProcedure;
  wc.hInstance = module_;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = name_.c_str();
  registered_ = RegisterClassExW(&wc) != 0;
  if (registered_) KeepBrushes();
}

FormClass::~FormClass() {
  EndDoubleClickRest();  // the hook goes with the windows
  if (!registered_) return;
  UnregisterClassW(name_.c_str(), module_);
  ReleaseBrushes();
}

UniqueWindow FormClass::CreateTopLevel(const std::string& titleGbk, int width, int height, FormEvents& events,
                                       WindowHandle owner) const {
  if (!registered_) return {};
  const Rect screen = ScreenRect();
  const int x = screen.left + (screen.width - width) / 2, y = screen.top + (screen.height - height) / 2;
  return UniqueWindow(CreateWindowExW(WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, name_.c_str(),
                                      GbkToWide(titleGbk).c_str(),
                                      WS_POPUP | WS_CLIPCHILDREN | WS_MINIMIZEBOX | WS_SYSMENU, x, y, width, height,
                                      owner, nullptr, module_, &events));
}

UniqueWindow FormClass::CreateTopmostTool(const std::string& titleGbk, int width, int height,
                                          FormEvents& events) const {
  if (!registered_) return {};
  const Rect screen = ScreenRect();
  const int x = screen.left + (screen.width - width) / 2, y = screen.top + (screen.height - height) / 2;
  return UniqueWindow(CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT, name_.c_str(),
                                      GbkToWide(titleGbk).c_str(), WS_POPUP | WS_CLIPCHILDREN, x, y, width, height,
                                      nullptr, nullptr, module_, &events));
}

WindowHandle FormClass::CreateContainer(WindowHandle parent, int x, int y, int width, int height,
                                        FormEvents& events) const {
  if (!registered_) return nullptr;
  return CreateWindowExW(WS_EX_CONTROLPARENT, name_.c_str(), L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x, y,
                         width, height, parent, nullptr, module_, &events);
}

void WatchKeys(WindowHandle control, FormEvents& events, bool acceptFiles) {
  SetWindowSubclass(control, WatchProcedure, 1, reinterpret_cast<DWORD_PTR>(&events));
  if (acceptFiles) DragAcceptFiles(control, TRUE);
}

void DropFiles(WindowHandle control, const std::vector<std::string>& pathsGb18030, bool ansi) {
  // A DROPFILES block with the paths, each ended by a NUL, the list by another.
  std::wstring wide;
  for (const std::string& path : pathsGb18030) wide += Gb18030ToWide(path) + L'\0';
  wide += L'\0';
  const std::string narrow = ansi ? WideToAnsi(wide) : std::string();
  const std::size_t size = ansi ? narrow.size() : wide.size() * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + size);
  if (!block) return;
  auto* files = static_cast<DROPFILES*>(GlobalLock(block));
  files->pFiles = sizeof(DROPFILES);
  files->fWide = !ansi;
  memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), ansi ? narrow.data() : static_cast<const void*>(wide.data()),
         size);
  GlobalUnlock(block);
  if (!PostMessageW(control, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0)) GlobalFree(block);
}

}  // namespace zoq::platform
