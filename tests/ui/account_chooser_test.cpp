// The account chooser opened by a settings export while no account is
// taken: each host's account list (from the fake host DLLs), the empty
// state, selecting, and confirming, which closes the chooser before the
// settings window opens.
#include <windows.h>

#include "tests/fakehost/fakehost_client.hpp"
#include "tests/ui/settings_fixture.hpp"
#include "ui/account_chooser.hpp"
#include "core/hosts.hpp"
#include "ui/pictures.hpp"

namespace zoq::testing {
namespace {

class AccountChooserTest : public SettingsWindowTest {
 protected:
  void SetUp() override {
    SettingsWindowTest::SetUp();
    ShutDown();  // no account taken
  }

  // Opens the chooser through a settings export, runs `inside` in it and
  // closes it if it is still open; `settings` runs in the settings window
  // if one opens afterwards.
  void RunChooser(std::function<void(ui::AccountChooser&)> inside,
                  std::function<void(ui::SettingsWindow&)> settings = nullptr) {
    bool ran = false;
    settingsOpened = false;
    platform::RunSoon([&] {
      ui::AccountChooser* chooser = ui::OpenedAccountChooser();
      if (!chooser) return;
      ran = true;
      inside(*chooser);
      if (settings) WhenSettingsOpen(settings, 100);
      if (ui::OpenedAccountChooser() && !settings) platform::DestroyNow(chooser->handle());
    });
    EXPECT_EQ(set(), 0);
    EXPECT_TRUE(ran);
    EXPECT_EQ(ui::OpenedAccountChooser(), nullptr);
    EXPECT_EQ(settingsOpened, settings != nullptr);
  }

  void WhenSettingsOpen(std::function<void(ui::SettingsWindow&)> then, int tries) {
    platform::RunSoon([this, then, tries] {
      if (ui::SettingsWindow* w = ui::OpenedSettingsWindow()) {
        settingsOpened = true;
        then(*w);
        platform::DestroyNow(w->handle());
      } else if (tries > 0) {
        WhenSettingsOpen(then, tries - 1);
      }
    }, 20);
  }

  static std::vector<std::string> Items(const ui::AccountChooser& c) {
    std::vector<std::string> items;
    WindowHandle list = c.Control("号码列表");
    for (int i = 0; i < platform::ListItemCount(list); ++i) items.push_back(platform::ListItemText(list, i));
    return items;
  }

  static void ExpectEmptyState(ui::AccountChooser& c) {
    EXPECT_EQ(Items(c), std::vector<std::string>{"框架没有号码在线"});
    EXPECT_EQ(platform::SelectedListItem(c.Control("号码列表")), 0);
    EXPECT_EQ(c.TextColourOf(c.Control("号码列表")), 0xFF0000u);
    EXPECT_FALSE(platform::IsEnabled(c.Control("号码列表")));
    EXPECT_FALSE(platform::IsEnabled(c.Control("确定")));
    const platform::Bitmap* picture = c.ShownBitmap(c.Control("头像"));
    ASSERT_NE(picture, nullptr);  // the built-in no-account picture
    EXPECT_EQ(picture->width(), 100);
    platform::Click(c.Control("确定"));
    EXPECT_FALSE(Plugin().AccountStarted);
    platform::Click(c.Control("放弃"));
  }

