#include "core/program.hpp"

#include <memory>

#include "core/error_hook.hpp"
#include "core/files/cooldown_times.hpp"
#include "core/plugin.hpp"
#include "hosts/adapters.hpp"
#include "platform/files.hpp"

namespace zoq {

void ProgramStart(const std::string& runDirectory) {
  auto state = std::make_unique<PluginState>();
  if (runDirectory.empty()) {
    state->RunDirectory = platform::ExecutableFolder();
    platform::SetCurrentFolder(state->RunDirectory);
  } else {
    state->RunDirectory = runDirectory;
  }
  PluginInstance() = std::move(state);
  RegisterLoadTimeErrorHook();
  XqHostApi::SetPluginContext(
      [] {
        const PluginState* p = PluginIfAlive();
        return p ? p->XqPluginName.get() : std::string();
      },
      [] {
        const PluginState* p = PluginIfAlive();
        return p ? p->RunDirectory : platform::ExecutableFolder();
      });
}

void ProgramExit() {
  // A settings window still open goes first: its code leaves with the DLL.
  if (PluginState* p = PluginIfAlive()) p->CloseWindows();
  WriteUnwrittenCooldowns();
  RegisterErrorHook(nullptr);
  PluginInstance().reset();
}

}  // namespace zoq
