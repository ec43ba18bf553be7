// A DLL built as the plug-in is, on the DLL's own threads runtime and entry
// point, whose one export makes threads race through what the C++ runtime
// asks of the threads functions: a function's static that several threads
// initialise at once (the guard's recursive mutex and condition variable),
// std::call_once, std::mutex and thread-local variables.
#include <windows.h>

#include <cstdio>
#include <mutex>

#include "platform/dll_runtime.hpp"

namespace {

constexpr int kThreads = 8;

LONG g_made = 0;
int Made() {
  InterlockedIncrement(&g_made);
  Sleep(100);  // the other threads arrive meanwhile and wait for it
  return 42;
}
int SharedValue() {
  static const int value = Made();
  return value;
}

std::once_flag g_once;
LONG g_calls = 0;
std::mutex g_lock;
long g_counter = 0;
thread_local int t_own = 0;

HANDLE g_start = nullptr;
LONG g_wrong = 0;

DWORD WINAPI Race(void* number) {
  WaitForSingleObject(g_start, INFINITE);
  const int own = static_cast<int>(reinterpret_cast<INT_PTR>(number));
  t_own = own;
  if (SharedValue() != 42) InterlockedIncrement(&g_wrong);
  std::call_once(g_once, [] { InterlockedIncrement(&g_calls); });
  for (int i = 0; i < 2000; ++i) {
    std::lock_guard lock(g_lock);
    const long seen = g_counter;
    SwitchToThread();
    g_counter = seen + 1;
  }
  if (t_own != own) InterlockedIncrement(&g_wrong);
  return 0;
}

}  // namespace

// What went wrong; empty when nothing did.
extern "C" __declspec(dllexport) const char* RuntimeProbe() {
  static char result[256];
  g_start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE threads[kThreads];
  for (int t = 0; t < kThreads; ++t) {
    threads[t] = CreateThread(nullptr, 0, Race, reinterpret_cast<void*>(static_cast<INT_PTR>(t + 1)), 0, nullptr);
  }
  SetEvent(g_start);
  const bool ended = WaitForMultipleObjects(kThreads, threads, TRUE, 30000) == WAIT_OBJECT_0;
  for (HANDLE t : threads) CloseHandle(t);
  CloseHandle(g_start);
  result[0] = 0;
  if (!ended || g_made != 1 || g_calls != 1 || g_counter != kThreads * 2000 || g_wrong != 0) {
    std::snprintf(result, sizeof result, "ended %d, static made %ld times, call_once ran %ld times, counter %ld, wrong %ld",
                  ended, g_made, g_calls, g_counter, g_wrong);
  }
  return result;
}

// The entry point, as the plug-in's.
extern "C" BOOL WINAPI ProbeEntry(HANDLE module, DWORD reason, LPVOID reserved) {
  return zoq::platform::DllEntry(module, reason, reserved);
}
