#include "core/plugin.hpp"

#include <memory>

#include "core/error_hook.hpp"
#include "core/hosts.hpp"
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

PluginState::PluginState() : Adapters(std::make_unique<HostAdapters>()) {}
PluginState::~PluginState() = default;

PluginState& Plugin() { return *Instance(); }
PluginState* PluginIfAlive() { return Instance().get(); }

void ProgramStart(const std::string& runDirectory) {
  auto state = std::make_unique<PluginState>();
  if (runDirectory.empty()) {
    state->RunDirectory = platform::ExecutableFolder();
    platform::SetCurrentFolder(state->RunDirectory);
  } else {
    state->RunDirectory = runDirectory;
  }
  Instance() = std::move(state);
  RegisterLoadTimeErrorHook();
  XqHostApi::SetPluginContext(
      [] {
        const PluginState* p = PluginIfAlive();
        return p ? p->XqPluginName : std::string();
      },
      [] {
        const PluginState* p = PluginIfAlive();
        return p ? p->RunDirectory : platform::ExecutableFolder();
      });
}

void ProgramExit() {
  // A settings window still open goes first: its code leaves with the DLL.
  if (PluginState* p = PluginIfAlive(); p && p->CloseWindows) p->CloseWindows();
  RegisterErrorHook(nullptr);
  Instance().reset();
}

void StartAccount() { Plugin().AccountStarted = true; }

}  // namespace zoq
