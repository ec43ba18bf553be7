#include "ui/account_chooser.hpp"

#include "core/hosts.hpp"
#include "core/plugin.hpp"
#include "core/reply/no_account_picture.hpp"
#include "ui/settings_window.hpp"

namespace zoq::ui {
namespace {

constexpr Colour kRed = 0xFF0000;
AccountChooser* openChooser = nullptr;

}  // namespace

std::string& ChosenAccount() {
  static std::string account;
  return account;
}

bool AccountChooser::Create(const platform::FormClass& windowClass) {
  if (!CreateTopmostWindowOf(windowClass, "ZOQ·关键词", 200, 280, Picture::ChooserBackground,
                             {{"关键词", 54, 10, 100, 24, kTextColour},
                              {"启用号码", 40, 172, 120, 20, kDimTextColour, false, true}})) {
    return false;
  }
  PictureBox(handle(), "头像", 50, 54, 100, 100);
  WindowHandle list = Named("号码列表", platform::CreateDropDownList(handle(), 40, 196, 120, 20));
  SetColours(list, kTextColour, kEditBackground);
  WindowHandle confirm = Button(handle(), "确定", 40, 234, 50, 24, "确定");
  WindowHandle cancel = Button(handle(), "放弃", 110, 234, 50, 24, "取消");
  On(list, Notice::RowSelected, [this] { AccountSelected(); });
  On(confirm, Notice::Click, [this] { ConfirmAccount(); });
  On(cancel, Notice::Click, [this] { CancelAccountChooser(); });
  return true;
}

void AccountChooser::ListOnlineAccounts() {
  WindowHandle list = Control("号码列表");
  const std::vector<std::string> accounts = OnlineAccounts();
  if (accounts.empty()) {
    SetTextColour(list, kRed);
    platform::AddListItem(list, "框架没有号码在线");
    platform::SelectListItem(list, 0);
    platform::EnableWindowIf(list, false);
    platform::EnableWindowIf(Control("确定"), false);
    SetPicture(Control("头像"), {std::nullopt, Keep(NoAccountPicture())});
    return;
  }
  for (const std::string& account : accounts) platform::AddListItem(list, account);
  platform::SelectListItem(list, 0);
  ChosenAccount() = platform::ListItemText(list, 0);
  ShowAvatar();
}

void AccountChooser::AccountSelected() {
  WindowHandle list = Control("号码列表");
  ChosenAccount() = platform::ListItemText(list, platform::SelectedListItem(list));
  ShowAvatar();
}

void AccountChooser::ShowAvatar() { SetPicture(Control("头像"), {std::nullopt, Keep(FetchAvatar(ChosenAccount()))}); }

void AccountChooser::ConfirmAccount() {
  // In the empty state the kept account of an earlier opening is no choice.
  if (!platform::IsEnabled(Control("确定")) || ChosenAccount().size() < 3) return;
  Plugin().SetRobotAccount(ChosenAccount(), true);
  confirmed_ = true;
  // The chooser goes first; the settings window opens once it has gone.
  platform::PostClose(handle());
}

void AccountChooser::CancelAccountChooser() { platform::PostClose(handle()); }

AccountChooser* OpenedAccountChooser() { return openChooser; }

bool RunAccountChooser(const platform::FormClass& windowClass) {
  AccountChooser chooser;
  if (!chooser.Create(windowClass)) return false;
  openChooser = &chooser;
  chooser.ListOnlineAccounts();
  platform::ShowWindowNow(chooser.handle());
  platform::RunModal(chooser.handle());
  openChooser = nullptr;
  const PluginState* p = PluginIfAlive();
  return chooser.confirmed() && p && p->AccountStarted();
}

}  // namespace zoq::ui
