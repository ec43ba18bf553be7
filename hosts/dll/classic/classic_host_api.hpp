// The classic QQ hosts (VLQ, OQ, MingQQ, SP, ER): one layout of operations
// over each host's API DLL, which differ only in the DLL, in a few function
// names, in the length of `Api_SendMsg` and in the mention code.
#pragma once
#include <cstdint>
#include <string>

#include "hosts/call/host_call.hpp"

namespace zoq {

struct ClassicHostConfig {
  const char* library;        // API DLL file name
  const char* sendMsg6;       // `Api_SendMsg` with the trailing 0, or null
  const char* sendMsg5;       // `Api_SendMsg` without it, or null
  const char* shutUp;         // "Api_Shutup" or "Api_ShutUP"
  const char* outputLog;      // "Api_OutPutLog" or "Api_OutPut"
  const char* onlineList;     // "Api_GetOnLineList" or "Api_GetOnlineQQlist"
  const char* mentionPrefix;  // "[@" or "[at="
};

class ClassicHostApi {
  // Declared first: every row below registers with the binding.
  ClassicHostConfig config_;
  hosts::LibraryBinding library_;

 public:
  explicit ClassicHostApi(const ClassicHostConfig& config);
  // A copy is a fresh object of the same host: it keeps no bound address.
  ClassicHostApi(const ClassicHostApi& other) : ClassicHostApi(other.config_) {}
  ClassicHostApi& operator=(const ClassicHostApi&) = delete;

  void SendPrivateMessage(const std::string& robot, const std::string& qq, const std::string& message);
  void SendGroupMessage(const std::string& robot, const std::string& group, const std::string& message);
  std::string MentionCode(const std::string& qq) const;
  std::int32_t MuteMember(const std::string& robot, const std::string& group, const std::string& qq,
                          std::int32_t seconds) {
    return shutUp_(robot, group, qq, seconds);
  }
  hosts::HostRow<hosts::Text(hosts::Text, hosts::Text, hosts::Text)> GetGroupCard{library_, "GetGroupCard",
                                                                                  "Api_GetGroupCard"};
  hosts::HostRow<hosts::Text(hosts::Text, hosts::Text)> GetNick{library_, "GetNick", "Api_GetNick"};
  hosts::HostRow<hosts::Text(hosts::Text, hosts::Int, hosts::Text, hosts::Bytes)> UploadPicture{
      library_, "UploadPicture", "Api_UpLoadPic"};
  hosts::HostRow<void(hosts::Text)> OutputLog;
  hosts::HostRow<void(hosts::Text, hosts::Text, hosts::Text, hosts::Int)> KickMember{library_, "KickMember",
                                                                                     "Api_KickGroupMBR"};
  hosts::HostRow<hosts::Text()> GetOnlineAccounts;
  hosts::HostRow<void(hosts::Text, hosts::Text, hosts::Text, hosts::Text)> RecallMessage{
      library_, "RecallMessage", "Api_WithdrawMsg"};
  hosts::HostRow<hosts::Text(hosts::Text, hosts::Text)> GetGroupName{library_, "GetGroupName", "Api_GetGroupName"};
  hosts::HostRow<hosts::Int(hosts::Text, hosts::Text)> GetGender{library_, "GetGender", "Api_GetGender"};
  hosts::HostRow<hosts::Int(hosts::Text, hosts::Text)> GetQqAge{library_, "GetQqAge", "Api_GetQQAge"};
  hosts::HostRow<hosts::Int(hosts::Text, hosts::Text)> GetAge{library_, "GetAge", "Api_GetAge"};

  const hosts::HostBinding& binding() const { return library_; }

 private:
  void Send(const std::string& robot, std::int32_t kind, const std::string& target, const std::string& message);

  hosts::HostRow<void(hosts::Text, hosts::Int, hosts::Text, hosts::Text, hosts::Text, hosts::Int)> sendMsg6_;
  hosts::HostRow<void(hosts::Text, hosts::Int, hosts::Text, hosts::Text, hosts::Text)> sendMsg5_;
  hosts::HostRow<hosts::Int(hosts::Text, hosts::Text, hosts::Text, hosts::Int)> shutUp_;
};

extern const ClassicHostConfig kVlqHost;
extern const ClassicHostConfig kOqHost;
extern const ClassicHostConfig kMingQqHost;
extern const ClassicHostConfig kSpHost;
extern const ClassicHostConfig kErHost;

template <const ClassicHostConfig& Config>
class ClassicHostOf : public ClassicHostApi {
 public:
  ClassicHostOf() : ClassicHostApi(Config) {}
};

class VlqHostApi : public ClassicHostOf<kVlqHost> {};
class OqHostApi : public ClassicHostOf<kOqHost> {};
class MingQqHostApi : public ClassicHostOf<kMingQqHost> {};
class SpHostApi : public ClassicHostOf<kSpHost> {};
class ErHostApi : public ClassicHostOf<kErHost> {};

}  // namespace zoq
