// The Windows INI functions, GBK texts in and out.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace zoq::platform {

// GetPrivateProfileStringA into a buffer of `bufferSize` bytes (so at most
// bufferSize - 1 bytes of value).
std::string GetIniString(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& defaultValue, std::size_t bufferSize);

// The section names in file order. Starts with a buffer of `initialBuffer`
// bytes and reads again with a larger one when the list did not fit.
std::vector<std::string> GetIniSectionNames(const std::string& file, std::size_t initialBuffer);

}  // namespace zoq::platform
