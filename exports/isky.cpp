// The ISky host: its exports, its message, notice and request events, and
// its information record. Every event comes as a JSON text whose fields
// stand under the member "isky".
#include <initializer_list>

#include "exports/export.hpp"
#include "core/hosts.hpp"
#include "core/info/info_records.hpp"
#include "core/messages/events.hpp"
#include "core/messages/handler.hpp"
#include "core/settings.hpp"
#include "json/isky_event_reader.hpp"
#include "json/wide_document.hpp"
#include "platform/com_apartment.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

constexpr const char* kIskyAuthor = "Quillane";

// COM for the host's thread, taken at start and given back at stop.
platform::ComApartment& IskyCom() {
  static platform::ComApartment com;
  return com;
}

// Keeps the auth code for every later host call, then builds the record.
std::string IskyInfoRecord(std::int32_t authCode) {
  IskyHostApi::SetAuthCode(authCode);
  json::WideJsonDocument doc;
  doc.LoadNew();
  doc.SetText("id", PluginName());
  doc.SetText("name", PluginName());
  doc.SetText("author", kIskyAuthor);
  doc.SetText("version", VersionText());
  doc.SetText("brief", DescriptionText());
  doc.SetBool("menu", true);
  doc.SetInt("sdk", 2);
  std::string record = doc.ToText();
  doc.ClearAt();
  return record;
}

std::int32_t OnIskyStart() {
  IskyCom().Enter();
  LoadSettings();
  Plugin().SetRobotAccount(Hosts().isky.GetLoginAccount(), true);
  return 0;
}

// A private or group message. The host writes "[" and "]" typed in the
// text as "&#91;" and "&#93;": the handler undoes them (the host's profile),
// after it has looked for a real mention of the robot.
std::int32_t OnIskyMessage(const std::string& event) {
  json::IskyEventReader reader;
  if (!reader.Load(event)) return 0;
  MessageRecord record;
  const std::int32_t kind = reader.GetInt("type");
  record.kind = static_cast<MessageKind>(kind);
  record.group = text::Decimal(reader.GetInt64("group_id"));
  record.sender = text::Decimal(reader.GetInt64("user_id"));
  record.text = reader.GetText("msg");
  record.idA = text::Decimal(reader.GetInt("msg_id"));
  reader.Clear();
  const std::shared_ptr<const Options> o = Plugin().Current();
  const SettingsRecord& s = o->Settings;
  if (s.好友权限 && kind == 1) return HandleMessage(record);
  if (s.群组权限 && kind == 2 && IsGroupAllowed(record.group)) return HandleMessage(record);
  return 0;
}

// The notices and requests are read and left unanswered.
enum class FieldKind { Int, Int64, Text, Bool };
struct EventField {
  const char* name;
  FieldKind kind;
};

std::int32_t ReadIskyNotice(const std::string& event, std::initializer_list<EventField> fields) {
  json::IskyEventReader reader;
  if (!reader.Load(event)) return 0;
  for (const EventField& f : fields) {
    switch (f.kind) {
      case FieldKind::Int: (void)reader.GetInt(f.name); break;
      case FieldKind::Int64: (void)reader.GetInt64(f.name); break;
      case FieldKind::Text: (void)reader.GetText(f.name); break;
      case FieldKind::Bool: (void)reader.GetBool(f.name); break;
    }
  }
  reader.Clear();
  return 0;
}

template <class F>
std::int32_t IskyEvent(const char* event, F&& handler) {
  return Guarded<std::int32_t>(0, [&] { return handler(ArgText(event)); });
}

}  // namespace
}  // namespace zoq

ZOQ_EXPORT const char* ISky_Information(std::int32_t authCode) {
  return zoq::KeptText(zoq::kSlotIskyInformation, [&] { return zoq::IskyInfoRecord(authCode); });
}

ZOQ_EXPORT std::int32_t ISky_Initialization() {
  return zoq::Guarded<std::int32_t>(0, [] {
    zoq::Plugin().HostType = zoq::kHostIsky;
    return 0;
  });
}

ZOQ_EXPORT std::int32_t ISky_pluginStart() { return zoq::Guarded<std::int32_t>(0, zoq::OnIskyStart); }

ZOQ_EXPORT std::int32_t ISky_pluginStop() {
  return zoq::Guarded<std::int32_t>(0, [] {
    zoq::IskyCom().Leave();
    zoq::ShutDown();
    return 0;
  });
}

// Opens the settings window.
ZOQ_SETTINGS_EXPORT(ISky_Menu)

ZOQ_EXPORT std::int32_t ISky_Get_New_Msg(const char* event) { return zoq::IskyEvent(event, zoq::OnIskyMessage); }

// One export per notice or request: the fields it reads, in order.
#define ZOQ_ISKY_NOTICE(name, ...)                                                                  \
  ZOQ_EXPORT std::int32_t name(const char* event) {                                                \
    using enum zoq::FieldKind;                                                                       \
    return zoq::IskyEvent(event, [](const std::string& e) { return zoq::ReadIskyNotice(e, {__VA_ARGS__}); }); \
  }

ZOQ_ISKY_NOTICE(ISky_Get_New_Anonymous_Msg, {"group_id", Int64}, {"anonymous_id", Int64}, {"anonymous_name", Text},
                {"anonymous_flag", Text}, {"msg", Text}, {"msgid", Int})
ZOQ_ISKY_NOTICE(ISky_Get_Group_Upload, {"group_id", Int64}, {"user_id", Int64}, {"file_id", Text},
                {"file_name", Text}, {"file_size", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Group_Admin, {"type", Int}, {"group_id", Int64}, {"user_id", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Group_Decrease, {"type", Int}, {"group_id", Int64}, {"user_id", Int64},
                {"operator_id", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Group_Increase, {"type", Int}, {"group_id", Int64}, {"user_id", Int64},
                {"operator_id", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Group_Ban, {"type", Int}, {"group_id", Int64}, {"user_id", Int64},
                {"operator_id", Int64}, {"duration", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Friend_Add, {"user_id", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Group_Recall, {"group_id", Int64}, {"user_id", Int64}, {"operator_id", Int64},
                {"message_id", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Friend_Recall, {"user_id", Int64}, {"message_id", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Notify_Friend_Poke, {"sender_id", Int64}, {"user_id", Int64}, {"target_id", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Notify_Group_Poke, {"group_id", Int64}, {"user_id", Int64}, {"target_id", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Notify_Lucky_King, {"group_id", Int64}, {"user_id", Int64}, {"target_id", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Notify_Honor, {"honor_type", Int}, {"group_id", Int64}, {"user_id", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Group_Card, {"group_id", Int64}, {"user_id", Int64}, {"card_new", Text},
                {"card_old", Text})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Offline_File, {"user_id", Int64}, {"file_name", Text}, {"file_url", Text},
                {"file_size", Int64})
ZOQ_ISKY_NOTICE(ISky_Get_Request_Friend, {"user_id", Int64}, {"comment", Text}, {"flag", Text})
ZOQ_ISKY_NOTICE(ISky_Get_Request_Group, {"type", Int}, {"group_id", Int64}, {"user_id", Int64}, {"comment", Text},
                {"flag", Text})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Client_Status, {"online", Bool}, {"app_id", Int64}, {"device_name", Text},
                {"device_kind", Text})
ZOQ_ISKY_NOTICE(ISky_Get_Notice_Essence, {"type", Int}, {"sender_id", Int64}, {"operator_id", Int64},
                {"message_id", Int})