  std::string Fakes() const { return folder + "\\fakes"; }
  bool settingsOpened = false;
};

TEST_F(AccountChooserTest, ClassicHostListsEveryAccountAndConfirmingOpensTheSettingsWindowAlone) {
  FakeHostDll fake("VLQapi.dll", Fakes());
  ASSERT_TRUE(fake.loaded());
  fake.SetAnswer("Api_GetOnLineList", "10001\r\n20002\r\n");
  server.Serve("/headimg_dl?dst_uin=10001&spec=100", std::string(ui::PictureData(ui::Picture::SwitchOn)));
  server.Serve("/headimg_dl?dst_uin=20002&spec=100", std::string(ui::PictureData(ui::Picture::AvatarOverlay)));
  ui::ChosenAccount() = "";
  WindowHandle chooserWindow = nullptr;
  RunChooser(
      [&](ui::AccountChooser& c) {
        chooserWindow = c.handle();
        EXPECT_TRUE(platform::IsTopmost(c.handle()));
        EXPECT_EQ(Items(c), (std::vector<std::string>{"10001", "20002"}));
        EXPECT_EQ(platform::SelectedListItem(c.Control("号码列表")), 0);
        EXPECT_EQ(ui::ChosenAccount(), "10001");
        ASSERT_NE(c.ShownBitmap(c.Control("头像")), nullptr);
        EXPECT_EQ(c.ShownBitmap(c.Control("头像"))->width(), 15);
        platform::ChooseListItem(c.Control("号码列表"), 1);
        EXPECT_EQ(ui::ChosenAccount(), "20002");
        EXPECT_EQ(c.ShownBitmap(c.Control("头像"))->width(), 100);
        platform::Click(c.Control("确定"));
        EXPECT_EQ(Plugin().RobotAccount, "20002");
        EXPECT_TRUE(Plugin().AccountStarted);
      },
      [&](ui::SettingsWindow& w) {
        EXPECT_EQ(ui::OpenedAccountChooser(), nullptr);
        EXPECT_FALSE(platform::IsAlive(chooserWindow));  // not left over the settings window
        EXPECT_EQ(platform::WindowTextGbk(w.Control("主页_登录号头像")), "20002");
      });
  EXPECT_EQ(ui::ChosenAccount(), "20002");  // kept for the next opening
}

TEST_F(AccountChooserTest, AnAccountOfTwoBytesCannotBeConfirmed) {
  FakeHostDll fake("VLQapi.dll", Fakes());
  fake.SetAnswer("Api_GetOnLineList", "12");
  RunChooser([&](ui::AccountChooser& c) {
    EXPECT_EQ(Items(c), std::vector<std::string>{"12"});
    platform::Click(c.Control("确定"));
    EXPECT_FALSE(Plugin().AccountStarted);
    EXPECT_EQ(Plugin().RobotAccount, "");
  });
}

TEST_F(AccountChooserTest, IskyTakesItsLoginAccountWhenLongerThanFourBytes) {
  FakeHostDll fake("message.dll", Fakes());
  Plugin().HostType = kHostIsky;
  fake.SetAnswer("Api_GetLoginQQ", "12345");
  RunChooser([&](ui::AccountChooser& c) { EXPECT_EQ(Items(c), std::vector<std::string>{"12345"}); });
  fake.SetAnswer("Api_GetLoginQQ", "1234");
  RunChooser([&](ui::AccountChooser& c) { ExpectEmptyState(c); });
  EXPECT_EQ(Plugin().RobotAccount, "");
}

TEST_F(AccountChooserTest, FunctionTableHostSkipsAccountsNotLoggedIn) {
  FakeHostDll fake("tablehost.dll", Fakes());
  std::string table = "{";
  for (const auto& [name, kinds] : fake.Functions()) {
    const auto address = reinterpret_cast<std::uintptr_t>(GetProcAddress(static_cast<HMODULE>(fake.module()), name.c_str()));
    table += (table.size() > 1 ? ",\"" : "\"") + name + "\":" + std::to_string(address);
  }
  Hosts().table.InitApiTable("KEY", table + "}");
  Plugin().HostType = kHostTable;
  fake.SetAnswer("取框架QQ", "{\"QQlist\":{\"111222\":{\"登录状态\":\"在线\"},\"333444\":{\"登录状态\":\"未登录\"}}}");
  RunChooser([&](ui::AccountChooser& c) { EXPECT_EQ(Items(c), std::vector<std::string>{"111222"}); });
  fake.SetAnswer("取框架QQ", "not json");
  RunChooser([&](ui::AccountChooser& c) { ExpectEmptyState(c); });
}

TEST_F(AccountChooserTest, WeChatStyleHostListsItsAccountsByItsVersion) {
  platform::CreateFolder(Fakes());
  platform::CreateFolder(Fakes() + "\\Bin");
  FakeHostDll fake("wx-pro\\Api.dll", Fakes() + "\\Bin\\Bin");
  ASSERT_TRUE(fake.loaded());
  std::string path = Fakes();
  for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 2)) path.insert(at, "\\");
  Hosts().wx.InitApp(R"({"AppName":"app","FileName":"file","Version":"VLW_Pro","path":")" + path + "\"}");
  Plugin().HostType = kHostWx;
  fake.SetAnswer("取框架版本号", "VLW-2.1");
  fake.SetAnswer("取登录账号列表", R"({"data":[{"wxid":"wxid_a"},{"wxid":"wxid_b"}]})");
  RunChooser([&](ui::AccountChooser& c) { EXPECT_EQ(Items(c), (std::vector<std::string>{"wxid_a", "wxid_b"})); });
  // A version without "VLW-": the one logged-in account only.
  fake.SetAnswer("取框架版本号", "2.1");
  fake.SetAnswer("取登录账号列表", R"({"data":[{"wxid":"wxid_one"}]})");
  RunChooser([&](ui::AccountChooser& c) { EXPECT_EQ(Items(c), std::vector<std::string>{"wxid_one"}); });
}

}  // namespace
}  // namespace zoq::testing
