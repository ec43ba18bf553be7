// The ISky host's adapter against its fake message.dll: the rows, the
// operations with logic of their own, the CQ codes and the readers.
#include <windows.h>

#include <functional>

#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

class IskyHostTest : public AdapterTest<IskyHostApi> {
 protected:
  IskyHostTest() : AdapterTest("message.dll") { IskyHostApi::SetAuthCode(-7); }
};

TEST_F(IskyHostTest, EveryDeclaredRowMatchesTheHostsList) {
  ASSERT_TRUE(fake_.loaded());
  EXPECT_EQ(CompareRows(api_.Declarations(), fake_), std::vector<std::string>{});
}

// The operations that place, add or convert arguments: each with the call
// it makes, the auth code first.
TEST_F(IskyHostTest, OperationsPlaceTheirArgumentsAsTheHostTakesThem) {
  fake_.SetAnswer("Api_SendMsg", "5");
  const struct {
    std::function<void(IskyHostApi&)> run;
    FakeCall call;
  } cases[] = {
      {[](IskyHostApi& a) { EXPECT_EQ(a.SendPrivateMessage("200", "m"), 5); },
       Expect("Api_SendMsg", {"-7", "1", "", "200", "m", "1"})},
      {[](IskyHostApi& a) { a.SendGroupMessage("100", "m", 0); }, Expect("Api_SendMsg", {"-7", "2", "100", "", "m", "0"})},
      {[](IskyHostApi& a) { a.SendTempMessage("200", "100", "m"); },
       Expect("Api_SendMsg", {"-7", "3", "100", "200", "m", "1"})},
      {[](IskyHostApi& a) { EXPECT_EQ(a.SendMessage(3, "100", "200", "hi"), 5); },
       Expect("Api_SendMsg", {"-7", "3", "100", "200", "hi", "1"})},
      {[](IskyHostApi& a) { a.MuteMember("100", "200", 60); }, Expect("Api_SetGroupBan", {"-7", "100", "200", "60"})},
      {[](IskyHostApi& a) { a.KickMember("100", "200"); }, Expect("Api_SetGroupKick", {"-7", "100", "200", "0"})},
      {[](IskyHostApi& a) { a.KickMember("100", "200", true); }, Expect("Api_SetGroupKick", {"-7", "100", "200", "1"})},
      {[](IskyHostApi& a) { a.SetGroupCard("100", "200"); }, Expect("Api_SetGroupCard", {"-7", "100", "200", ""})},
      {[](IskyHostApi& a) { a.LeaveGroup("100"); }, Expect("Api_SetGroupLeave", {"-7", "100", "0"})},
      {[](IskyHostApi& a) { a.DismissGroup("100"); }, Expect("Api_SetGroupLeave", {"-7", "100", "1"})},
      {[](IskyHostApi& a) { a.SetGroupSpecialTitle("100", "200", "称号", std::int64_t{1} << 40); },
       Expect("Api_SetGroupSpecialTitle", {"-7", "100", "200", "称号", "1099511627776"})},
      {[](IskyHostApi& a) { a.SetFriendAddRequest("flag", 1); }, Expect("Api_SetFriendAddRequest", {"-7", "flag", "1", ""})},
      // The type before the flag here, the flag first for the host.
      {[](IskyHostApi& a) { a.SetGroupAddRequest(2, "flag", 1); },
       Expect("Api_SetGroupAddRequest", {"-7", "flag", "2", "1", ""})},
  };
  std::vector<FakeCall> expected;
  for (const auto& c : cases) {
    c.run(api_);
    expected.push_back(c.call);
  }
  EXPECT_EQ(fake_.Calls(), expected);
}

TEST_F(IskyHostTest, SendMessageOfAnotherKindSendsNothing) {
  EXPECT_EQ(api_.SendMessage(0, "1", "2", "m"), -1);
  EXPECT_EQ(api_.SendMessage(4, "1", "2", "m"), -1);
  EXPECT_TRUE(fake_.Calls().empty());
}

TEST_F(IskyHostTest, HostIndependentAnswers) {
  EXPECT_EQ(IskyHostApi::GetSdkVersion(), "v2.2021.05.08");
  EXPECT_EQ(IskyHostApi::GetGroupAvatarUrl("00123"), "https://p.qlogo.cn/gh/123/123/100");
  EXPECT_EQ(IskyHostApi::GetGroupAvatarUrl("群"), "https://p.qlogo.cn/gh/0/0/100");
  fake_.SetAnswer("Api_GetLoginQQ", std::nullopt);
  EXPECT_EQ(api_.GetLoginAccount(), "");
  EXPECT_EQ(fake_.Calls(), (std::vector<FakeCall>{Expect("Api_GetLoginQQ", {"-7"})}));
}

