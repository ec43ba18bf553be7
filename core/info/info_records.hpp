// The plug-in's information records, one format per host family, built anew
// at every request from one set of values.
#pragma once
#include <cstdint>
#include <string>

namespace zoq {

std::string PluginName();   // "ZOQ·关键词"
std::string VersionText();  // "2.2.6"

// Where the contact group number comes from (tests point these elsewhere).
struct ContactSources {
  std::string first;
  std::string second;
  std::string builtIn;
};
ContactSources& Contacts();
void ResetContacts();

// Refreshes MakerGroupNumber: the first address, then the second, while the
// answer holds 4 bytes or fewer; the built-in number last.
void FetchGroupText();
// The fixed description followed by a freshly fetched MakerGroupNumber.
std::string DescriptionText();

// The text descriptor of VLQ, MingQQ, OQ, SP and ER.
std::string TextInfoRecord();

struct XqPluginInfo {
  std::string Name;
  std::string Version;
  std::string Author;
  std::string Description;
  std::int32_t Priority = 0;
};

// Backslash, double quote and CR LF escaped in place; returns the escaped
// text between double quotes.
std::string EscapeCrLf(std::string& text);
// One line of XQ JSON; the record's texts are left escaped.
std::string XqInfoJson(XqPluginInfo& info);
// Binds the XQ adapter (its outcome is not looked at) and builds the record;
// XqPluginName keeps the escaped name.
std::string XqInfoRecord();

}  // namespace zoq
