// The account chooser opened by a settings export while no account is
// taken: each host's account list (from the fake host DLLs), the empty
// state, selecting, and confirming, which closes the chooser before the
// settings window opens.
#include "ui/account_chooser.hpp"

#include <tuple>

#include "core/hosts.hpp"
#include "platform/files.hpp"
#include "tests/ui/settings_fixture.hpp"
#include "ui/form.hpp"
#include "ui/pictures.hpp"

namespace zoq::testing {
namespace {

class AccountChooserTest : public SettingsWindowTest {
 protected:
  void SetUp() override { SettingsWindowTest::SetUp(), ShutDown(); }  // no account taken

  // Opens the chooser through a settings export, runs `inChooser` in it and
  // `then` in the settings window that opens after it.
  void RunChooser(std::function<void(ui::AccountChooser&)> inChooser, std::function<void()> then = nullptr) {
    std::vector<std::function<void()>> steps = {[=] {
      ASSERT_NE(ui::OpenedAccountChooser(), nullptr);
      inChooser(*ui::OpenedAccountChooser());
    }};
    if (then) steps.push_back(then);
    EXPECT_EQ(Run(set, std::move(steps)), 0);
  }
  void ExpectItems(std::vector<std::string> items) {
    RunChooser([items](ui::AccountChooser& c) { EXPECT_EQ(Items(c), items); });
  }
  static std::vector<std::string> Items(const ui::AccountChooser& c) {
    std::vector<std::string> items(platform::ListItemCount(c.Control("号码列表")));
    for (std::size_t i = 0; i < items.size(); ++i) items[i] = platform::ListItemText(c.Control("号码列表"), int(i));
    return items;
  }
};

// The colour of the frame line round a control, painted afresh: CLR_INVALID
// unless all four sides have it and the inside does not.
COLORREF FrameOf(WindowHandle control) {
  const Printed p(control);
  const RECT all = p.All();
  const COLORREF left = p.At(0, all.bottom / 2);
  const std::vector<COLORREF> sides = {p.At(all.right / 2, 0), p.At(all.right - 1, all.bottom / 2),
                                       p.At(all.right / 2, all.bottom - 1)};
  return sides == std::vector<COLORREF>(3, left) && p.At(2, 2) != left ? left : CLR_INVALID;
}
// `a` (0xRRGGBB) mixed with `percent` per cent of `b`, as a COLORREF.
COLORREF Mixed(std::uint32_t a, std::uint32_t b, int percent) {
  int part[3];
  for (int i = 0; i < 3; ++i) {
    const int x = a >> (16 - 8 * i) & 0xFF, y = b >> (16 - 8 * i) & 0xFF;
    part[i] = x + (y - x) * percent / 100;
  }
  return RGB(part[0], part[1], part[2]);
}

TEST_F(AccountChooserTest, ClassicHostListsEveryAccountAndConfirmingOpensTheSettingsWindowAlone) {
  FakeHostDll& fake = Fake("VLQapi.dll");
  fake.SetAnswer("Api_GetOnLineList", "10001\r\n20002\r\n");
  server.Serve("/headimg_dl?dst_uin=10001&spec=100", std::string(ui::PictureData(ui::Picture::SwitchOnPicture)));
  server.Serve("/headimg_dl?dst_uin=20002&spec=100", std::string(ui::PictureData(ui::Picture::AvatarOverlayPicture)));
  WindowHandle chooser = nullptr;
  RunChooser(
      [&](ui::AccountChooser& c) {
        chooser = c.handle();
        EXPECT_EQ(Items(c), (std::vector<std::string>{"10001", "20002"}));
        EXPECT_EQ(platform::SelectedListItem(c.Control("号码列表")), 0);
        // Its face is framed all round in one line, lighter while it has the focus.
        platform::SetFocusTo(c.Control("确定"));
        const COLORREF line = FrameOf(c.Control("号码列表"));
        platform::SetFocusTo(c.Control("号码列表"));
        const COLORREF lit = FrameOf(c.Control("号码列表"));
        EXPECT_EQ(std::pair(line, lit), std::pair(Mixed(ui::kEditBackground, ui::kTextColour, 40),
                                                  Mixed(ui::kEditBackground, ui::kTextColour, 80)));
        // Its chevron in the same line: a V of two-pixel strokes, four rows high, in the middle
        // of the square at its right end (pixels, top and bottom row, left and right end).
        const Printed face(c.Control("号码列表"));
        const int w = face.All().right, h = face.All().bottom;
        int v[5] = {0, h, 0, w, 0};
        for (int y = 1; y < h - 1; ++y) {
          for (int x = w - h + 1; x < w - 1; ++x) {
            if (face.At(x, y) != lit) continue;
            v[0]++, v[1] = std::min(v[1], y), v[2] = std::max(v[2], y), v[3] = std::min(v[3], x), v[4] = std::max(v[4], x);
          }
        }
        EXPECT_EQ(std::vector<int>(v, v + 5), (std::vector<int>{14, h / 2 - 2, h / 2 + 1, w - h / 2 - 4, w - h / 2 + 3}));
        // The account's number on the face's own ground, nothing white behind it.
        EXPECT_EQ(face.Count(face.All(), [](COLORREF c) { return c == RGB(255, 255, 255); }), 0);
        // Dropped down: the chosen account's row is lit, the other in the list's colours.
        SendMessageW(c.Control("号码列表"), CB_SHOWDROPDOWN, TRUE, 0);
        COMBOBOXINFO parts{sizeof parts};
        GetComboBoxInfo(c.Control("号码列表"), &parts);
        const Printed dropped(parts.hwndList);
        EXPECT_EQ(std::pair(dropped.At(dropped.All().right - 3, 8), dropped.At(dropped.All().right - 3, 24)),
                  std::pair(GetSysColor(COLOR_HIGHLIGHT), Mixed(ui::kEditBackground, 0, 0)));
        SendMessageW(c.Control("号码列表"), CB_SHOWDROPDOWN, FALSE, 0);
        const auto avatarWidth = [&] { return std::to_string(c.ShownBitmap(c.Control("头像"))->width()); };
        EXPECT_EQ(ui::ChosenAccount() + "," + avatarWidth(), "10001,15");
        platform::ChooseListItem(c.Control("号码列表"), 1);
        EXPECT_EQ(ui::ChosenAccount() + "," + avatarWidth(), "20002,100");
        platform::Click(c.Control("确定"));
        EXPECT_EQ(Plugin().RobotAccount(), "20002");
      },
      [&] {
        ASSERT_NE(ui::OpenedSettingsWindow(), nullptr);
        EXPECT_FALSE(platform::IsAlive(chooser));  // not left over the settings window
        EXPECT_EQ(Text(*ui::OpenedSettingsWindow(), "主页_登录号头像"), "20002");
      });
  ShutDown();
  fake.SetAnswer("Api_GetOnLineList", "12");
  RunChooser([](ui::AccountChooser& c) {
    platform::Click(c.Control("确定"));  // an account of two bytes cannot be confirmed
    EXPECT_FALSE(Plugin().AccountStarted());
  });
  // The stop export on another thread as an account is confirmed: the
  // chooser goes, and no settings window opens after it.
  fake.SetAnswer("Api_GetOnLineList", "10001");
  OtherThreadStop other;
  Script script({[&] {
    const HWND window = ui::OpenedAccountChooser()->handle();
    platform::Click(ui::OpenedAccountChooser()->Control("确定"));
    other.Start([window] { return !IsWindow(window) && !ui::OpenedSettingsWindow(); });
    other.SendToIt();  // the stop now waits for the windows
  }});
  EXPECT_EQ(set(), 0);
  other.Finish();
  EXPECT_EQ(other.result, 0);
  EXPECT_TRUE(other.goneOnReturn);
  EXPECT_FALSE(Plugin().AccountStarted());
}

// How many pixels of the control's client area, painted afresh, are red.
int RedPixels(WindowHandle control) {
  const Printed printed(control);  // red at least 192, green below 64
  return printed.Count(printed.All(), [](COLORREF c) { return (c & 0xC0C0) == 0xC0; });
}

TEST_F(AccountChooserTest, WithoutAnAccountTheListSaysSoInRedAndOnlyCancelLeaves) {
  Fake("message.dll").SetAnswer("Api_GetLoginQQ", "1234");  // ISky: an account needs five bytes
  Plugin().HostType = kHostIsky;
  RunChooser([](ui::AccountChooser& c) {
    WindowHandle list = c.Control("号码列表");
    EXPECT_EQ(Items(c), std::vector<std::string>{"框架没有号码在线"});
    EXPECT_EQ(platform::SelectedListItem(list), 0);
    EXPECT_FALSE(platform::IsEnabled(list) || platform::IsEnabled(c.Control("确定")));
    EXPECT_GT(RedPixels(list), 20) << "the text is not drawn red";
    ASSERT_NE(c.ShownBitmap(c.Control("头像")), nullptr);  // the built-in no-account picture
    EXPECT_EQ(c.ShownBitmap(c.Control("头像"))->width(), 100);
    platform::Click(c.Control("确定"));
    EXPECT_FALSE(Plugin().AccountStarted());
    platform::Click(c.Control("放弃"));
  });
  Fake("message.dll").SetAnswer("Api_GetLoginQQ", "12345");
  ExpectItems({"12345"});
  // Over the host's window, the focus in a box of it, closed from the keyboard (Tab to 取消,
  // past the list and 确定 with an account, Space): the host's window is active again, the
  // focus in its box.
  for (const auto& [account, tabs] : {std::pair{"12", 1}, {"12345", 3}}) {
    Fake("message.dll").SetAnswer("Api_GetLoginQQ", account);
    HWND host = CreateWindowExW(0, L"#32770", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    HWND box = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 24, host, nullptr, nullptr, nullptr);
    SetFocus(box);
    Run(set, {[tabs] { for (int i = 0; i < tabs; ++i) PressKey(VK_TAB); PressKey(VK_SPACE); }}, true);
    EXPECT_EQ(std::pair(GetActiveWindow(), GetFocus()), std::pair(host, box)) << account;
    DestroyWindow(host);
  }
}

TEST_F(AccountChooserTest, FunctionTableAndWeChatStyleHostsListTheirAccounts) {
  FakeHostDll& table = Fake("tablehost.dll");
  std::string functions;
  for (const auto& [name, kinds] : table.Functions()) {
    functions +=
        ",\"" + name +
        "\":" + std::to_string(reinterpret_cast<std::uintptr_t>(GetProcAddress(HMODULE(table.module()), name.c_str())));
  }
  Hosts().table.InitApiTable("KEY", "{" + functions.substr(1) + "}");
  Plugin().HostType = kHostTable;
  table.SetAnswer("取框架QQ", "{\"QQlist\":{\"111222\":{\"登录状态\":\"在线\"},\"333444\":{\"登录状态\":\"未登录\"}}}");
  ExpectItems({"111222"});
  table.SetAnswer("取框架QQ", "not json");
  ExpectItems({"框架没有号码在线"});

  // The WeChat-style host: by its version, every account of its list or its one logged-in account.
  platform::CreateFolder(FakesFolder() + "\\Bin");
  FakeHostDll& wx = Fake("wx-pro\\Api.dll", "\\Bin\\Bin");
  std::string root = wx.path().substr(0, wx.path().size() - std::string("\\Bin\\Bin\\Api.dll").size());
  for (std::size_t at = root.find('\\'); at != std::string::npos; at = root.find('\\', at + 2)) root.insert(at, "\\");
  Hosts().wx.InitApp(R"({"AppName":"app","FileName":"file","Version":"VLW_Pro","path":")" + root + "\"}");
  Plugin().HostType = kHostWx;
  for (const auto& [version, list, accounts] :
       {std::tuple{"VLW-2.1", R"({"data":[{"wxid":"wxid_a"},{"wxid":"wxid_b"}]})",
                   std::vector<std::string>{"wxid_a", "wxid_b"}},
        {"2.1", R"({"data":[{"wxid":"wxid_one"}]})", std::vector<std::string>{"wxid_one"}}}) {
    wx.SetAnswer("取框架版本号", version);
    wx.SetAnswer("取登录账号列表", list);
    ExpectItems(accounts);
  }
}

}  // namespace
}  // namespace zoq::testing
