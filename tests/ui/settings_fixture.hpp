// The settings windows opened through the real settings exports, in process,
// driven as their owner drives them: steps run from timers of the window's
// own modal loop, which handles the keys a step queues before the next step.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/files/ini_items.hpp"
#include "core/settings.hpp"
#include "platform/code_pages.hpp"
#include "platform/gui.hpp"
#include "tests/core/core_fixture.hpp"
#include "tests/fakehost/fakehost_client.hpp"
#include "tests/ui/run_soon.hpp"
#include "tests/web/web_server.hpp"
#include "ui/settings_window.hpp"

extern "C" std::int32_t __stdcall Event(const char*, std::int32_t, std::int32_t, const char*, const char*, const char*,
                                        const char*, const char*, const char*, const char*, const char*, std::int32_t);
extern "C" std::int32_t __stdcall set(), OQ_SetUp(), MQset(), SP_SetUp(), ER_SetUp(), XQ_SetUp(), MQ_Set(), ISky_Menu(),
    Settings(), ZOQ_MeKyu(), ER_DestroyPlugin(), VlqEnd();  // VlqEnd: the stop export "end"

namespace zoq::testing {

using platform::WindowHandle;
using Export = std::int32_t(__stdcall*)();

// Keys as the owner types them, posted to this thread without a window: each
// reaches the window focused when the window's loop takes it, with the Ctrl and
// Shift of its lParam bits 25, 26; the character it types is queued behind.
inline LRESULT CALLBACK RouteKeysToFocus(int code, WPARAM removed, LPARAM lParam) {
  MSG& m = *reinterpret_cast<MSG*>(lParam);
  if (code == HC_ACTION && removed == PM_REMOVE && !m.hwnd && m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST) {
    m.hwnd = GetFocus();
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = (m.lParam >> 25 & 1) ? 0x80 : 0;
    keys[VK_SHIFT] = keys[VK_LSHIFT] = (m.lParam >> 26 & 1) ? 0x80 : 0;
    if (m.message != WM_CHAR) SetKeyboardState(keys), m.lParam &= ~(3 << 25);
  }
  return CallNextHookEx(nullptr, code, removed, lParam);
}
inline void PostKey(UINT message, WPARAM key, LPARAM lParam) {
  thread_local const bool routed = SetWindowsHookExW(WH_GETMESSAGE, RouteKeysToFocus, nullptr, GetCurrentThreadId());
  if (routed) PostThreadMessageW(GetCurrentThreadId(), message, key, lParam);
}
inline void PressKey(int key, bool withCtrl = false, bool withShift = false) {
  const LPARAM held = MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16 | withCtrl << 25 | withShift << 26 | 1;
  PostKey(WM_KEYDOWN, key, held), PostKey(WM_KEYUP, key, held | 0xC0000000);
}
inline void PressKeyWithAlt(int key) {  // Alt+F4
  const LPARAM held = MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16 | KF_ALTDOWN << 16 | 1;
  PostKey(WM_SYSKEYDOWN, key, held), PostKey(WM_SYSKEYUP, key, held | 0xC0000000);
}
// Characters as an input method hands them over.
inline void TypeText(const std::string& gbk) { for (wchar_t c : platform::GbkToWide(gbk)) PostKey(WM_CHAR, c, 1); }

// A click of the owner's mouse on a control (at x, y of its client area, or
// in its middle), the mouse moved there, taken by the window's loop: a button
// takes the focus as the mouse goes down, and is clicked as it goes up.
inline void ClickWithMouse(WindowHandle control, int x = -1, int y = -1) {
  RECT r{};
  GetClientRect(control, &r);
  POINT at{x < 0 ? r.right / 2 : x, y < 0 ? r.bottom / 2 : y}, screen = at;
  ClientToScreen(control, &screen);
  SetCursorPos(screen.x, screen.y);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
}
// A click where the mouse stands (the button pressed, the mouse moved a bit
// as it is held, released; or, not `released`, as when it is released over
// another program), on the window the system gives it to, the one under the
// mouse then (the second click of a double click, say): that one.
inline WindowHandle ClickWhereTheMouseIs(bool released = true) {
  POINT at{};
  GetCursorPos(&at);
  const HWND under = WindowFromPoint(at);
  ScreenToClient(under, &at);
  PostMessageW(under, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  if (!released) return under;
  PostMessageW(under, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(at.x, at.y + 1));
  PostMessageW(under, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y + 1));
  return under;
}

// The owner clicks into a box to press keys there.
inline void Focus(const ui::Form& w, const char* control) { platform::SetFocusTo(w.Control(control)); }
inline std::string Text(const ui::Form& w, const char* box) { return platform::WindowTextGbk(w.Control(box)); }
// The name of the control with the focus among `names`, else "?".
inline std::string FocusedName(const ui::Form& w, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (w.Control(name) == platform::FocusedWindow()) return name;
  }
  return "?";
}
// Whether another program could open the clipboard now (none is kept open).
inline bool ClipboardFree() {
  bool opened = false;
  std::thread([&] {
    HWND own = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    opened = OpenClipboard(own) && CloseClipboard();
    DestroyWindow(own);
  }).join();
  return opened;
}
inline std::string Admin(const std::string& key) { return ReadIniItem(AdminFile(), kAdminSection, key, "<missing>"); }
// What the robot answers `owner`'s private `message` through the VLQ host:
// the one message sent, or "<count>" of the host's calls.
inline std::string Answered(FakeHostDll& vlq, const char* owner, const std::string& message) {
  vlq.Reset();
  Event("10001", 1, 0, "", owner, "", message.c_str(), "1", "2", "", "", 0);
  const std::vector<FakeCall> calls = vlq.Calls();
  return calls.size() == 1 && calls[0].args.size() > 4 ? calls[0].args[4] : "<" + std::to_string(calls.size()) + ">";
}

