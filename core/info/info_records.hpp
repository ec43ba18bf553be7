// The plug-in's information records, one format per host family, built anew
// at every request from one set of values.
#pragma once
#include <cstdint>
#include <string>

namespace zoq {

std::string PluginName();   // "ZOQ·关键词"
std::string VersionText();  // "2.2.6"
extern const char* const kAuthor;

// Where the contact group number comes from (tests point these elsewhere).
struct ContactSources {
  std::string first;
  std::string second;
  std::string builtIn;
};
ContactSources& Contacts();
void ResetContacts();

// Refreshes MakerGroupNumber: the first address, then the second, while the
// answer is no group number (5 to 12 ASCII digits once the blanks around
// them are trimmed); the built-in number last. Returns the number.
std::string FetchGroupText();
// The fixed description followed by a freshly fetched MakerGroupNumber.
std::string DescriptionText();

// The text descriptor of VLQ, MingQQ, OQ, SP and ER.
std::string TextInfoRecord();

}  // namespace zoq
