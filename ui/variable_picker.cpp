#include "ui/variable_picker.hpp"

#include "core/plugin.hpp"

namespace zoq::ui {
namespace {

constexpr int kWidth = 480, kHeight = 720;

struct Variable {
  const char* button;
  const char* caption;
  const char* label;
  const char* help;
  const char* wxHelp;  // the WeChat-style host's help, where it differs
};

const Variable kVariables[] = {
    {"变量头像", "[头像]", "标签1", " 说明: 触发者QQ头像图片 100*100 (频道为大尺寸 ↓相同)", " 说明: 触发者头像图片 (微信尺寸 ↓相同)"},
    {"变量大头", "[大头]", "标签2", " 说明: 触发者QQ头像图片 640*640 (频道为大尺寸 ↑相同)", " 说明: 触发者头像图片 (微信尺寸 ↑相同)"},
    {"变量日期", "[日期]", "标签3", " 说明: 返回当前xxxx年xx月xx日", nullptr},
    {"变量时间", "[时间]", "标签4", " 说明: 返回当前xx时xx分xx秒", nullptr},
    {"变量星期", "[星期]", "标签8", " 说明: 返回当前的星期 日/一/二/三/四/五/六", nullptr},
    {"变量号码", "[号码]", "标签7", " 说明: 返回触发者号码 (QQ号 或 频道个人ID)", " 说明: 返回触发者号码 (WXID)"},
    {"变量艾特", "[@]", "标签6", " 说明: [@]=关键词触发者 [@ID]=艾特填写ID", " 说明: 微信当前不支持该变量"},
    {"变量群号", "[群号]", "标签19", " 说明: 返回触发消息的群号 或 频道号", nullptr},
    {"变量禁言", "[禁言]", "标签5", " 说明: 未填写数字为60秒  [禁言600] = 600秒", nullptr},
    {"变量撤回", "[撤回]", "标签9", " 说明: 将消息撤回 (需机器人为管理)", " 说明: 微信当前不支持该变量"},
    {"变量踢出", "[踢出]", "标签17", " 说明: 将触发者踢出 (需机器人为管理)", nullptr},
    {"变量一言", "[一言]", "标签10", " 说明: 发送一句话 (ZOQ自建API | 高效稳定)", nullptr},
    {"变量舔狗", "[舔狗]", "标签11", " 说明: 发送一段舔狗日记 (ZOQ自建API | 高效稳定)", nullptr},
    {"变量绿茶", "[绿茶]", "标签21", " 说明: 发送一段绿茶语录 (ZOQ原创API)", nullptr},
    {"变量诗词", "[诗词]", "标签20", " 说明: 发送一句随机诗词 (ZOQ自建API | 高效稳定)", nullptr},
    {"变量二次元", "[二次元]", "标签12", " 说明: 返回一张二次元图片 (来源于网络API)", nullptr},
    {"变量图接口", "[图接口=]", "标签13", " 说明: [图接口=api地址] 接收图片类API", nullptr},
    {"变量文接口", "[文接口=]", "标签14", " 说明: [文接口=api地址] 接收文本类API", nullptr},
    {"变量随机", "[|]", "标签15", " 说明: 随机选一条回复 回复1[|]回复2 (无限 支持图片/语音)", nullptr},
    {"变量数字", "[数字]", "标签16", " 说明: 未填写数字为1-99 [数字9000]为1-9000", nullptr},
    {"变量消息", "[消息]", "标签18", " 说明: 仅模糊词库可用 为关键词以外的内容 可提交API参数", nullptr},
    {"变量目标", "[目标]", "标签22", " 说明: 仅模糊词库可用 为关键词中 @ 的号码 可提交API参数", nullptr},
};

VariablePicker* openPicker = nullptr;

}  // namespace

bool VariablePicker::Create(const platform::FormClass& windowClass, WindowHandle settingsWindow) {
  if (!CreateWindowOf(windowClass, "变量", kWidth, kHeight, std::nullopt, settingsWindow)) return false;
  WindowHandle heading = Label(handle(), "透明标签1", 40, 14, 360, 20, "↓↓↓ 可点击变量插入编辑框 | 同时也支持框架变量",
                               false, kPageColour);
  SetTextColour(heading, kAccentColour);
  WindowHandle cancel = PictureButton(handle(), "取消", 368, 8, 87, 30, {Picture::ActionEraser}, {},
                                      Caption{"取消 ESC", 24, 0, 63, 30, kTextColour, true, true});
  On(cancel, Notice::Click, [this] { CloseVariablePicker(); });
  const bool wx = Plugin().HostType == kHostWx;  // its help differs
  int y = 50;
  for (const Variable& v : kVariables) {
    WindowHandle button = Button(handle(), v.button, 30, y, 60, 20, v.caption);
    Label(handle(), v.label, y < 170 ? 104 : 105, y, 350, 20, wx && v.wxHelp ? v.wxHelp : v.help, false, kEditBackground);
    On(button, Notice::Click, [this, button] { PickVariableButton(button); });
    y += 30;
  }
  return true;
}

void VariablePicker::FillVariablePicker(WindowHandle settingsWindow) {
  // Beside the settings window: its middle on the settings window's middle,
  // its left edge 115 pixels inside the settings window's right edge.
  const platform::Rect settings = platform::WindowRect(settingsWindow);
  platform::MoveWindowTo(handle(), settings.left + settings.width - 115, settings.top - kHeight / 2 + 250);
}

void VariablePicker::PickVariableButton(WindowHandle button) {
  // The picker closes on the first click of a double click: the second
  // would fall on the settings window under it (a row of the list there
  // loads that row in place of the reply being typed).
  platform::SwallowRestOfDoubleClick();
  InsertVariable(platform::WindowTextGbk(button));
}

void VariablePicker::InsertVariable(const std::string& variable) {
  picked_ = variable;
  CloseVariablePicker();
}

void VariablePicker::CloseVariablePicker() { platform::PostClose(handle()); }

void VariablePicker::OnEscape() { CloseVariablePicker(); }

std::optional<std::string> RunVariablePicker(const platform::FormClass& windowClass, WindowHandle settingsWindow) {
  if (openPicker) return std::nullopt;
  VariablePicker picker;
  if (!picker.Create(windowClass, settingsWindow)) return std::nullopt;
  picker.FillVariablePicker(settingsWindow);
  openPicker = &picker;
  platform::ShowWindowNow(picker.handle());
  platform::RunModal(picker.handle());
  openPicker = nullptr;
  return picker.picked();
}

VariablePicker* OpenedVariablePicker() { return openPicker; }

std::vector<std::string> PickerVariables() {
  std::vector<std::string> captions;
  for (const Variable& v : kVariables) captions.push_back(v.caption);
  return captions;
}

}  // namespace zoq::ui
