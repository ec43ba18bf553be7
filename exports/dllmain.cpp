// Load and unload of the plug-in DLL inside the host's process.
#include <windows.h>

#include "core/plugin.hpp"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  try {
    if (reason == DLL_PROCESS_ATTACH) zoq::ProgramStart();
    if (reason == DLL_PROCESS_DETACH) zoq::ProgramExit();
  } catch (...) {
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
  }
  return TRUE;
}
