// The plug-in's process-wide state: one PluginState exists from the moment
// the DLL is loaded until it is unloaded.
#pragma once
#include <array>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/libraries.hpp"
#include "core/random.hpp"
#include "hosts/dll/wx/wx_records.hpp"

namespace zoq {

struct HostAdapters;  // core/host_adapters.hpp

// Active host kind; 0 until a host enables the plug-in, 2 is not used.
enum HostKind : std::int32_t {
  kHostNone = 0,
  kHostIsky = 1,
  kHostTable = 3,
  kHostVlq = 4,
  kHostWx = 5,
  kHostXq = 6,
  kHostOq = 7,
  kHostMingQq = 8,
  kHostSp = 9,
  kHostEr = 10,
  kHostMyQq = 11,
};

enum class MessageKind : std::int32_t { Private = 1, Group = 2, Channel = 3, ChannelDirect = 4 };

// One incoming message as an event adapter hands it to the message handler.
struct MessageRecord {
  MessageKind kind{};
  std::string group;   // group or guild number; empty for private messages
  std::string sender;
  std::string text;
  std::string idA;     // recall operations take it last
  std::string idB;     // recall operations take it before idA
  std::int64_t subchannel = 0;
  std::int32_t enterprise = 0;
  // The text as the host delivered it (kept by the handler before it
  // normalises `text`): what decides the real mentions and the pictures the
  // host itself put in the message.
  std::string delivered;
};

// The options of section `admin`, named after their keys.
struct SettingsRecord {
  bool 好友权限 = false;
  bool 群组权限 = false;
  std::string 主人号码;
  std::string 开启命令;
  std::string 关闭命令;
  std::string 添加命令;
  std::string 删除命令;
  std::string 精确命令;
  std::string 模糊命令;
  bool 全员删除 = false;
  bool 全员可用 = false;
  bool 必须艾特 = false;
  std::int32_t 精确冷却 = 0;
  std::int32_t 模糊冷却 = 0;
};

// Text results handed back by the exports, one slot per text-returning export.
enum ExportSlot : std::size_t {
  kSlotInit, kSlotInformation, kSlotErCreate, kSlotMqInfo, kSlotOqCreate, kSlotSpCreate,
  kSlotXqCreate, kSlotInfo, kSlotIskyInformation, kSlotMyQqInfo, kSlotSdkVersion,
  kExportSlotCount
};

// `DataFolder` together with the paths of its files, made once with it: a
// message names its files without building their paths anew.
class DataFolderPaths {
 public:
  DataFolderPaths() = default;
  explicit DataFolderPaths(std::string folder)
      : folder_(std::move(folder)),
        admin_(folder_ + "admin"),
        exact_(folder_ + "SayZ.ini"),
        fuzzy_(folder_ + "SayM.ini"),
        cooldowns_(folder_ + "SAVE") {}
  const std::string& folder() const { return folder_; }
  const std::string& admin() const { return admin_; }
  const std::string& exact() const { return exact_; }
  const std::string& fuzzy() const { return fuzzy_; }
  const std::string& cooldowns() const { return cooldowns_; }

 private:
  std::string folder_, admin_, exact_, fuzzy_, cooldowns_;
};

// The options in memory: what LoadSettings reads, what the commands and the
// windows change. A published Options is never changed: a message works on
// the one it took at its start, and a change publishes a new one.
struct Options {
  DataFolderPaths DataFolder;
  bool 插件开关 = false;
  bool 仅限群号 = false;
  std::string 群号列表;
  SettingsRecord Settings;
};

// The keywords of the fuzzy library in file order, and the automaton that
// finds them. Published whole, like Options.
struct FuzzyKeywordIndex {
  std::shared_ptr<const IniImage> library;  // the file as read: the keywords are parts of its text
  std::vector<std::string_view> keywords;
  FuzzyMatcher matcher;
};

// A value any thread reads and sets, behind a lock of its own.
template <class T>
class LockedValue {
 public:
  T get() const {
    std::lock_guard<std::mutex> hold(lock_);
    return value_;
  }
  void set(T value) {
    std::lock_guard<std::mutex> hold(lock_);
    value_ = std::move(value);
  }

 private:
  mutable std::mutex lock_;
  T value_{};
};

// Hosts call the exports on any thread, and several at once: what changes
// while the plug-in runs is kept behind one short lock, taken only to copy a
// value out or to put one in (never while a host is called or the web
// waited on). What a message reads, it reads from snapshots.
class PluginState {
 public:
  PluginState();
  ~PluginState();

