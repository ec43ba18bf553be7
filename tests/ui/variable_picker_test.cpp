// The variable picker opened from the library editor: its place beside the
// settings window, the WeChat-style host's help texts, a click appending its
// variable, and closing without one.
#include <windows.h>

#include "tests/ui/settings_fixture.hpp"
#include "ui/variable_picker.hpp"

namespace zoq::testing {
namespace {

using VariablePickerTest = SettingsWindowTest;

// Clicks `opener` in the settings window and runs `inside` in the picker
// that it opens; returns once the picker has closed.
void InPicker(WindowHandle opener, std::function<void(ui::VariablePicker&)> inside, bool withCtrlD = false) {
  bool opened = false;
  platform::RunSoon([&] {
    ui::VariablePicker* picker = ui::OpenedVariablePicker();
    if (!picker) return;
    opened = true;
    inside(*picker);
  });
  if (withCtrlD) {
    platform::PressKey(opener, 'D', true);
  } else {
    platform::Click(opener);
  }
  EXPECT_TRUE(opened);
  EXPECT_EQ(ui::OpenedVariablePicker(), nullptr);
}

TEST_F(VariablePickerTest, OpensBesideTheSettingsWindowAndAppendsTheClickedVariable) {
  Drive(set, [&](ui::SettingsWindow& w) {
    platform::Click(w.Control("按钮_精确词库"));
    WindowHandle reply = w.Control("词控_回复框");
    platform::SetWindowTextGbk(reply, "你好");
    InPicker(w.Control("词控_变量"), [&](ui::VariablePicker& picker) {
      const platform::Rect s = platform::WindowRect(w.handle()), p = platform::WindowRect(picker.handle());
      EXPECT_EQ(p.left, s.left + 780 - 115);
      EXPECT_EQ(p.top, s.top - 360 + 250);
      EXPECT_EQ(p.width, 480);
      EXPECT_EQ(p.height, 720);
      EXPECT_FALSE(platform::IsEnabled(w.handle()));  // modal
      EXPECT_EQ(platform::WindowTextGbk(picker.Control("标签6")), " 说明: [@]=关键词触发者 [@ID]=艾特填写ID");
      platform::Click(picker.Control("变量艾特"));
    });
    EXPECT_EQ(platform::WindowTextGbk(reply), "你好[@]");
    EXPECT_TRUE(platform::IsEnabled(w.handle()));

    platform::MoveWindowTo(w.handle(), 50, 50);
    InPicker(reply, [&](ui::VariablePicker& picker) {
      const platform::Rect p = platform::WindowRect(picker.handle());
      EXPECT_EQ(p.left, 715);
      EXPECT_EQ(p.top, -60);
      platform::Click(picker.Control("变量图接口"));
    }, true);
    EXPECT_EQ(platform::WindowTextGbk(reply), "你好[@][图接口=]");

    // Cancel and Esc leave the reply box as it was.
    InPicker(w.Control("词控_变量"), [&](ui::VariablePicker& picker) { platform::Click(picker.Control("取消")); });
    InPicker(w.Control("词控_变量"), [&](ui::VariablePicker& picker) {
      PostMessageW(picker.Control("变量日期"), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(platform::WindowTextGbk(reply), "你好[@][图接口=]");
  });
}

TEST_F(VariablePickerTest, TheWeChatStyleHostHasHelpTextsOfItsOwn) {
  Plugin().HostType = kHostWx;
  Drive(set, [&](ui::SettingsWindow& w) {
    platform::Click(w.Control("按钮_精确词库"));
    InPicker(w.Control("词控_变量"), [&](ui::VariablePicker& picker) {
      EXPECT_EQ(platform::WindowTextGbk(picker.Control("标签6")), " 说明: 微信当前不支持该变量");
      EXPECT_EQ(platform::WindowTextGbk(picker.Control("标签9")), " 说明: 微信当前不支持该变量");
      EXPECT_EQ(platform::WindowTextGbk(picker.Control("标签7")), " 说明: 返回触发者号码 (WXID)");
      EXPECT_EQ(platform::WindowTextGbk(picker.Control("标签3")), " 说明: 返回当前xxxx年xx月xx日");
      platform::Click(picker.Control("取消"));
    });
  });
}

}  // namespace
}  // namespace zoq::testing
