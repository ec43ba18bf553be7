// The settings window through the real settings exports, driven by messages
// from a thread timer that fires inside the window's modal loop.
#include "ui/settings_window.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "core/info/info_records.hpp"
#include "core/ini_items.hpp"
#include "core/settings.hpp"
#include "platform/clock.hpp"
#include "tests/ui/settings_fixture.hpp"
#include "ui/image.hpp"

namespace zoq::testing {
namespace {

using platform::WindowHandle;

// The avatar service's answer: an 800 x 500 PNG.
std::string AvatarPng() { return std::string(ui::PictureData(ui::Picture::Background)); }

TEST_F(SettingsWindowTest, EachSettingsExportOpensTheWindowCentredOnTheHomePage) {
  const Export exports[] = {set, OQ_SetUp, MQset, SP_SetUp, ER_SetUp, XQ_SetUp, MQ_Set, ISky_Menu, Settings, ZOQ_MeKyu};
  for (Export open : exports) {
    EXPECT_EQ(Drive(open,
                    [](ui::SettingsWindow& w) {
                      const platform::Rect r = platform::WindowRect(w.handle()), screen = platform::ScreenRect();
                      EXPECT_EQ(r.width, 780);
                      EXPECT_EQ(r.height, 500);
                      EXPECT_EQ(r.left, (screen.width - 780) / 2);
                      EXPECT_EQ(r.top, (screen.height - 500) / 2);
                      EXPECT_EQ(w.Page(), 2);
                      EXPECT_FALSE(platform::IsEnabled(w.Control("按钮_插件主页")));
                      for (const char* name : {"按钮_远程命令", "按钮_精确词库", "按钮_模糊词库", "退出设置"}) {
                        EXPECT_TRUE(platform::IsEnabled(w.Control(name))) << name;
                      }
                      EXPECT_EQ(platform::WindowTextGbk(w.Control("版本标签")), VersionText());
                      EXPECT_EQ(platform::WindowTextGbk(w.Control("主页_登录号头像")), "10001");
                      EXPECT_EQ(platform::WindowTextGbk(w.Control("主页_群号显示")), "Q群 735921846");
                    }),
              0);
    EXPECT_EQ(ui::OpenedSettingsWindow(), nullptr);
  }
}

TEST_F(SettingsWindowTest, OptionsPageFillsWritesBackAndStoresEachChange) {
  WriteAdminItem("精确返回文本", "a[N]b");
  Drive(set, [&](ui::SettingsWindow& w) {
    platform::Click(w.Control("按钮_远程命令"));
    EXPECT_EQ(w.Page(), 0);
    EXPECT_FALSE(platform::IsEnabled(w.Control("按钮_远程命令")));
    EXPECT_TRUE(platform::IsEnabled(w.Control("按钮_插件主页")));
    // A missing return text shows the window's default and is written.
    EXPECT_EQ(platform::WindowTextGbk(w.Control("开启返回文本")), "词库功能已开启");
    EXPECT_EQ(Admin("开启返回文本"), "词库功能已开启");
    EXPECT_EQ(platform::WindowTextGbk(w.Control("精确返回文本")), "a\r\nb");
    EXPECT_EQ(Admin("精确返回文本"), "a[N]b");
    EXPECT_EQ(Admin("开启命令"), "开启问答");

    // The switch and the permissions.
    EXPECT_EQ(w.ShownBuiltIn(w.Control("插件开关图")), ui::Picture::SwitchOn);
    platform::Click(w.Control("插件开关"));
    EXPECT_EQ(w.ShownBuiltIn(w.Control("插件开关图")), ui::Picture::SwitchOff);
    EXPECT_FALSE(Plugin().插件开关);
    EXPECT_EQ(Admin("插件开关"), "关");
    platform::Click(w.Control("插件开关"));
    EXPECT_EQ(Admin("插件开关"), "开");
    EXPECT_EQ(w.ShownBuiltIn(w.Control("删除词汇")), ui::Picture::PicButtonOff);
    platform::Click(w.Control("删除词汇"));
    EXPECT_EQ(w.ShownBuiltIn(w.Control("删除词汇")), ui::Picture::PicButtonOn);
    EXPECT_TRUE(Plugin().Settings.全员删除);
    EXPECT_EQ(Admin("全员删除"), "开");

    // Typing: each change is written at once.
    WindowHandle owner = w.Control("主人号码");
    platform::SetWindowTextGbk(owner, "");
    platform::TypeText(owner, "1");
    EXPECT_EQ(Admin("主人号码"), "1");
    platform::TypeText(owner, "2");
    EXPECT_EQ(Admin("主人号码"), "12");
    EXPECT_EQ(Plugin().Settings.主人号码, "12");
    platform::SetWindowTextGbk(w.Control("开启命令"), "");
    EXPECT_EQ(Plugin().Settings.开启命令, "");
    EXPECT_EQ(Admin("开启命令"), "");
    WindowHandle answer = w.Control("关闭返回文本");
    platform::SetWindowTextGbk(answer, "");
    platform::TypeText(answer, "x\ry");  // Enter in a multi-line box
    EXPECT_EQ(platform::WindowTextGbk(answer), "x\r\ny");
    EXPECT_EQ(Admin("关闭返回文本"), "x[N]y");

    // The owner box's hint shows while it has the focus.
    WindowHandle hint = w.Control("号码提示");
    EXPECT_FALSE(platform::IsVisible(hint));
    platform::SetFocusTo(owner);
    EXPECT_TRUE(platform::IsVisible(hint));
    platform::SetFocusTo(w.Control("开启命令"));
    EXPECT_FALSE(platform::IsVisible(hint));
  });
}

TEST_F(SettingsWindowTest, LibraryButtonsSelectTheModeAndThePage) {
  Drive(set, [&](ui::SettingsWindow& w) {
    platform::Click(w.Control("按钮_精确词库"));
    EXPECT_EQ(w.Page(), 1);
    EXPECT_EQ(ui::LibraryMode(), 1);
    EXPECT_FALSE(platform::IsEnabled(w.Control("按钮_精确词库")));
    platform::Click(w.Control("按钮_模糊词库"));
    EXPECT_EQ(ui::LibraryMode(), 2);
    EXPECT_TRUE(platform::IsEnabled(w.Control("按钮_精确词库")));
    EXPECT_FALSE(platform::IsEnabled(w.Control("按钮_模糊词库")));
    platform::Click(w.Control("按钮_插件主页"));
    EXPECT_EQ(w.Page(), 2);
  });
}

TEST_F(SettingsWindowTest, HomePageSwitchesRememberGroupListAndCopy) {
  Drive(set, [&](ui::SettingsWindow& w) {
    EXPECT_EQ(w.ShownBuiltIn(w.Control("主页_群号图")), ui::Picture::SwitchOff);
    platform::Click(w.Control("主页_群号控制"));
    EXPECT_EQ(w.ShownBuiltIn(w.Control("主页_群号图")), ui::Picture::SwitchOn);
    EXPECT_TRUE(Plugin().仅限群号);
    EXPECT_EQ(Admin("仅限群号"), "开");

    // Remembering the account: the state lives in the file only.
    EXPECT_EQ(w.ShownBuiltIn(w.Control("主页_记忆图")), ui::Picture::SwitchOff);
    platform::Click(w.Control("主页_记忆控制"));
    EXPECT_EQ(w.ShownBuiltIn(w.Control("主页_记忆图")), ui::Picture::SwitchOn);
    EXPECT_EQ(Admin("记忆登录"), "开");
    EXPECT_EQ(Admin("记忆号码"), "10001");
    Plugin().RobotAccount = "20002";
    platform::Click(w.Control("主页_记忆控制"));
    EXPECT_EQ(Admin("记忆登录"), "关");
    EXPECT_EQ(Admin("记忆号码"), "20002");

    // Opening the page wrote the group list back; typing changes memory and file.
    EXPECT_EQ(Admin("群号列表"), "多群可使用任意符号分割");
    WindowHandle groups = w.Control("主页_群号列表");
    platform::SetWindowTextGbk(groups, "");
    platform::TypeText(groups, "123");
    EXPECT_EQ(Plugin().群号列表, "123");
    EXPECT_EQ(Admin("群号列表"), "123");

    WindowHandle copy = w.Control("主页_复制");
    platform::SetFocusTo(copy);
    platform::Click(copy);
    EXPECT_EQ(platform::ClipboardText(), "735921846");
    EXPECT_EQ(platform::WindowTextGbk(copy), "OK");
    platform::SetFocusTo(groups);
    EXPECT_EQ(platform::WindowTextGbk(copy), "复制 ");
  });
}

TEST_F(SettingsWindowTest, AvatarIsScaledToOneHundredPixelsUnderItsFrame) {
  server.Serve("/headimg_dl?dst_uin=10001&spec=100", AvatarPng());
  Drive(set, [&](ui::SettingsWindow& w) {
    const std::vector<ui::PictureItem> items = w.ItemsOf(w.Control("头像动画框"));
    ASSERT_EQ(items.size(), 2u);
    ASSERT_NE(items[0].picture.bitmap, nullptr);
    EXPECT_EQ(items[0].picture.bitmap->width(), 800);
    EXPECT_EQ(items[0].scaleX, 125);
    EXPECT_EQ(items[0].scaleY, 125);
    EXPECT_EQ(items[1].picture.builtIn, ui::Picture::AvatarOverlay);
    EXPECT_EQ(w.ShownBitmap(w.Control("群头像")), nullptr);  // the group picture was not served
  });
  EXPECT_EQ(server.Targets(), (std::vector<std::string>{"/headimg_dl?dst_uin=10001&spec=100",
                                                         "/gh/735921846/735921846/640/"}));
}

TEST_F(SettingsWindowTest, UnansweredFetchesGiveUpAndLeaveEmptyPictures) {
  server.Stall(30);
  const std::uint32_t start = platform::TickCount();
  Drive(set, [&](ui::SettingsWindow& w) {
    const std::vector<ui::PictureItem> items = w.ItemsOf(w.Control("头像动画框"));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].picture.bitmap, nullptr);
    EXPECT_EQ(items[0].scaleX, 1000);
    EXPECT_EQ(w.ShownBitmap(w.Control("群头像")), nullptr);
  });
  // Two fetches of one second each, not the server's thirty.
  EXPECT_LT(platform::TickCount() - start, 15000u);
}

