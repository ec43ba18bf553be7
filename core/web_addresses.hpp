// The web services the plug-in names. They belong to third parties and may
// stop answering; every use tolerates an empty answer.
#pragma once

namespace zoq::web {

// Shown in the default libraries as demonstrations.
inline constexpr const char* kDemoPictureApi = "https://api.zoqbot.cn/pic/";
inline constexpr const char* kDemoPoetryApi = "https://api.zoqbot.cn/rensheng.txt";
inline constexpr const char* kDemoTranslateApi = "http://api.zoqbot.cn/api/fanyi2/api.php?msg=";
inline constexpr const char* kMakerForum = "https://bbs.zoqbot.cn";

// Reply variables: the random picture of "[二次元]", the host of the four
// text APIs of "[绿茶]", "[一言]", "[诗词]" and "[舔狗]" (paths added by
// the expansion), and the QQ avatar image service.
inline constexpr const char* kRandomPictureApi = "https://img.zoqbot.cn/api/api.php";
inline constexpr const char* kTextApiHost = "https://api.zoqbot.cn";
inline constexpr const char* kQqAvatarService = "http://q.qlogo.cn";
// The QQ group-avatar image service (the settings window's maker-group strip).
inline constexpr const char* kQqGroupAvatarService = "http://p.qlogo.cn";

// The maker's contact group number for the information records: two plain
// text files tried in turn, then a built-in number.
inline constexpr const char* kContactFirst = "http://www.zoqbot.cn/Save/QQTeam.txt";
inline constexpr const char* kContactSecond = "http://zoq.zoqbot.cn/QQTeam.txt";
inline constexpr const char* kContactBuiltIn = "735921846";

}  // namespace zoq::web