// The control's client area painted afresh (or, `asShown`, as the screen
// shows it now), as the colour (COLORREF) of each pixel.
class Printed {
 public:
  explicit Printed(WindowHandle control, bool asShown = false) {
    RECT r{};
    GetClientRect(control, &r);
    width_ = r.right, height_ = r.bottom;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width_, -height_, 1, 32, BI_RGB};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP surface = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (surface) {
      HGDIOBJ old = SelectObject(dc, surface);
      if (HDC screen = asShown ? GetDC(control) : nullptr) {
        BitBlt(dc, 0, 0, width_, height_, screen, 0, 0, SRCCOPY);
        ReleaseDC(control, screen);
      } else {
        SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
      }
      GdiFlush();
      const auto* bgra = static_cast<const std::uint8_t*>(bits);
      for (int i = 0; i < width_ * height_; ++i) pixels_.push_back(RGB(bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]));
      DeleteObject(SelectObject(dc, old));
    }
    DeleteDC(dc);
    pixels_.resize(width_ * height_, CLR_INVALID);
  }
  COLORREF At(int x, int y) const { return x < width_ && y < height_ ? pixels_[y * width_ + x] : CLR_INVALID; }
  // How many pixels of the rectangle are of a colour that `holds`.
  int Count(const RECT& r, const std::function<bool(COLORREF)>& holds) const {
    int n = 0;
    for (int y = r.top; y < std::min<int>(r.bottom, height_); ++y)
      for (int x = r.left; x < std::min<int>(r.right, width_); ++x) n += holds(pixels_[y * width_ + x]);
    return n;
  }
  RECT All() const { return {0, 0, width_, height_}; }

 private:
  int width_ = 0, height_ = 0;
  std::vector<COLORREF> pixels_;
};

// Steps run one after the other, each from a timer of whatever modal loop
// runs next on this thread (a step that opens a modal window returns when it
// has closed: the next step runs inside it). Steps that never ran fail, and so
// do steps that never returned: a fault (an access violation) in a timer's
// function ends it unseen, as the system dispatches timers.
class Script {
  struct Run {
    std::vector<std::function<void()>> steps;
    std::size_t done = 0, returned = 0;
  };
  static void Next(std::shared_ptr<Run> run) {
    testing::RunSoon([run] {
      if (run->done < run->steps.size()) Next(run), run->steps[run->done++](), ++run->returned;
    });
  }
  std::shared_ptr<Run> run_;

 public:
  explicit Script(std::vector<std::function<void()>> steps) : run_(new Run{std::move(steps)}) { Next(run_); }
  ~Script() {
    EXPECT_EQ(run_->done, run_->steps.size()) << "the window was not open for every step";
    EXPECT_EQ(run_->returned, run_->done) << "a step ended in a fault";
    run_->done = run_->steps.size();  // a timer still waiting does nothing
  }
};

