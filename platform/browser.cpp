// The user's default browser (tests put an opener of their own in its place).
#include "platform/gui_parts.hpp"
#include "platform/code_pages.hpp"

#include <shellapi.h>

#include <mutex>
#include <utility>

namespace zoq::platform {
namespace {

std::mutex openerLock;
OpenAddressHook& Opener() {
  static OpenAddressHook hook;
  return hook;
}

}  // namespace

void SetOpenAddressHook(OpenAddressHook hook) {
  std::lock_guard<std::mutex> lock(openerLock);
  Opener() = std::move(hook);
}

void OpenAddress(const std::string& address) {
  OpenAddressHook hook;
  {
    std::lock_guard<std::mutex> lock(openerLock);
    hook = Opener();
  }
  if (hook) return hook(address);
  ShellExecuteW(nullptr, L"open", GbkToWide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace zoq::platform
