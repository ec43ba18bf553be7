// The ISky host end to end: the real DLL in a host process with the fake
// message.dll beside the host's executable, driven through the ISky exports.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/messages/session.hpp"

namespace zoq::testing {
namespace {

constexpr std::int32_t kAuthCode = -77;
constexpr const char* kAuth = "-77";

std::string Files(const std::string& folder) { return folder + "\\ZOQData\\ZOQ-F-关键词\\"; }

// A host process playing ISky: information (with the auth code), kind,
// start; then JSON events.
class IskySession {
 public:
  // `apiDll`: the fake message.dll to put beside the host ("" for none).
  IskySession(const std::string& runName, const std::vector<std::pair<std::string, std::string>>& files,
              const std::string& apiDll = "message.dll")
      : folder_(FreshRunFolder(runName)), host_(folder_) {
    if (!apiDll.empty()) CopyFileA((FakeHostFolder() + "\\" + apiDll).c_str(), (folder_ + "\\message.dll").c_str(), FALSE);
    WriteFile(folder_ + "\\fakehost.answers", FakeHostAnswerLine("Api_GetLoginQQ", kRobot));
    CreateDirectoryA((folder_ + "\\ZOQData").c_str(), nullptr);
    CreateDirectoryA(Files(folder_).c_str(), nullptr);
    for (const auto& [name, bytes] : files) WriteFile(Files(folder_) + name, bytes);
  }

  Host& host() { return host_; }

  bool Start() {
    if (!host_.Load()) return false;
    host_.SetClock(1000, 2026, 12, 5, 6, 17, 46, 29);
    // Each export removes exactly its own argument words.
    const CallResult info = host_.CallText("ISky_Information", {kAuthCode});
    const CallResult kind = host_.CallNumber("ISky_Initialization");
    const CallResult start = host_.CallNumber("ISky_pluginStart");
    return info.ok && info.stackSkew == 0 && info.text.starts_with("{\"id\":") && kind.number == 0 &&
           kind.stackSkew == 0 && start.number == 0 && start.stackSkew == 0;
  }

  CallResult Event(const std::string& name, const std::string& json) { return host_.CallNumber(name, {json}); }
  // A message event: type 1 private (no group_id), 2 group.
  CallResult Message(int type, const std::string& msg, const std::string& sender = kOwner, int msgId = 7) {
    std::string json = "{\"isky\":{\"type\":" + std::to_string(type);
    if (type != 1) json += ",\"group_id\":111";
    json += ",\"user_id\":" + sender + ",\"msg\":\"" + msg + "\",\"msg_id\":" + std::to_string(msgId) + "}}";
    return Event("ISky_Get_New_Msg", json);
  }

  std::vector<FakeCall> TakeCalls() {
    const std::vector<FakeCall> all = ParseFakeHostLog(ReadFile(folder_ + "\\fakehost.log"));
    std::vector<FakeCall> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen_, all.size())), all.end());
    seen_ = all.size();
    return fresh;
  }

 private:
  std::string folder_;
  Host host_;
  std::size_t seen_ = 0;
};

FakeCall Send(int kind, const std::string& group, const std::string& user, const std::string& message) {
  return {"message.dll", "Api_SendMsg", {kAuth, std::to_string(kind), group, user, message, "1"}};
}
FakeCall Api(const std::string& function, std::vector<std::string> args) {
  args.insert(args.begin(), kAuth);
  return {"message.dll", function, std::move(args)};
}

const std::vector<std::pair<std::string, std::string>> kLibraries{
    {"SayZ.ini", Library({{"你好", "你好呀[N]朋友"}, {"管", "[禁言60][撤回][踢出]好"}, {"图", "[P=C:\\a.png]"},
                            {"&uoS8#表情&uoS9#", "表情包"}})},
    {"SayM.ini", Library({{"复读", "[消息]"}})},
};

