// The account chooser opened by a settings export while no account is
// taken: each host's account list (from the fake host DLLs), the empty
// state, selecting, and confirming, which closes the chooser before the
// settings window opens.
#include <windows.h>

#include <map>
#include <memory>

#include "core/hosts.hpp"
#include "platform/files.hpp"
#include "tests/fakehost/fakehost_client.hpp"
#include "tests/ui/settings_fixture.hpp"
#include "ui/account_chooser.hpp"
#include "ui/pictures.hpp"

namespace zoq::testing {
namespace {

class AccountChooserTest : public SettingsWindowTest {
 protected:
  void SetUp() override {
    SettingsWindowTest::SetUp();
    ShutDown();  // no account taken
  }

  // One loaded copy of each fake host DLL per process (the adapters find a
  // host DLL by its name: a second copy would never be called), answers reset.
  FakeHostDll& Fake(const std::string& file, const std::string& subfolder = "") {
    static std::map<std::string, std::unique_ptr<FakeHostDll>> fakes;
    std::unique_ptr<FakeHostDll>& fake = fakes[file];
    if (!fake) fake = std::make_unique<FakeHostDll>(file, folder + "\\fakes" + subfolder);
    EXPECT_TRUE(fake->loaded()) << file;
    fake->Reset();
    return *fake;
  }

  // Opens the chooser through a settings export and runs the steps (in the
  // chooser, then in the settings window if one opens); closes what is left.
  void RunChooser(std::vector<std::function<void()>> steps) {
    steps.back() = [last = steps.back()] {
      last();
      if (ui::AccountChooser* c = ui::OpenedAccountChooser()) platform::DestroyNow(c->handle());
      if (ui::SettingsWindow* w = ui::OpenedSettingsWindow()) platform::DestroyNow(w->handle());
    };
    Script script(std::move(steps));
    EXPECT_EQ(set(), 0);
    EXPECT_EQ(ui::OpenedAccountChooser(), nullptr);
  }
  static std::function<void()> In(std::function<void(ui::AccountChooser&)> step) {
    return [step] {
      ui::AccountChooser* c = ui::OpenedAccountChooser();
      ASSERT_NE(c, nullptr);
      step(*c);
    };
  }
  void ExpectItems(std::vector<std::string> items) {
    RunChooser({In([items](ui::AccountChooser& c) { EXPECT_EQ(Items(c), items); })});
  }

