// Timers of a window.
#include "platform/gui_parts.hpp"

namespace zoq::platform {

void StartTimer(WindowHandle window, unsigned id, unsigned ms) { SetTimer(window, id, ms, nullptr); }
void StopTimer(WindowHandle window, unsigned id) { KillTimer(window, id); }

}  // namespace zoq::platform
