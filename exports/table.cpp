// The function-table host: its start (`初始化`), its exports, and its events,
// which arrive as pointers to packed records in the host's memory.
#include <cstddef>
#include <cstring>

#include "core/error_hook.hpp"
#include "exports/export.hpp"
#include "core/hosts.hpp"
#include "core/info/info_records.hpp"
#include "core/messages/handler.hpp"
#include "core/settings.hpp"
#include "platform/stdcall.hpp"
#include "platform/window.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

// ---- The start ---------------------------------------------------------

// Reports a runtime error in a box under the plug-in's name; the operation
// that failed gives its empty result and the host goes on.
bool PluginErrorHandler(int code, const std::string& message) {
  const PluginState* state = PluginIfAlive();
  const std::string name = state ? state->AppNameText.get() : std::string();
  platform::ShowTaskModalBox("插件[" + name + "]运行时发生澜类型错误\r\n\r\n错误代码：" + std::to_string(code) +
                                 "\r\n错误信息：\r\n" + message,
                             "插件运行出错：" + name, true);
  return true;
}

// Names the plug-in for the function-table host: the name its error box
// shows and the answer of its start.
class AppNameInfo {
 public:
  // The name without the characters a file name cannot hold, nor the quote
  // (whole characters only: the trail byte of a GBK character stays); kept
  // as the plug-in's name, whose box then reports runtime errors.
  void SetName(std::string& name) const {
    StripName(name);
    Plugin().AppNameText.set(name);
    RegisterErrorHook(&PluginErrorHandler);
  }
  std::string GetInfo() const { return "{\"sdkv\":\"4.5.3\",\"appname\":\"" + Plugin().AppNameText.get() + "\"}"; }

 private:
  static void StripName(std::string& name) {
    for (const char* c : {"/", "\\", ":", "*", "?", "\"", "<", ">", "|", "'"}) name = text::ReplaceAll(name, c, "");
  }
};

// The adapter keeps the key and the table; the answer names the plug-in.
std::string ApiTableStart(const std::string& table, const std::string& key) {
  const AppNameInfo info;
  Hosts().table.InitApiTable(key, table);
  std::string name = PluginName();
  info.SetName(name);
  FetchGroupText();
  return info.GetInfo();
}

// ---- The events ----------------------------------------------------------

// The records the host hands over, packed, little-endian; a text is the
// address of a NUL-terminated GBK text (null reads as empty). Only the
// fields the plug-in reads are named. An address is a word at the place the
// host gives it: in the x86-64 build of the tests it takes the unused bytes
// after that place too (kWide of them), so that every record keeps its size
// and every other field its place.
constexpr std::size_t kWide = sizeof(platform::HostWord) - 4;
#pragma pack(push, 1)
struct ZoqPrivateMessageEvent {
  std::int64_t sender, robot;
  std::int32_t messageId;
  char unused1[24];
  std::int64_t messageNumber;
  char unused2[16];
  platform::HostWord text;
  char unused3[56 - kWide];
};
struct ZoqGroupMessageEvent {
  std::int64_t sender, robot;
  std::int32_t messageId;
  char unused1[4];
  std::int64_t group;
  char unused2[12];
  std::int64_t messageNumber;
  char unused3[24];
  platform::HostWord text;
  char unused4[40 - kWide];
};
struct ZoqChannelPushEvent {
  char unused1[8];
  std::int64_t robot;
  std::int32_t messageId;
  char unused2[4];
  std::int64_t guild;
  char unused3[4];
  std::int64_t subchannel;
  char unused4[4];
  std::int64_t sender;
  char unused5[12];
  std::int64_t directGuild, directSubchannel;
  char unused6[36];
  std::int64_t messageNumber;
  char unused7[16];
  std::int32_t pushKind;
  char unused8[4];
  platform::HostWord text;
  char unused9[12 - kWide];
};
struct ZoqAccountEvent {
  char unused1[24];
  std::int64_t robot;
  char unused2[28];
  std::int32_t type;
  char unused3[4];
};
#pragma pack(pop)
static_assert(sizeof(ZoqPrivateMessageEvent) == 128 && offsetof(ZoqPrivateMessageEvent, text) == 68);
static_assert(sizeof(ZoqGroupMessageEvent) == 120 && offsetof(ZoqGroupMessageEvent, text) == 76);
static_assert(sizeof(ZoqChannelPushEvent) == 168 && offsetof(ZoqChannelPushEvent, pushKind) == 144 &&
              offsetof(ZoqChannelPushEvent, text) == 152 && offsetof(ZoqChannelPushEvent, messageNumber) == 120);
static_assert(sizeof(ZoqAccountEvent) == 68 && offsetof(ZoqAccountEvent, type) == 60);

