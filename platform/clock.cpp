#include "platform/clock.hpp"

#include <windows.h>

namespace zoq::platform {

std::uint32_t TickCount() { return GetTickCount(); }
ZOQ_HOT std::uint64_t Milliseconds() { return GetTickCount64(); }

void Pause(std::uint32_t ms) { Sleep(ms); }

LocalTime Now() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  return LocalTime{st.wYear, st.wMonth, st.wDay, st.wDayOfWeek, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

}  // namespace zoq::platform
