// The ISky host's adapter against its fake message.dll: the operations with
// logic of their own, the CQ codes and the readers of the host's answers.
#include <functional>

#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

class IskyHostTest : public AdapterTest<IskyHostApi> {
 protected:
  IskyHostTest() : AdapterTest("message.dll") { IskyHostApi::SetAuthCode(-7); }
};

// The operations that place, add or convert arguments: each with the call
// it makes, the auth code first.
TEST_F(IskyHostTest, OperationsPlaceTheirArgumentsAsTheHostTakesThem) {
  fake_.SetAnswer("Api_SendMsg", "5");
  IskyStrangerInfo st;
  IskyGroupInfo g;
  IskyMemberInfo m;
  const struct {
    std::function<void(IskyHostApi&)> run;
    FakeCall call;
  } cases[] = {
      {[](IskyHostApi& a) { EXPECT_EQ(a.SendPrivateMessage("200", "m"), 5); },
       Expect("Api_SendMsg", {"-7", "1", "", "200", "m", "1"})},
      {[](IskyHostApi& a) { a.SendGroupMessage("100", "m", 0); }, Expect("Api_SendMsg", {"-7", "2", "100", "", "m", "0"})},
      {[](IskyHostApi& a) { EXPECT_EQ(a.SendMessage(3, "100", "200", "hi"), 5); },
       Expect("Api_SendMsg", {"-7", "3", "100", "200", "hi", "1"})},
      {[](IskyHostApi& a) { a.LeaveGroup("100"); }, Expect("Api_SetGroupLeave", {"-7", "100", "0"})},
      {[](IskyHostApi& a) { a.DismissGroup("100"); }, Expect("Api_SetGroupLeave", {"-7", "100", "1"})},
      // The type before the flag here, the flag first for the host.
      {[](IskyHostApi& a) { a.SetGroupAddRequest(2, "flag", 1); },
       Expect("Api_SetGroupAddRequest", {"-7", "flag", "2", "1", ""})},
      // The readers' options default to 1 and go after the ids.
      {[&](IskyHostApi& a) { a.GetStrangerInfo("9", st); }, Expect("Api_GetStrangerInfo", {"-7", "9", "1"})},
      {[&](IskyHostApi& a) { a.GetGroupInfo("7", 0, g); }, Expect("Api_GetGroupInfo", {"-7", "7", "0"})},
      {[&](IskyHostApi& a) { a.GetGroupMemberInfo("7", "9", m); }, Expect("Api_GetGroupMemberInfo", {"-7", "7", "9", "1"})},
  };
  std::vector<FakeCall> expected;
  for (const auto& c : cases) {
    c.run(api_);
    expected.push_back(c.call);
  }
  EXPECT_EQ(api_.SendMessage(4, "1", "2", "m"), -1);  // another kind sends nothing
  EXPECT_EQ(fake_.Calls(), expected);
  EXPECT_EQ(IskyHostApi::GetGroupAvatarUrl("00123"), "https://p.qlogo.cn/gh/123/123/100");
  EXPECT_EQ(IskyHostApi::GetGroupAvatarUrl("群"), "https://p.qlogo.cn/gh/0/0/100");
}

TEST(IskyCqCodes, CodesAndTheirEscape) {
  using A = IskyHostApi;
  const std::pair<std::string, std::string> cases[] = {
      {A::EscapeCqText("a,[b]&c"), "a&#44;&#91;b&#93;&amp;c"},
      {A::EscapeCqText("plain\r\n\"x\""), "plain\r\n\"x\""},
      {A::EscapeCqText("&#44;"), "&amp;#44;"},
      {A::ShareCode("u", "t", "", "i"), "[CQ:share,url=u,title=t,image=i]"},
      {A::MusicCode(2, 123), "[CQ:music,type=163,id=123]"},
      {A::MusicCode(4, 9), ""},
      {A::CustomMusicCode("u", "a", "t"), "[CQ:music,type=custom,url=u,audio=a,title=t]"},
      {A::LocalImageCode(2, "C:\\a.png", 0), "[CQ:image,file=file:///C:\\a.png,type=show,id=0]"},
      {A::ImageCode(3, "http://x/y", std::nullopt, false), "[CQ:image,file=http://x/y,cache=0]"},
      {A::ImageCode(1, "h", 2, true), "[CQ:image,file=h,type=flash,id=2,cache=1]"},
      {A::LocalVoiceCode("C:\\v.amr", true), "[CQ:record,file=file:///C:\\v.amr,magic=1]"},
      {A::VoiceCode("h", std::nullopt, false), "[CQ:record,file=h,cache=0]"},
  };
  for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
}