// The record copied whole from the host's memory.
template <class Record>
Record Copied(const void* event) {
  Record r;
  std::memcpy(&r, event, sizeof r);
  return r;
}

// A text of a record, read while the host's call lasts.
std::string RecordText(platform::HostWord address) {
  return ArgText(platform::AtWord<const char>(address));
}

std::string Decimal(std::int64_t n) { return std::to_string(n); }


std::int32_t OnZoqPrivateMessage(const void* event) {
  if (!event || !Plugin().Current()->Settings.好友权限) return 0;
  const auto r = Copied<ZoqPrivateMessageEvent>(event);
  if (r.sender == r.robot || !ForOurRobot(Decimal(r.robot))) return 0;
  MessageRecord m;
  m.kind = MessageKind::Private;
  m.sender = Decimal(r.sender);
  m.idA = Decimal(r.messageId);
  m.idB = Decimal(r.messageNumber);
  m.text = text::LineBreaksAsN(RecordText(r.text));
  return HandleMessage(m);
}

std::int32_t OnZoqGroupMessage(const void* event) {
  if (!event || !Plugin().Current()->Settings.群组权限) return 0;
  const auto r = Copied<ZoqGroupMessageEvent>(event);
  if (r.sender == r.robot || !ForOurRobot(Decimal(r.robot)) || !IsGroupAllowed(Decimal(r.group))) return 0;
  MessageRecord m;
  m.kind = MessageKind::Group;
  m.group = Decimal(r.group);
  m.sender = Decimal(r.sender);
  m.idA = Decimal(r.messageId);
  m.idB = Decimal(r.messageNumber);
  m.text = text::LineBreaksAsN(RecordText(r.text));
  return HandleMessage(m);
}

// Push kind 0: a channel message, 1: a direct message; anything else is
// passed over. Guild messages need no robot account.
std::int32_t OnZoqChannelPush(const void* event) {
  if (!event) return 0;
  const auto r = Copied<ZoqChannelPushEvent>(event);
  if (r.sender == r.robot) return 0;
  const std::shared_ptr<const Options> o = Plugin().Current();
  const SettingsRecord& s = o->Settings;
  MessageRecord m;
  switch (r.pushKind) {
    case 0:
      if (!s.群组权限) return 0;
      m.kind = MessageKind::Channel;
      m.group = Decimal(r.guild);
      m.subchannel = r.subchannel;
      break;
    case 1:
      if (!s.好友权限) return 0;
      m.kind = MessageKind::ChannelDirect;
      m.group = Decimal(r.directGuild);
      m.subchannel = r.directSubchannel;
      break;
    default: return 0;
  }
  if (!IsGroupAllowed(m.group)) return 0;
  m.sender = Decimal(r.sender);
  m.text = RecordText(r.text);
  m.idA = Decimal(r.messageId);
  m.idB = Decimal(r.messageNumber);
  return HandleMessage(m);
}

constexpr std::int32_t kAccountEventType = 31;

std::int32_t OnZoqAccount(const void* event) {
  if (!event) return 0;
  const auto r = Copied<ZoqAccountEvent>(event);
  if (r.type == kAccountEventType) Plugin().TakeFirstAccount(Decimal(r.robot));
  return 0;
}

std::int32_t Deliver(std::int32_t (*handler)(const void*), const void* event) {
  return Guarded<std::int32_t>(0, [&] { return handler(event); });
}

}  // namespace
}  // namespace zoq

// Exported as "初始化": the API table, then the plug-in key.
ZOQ_EXPORT const char* ZoqInit(const char* table, const char* key) {
  return zoq::KeptText(zoq::kSlotInit, [&] { return zoq::ApiTableStart(zoq::ArgText(table), zoq::ArgText(key)); });
}

ZOQ_EXPORT std::int32_t ZOQ_KyOn() {
  return zoq::Guarded<std::int32_t>(0, [] {
    zoq::Plugin().HostType = zoq::kHostTable;
    zoq::LoadSettings();
    return 0;
  });
}
ZOQ_STOP_EXPORT(ZOQ_KyFOn)
// Opens the settings window.
ZOQ_SETTINGS_EXPORT(ZOQ_MeKyu)

ZOQ_EXPORT std::int32_t ZOQ_Frekey(const void* event) { return zoq::Deliver(zoq::OnZoqPrivateMessage, event); }
ZOQ_EXPORT std::int32_t ZOQ_FrFeSxKey(const void* event) { return zoq::Deliver(zoq::OnZoqGroupMessage, event); }
ZOQ_EXPORT std::int32_t ZOQ_QGPush(const void* event) { return zoq::Deliver(zoq::OnZoqChannelPush, event); }
ZOQ_EXPORT std::int32_t ZOQ_ToTKeyEv(const void* event) { return zoq::Deliver(zoq::OnZoqAccount, event); }