TEST_F(IskyHostTest, CqCodesAndTheirEscape) {
  using A = IskyHostApi;
  const std::pair<std::string, std::string> cases[] = {
      {A::EscapeCqText("a,[b]&c"), "a&#44;&#91;b&#93;&amp;c"},
      {A::EscapeCqText("plain\r\n\"x\""), "plain\r\n\"x\""},
      {A::EscapeCqText("&#44;"), "&amp;#44;"},
      {A::XmlCode("<a,b>"), "[CQ:xml,data=<a,b>]"},
      {A::TtsCode("你好"), "[CQ:tts,text=你好]"},
      {A::PokeCode(-5), "[CQ:poke,qq=-5]"},
      {A::GiftCode(12345678901, 3), "[CQ:gift,qq=12345678901,id=3]"},
      {A::ShareCode("u", "t", "", "i"), "[CQ:share,url=u,title=t,image=i]"},
      {A::ShareCode("u", "t", "c"), "[CQ:share,url=u,title=t,content=c]"},
      {A::MusicCode(1, 9), "[CQ:music,type=qq,id=9]"},
      {A::MusicCode(2, 123), "[CQ:music,type=163,id=123]"},
      {A::MusicCode(4, 9), ""},
      {A::CustomMusicCode("u", "a", "t", "c", "i"), "[CQ:music,type=custom,url=u,audio=a,title=t,content=c,image=i]"},
      {A::CustomMusicCode("u", "a", "t"), "[CQ:music,type=custom,url=u,audio=a,title=t]"},
      {A::LocalImageCode(0, "C:\\a.png"), "[CQ:image,file=file:///C:\\a.png]"},
      {A::LocalImageCode(2, "C:\\a.png", 0), "[CQ:image,file=file:///C:\\a.png,type=show,id=0]"},
      {A::LocalImageCode(1, "p", 40000), "[CQ:image,file=file:///p,type=flash,id=40000]"},
      {A::ImageCode(3, "http://x/y", std::nullopt, false), "[CQ:image,file=http://x/y,cache=0]"},
      {A::ImageCode(1, "h", 2, true), "[CQ:image,file=h,type=flash,id=2,cache=1]"},
      {A::LocalVoiceCode("C:\\v.amr", true), "[CQ:record,file=file:///C:\\v.amr,magic=1]"},
      {A::VoiceCode("h", true, true), "[CQ:record,file=h,magic=1,cache=1]"},
      {A::VoiceCode("h"), "[CQ:record,file=h]"},
      {A::VoiceCode("h", std::nullopt, false), "[CQ:record,file=h,cache=0]"},
      {A::FaceCode(14), "[CQ:face,id=14]"},
      {A::MentionCode("12345"), "[CQ:at,qq=12345]"},
      {A::MentionCode(""), "[CQ:at,qq=]"},
      {A::MentionAllCode(), "[CQ:at,qq=all]"},
  };
  for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
}

