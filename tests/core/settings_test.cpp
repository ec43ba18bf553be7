// The settings file, the data folders and the keyword library files, on a
// fresh run folder, through the real Windows INI functions.
#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>

#include "core/files/default_libraries.hpp"
#include "core/files/ini_items.hpp"
#include "core/plugin.hpp"
#include "core/program.hpp"
#include "core/settings.hpp"
#include "core/web_addresses.hpp"
#include "platform/files.hpp"
#include "tests/core/core_fixture.hpp"
#include "text/text.hpp"

namespace zoq::testing {
namespace {

using SettingsTest = CoreTest;

void WriteAdmin(const std::string& folder, const std::string& key, const std::string& value) {
  platform::CreateFolders(folder + "\\ZOQData\\ZOQ-F-关键词");
  WritePrivateProfileStringA("admin", key.c_str(), value.c_str(), (folder + "\\ZOQData\\ZOQ-F-关键词\\admin").c_str());
}

TEST_F(SettingsTest, FreshRunFolderGetsFoldersAndDefaultLibraries) {
  LoadSettings();
  EXPECT_EQ(DataFolder(), folder + "\\ZOQData\\ZOQ-F-关键词\\");
  EXPECT_FALSE(Exists(DataFile("admin")));
  for (const auto& [name, bytes, sections] : {std::tuple{"SayZ.ini", DefaultExactLibrary(), 22u},
                                             std::tuple{"SayM.ini", DefaultFuzzyLibrary(), 12u}}) {
    EXPECT_EQ(ReadFile(DataFile(name)), bytes);
    EXPECT_EQ(ReadIniSections(DataFile(name)).size(), sections);
    EXPECT_EQ(text::ReplaceAll(bytes, "\r\n", "").find_first_of("\r\n"), std::string::npos);  // CRLF only
  }
  EXPECT_EQ(Plugin().FuzzyKeywords(), ReadIniSections(DataFile("SayM.ini")));
  // The demonstration addresses: HTTPS picture and poetry APIs, a plain-HTTP
  // translation API taking the message as its `msg` query value.
  EXPECT_TRUE(std::string(web::kDemoPictureApi).starts_with("https://"));
  EXPECT_TRUE(std::string(web::kDemoPictureApi).ends_with("/pic/"));
  EXPECT_TRUE(std::string(web::kDemoPoetryApi).ends_with("/rensheng.txt"));
  EXPECT_TRUE(std::string(web::kDemoTranslateApi).starts_with("http://"));
  EXPECT_TRUE(std::string(web::kDemoTranslateApi).ends_with("/api/fanyi2/api.php?msg="));
  // Existing libraries are never touched; a deleted one comes back.
  WriteFile(DataFile("SayZ.ini"), "[mine]\r\n回复=x\r\n");
  WriteFile(DataFile("SayM.ini"), "");
  LoadSettings();
  EXPECT_EQ(ReadFile(DataFile("SayZ.ini")), "[mine]\r\n回复=x\r\n");
  EXPECT_EQ(ReadFile(DataFile("SayM.ini")), "");
  EXPECT_TRUE(Plugin().FuzzyKeywords().empty());
  DeleteFileA(DataFile("SayM.ini").c_str());
  LoadSettings();
  EXPECT_EQ(Plugin().FuzzyKeywords().size(), 12u);
}

TEST_F(SettingsTest, OptionsAreReadWithTheirDefaults) {
  LoadSettings();  // nothing stored
  const std::shared_ptr<const Options> o = Plugin().Current();
  const Options& p = *o;
  const SettingsRecord& s = p.Settings;
  EXPECT_EQ((std::vector<bool>{p.插件开关, s.好友权限, s.群组权限, s.全员删除, s.全员可用, s.必须艾特, p.仅限群号}),
            (std::vector<bool>{true, true, true, false, false, false, false}));
  EXPECT_EQ((std::vector<std::string>{s.主人号码, s.开启命令, s.关闭命令, s.添加命令, s.删除命令, s.精确命令, s.模糊命令, p.群号列表,
                                      Plugin().RobotAccount()}),
            (std::vector<std::string>{"1357924680", "开启问答", "关闭问答", "添加词汇", "删除词汇", "精确回复", "模糊回复",
                                      "多群可使用任意符号分割", ""}));
  EXPECT_EQ(s.精确冷却 + s.模糊冷却, 0);
  // Only "开" is on; whole numbers read full-width digits.
  for (const char* stored : {"on", "1", "", "开开", "開"}) {
    WriteAdmin(folder, "插件开关", stored);
    WriteAdmin(folder, "全员删除", stored);
    LoadSettings();
    EXPECT_FALSE(Plugin().Current()->插件开关 || Plugin().Current()->Settings.全员删除) << stored;
  }
  WriteAdmin(folder, "全员删除", "开");
  WriteAdmin(folder, "精确冷却", "\xA3\xB1\xA3\xB2\xA3\xB0");  // １２０
  WriteAdmin(folder, "模糊冷却", "abc");
  LoadSettings();
  EXPECT_TRUE(Plugin().Current()->Settings.全员删除);
  EXPECT_EQ(Plugin().Current()->Settings.精确冷却, 120);
  EXPECT_EQ(Plugin().Current()->Settings.模糊冷却, 0);
}

// Mended: past about 259 bytes of path every setting read as its default:
// the owner's switch, group filter and cool-downs were ignored.
TEST_F(SettingsTest, SettingsHoldInADataFolderOfAnyLength) {
  const std::string data = "\\ZOQData\\ZOQ-F-关键词\\";
  for (const std::size_t length : {std::size_t(260), std::size_t(300)}) {
    const std::string run = folder + "\\" + std::string(length - folder.size() - 1 - data.size(), 'L');
    platform::CreateFolders(run + data);
    ASSERT_TRUE(platform::WriteWholeFile(run + data + "admin",
                                         "[admin]\r\n插件开关=关\r\n仅限群号=开\r\n群号列表=111\r\n精确冷却=60\r\n"));
    ProgramExit();
    ProgramStart(run);
    LoadSettings();
    const std::shared_ptr<const Options> o = Plugin().Current();
    EXPECT_EQ(o->DataFolder.folder().size(), length);
    EXPECT_FALSE(o->插件开关) << length;
    EXPECT_TRUE(o->仅限群号) << length;
    EXPECT_EQ(o->群号列表, "111");
    EXPECT_EQ(o->Settings.精确冷却, 60);
    EXPECT_EQ(ReadIniSections(run + data + "SayM.ini").size(), 12u);
  }
}

// The account: remembered at enable (started with five bytes or more), forgotten at shut down.
TEST_F(SettingsTest, RememberedAccountStartsWithFiveBytesAndShutDownForgetsIt) {
  const struct {
    const char *remember, *number, *expected;
    bool started;
  } rows[] = {{"开", "1234", "1234", false}, {"开", "12345", "12345", true}, {"关", "12345", "777", false}};
  for (const auto& row : rows) {
    WriteAdmin(folder, "记忆登录", row.remember);
    WriteAdmin(folder, "记忆号码", row.number);
    Plugin().ForgetRobotAccount();
    Plugin().SetRobotAccount("777", false);  // off: the remembered account is not read at all
    LoadSettings();
    EXPECT_EQ(Plugin().RobotAccount(), row.expected);
    EXPECT_EQ(Plugin().AccountStarted(), row.started) << row.number;
  }
  WriteAdmin(folder, "主人号码", "42");
  LoadSettings();
  Plugin().HostType = kHostVlq;
  bool closed = false;
  Plugin().SetCloseWindows([&] { closed = true; });
  Plugin().SetRobotAccount(Plugin().RobotAccount(), true);
  ShutDown();  // the windows close, the account goes; settings and libraries stay
  EXPECT_TRUE(closed);
  EXPECT_TRUE(Plugin().RobotAccount().empty());
  EXPECT_FALSE(Plugin().AccountStarted());
  EXPECT_EQ(Plugin().HostType.load(), kHostVlq);
  EXPECT_EQ(Plugin().Current()->Settings.主人号码, "42");
  EXPECT_TRUE(Plugin().Current()->插件开关);
  EXPECT_EQ(Plugin().FuzzyKeywords().size(), 12u);
}

}  // namespace
}  // namespace zoq::testing
