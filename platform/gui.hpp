// The pieces the settings windows are built from: window classes whose
// events go to an object of the caller's, child controls, bitmaps made from
// decoded pixels, painting, the modal loop, tool-tips, the clipboard and the
// default browser. Texts are GBK bytes, as in platform/window.hpp.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/window.hpp"

struct HBITMAP__;
struct HDC__;

namespace zoq::platform {

using BitmapHandle = ::HBITMAP__*;
using DeviceContext = ::HDC__*;

// 0xRRGGBB
using Colour = std::uint32_t;

// Pixels as decoded: width × height, 4 bytes R, G, B, A per pixel, rows top down.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
};

// Owns a GDI bitmap (a 32-bit DIB section with premultiplied alpha).
class Bitmap {
 public:
  Bitmap() = default;
  explicit Bitmap(const Pixels& pixels);
  Bitmap(Bitmap&& other) noexcept;
  Bitmap& operator=(Bitmap&& other) noexcept;
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  ~Bitmap();

  BitmapHandle get() const noexcept { return bitmap_; }
  explicit operator bool() const noexcept { return bitmap_ != nullptr; }
  int width() const noexcept { return width_; }
  int height() const noexcept { return height_; }

 private:
  BitmapHandle bitmap_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// Drawing on a window while it paints (or on an owner-drawn control).
class Painter {
 public:
  explicit Painter(DeviceContext dc) noexcept : dc_(dc) {}
  DeviceContext dc() const noexcept { return dc_; }
  void Fill(int x, int y, int w, int h, Colour colour);
  // A line of one pixel round the rectangle's inside.
  void Frame(int x, int y, int w, int h, Colour colour);
  // Draws the whole bitmap stretched to the rectangle, blended by its alpha.
  void Draw(const Bitmap& bitmap, int x, int y, int w, int h);
  // Text in the rectangle, centred when asked (else left), vertically centred.
  void Text(const std::string& textGbk, int x, int y, int w, int h, Colour colour, FontHandle font, bool centred);

