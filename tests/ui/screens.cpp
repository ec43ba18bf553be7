// For scripts/screenshots.sh, shows the settings window on one page for a while:
//   ui_screens.exe <home|options|hint|library|listfocus|large|clicked|typeahead|picker|ctrld|escaped|inserted|chooser|nobody|unstored|closeprompt|focus|noname|several|mixed> <ms>
// ("options": a return text longer than its box; "library": a row selected, the focus in
// the keyword box; "listfocus": the focus in the list; "large": a library of 5,000
// keywords and a long reply; "clicked": 17 rows, row 2 clicked, then row 6; "typeahead":
// fruits, "ban" typed over the list; "chooser": its first account chosen, the list closed; "unstored": a return
// text typed that the read-only file refused; "closeprompt": the same, then Alt+F4: the
// question; "ctrld": Ctrl+D in the reply box: the picker; "escaped": then Esc, and a key
// typed: in the reply box again; "inserted": a reply of many lines, Ctrl+D, Enter on
// [图接口=], and an address typed: inside its brackets, in view; "focus": Tab on a
// switch; "noname": a file dropped whose name the code page lacks, without a short name:
// the box that says so; "several": three files dropped at once on such a volume, two
// whose names hosts would misread: the reply and the box; "mixed": the exact library saved
// as UTF-8 with one line another editor wrote in GBK: the page's note); or times listing one
// library of n keywords, switching to the other and back, saving a keyword and deleting it:
// ui_screens.exe bench <n>.
// The run folder is the current folder; the avatars come from a local server.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "core/plugin.hpp"
#include "core/program.hpp"
#include "core/reply/no_account_picture.hpp"
#include "core/settings.hpp"
#include "platform/code_pages.hpp"
#include "platform/files.hpp"
#include "tests/ui/run_soon.hpp"
#include "tests/web/web_server.hpp"
#include "ui/account_chooser.hpp"
#include "ui/settings_window.hpp"
#include "ui/variable_picker.hpp"

extern "C" std::int32_t __stdcall set();
using namespace zoq;

void Bench(ui::SettingsWindow& w) {
  LARGE_INTEGER frequency, t[6];
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&t[0]);
  for (int i = 0; i < 5; ++i) {
    if (i < 3) platform::Click(w.Control(i == 1 ? "按钮_模糊词库" : "按钮_精确词库"));
    if (i == 3) {  // a keyword saved, then deleted again
      platform::SetWindowTextGbk(w.Control("词控_关键词框"), "新词");
      platform::SetWindowTextGbk(w.Control("词控_回复框"), "新回复");
      platform::Click(w.Control("词控_保存"));
    }
    if (i == 4) platform::Click(w.Control("词控_删除"));
    UpdateWindow(w.handle());
    QueryPerformanceCounter(&t[i + 1]);
  }
  const auto ms = [&](int i) { return 1000.0 * (t[i + 1].QuadPart - t[i].QuadPart) / frequency.QuadPart; };
  std::printf("listed %.0f ms, switched %.0f ms, back %.0f ms, saved %.0f ms, deleted %.0f ms\n", ms(0), ms(1), ms(2),
              ms(3), ms(4));
}

