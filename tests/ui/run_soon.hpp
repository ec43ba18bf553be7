// A thread timer that runs a function once inside whatever message loop runs
// next on this thread: the window tests drive modal windows with it.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <mutex>

namespace zoq::testing {

namespace run_soon_detail {
inline std::mutex lock;
inline std::map<UINT_PTR, std::function<void()>> waiting;

inline void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  std::function<void()> tick;
  {
    std::lock_guard<std::mutex> hold(lock);
    const auto found = waiting.find(id);
    if (found == waiting.end()) return;
    tick = std::move(found->second);
    waiting.erase(found);
  }
  if (tick) tick();
}
}  // namespace run_soon_detail

inline void RunSoon(std::function<void()> tick, unsigned delayMs = 10) {
  std::lock_guard<std::mutex> hold(run_soon_detail::lock);
  const UINT_PTR id = SetTimer(nullptr, 0, delayMs, run_soon_detail::Tick);
  if (id) run_soon_detail::waiting[id] = std::move(tick);
}

}  // namespace zoq::testing
