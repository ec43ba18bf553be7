// Load and unload of the plug-in DLL inside the host's process.
#include <windows.h>

#include "core/plugin.hpp"
#include "json/engine.hpp"
#include "platform/dll_runtime.hpp"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  try {
    if (reason == DLL_PROCESS_ATTACH) zoq::ProgramStart();
    if (reason == DLL_PROCESS_DETACH) zoq::ProgramExit();
  } catch (...) {
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
  }
  return TRUE;
}

// The C++ runtime's entry point: DllMain, and the static constructors and
// destructors around it.
extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE, DWORD, LPVOID);

// The DLL's entry point. When the host frees the DLL (or its loading
// failed), what outlives the static destructors goes once everything else
// has run: the JSON engine's pools, then the threads runtime. Not when the
// process ends: its other threads are gone then, whatever they held.
extern "C" BOOL WINAPI ZoqDllEntry(HANDLE module, DWORD reason, LPVOID reserved) {
  const BOOL ok = DllMainCRTStartup(module, reason, reserved);
  if ((reason == DLL_PROCESS_DETACH && !reserved) || (reason == DLL_PROCESS_ATTACH && !ok)) {
    zoq::json::ReleasePools();
    zoq::platform::ReleaseDllRuntime();
  }
  return ok;
}
