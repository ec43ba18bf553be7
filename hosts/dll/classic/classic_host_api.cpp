#include "hosts/dll/classic/classic_host_api.hpp"

namespace zoq {

const ClassicHostConfig kVlqHost{"VLQapi.dll", "Api_SendMsg", nullptr, "Api_Shutup",
                                 "Api_OutPutLog", "Api_GetOnLineList", "[@"};
const ClassicHostConfig kOqHost{"OQapi.dll", "Api_SendMsg", nullptr, "Api_ShutUP",
                                "Api_OutPutLog", "Api_GetOnLineList", "[at="};
const ClassicHostConfig kMingQqHost{"MingQQAPI.DLL", nullptr, "Api_SendMsg", "Api_Shutup",
                                    "Api_OutPut", "Api_GetOnlineQQlist", "[@"};
const ClassicHostConfig kSpHost{"SPapi.dll", "Api_SendMsg", nullptr, "Api_ShutUP",
                                "Api_OutPutLog", "Api_GetOnLineList", "[at="};
const ClassicHostConfig kErHost{"ERapi.dll", "Api_SendMsg", nullptr, "Api_ShutUP",
                                "Api_OutPutLog", "Api_GetOnLineList", "[at="};

ClassicHostApi::ClassicHostApi(const ClassicHostConfig& config)
    : config_(config),
      library_(config.library),
      OutputLog(library_, "OutputLog", config.outputLog),
      GetOnlineAccounts(library_, "GetOnlineAccounts", config.onlineList),
      sendMsg6_(library_, "SendMessage", config.sendMsg6),
      sendMsg5_(library_, "SendMessage", config.sendMsg5),
      shutUp_(library_, "MuteMember", config.shutUp) {}

// The target goes twice: as the group and as the qq of the host function.
void ClassicHostApi::Send(const std::string& robot, std::int32_t kind, const std::string& target,
                          const std::string& message) {
  if (sendMsg6_.declared()) sendMsg6_(robot, kind, target, target, message, 0);
  else sendMsg5_(robot, kind, target, target, message);
}

void ClassicHostApi::SendPrivateMessage(const std::string& robot, const std::string& qq, const std::string& message) {
  Send(robot, 1, qq, message);
}

void ClassicHostApi::SendGroupMessage(const std::string& robot, const std::string& group,
                                      const std::string& message) {
  Send(robot, 2, group, message);
}

std::string ClassicHostApi::MentionCode(const std::string& qq) const { return config_.mentionPrefix + qq + "]"; }

}  // namespace zoq
