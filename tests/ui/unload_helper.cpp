// Loaded by the test host beside the plug-in, before a settings export: once
// a window of the plug-in is open, frees the plug-in as a host may and closes
// the window as its owner would. Copied as "unload-timer.dll" it does so from
// a thread timer that fires inside the window's message loop, otherwise from
// a thread of its own. A host that crashes ends at once (no debugger).
#include <windows.h>

#include <cwchar>

namespace {

DWORD hostThread = 0;

BOOL CALLBACK FindOurs(HWND window, LPARAM found) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (std::wcscmp(name, L"ZoqSettingsWindow") == 0 && IsWindowVisible(window)) *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}

HWND OpenWindow() {
  HWND found = nullptr;
  EnumThreadWindows(hostThread, FindOurs, reinterpret_cast<LPARAM>(&found));
  return found;
}

void FreeThenClose(HWND window) {
  FreeLibrary(GetModuleHandleW(L"ZOQ·关键词.dll"));
  PostMessageW(window, WM_CLOSE, 0, 0);
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  if (HWND window = OpenWindow()) KillTimer(nullptr, id), FreeThenClose(window);
}

DWORD WINAPI OnThread(void*) {
  for (int i = 0; i < 1000; ++i, Sleep(10)) {
    if (HWND window = OpenWindow()) return FreeThenClose(window), 0;
  }
  return 0;
}

LONG WINAPI EndTheHost(EXCEPTION_POINTERS*) {
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  hostThread = GetCurrentThreadId();
  SetUnhandledExceptionFilter(EndTheHost);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(self, path, MAX_PATH);
  if (std::wcsstr(path, L"timer")) {
    SetTimer(nullptr, 0, 50, OnTimer);
  } else {
    CloseHandle(CreateThread(nullptr, 0, OnThread, nullptr, 0, nullptr));
  }
  return TRUE;
}
