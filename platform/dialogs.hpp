// Message boxes.
#pragma once
#include <string>

namespace zoq::platform {

// A task-modal box with an OK button (and the exclamation icon when asked);
// returns when it is closed.
void ShowTaskModalBox(const std::string& text, const std::string& title, bool exclamation);

}  // namespace zoq::platform