TEST_F(IskyHostTest, ReadersMapTheDataMembers) {
  fake_.SetAnswer("Api_GetGroupMemberInfo",
                  "{\"data\":{\"group_id\":100,\"user_id\":200,\"nickname\":\"昵称\",\"card\":\"名片\",\"sex\":\"female\","
                  "\"age\":18,\"area\":\"北京\",\"join_time\":86400,\"last_sent_time\":-1,\"level\":\"5\","
                  "\"role\":\"admin\",\"unfriendly\":true,\"title\":\"t\",\"title_expire_time\":4294967296,"
                  "\"card_changeable\":1}}");
  IskyMemberInfo m;
  EXPECT_TRUE(api_.GetGroupMemberInfo("100", "200", m));
  EXPECT_EQ(m.groupId, "100");
  EXPECT_EQ(m.userId, "200");
  EXPECT_EQ(m.nickname, "昵称");
  EXPECT_EQ(m.card, "名片");
  EXPECT_EQ(m.sex, 1);
  EXPECT_EQ(m.age, 18);
  EXPECT_EQ(m.area, "北京");
  EXPECT_EQ(m.joinTime, (IskyDateTime{1970, 1, 2, 8, 0, 0}));
  EXPECT_EQ(m.lastSentTime, (IskyDateTime{1970, 1, 1, 7, 59, 59}));
  EXPECT_EQ(m.level, "5");
  EXPECT_EQ(m.role, 2);
  EXPECT_TRUE(m.unfriendly);
  EXPECT_EQ(m.titleExpireTime, (IskyDateTime{1970, 1, 1, 8, 0, 0}));  // the low 32 bits
  EXPECT_TRUE(m.cardChangeable);

  // Sex and role compare exactly.
  const std::pair<std::string, std::pair<int, int>> words[] = {
      {"\"sex\":\"male\",\"role\":\"owner\"", {0, 3}},
      {"\"sex\":\"Male\",\"role\":\"Owner\"", {-1, 1}},
      {"\"sex\":\"Female\",\"role\":\"member\"", {-1, 1}},
  };
  for (const auto& [members, want] : words) {
    fake_.SetAnswer("Api_GetGroupMemberInfo", "{\"data\":{\"group_id\":1,\"user_id\":2," + members + "}}");
    EXPECT_TRUE(api_.GetGroupMemberInfo("1", "2", 0, m));
    EXPECT_EQ(std::make_pair(m.sex, m.role), want) << members;
  }

  fake_.SetAnswer("Api_GetGroupInfo", "{\"data\":{\"group_id\":7,\"group_name\":\"群\",\"group_create_time\":0,"
                                      "\"group_level\":5000000000,\"member_count\":3,\"max_member_count\":200}}");
  IskyGroupInfo g;
  EXPECT_TRUE(api_.GetGroupInfo("7", g));
  EXPECT_EQ(g.groupName, "群");
  EXPECT_EQ(g.createTime, (IskyDateTime{1970, 1, 1, 8, 0, 0}));
  EXPECT_EQ(g.groupLevel, 5000000000);
  EXPECT_EQ(g.maxMemberCount, 200);

  fake_.SetAnswer("Api_GetStrangerInfo", "{\"data\":{\"user_id\":9,\"nickname\":\"n\",\"sex\":\"x\",\"qid\":\"q\"}}");
  IskyStrangerInfo st;
  EXPECT_TRUE(api_.GetStrangerInfo("9", st));
  EXPECT_EQ(st.sex, -1);
  EXPECT_EQ(st.qid, "q");

  fake_.SetAnswer("Api_GetVipInfo", "{\"data\":{\"user_id\":0,\"nickname\":\"v\",\"level_speed\":2.75}}");
  IskyVipInfo v;
  EXPECT_FALSE(api_.GetVipInfo("0", v));  // a user id of 0
  EXPECT_EQ(v.nickname, "v");             // though the record was filled
  EXPECT_EQ(v.levelSpeed, 2.0);           // read as an integer
  fake_.SetAnswer("Api_GetVipInfo", "not json");
  v.nickname = "kept";
  EXPECT_FALSE(api_.GetVipInfo("0", v));
  EXPECT_EQ(v.nickname, "kept");

  // Lists: in array order, after the caller's elements are gone.
  std::vector<IskyFriend> friends{{"old", "", ""}};
  fake_.SetAnswer("Api_GetFriendList", "{\"data\":[{\"user_id\":1,\"nickname\":\"a\"},{\"user_id\":2,\"remark\":\"r\"},"
                                       "{\"user_id\":3}]}");
  EXPECT_EQ(api_.GetFriendList(friends), 3);
  EXPECT_EQ(friends, (std::vector<IskyFriend>{{"1", "a", ""}, {"2", "", "r"}, {"3", "", ""}}));
  fake_.SetAnswer("Api_GetFriendList", "{\"status\":\"ok\"}");
  EXPECT_EQ(api_.GetFriendList(friends), 0);
  EXPECT_TRUE(friends.empty());
  fake_.SetAnswer("Api_GetGroupMemberList", "{\"data\":[{\"group_id\":5,\"user_id\":6,\"role\":\"owner\"}]}");
  std::vector<IskyMemberInfo> members;
  EXPECT_EQ(api_.GetGroupMemberList("5", members), 1);
  EXPECT_EQ(members.at(0).role, 3);
  fake_.SetAnswer("Api_GetGroupList", "");
  std::vector<IskyGroupInfo> groups(2);
  EXPECT_EQ(api_.GetGroupList(groups), 0);
  EXPECT_TRUE(groups.empty());

  // The frame information sits at the top level, not in "data".
  IskyFrameInfo frame;
  fake_.SetAnswer("Api_GetGocqInfo", "{\"name\":\"x\"}");
  EXPECT_TRUE(api_.GetGocqInfo(frame));
  EXPECT_EQ(frame.name, "x");
  EXPECT_EQ(frame.version, "");
  fake_.SetAnswer("Api_GetGocqInfo", "{\"data\":{\"name\":\"x\",\"version\":\"1\"}}");
  EXPECT_TRUE(api_.GetGocqInfo(frame));
  EXPECT_EQ(frame.name, "");
  IskyVersionInfo version;
  fake_.SetAnswer("Api_GetGocqInfo", "{\"runtime_os\":\"windows\",\"version\":2}");
  EXPECT_TRUE(api_.GetVersionInfo(version));
  EXPECT_EQ(version.runtime_os, "windows");
  EXPECT_EQ(version.version, "2");
  fake_.SetAnswer("Api_GetGocqInfo", std::nullopt);
  EXPECT_FALSE(api_.GetVersionInfo(version));
  EXPECT_EQ(version.runtime_os, "windows");
}