TEST_F(SettingsWindowTest, ASecondExportWhileOpenReturnsAndShutDownClosesTheWindow) {
  Drive(set, [&](ui::SettingsWindow& w) {
    WindowHandle open = w.handle();
    EXPECT_EQ(OQ_SetUp(), 0);  // returns at once: the open window stays
    EXPECT_EQ(ui::OpenedSettingsWindow(), &w);
    EXPECT_TRUE(platform::IsAlive(open));
    EXPECT_EQ(ER_DestroyPlugin(), 0);  // ShutDown from the host while the loop runs
    EXPECT_FALSE(platform::IsAlive(open));
  });
  EXPECT_EQ(ui::OpenedSettingsWindow(), nullptr);
  EXPECT_FALSE(Plugin().AccountStarted);
  EXPECT_EQ(Plugin().RobotAccount, "");
}

TEST_F(SettingsWindowTest, UnloadingWithTheWindowOpenClosesIt) {
  WindowHandle open = nullptr;
  Drive(set, [&](ui::SettingsWindow& w) {
    open = w.handle();
    ProgramExit();
    EXPECT_FALSE(platform::IsAlive(open));
  });
  EXPECT_EQ(ui::OpenedSettingsWindow(), nullptr);
  ProgramStart(folder);  // for the fixture's own exit
}

}  // namespace
}  // namespace zoq::testing
