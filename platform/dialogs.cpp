#include "platform/dialogs.hpp"

#include <windows.h>

namespace zoq::platform {

void ShowTaskModalBox(const std::string& text, const std::string& title, bool exclamation) {
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_TASKMODAL | (exclamation ? MB_ICONEXCLAMATION : 0));
}

}  // namespace zoq::platform
