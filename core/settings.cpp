#include "core/settings.hpp"

#include "core/default_libraries.hpp"
#include "core/ini_items.hpp"
#include "core/plugin.hpp"
#include "text/text.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"

namespace zoq {
namespace {

bool ReadSwitch(const char* key, const char* fallback) { return IsSwitchOn(ReadAdminItem(key, fallback)); }

}  // namespace

std::string AdminFile() { return Plugin().DataFolder + "admin"; }
std::string ExactLibraryFile() { return Plugin().DataFolder + "SayZ.ini"; }
std::string FuzzyLibraryFile() { return Plugin().DataFolder + "SayM.ini"; }
std::string CooldownFile() { return Plugin().DataFolder + "SAVE"; }

std::string ReadAdminItem(const std::string& key, const std::string& defaultValue) {
  return ReadIniItem(AdminFile(), kAdminSection, key, defaultValue);
}

bool WriteAdminItem(const std::string& key, const std::string& value) {
  return WriteIniItem(AdminFile(), kAdminSection, key, value);
}

void ReseedRandom() { Plugin().Random.Reseed(platform::TickCount()); }

void ReloadFuzzyKeywords() {
  PluginState& p = Plugin();
  p.FuzzyKeywords = p.Libraries.SectionNames(FuzzyLibraryFile());
  p.FuzzyIndex.Build(p.FuzzyKeywords, FuzzyMatcher::Form::Plain);
}

void LoadSettings() {
  PluginState& p = Plugin();
  const std::string data = p.RunDirectory + "\\ZOQData";
  platform::CreateFolder(data);
  platform::CreateFolder(data + "\\ZOQ-F-关键词");
  p.DataFolder = data + "\\ZOQ-F-关键词\\";

  SettingsRecord& s = p.Settings;
  p.插件开关 = ReadSwitch("插件开关", kSwitchOn);
  s.好友权限 = ReadSwitch("好友权限", kSwitchOn);
  s.群组权限 = ReadSwitch("群组权限", kSwitchOn);
  s.主人号码 = ReadAdminItem("主人号码", "1357924680");
  s.全员删除 = ReadSwitch("全员删除", kSwitchOff);
  s.全员可用 = ReadSwitch("全员可用", kSwitchOff);
  s.开启命令 = ReadAdminItem("开启命令", "开启问答");
  s.关闭命令 = ReadAdminItem("关闭命令", "关闭问答");
  s.添加命令 = ReadAdminItem("添加命令", "添加词汇");
  s.删除命令 = ReadAdminItem("删除命令", "删除词汇");
  s.精确命令 = ReadAdminItem("精确命令", "精确回复");
  s.模糊命令 = ReadAdminItem("模糊命令", "模糊回复");
  s.必须艾特 = ReadSwitch("必须艾特", kSwitchOff);
  s.精确冷却 = text::ReadWholeNumber32(ReadAdminItem("精确冷却", "0"));
  s.模糊冷却 = text::ReadWholeNumber32(ReadAdminItem("模糊冷却", "0"));
  p.仅限群号 = ReadSwitch("仅限群号", kSwitchOff);
  p.群号列表 = ReadAdminItem("群号列表", "多群可使用任意符号分割");
  const bool rememberAccount = ReadSwitch("记忆登录", kSwitchOff);
  const std::string rememberedAccount = ReadAdminItem("记忆号码");

  ReseedRandom();

  if (rememberAccount) {
    p.RobotAccount = rememberedAccount;
    if (p.RobotAccount.size() >= 5) StartAccount();
  }

  if (!platform::FileExists(ExactLibraryFile())) platform::WriteWholeFile(ExactLibraryFile(), DefaultExactLibrary());
  if (!platform::FileExists(FuzzyLibraryFile())) platform::WriteWholeFile(FuzzyLibraryFile(), DefaultFuzzyLibrary());

  ReloadFuzzyKeywords();
  p.Libraries.Refresh(ExactLibraryFile());
}

void ShutDown() {
  PluginState& p = Plugin();
  if (p.CloseWindows) p.CloseWindows();
  p.RobotAccount.clear();
  p.AccountStarted = false;
}

}  // namespace zoq
