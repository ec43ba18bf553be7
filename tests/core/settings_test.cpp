// The settings file, the data folders and the keyword library files, on a
// fresh run folder, through the real Windows INI functions.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/ini_items.hpp"
#include "core/plugin.hpp"
#include "core/settings.hpp"
#include "core/web_addresses.hpp"
#include "tests/core/core_fixture.hpp"

namespace zoq::testing {
namespace {

using SettingsTest = CoreTest;

void WriteAdmin(const std::string& folder, const std::string& key, const std::string& value) {
  const std::string data = folder + "\\ZOQData";
  CreateDirectoryA(data.c_str(), nullptr);
  CreateDirectoryA((data + "\\ZOQ-F-关键词").c_str(), nullptr);
  WritePrivateProfileStringA("admin", key.c_str(), value.c_str(), (data + "\\ZOQ-F-关键词\\admin").c_str());
}

TEST_F(SettingsTest, FreshRunFolderGetsFoldersAndDefaultLibraries) {
  LoadSettings();
  const PluginState& p = Plugin();
  EXPECT_EQ(p.DataFolder, folder + "\\ZOQData\\ZOQ-F-关键词\\");
  EXPECT_TRUE(Exists(folder + "\\ZOQData\\ZOQ-F-关键词"));
  EXPECT_FALSE(Exists(DataFile("admin")));

  // Read back through the INI functions: 22 and 12 sections.
  EXPECT_EQ(ReadIniSections(DataFile("SayZ.ini")).size(), 22u);
  EXPECT_EQ(ReadIniItem(DataFile("SayZ.ini"), "来一份禁言套餐", "回复"),
            "[@]一份小套餐[禁言[数字100]][|][@]一份大套餐[禁言[数字600]]");
  const std::vector<std::string> expectedFuzzy = {"1357924680", "@1357924680", "撤回演示", "撤回禁言",
                                                  "复读", "目标号码", "翻译", "帮助-新增词条",
                                                  "帮助-本地文件", "帮助-不会设置", "帮助-批量导入", "触发词在此填写"};
  EXPECT_EQ(p.FuzzyKeywords, expectedFuzzy);
  EXPECT_EQ(ReadIniItem(DataFile("SayM.ini"), "复读", "回复"), "[消息]");
}

// The default libraries as their files hold them (line ends added below).
std::string CrLf(const std::string& lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST_F(SettingsTest, DefaultLibrariesByteForByte) {
  LoadSettings();
  const std::string note = "[N](注: 该网络API非ZOQ提供 可能会失效)";
  const std::string newEntry = "填写关键词和回复内容点击保存即可[N]也可以使用快捷键CTRL+S";
  const std::string localFiles = "本地图片和语音可直接拖到这[N]自动生成变量";
  const std::string bulk = "在词库编辑 关键词处 用|来隔开多关键词[N]可一次性批量导入[N]支持快捷键 空格 或 回车(Enter) 快速插入|符号";
  const std::string fillIn = "回复内容在此填写[N]橡皮: 擦掉当前触发词和回复内容 CTRL+R[N]插入: 插入多种变量 快捷键 CTRL+D[N]保存: 如无此关键词将新增 如有则为覆盖保存";
  const std::string exact =
      "[艾特指定人]\n回复=[@1357924680]\n"
      "[@我]\n回复=[@]>随机内容演示<[|]就不艾特你[|]为什么要艾特你[|]我就不，气死你！\n"
      "[头像]\n回复=[头像]\n[大头像]\n回复=[大头]\n[日期]\n回复=[日期][N][时间]\n[星期几]\n回复=今天星期[星期]\n"
      "[我的号码]\n回复=[号码]\n[一言]\n回复=[一言]\n[舔狗日记]\n回复=[舔狗]\n[绿茶语录]\n回复=[绿茶]\n"
      "[二次元]\n回复=[二次元]\n[禁言]\n回复=[@][N]被我禁言了120秒..[禁言120]\n"
      "[随机内容]\n回复=[一言][|][绿茶][|][舔狗][|]今天星期[星期][|]这是第四条[|]支持图片[|]支持语音\n"
      "[幸运数字]\n回复=[@][N]这次的幸运数字是[数字520]\n"
      "[来一份禁言套餐]\n回复=[@]一份小套餐[禁言[数字100]][|][@]一份大套餐[禁言[数字600]]\n"
      "[我要退群]\n回复=[号码] 的愿望已被实现，干掉咯！[踢出]\n"
      "[图片]\n回复=接口演示: [图接口=" + std::string(web::kDemoPictureApi) + "]" + note + "\n"
      "[文字]\n回复=接口演示: [文接口=" + web::kDemoPoetryApi + "]" + note + "\n"
      "[帮助-本地文件]\n回复=" + localFiles + "\n[帮助-新增词条]\n回复=" + newEntry + "\n"
      "[帮助-批量导入]\n回复=" + bulk + "\n[触发词在此填写]\n回复=" + fillIn + "\n";
  const std::string fuzzy =
      "[1357924680]\n回复=你找她干什么呀.？[|]这个号码我知道..[|]ZOQ.?\n[@1357924680]\n回复=@她干嘛呀.?\n"
      "[撤回演示]\n回复=[@]你这条消息有毒，已被我撤回！[撤回]\n[撤回禁言]\n回复=[撤回][禁言60]\n"
      "[复读]\n回复=[消息]\n[目标号码]\n回复=[目标]\n"
      "[翻译]\n回复=[文接口=" + std::string(web::kDemoTranslateApi) + "[消息]][N]此为文接口提交参数演示" + note + "\n"
      "[帮助-新增词条]\n回复=" + newEntry + "\n[帮助-本地文件]\n回复=" + localFiles + "\n"
      "[帮助-不会设置]\n回复=ZOQ·交流论坛 有问题就反馈[N]" + web::kMakerForum + "[N]插件主页也有群号加 可提问\n"
      "[帮助-批量导入]\n回复=" + bulk + "\n[触发词在此填写]\n回复=" + fillIn + "\n";
  EXPECT_EQ(ReadFile(DataFile("SayZ.ini")), CrLf(exact));
  EXPECT_EQ(ReadFile(DataFile("SayM.ini")), CrLf(fuzzy));
  // The demonstration addresses: HTTPS picture and poetry APIs, a plain-HTTP
  // translation API taking the message as its `msg` query value.
  EXPECT_EQ(std::string(web::kDemoPictureApi).rfind("https://", 0), 0u);
  EXPECT_TRUE(std::string(web::kDemoPictureApi).ends_with("/pic/"));
  EXPECT_TRUE(std::string(web::kDemoPoetryApi).ends_with("/rensheng.txt"));
  EXPECT_EQ(std::string(web::kDemoTranslateApi).rfind("http://", 0), 0u);
  EXPECT_TRUE(std::string(web::kDemoTranslateApi).ends_with("/api/fanyi2/api.php?msg="));
}

TEST_F(SettingsTest, ExistingLibrariesAreNeverTouched) {
  LoadSettings();
  WriteFile(DataFile("SayZ.ini"), "[mine]\r\n回复=x\r\n");
  WriteFile(DataFile("SayM.ini"), "");
  LoadSettings();
  EXPECT_EQ(ReadFile(DataFile("SayZ.ini")), "[mine]\r\n回复=x\r\n");
  EXPECT_EQ(ReadFile(DataFile("SayM.ini")), "");
  EXPECT_TRUE(Plugin().FuzzyKeywords.empty());
  // A deleted library comes back with the defaults at the next enable.
  DeleteFileA(DataFile("SayM.ini").c_str());
  LoadSettings();
  EXPECT_EQ(Plugin().FuzzyKeywords.size(), 12u);
}

TEST_F(SettingsTest, DefaultsStandForMissingKeys) {
  LoadSettings();
  const PluginState& p = Plugin();
  const SettingsRecord& s = p.Settings;
  EXPECT_TRUE(p.插件开关);
  EXPECT_TRUE(s.好友权限);
  EXPECT_TRUE(s.群组权限);
  EXPECT_EQ(s.主人号码, "1357924680");
  EXPECT_FALSE(s.全员删除);
  EXPECT_FALSE(s.全员可用);
  EXPECT_EQ(s.开启命令, "开启问答");
  EXPECT_EQ(s.关闭命令, "关闭问答");
  EXPECT_EQ(s.添加命令, "添加词汇");
  EXPECT_EQ(s.删除命令, "删除词汇");
  EXPECT_EQ(s.精确命令, "精确回复");
  EXPECT_EQ(s.模糊命令, "模糊回复");
  EXPECT_FALSE(s.必须艾特);
  EXPECT_EQ(s.精确冷却, 0);
  EXPECT_FALSE(p.仅限群号);
  EXPECT_EQ(p.群号列表, "多群可使用任意符号分割");
  EXPECT_TRUE(p.RobotAccount.empty());
}

TEST_F(SettingsTest, OnlyTheWordOnIsOn) {
  for (const char* stored : {"on", "1", "", "开开", "開"}) {
    WriteAdmin(folder, "插件开关", stored);
    WriteAdmin(folder, "全员删除", stored);
    LoadSettings();
    EXPECT_FALSE(Plugin().插件开关) << stored;
    EXPECT_FALSE(Plugin().Settings.全员删除) << stored;
  }
  WriteAdmin(folder, "全员删除", "开");
  LoadSettings();
  EXPECT_TRUE(Plugin().Settings.全员删除);
}

TEST_F(SettingsTest, CooldownsReadFullWidthDigits) {
  WriteAdmin(folder, "精确冷却", "\xA3\xB1\xA3\xB2\xA3\xB0");  // １２０
  WriteAdmin(folder, "模糊冷却", "abc");
  LoadSettings();
  EXPECT_EQ(Plugin().Settings.精确冷却, 120);
  EXPECT_EQ(Plugin().Settings.模糊冷却, 0);
}

TEST_F(SettingsTest, RememberedAccountStartsOnlyWithFiveBytes) {
  WriteAdmin(folder, "记忆登录", "开");
  WriteAdmin(folder, "记忆号码", "1234");
  LoadSettings();
  EXPECT_EQ(Plugin().RobotAccount, "1234");
  EXPECT_FALSE(Plugin().AccountStarted);

  WriteAdmin(folder, "记忆号码", "12345");
  LoadSettings();
  EXPECT_EQ(Plugin().RobotAccount, "12345");
  EXPECT_TRUE(Plugin().AccountStarted);

  // Off: the remembered account is not read at all.
  WriteAdmin(folder, "记忆登录", "关");
  Plugin().RobotAccount = "777";
  LoadSettings();
  EXPECT_EQ(Plugin().RobotAccount, "777");
}

TEST_F(SettingsTest, ShutDownKeepsSettingsAndForgetsTheAccount) {
  WriteAdmin(folder, "主人号码", "42");
  LoadSettings();
  Plugin().HostType = kHostVlq;
  Plugin().RobotAccount = "10001";
  StartAccount();
  bool closed = false;
  Plugin().CloseWindows = [&] { closed = true; };
  ShutDown();
  EXPECT_TRUE(closed);
  EXPECT_TRUE(Plugin().RobotAccount.empty());
  EXPECT_FALSE(Plugin().AccountStarted);
  EXPECT_EQ(Plugin().HostType, kHostVlq);
  EXPECT_EQ(Plugin().Settings.主人号码, "42");
  EXPECT_TRUE(Plugin().插件开关);
  EXPECT_EQ(Plugin().FuzzyKeywords.size(), 12u);
}

TEST_F(SettingsTest, BlankNamesGiveTheEmptyTextWithoutDefault) {
  LoadSettings();
  const std::string file = DataFile("SayZ.ini");
  EXPECT_EQ(ReadIniItem(file, "nosuch", "回复", "dflt"), "dflt");
  EXPECT_EQ(ReadIniItem(file, " \t", "回复", "dflt"), "");
  EXPECT_EQ(ReadIniItem(file, "头像", "  ", "dflt"), "");
  EXPECT_EQ(ReadIniItem("\x01 ", "头像", "回复", "dflt"), "");
  // Writing without a value deletes the key, without a key the section.
  WriteIniItem(file, "头像", std::string("回复"), std::nullopt);
  EXPECT_EQ(ReadIniItem(file, "头像", "回复", "gone"), "gone");
  WriteIniItem(file, "大头像", std::nullopt, std::nullopt);
  EXPECT_EQ(ReadIniSections(file).size(), 21u);
}

TEST_F(SettingsTest, LargeFuzzyLibrariesLoseNoKeyword) {
  LoadSettings();
  // About 300 KB of section names: more than the first list buffer holds.
  std::string library;
  const int count = 20000;
  for (int i = 0; i < count; ++i) library += "[keyword-number-" + std::to_string(100000 + i) + "]\r\n回复=x\r\n";
  WriteFile(DataFile("SayM.ini"), library);
  ReloadFuzzyKeywords();
  ASSERT_EQ(Plugin().FuzzyKeywords.size(), static_cast<std::size_t>(count));
  EXPECT_EQ(Plugin().FuzzyKeywords.front(), "keyword-number-100000");
  EXPECT_EQ(Plugin().FuzzyKeywords.back(), "keyword-number-" + std::to_string(100000 + count - 1));
}

}  // namespace
}  // namespace zoq::testing
