#include "core/plugin.hpp"

#include <memory>

#include "core/error_hook.hpp"
#include "platform/files.hpp"

namespace zoq {
namespace {

std::unique_ptr<PluginState>& Instance() {
  static std::unique_ptr<PluginState> state;
  return state;
}

}  // namespace

const char* PluginState::KeepExportResult(ExportSlot slot, std::string text) {
  ExportResultSlots[slot] = std::move(text);
  return ExportResultSlots[slot].c_str();
}

ClassicHostApi* PluginState::ActiveClassicHost() {
  switch (HostType) {
    case kHostVlq: return &vlq;
    case kHostOq: return &oq;
    case kHostMingQq: return &mingqq;
    case kHostSp: return &sp;
    case kHostEr: return &er;
    default: return nullptr;
  }
}

PluginState& Plugin() { return *Instance(); }
PluginState* PluginIfAlive() { return Instance().get(); }

void ProgramStart(const std::string& runDirectory) {
  auto state = std::make_unique<PluginState>();
  if (runDirectory.empty()) {
    state->runDirectory = platform::ExecutableFolder();
    platform::SetCurrentFolder(state->runDirectory);
  } else {
    state->runDirectory = runDirectory;
  }
  Instance() = std::move(state);
  RegisterLoadTimeErrorHook();
}

void ProgramExit() {
  RegisterErrorHook(nullptr);
  Instance().reset();
}

void StartAccount() { Plugin().AccountStarted = true; }

}  // namespace zoq
