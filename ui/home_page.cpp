// Page 2 "主页": the robot account with its avatar, the switches that decide
// which messages are served, remembering the account, the group list and
// the strip of the maker's public group.
#include "core/files/ini_items.hpp"
#include "core/hosts.hpp"
#include "core/plugin.hpp"
#include "core/settings.hpp"
#include "platform/http.hpp"
#include "ui/settings_window.hpp"

namespace zoq::ui {
namespace {

bool RememberOn() { return ReadAdminItem("记忆登录", kSwitchOff) == kSwitchOn; }

void OpenForumPage() { platform::OpenAddress(HomeWebSettings().forum); }

}  // namespace

std::string FetchAvatar(const std::string& account) {
  const HomeWeb& web = HomeWebSettings();
  // A host that names the address itself (the WeChat-style host), else the
  // QQ avatar service.
  const HostProfile& host = ActiveHost();
  const std::string address = host.avatarAddress ? host.avatarAddress(Hosts(), account)
                                                 : web.avatarService + "/headimg_dl?dst_uin=" + account + "&spec=100";
  if (address.empty()) return {};
  return platform::HttpGet(address, web.limits);
}

void SettingsWindow::BuildHomePage() {
  const Colour label = kTextColour;
  std::vector<Caption> labels = {
      {"机器人账号", 140, 38, 96, 24, label},  {"记忆登录", 450, 38, 80, 24, label},
      {"仅限群号", 20, 205, 92, 24, label},    {"私聊开关", 230, 205, 90, 24, label},
      {"群聊开关", 440, 205, 90, 24, label},   {"群号列表", 20, 250, 84, 24, label},
      {"必须艾特", 20, 376, 92, 24, label},
      {"开启后 关键词仅在艾特机器人时回复", 20, 404, 300, 20, kDimTextColour, false, true},
      {"官方交流群", 340, 340, 170, 20, kDimTextColour, false, true},
  };
  WindowHandle page = pages_[2] = Container("全局页面区域1", 136, 16, 626, 468, Picture::Page, std::move(labels));

  PictureBox(page, "头像动画框", 20, 36, 100, 100);
  WindowHandle account = Edit(page, "主页_登录号头像", 238, 38, 170, 24, {false, true, 41}, false);
  platform::EnableWindowIf(account, false);
  struct SwitchUnit {
    const char* picture;
    const char* button;
    int x, y;
  };
  const SwitchUnit switches[] = {{"主页_记忆图", "主页_记忆控制", 534, 41},  {"主页_群号图", "主页_群号控制", 116, 208},
                                 {"主页_私聊图", "主页_私聊控制", 324, 208}, {"主页_群聊图", "主页_群聊控制", 534, 208},
                                 {"主页_仅限艾特图", "主页_仅限艾特", 116, 379}};
  for (const SwitchUnit& unit : switches) {
    PictureBox(page, unit.picture, unit.x, unit.y + 2, 15, 15);
    PictureButton(page, unit.button, unit.x + 26, unit.y, 44, 20, {Picture::ToggleNormal}, {Picture::TogglePressed});
  }
  platform::AddToolTip(handle(), Control("主页_群号控制"), "绿色：仅限群号列表内的群使用\r\n红色：所有群可用");
  Edit(page, "主页_群号列表", 108, 252, 496, 20, {false, true}, false);
  PictureBox(page, "群头像", 340, 366, 24, 24);
  Label(page, "主页_群号显示", 364, 366, 100, 24, "QQ群号", true, kPageColour);
  WindowHandle copy = Button(page, "主页_复制", 464, 366, 50, 24, "复制");
  platform::AddToolTip(handle(), copy, "复制官方QQ群号");
  WindowHandle forum = PictureButton(page, "主页_访问论坛", 341, 406, 170, 24, {Picture::ForumNormal},
                                     {Picture::ForumPressed}, Caption{}, kTextColour);
  SetButtonCaption(forum, HomeWebSettings().forum, kAccentColour);

  On(Control("主页_私聊控制"), Notice::Click,
     ToggleSetting([](Options& o) -> bool& { return o.Settings.好友权限; }, "好友权限", "主页_私聊图", false));
  On(Control("主页_群聊控制"), Notice::Click,
     ToggleSetting([](Options& o) -> bool& { return o.Settings.群组权限; }, "群组权限", "主页_群聊图", false));
  On(Control("主页_群号控制"), Notice::Click,
     ToggleSetting([](Options& o) -> bool& { return o.仅限群号; }, "仅限群号", "主页_群号图", false));
  On(Control("主页_仅限艾特"), Notice::Click,
     ToggleSetting([](Options& o) -> bool& { return o.Settings.必须艾特; }, "必须艾特", "主页_仅限艾特图", false));
  On(Control("主页_记忆控制"), Notice::Click, [this] { ToggleRememberAccount(); });
  OnEdit(Control("主页_群号列表"), SaveGroupList());
  On(copy, Notice::Click, [this] { CopyGroupNumber(); });
  On(copy, Notice::FocusLost, [this] { ResetCopyCaption(); });
  On(forum, Notice::Click, OpenForumPage);
}

void SettingsWindow::FillSettingsControls() {
  EnableNavButtons();
  platform::EnableWindowIf(Control("按钮_插件主页"), false);
  ShowPage(2);
  const std::shared_ptr<const Options> o = Plugin().Current();
  SetSwitchPicture("主页_群号图", o->仅限群号);
  SetSwitchPicture("主页_群聊图", o->Settings.群组权限);
  SetSwitchPicture("主页_私聊图", o->Settings.好友权限);
  SetSwitchPicture("主页_记忆图", RememberOn());
  SetSwitchPicture("主页_仅限艾特图", o->Settings.必须艾特);
  FillEdit(Control("主页_群号列表"), WholeAdminItem("群号列表", o->群号列表));
}

void SettingsWindow::ShowRobotAvatar() {
  WindowHandle box = Control("头像动画框");
  const platform::Bitmap* avatar = Keep(FetchAvatar(Plugin().RobotAccount()));
  PictureItem item;
  item.picture.bitmap = avatar;
  if (avatar && avatar->width() > 0) item.scaleX = item.scaleY = 100000 / avatar->width();
  AddItem(box, item);
  AddItem(box, PictureItem{{Picture::AvatarOverlayPicture}});
}

void SettingsWindow::FillMakerGroupStrip() {
  const std::string n = Plugin().MakerGroupNumber.get();
  const HomeWeb& web = HomeWebSettings();
  const std::string bytes = platform::HttpGet(web.groupAvatarService + "/gh/" + n + "/" + n + "/640/", web.limits);
  SetPicture(Control("群头像"), {std::nullopt, Keep(bytes)});
  platform::SetWindowTextGbk(Control("主页_群号显示"), "Q群 " + n);
}

void SettingsWindow::CopyGroupNumber() {
  platform::SetClipboardText(Plugin().MakerGroupNumber.get());
  platform::SetWindowTextGbk(Control("主页_复制"), "OK");
}

void SettingsWindow::ResetCopyCaption() { platform::SetWindowTextGbk(Control("主页_复制"), "复制 "); }

void SettingsWindow::ToggleRememberAccount() {
  const bool on = !RememberOn();
  SetSwitchPicture("主页_记忆图", on);
  WriteAdminItem("记忆登录", on ? kSwitchOn : kSwitchOff);
  WriteAdminItem("记忆号码", Plugin().RobotAccount());
}

}  // namespace zoq::ui
