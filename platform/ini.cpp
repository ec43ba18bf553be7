#include "platform/ini.hpp"

#include <windows.h>

#include <cstring>

namespace zoq::platform {

std::string GetIniString(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& defaultValue, std::size_t bufferSize) {
  std::string buffer(bufferSize, '\0');
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                           static_cast<DWORD>(bufferSize), file.c_str());
  // The count may take in half a character cut off at the buffer's end: the
  // text ends at its NUL.
  buffer.resize(strnlen(buffer.data(), n));
  return buffer;
}

std::vector<std::string> GetIniSectionNames(const std::string& file, std::size_t initialBuffer) {
  std::size_t size = initialBuffer < 16 ? 16 : initialBuffer;
  std::string buffer;
  DWORD n = 0;
  for (;;) {
    buffer.assign(size, '\0');
    n = GetPrivateProfileSectionNamesA(buffer.data(), static_cast<DWORD>(size), file.c_str());
    // A list that did not fit comes back as size - 2 bytes.
    if (n + 2 < size) break;
    size *= 4;
  }
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < n) {
    const std::size_t end = buffer.find('\0', start);
    if (end == std::string::npos || end == start) break;
    names.emplace_back(buffer, start, end - start);
    start = end + 1;
  }
  return names;
}

}  // namespace zoq::platform
