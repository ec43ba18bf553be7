// Loaded by the test host: once a window or a message box of the plug-in is
// open, frees the plug-in and closes it, from a thread timer inside the window's loop
// ("unload-timer.dll") or from a thread of its own. A crash ends the host.
#include <windows.h>

#include <cwchar>

namespace {

DWORD hostThread = 0;

BOOL CALLBACK FreeThenClose(HWND window, LPARAM done) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if ((std::wcscmp(name, L"ZoqSettingsWindow") && std::wcscmp(name, L"#32770")) || !IsWindowVisible(window)) return TRUE;
  FreeLibrary(GetModuleHandleW(L"ZOQ·关键词.dll"));
  return !(*reinterpret_cast<bool*>(done) = PostMessageW(window, WM_CLOSE, 0, 0));
}

bool FreedAndClosed() {
  bool done = false;
  EnumThreadWindows(hostThread, FreeThenClose, reinterpret_cast<LPARAM>(&done));
  return done;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) { FreedAndClosed() && KillTimer(nullptr, id); }
DWORD WINAPI OnThread(void*) {
  for (int i = 0; i < 1000 && !FreedAndClosed(); ++i) Sleep(10);
  return 0;
}
LONG WINAPI EndTheHost(EXCEPTION_POINTERS*) { return TerminateProcess(GetCurrentProcess(), 3); }

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
  wchar_t path[MAX_PATH] = {};
  if (reason != DLL_PROCESS_ATTACH || !GetModuleFileNameW(self, path, MAX_PATH)) return TRUE;
  hostThread = GetCurrentThreadId();
  SetUnhandledExceptionFilter(EndTheHost);
  if (std::wcsstr(path, L"timer")) return SetTimer(nullptr, 0, 50, OnTimer) != 0;
  return CloseHandle(CreateThread(nullptr, 0, OnThread, nullptr, 0, nullptr));
}
