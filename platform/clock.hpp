// Time sources of the plug-in (the tick count of the random draws, the local
// time of the date and time variables and of the cool-downs).
#pragma once
#include <cstdint>

namespace zoq::platform {

struct LocalTime {
  int year = 0, month = 0, day = 0, weekday = 0;  // weekday: 0 Sunday .. 6 Saturday
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

std::uint32_t TickCount();
// Milliseconds since the system started, never wrapping (the plug-in's
// own intervals; a host's fake clock leaves it be).
std::uint64_t Milliseconds();
// Lets the thread wait `ms` milliseconds.
void Pause(std::uint32_t ms);
LocalTime Now();

}  // namespace zoq::platform
