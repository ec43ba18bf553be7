// The ISky host's adapter over message.dll: every host function takes the
// auth code the host handed over first.
// (The operations the plug-in core calls; the rest come with the host's own
// work.)
#pragma once
#include <cstdint>
#include <string>

#include "hosts/call/host_call.hpp"

namespace zoq {

class IskyHostApi {
  class Binding : public hosts::LibraryBinding {
   public:
    explicit Binding(const std::int32_t& authCode) : LibraryBinding("message.dll"), authCode_(authCode) {}
    void PushLead(hosts::WordList& words) const override { words.Push(static_cast<std::uint32_t>(authCode_)); }
    std::string_view LeadKinds() const override { return "i"; }

   private:
    const std::int32_t& authCode_;
  };

  std::int32_t authCode_ = 0;
  Binding library_{authCode_};

 public:
  IskyHostApi() = default;
  // A copy is a fresh object with the same auth code.
  IskyHostApi(const IskyHostApi& other) : authCode_(other.authCode_) {}
  IskyHostApi& operator=(const IskyHostApi&) = delete;

  void SetAuthCode(std::int32_t code) { authCode_ = code; }
  std::int32_t authCode() const { return authCode_; }

  hosts::HostRow<hosts::Text(hosts::Lead)> GetLoginAccount{library_, "GetLoginAccount", "Api_GetLoginQQ"};
  // Kind 1 with an empty group text; kind 2 with an empty user text.
  std::int32_t SendPrivateMessage(const std::string& qq, const std::string& message, std::int32_t flag = 1) {
    return sendMsg_(1, std::string(), qq, message, flag);
  }
  std::int32_t SendGroupMessage(const std::string& group, const std::string& message, std::int32_t flag = 1) {
    return sendMsg_(2, group, std::string(), message, flag);
  }
  static std::string MentionCode(const std::string& qq) { return "[CQ:at,qq=" + qq + "]"; }
  // The host takes the duration as a double.
  void MuteMember(const std::string& group, const std::string& qq, std::int32_t seconds) {
    setGroupBan_(group, qq, seconds);
  }
  hosts::HostRow<void(hosts::Lead, hosts::Int)> RecallMessage{library_, "RecallMessage", "Api_DeleteMsg"};
  void KickMember(const std::string& group, const std::string& qq, bool reject = false) {
    setGroupKick_(group, qq, reject);
  }

  const hosts::HostBinding& binding() const { return library_; }

 private:
  hosts::HostRow<hosts::Int(hosts::Lead, hosts::Int, hosts::Text, hosts::Text, hosts::Text, hosts::Int)> sendMsg_{
      library_, "SendMessage", "Api_SendMsg"};
  hosts::HostRow<void(hosts::Lead, hosts::Text, hosts::Text, hosts::Double)> setGroupBan_{library_, "MuteMember",
                                                                                          "Api_SetGroupBan"};
  hosts::HostRow<void(hosts::Lead, hosts::Text, hosts::Text, hosts::Bool)> setGroupKick_{library_, "KickMember",
                                                                                         "Api_SetGroupKick"};
};

}  // namespace zoq
