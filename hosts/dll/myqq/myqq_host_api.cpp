#include "hosts/dll/myqq/myqq_host_api.hpp"

#include <algorithm>

namespace zoq {

void MyQqHostApi::SendMessage(const std::string& robot, std::int32_t kind, const std::string& group,
                              const std::string& qq, const std::string& message, std::int32_t extra,
                              std::int32_t anonymous, std::int32_t form) {
  anonymous = std::min(anonymous, 1);
  switch (form) {
    case 1: SendXml(robot, anonymous, kind, group, qq, message, 0); break;
    case 2: SendJson(robot, anonymous, kind, group, qq, message); break;
    case 3: SendLongMsg(robot, kind, group, qq, message, anonymous); break;
    default: SendMsgEx(robot, anonymous, kind, group, qq, message, extra); break;
  }
}

std::string MyQqHostApi::GetOnlineAccounts(std::int32_t mode) {
  switch (mode) {
    case 1: return GetQqList();
    case 2: return GetOffLineList();
    default: return GetOnlineQqList();
  }
}

}  // namespace zoq
