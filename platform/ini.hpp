// The Windows INI functions, GBK texts in and out.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zoq::platform {

// GetPrivateProfileStringA into a buffer of `bufferSize` bytes (so at most
// bufferSize - 1 bytes of value).
std::string GetIniString(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& defaultValue, std::size_t bufferSize);

// WritePrivateProfileStringA; a missing key deletes the section, a missing
// value deletes the key.
bool WriteIniString(const std::string& file, const std::string& section, const std::optional<std::string>& key,
                    const std::optional<std::string>& value);

// The section names in file order. Starts with a buffer of `initialBuffer`
// bytes and reads again with a larger one when the list did not fit.
std::vector<std::string> GetIniSectionNames(const std::string& file, std::size_t initialBuffer);

}  // namespace zoq::platform