TEST_F(IskyHostTest, ReadersMapTheDataMembers) {
  // Sex and role compare exactly; times are the low 32 bits.
  const std::pair<std::string, std::pair<int, int>> words[] = {
      {"\"sex\":\"female\",\"role\":\"admin\",\"title_expire_time\":4294967296", {1, 2}},
      {"\"sex\":\"male\",\"role\":\"owner\"", {0, 3}},
      {"\"sex\":\"Male\",\"role\":\"Owner\"", {-1, 1}},
  };
  IskyMemberInfo m;
  for (const auto& [members, want] : words) {
    fake_.SetAnswer("Api_GetGroupMemberInfo", "{\"data\":{\"group_id\":1,\"user_id\":2," + members + "}}");
    EXPECT_TRUE(api_.GetGroupMemberInfo("1", "2", 0, m));
    EXPECT_EQ(std::make_pair(m.sex, m.role), want) << members;
    EXPECT_EQ(m.titleExpireTime, (IskyDateTime{1970, 1, 1, 8, 0, 0}));
  }
  fake_.SetAnswer("Api_GetVipInfo", "{\"data\":{\"user_id\":0,\"nickname\":\"v\",\"level_speed\":2.75}}");
  IskyVipInfo v;
  EXPECT_FALSE(api_.GetVipInfo("0", v));  // a user id of 0
  EXPECT_EQ(v.nickname, "v");             // though the record was filled
  EXPECT_EQ(v.levelSpeed, 2.0);           // read as an integer

  // Lists: in array order, after the caller's elements are gone.
  std::vector<IskyFriend> friends{{"old", "", ""}};
  fake_.SetAnswer("Api_GetFriendList", "{\"data\":[{\"user_id\":1,\"nickname\":\"a\"},{\"user_id\":2,\"remark\":\"r\"}]}");
  EXPECT_EQ(api_.GetFriendList(friends), 2);
  EXPECT_EQ(friends, (std::vector<IskyFriend>{{"1", "a", ""}, {"2", "", "r"}}));

  // The frame information sits at the top level, not in "data"; no answer
  // leaves the record as it was.
  IskyFrameInfo frame;
  fake_.SetAnswer("Api_GetGocqInfo", "{\"name\":\"x\"}");
  EXPECT_TRUE(api_.GetGocqInfo(frame));
  fake_.SetAnswer("Api_GetGocqInfo", std::nullopt);
  EXPECT_FALSE(api_.GetGocqInfo(frame));
  EXPECT_EQ(frame, (IskyFrameInfo{"x", ""}));
}

TEST(IskyDates, UnixTimesShowAtUtcPlusEight) {
  EXPECT_EQ(IskyHostApi::UnixTimeToDate(0), (IskyDateTime{1970, 1, 1, 8, 0, 0}));
  EXPECT_EQ(IskyHostApi::UnixTimeToDate(-86400 * 365), (IskyDateTime{1969, 1, 1, 8, 0, 0}));
  EXPECT_EQ(IskyHostApi::UnixTimeToDate(2147483647), (IskyDateTime{2038, 1, 19, 11, 14, 7}));
}

}  // namespace
}  // namespace zoq::testing
