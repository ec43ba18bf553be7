#include "hosts/dll/xq/xq_host_api.hpp"

#include <windows.h>

#include <cstdlib>

#include "core/plugin.hpp"
#include "platform/files.hpp"

namespace zoq {
namespace {

constexpr std::string_view kApiPrefix = "S3_Api_";

bool g_loadWarningShown = false;

XqHostApi::MessageBoxFunction& Box() {
  static XqHostApi::MessageBoxFunction box = [](const std::string& text, const std::string& title, bool exclamation) {
    MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_TASKMODAL | (exclamation ? MB_ICONEXCLAMATION : 0));
  };
  return box;
}

std::string PluginName() {
  const PluginState* state = PluginIfAlive();
  return state ? state->XqPluginName : std::string();
}

std::string RunDirectory() {
  const PluginState* state = PluginIfAlive();
  return state ? state->runDirectory : platform::ExecutableFolder();
}

std::string HostFileName() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string full(path, n);
  const std::size_t cut = platform::LastPathSeparator(full);
  return cut == std::string::npos ? full : full.substr(cut + 1);
}

// The leading decimal number of a version text; 0 when there is none.
std::int64_t VersionNumber(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

}  // namespace

void XqHostApi::SetMessageBox(MessageBoxFunction box) { Box() = std::move(box); }
void XqHostApi::ResetLoadWarning() { g_loadWarningShown = false; }

void* XqHostApi::ApiBinding::Address(const hosts::HostRowBase& row, void*&) {
  std::string_view name = row.function();
  if (name.starts_with(kApiPrefix)) name.remove_prefix(kApiPrefix.size());
  return api_.ResolveApi(std::string(name));
}

void* XqHostApi::PlainBinding::Address(const hosts::HostRowBase& row, void*&) {
  if (!api_.module_) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(api_.module_), row.function()));
}

void* XqHostApi::ResolveApi(const std::string& name) {
  if (!module_) {
    if (!g_loadWarningShown) {
      g_loadWarningShown = true;
      Box()("先驱api函数库加载失败!请检查是否在主线程内调用ApiInit()方法？", HostFileName() + "->" + PluginName(), true);
    }
    return nullptr;
  }
  const std::string exported = std::string(kApiPrefix) + name;
  void* entry = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), exported.c_str()));
  if (!entry) Box()("先驱S3API导出函数->" + name + ",加载失败!请检查框架版本", PluginName() + "->插件运行异常", false);
  return entry;
}

void XqHostApi::SetAuthId(std::int32_t first, std::int32_t second) {
  std::string id(8, '\0');
  for (int i = 0; i < 4; ++i) {
    id[i] = static_cast<char>(static_cast<std::uint32_t>(first) >> (8 * i));
    id[4 + i] = static_cast<char>(static_cast<std::uint32_t>(second) >> (8 * i));
  }
  authId_ = std::move(id);
}

bool XqHostApi::BindModule() {
  module_ = GetModuleHandleA("xqapi.dll");
  std::int64_t version = VersionNumber(GetVer());
  if (version < 1) {
    module_ = GetModuleHandleA((RunDirectory() + "\\bin\\xqapi.dll").c_str());
    version = VersionNumber(GetVer());
  }
  return version > 0;
}

std::string XqHostApi::GetVer() {
  if (!module_) return {};
  if (ResolveApi("GetVer")) return getVer_();
  return oldGetVer_();
}

void XqHostApi::DbgName(const std::string& text) {
  if (module_) dbgName_(text);
}

void XqHostApi::Mark(const std::string& text) {
  if (module_) mark_(text);
}

}  // namespace zoq
