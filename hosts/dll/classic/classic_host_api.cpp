#include "hosts/dll/classic/classic_host_api.hpp"

namespace zoq {

const ClassicHostConfig kVlqHost{"VLQapi.dll", "Api_SendMsg", nullptr, "Api_Shutup", nullptr,
                                 "Api_OutPutLog", "Api_GetOnLineList", "[@"};
const ClassicHostConfig kOqHost{"OQapi.dll", "Api_SendMsg", nullptr, nullptr, "Api_ShutUP",
                                "Api_OutPutLog", "Api_GetOnLineList", "[at="};
const ClassicHostConfig kMingQqHost{"MingQQAPI.DLL", nullptr, "Api_SendMsg", nullptr, "Api_Shutup",
                                    "Api_OutPut", "Api_GetOnlineQQlist", "[@"};
const ClassicHostConfig kSpHost{"SPapi.dll", "Api_SendMsg", nullptr, nullptr, "Api_ShutUP",
                                "Api_OutPutLog", "Api_GetOnLineList", "[at="};
const ClassicHostConfig kErHost{"ERapi.dll", "Api_SendMsg", nullptr, nullptr, "Api_ShutUP",
                                "Api_OutPutLog", "Api_GetOnLineList", "[at="};

}  // namespace zoq
