// The MyQQ host's adapter over MyQQApi.DLL: functions bound by name at their
// first call, texts copied from the host's own memory.
#pragma once
#include <cstdint>
#include <string>

#include "hosts/call/host_call.hpp"

namespace zoq {

class MyQqHostApi {
 public:
  // Sends through the function of `form`: 0 (and any value but 1 to 3)
  // `Api_SendMsgEx`, 1 `Api_SendXml`, 2 `Api_SendJson`, 3 `Api_SendLongMsg`.
  // An `anonymous` of 1 or more goes as 1.
  void SendMessage(const std::string& robot, std::int32_t kind, const std::string& group, const std::string& qq,
                   const std::string& message, std::int32_t extra = 0, std::int32_t anonymous = 0,
                   std::int32_t form = 0);
  // Mode 0 (and any value but 1 and 2) the on-line list, 1 every account,
  // 2 the off-line list; a CR LF separated text, not split.
  std::string GetOnlineAccounts(std::int32_t mode = 0);

 private:
  hosts::LibraryBinding binding_{"MyQQApi.DLL"};

#define ZOQ_ROWS_FILE "hosts/dll/myqq/myqq_rows.inc"
#include "hosts/call/rows.inc"
};

}  // namespace zoq
