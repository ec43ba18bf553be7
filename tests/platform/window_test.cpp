// Window wrappers under Wine's null display driver: GBK texts in and out of
// windows, and the Common Controls 6 activation context (resource 2 of this
// program). The settings windows' tests drive the rest.
#include "platform/window.hpp"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

namespace zoq::platform {
namespace {

UniqueWindow MakeWindow(const wchar_t* windowClass, DWORD style) {
  return UniqueWindow(CreateWindowExW(0, windowClass, L"", style, 0, 0, 400, 300, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr));
}

TEST(Window, TextRoundTripsGbkWhoseTrailByteIsABackslash) {
  UniqueWindow top = MakeWindow(L"STATIC", WS_OVERLAPPEDWINDOW);
  ASSERT_TRUE(SetWindowTextGbk(top.get(), "关键词设置 \x81\x5C\\"));  // 乗: 81 5C
  wchar_t wide[32] = {};
  GetWindowTextW(top.get(), wide, 32);
  EXPECT_STREQ(wide, L"关键词设置 乗\\");
  EXPECT_EQ(WindowTextGbk(top.get()), "关键词设置 \x81\x5C\\");
}

TEST(Window, ActivationContextSwitchesCommonControls6OnAndOff) {
  const auto idealSizeAnswered = [] {
    UniqueWindow button = MakeWindow(L"BUTTON", BS_PUSHBUTTON);
    SIZE size{};
    return SendMessageW(button.get(), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&size)) != 0;
  };
  {
    ActivationContext none(GetModuleHandleW(L"kernel32.dll"));  // has no manifest resource 2
    EXPECT_FALSE(none.active());
    ActivationContext commonControls6(GetModuleHandleW(nullptr));
    ASSERT_TRUE(commonControls6.active());
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&classes));
    EXPECT_TRUE(idealSizeAnswered());
  }
  EXPECT_FALSE(idealSizeAnswered());
}

}  // namespace
}  // namespace zoq::platform