// Waits for `done`, up to a bound generous enough that only a call that never
// returns misses it.
inline bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 1000 && !done(); ++i) Sleep(10);
  return done();
}

// The stop export "end" on a thread of its own, started from a step in the
// windows; that thread has a window of its own, which the windows' thread may
// send to, as a host call may. A window left open by the stop is closed from
// that thread once the bound has passed.
class OtherThreadStop {
 public:
  // `gone` tells, right as the stop has returned, whether the windows are gone.
  void Start(std::function<bool()> gone) {
    thread_ = std::thread([this, gone] {
      own_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
      result = VlqEnd();
      goneOnReturn = gone();
      stopped = true;
      if (!WaitFor([this] { return over_.load(); })) ui::CloseSettingsWindows();
      DestroyWindow(own_);
    });
  }
  // From the windows' thread: returns once the stop is waiting for them.
  void SendToIt() {
    if (WaitFor([this] { return own_.load() != nullptr; }))
      SendMessageTimeoutW(own_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, nullptr);
  }
  // Once the settings export has returned.
  void Finish() {
    over_ = true;
    if (thread_.joinable()) thread_.join();
  }
  ~OtherThreadStop() { Finish(); }

  std::atomic<std::int32_t> result = -1;
  std::atomic<bool> stopped = false, goneOnReturn = false;

 private:
  std::atomic<HWND> own_ = nullptr;
  std::atomic<bool> over_ = false;
  std::thread thread_;
};

class SettingsWindowTest : public CoreTest {
 protected:
  using Step = std::function<void(ui::SettingsWindow&)>;
  void SetUp() override {
    CoreTest::SetUp();
    LoadSettings();
    Plugin().HostType = kHostVlq;
    Plugin().SetRobotAccount("10001", true);
    Plugin().MakerGroupNumber.set("735921846");
    ui::HomeWebSettings() = {server.base(), server.base(), "https://bbs.example", {1000, 1000, 1000}};
  }
  void TearDown() override {
    ui::ResetHomeWebSettings();
    CoreTest::TearDown();
  }

  // Kept apart from the tests' run folders, which each test makes afresh.
  static const std::string& FakesFolder() {
    static const std::string folder = FreshRunFolder("ui-fakes");
    return folder;
  }

  // One loaded copy of each fake host DLL per process (the adapters find a
  // host DLL by its name: a second copy would never be called), answers reset.
  FakeHostDll& Fake(const std::string& file, const std::string& subfolder = "") {
    static std::map<std::string, std::unique_ptr<FakeHostDll>> fakes;
    std::unique_ptr<FakeHostDll>& fake = fakes[file];
    if (!fake) fake = std::make_unique<FakeHostDll>(file, FakesFolder() + subfolder);
    EXPECT_TRUE(fake->loaded()) << file;
    fake->Reset();
    return *fake;
  }

  // Runs `open` (a settings export) with the steps running inside its
  // windows; what is still open after the last step is closed, unless the
  // owner's keys of the last step close it (`ownerCloses`: what they leave
  // open fails the test and is closed a while later).
  std::int32_t Run(Export open, std::vector<std::function<void()>> steps, bool ownerCloses = false) {
    auto over = std::make_shared<bool>(false);
    steps.back() = [last = steps.back(), ownerCloses, over] {
      last();
      if (!ownerCloses) return ui::CloseSettingsWindows();
      RunSoon([over] { if (!*over) ui::CloseSettingsWindows(), ADD_FAILURE() << "left open"; }, 5000);
    };
    Script script(std::move(steps));
    const std::int32_t result = open();
    return *over = true, result;
  }
  // The same with the steps in the settings window.
  std::int32_t Drive(Export open, std::vector<Step> steps, bool ownerCloses = false) {
    std::vector<std::function<void()>> inWindow;
    for (Step& step : steps) {
      inWindow.push_back([step] {
        ASSERT_NE(ui::OpenedSettingsWindow(), nullptr);
        step(*ui::OpenedSettingsWindow());
      });
    }
    return Run(open, std::move(inWindow), ownerCloses);
  }

  WebServer server;
};

}  // namespace zoq::testing
