#include "tests/web/user_settings.hpp"

#include <windows.h>

#include <cstdlib>

namespace zoq::testing {
namespace {

constexpr const char* kInternetSettings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kNames[3] = {"ProxyEnable", "ProxyServer", "ProxyOverride"};

HKEY SettingsKey() {
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key,
                  nullptr);
  return key;
}

void Write(HKEY key, const char* name, DWORD type, const std::string& bytes) {
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
}

std::string Sz(const std::string& s) { return s + '\0'; }

}  // namespace

UserProxy::UserProxy() {
  const HKEY key = SettingsKey();
  for (int i = 0; i < 3; ++i) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, kNames[i], nullptr, &type, nullptr, &size) != ERROR_SUCCESS) continue;
    Value v{type, std::string(size, '\0')};
    RegQueryValueExA(key, kNames[i], nullptr, &type, reinterpret_cast<BYTE*>(v.bytes.data()), &size);
    saved_[i] = v;
  }
  RegCloseKey(key);
}

UserProxy::~UserProxy() {
  const HKEY key = SettingsKey();
  for (int i = 0; i < 3; ++i) {
    if (saved_[i]) Write(key, kNames[i], saved_[i]->type, saved_[i]->bytes);
    else RegDeleteValueA(key, kNames[i]);
  }
  RegCloseKey(key);
}

void UserProxy::Set(bool enabled, const std::string& servers, const std::string& bypass) {
  const HKEY key = SettingsKey();
  const DWORD on = enabled ? 1 : 0;
  Write(key, kNames[0], REG_DWORD, std::string(reinterpret_cast<const char*>(&on), sizeof on));
  Write(key, kNames[1], REG_SZ, Sz(servers));
  Write(key, kNames[2], REG_SZ, Sz(bypass));
  RegCloseKey(key);
}

bool SilentNameServerOnly() { return std::getenv("ZOQ_SILENT_NAME_SERVER") != nullptr; }

}  // namespace zoq::testing
