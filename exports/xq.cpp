// The XQ host: its event codes, auth id, exports and information record.
#include "exports/export.hpp"
#include "core/hosts.hpp"
#include "core/info/info_records.hpp"
#include "text/text.hpp"

namespace zoq {

constexpr NumericHost kXqEvents = PlainNumericHost(kHostXq);

namespace {

struct XqPluginInfo {
  std::string Name;
  std::string Version;
  std::string Author;
  std::string Description;
  std::int32_t Priority = 0;
};

// Backslash, double quote and CR LF escaped in place; returns the escaped
// text between double quotes.
std::string EscapeCrLf(std::string& value) {
  value = text::ReplaceAll(value, "\\", "\\\\");
  value = text::ReplaceAll(value, "\"", "\\\"");
  value = text::ReplaceAll(value, "\r\n", "\\r\\n");
  return "\"" + value + "\"";
}

// One line of JSON; the record's texts are left escaped, and XqPluginName
// keeps the escaped name.
std::string XqInfoJson(XqPluginInfo& info) {
  std::string json = "{\"name\":" + EscapeCrLf(info.Name);
  json += ",\"pver\":" + EscapeCrLf(info.Version);
  json += ",\"sver\":3";
  json += ",\"author\":" + EscapeCrLf(info.Author);
  json += ",\"desc\":" + EscapeCrLf(info.Description);
  json += ",\"prio\":" + std::to_string(info.Priority) + "}";
  Plugin().XqPluginName.set(info.Name);
  return json;
}

// Binds the XQ adapter (its outcome is not looked at) and builds the record.
std::string XqInfoRecord() {
  Hosts().xq.BindModule();
  XqPluginInfo info{PluginName(), VersionText(), kAuthor, DescriptionText(), 999};
  return XqInfoJson(info);
}

}  // namespace
}  // namespace zoq

ZOQ_EVENT_EXPORT_12(XQ_Event, zoq::kXqEvents)
ZOQ_STOP_EXPORT(XQ_DestroyPlugin)

// XQ hands over its auth id: the first word counts as a signed 16-bit value.
ZOQ_EXPORT void XQ_AuthId(std::int32_t first, std::int32_t second) {
  zoq::Guarded<int>(0, [&] {
    zoq::Hosts().xq.SetAuthId(static_cast<std::int16_t>(first), second);
    return 0;
  });
}

// Its one text argument is not read.
ZOQ_EXPORT const char* XQ_Create(const char*) { return zoq::KeptText(zoq::kSlotXqCreate, zoq::XqInfoRecord); }
ZOQ_SETTINGS_EXPORT(XQ_SetUp)
