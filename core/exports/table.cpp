// The function-table host: its start (`初始化`), its exports, and its events,
// which arrive as pointers to packed records in the host's memory.
#include <cstring>

#include "core/error_hook.hpp"
#include "core/exports/export.hpp"
#include "core/hosts.hpp"
#include "core/info/info_records.hpp"
#include "core/messages/handler.hpp"
#include "core/settings.hpp"
#include "platform/window.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

// ---- The start ---------------------------------------------------------

// The name without the characters a file name cannot hold, nor the quote
// (whole characters only: the trail byte of a GBK character stays).
std::string StripName(std::string name) {
  for (const char* c : {"/", "\\", ":", "*", "?", "\"", "<", ">", "|", "'"}) name = text::ReplaceAll(name, c, "");
  return name;
}

// Reports a runtime error in a box under the plug-in's name; the operation
// that failed gives its empty result and the host goes on.
void ShowPluginErrorBox(int code, const std::string& message) {
  const PluginState* state = PluginIfAlive();
  const std::string name = state ? state->AppNameText : std::string();
  platform::ShowTaskModalBox("插件[" + name + "]运行时发生澜类型错误\r\n\r\n错误代码：" + std::to_string(code) +
                                 "\r\n错误信息：\r\n" + message,
                             "插件运行出错：" + name, true);
}

// The adapter keeps the key and the table; the answer names the plug-in.
std::string ApiTableStart(const std::string& table, const std::string& key) {
  PluginState& p = Plugin();
  Hosts().table.InitApiTable(key, table);
  p.AppNameText = StripName(PluginName());
  RegisterErrorHook(&ShowPluginErrorBox);
  FetchGroupText();
  return "{\"sdkv\":\"4.5.3\",\"appname\":\"" + p.AppNameText + "\"}";
}

// ---- The events ----------------------------------------------------------

// A record the host handed over, copied whole; its texts are read while the
// host's call lasts (a null text is the empty text).
template <std::size_t Size>
class PackedRecord {
 public:
  explicit PackedRecord(const void* p) { std::memcpy(bytes_, p, Size); }
  std::int64_t Number(std::size_t offset) const { return Read<std::int64_t>(offset); }
  std::int32_t Word(std::size_t offset) const { return Read<std::int32_t>(offset); }
  std::string Decimal(std::size_t offset) const { return std::to_string(Number(offset)); }
  std::string Text(std::size_t offset) const {
    const char* p = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(Read<std::uint32_t>(offset)));
    return p ? std::string(p) : std::string();
  }

 private:
  template <class T>
  T Read(std::size_t offset) const {
    T v;
    std::memcpy(&v, bytes_ + offset, sizeof v);
    return v;
  }
  unsigned char bytes_[Size];
};

// CR LF, then LF, then CR: each one "[N]".
std::string FoldLineBreaks(const std::string& s) {
  return text::ReplaceAll(text::ReplaceAll(text::ReplaceAll(s, "\r\n", "[N]"), "\n", "[N]"), "\r", "[N]");
}


std::int32_t OnPrivateMessage(const void* event) {
  if (!event || !Plugin().Settings.好友权限) return 0;
  const PackedRecord<128> r(event);
  if (r.Number(0) == r.Number(8) || !ForOurRobot(r.Decimal(8))) return 0;
  MessageRecord m;
  m.kind = MessageKind::Private;
  m.sender = r.Decimal(0);
  m.idA = std::to_string(r.Word(16));
  m.idB = r.Decimal(44);
  m.text = FoldLineBreaks(r.Text(68));
  return HandleMessage(m);
}

std::int32_t OnGroupMessage(const void* event) {
  if (!event || !Plugin().Settings.群组权限) return 0;
  const PackedRecord<120> r(event);
  if (r.Number(0) == r.Number(8) || !ForOurRobot(r.Decimal(8)) || !IsGroupAllowed(r.Decimal(24))) return 0;
  MessageRecord m;
  m.kind = MessageKind::Group;
  m.group = r.Decimal(24);
  m.sender = r.Decimal(0);
  m.idA = std::to_string(r.Word(16));
  m.idB = r.Decimal(44);
  m.text = FoldLineBreaks(r.Text(76));
  return HandleMessage(m);
}

// Push kind 0: a channel message, 1: a direct message; anything else is
// passed over. Guild messages need no robot account.
std::int32_t OnChannelPush(const void* event) {
  if (!event) return 0;
  const PackedRecord<168> r(event);
  if (r.Number(48) == r.Number(8)) return 0;
  const SettingsRecord& s = Plugin().Settings;
  MessageRecord m;
  switch (r.Word(144)) {
    case 0:
      if (!s.群组权限) return 0;
      m.kind = MessageKind::Channel;
      m.group = r.Decimal(24);
      m.subchannel = r.Number(36);
      break;
    case 1:
      if (!s.好友权限) return 0;
      m.kind = MessageKind::ChannelDirect;
      m.group = r.Decimal(68);
      m.subchannel = r.Number(76);
      break;
    default: return 0;
  }
  if (!IsGroupAllowed(m.group)) return 0;
  m.sender = r.Decimal(48);
  m.text = r.Text(152);
  m.idA = std::to_string(r.Word(16));
  m.idB = r.Decimal(120);
  return HandleMessage(m);
}

constexpr std::int32_t kAccountEventType = 31;

std::int32_t OnAccount(const void* event) {
  if (!event) return 0;
  const PackedRecord<68> r(event);
  PluginState& p = Plugin();
  if (r.Word(60) == kAccountEventType && !p.AccountStarted) {
    p.RobotAccount = r.Decimal(24);
    StartAccount();
  }
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

ZOQ_EXPORT std::int32_t ZOQ_Frekey(const void* event) { return zoq::Deliver(zoq::OnPrivateMessage, event); }
ZOQ_EXPORT std::int32_t ZOQ_FrFeSxKey(const void* event) { return zoq::Deliver(zoq::OnGroupMessage, event); }
ZOQ_EXPORT std::int32_t ZOQ_QGPush(const void* event) { return zoq::Deliver(zoq::OnChannelPush, event); }
ZOQ_EXPORT std::int32_t ZOQ_ToTKeyEv(const void* event) { return zoq::Deliver(zoq::OnAccount, event); }
