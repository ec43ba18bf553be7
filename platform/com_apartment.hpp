// The plug-in's own hold on COM for a host thread: taken with CoInitialize,
// given back with CoUninitialize only by the thread that took it, and only
// when it was really taken, so a host thread's own COM is never torn down.
#pragma once
#include <cstdint>

namespace zoq::platform {

class ComApartment {
 public:
  // CoInitialize on the calling thread unless this object already holds
  // COM; true when it holds COM afterwards (S_OK or S_FALSE).
  bool Enter();
  // CoUninitialize when this object holds COM and the calling thread is the
  // one that took it; otherwise nothing.
  void Leave();
  bool held() const { return held_; }

 private:
  bool held_ = false;
  std::uint32_t thread_ = 0;
};

}  // namespace zoq::platform
