// The web services the plug-in names. They belong to third parties and may
// stop answering; every use tolerates an empty answer.
#pragma once

namespace zoq::web {

// Shown in the default libraries as demonstrations.
inline constexpr const char* kDemoPictureApi = "https://api.zoqbot.cn/pic/";
inline constexpr const char* kDemoPoetryApi = "https://api.zoqbot.cn/rensheng.txt";
inline constexpr const char* kDemoTranslateApi = "http://api.zoqbot.cn/api/fanyi2/api.php?msg=";
inline constexpr const char* kMakerForum = "https://bbs.zoqbot.cn";

}  // namespace zoq::web
