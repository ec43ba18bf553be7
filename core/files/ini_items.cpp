#include "core/files/ini_items.hpp"

#include "core/files/file_writes.hpp"
#include "platform/files.hpp"

namespace zoq {

std::string ReadIniItem(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& defaultValue) {
  return ReadIniItemNow(file, section, key, defaultValue, kIniValueBuffer);
}

std::string WholeIniItem(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& defaultValue) {
  return ReadIniItemNow(file, section, key, defaultValue, kWholeIniValue);
}

bool WriteIniItem(const std::string& file, const std::string& section, const std::optional<std::string>& key,
                  const std::optional<std::string>& value) {
  if (BlankIniName(file) || BlankIniName(section)) return false;
  return WriteIniChanges(file, {IniChange{section, key, value}});
}

std::vector<std::string> ReadIniSections(const std::string& file) {
  if (BlankIniName(file)) return {};
  return ParsedImageOf(file, platform::ReadWholeFile(file))->SectionNames();
}

bool IsSwitchOn(const std::string& stored) { return stored == kSwitchOn; }

}  // namespace zoq
