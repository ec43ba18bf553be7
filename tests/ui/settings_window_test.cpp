// The settings window, its options page and its home page through the real
// settings exports, keys through the window's own message loop; and a host
// that unloads the real DLL while a window is open.
#include <windows.h>

#include "core/info/info_records.hpp"
#include "platform/clock.hpp"
#include "tests/host/harness.hpp"
#include "tests/ui/settings_fixture.hpp"
#include "ui/pictures.hpp"

namespace zoq::testing {
namespace {

TEST_F(SettingsWindowTest, EachSettingsExportOpensTheWindowCentredOnTheHomePage) {
  for (Export open : {set, OQ_SetUp, MQset, SP_SetUp, ER_SetUp, XQ_SetUp, MQ_Set, ISky_Menu, Settings, ZOQ_MeKyu}) {
    EXPECT_EQ(Drive(open, {[](ui::SettingsWindow& w) {
                const platform::Rect r = platform::WindowRect(w.handle()), screen = platform::ScreenRect();
                EXPECT_EQ(std::vector<int>({r.left, r.top, r.width, r.height}),
                          std::vector<int>({(screen.width - 780) / 2, (screen.height - 500) / 2, 780, 500}));
                EXPECT_EQ(w.Page(), 2);
                for (const char* name : {"按钮_插件主页", "按钮_远程命令", "按钮_精确词库", "按钮_模糊词库", "退出设置"}) {
                  EXPECT_EQ(platform::IsEnabled(w.Control(name)), name != std::string("按钮_插件主页")) << name;
                }
                EXPECT_EQ(Text(w, "版本标签"), VersionText());
                EXPECT_EQ(Text(w, "主页_登录号头像"), "10001");
                EXPECT_EQ(Text(w, "主页_群号显示"), "Q群 735921846");
              }}),
              0);
    EXPECT_EQ(ui::OpenedSettingsWindow(), nullptr);
  }
}

TEST_F(SettingsWindowTest, PagesShowValuesWholeAndOpeningThemWritesNothing) {
  const std::string longText(10300, 'x'), longList(10300, '7');  // longer than the core reads
  for (const auto& [key, value] : {std::pair{"开启返回文本", longText}, {"主人号码", longList}, {"群号列表", longList},
                                   {"精确返回文本", std::string("a[N]b")}}) {
    WriteAdminItem(key, value);
  }
  const std::string before = ReadFile(DataFile("admin"));
  Drive(set, {[&](ui::SettingsWindow& w) {
    EXPECT_EQ(Text(w, "主页_群号列表"), longList);
    for (const char* page : {"按钮_远程命令", "按钮_精确词库", "按钮_模糊词库", "按钮_插件主页", "按钮_远程命令"}) {
      platform::Click(w.Control(page));
    }
    EXPECT_EQ(w.Page(), 0);
    EXPECT_EQ(Text(w, "开启返回文本"), longText);
    EXPECT_EQ(Text(w, "主人号码"), longList);
    EXPECT_EQ(Text(w, "精确返回文本"), "a\r\nb");
    EXPECT_EQ(Text(w, "关闭返回文本"), "词库功能已关闭");  // the window's default, shown only
  }});
  EXPECT_EQ(ReadFile(DataFile("admin")), before);
}

TEST_F(SettingsWindowTest, TypedTextReachesTheCoreAtOnceAndTheFileWhenTheOwnerLeavesTheBox) {
  for (const char* key : {"主人号码", "开启返回文本", "关闭返回文本"}) WriteAdminItem(key, "");
  Drive(set, {[](ui::SettingsWindow& w) {
                platform::Click(w.Control("按钮_远程命令"));
                Focus(w, "主人号码");
                platform::TypeText("12");
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Plugin().Settings.主人号码, "12");
                EXPECT_EQ(Admin("主人号码"), "");  // not at every keystroke
                EXPECT_TRUE(platform::IsVisible(w.Control("号码提示")));
                platform::PressKey(VK_TAB);
              },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Admin("主人号码"), "12");
                EXPECT_FALSE(platform::IsVisible(w.Control("号码提示")));
                Focus(w, "开启返回文本");
                platform::TypeText("a");
                platform::PressKey(VK_RETURN);  // a new line in a multi-line box
              },
              [](ui::SettingsWindow& w) {
                platform::TypeText("b");
                Focus(w, "关闭返回文本");
                platform::SetClipboardText("x\ny\rz\r\nw");  // pasted: lone LF and CR too
                platform::PressKey('V', true);
              },
              [](ui::SettingsWindow& w) { platform::PressKey(VK_TAB); },
              [](ui::SettingsWindow& w) {
                EXPECT_EQ(Admin("开启返回文本"), "a[N]b");
                EXPECT_EQ(Admin("关闭返回文本"), "x[N]y[N]z[N]w");
              }});
}

