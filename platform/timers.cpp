// Timers of a window, and the thread timers that run a function once.
#include "platform/gui_parts.hpp"

#include <functional>
#include <map>
#include <mutex>

namespace zoq::platform {
namespace {

std::mutex timerLock;
std::map<UINT_PTR, std::function<void()>>& Timers() {
  static std::map<UINT_PTR, std::function<void()>> timers;
  return timers;
}

void CALLBACK TimerTick(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  std::function<void()> tick;
  {
    std::lock_guard<std::mutex> lock(timerLock);
    auto found = Timers().find(id);
    if (found == Timers().end()) return;
    tick = std::move(found->second);
    Timers().erase(found);
  }
  if (tick) tick();
}

}  // namespace

void StartTimer(WindowHandle window, unsigned id, unsigned ms) { SetTimer(window, id, ms, nullptr); }
void StopTimer(WindowHandle window, unsigned id) { KillTimer(window, id); }

void RunSoon(std::function<void()> tick, unsigned delayMs) {
  std::lock_guard<std::mutex> lock(timerLock);
  const UINT_PTR id = SetTimer(nullptr, 0, delayMs, TimerTick);
  if (id) Timers()[id] = std::move(tick);
}

}  // namespace zoq::platform
