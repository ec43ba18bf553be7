// The WeChat-style host (HostType 5): its exports, its message, login and
// start events, its error report and its information record. The host
// calls a separate export for each event; the robot's own messages are not
// told apart here.
#include "core/error_hook.hpp"
#include "exports/export.hpp"
#include "core/hosts.hpp"
#include "core/info/info_records.hpp"
#include "core/messages/handler.hpp"
#include "core/reply/no_account_picture.hpp"
#include "core/settings.hpp"

namespace zoq {
namespace {

constexpr std::int32_t kWxSdkVersion = 6;
constexpr std::int32_t kWxPriority = 2;
constexpr const char* kWxContact = "1357924680";

// Reports a runtime error to the host; true: reported, no box of our own.
std::int32_t WxReportError(std::int32_t code, const std::string& message) {
  if (PluginIfAlive()) Hosts().wx.ReportError(code, message);
  return 1;
}

std::int32_t OnWxInitialization(const std::string& hostJson) {
  Hosts().wx.InitApp(hostJson);
  RegisterErrorHook(&WxReportError);
  return 0;
}

std::int32_t OnWxEnable() {
  Plugin().HostType = kHostWx;
  LoadSettings();
  return 0;
}

// State 0: logged in (the first account after start or logout is taken);
// 1: logged out; anything else: nothing.
std::int32_t OnWxLogin(std::int32_t state, const std::string& account) {
  if (state == 0) {
    Plugin().TakeFirstAccount(account);
  } else if (state == 1) {
    ShutDown();
  }
  return 0;
}

std::int32_t OnWxMessage(bool allowed, MessageKind kind, const char* group, const char* sender, const char* text,
                         std::int32_t enterprise) {
  if (!allowed) return 0;
  MessageRecord record{kind, ArgText(group), ArgText(sender), ArgText(text)};
  record.enterprise = enterprise;
  return HandleMessage(record);
}

std::int32_t OnWxGroupChat(std::int32_t delivered, const char* group, const char* sender, const char* text,
                           std::int32_t enterprise) {
  const bool allowed = Plugin().Current()->Settings.群组权限 && delivered == 1 && IsGroupAllowed(ArgText(group));
  return OnWxMessage(allowed, MessageKind::Group, group, sender, text, enterprise);
}

std::int32_t OnWxPrivateChat(std::int32_t delivered, const char* sender, const char* text, std::int32_t enterprise) {
  const bool allowed = Plugin().Current()->Settings.好友权限 && delivered == 1;
  return OnWxMessage(allowed, MessageKind::Private, nullptr, sender, text, enterprise);
}

// Refills WxPluginInfo and has the adapter write it as the host's JSON.
std::string WxInfoRecord() {
  // The description waits on the web: fetched before the record is held.
  const std::string description = DescriptionText();
  return Plugin().WithWxPluginInfo([&](WxPluginInfoRecord& info) {
    info = {PluginName(), kAuthor, VersionText(), description, PluginName(), kWxPriority, kWxSdkVersion,
            NoAccountPicture(), kWxContact};
    return Hosts().wx.BuildPluginInfo(info);
  });
}

template <class F>
std::int32_t Zero(F&& body) {
  return Guarded<std::int32_t>(0, std::forward<F>(body));
}

}  // namespace
}  // namespace zoq

// The first text is not read; the second is the host's initialisation JSON.
ZOQ_EXPORT std::int32_t Initialization(const char*, const char* hostJson) {
  return zoq::Zero([&] { return zoq::OnWxInitialization(zoq::ArgText(hostJson)); });
}
ZOQ_EXPORT const char* Information() { return zoq::KeptText(zoq::kSlotInformation, zoq::WxInfoRecord); }
ZOQ_EXPORT std::int32_t Enable() { return zoq::Zero(zoq::OnWxEnable); }
ZOQ_EXPORT std::int32_t Login(std::int32_t state, const char* account, std::int32_t) {
  return zoq::Zero([&] { return zoq::OnWxLogin(state, zoq::ArgText(account)); });
}
ZOQ_EXPORT std::int32_t EventGroupChat(const char*, std::int32_t delivered, const char* group, const char*,
                                       const char* sender, const char*, const char* text, const char*, std::int32_t,
                                       std::int32_t enterprise) {
  return zoq::Zero([&] { return zoq::OnWxGroupChat(delivered, group, sender, text, enterprise); });
}
ZOQ_EXPORT std::int32_t EventPrivateChat(const char*, std::int32_t delivered, const char* sender, const char*,
                                         const char* text, std::int32_t, std::int32_t enterprise) {
  return zoq::Zero([&] { return zoq::OnWxPrivateChat(delivered, sender, text, enterprise); });
}
// Opens the settings window.
ZOQ_SETTINGS_EXPORT(Settings)
ZOQ_STOP_EXPORT(StopUsing)
ZOQ_STOP_EXPORT(Uninstall)
