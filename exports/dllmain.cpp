// Load and unload of the plug-in DLL inside the host's process.
#include <windows.h>

#include "core/program.hpp"
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

// The DLL's entry point: the JSON engine's pools go last, before the
// threads runtime.
extern "C" BOOL WINAPI ZoqDllEntry(HANDLE module, DWORD reason, LPVOID reserved) {
  return zoq::platform::DllEntry(module, reason, reserved, zoq::json::ReleasePools);
}
