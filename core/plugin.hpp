// The plug-in's process-wide state: one PluginState exists from the moment
// the DLL is loaded until it is unloaded.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/libraries.hpp"
#include "core/random.hpp"
#include "hosts/dll/wx/wx_records.hpp"

namespace zoq {

struct HostAdapters;  // core/hosts.hpp

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

struct PluginState {
  PluginState();
  ~PluginState();

  // The folder of the host's executable, without a trailing backslash.
  std::string RunDirectory;

  std::int32_t HostType = kHostNone;
  std::string RobotAccount;
  bool AccountStarted = false;
  std::string DataFolder;
  bool 插件开关 = false;
  bool 仅限群号 = false;
  std::string 群号列表;
  SettingsRecord Settings;
  // Changed only by ReloadFuzzyKeywords, which builds FuzzyIndex with it.
  std::vector<std::string> FuzzyKeywords;
  FuzzyMatcher FuzzyIndex;
  // The library files as they were last read.
  KeywordLibraries Libraries;
  std::int32_t ReplyCounter = 0;
  std::string MakerGroupNumber;
  std::string XqPluginName;
  // The plug-in's name as the function-table host's start stripped it.
  std::string AppNameText;
  RandomSource Random;
  // Closes the settings windows that are open (set by the windows' code).
  std::function<void()> CloseWindows;

  // One adapter object per host (core/hosts.hpp).
  std::unique_ptr<HostAdapters> Adapters;

  // The WeChat-style host's information record (its identity is kept by
  // its adapter, which passes it to every host call).
  WxPluginInfoRecord WxPluginInfo;

  std::array<std::string, kExportSlotCount> ExportResultSlots;

  // Stores `text` in the export's slot and returns the slot's pointer, valid
  // until the same export is called again or the plug-in is unloaded.
  const char* KeepExportResult(ExportSlot slot, std::string text);
};

// The state of the loaded plug-in. Only valid between ProgramStart and
// ProgramExit.
PluginState& Plugin();
PluginState* PluginIfAlive();

// Load and unload. `runDirectory` empty: the folder of the process's
// executable, which also becomes the current directory.
void ProgramStart(const std::string& runDirectory = {});
void ProgramExit();

// Marks the robot account as taken: later account events are ignored until
// ShutDown. Callers store RobotAccount first.
void StartAccount();

}  // namespace zoq