int main(int argc, char** argv) {
  const std::string page = argc > 1 ? argv[1] : "home";
  const int number = argc > 2 ? std::atoi(argv[2]) : 4000;  // milliseconds, or keywords for "bench"
  ProgramStart(platform::ExecutableFolder());
  LoadSettings();
  for (const std::string& file : {ExactLibraryFile(), FuzzyLibraryFile()}) {
    std::string text;
    for (int i = 0, n = page == "bench" ? number : page == "large" ? 5000 : page == "clicked" ? 17 : 0; i < n; ++i) {
      text += "[关键词" + std::to_string(i) + "]\r\n回复=回复内容" + std::to_string(i) + "[N]第二行\r\n";
    }
    for (const char* fruit : {"apple", "apricot", "banana", "blueberry", "cherry", "grape", "mango", "melon"}) {
      if (page == "typeahead") text += std::string("[") + fruit + "]\r\n回复=水果 " + fruit + "\r\n";
    }
    if (!text.empty()) platform::WriteWholeFile(file, text);
  }
  if (page == "mixed") {  // UTF-8 (the literals' bytes taken as such) around one line of GBK
    const auto utf8 = [](const char8_t* t) { return std::string(reinterpret_cast<const char*>(t)); };
    platform::WriteWholeFile(ExactLibraryFile(), utf8(u8"[早安]\r\n回复=早上好\r\n[晚安]\r\n回复=") + "晚安好梦\r\n" +
                                                     utf8(u8"[午安]\r\n回复=午休\r\n"));
  }
  // The chooser pages take no account: "chooser" lists the accounts of the
  // fake VLQ host beside the program, "nobody" finds no host.
  const bool chooser = page == "chooser" || page == "nobody";
  Plugin().HostType = page == "nobody" ? kHostIsky : kHostVlq;
  Plugin().SetRobotAccount("20001", !chooser);
  Plugin().MakerGroupNumber.set("735921846");
  testing::WebServer server;
  for (const char* path : {"/headimg_dl?dst_uin=20001&spec=100", "/gh/735921846/735921846/640/",
                           "/headimg_dl?dst_uin=20002&spec=100"}) {
    server.Serve(path, NoAccountPicture());
  }
  ui::HomeWebSettings() = {server.base(), server.base(), "https://bbs.zoqbot.cn", {2000, 2000, 2000}};
  if (page == "options") {
    std::string lines;
    for (int i = 1; i <= 30; ++i) lines += "返回第" + std::to_string(i) + "行[N]";
    WriteAdminItem("开启返回文本", lines);
  }
  const unsigned ms = static_cast<unsigned>(number);
  testing::RunSoon([page, ms, chooser] {
    ui::SettingsWindow* w = ui::OpenedSettingsWindow();
    if (page == "bench" && w) return Bench(*w), ui::CloseSettingsWindows();
    testing::RunSoon([] { ui::CloseSettingsWindows(); }, ms);
    if (chooser || !w) return;
    const bool refused = page == "unstored" || page == "closeprompt";
    if (page == "options" || page == "hint" || refused) platform::Click(w->Control("按钮_远程命令"));
    if (refused) {  // typed, then the focus leaves the box: refused
      SetFileAttributesA(AdminFile().c_str(), FILE_ATTRIBUTE_READONLY);
      platform::SetFocusTo(w->Control("关闭返回文本"));
      for (wchar_t c : std::wstring(L"NEW")) PostMessageW(w->Control("关闭返回文本"), WM_CHAR, c, 1);
      testing::RunSoon([w] { platform::SetFocusTo(w->Control("关闭命令")); }, 300);
      testing::RunSoon([] { SetFileAttributesA(AdminFile().c_str(), FILE_ATTRIBUTE_NORMAL); }, 5500);
    }
    if (page == "closeprompt") {  // Alt+F4 in the box with the focus
      testing::RunSoon([] {
        const LPARAM held = MapVirtualKeyW(VK_F4, MAPVK_VK_TO_VSC) << 16 | KF_ALTDOWN << 16 | 1;
        PostMessageW(GetFocus(), WM_SYSKEYDOWN, VK_F4, held);
        PostMessageW(GetFocus(), WM_SYSKEYUP, VK_F4, held | 0xC0000000);
      }, 1200);
    }
    if (page == "ctrld" || page == "escaped" || page == "inserted") {  // keys as the owner types them, to the focus
      platform::Click(w->Control("按钮_精确词库"));
      platform::SetWindowTextGbk(w->Control("词控_关键词框"), "早安");
      std::string reply = "早上好 [@]";
      for (int i = 1; page == "inserted" && i <= 12; ++i) reply += "\r\n第" + std::to_string(i) + "行";
      platform::SetWindowTextGbk(w->Control("词控_回复框"), page == "inserted" ? reply + "\r\n图片: " : reply);
      platform::SetFocusTo(w->Control("词控_回复框"));
      if (page != "inserted") platform::CaretToEnd(w->Control("词控_回复框"));
      const auto ctrl = [](bool down) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = keys[VK_LCONTROL] = down ? 0x80 : 0;
        SetKeyboardState(keys);
      };
      testing::RunSoon([ctrl] { ctrl(true), PostMessageW(GetFocus(), WM_KEYDOWN, 'D', 1); }, 300);
      testing::RunSoon([ctrl] { ctrl(false); }, 600);  // inside the picker's loop
      if (page == "escaped") {
        testing::RunSoon([] { PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1); }, 1500);
        testing::RunSoon([] { for (wchar_t c : std::wstring(L"早")) PostMessageW(GetFocus(), WM_CHAR, c, 1); }, 2200);
      }
      if (page == "inserted") {  // Enter on [图接口=] in the picker, then the address
        testing::RunSoon([] {
          if (!ui::OpenedVariablePicker()) return;
          platform::SetFocusTo(ui::OpenedVariablePicker()->Control("变量图接口"));
          PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
        }, 1500);
        testing::RunSoon([] { for (wchar_t c : std::wstring(L"http://pic.example")) PostMessageW(GetFocus(), WM_CHAR, c, 1); }, 2200);
      }
    }
    if (page == "noname" || page == "several") {  // dropped on a volume without short names
      platform::Click(w->Control("按钮_精确词库"));
      const std::wstring folder = L"C:\\图片\\";  // as an owner's pictures
      CreateDirectoryW(folder.c_str(), nullptr);
      std::vector<std::string> dropped;
      for (const wchar_t* name : page == "noname" ? std::vector<const wchar_t*>{L"고양이.png"}
                                                  : std::vector<const wchar_t*>{L"猫[1].png", L"猫.png", L"[表情]狗.png"}) {
        CloseHandle(CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        dropped.push_back(platform::WideToGb18030(folder + name));
      }
      platform::SetWindowTextGbk(w->Control("词控_回复框"), "早上好 ");
      platform::volumeWithoutShortNames = true;  // for the rest of this page's run: the drop is handled later
      platform::DropFiles(w->Control("词控_回复框"), dropped);
    }
    if (page == "focus") {  // Tab from the switch before it
      platform::SetFocusTo(w->Control("主页_群聊控制"));
      PostMessageW(w->Control("主页_群聊控制"), WM_KEYDOWN, VK_TAB, 1);
    }
    const bool library = page == "library" || page == "listfocus";
    const bool list = page == "clicked" || page == "typeahead";
    if (library || list || page == "large" || page == "picker" || page == "mixed") platform::Click(w->Control("按钮_精确词库"));
    const HWND rows = w->Control("词库列表");
    const auto click = [rows](int row) {  // with the mouse, through the window's loop
      RECT r{LVIR_BOUNDS};
      SendMessageW(rows, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
      const LPARAM at = MAKELPARAM(20, (r.top + r.bottom) / 2);
      PostMessageW(rows, WM_LBUTTONDOWN, MK_LBUTTON, at), PostMessageW(rows, WM_LBUTTONUP, 0, at);
    };
    if (page == "clicked") click(2), testing::RunSoon([click] { click(6); }, 500);
    if (page == "typeahead") {
      platform::SetFocusTo(rows);
      for (char c : std::string("ban")) PostMessageW(rows, WM_CHAR, c, 1);
    }
    if (library) platform::ListView(w->Control("词库列表")).Select(2);
    if (page == "listfocus") platform::SetFocusTo(w->Control("词库列表"));
    if (page == "large") {  // a reply longer than its box
      std::string reply;
      for (int i = 1; i <= 20; ++i) reply += "第" + std::to_string(i) + "行\r\n";
      platform::SetWindowTextGbk(w->Control("词控_回复框"), reply);
    }
    if (page == "hint") platform::SetFocusTo(w->Control("主人号码"));
    if (page == "picker") platform::Click(w->Control("词控_变量"));  // returns when the picker closes
  });
  set();
  ProgramExit();
  return 0;
}