 private:
  DeviceContext dc_;
};

// A file dropped on a control: its path in GB18030 (every character of it),
// and the names the hosts may open it by, in the ANSI code page, each where
// the boxes (GB18030) read its bytes as the same name: the path itself, and
// its short form (8.3) where the volume has one; and the characters of the
// path the code page lacks so (each once, in GB18030, in order).
struct DroppedFile {
  std::string path;
  std::optional<std::string> name, shortName;
  std::vector<std::string> lacking;
};

// How a child control notifies its parent.
enum class Notice { Click, Changed, FocusGained, FocusLost, RowSelected };

// The receiver of a window's events; every window of a class made with
// RegisterFormClass (the top-level window and its containers) hands its
// events to the receiver it was created with.
class FormEvents {
 public:
  virtual ~FormEvents() = default;
  virtual void OnNotice(WindowHandle control, Notice notice) = 0;
  // An owner-drawn control (picture box or picture button) is painted.
  virtual void OnPaintControl(WindowHandle control, Painter& painter, int width, int height, bool pressed) = 0;
  // The window's own background is painted.
  virtual void OnPaintBackground(WindowHandle window, Painter& painter, int width, int height) = 0;
  // Colours of an edit box or label: text and background. false: the defaults.
  virtual bool ColoursOf(WindowHandle control, Colour& text, Colour& background) = 0;
  // The top-level window is going away.
  virtual void OnDestroyed(WindowHandle window) = 0;
  // A watched control (WatchKeys): a key went down; ctrlOnly when Ctrl alone
  // is held. true: the key is used up (the control never sees it, nor the
  // character it types).
  virtual bool OnKeyDown(WindowHandle control, int key, bool ctrlOnly) { return false; }
  // A watched control that accepts files: files were dropped on it.
  virtual void OnFilesDropped(WindowHandle control, const std::vector<DroppedFile>& files) {}
  // The Esc key in the window (while RunModal runs it).
  virtual void OnEscape() {}
  // The top-level window is asked to close (WM_CLOSE: its close button,
  // Alt+F4, PostClose); false keeps it. A window destroyed outright
  // (CloseModalSession on its own thread, a quit) is not asked.
  virtual bool OnCloseAsked() { return true; }
  // A timer of the window (StartTimer) is due.
  virtual void OnTimer(WindowHandle window, unsigned id) {}
  // What a report list (CreateReportList) shows in a cell, in GB18030.
  virtual std::string CellText(WindowHandle list, int row, int column) { return {}; }
};

// Reports the control's key-downs (and, with acceptFiles, dropped files) to
// `events` until the control is destroyed.
void WatchKeys(WindowHandle control, FormEvents& events, bool acceptFiles);

// How a report list draws its rows: the selected row alike whether the list
// has the focus or not; while it has it, the row with the focus is marked by
// a bar along its left edge and lines along its top and bottom.
struct ListLook {
  Colour text = 0, background = 0;
  Colour selectedText = 0, selectedBackground = 0;
  Colour focusMark = 0;
};
// A report-mode list view with single selection whose rows the receiver
// keeps: it asks FormEvents::CellText for what it shows, so that any number
// of rows is listed at once (ListView::SetRowCount), and draws them itself,
// 16 pixels high, each over the list's whole width. Letters typed over it
// select the next row whose first column begins with them, as in any list of
// the system. Row selections are notified as Notice::RowSelected.
WindowHandle CreateReportList(WindowHandle parent, int x, int y, int width, int height, const ListLook& look);
// A slim vertical scroll bar for a report list or a multi-line edit box, in
// the given colours, at x, y of the control's parent (over the control's right
// edge, or beside it): it shows where the control is scrolled to, pages when
// clicked beside its thumb and scrolls as the thumb is dragged or the wheel
// turns over it. It stands for the system's light bar, which a list shows
// inside its own right edge: a list is best made wider by
// SystemScrollBarWidth() than the parent that clips it.
WindowHandle CreateScrollBarFor(WindowHandle control, int x, int y, int width, int height, Colour track,
                                Colour thumb);
int SystemScrollBarWidth();
// A drop-down list (combo box) drawn in the colours of FormEvents::ColoursOf,
// enabled or not; selection changes are notified as Notice::RowSelected.
// Items count from 0.
WindowHandle CreateDropDownList(WindowHandle parent, int x, int y, int width, int height);
void AddListItem(WindowHandle combo, const std::string& textGbk);
void SelectListItem(WindowHandle combo, int item);
int SelectedListItem(WindowHandle combo);
int ListItemCount(WindowHandle combo);
std::string ListItemText(WindowHandle combo, int item);
// Selects as a user does: the selection and its notice.
void ChooseListItem(WindowHandle combo, int item);

// Moves the caret of an edit box to the end of its text (or `before`
// characters before it) and scrolls the box to show it; selects all of it.
void CaretToEnd(WindowHandle edit, int before = 0);
void SelectAllText(WindowHandle edit);
// Drops files on a control as the shell would (tests): posted, handled when
// the thread's message loop takes it. `ansi`: as an older drag source does,
// the names in the ANSI code page (a character it lacks as "?").
void DropFiles(WindowHandle control, const std::vector<std::string>& pathsGb18030, bool ansi = false);
// The rest of a double click whose first click is being handled (a click
// that closes the window it fell on, say): a second press of the left button
// soon and near enough to make a double click with it, and its release,
// reach no window of this thread. The time of a double click gone by, or a
// press elsewhere, and nothing more is held back.
void SwallowRestOfDoubleClick();

// A window class of `module` whose windows are dragged by their background
// (they move their top-level window) and report to their FormEvents. A
// top-level one gives the keyboard focus back, when it is activated again, to
// the control that had it when it was deactivated.
// Unregistered when the object goes (its windows must be gone by then).
class FormClass {
 public:
  FormClass(ModuleHandle module, const std::string& name);
  FormClass(const FormClass&) = delete;
  FormClass& operator=(const FormClass&) = delete;
  ~FormClass();
  bool registered() const noexcept { return registered_; }