TEST(IskyTranscript, AnswersGroupAndPrivateMessagesThroughMessageDll) {
  IskySession s("isky-transcript", kLibraries);
  ASSERT_TRUE(s.Start());
  // The login account is asked at start, with the auth code of the information request.
  EXPECT_EQ(s.TakeCalls(), std::vector<FakeCall>{Api("Api_GetLoginQQ", {})});

  EXPECT_EQ(s.Message(2, "你好").number, 1);
  EXPECT_EQ(s.Message(1, "你好").number, 1);
  EXPECT_EQ(s.Message(2, "你好", kRobot).number, 1);  // the robot's own messages are answered too
  EXPECT_EQ(s.Message(2, "图").number, 1);
  EXPECT_EQ(s.Message(2, "管", kOwner, 123).number, 1);
  EXPECT_EQ(s.TakeCalls(), (std::vector<FakeCall>{
                               Send(2, "111", "", "你好呀\r\n朋友"),
                               Send(1, "", kOwner, "你好呀\r\n朋友"),
                               Send(2, "111", "", "你好呀\r\n朋友"),
                               Send(2, "111", "", "[CQ:image,file=file:///C:\\a.png]"),
                               Api("Api_SetGroupBan", {"111", kOwner, "60"}),  // a double
                               Api("Api_DeleteMsg", {"123"}),
                               Api("Api_SetGroupKick", {"111", kOwner, "0"}),
                               Send(2, "111", "", "好"),
                           }));

  // Not JSON, another type, nothing at all: 0 and no call.
  EXPECT_EQ(s.Event("ISky_Get_New_Msg", "{\"isky\":").number, 0);
  EXPECT_EQ(s.Event("ISky_Get_New_Msg", "").number, 0);
  EXPECT_EQ(s.Message(3, "你好").number, 0);
  EXPECT_EQ(s.host().CallNumber("ISky_Get_New_Msg", {Null{}}).number, 0);
  const CallResult stop = s.host().CallNumber("ISky_pluginStop");
  EXPECT_EQ(stop.number, 0);
  EXPECT_EQ(stop.stackSkew, 0);
  EXPECT_TRUE(s.TakeCalls().empty());
}

// Mended: brackets that came in escaped stay text when a reply repeats them.
TEST(IskyTranscript, RepeatedBracketsGoBackEscaped) {
  IskySession s("isky-brackets", kLibraries);
  ASSERT_TRUE(s.Start());
  s.TakeCalls();
  EXPECT_EQ(s.Message(2, "复读&#91;CQ:face,id=1&#93;&#91;号码&#93;&#91;P=C:\\\\x&#93;").number, 1);
  // The keyword of a message that holds brackets is found with them.
  EXPECT_EQ(s.Message(2, "&#91;表情&#93;").number, 1);
  EXPECT_EQ(s.TakeCalls(),
            (std::vector<FakeCall>{Send(2, "111", "", "&#91;CQ:face,id=1&#93;&#91;号码&#93;&#91;P=C:\\x&#93;"),
                                   Send(2, "111", "", "表情包")}));
}

TEST(IskyTranscript, MustMentionTakesTheCqMentionOfTheLoginAccount) {
  auto files = kLibraries;
  files.push_back({"admin", "[admin]\r\n必须艾特=开\r\n"});
  IskySession s("isky-must-mention", files);
  ASSERT_TRUE(s.Start());
  s.TakeCalls();
  EXPECT_EQ(s.Message(2, "你好").number, 0);
  EXPECT_EQ(s.Message(2, "[CQ:at,qq=29999]你好").number, 0);
  EXPECT_EQ(s.Message(2, std::string("[CQ:at,qq=") + kRobot + "] 你好").number, 1);
  EXPECT_EQ(s.TakeCalls(), std::vector<FakeCall>{Send(2, "111", "", "你好呀\r\n朋友")});
}

