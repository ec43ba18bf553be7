// Window wrappers under Wine's null display driver: GBK texts in and out of
// windows and list views, owned windows and fonts, the message box hook and
// the Common Controls 6 activation context (resource 2 of this program).
#include "platform/window.hpp"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string_view>
#include <tuple>

namespace zoq::platform {
namespace {

// 乗 is 81 5C in GBK: its trail byte is a backslash.
static_assert(std::string_view("乗") == "\x81\x5C");

UniqueWindow MakeWindow(const wchar_t* windowClass, DWORD style, HWND parent = nullptr) {
  return UniqueWindow(CreateWindowExW(0, windowClass, L"", style, 0, 0, 400, 300, parent, nullptr,
                                      GetModuleHandleW(nullptr), nullptr));
}

TEST(Window, TextRoundTripsGbkAndFollowsConditions) {
  UniqueWindow top = MakeWindow(L"STATIC", WS_OVERLAPPEDWINDOW);
  ASSERT_TRUE(top);
  ASSERT_TRUE(SetWindowTextGbk(top.get(), "关键词设置 乗\\"));
  wchar_t wide[32] = {};
  GetWindowTextW(top.get(), wide, 32);
  EXPECT_STREQ(wide, L"关键词设置 乗\\");
  EXPECT_EQ(WindowTextGbk(top.get()), "关键词设置 乗\\");

  for (const bool on : {false, true, false}) {  // starts enabled and hidden
    EnableWindowIf(top.get(), on);
    ShowWindowIf(top.get(), on);
    EXPECT_EQ(IsWindowEnabled(top.get()) != 0, on);
    EXPECT_EQ(IsWindowVisible(top.get()) != 0, on);
  }
}

TEST(Window, UniqueWindowMovesAndDestroysWhatItOwns) {
  HWND first, second, released;
  {
    UniqueWindow a = MakeWindow(L"STATIC", WS_OVERLAPPEDWINDOW);
    first = a.get();
    UniqueWindow b(std::move(a));
    EXPECT_EQ(a.get(), nullptr);
    UniqueWindow c = MakeWindow(L"STATIC", WS_OVERLAPPEDWINDOW);
    second = c.get();
    c = std::move(b);
    EXPECT_EQ(c.get(), first);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_TRUE(IsWindow(first));
    released = MakeWindow(L"STATIC", WS_OVERLAPPEDWINDOW).release();
  }
  EXPECT_FALSE(IsWindow(first));
  EXPECT_TRUE(IsWindow(released));
  UniqueWindow(released).reset();
  EXPECT_FALSE(IsWindow(released));
}

TEST(WindowFont, MakesGb2312FontsAndDeletesThem) {
  const auto describe = [](const UniqueFont& font) {
    LOGFONTW described{};
    EXPECT_EQ(GetObjectW(font.get(), sizeof described, &described), static_cast<int>(sizeof described));
    return described;
  };
  UniqueFont bold = MakeFont("微软雅黑", 14, true);
  const LOGFONTW described = describe(bold);
  EXPECT_STREQ(described.lfFaceName, L"微软雅黑");
  EXPECT_EQ(described.lfHeight, 14);
  EXPECT_EQ(described.lfWeight, FW_BOLD);
  EXPECT_EQ(described.lfCharSet, GB2312_CHARSET);
  EXPECT_EQ(describe(MakeFont("微软雅黑", 14, false)).lfWeight, FW_NORMAL);
  const HFONT font = bold.get();
  bold.reset();
  EXPECT_EQ(GetObjectType(font), 0u);
}

TEST(ListView, ColumnsRowsCellsAndSelectionInGbk) {
  ActivationContext commonControls6(GetModuleHandleW(nullptr));
  ASSERT_TRUE(commonControls6.active());
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
  ASSERT_TRUE(InitCommonControlsEx(&classes));
  UniqueWindow top = MakeWindow(L"STATIC", WS_OVERLAPPEDWINDOW);
  UniqueWindow list = MakeWindow(WC_LISTVIEWW, WS_CHILD | WS_VISIBLE | LVS_REPORT, top.get());
  ASSERT_TRUE(list);
  ListView view(list.get());

  EXPECT_TRUE(view.AddColumn(0, "关键词", 120));
  EXPECT_TRUE(view.AddColumn(1, "回复", 200));
  EXPECT_EQ(view.InsertRow(0, "早安"), 0);
  EXPECT_EQ(view.InsertRow(0, "你好"), 0);
  EXPECT_EQ(view.InsertRow(view.RowCount(), "乗\\"), 2);
  std::string longReply;  // longer than the first read buffer of Cell
  for (int i = 0; i < 200; ++i) longReply += "回复乗";
  EXPECT_TRUE(view.SetCell(0, 1, "你好呀"));
  EXPECT_TRUE(view.SetCell(2, 1, longReply));
  EXPECT_EQ(view.RowCount(), 3);
  EXPECT_EQ(view.Cell(0, 0), "你好");
  EXPECT_EQ(view.Cell(0, 1), "你好呀");
  EXPECT_EQ(view.Cell(1, 0), "早安");
  EXPECT_EQ(view.Cell(1, 1), "");
  EXPECT_EQ(view.Cell(2, 0), "乗\\");
  EXPECT_EQ(view.Cell(2, 1), longReply);

  EXPECT_EQ(view.SelectedRow(), -1);
  view.Select(0);
  view.Select(2);  // leaves row 0 unselected
  EXPECT_EQ(view.SelectedRow(), 2);
  view.Select(-1);
  EXPECT_EQ(view.SelectedRow(), -1);

  EXPECT_TRUE(view.DeleteRow(1));
  EXPECT_EQ(view.RowCount(), 2);
  EXPECT_EQ(view.Cell(1, 0), "乗\\");
  view.Clear();
  EXPECT_EQ(view.RowCount(), 0);
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

TEST(MessageBoxHook, HookReceivesGbkTextAndItsAnswerIsReturned) {
  std::tuple<std::string, std::string, unsigned> seen;
  SetMessageBoxHook([&](const auto&... asked) {
    seen = {asked...};
    return IDNO;
  });
  EXPECT_EQ(ShowMessageBox(nullptr, "确定删除 乗\\ 吗？", "关键词", MB_YESNO | MB_ICONQUESTION), IDNO);
  SetMessageBoxHook(nullptr);
  EXPECT_EQ(seen, std::make_tuple(std::string("确定删除 乗\\ 吗？"), std::string("关键词"),
                                  static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION)));
}

}  // namespace
}  // namespace zoq::platform
