// The hosts that deliver their events in their own way, through the real
// DLL: ISky's JSON events and its notices; the function-table host, whose
// 初始化 hands over a real API table and whose events are packed records in
// the host's memory, guild messages among them; the WeChat-style host with
// the Api.dll of the edition it names, in the folder its initialisation
// text gives, and its own exports for every event.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/stdcall.hpp"
#include "tests/messages/session.hpp"
#include "tests/web/web_server.hpp"

namespace zoq::testing {
namespace {

Files IskyFiles(const std::string& admin = {}) {
  return {{"SayZ.ini", Library({{"你好", "你好呀"}, {"&uoS8#表情&uoS9#", "表情包"}})},
          {"admin", "[admin]\r\n" + admin}};
}

TEST(IskyTranscript, AnswersItsOwnMessagesAndLeavesEveryOtherEventUnanswered) {
  Session s("isky-transcript", HostCaseNamed("ISky"), IskyFiles());
  ASSERT_TRUE(s.Start());
  // The login account is asked at start, with the auth code of the information request.
  EXPECT_EQ(s.TakeCalls(), std::vector<FakeCall>{IskyCall("Api_GetLoginQQ", {})});
  EXPECT_EQ(s.Group("你好", "111", kRobot).number, 1);  // the robot's own messages are answered too
  EXPECT_EQ(s.Group("&#91;表情&#93;").number, 1);  // typed brackets are the keyword's
  EXPECT_EQ(s.Group("复读\x81").number, 1);  // a lead byte alone before the closing quote: "?", echoed
  EXPECT_EQ(s.TakeSent(), (Sent{"你好呀", "表情包", "?"}));
  // Not JSON, another type, nothing at all: 0 and no call.
  for (const std::string& event : {std::string("{\"isky\":"), std::string(),
                                   std::string("{\"isky\":{\"type\":3,\"user_id\":1,\"msg\":\"你好\"}}")}) {
    EXPECT_EQ(s.host().CallNumber("ISky_Get_New_Msg", {event}).number, 0) << event;
  }
  EXPECT_EQ(s.host().CallNumber("ISky_Get_New_Msg", {Null{}}).number, 0);
  // Every notice and request is read and left alone: 0, no host call, and
  // its one argument word removed.
  const char* const exports[] = {
      "ISky_Get_New_Anonymous_Msg", "ISky_Get_Group_Upload", "ISky_Get_Notice_Group_Admin",
      "ISky_Get_Notice_Group_Decrease", "ISky_Get_Notice_Group_Increase", "ISky_Get_Notice_Group_Ban",
      "ISky_Get_Notice_Friend_Add", "ISky_Get_Notice_Group_Recall", "ISky_Get_Notice_Friend_Recall",
      "ISky_Get_Notice_Notify_Friend_Poke", "ISky_Get_Notice_Notify_Group_Poke", "ISky_Get_Notice_Notify_Lucky_King",
      "ISky_Get_Notice_Notify_Honor", "ISky_Get_Notice_Group_Card", "ISky_Get_Notice_Offline_File",
      "ISky_Get_Request_Friend", "ISky_Get_Request_Group", "ISky_Get_Notice_Client_Status", "ISky_Get_Notice_Essence"};
  // Every field any of them reads, a keyword as the anonymous message.
  const std::string full =
      "{\"isky\":{\"type\":2,\"group_id\":111,\"user_id\":30001,\"anonymous_id\":5,\"anonymous_name\":\"a\","
      "\"anonymous_flag\":\"f\",\"msg\":\"你好\",\"msgid\":3,\"file_id\":\"i\",\"file_name\":\"n\",\"file_size\":9,"
      "\"operator_id\":1,\"duration\":60,\"message_id\":4,\"sender_id\":2,\"target_id\":6,\"honor_type\":1,"
      "\"card_new\":\"x\",\"card_old\":\"y\",\"file_url\":\"u\",\"comment\":\"c\",\"flag\":\"fl\",\"online\":true,"
      "\"app_id\":8,\"device_name\":\"d\",\"device_kind\":\"k\"}}";
  for (const char* name : exports) {
    for (const std::string& event : {full, std::string(), std::string("[1,"), std::string("{}")}) {
      const CallResult r = s.host().CallNumber(name, {event});
      ASSERT_TRUE(r.ok) << name << ": " << r.raw;
      EXPECT_TRUE(r.number == 0 && r.stackSkew == 0) << name;
    }
  }
  const CallResult stop = s.host().CallNumber("ISky_pluginStop");
  EXPECT_TRUE(stop.number == 0 && stop.stackSkew == 0);
  EXPECT_TRUE(s.TakeCalls().empty());
}

// Mended: a mention typed as escaped brackets used to count as one.
TEST(IskyTranscript, MustMentionTakesOnlyARealMentionOfTheLoginAccount) {
  Session s("isky-must-mention", HostCaseNamed("ISky"), IskyFiles("必须艾特=开\r\n"));
  ASSERT_TRUE(s.Start());
  for (const char* text : {"你好", "[CQ:at,qq=29999]你好", "&#91;@20001&#93; 你好", "&#91;CQ:at,qq=20001&#93;你好"}) {
    EXPECT_EQ(s.Group(text).number, 0) << text;
  }
  EXPECT_EQ(s.Group("[CQ:at,qq=20001] 你好").number, 1);
  EXPECT_EQ(s.TakeSent(), Sent{"你好呀"});
}

TEST(IskyTranscript, PrivateChatsShareOneCooldown) {
  Session s("isky-private-cooldown", HostCaseNamed("ISky"), IskyFiles("精确冷却=60\r\n"));
  ASSERT_TRUE(s.Start());
  s.Private("你好", "30001");
  s.Private("你好", "30002");  // another private chat, the same section "0"
  s.Group("你好", "111", "30002");
  EXPECT_EQ(s.TakeSent(), (Sent{"你好呀", "你好呀"}));
}


class TableTranscriptTest : public ::testing::Test {
 protected:
  TableTranscriptTest()
      : s_(std::string("table-") + ::testing::UnitTest::GetInstance()->current_test_info()->name(),
           HostCaseNamed("Table"),
           {{"SayZ.ini", Library({{"你好", "你好呀"}, {"罚", "[踢出][撤回][禁言120]罚"}, {"头", "[头像]"},
                                 {"大", "[大头]"}, {"a&uoS8#N&uoS9#b&uoS8#N&uoS9#c&uoS8#N&uoS9#d", "折行"}})}}) {}

