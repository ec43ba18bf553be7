#include "hosts/dll/xq/xq_host_api.hpp"

#include <atomic>
#include <cstdlib>

#include "platform/files.hpp"
#include "platform/modules.hpp"
#include "platform/window.hpp"

namespace zoq {
namespace {

constexpr std::string_view kApiPrefix = "S3_Api_";

std::atomic<bool> XqLoadWarningShown{false};

struct Surroundings {
  XqHostApi::TextSource pluginName = [] { return std::string(); };
  XqHostApi::TextSource runDirectory = &platform::ExecutableFolder;
};

Surroundings& Around() {
  static Surroundings around;
  return around;
}

std::string HostFileName() {
  const std::string full = platform::ExecutablePath();
  const std::size_t cut = platform::LastPathSeparator(full);
  return cut == std::string::npos ? full : full.substr(cut + 1);
}

// The leading decimal number of a version text; 0 when there is none.
std::int64_t VersionNumber(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

void* ResolveIn(void* module, const std::string& name) {
  const std::string& pluginName = Around().pluginName();
  if (!module) {
    if (!XqLoadWarningShown.exchange(true)) {
      platform::ShowTaskModalBox("先驱api函数库加载失败!请检查是否在主线程内调用ApiInit()方法？",
                          HostFileName() + "->" + pluginName, true);
    }
    return nullptr;
  }
  void* entry = platform::FindFunction(module, (std::string(kApiPrefix) + name).c_str());
  if (!entry) platform::ShowTaskModalBox("先驱S3API导出函数->" + name + ",加载失败!请检查框架版本", pluginName + "->插件运行异常", false);
  return entry;
}

}  // namespace

void XqHostApi::SetPluginContext(TextSource pluginName, TextSource runDirectory) {
  Around().pluginName = std::move(pluginName);
  Around().runDirectory = std::move(runDirectory);
}
void XqHostApi::ResetLoadWarning() { XqLoadWarningShown = false; }

void* XqHostApi::Binding::Address(std::size_t, const char* function) const {
  const std::string_view name = function;
  if (!name.starts_with(kApiPrefix)) return platform::FindFunction(module, function);
  return ResolveIn(module, std::string(name.substr(kApiPrefix.size())));
}

void* XqHostApi::ResolveApi(const std::string& name) const { return ResolveIn(binding_.module, name); }

void XqHostApi::SetAuthId(std::int32_t first, std::int32_t second) {
  std::string id(8, '\0');
  for (int i = 0; i < 4; ++i) {
    id[i] = static_cast<char>(static_cast<std::uint32_t>(first) >> (8 * i));
    id[4 + i] = static_cast<char>(static_cast<std::uint32_t>(second) >> (8 * i));
  }
  binding_.authId.set(id);
}

bool XqHostApi::BindModule() {
  binding_.module = platform::LoadedModule("xqapi.dll");
  std::int64_t version = VersionNumber(GetVer());
  if (version < 1) {
    // A missing fallback leaves the first module, so that its functions
    // still reach the host.
    if (void* fallback = platform::LoadedModule(Around().runDirectory() + "\\bin\\xqapi.dll")) {
      binding_.module = fallback;
      version = VersionNumber(GetVer());
    }
  }
  return version > 0;
}

std::string XqHostApi::GetVer() {
  if (!binding_.module) return {};
  if (ResolveApi("GetVer")) return GetVerRow();
  return OldGetVerRow();
}

std::string XqHostApi::GetQrcode(std::string& qrcode) {
  if (!binding_.LeadReady()) return {};
  qrcode.assign(255, '\0');
  return GetQrcodeRow(qrcode);
}

}  // namespace zoq
