// The variable picker opened from the library editor: its place beside the
// settings window, the WeChat-style host's help texts, a click appending its
// variable, and closing without one. A step that opens the picker returns
// when it has closed; the steps after it run in the picker.
#include <windows.h>

#include "tests/ui/settings_fixture.hpp"
#include "ui/variable_picker.hpp"

namespace zoq::testing {
namespace {

using VariablePickerTest = SettingsWindowTest;

ui::VariablePicker& Picker() { return *ui::OpenedVariablePicker(); }

TEST_F(VariablePickerTest, OpensBesideTheSettingsWindowAndAppendsTheClickedVariable) {
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                platform::SetWindowTextGbk(w.Control("词控_回复框"), "你好");
                platform::MoveWindowTo(w.handle(), 50, 50);
                platform::Click(w.Control("词控_变量"));
              },
              [](ui::SettingsWindow& w) {
                ASSERT_NE(ui::OpenedVariablePicker(), nullptr);
                const platform::Rect p = platform::WindowRect(Picker().handle());
                EXPECT_EQ(std::vector<int>({p.left, p.top, p.width, p.height}), std::vector<int>({715, -60, 480, 720}));
                EXPECT_FALSE(platform::IsEnabled(w.handle()));  // modal
                EXPECT_EQ(platform::WindowTextGbk(Picker().Control("标签6")), " 说明: [@]=关键词触发者 [@ID]=艾特填写ID");
                platform::Click(Picker().Control("变量艾特"));
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Text(w, "词控_回复框"), "你好[@]");
                EXPECT_TRUE(platform::IsEnabled(w.handle()));
                Focus(w, "词控_回复框");
                platform::PressKey('D', true);
              },
              [](ui::SettingsWindow&) { platform::Click(Picker().Control("变量图接口")); },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(ui::OpenedVariablePicker(), nullptr);
                platform::Click(w.Control("词控_变量"));
              },
              [](ui::SettingsWindow&) { platform::Click(Picker().Control("取消")); },
              [](ui::SettingsWindow& w) { platform::Click(w.Control("词控_变量")); },
              [](ui::SettingsWindow&) {
                platform::SetFocusTo(Picker().Control("变量日期"));
                platform::PressKey(VK_ESCAPE);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(ui::OpenedVariablePicker(), nullptr);  // cancel and Esc insert nothing
                EXPECT_EQ(Text(w, "词控_回复框"), "你好[@][图接口=]");
              }});
}

TEST_F(VariablePickerTest, TheWeChatStyleHostHasHelpTextsOfItsOwn) {
  Plugin().HostType = kHostWx;
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_精确词库"));
                platform::Click(w.Control("词控_变量"));
              },
              [](ui::SettingsWindow&) {
                for (const auto& [label, help] : {std::pair{"标签6", " 说明: 微信当前不支持该变量"},
                                                  {"标签9", " 说明: 微信当前不支持该变量"},
                                                  {"标签7", " 说明: 返回触发者号码 (WXID)"},
                                                  {"标签3", " 说明: 返回当前xxxx年xx月xx日"}}) {
                  EXPECT_EQ(platform::WindowTextGbk(Picker().Control(label)), help);
                }
                platform::Click(Picker().Control("取消"));
              }});
}

}  // namespace
}  // namespace zoq::testing