TEST_F(SettingsWindowTest, TabRunsThroughEveryBoxOfAPageAndShiftTabBack) {
  const std::vector<std::vector<const char*>> orders = {
      {"按钮_远程命令", "主人号码", "开启命令", "开启返回文本", "关闭命令", "关闭返回文本", "添加命令", "添加返回文本",
       "删除命令", "删除返回文本", "精确命令", "精确返回文本", "模糊命令", "模糊返回文本", "主人号码"},
      {"按钮_精确词库", "词控_搜索框", "词库列表", "词控_关键词框", "词控_回复框", "词控_冷却时间", "词控_搜索框"}};
  for (const std::vector<const char*>& order : orders) {
    std::vector<Step> steps = {[&](ui::SettingsWindow& w) {
      platform::Click(w.Control(order[0]));
      Focus(w, order[1]);
    }};
    for (std::size_t i = 1; i < order.size(); ++i) {
      steps.push_back([&, i](ui::SettingsWindow& w) {
        EXPECT_EQ(platform::FocusedWindow(), w.Control(order[i])) << order[i];
        platform::PressKey(VK_TAB, false, i + 1 == order.size());
      });
    }
    steps.push_back([&](ui::SettingsWindow& w) { EXPECT_EQ(platform::FocusedWindow(), w.Control(order.end()[-2])); });
    Drive(set, steps);
  }
}

TEST_F(SettingsWindowTest, SwitchesFlipShowAndWriteTheirSetting) {
  struct Switch {
    const char *page, *button, *picture, *key;
    bool* setting;
    ui::Picture on, off;
  };
  PluginState& p = Plugin();
  const Switch switches[] = {
      {"按钮_远程命令", "插件开关", "插件开关图", "插件开关", &p.插件开关, ui::Picture::SwitchOn, ui::Picture::SwitchOff},
      {"按钮_远程命令", "删除词汇", "删除词汇", "全员删除", &p.Settings.全员删除, ui::Picture::PicButtonOn,
       ui::Picture::PicButtonOff},
      {"按钮_远程命令", "词库权限", "词库权限", "全员可用", &p.Settings.全员可用, ui::Picture::PicButtonOn,
       ui::Picture::PicButtonOff},
      {"按钮_插件主页", "主页_私聊控制", "主页_私聊图", "好友权限", &p.Settings.好友权限, ui::Picture::SwitchOn,
       ui::Picture::SwitchOff},
      {"按钮_插件主页", "主页_群聊控制", "主页_群聊图", "群组权限", &p.Settings.群组权限, ui::Picture::SwitchOn,
       ui::Picture::SwitchOff},
      {"按钮_插件主页", "主页_群号控制", "主页_群号图", "仅限群号", &p.仅限群号, ui::Picture::SwitchOn, ui::Picture::SwitchOff},
      {"按钮_插件主页", "主页_仅限艾特", "主页_仅限艾特图", "必须艾特", &p.Settings.必须艾特, ui::Picture::SwitchOn,
       ui::Picture::SwitchOff}};
  Drive(set, {[&](ui::SettingsWindow& w) {
    for (const Switch& s : switches) {
      platform::Click(w.Control(s.page));
      const bool was = *s.setting;
      EXPECT_EQ(w.ShownBuiltIn(w.Control(s.picture)), was ? s.on : s.off) << s.key;
      for (const bool now : {!was, was}) {
        platform::Click(w.Control(s.button));
        EXPECT_EQ(*s.setting, now) << s.key;
        EXPECT_EQ(w.ShownBuiltIn(w.Control(s.picture)), now ? s.on : s.off) << s.key;
        EXPECT_EQ(Admin(s.key), now ? "开" : "关") << s.key;
      }
    }
    // Remembering the account: its state lives in the file only.
    for (const char* account : {"10001", "20002"}) {
      Plugin().RobotAccount = account;
      platform::Click(w.Control("主页_记忆控制"));
      EXPECT_EQ(Admin("记忆号码"), account);
    }
    EXPECT_EQ(Admin("记忆登录"), "关");
    EXPECT_EQ(w.ShownBuiltIn(w.Control("主页_记忆图")), ui::Picture::SwitchOff);

    WindowHandle copy = w.Control("主页_复制");
    platform::SetFocusTo(copy);
    platform::Click(copy);
    EXPECT_EQ(platform::ClipboardText(), "735921846");
    EXPECT_EQ(platform::WindowTextGbk(copy), "OK");
    Focus(w, "主页_群号列表");
    EXPECT_EQ(platform::WindowTextGbk(copy), "复制 ");
  }});
}