  // The folder of the host's executable, without a trailing backslash. Set
  // at load.
  std::string RunDirectory;

  std::atomic<std::int32_t> HostType{kHostNone};

  // The library files as they were last read (guarded on their own).
  KeywordLibraries Libraries;

  // One adapter object per host (core/host_adapters.hpp); each guards what it keeps.
  std::unique_ptr<HostAdapters> Adapters;

  // ---- Options
  std::shared_ptr<const Options> Current() const;
  // Publishes a copy of the current options as `edit` changed it. `edit`
  // runs under the lock: it only edits.
  void Change(const std::function<void(Options&)>& edit);

  // ---- The robot account
  std::string RobotAccount() const;
  bool AccountStarted() const;
  // Stores the account, and marks it taken when `start`.
  void SetRobotAccount(const std::string& account, bool start);
  // An account event: the account is taken only when none is; true when it was.
  bool TakeFirstAccount(const std::string& account);
  // ShutDown: no account, the next account event is taken.
  void ForgetRobotAccount();

  // ---- Fuzzy keywords
  std::shared_ptr<const FuzzyKeywordIndex> Fuzzy() const;
  void SetFuzzy(std::shared_ptr<const FuzzyKeywordIndex> index);
  // Copies of the keywords (for tests and the windows).
  std::vector<std::string> FuzzyKeywords() const {
    const std::shared_ptr<const FuzzyKeywordIndex> fuzzy = Fuzzy();
    return {fuzzy->keywords.begin(), fuzzy->keywords.end()};
  }

  // ---- Admin items typed in a window and not yet in the file: read as if
  // stored. Cleared once the window writes them, and when it closes.
  std::optional<std::string> PendingAdminItem(const std::string& key) const;
  void SetPendingAdminItem(const std::string& key, std::optional<std::string> value);
  void ForgetPendingAdminItems();

  // ---- Counters and small texts
  // Counts a reply: the replies counted since the last purge (PurgeDone
  // starts the count again).
  std::int32_t CountReply();
  std::int32_t RepliesCounted() const;
  void PurgeDone();
  // A number from a to b, the generator reseeded from `ticks` first; or
  // only the reseed (`a`, `b` ignored) with `drawAfter` false.
  std::int32_t Draw(std::uint32_t ticks, std::int32_t a, std::int32_t b, bool drawAfter = true);
  LockedValue<std::string> MakerGroupNumber;
  LockedValue<std::string> XqPluginName;
  // The plug-in's name as the function-table host's start stripped it.
  LockedValue<std::string> AppNameText;

  // ---- Windows
  // What closes the settings windows that are open (set by the windows'
  // code); run without the lock.
  void SetCloseWindows(std::function<void()> close);
  void CloseWindows();

  // The WeChat-style host's information record (its identity is kept by
  // its adapter, which passes it to every host call): refilled by `fill`
  // and handed to `build` under a lock of its own.
  std::string WithWxPluginInfo(const std::function<std::string(WxPluginInfoRecord&)>& fillAndBuild);
  WxPluginInfoRecord WxPluginInfo();

  // Stores `text` in the export's slot and returns the slot's pointer, valid
  // until the same export has been called several times more or the plug-in
  // is unloaded (another thread may call it while the host copies the
  // text).
  const char* KeepExportResult(ExportSlot slot, std::string text);

 private:
  mutable std::mutex lock_;
  std::shared_ptr<const Options> options_;
  std::shared_ptr<const FuzzyKeywordIndex> fuzzy_;
  std::string robotAccount_;
  bool accountStarted_ = false;
  std::map<std::string, std::string, std::less<>> pendingAdmin_;
  std::int32_t replyCounter_ = 0;
  RandomSource random_;
  std::function<void()> closeWindows_;
  std::mutex wxInfoLock_;
  WxPluginInfoRecord wxPluginInfo_;
  // Each slot keeps its last few results, so that a pointer handed to one
  // thread outlives another thread's call of the same export.
  static constexpr std::size_t kKeptResults = 8;
  std::array<std::deque<std::string>, kExportSlotCount> exportResults_;
};

// The state of the loaded plug-in. Only valid between ProgramStart and
// ProgramExit (core/program.hpp).
PluginState& Plugin();
PluginState* PluginIfAlive();

// Where the state of the loaded plug-in is held: filled by ProgramStart,
// emptied by ProgramExit.
std::unique_ptr<PluginState>& PluginInstance();

}  // namespace zoq
