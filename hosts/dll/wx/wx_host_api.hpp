// The WeChat-style host's adapter over Api.dll.
// (Its operations come with the host's own work; this is the object as the
// plug-in creates it.)
#pragma once
#include <cstdint>

namespace zoq {

class WxHostApi {
 public:
  std::int32_t word = 0;
  // 1 once the host's edition is the professional one: host functions then
  // take the robot's id after the identity pair.
  std::int32_t proMode = 0;
};

}  // namespace zoq