// The options default to 1 and go to the host after the ids.
TEST_F(IskyHostTest, ReadersPassTheirOptions) {
  IskyStrangerInfo st;
  IskyGroupInfo g;
  IskyMemberInfo m;
  api_.GetStrangerInfo("9", st);
  api_.GetGroupInfo("7", 0, g);
  api_.GetGroupMemberInfo("7", "9", m);
  EXPECT_EQ(fake_.Calls(), (std::vector<FakeCall>{Expect("Api_GetStrangerInfo", {"-7", "9", "1"}),
                                                  Expect("Api_GetGroupInfo", {"-7", "7", "0"}),
                                                  Expect("Api_GetGroupMemberInfo", {"-7", "7", "9", "1"})}));
}

TEST(IskyDates, UnixTimesShowAtUtcPlusEight) {
  EXPECT_EQ(IskyHostApi::UnixTimeToDate(0), (IskyDateTime{1970, 1, 1, 8, 0, 0}));
  EXPECT_EQ(IskyHostApi::UnixTimeToDate(86400), (IskyDateTime{1970, 1, 2, 8, 0, 0}));
  EXPECT_EQ(IskyHostApi::UnixTimeToDate(-86400 * 365), (IskyDateTime{1969, 1, 1, 8, 0, 0}));
  EXPECT_EQ(IskyHostApi::UnixTimeToDate(2147483647), (IskyDateTime{2038, 1, 19, 11, 14, 7}));
}

// Mended: message.dll is never taken from the search path. One planted in
// the current folder is not loaded, and without it every operation gives
// its empty result.
TEST(IskyBinding, AMessageDllOnTheSearchPathIsNotLoaded) {
  const std::string planted = FreshTestFolder();
  ASSERT_TRUE(CopyFileA((FakeHostBuildFolder() + "\\message.dll").c_str(), (planted + "\\message.dll").c_str(), FALSE));
  ASSERT_TRUE(SetCurrentDirectoryA(planted.c_str()));
  IskyHostApi api;
  EXPECT_EQ(api.GetLoginAccount(), "");
  EXPECT_EQ(api.SendGroupMessage("1", "m"), -1);
  IskyFrameInfo frame;
  EXPECT_FALSE(api.GetGocqInfo(frame));
  std::vector<IskyFriend> friends;
  EXPECT_EQ(api.GetFriendList(friends), 0);
  api.MuteMember("1", "2", 3);
  EXPECT_EQ(GetModuleHandleA("message.dll"), nullptr);
}

// Mended: a function the DLL lacks is not called; its operation gives the
// empty result.
TEST(IskyBinding, AFunctionTheDllLacksGivesTheEmptyResult) {
  FakeHostDll fake("isky-bare\\message.dll", FreshTestFolder());
  ASSERT_TRUE(fake.loaded());
  fake.SetAnswer("Api_GetLoginQQ", "10001");
  IskyHostApi::SetAuthCode(3);
  IskyHostApi api;
  EXPECT_EQ(api.SendPrivateMessage("1", "m"), -1);
  EXPECT_EQ(api.GetPath(), "");
  IskyMemberInfo m;
  EXPECT_FALSE(api.GetGroupMemberInfo("1", "2", m));
  api.KickMember("1", "2");
  EXPECT_EQ(api.GetLoginAccount(), "10001");
  EXPECT_EQ(fake.Calls(), (std::vector<FakeCall>{Call("message.dll", "Api_GetLoginQQ", {"3"})}));
}

}  // namespace
}  // namespace zoq::testing