  Host& host() { return s_.host(); }
  std::int32_t Event(const char* name, Address record) {
    const CallResult r = host().CallNumber(name, {record});
    EXPECT_EQ(r.stackSkew, 0) << name;
    return r.number;
  }
  std::int32_t Account(std::int64_t robot, std::int32_t type = 31) {
    return Event("ZOQ_ToTKeyEv", Record(host(), 68).Number(24, robot).Word(60, type).Address());
  }
  // Push kind 0: a channel message; 1: a direct message.
  std::int32_t Guild(std::int32_t kind, const std::string& text) {
    return Event("ZOQ_QGPush", Record(host(), 168).Number(8, 70007).Word(16, 77).Number(24, 40004).Number(36, 50005)
                                   .Number(48, 60006).Number(68, 40005).Number(76, 80008).Word(144, kind)
                                   .Text(152, text).Address());
  }

  Session s_;
};

TEST_F(TableTranscriptTest, TakesTheFirstAccountAndAnswersEveryKindOfMessage) {
  ASSERT_TRUE(s_.Load() && host().Preload(kTableDll));
  const CallResult init = host().CallText("初始化", {std::string("{}"), std::string(kTableKey)});
  EXPECT_EQ(init.text, "{\"sdkv\":\"4.5.3\",\"appname\":\"ZOQ·关键词\"}");
  EXPECT_EQ(host().CallNumber("ZOQ_KyOn").number, 0);
  EXPECT_EQ(s_.Private("你好").number, 0);  // no account taken yet
  EXPECT_EQ(Account(20002, 30), 0);          // another event type takes nothing
  EXPECT_EQ(Account(20001), 0);
  EXPECT_EQ(Account(20002), 0);  // the first account stays
  EXPECT_EQ(Event("ZOQ_Frekey", Record(host(), 128).Number(0, 30001).Number(8, 20002).Text(68, "你好").Address()), 0);
  EXPECT_EQ(s_.Private("你好").number, 1);
  EXPECT_EQ(host().CallNumber("ZOQ_KyFOn").number, 0);
  EXPECT_EQ(s_.Private("你好").number, 0);  // the account is forgotten
}

TEST_F(TableTranscriptTest, ActsOnGuildMessagesAndBreaksLinesOfRecords) {
  ASSERT_TRUE(s_.Start());
  EXPECT_EQ(s_.Private("a\r\nb\nc\rd").number, 1);  // each line break one [N]
  EXPECT_EQ(Guild(0, "罚"), 1);
  EXPECT_EQ(Guild(1, "你好"), 1);
  EXPECT_EQ(s_.Private("罚").number, 1);  // nothing to act on in private
  EXPECT_EQ(s_.TakeCalls(), (std::vector<FakeCall>{
                                TableCall("发送好友消息", {"20001", "30001", "折行", "ptr", "ptr"}),
                                TableCall("禁言频道成员", {"20001", "40004", "60006", "120"}),
                                TableCall("撤回频道消息", {"20001", "40004", "50005", "77"}),
                                TableCall("移除频道成员", {"20001", "40004", "60006", "0"}),
                                TableCall("发送频道消息", {"20001", "40004", "50005", "罚"}),
                                TableCall("发送频道私信消息", {"20001", "40005", "80008", "你好呀"}),
                                TableCall("发送好友消息", {"20001", "30001", "罚", "ptr", "ptr"}),
                            }));
}

// A guild member's avatar: the address in the member's profile, fetched;
// mended: a profile without an address used to be fetched all the same.
TEST_F(TableTranscriptTest, AGuildMembersAvatarComesFromItsProfile) {
  WebServer web;
  web.Serve("/guild/a.png", "guild-avatar");
  const auto profile = [&](const std::string& fields) {
    WriteFile(s_.ApiFolder() + "fakehost.answers", FakeHostAnswerLine("取频道用户资料#3", fields));
  };
  profile("||名字|" + web.base() + "/guild/a.png|c|d|e");
  ASSERT_TRUE(s_.Start());
  EXPECT_EQ(Guild(0, "头"), 1);
  profile("||名字||c");
  EXPECT_EQ(Guild(1, "大"), 0);
  const std::string picture = "[picFile,path=" + s_.DataFile("头像.png") + ",wide=200,high=200,cartoon=false]";
  EXPECT_EQ(s_.TakeCalls(), (std::vector<FakeCall>{TableCall("取频道用户资料", {"20001", "60006", "ptr"}),
                                                   TableCall("发送频道消息", {"20001", "40004", "50005", picture}),
                                                   TableCall("取频道用户资料", {"20001", "60006", "ptr"})}));
  EXPECT_EQ(ReadFile(s_.DataFile("头像.png")), "guild-avatar");
  EXPECT_FALSE(Exists(s_.DataFile("大头.png")));
  EXPECT_EQ(web.Targets(), std::vector<std::string>{"/guild/a.png"});
  // Mended: one of more than 1 MiB was lost; it is a picture (8 MiB at most).
  const std::string large(8 << 20, 'g');
  web.Serve("/guild/b.png", large);
  profile("||名字|" + web.base() + "/guild/b.png|c|d|e");
  EXPECT_EQ(Guild(0, "头"), 1);
  EXPECT_TRUE(ReadFile(s_.DataFile("头像.png")) == large);
}

TEST_F(TableTranscriptTest, NullRecordsNullTextsAndOtherGuildKindsSendNothing) {
  ASSERT_TRUE(s_.Start());
  for (const char* e : {"ZOQ_Frekey", "ZOQ_FrFeSxKey", "ZOQ_QGPush", "ZOQ_ToTKeyEv"}) EXPECT_EQ(Event(e, Address{0}), 0) << e;
  // Every text pointer null: an empty message, which no keyword matches.
  EXPECT_EQ(Event("ZOQ_Frekey", Record(host(), 128).Number(0, 30001).Number(8, 20001).Address()), 0);
  EXPECT_EQ(Event("ZOQ_FrFeSxKey", Record(host(), 120).Number(0, 30001).Number(8, 20001).Number(24, 111).Address()), 0);
  EXPECT_EQ(Event("ZOQ_QGPush", Record(host(), 168).Number(8, 1).Number(48, 2).Address()), 0);
  EXPECT_EQ(Guild(2, "你好"), 0);
  EXPECT_EQ(Guild(7, "你好"), 0);
  EXPECT_TRUE(s_.TakeCalls().empty());
  EXPECT_EQ(s_.Private("你好").number, 1);  // and the plug-in goes on
}

const Files kFiles{{"SayZ.ini", Library({{"你好", "你好呀"}, {"头像", "[头像]"}})},
                   {"admin", "[admin]\r\n仅限群号=开\r\n群号列表=111,333\r\n"}};

std::int32_t Login(Session& s, std::int32_t state, const std::string& account) {
  return s.host().CallNumber("Login", {state, account, 0}).number;
}
// A chat event as the host delivers it: `delivered` 1 for a message.
std::int32_t Chat(Session& s, const char* group, std::int32_t delivered, std::int32_t enterprise) {
  const std::string r(kRobot), o(kOwner), n, t = "你好", g(group);
  if (g.empty()) return s.host().CallNumber("EventPrivateChat", {r, delivered, o, n, t, 0, enterprise}).number;
  return s.host().CallNumber("EventGroupChat", {r, delivered, g, n, o, n, t, n, 0, enterprise}).number;
}

class WxTranscriptTest : public ::testing::TestWithParam<const char*> {};

TEST_P(WxTranscriptTest, StartLoginAnswersAvatarAndLogout) {
  const bool pro = std::string(GetParam()) == "WXpro";
  WebServer web;
  web.Serve("/a.png", "avatar-bytes");
  Session s(std::string("wx-transcript-") + GetParam(), HostCaseNamed(GetParam()), kFiles);
  ASSERT_TRUE(s.Start());
  const FakeCall initApp{"Api.dll", "InitApp", {kWxApp, kWxFile, "1", "0", "9.9", "0"}};
  EXPECT_EQ(s.TakeCalls(), (pro ? std::vector<FakeCall>{} : std::vector<FakeCall>{initApp}));
  EXPECT_EQ(Login(s, 0, "wxid_second"), 0);  // the first account is kept
  EXPECT_EQ(Chat(s, "333", 1, 1), 1);          // an enterprise account's group
  EXPECT_EQ(Chat(s, "111", 2, 0), 0);          // not delivered as a message
  EXPECT_EQ(Chat(s, "222", 1, 0), 0);          // not in the group list
  EXPECT_EQ(Chat(s, "", 0, 0), 0);
  EXPECT_EQ(s.TakeCalls(), (pro ? std::vector<FakeCall>{WxCall(pro, "SendTextMsg_企业", {"333", "你好呀"}, kRobot)}
                                : std::vector<FakeCall>{}));  // basic: not sent
  WriteFile(s.ApiFolder() + "fakehost.answers", FakeHostAnswerLine("GetHeadimgByWxid", web.base() + "/a.png"));
  EXPECT_EQ(s.Private("头像").number, 1);
  EXPECT_EQ(s.TakeCalls(), (std::vector<FakeCall>{
                               WxCall(pro, "GetHeadimgByWxid", {kOwner}, kRobot),
                               WxCall(pro, "SendTextMsg", {kOwner, "[pic=" + s.DataFile("头像.png") + "]"}, kRobot)}));
  EXPECT_EQ(ReadFile(s.DataFile("头像.png")), "avatar-bytes");
  // Logout ends the account; the next login is taken, also after StopUsing.
  EXPECT_EQ(Login(s, 1, ""), 0);
  EXPECT_EQ(Login(s, 0, "wxid_second"), 0);
  EXPECT_EQ(s.Private("你好").number, 1);
  EXPECT_EQ(s.host().CallNumber("StopUsing").number, 0);
  EXPECT_EQ(Login(s, 0, "wxid_third"), 0);
  EXPECT_EQ(s.Private("你好").number, 1);
  EXPECT_EQ(s.TakeCalls(), (std::vector<FakeCall>{WxCall(pro, "SendTextMsg", {kOwner, "你好呀"}, "wxid_second"),
                                                  WxCall(pro, "SendTextMsg", {kOwner, "你好呀"}, "wxid_third")}));
  EXPECT_EQ(s.host().CallNumber("Uninstall").number, 0);
}

INSTANTIATE_TEST_SUITE_P(Editions, WxTranscriptTest, ::testing::Values("WX", "WXpro"));

// Mended: each web request of a reply had a deadline of its own, so four
// against a silent service held the host's thread four times as long; all
// the requests of one message now end by one deadline.
TEST(WxWeb, AMessagesWebRequestsShareOneDeadline) {
  WebServer silent, web;
  silent.Stall(60);
  web.Serve("/t", "fast");
  const std::string at = silent.base();
  Session s("wx-web-deadline", HostCaseNamed("WX"),
            {{"SayZ.ini", Library({{"慢", "[头像][大头][图接口=" + at + "/p.png][文接口=" + at + "/t]"},
                                   {"快", "[文接口=" + web.base() + "/t]"}})}});
  ASSERT_TRUE(s.Start());
  WriteFile(s.ApiFolder() + "fakehost.answers", FakeHostAnswerLine("GetHeadimgByWxid", at + "/a.png"));
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(s.Private("慢").number, 0);  // nothing came: nothing to send
  EXPECT_LT(GetTickCount64() - start, 8000u + 1000u);
  // The next message on the same thread has a budget of its own.
  EXPECT_EQ(s.Private("快").number, 1);
  EXPECT_EQ(s.TakeSent(), Sent{"fast"});
}

// After Initialization a runtime error goes to the host's Error, the
// application name first: here the host says it is professional but keeps
// the basic library, whose SendTextMsg takes one word less.
TEST(WxErrors, ARuntimeErrorReachesTheHostsErrorFunction) {
  Session s("wx-error", HostCaseNamed("WXpro"), kFiles, "wx\\Api.dll");
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(s.Private("你好").stackSkew, 0);
  const std::vector<FakeCall> calls = s.TakeCalls();
  ASSERT_EQ(calls.size(), platform::kStackChecked ? 2u : 1u);  // a word count is told where words are counted
  EXPECT_EQ(calls[0].function, "SendTextMsg");
  if (platform::kStackChecked)
    EXPECT_EQ(calls[1], (FakeCall{"Api.dll", "Error", {kWxApp, kWxFile, "6", "调用DLL命令后发现堆栈错误"}}));
}

// Mended: a host without its Api.dll is not ended; nothing is called.
TEST(WxErrors, WithoutTheLibraryNothingIsSentAndTheHostGoesOn) {
  Session s("wx-no-library", HostCaseNamed("WXpro"), kFiles, "");
  ASSERT_TRUE(s.Start());
  for (int i = 0; i < 2; ++i) EXPECT_EQ(s.Private("你好").number, 1);
  EXPECT_EQ(s.host().CallNumber("StopUsing").number, 0);
}

// Mended: without a folder of its own the library is found by the standard
// search (beside the host's program), not in "\Bin\" of the current drive.
TEST(WxStart, WithoutAPathTheLibraryIsFoundBesideTheProgram) {
  Session s("wx-no-path", HostCaseNamed("WX"), {}, "");
  WriteFile(s.host().folder() + "\\Api.dll", ReadFile(FakeHostFolder() + "\\wx\\Api.dll"));
  ASSERT_TRUE(s.Load());
  const std::string json = "{\"AppName\":\"a\",\"FileName\":\"f\",\"Version\":\"VLW\"}";
  EXPECT_EQ(s.host().CallNumber("Initialization", {std::string(), json}).number, 0);
  EXPECT_EQ(ParseFakeHostLog(ReadFile(s.host().folder() + "\\fakehost.log")),
            (std::vector<FakeCall>{{"Api.dll", "InitApp", {"a", "f", "0", "0", "", "0"}}}));
}

}  // namespace
}  // namespace zoq::testing