TEST_F(SettingsWindowTest, AvatarIsScaledToOneHundredPixelsUnderItsFrame) {
  server.Serve("/headimg_dl?dst_uin=10001&spec=100", std::string(ui::PictureData(ui::Picture::Background)));  // 800 px
  Drive(set, {[&](ui::SettingsWindow& w) {
    const std::vector<ui::PictureItem> items = w.ItemsOf(w.Control("头像动画框"));
    ASSERT_EQ(items.size(), 2u);
    ASSERT_NE(items[0].picture.bitmap, nullptr);
    EXPECT_EQ(std::vector<int>({items[0].picture.bitmap->width(), items[0].scaleX, items[0].scaleY}),
              std::vector<int>({800, 125, 125}));
    EXPECT_EQ(items[1].picture.builtIn, ui::Picture::AvatarOverlay);
    EXPECT_EQ(w.ShownBitmap(w.Control("群头像")), nullptr);  // the group picture was not served
  }});
  EXPECT_EQ(server.Targets(), (std::vector<std::string>{"/headimg_dl?dst_uin=10001&spec=100",
                                                         "/gh/735921846/735921846/640/"}));
}

TEST_F(SettingsWindowTest, UnansweredFetchesGiveUpAndLeaveEmptyPictures) {
  server.Stall(30);
  const std::uint32_t start = platform::TickCount();
  Drive(set, {[&](ui::SettingsWindow& w) {
    const std::vector<ui::PictureItem> items = w.ItemsOf(w.Control("头像动画框"));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].picture.bitmap, nullptr);
    EXPECT_EQ(w.ShownBitmap(w.Control("群头像")), nullptr);
  }});
  EXPECT_LT(platform::TickCount() - start, 15000u);  // two fetches of one second each, not the server's thirty
}

TEST_F(SettingsWindowTest, ShutDownOrUnloadingClosesTheWindowAndKeepsWhatWasTyped) {
  const std::function<void()> closers[] = {[] { EXPECT_EQ(ER_DestroyPlugin(), 0); }, [] { ProgramExit(); }};
  for (const auto& close : closers) {
    WriteAdminItem("群号列表", "");
    WindowHandle open = nullptr;
    Drive(set, {[&](ui::SettingsWindow& w) {
                  open = w.handle();
                  EXPECT_EQ(OQ_SetUp(), 0);  // returns at once: the open window stays
                  EXPECT_EQ(ui::OpenedSettingsWindow(), &w);
                  Focus(w, "主页_群号列表");
                  platform::TypeText("9");
                },
                [&](ui::SettingsWindow&) {
                  close();
                  EXPECT_FALSE(platform::IsAlive(open));
                }});
    EXPECT_EQ(ui::OpenedSettingsWindow(), nullptr);
    if (!PluginIfAlive()) ProgramStart(folder), LoadSettings();
    EXPECT_EQ(Admin("群号列表"), "9");
    EXPECT_FALSE(Plugin().AccountStarted);
    StartAccount();
  }
}

// A host that frees the DLL while its settings window or account chooser is
// open, from a timer inside the window or from another thread, then closes
// the window: the DLL goes once the export has returned, and the host loads
// it again.
TEST(UnloadWhileOpen, TheHostFreesTheDllFromATimerOrAThreadAndGoesOn) {
  for (const char* helper : {"unload-timer.dll", "unload-thread.dll"}) {
    for (const bool account : {false, true}) {
      Host host(FreshRunFolder(std::string("ui-") + helper + (account ? "-settings" : "-chooser")));
      WriteFile(host.folder() + "\\" + helper, ReadFile(BinFolder() + "\\ui_unload_helper.dll"));
      ASSERT_TRUE(host.Load());
      if (account) {
        for (const std::int32_t code : {12000, 1101}) {
          host.CallNumber("Event", {std::string("10001"), code, 0, Null{}, Null{}, Null{}, Null{}, Null{}, Null{},
                                    Null{}, Null{}, 0});
        }
      }
      ASSERT_TRUE(host.Preload(host.folder() + "\\" + helper));
      EXPECT_TRUE(host.CallNumber("set").ok) << helper << " " << account;
      EXPECT_EQ(host.FunctionAddress(PluginFileName(), "set"), 0u);
      ASSERT_TRUE(host.Load());
      EXPECT_TRUE(host.CallText("info").ok);
    }
  }
}

}  // namespace
}  // namespace zoq::testing
