// The MyQQ host: its event codes, exports and information record.
#include "exports/export.hpp"
#include "core/info/info_records.hpp"
#include "json/script_json.hpp"
#include "text/text.hpp"

namespace zoq {
// MyQQ answers 1 for what it passes over, 10 for enable and disable, and the
// handler's result plus 1; it hands on the robot's own group messages.
constexpr NumericHost kMyQqEvents{kHostMyQq, kEventMyQqAccount, false, 1, 10, 1};

namespace {

constexpr const char* kMyQqKey = "Rq7TzW2mKp4NvX9cLb";

struct MyQqPluginInfo {
  std::string Name;
  std::string Version;
  std::string Author;
  std::string Description;
  std::string Key;
  std::string Sdk;
};

// Compact JSON, members in this order; each line break of the description
// is written as the escape backslash-"n".
std::string MyQqInfoJson(const MyQqPluginInfo& info) {
  json::ScriptJson doc;
  doc.SetText("name", info.Name);
  doc.SetText("author", info.Author);
  doc.SetText("description", text::ReplaceAll(info.Description, "\r\n", "\n"));
  doc.SetText("version", info.Version);
  doc.SetText("skey", info.Key);
  doc.SetText("sdk", info.Sdk);
  return doc.ToText();
}

std::string MyQqInfoRecord() {
  return MyQqInfoJson({PluginName(), VersionText(), kAuthor, DescriptionText(), kMyQqKey, "S1"});
}

}  // namespace
}  // namespace zoq

ZOQ_EVENT_EXPORT_11(MQ_Event, zoq::kMyQqEvents)
ZOQ_MESSAGE_EXPORT(MQ_Message)
ZOQ_EXPORT const char* MQ_Info() { return zoq::KeptText(zoq::kSlotMyQqInfo, zoq::MyQqInfoRecord); }
ZOQ_SETTINGS_EXPORT(MQ_Set)
