// INI items as the plug-in reads and writes them.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/files/ini_image.hpp"

namespace zoq {

// The section list starts with a 204,800-byte buffer and grows when needed.
inline constexpr std::size_t kIniSectionListBuffer = 204800;

// One value, as GetPrivateProfileStringA reads it into a buffer of
// kIniValueBuffer bytes, at any length of the path. A file, section or key
// name that is empty after its leading blanks and control characters gives
// the empty text, without the default; the default stands only for a
// missing section or key (or a file that cannot be read).
std::string ReadIniItem(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& defaultValue = {});

// The same value read whole, however long, from the file's bytes as the INI
// functions read them, with the same rule for blank names: what the
// settings windows show.
std::string WholeIniItem(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& defaultValue = {});

// Writes one value, whole or not at all (core/files/file_writes.hpp); without a
// key the section is deleted, without a value the key is deleted.
bool WriteIniItem(const std::string& file, const std::string& section, const std::optional<std::string>& key,
                  const std::optional<std::string>& value);

// Section names in file order, as GetPrivateProfileSectionNamesA gives
// them, at any length of the path.
std::vector<std::string> ReadIniSections(const std::string& file);

// Switch words: only "开" is on.
inline constexpr const char* kSwitchOn = "开";
inline constexpr const char* kSwitchOff = "关";
bool IsSwitchOn(const std::string& stored);

}  // namespace zoq
