// Page 0 "设置": the plug-in switch, the permissions, the owner numbers, the
// command words and the texts answered after a command. A switch is written
// at once; a box's text reaches the core at once and the file when the owner
// pauses or leaves the box. Filling the page stores what it shows where the
// file does not hold it yet: a return text missing from the file is stored
// with the default the box shows, which the robot then answers with.
#include "core/files/ini_items.hpp"
#include "core/plugin.hpp"
#include "core/settings.hpp"
#include "text/text.hpp"
#include "ui/settings_window.hpp"

namespace zoq::ui {
namespace {

struct CommandRow {
  const char* command;      // box, field and key
  const char* returnText;   // box and key
  const char* fallback;     // shown when the key is missing
  std::string SettingsRecord::*field;
  int x, y;                 // the command box; its return-text box lies below
  const char* tag;
  const char* note;         // under the return-text box
};

const CommandRow kRows[] = {
    {"开启命令", "开启返回文本", "词库功能已开启", &SettingsRecord::开启命令, 104, 117, "主人", "开启后的回复"},
    {"关闭命令", "关闭返回文本", "词库功能已关闭", &SettingsRecord::关闭命令, 104, 296, "主人", "关闭后的回复"},
    {"添加命令", "添加返回文本", kDefaultStageConfirmation, &SettingsRecord::添加命令, 315, 117, "远程", "添加后的回复 可用[词汇]"},
    {"删除命令", "删除返回文本", "删除词汇成功", &SettingsRecord::删除命令, 315, 296, "删除", "删除后的回复"},
    {"精确命令", "精确返回文本", "[词汇][N][回复]", &SettingsRecord::精确命令, 525, 117, "远程", "查询回复 可用[词汇][回复]"},
    {"模糊命令", "模糊返回文本", "[词汇][N][回复]", &SettingsRecord::模糊命令, 525, 296, "远程", "查询回复 可用[词汇][回复]"},
};

// A return text's change handler: what the owner types is what the robot
// answers with at once; the file gets it, with its line breaks as "[N]",
// when the owner pauses. A write the file refuses (a full disk, another
// process holding the folder) leaves the typed text answering as the box
// shows it, tried again until it is stored or the window closes.
EditHandler SaveReturnText(const char* key) {
  return {[key](const std::string& text) { TypedAdminItem(key, text::LineBreaksAsN(text)); },
          [key](const std::string& text) {
            if (!StoreAdminItem(key, text::LineBreaksAsN(text))) return false;
            TypedAdminItem(key, std::nullopt);
            return true;
          },
          key};
}

}  // namespace

std::vector<CommandReturnText> CommandReturnTexts() {
  std::vector<CommandReturnText> rows;
  for (const CommandRow& row : kRows) rows.push_back({row.command, row.returnText, row.fallback});
  return rows;
}

void SettingsWindow::BuildOptionsPage() {
  std::vector<Caption> labels = {
      {"插件开关", 20, 12, 84, 20, kTextColour},   {"主人号码", 20, 51, 84, 20, kTextColour},
      {"删除权限", 440, 13, 96, 20, kTextColour},  {"添加权限", 440, 53, 96, 20, kTextColour},
  };
  for (const CommandRow& row : kRows) {
    labels.push_back({row.command, row.x - 88, row.y, 84, 16, kTextColour});
    labels.push_back({row.tag, row.x - 88, row.y + 16, 84, 12, kAccentColour, false, true});
    labels.push_back({row.note, row.x - 88, row.y + 150, 176, 16, kDimTextColour, false, true});
  }
  WindowHandle page = pages_[0] = Container("全局页面区域", 136, 16, 626, 468, Picture::Page, std::move(labels));

  PictureBox(page, "插件开关图", 106, 15, 15, 15);
  PictureButton(page, "插件开关", 132, 13, 44, 20, {Picture::ToggleNormal}, {Picture::TogglePressed});
  PictureButton(page, "删除词汇", 542, 13, 68, 20, {Picture::PicButtonOffPicture}, {});
  PictureButton(page, "词库权限", 542, 53, 68, 20, {Picture::PicButtonOffPicture}, {});
  WindowHandle owner = Edit(page, "主人号码", 104, 51, 296, 20, {}, false);
  WindowHandle hint = PictureBox(page, "号码提示", 201, 75, 200, 35);
  SetPicture(hint, {Picture::OwnerHint});
  platform::ShowWindowIf(hint, false);
  for (const CommandRow& row : kRows) {
    Edit(page, row.command, row.x, row.y, 88, 25, {false, true}, true);
    ScrolledEdit(page, row.returnText, row.x - 88, row.y + 35, 176, 112);
  }

  On(Control("插件开关"), Notice::Click,
     ToggleSetting([](Options& o) -> bool& { return o.插件开关; }, "插件开关", "插件开关图", false));
  On(Control("删除词汇"), Notice::Click,
     ToggleSetting([](Options& o) -> bool& { return o.Settings.全员删除; }, "全员删除", "删除词汇", true));
  On(Control("词库权限"), Notice::Click,
     ToggleSetting([](Options& o) -> bool& { return o.Settings.全员可用; }, "全员可用", "词库权限", true));
  OnEdit(owner, SaveOwnerNumber());
  On(owner, Notice::FocusGained, [this] { ShowOwnerHint(); });
  On(owner, Notice::FocusLost, [this] { HideOwnerHint(); });
  for (const CommandRow& row : kRows) {
    OnEdit(Control(row.command),
           SaveCommandWord([field = row.field](Options& o) -> std::string& { return o.Settings.*field; }, row.command));
    OnEdit(Control(row.returnText), SaveReturnText(row.returnText));
  }
}

void SettingsWindow::ShowOwnerHint() { platform::ShowWindowIf(Control("号码提示"), true); }
void SettingsWindow::HideOwnerHint() { platform::ShowWindowIf(Control("号码提示"), false); }

void SettingsWindow::LoadReturnTexts() {
  EnableNavButtons();
  platform::EnableWindowIf(Control("按钮_远程命令"), false);
  ShowPage(0);
  const std::shared_ptr<const Options> o = Plugin().Current();
  SetSwitchPicture("插件开关图", o->插件开关);
  FillEdit(Control("主人号码"), WholeAdminItem("主人号码", o->Settings.主人号码));
  for (const CommandRow& row : kRows) {
    FillEdit(Control(row.command), WholeAdminItem(row.command, o->Settings.*row.field));
    FillEdit(Control(row.returnText), text::ReplaceAll(WholeAdminItem(row.returnText, row.fallback), "[N]", "\r\n"));
  }
}

}  // namespace zoq::ui
