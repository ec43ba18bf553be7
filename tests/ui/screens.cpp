// Shows the settings window on one page for a while, for scripts/screenshots.sh:
//   ui_screens.exe <home|options|library|hint|picker|chooser|nobody> <milliseconds>
// The run folder is the current folder; the avatars come from a local server.
#include <cstdlib>
#include <string>

#include "core/plugin.hpp"
#include "core/reply/no_account_picture.hpp"
#include "core/settings.hpp"
#include "platform/files.hpp"
#include "tests/web/web_server.hpp"
#include "ui/settings_window.hpp"

extern "C" std::int32_t __stdcall set();

int main(int argc, char** argv) {
  using namespace zoq;
  const std::string page = argc > 1 ? argv[1] : "home";
  const unsigned ms = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 4000;
  ProgramStart(platform::ExecutableFolder());
  LoadSettings();
  // The chooser pages take no account: "chooser" lists the accounts of the
  // fake VLQ host beside the program, "nobody" finds no host.
  const bool chooser = page == "chooser" || page == "nobody";
  Plugin().HostType = page == "nobody" ? kHostIsky : kHostVlq;
  Plugin().RobotAccount = "1357924680";
  Plugin().MakerGroupNumber = "735921846";
  if (!chooser) StartAccount();
  testing::WebServer server;
  server.Serve("/headimg_dl?dst_uin=1357924680&spec=100", NoAccountPicture());
  server.Serve("/gh/735921846/735921846/640/", NoAccountPicture());
  server.Serve("/headimg_dl?dst_uin=10001&spec=100", NoAccountPicture());
  ui::HomeWebSettings() = {server.base(), server.base(), "https://bbs.zoqbot.cn", {2000, 2000, 2000}};
  if (chooser) platform::RunSoon([ms] { platform::RunSoon([] { ui::CloseSettingsWindows(); }, ms); });
  if (!chooser) platform::RunSoon([page, ms] {
    ui::SettingsWindow* w = ui::OpenedSettingsWindow();
    if (!w) return;
    if (page == "options" || page == "hint") platform::Click(w->Control("按钮_远程命令"));
    if (page == "library" || page == "picker") platform::Click(w->Control("按钮_精确词库"));
    if (page == "hint") platform::SetFocusTo(w->Control("主人号码"));
    platform::RunSoon([] { ui::CloseSettingsWindows(); }, ms);
    if (page == "picker") platform::Click(w->Control("词控_变量"));  // returns when the picker closes
  });
  set();
  ProgramExit();
  return 0;
}
