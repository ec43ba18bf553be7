// Shows the settings window on one page for a while, for scripts/screenshots.sh:
//   ui_screens.exe <home|options|library|hint|picker|chooser|nobody> <milliseconds>
// or times the library page with two libraries of n keywords each (the
// first listing, then switching to the other library and back):
//   ui_screens.exe bench <n>
// The run folder is the current folder; the avatars come from a local server.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/plugin.hpp"
#include "core/reply/no_account_picture.hpp"
#include "core/settings.hpp"
#include "platform/files.hpp"
#include "tests/web/web_server.hpp"
#include "ui/settings_window.hpp"

extern "C" std::int32_t __stdcall set();

namespace {

using namespace zoq;

std::string Library(int n, const char* reply) {
  std::string text;
  for (int i = 0; i < n; ++i) text += "[关键词" + std::to_string(i) + "]\r\n回复=" + reply + std::to_string(i) + "[N]第二行\r\n";
  return text;
}

void Bench(ui::SettingsWindow& w) {
  LARGE_INTEGER frequency, t[4];
  QueryPerformanceFrequency(&frequency);
  const char* buttons[] = {"按钮_精确词库", "按钮_模糊词库", "按钮_精确词库"};
  QueryPerformanceCounter(&t[0]);
  for (int i = 0; i < 3; ++i) {
    platform::Click(w.Control(buttons[i]));
    UpdateWindow(w.handle());
    QueryPerformanceCounter(&t[i + 1]);
  }
  const auto ms = [&](int i) { return 1000.0 * (t[i + 1].QuadPart - t[i].QuadPart) / frequency.QuadPart; };
  std::printf("listed %.0f ms, switched %.0f ms, back %.0f ms\n", ms(0), ms(1), ms(2));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string page = argc > 1 ? argv[1] : "home";
  const int count = argc > 2 ? std::atoi(argv[2]) : 4000;
  const unsigned ms = static_cast<unsigned>(count);
  ProgramStart(platform::ExecutableFolder());
  LoadSettings();
  if (page == "bench") {
    platform::WriteWholeFile(ExactLibraryFile(), Library(count, "精确回复"));
    platform::WriteWholeFile(FuzzyLibraryFile(), Library(count, "模糊回复"));
  }
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
    if (page == "bench") return Bench(*w), ui::CloseSettingsWindows();
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