  // A borderless top-level window, shown in the taskbar, centred on the
  // screen, not yet visible.
  UniqueWindow CreateTopLevel(const std::string& titleGbk, int width, int height, FormEvents& events,
                              WindowHandle owner = nullptr) const;
  // The same always on top of other windows and not in the taskbar.
  UniqueWindow CreateTopmostTool(const std::string& titleGbk, int width, int height, FormEvents& events) const;
  // A child container at x, y of `parent`.
  WindowHandle CreateContainer(WindowHandle parent, int x, int y, int width, int height, FormEvents& events) const;

 private:
  ModuleHandle module_;
  std::wstring name_;
  bool registered_ = false;
};

// Child controls; `id` is free for the caller (0 is fine).
// A multi-line box takes Enter, but Tab (and Shift+Tab) moves the focus on
// and Esc is the window's;
// a box of digits takes digits only (full-width ones too), typed or pasted.
struct EditStyle {
  bool multiLine = false;
  bool centred = false;
  int limit = 0;  // characters; 0: as many as a file holds
  bool digitsOnly = false;
};
WindowHandle CreateEdit(WindowHandle parent, int x, int y, int width, int height, const EditStyle& style);
// A button with a caption, drawn by OnPaintControl (notifies focus changes too).
WindowHandle CreateButton(WindowHandle parent, int x, int y, int width, int height, const std::string& captionGbk);
// An owner-drawn button: painted by OnPaintControl, clicks notified; a stop
// of the Tab key, clicked by Space while it has the focus.
WindowHandle CreatePictureButton(WindowHandle parent, int x, int y, int width, int height);
// An owner-drawn static control: painted by OnPaintControl, no clicks.
WindowHandle CreatePictureBox(WindowHandle parent, int x, int y, int width, int height);
WindowHandle CreateLabel(WindowHandle parent, int x, int y, int width, int height, const std::string& textGbk,
                         bool centred);
// A tab control with the given page captions.
WindowHandle CreateTabs(WindowHandle parent, int x, int y, int width, int height,
                        const std::vector<std::string>& pagesGbk);
void SelectTab(WindowHandle tabs, int page);
int SelectedTab(WindowHandle tabs);

void SetFont(WindowHandle control, FontHandle font);
// Repaints the window (and its children) soon.
void Redraw(WindowHandle window);
void SetFocusTo(WindowHandle window);
WindowHandle FocusedWindow();
// Ends the window's life at the next turn of the message loop.
void PostClose(WindowHandle window);
bool IsAlive(WindowHandle window);
bool IsEnabled(WindowHandle window);
WindowHandle ParentOf(WindowHandle window);
bool IsVisible(WindowHandle window);
// Puts a child window above its siblings.
void RaiseAboveSiblings(WindowHandle window);
void ShowWindowNow(WindowHandle window);
// Left, top, width and height of the window on the screen.
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};
Rect WindowRect(WindowHandle window);
void MoveWindowTo(WindowHandle window, int left, int top);
Rect ScreenRect();
// Clicks a button (BM_CLICK).
void Click(WindowHandle button);

// Adds a tool-tip for `tool` (a child of `owner`).
void AddToolTip(WindowHandle owner, WindowHandle tool, const std::string& textGbk);

// A timer of `window`: FormEvents::OnTimer every `ms` until stopped (or the
// window goes).
void StartTimer(WindowHandle window, unsigned id, unsigned ms);
void StopTimer(WindowHandle window, unsigned id);

// Runs the messages of this thread until `window` is gone: the thread's
// other enabled top-level windows are disabled meanwhile and enabled again
// as it is hidden, before it goes, so that the activation passes to its
// owner (which a form gives back to the control that had the focus). A
// WM_QUIT ends the loop and is posted again for the caller; the window is
// closed then, while the object it reports to still stands.
void RunModal(WindowHandle window);

// Clipboard text (CF_UNICODETEXT from GBK); false when the clipboard refuses.
bool SetClipboardText(const std::string& textGbk);
std::string ClipboardText();

// Opens an address in the user's default browser (tests replace the opener).
using OpenAddressHook = std::function<void(const std::string& address)>;
void SetOpenAddressHook(OpenAddressHook hook);
void OpenAddress(const std::string& address);

// The module (DLL or program) this code is linked into.
ModuleHandle OwnModule();

}  // namespace zoq::platform
