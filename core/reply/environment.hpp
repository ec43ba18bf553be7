// What the reply expansion takes from its surroundings: the web services it
// names, the tick count of its random draws and the local time. Tests point
// these at their own sources; the defaults are the shipping ones.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/clock.hpp"

namespace zoq::reply {

struct Environment {
  std::string randomPictureApi;  // "[二次元]"
  std::string textApiHost;       // host of the four text APIs
  std::string avatarService;     // QQ avatar image service
  std::function<std::uint32_t()> tickCount;
  std::function<platform::LocalTime()> now;
};

// The one environment every expansion uses.
Environment& Env();
// Back to the shipping addresses and the platform's clock.
void ResetEnv();

}  // namespace zoq::reply
