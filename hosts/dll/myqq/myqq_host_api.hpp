// The MyQQ host's adapter over MyQQApi.DLL: functions bound by name at their
// first call, texts copied from the host's own memory.
#pragma once
#include <cstdint>
#include <string>

#include "hosts/call/host_call.hpp"

namespace zoq {

class MyQqHostApi {
  hosts::LibraryBinding library_{"MyQQApi.DLL"};

 public:
  MyQqHostApi() = default;
  // A copy is a fresh object: it keeps no bound address.
  MyQqHostApi(const MyQqHostApi&) : MyQqHostApi() {}
  MyQqHostApi& operator=(const MyQqHostApi&) = delete;

  // Sends through the function of `form`: 0 (and any value but 1 to 3)
  // `Api_SendMsgEx`, 1 `Api_SendXml`, 2 `Api_SendJson`, 3 `Api_SendLongMsg`.
  // An `anonymous` of 1 or more goes as 1.
  void SendMessage(const std::string& robot, std::int32_t kind, const std::string& group, const std::string& qq,
                   const std::string& message, std::int32_t extra = 0, std::int32_t anonymous = 0,
                   std::int32_t form = 0);
  hosts::HostRow<hosts::Int(hosts::Text, hosts::Text, hosts::Text, hosts::Int)> MuteMember{library_, "MuteMember",
                                                                                           "Api_Shutup"};
  hosts::HostRow<void(hosts::Text)> OutputLog{library_, "OutputLog", "Api_OutPut"};
  hosts::HostRow<void(hosts::Text, hosts::Text, hosts::Text, hosts::Int)> KickMember{library_, "KickMember",
                                                                                     "Api_KickGroupMBR"};
  // Mode 0 (and any value but 1 and 2) the on-line list, 1 every account,
  // 2 the off-line list; a CR LF separated text, not split.
  std::string GetOnlineAccounts(std::int32_t mode = 0);
  hosts::HostRow<hosts::Text(hosts::Text, hosts::Text, hosts::Text, hosts::Text)> RecallMessage{
      library_, "RecallMessage", "Api_WithdrawMsg"};

  const hosts::HostBinding& binding() const { return library_; }

 private:
  using T = hosts::Text;
  using I = hosts::Int;
  hosts::HostRow<void(T, I, I, T, T, T, I)> sendMsgEx_{library_, "SendMessage", "Api_SendMsgEx"};
  hosts::HostRow<void(T, I, I, T, T, T, I)> sendXml_{library_, "SendMessage", "Api_SendXml"};
  hosts::HostRow<void(T, I, I, T, T, T)> sendJson_{library_, "SendMessage", "Api_SendJson"};
  hosts::HostRow<void(T, I, T, T, T, I)> sendLongMsg_{library_, "SendMessage", "Api_SendLongMsg"};
  hosts::HostRow<T()> onlineList_{library_, "GetOnlineAccounts", "Api_GetOnlineQQlist"};
  hosts::HostRow<T()> qqList_{library_, "GetOnlineAccounts", "Api_GetQQList"};
  hosts::HostRow<T()> offlineList_{library_, "GetOnlineAccounts", "Api_GetOffLineList"};
};

}  // namespace zoq
