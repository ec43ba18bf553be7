#include "core/settings.hpp"

#include "core/files/cooldown_times.hpp"
#include "core/files/default_libraries.hpp"
#include "core/files/file_writes.hpp"
#include "core/files/ini_items.hpp"
#include "core/files/kept_times.hpp"
#include "core/plugin.hpp"
#include "text/text.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "platform/folder_lock.hpp"
#include "platform/process.hpp"

namespace zoq {
namespace {

// A key of kAdminItems, found when the code is compiled: a read of a key the
// table does not hold does not compile.
class AdminKey {
 public:
  consteval AdminKey(const char* key) : item_(&Find(key)) {}
  const AdminItem& item() const { return *item_; }

 private:
  static consteval const AdminItem& Find(std::string_view key) {
    for (const AdminItem& item : kAdminItems) {
      if (item.key == key) return item;
    }
    throw "a key of section admin that kAdminItems does not hold";
  }
  const AdminItem* item_;
};

}  // namespace

std::string DataFolder() { return Plugin().Current()->DataFolder.folder(); }
const std::string& AdminFile(const Options& o) { return o.DataFolder.admin(); }
ZOQ_HOT const std::string& ExactLibraryFile(const Options& o) { return o.DataFolder.exact(); }
ZOQ_HOT const std::string& FuzzyLibraryFile(const Options& o) { return o.DataFolder.fuzzy(); }
const std::string& CooldownFile(const Options& o) { return o.DataFolder.cooldowns(); }
std::string AdminFile() { return AdminFile(*Plugin().Current()); }
std::string ExactLibraryFile() { return ExactLibraryFile(*Plugin().Current()); }
std::string FuzzyLibraryFile() { return FuzzyLibraryFile(*Plugin().Current()); }
std::string CooldownFile() { return CooldownFile(*Plugin().Current()); }

std::string ReadAdminItem(const std::string& key, const std::string& defaultValue) {
  if (std::optional<std::string> typed = Plugin().PendingAdminItem(key)) return *typed;
  return ReadIniItem(AdminFile(), kAdminSection, key, defaultValue);
}

bool WriteAdminItem(const std::string& key, const std::string& value) {
  return WriteIniItem(AdminFile(), kAdminSection, key, value);
}

void TypedAdminItem(const std::string& key, const std::optional<std::string>& value) {
  Plugin().SetPendingAdminItem(key, value ? std::optional<std::string>(IniValueAsRead(key, *value)) : std::nullopt);
}

void ReseedRandom() { Plugin().Draw(platform::TickCount(), 0, 0, /*drawAfter=*/false); }

void ReloadFuzzyKeywords(const std::function<void()>& meanwhile, bool anew) {
  PluginState& p = Plugin();
  // One reload at a time, so that the last to publish read the file last.
  static std::mutex reloading;
  std::lock_guard<std::mutex> hold(reloading);
  auto index = std::make_shared<FuzzyKeywordIndex>();
  platform::RunTogether(meanwhile, [&] {
    index->library = p.Libraries.Parsed(FuzzyLibraryFile(), anew);
    index->keywords = index->library->SectionNameViews();
    index->matcher.Build(index->keywords, FuzzyMatcher::Form::Plain);
  });
  p.SetFuzzy(std::move(index));
}

std::string NumberListAsRead(std::string_view list) {
  std::string out;
  for (std::size_t pos = 0, n; pos < list.size(); pos += n) {
    n = text::CharLength(list, pos);
    const unsigned char trail = n == 2 ? static_cast<unsigned char>(list[pos + 1]) : 0;
    if (list[pos] == '\xA3' && trail >= 0xB0 && trail <= 0xB9) {
      out += static_cast<char>('0' + (trail - 0xB0));  // "０".."９"
    } else {
      out.append(list, pos, n);
    }
  }
  return out;
}

void LoadSettings() {
  PluginState& p = Plugin();
  const std::string data = p.RunDirectory + "\\ZOQData";
  platform::CreateFolder(data);
  platform::CreateFolder(data + "\\ZOQ-F-关键词");
  // The folders' locks named anew: a data folder replaced under its path
  // (renamed away and made again) has one lock in every process again.
  platform::FolderLock::NameAnew();
  Options o;
  o.DataFolder = DataFolderPaths(data + "\\ZOQ-F-关键词\\");
  const std::string admin = AdminFile(o);
  // One read of the file for every option.
  const std::shared_ptr<const IniImage> stored = ReadIniFileNow(admin);
  const auto read = [&](AdminKey key) {
    return stored->Value(kAdminSection, key.item().key, kIniValueBuffer).value_or(std::string(key.item().fallback));
  };
  const auto readSwitch = [&](AdminKey key) { return IsSwitchOn(read(key)); };

  SettingsRecord& s = o.Settings;
  o.插件开关 = readSwitch("插件开关");
  s.好友权限 = readSwitch("好友权限");
  s.群组权限 = readSwitch("群组权限");
  s.主人号码 = NumberListAsRead(read("主人号码"));
  s.全员删除 = readSwitch("全员删除");
  s.全员可用 = readSwitch("全员可用");
  s.开启命令 = read("开启命令");
  s.关闭命令 = read("关闭命令");
  s.添加命令 = read("添加命令");
  s.删除命令 = read("删除命令");
  s.精确命令 = read("精确命令");
  s.模糊命令 = read("模糊命令");
  s.必须艾特 = readSwitch("必须艾特");
  s.精确冷却 = text::ReadWholeNumber32(read("精确冷却"));
  s.模糊冷却 = text::ReadWholeNumber32(read("模糊冷却"));
  o.仅限群号 = readSwitch("仅限群号");
  o.群号列表 = NumberListAsRead(read("群号列表"));
  const bool rememberAccount = readSwitch("记忆登录");
  const std::string rememberedAccount = read("记忆号码");
  p.Change([&](Options& current) { current = o; });
  // The cool-down times the host processes on the folder keep, held from
  // now on: those another process kept stay while this one runs, though it
  // has answered nothing yet.
  KeptTimes::Of(CooldownFile(o));

  ReseedRandom();

  if (rememberAccount) p.SetRobotAccount(rememberedAccount, rememberedAccount.size() >= 5);

  // What writers in processes that have ended left behind goes.
  RemoveCopiesLeftBehind(o.DataFolder.folder());
  // Written whole, and only where no file is (another process may have
  // written it meanwhile).
  const OtherProcessWait enabling(kCommandFolderWaitMs);
  if (!platform::FileExists(ExactLibraryFile())) ReplaceWholeFile(ExactLibraryFile(), DefaultExactLibrary(), true);
  if (!platform::FileExists(FuzzyLibraryFile())) ReplaceWholeFile(FuzzyLibraryFile(), DefaultFuzzyLibrary(), true);

  // Both libraries read anew, whatever their stamps say; the exact library
  // while the fuzzy library is read and its index built.
  ReloadFuzzyKeywords([&] { p.Libraries.Reload(ExactLibraryFile()); }, /*anew=*/true);
}

void ShutDown() {
  WriteUnwrittenCooldowns();
  PluginState& p = Plugin();
  p.CloseWindows();
  p.ForgetRobotAccount();
}

}  // namespace zoq
