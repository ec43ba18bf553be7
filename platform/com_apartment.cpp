#include "platform/com_apartment.hpp"

#include <objbase.h>
#include <windows.h>

namespace zoq::platform {

bool ComApartment::Enter() {
  if (held_) return true;
  const HRESULT hr = CoInitialize(nullptr);
  if (hr != S_OK && hr != S_FALSE) return false;
  held_ = true;
  thread_ = GetCurrentThreadId();
  return true;
}

void ComApartment::Leave() {
  if (!held_ || thread_ != GetCurrentThreadId()) return;
  CoUninitialize();
  held_ = false;
}

}  // namespace zoq::platform