  static std::vector<std::string> Items(const ui::AccountChooser& c) {
    std::vector<std::string> items;
    WindowHandle list = c.Control("号码列表");
    for (int i = 0; i < platform::ListItemCount(list); ++i) items.push_back(platform::ListItemText(list, i));
    return items;
  }
};

TEST_F(AccountChooserTest, ClassicHostListsEveryAccountAndConfirmingOpensTheSettingsWindowAlone) {
  FakeHostDll& fake = Fake("VLQapi.dll");
  fake.SetAnswer("Api_GetOnLineList", "10001\r\n20002\r\n");
  server.Serve("/headimg_dl?dst_uin=10001&spec=100", std::string(ui::PictureData(ui::Picture::SwitchOn)));
  server.Serve("/headimg_dl?dst_uin=20002&spec=100", std::string(ui::PictureData(ui::Picture::AvatarOverlay)));
  ui::ChosenAccount() = "";
  WindowHandle chooser = nullptr;
  RunChooser({In([&](ui::AccountChooser& c) {
                chooser = c.handle();
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
              }),
              [&] {
                ui::SettingsWindow* w = ui::OpenedSettingsWindow();
                ASSERT_NE(w, nullptr);
                EXPECT_FALSE(platform::IsAlive(chooser));  // not left over the settings window
                EXPECT_EQ(platform::WindowTextGbk(w->Control("主页_登录号头像")), "20002");
              }});
  EXPECT_EQ(ui::ChosenAccount(), "20002");  // kept for the next opening

  // An account of two bytes cannot be confirmed.
  ShutDown();
  fake.SetAnswer("Api_GetOnLineList", "12");
  RunChooser({In([](ui::AccountChooser& c) {
    EXPECT_EQ(Items(c), std::vector<std::string>{"12"});
    platform::Click(c.Control("确定"));
    EXPECT_FALSE(Plugin().AccountStarted);
  })});
}

TEST_F(AccountChooserTest, WithoutAnAccountTheListSaysSoInRedAndOnlyCancelLeaves) {
  Fake("message.dll").SetAnswer("Api_GetLoginQQ", "1234");  // ISky: an account needs five bytes
  Plugin().HostType = kHostIsky;
  RunChooser({In([](ui::AccountChooser& c) {
    WindowHandle list = c.Control("号码列表");
    EXPECT_EQ(Items(c), std::vector<std::string>{"框架没有号码在线"});
    EXPECT_EQ(platform::SelectedListItem(list), 0);
    EXPECT_FALSE(platform::IsEnabled(list));
    EXPECT_FALSE(platform::IsEnabled(c.Control("确定")));
    const platform::Pixels shown = platform::Snapshot(list);
    int red = 0;
    for (std::size_t i = 0; i < shown.rgba.size(); i += 4) red += shown.rgba[i] > 200 && shown.rgba[i + 1] < 80;
    EXPECT_GT(red, 20) << "the text is not drawn red";
    const platform::Bitmap* picture = c.ShownBitmap(c.Control("头像"));
    ASSERT_NE(picture, nullptr);  // the built-in no-account picture
    EXPECT_EQ(picture->width(), 100);
    platform::Click(c.Control("确定"));
    EXPECT_FALSE(Plugin().AccountStarted);
    platform::Click(c.Control("放弃"));
  })});
  Fake("message.dll").SetAnswer("Api_GetLoginQQ", "12345");
  ExpectItems({"12345"});
  EXPECT_EQ(Plugin().RobotAccount, "");
}

TEST_F(AccountChooserTest, FunctionTableHostSkipsAccountsNotLoggedIn) {
  FakeHostDll& fake = Fake("tablehost.dll");
  std::string table = "{";
  for (const auto& [name, kinds] : fake.Functions()) {
    const auto address = reinterpret_cast<std::uintptr_t>(GetProcAddress(static_cast<HMODULE>(fake.module()), name.c_str()));
    table += (table.size() > 1 ? ",\"" : "\"") + name + "\":" + std::to_string(address);
  }
  Hosts().table.InitApiTable("KEY", table + "}");
  Plugin().HostType = kHostTable;
  fake.SetAnswer("取框架QQ", "{\"QQlist\":{\"111222\":{\"登录状态\":\"在线\"},\"333444\":{\"登录状态\":\"未登录\"}}}");
  ExpectItems({"111222"});
  fake.SetAnswer("取框架QQ", "not json");
  ExpectItems({"框架没有号码在线"});
}

TEST_F(AccountChooserTest, WeChatStyleHostListsItsAccountsByItsVersion) {
  platform::CreateFolder(folder + "\\fakes");
  platform::CreateFolder(folder + "\\fakes\\Bin");
  FakeHostDll& fake = Fake("wx-pro\\Api.dll", "\\Bin\\Bin");
  std::string root = fake.path().substr(0, fake.path().size() - std::string("\\Bin\\Bin\\Api.dll").size());
  for (std::size_t at = root.find('\\'); at != std::string::npos; at = root.find('\\', at + 2)) root.insert(at, "\\");
  Hosts().wx.InitApp(R"({"AppName":"app","FileName":"file","Version":"VLW_Pro","path":")" + root + "\"}");
  Plugin().HostType = kHostWx;
  fake.SetAnswer("取框架版本号", "VLW-2.1");
  fake.SetAnswer("取登录账号列表", R"({"data":[{"wxid":"wxid_a"},{"wxid":"wxid_b"}]})");
  ExpectItems({"wxid_a", "wxid_b"});
  // A version without "VLW-": the one logged-in account only.
  fake.SetAnswer("取框架版本号", "2.1");
  fake.SetAnswer("取登录账号列表", R"({"data":[{"wxid":"wxid_one"}]})");
  ExpectItems({"wxid_one"});
}

}  // namespace
}  // namespace zoq::testing