TEST(IskyTranscript, PrivateChatsShareOneCooldown) {
  auto files = kLibraries;
  files.push_back({"admin", "[admin]\r\n精确冷却=60\r\n"});
  IskySession s("isky-private-cooldown", files);
  ASSERT_TRUE(s.Start());
  s.TakeCalls();
  s.Message(1, "你好", "30001");
  s.Message(1, "你好", "30002");  // another private chat, the same section "0"
  s.Message(2, "你好", "30002");
  EXPECT_EQ(s.TakeCalls(), (std::vector<FakeCall>{Send(1, "", "30001", "你好呀\r\n朋友"),
                                                  Send(2, "111", "", "你好呀\r\n朋友")}));
}

// Every notice and request is read and left alone: 0, no host call, and
// its one argument word removed.
TEST(IskyNotices, EveryNoticeAndRequestIsReadAndLeftUnanswered) {
  IskySession s("isky-notices", kLibraries);
  ASSERT_TRUE(s.Start());
  s.TakeCalls();
  const char* const exports[] = {
      "ISky_Get_New_Anonymous_Msg",       "ISky_Get_Group_Upload",           "ISky_Get_Notice_Group_Admin",
      "ISky_Get_Notice_Group_Decrease",   "ISky_Get_Notice_Group_Increase",  "ISky_Get_Notice_Group_Ban",
      "ISky_Get_Notice_Friend_Add",       "ISky_Get_Notice_Group_Recall",    "ISky_Get_Notice_Friend_Recall",
      "ISky_Get_Notice_Notify_Friend_Poke", "ISky_Get_Notice_Notify_Group_Poke", "ISky_Get_Notice_Notify_Lucky_King",
      "ISky_Get_Notice_Notify_Honor",     "ISky_Get_Notice_Group_Card",      "ISky_Get_Notice_Offline_File",
      "ISky_Get_Request_Friend",          "ISky_Get_Request_Group",          "ISky_Get_Notice_Client_Status",
      "ISky_Get_Notice_Essence",
  };
  // Every field any of them reads, a keyword as the anonymous message.
  const std::string full =
      "{\"isky\":{\"type\":2,\"group_id\":111,\"user_id\":30001,\"anonymous_id\":5,\"anonymous_name\":\"a\","
      "\"anonymous_flag\":\"f\",\"msg\":\"你好\",\"msgid\":3,\"file_id\":\"i\",\"file_name\":\"n\",\"file_size\":9,"
      "\"operator_id\":1,\"duration\":60,\"message_id\":4,\"sender_id\":2,\"target_id\":6,\"honor_type\":1,"
      "\"card_new\":\"x\",\"card_old\":\"y\",\"file_url\":\"u\",\"comment\":\"c\",\"flag\":\"fl\",\"online\":true,"
      "\"app_id\":8,\"device_name\":\"d\",\"device_kind\":\"k\"}}";
  for (const char* name : exports) {
    for (const std::string& event : {full, std::string(), std::string("[1,"), std::string("{}")}) {
      const CallResult r = s.Event(name, event);
      ASSERT_TRUE(r.ok) << name << ": " << r.raw;
      EXPECT_EQ(r.number, 0) << name;
      EXPECT_EQ(r.stackSkew, 0) << name;
    }
  }
  EXPECT_TRUE(s.TakeCalls().empty());
}

// Mended: a message.dll without the functions, or none beside the host,
// gives the empty results; the host process goes on.
TEST(IskyMissingHost, ABareOrMissingMessageDllLeavesTheHostRunning) {
  for (const std::string dll : {"isky-bare\\message.dll", ""}) {
    IskySession s(dll.empty() ? "isky-no-dll" : "isky-bare-dll", kLibraries, dll);
    ASSERT_TRUE(s.Start()) << dll;
    EXPECT_EQ(s.Message(2, "管").number, 1) << dll;
    EXPECT_EQ(s.Message(1, "你好").number, 1) << dll;
    EXPECT_EQ(s.host().CallNumber("ISky_pluginStop").number, 0) << dll;
    // The bare DLL was asked for the login account, and nothing else.
    EXPECT_EQ(s.TakeCalls(), dll.empty() ? std::vector<FakeCall>{} : std::vector<FakeCall>{Api("Api_GetLoginQQ", {})});
  }
}

}  // namespace
}  // namespace zoq::testing
