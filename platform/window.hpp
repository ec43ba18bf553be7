// Windows, fonts, list views and message boxes for the settings windows.
// Texts are GBK bytes; they cross to Windows as UTF-16 (code page 936), so
// Chinese captions show correctly on Common Controls 6 windows whatever the
// window's own character set is.
//
// The handle types are declared here as <windows.h> declares them (STRICT),
// so this header does not pull in <windows.h>; code that includes it passes
// its HWND, HFONT and HMODULE values unchanged.
#pragma once
#include <functional>
#include <string>

struct HWND__;
struct HFONT__;
struct HINSTANCE__;

namespace zoq::platform {

using WindowHandle = ::HWND__*;
using FontHandle = ::HFONT__*;
using ModuleHandle = ::HINSTANCE__*;

// Owns a window: destroys it, if it is still a window, when the owner goes
// away or is reset.
class UniqueWindow {
 public:
  UniqueWindow() = default;
  explicit UniqueWindow(WindowHandle window) noexcept : window_(window) {}
  UniqueWindow(UniqueWindow&& other) noexcept : window_(other.release()) {}
  UniqueWindow& operator=(UniqueWindow&& other) noexcept;
  UniqueWindow(const UniqueWindow&) = delete;
  UniqueWindow& operator=(const UniqueWindow&) = delete;
  ~UniqueWindow() { reset(); }

  WindowHandle get() const noexcept { return window_; }
  explicit operator bool() const noexcept { return window_ != nullptr; }
  // Gives up ownership without destroying the window.
  WindowHandle release() noexcept;
  // Destroys the owned window (if still a window) and owns `window` instead.
  void reset(WindowHandle window = nullptr) noexcept;

 private:
  WindowHandle window_ = nullptr;
};

// Owns a GDI font.
class UniqueFont {
 public:
  UniqueFont() = default;
  explicit UniqueFont(FontHandle font) noexcept : font_(font) {}
  UniqueFont(UniqueFont&& other) noexcept : font_(other.release()) {}
  UniqueFont& operator=(UniqueFont&& other) noexcept;
  UniqueFont(const UniqueFont&) = delete;
  UniqueFont& operator=(const UniqueFont&) = delete;
  ~UniqueFont() { reset(); }

  FontHandle get() const noexcept { return font_; }
  explicit operator bool() const noexcept { return font_ != nullptr; }
  FontHandle release() noexcept;
  void reset(FontHandle font = nullptr) noexcept;

 private:
  FontHandle font_ = nullptr;
};

// A font of the GB2312 character set, e.g. MakeFont("微软雅黑", 14, true).
// heightPx is the cell height in pixels. Empty when GDI refuses.
UniqueFont MakeFont(const std::string& faceGbk, int heightPx, bool bold);

bool SetWindowTextGbk(WindowHandle window, const std::string& textGbk);
std::string WindowTextGbk(WindowHandle window);
// The same in GB18030: every character of the window's text.
void SetWindowTextGb18030(WindowHandle window, const std::string& textGb18030);
std::string WindowTextGb18030(WindowHandle window);
// Enables the window when `condition` holds, disables it otherwise.
void EnableWindowIf(WindowHandle window, bool condition);
// Shows the window when `condition` holds, hides it otherwise.
void ShowWindowIf(WindowHandle window, bool condition);

// A report-mode list view control whose rows its owner keeps (owner data);
// does not own the window. Rows and columns count from 0.
class ListView {
 public:
  explicit ListView(WindowHandle window) noexcept : window_(window) {}
  WindowHandle get() const noexcept { return window_; }

  bool AddColumn(int index, const std::string& captionGbk, int widthPx);
  // The rows are now `rows`, shown afresh; the selection is cleared.
  void SetRowCount(int rows);
  // What the cell shows.
  std::string Cell(int row, int column) const;
  int RowCount() const;
  // The first selected row, or -1 when none is.
  int SelectedRow() const;
  // Selects and focuses `row` alone and scrolls it into view; -1 clears the
  // selection.
  void Select(int row);

 private:
  WindowHandle window_;
};

// The top-level windows that one thread runs modal for the plug-in: one
// session at a time in the process. Any thread may close them
// (CloseModalSession).
class ModalSession {
 public:
  // Begins this thread's session, unless one is running (begun() false).
  ModalSession();
  // Ends the session: a thread waiting in CloseModalSession goes on.
  ~ModalSession();
  ModalSession(const ModalSession&) = delete;
  ModalSession& operator=(const ModalSession&) = delete;

  bool begun() const noexcept { return begun_; }

 private:
  bool begun_ = false;
};
// Makes `window`, a top-level window of this thread, one of the windows of
// this thread's session; false when that session is being closed (the caller
// destroys the window and opens no other). Without a session of this thread,
// true.
bool JoinModalSession(WindowHandle window);
// Brings the newest window of the running session to the front.
void FrontModalSession();
// Closes the windows of the running session, newest first. On the session's
// thread they are destroyed at once. From another thread they are asked to
// close, and the call returns when the session has ended (its thread has left
// its loops), when that thread has ended, or after `waitMs`, whichever comes
// first; meanwhile what other threads send to this thread's windows is
// handled, so that a session's thread sending to them is not held up. No
// lock is held while waiting.
void CloseModalSession(unsigned waitMs);
// Whether this thread's session is being closed (CloseModalSession): its
// windows go without asking their owner anything.
bool ModalSessionClosing();

// Replaces the real message box (tests must never wait on a modal box); an
// empty hook brings the real one back.
using MessageBoxHook = std::function<int(const std::string& text, const std::string& title, unsigned flags)>;
void SetMessageBoxHook(MessageBoxHook hook);
// flags are MessageBox's MB_* flags; returns the button pressed (IDOK...).
int ShowMessageBox(WindowHandle owner, const std::string& textGbk, const std::string& titleGbk, unsigned flags);
// A box with the buttons 是 and 否 (否 the default, the question icon) over
// `owner`, through ShowMessageBox: true when 是 was pressed.
bool AskYesNo(WindowHandle owner, const std::string& textGbk, const std::string& titleGbk);
// A box with an OK button and the warning icon over `owner`, through the
// same hook, its text in GB18030, which holds every character (a file's name).
void ShowWarning(WindowHandle owner, const std::string& textGb18030, const std::string& titleGbk);
// A task-modal box without owner, with an OK button and, when asked, the
// exclamation icon: a box outside the settings windows, which may come up
// inside any export. The module is pinned first (PinOwnModule), so that a host
// that frees it while the box is up (from a timer of the box's loop or
// another thread) cannot pull the code of the export from under it.
void ShowTaskModalBox(const std::string& textGbk, const std::string& titleGbk, bool exclamation);

// While alive, the activation context of `module`'s manifest resource 2 (the
// Common Controls 6 dependency) is active on this thread, so windows created
// meanwhile use Common Controls 6. Without such a resource it stays inactive
// and changes nothing. Create and destroy it on the same thread.
class ActivationContext {
 public:
  explicit ActivationContext(ModuleHandle module) noexcept;
  ActivationContext(const ActivationContext&) = delete;
  ActivationContext& operator=(const ActivationContext&) = delete;
  ~ActivationContext();

  bool active() const noexcept { return active_; }

 private:
  void* context_ = nullptr;  // none when creating it failed
  std::uintptr_t cookie_ = 0;  // a ULONG_PTR
  bool active_ = false;
};

}  // namespace zoq::platform
