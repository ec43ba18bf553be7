// The WeChat-style host's adapter against the two editions of its fake
// Api.dll: the basic one in <folder>\Bin\, the professional one in
// <folder>\Bin\Bin\, as the host lays them out; and the core's use of it.
#include <functional>

#include "core/hosts.hpp"
#include "core/program.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

constexpr const char* kApp = "应用";
constexpr const char* kFile = "host.exe";
constexpr const char* kRobot = "wxid_robot";

class WxHostTest : public ::testing::Test {
 protected:
  std::string InitJson(const std::string& edition, const std::string& more = {}) const {
    std::string path = folder_;  // as JSON text
    for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 2)) path.insert(at, "\\");
    return "{\"AppName\":\"" + std::string(kApp) + "\",\"FileName\":\"" + kFile + "\",\"Version\":\"" + edition +
           "\",\"path\":\"" + path + "\"" + more + "}";
  }
  // A fresh adapter (its edition never goes back) started for `edition`.
  WxHostApi Started(const std::string& edition) {
    WxHostApi api;
    api.InitApp(InitJson(edition));
    basic_.Reset();
    return api;
  }
  WxHostApi Basic() { return Started("VLW"); }
  WxHostApi Pro() { return Started("VLW_Pro"); }
  FakeHostDll& Edition(const WxHostApi& api) { return api.ProMode() == 1 ? pro_ : basic_; }
  // A call with the identity pair first.
  static FakeCall Expect(const std::string& function, std::vector<std::string> args) {
    args.insert(args.begin(), {kFile, kApp});
    return Call("Api.dll", function, std::move(args));
  }

  std::string folder_ = FreshTestFolder();
  FakeHostDll basic_{"wx\\Api.dll", folder_ + "\\Bin"};
  FakeHostDll pro_{"wx-pro\\Api.dll", folder_ + "\\Bin\\Bin"};
};

TEST_F(WxHostTest, EachEditionSetsItsModeFolderAndStart) {
  const struct {
    const char* edition;
    std::int32_t proMode;
    bool hostInitApp;   // the basic edition's InitApp is called
    const char* below;  // the first folder below the host's: "" none
  } cases[] = {{"VLW", 0, true, "\\Bin\\"},
               {"VLW_Pro", 1, false, "\\Bin\\Bin\\"},
               {"VLW_Max", 1, false, "\\Bin\\Bin\\"},
               {"vlw_pro", 0, false, ""},
               {"", 0, false, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.edition);
    basic_.Reset();
    basic_.SetAnswer("InitApp", "7");
    WxHostApi api;
    EXPECT_EQ(api.InitApp(InitJson(c.edition, ",\"LogOutput\":3,\"P_state\":-1,\"P_update\":4294967297,\"F_Version\":\"v1/2\"")),
              c.hostInitApp ? 7 : 0);
    EXPECT_EQ(api.ProMode(), c.proMode);
    EXPECT_EQ(api.Identity().AppName, kApp);
    EXPECT_EQ(api.Identity().FileName, kFile);
    EXPECT_EQ(api.FirstFolder(), *c.below ? folder_ + c.below : std::string());
    std::vector<FakeCall> expected;
    if (c.hostInitApp) expected.push_back(Call("Api.dll", "InitApp", {kApp, kFile, "3", "-1", "v1/2", "1"}));
    EXPECT_EQ(basic_.Calls(), expected);
  }
  // The professional mode stays; numbers given as texts are 0.
  WxHostApi api = Pro();
  api.InitApp("not json");
  api.InitApp(InitJson("VLW", ",\"LogOutput\":\"3\",\"P_state\":2"));
  EXPECT_EQ(api.ProMode(), 1);
  EXPECT_EQ(basic_.Calls(), std::vector<FakeCall>{Call("Api.dll", "InitApp", {kApp, kFile, "0", "2", "", "0"})});
}

// One representative of each rule, in both editions: the call made, or none.
TEST_F(WxHostTest, TheRobotArgumentFollowsEachRuleInBothEditions) {
  const struct {
    const char* rule;
    std::function<void(WxHostApi&)> operation;
    std::vector<FakeCall> basic, pro;
  } cases[] = {
      {"pair", [](WxHostApi& a) { a.OnTopContact(kRobot, "wxid_c"); },
       {Expect("OnTopContact", {"wxid_c"})}, {Expect("OnTopContact", {kRobot, "wxid_c"})}},
      {"pro only", [](WxHostApi& a) { EXPECT_EQ(a.GetGroupcardByWxid(kRobot, "g", "m"), ""); },
       {}, {Expect("GetGroupcardByWxid", {kRobot, "g", "m"})}},
      {"always", [](WxHostApi& a) { EXPECT_EQ(a.获取微信登录时长(kRobot), ""); },
       {Expect("获取微信登录时长", {kRobot})}, {Expect("获取微信登录时长", {kRobot})}},
      {"fallback", [](WxHostApi& a) { std::vector<WxFriend> l; a.GetFriendlist2(kRobot, l, 9); },
       {Expect("GetFriendlist", {"9"})}, {Expect("GetFriendlist2", {kRobot, "9"})}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    for (const bool pro : {false, true}) {
      WxHostApi api = pro ? Pro() : Basic();
      pro_.Reset();
      c.operation(api);
      EXPECT_EQ(basic_.Calls(), pro ? std::vector<FakeCall>{} : c.basic);
      EXPECT_EQ(pro_.Calls(), pro ? c.pro : std::vector<FakeCall>{});
    }
  }
}

// Mended: an enterprise flag other than 0 and 1 sent a plain message; the
// account chooser asked for avatars with the (still empty) robot account.
TEST_F(WxHostTest, TheCoreSendsByTheEnterpriseFlagAndAsksAvatarsForTheRightRobot) {
  ProgramStart(folder_);
  Hosts().wx.InitApp(InitJson("VLW_Pro"));
  const HostProfile& wx = HostProfileOf(kHostWx);
  MessageRecord record{MessageKind::Group, "g@chatroom", "wxid_f", "hi"};
  for (const std::int32_t flag : {0, 1, 2, -1}) {
    record.enterprise = flag;
    wx.send(Hosts(), record, "m");
  }
  wx.avatarAddress(Hosts(), "wxid_chosen");  // before an account is taken: the chooser
  Plugin().SetRobotAccount(kRobot, true);
  wx.avatarAddress(Hosts(), kRobot);    // the settings window
  wx.avatarAddress(Hosts(), "wxid_f");  // a sender, for a reply
  EXPECT_EQ(pro_.Calls(), (std::vector<FakeCall>{Expect("SendTextMsg", {"", "g@chatroom", "m"}),
                                                 Expect("SendTextMsg_企业", {"", "g@chatroom", "m"}),
                                                 Expect("GetHeadimgByWxid", {"wxid_chosen", "wxid_chosen"}),
                                                 Expect("GetHeadimgByWxid", {kRobot, kRobot}),
                                                 Expect("GetHeadimgByWxid", {kRobot, "wxid_f"})}));
  ProgramExit();
}

TEST(WxBase64, PadsTheLastGroup) {
  const std::pair<std::string, std::string> cases[] = {{"", ""},         {"f", "Zg=="},     {"fo", "Zm8="},
                                                       {"foo", "Zm9v"},  {"foob", "Zm9vYg=="}, {std::string("\xff\xfe\x00\x01", 4), "//4AAQ=="}};
  for (const auto& [bytes, text] : cases) EXPECT_EQ(WxHostApi::Base64Encode(bytes), text) << text;
}

// Sends that reorder or drop arguments, cards through SendLinkMsg, and the
// lists of wxids joined for the host.
TEST_F(WxHostTest, OperationsThatShapeTheirArguments) {
  for (WxHostApi api : {Basic(), Pro()}) {
    const bool pro = api.ProMode() == 1;
    Edition(api).SetAnswer("BuildingGroup", "5");
    api.SendGroupMsgAndAtByByteHex(kRobot, "a", "b", "c", "d", "e");
    api.SendLinkMsg_企业(kRobot, "a", "b", "c", "d", "e");
    api.SendLinkCard(kRobot, "wxid_f", "t", "d", "p", "u");
    api.SendMusicCard(kRobot, "wxid_f", "t", "d", "u", "ignored", "p");
    EXPECT_EQ(api.BuildingGroup(kRobot, {"a"}), -1);
    EXPECT_EQ(api.BuildingGroup(kRobot, {"a", "", "b|c"}), 5);
    api.邀请好友入群_企业(kRobot, "g", {"a", "b", "c"});
    const auto robot = [&](std::vector<std::string> args) {
      if (pro) args.insert(args.begin(), kRobot);
      return args;
    };
    std::vector<FakeCall> expected{Expect("SendGroupMsgAndAtByByteHex", robot({"a", "b", "c", "e"}))};
    if (pro) expected.push_back(Expect("SendLinkMsg_企业", {kRobot, "a", "e", "d", "b", "c"}));
    expected.push_back(Expect("SendLinkMsg", robot({"wxid_f", WxHostApi::LinkCard("t", "d", "p", "u")})));
    expected.push_back(Expect("SendLinkMsg", robot({"wxid_f", WxHostApi::MusicCard("t", "d", "u", "p")})));
    expected.push_back(Expect("BuildingGroup", robot({"a||b|c"})));
    if (pro) expected.push_back(Expect("邀请好友入群_企业", {kRobot, "g", "a,b,c"}));
    EXPECT_EQ(Edition(api).Calls(), expected);
  }
}

TEST(WxCards, PlaceholdersAreReplacedInTurn) {
  const std::string link = WxHostApi::LinkCard("T[des]", "D[title]", "<&", "");
  EXPECT_NE(link.find("<title>TD[title]</title>"), std::string::npos);  // des goes into the title too
  EXPECT_NE(link.find("<des>D[title]</des>"), std::string::npos);       // a later value stays as it is
  EXPECT_NE(link.find("<thumburl><&</thumburl>"), std::string::npos);    // not escaped
  EXPECT_NE(WxHostApi::MusicCard("t", "d", "u", "p").find("\t\t<url>u</url>\r\n\t\t<lowurl />\r\n\t\t<thumburl>p</thumburl>"),
            std::string::npos);
}

// The readers of the host's answers, one of each kind: records appended from
// a JSON list, a list replaced, a record below "data", fields cut out of an
// answer that is not parsed, a member list with its head.
TEST_F(WxHostTest, AnswersAreReadIntoRecords) {
  WxHostApi pro = Pro(), basic = Basic();
  pro_.SetAnswer("取登录账号列表",
                 R"({"data":[{"wxid":"wxid_a","username":"甲","wx_num":"a1","wx_headimgurl":"h",)"
                 R"("Enterprise wechat":1,"Enterprise wechat clientId":4294967302},{"wxid":"wxid_b","Enterprise wechat":"1"}]})");
  std::vector<WxAccountRecord> accounts{{"kept"}};
  EXPECT_EQ(pro.GetAccountList(accounts).substr(0, 9), R"({"data":[)");  // the host's raw answer
  EXPECT_EQ(accounts, (std::vector<WxAccountRecord>{{"kept"}, {"wxid_a", "甲", "a1", "h", 1, 6}, {"wxid_b"}}));
  EXPECT_EQ(basic.GetAccountList(accounts), "");  // nothing in the basic edition
  const std::string two = R"({"friend_list":[{"wxid":"f1","wx_num":"n","nickname":"昵\"称","note":"r"},{"wxid":"f2"}]})";
  basic_.SetAnswer("GetFriendlist", two);
  std::vector<WxFriend> friends{{"a"}};
  EXPECT_EQ(basic.GetFriendlist(kRobot, friends, 0), 3);
  EXPECT_EQ(friends, (std::vector<WxFriend>{{"a"}, {"f1", "n", "昵\"称", "r"}, {"f2"}}));
  basic_.SetAnswer("获取朋友圈", R"({"pyq_list":[{"username":"u","nickname":"昵","pyq_id":7,"object":"<x/>"},{}]})");
  std::vector<WxMomentItem> moments{{"old"}, {"old"}, {"old"}};
  basic.获取朋友圈(kRobot, "", 5, moments);
  EXPECT_EQ(moments, (std::vector<WxMomentItem>{{"u", "昵", "", "<x/>"}, {}}));  // strings only
  basic_.SetAnswer("GetGroupMember",
                   R"({"group_wxid":"g","group_name":"名\"字","count":5,"owner_nickname":"主","member_list":[)"
                   R"({"wxid":"m1","nickname":"nn","sex":"1"},{"wxid":"m2","sex":2}]})");
  const WxGroupMemberList members = basic.GetGroupMember(kRobot, "g", 3);
  EXPECT_EQ(members.group_name, "名\\");
  EXPECT_EQ(members.count, 5);
  EXPECT_EQ(members.member_list, (std::vector<WxGroupMember>{{"m1", "", "", "nn"}, {"m2", "", "", "", "", "", "", "", 2}}));
  // An account search as the host answers it: each field cut by its key, wherever it stands.
  basic_.SetAnswer("SearchAccount",
                   R"({"status":2,"status_desc":"找到","from_wxid":"wxid_x9k2","from_nickname":"小\"明","sex":1,)"
                   R"("v1":"v3_020b3826fd0301000000@stranger","v2":"v4_000b708f0b04@stranger","signature":"签名 1",)"
                   R"("headimgurl":"http://wx.qlogo.cn/mmhead/ver_1/a/132","province":"Guangdong","city":"Shenzhen",)"
                   R"("country":"CN"})");
  EXPECT_EQ(basic.SearchAccount(kRobot, "x9k2"),
            (WxSearchResult{"wxid_x9k2", "小\\", "http://wx.qlogo.cn/mmhead/ver_1/a/132", "v3_020b3826fd0301000000@stranger",
                            "v4_000b708f0b04@stranger", 1, "CN", "Shenzhen", "Guangdong", "签名 1", 2, "找到"}));
  // Mended: the number is read right after its key, also as the last member.
  EXPECT_EQ(std::make_tuple(NumberField(R"({"a":"x","sex":2})", "sex"), NumberField(R"({"sex":"2"})", "sex"),
                            NumberField(R"({"sex" :2})", "sex")),
            std::make_tuple(2, 0, 0));
}

// Mended: every overlapping entry was copied before it was read: 40,000
// braces took half a minute and 790 MB, 64,000 threw std::bad_alloc.
TEST(WxMentions, EveryEntryIsReadInTheTextsOwnOrder) {
  const std::pair<std::string, WxAtUser> users[] = {
      {R"({"wxid":"a","nickname":"A"},{"wxid":"b","nickname":"B"})", {"b", "B"}},  // the last entry
      {R"({"from_wxid":"x","wxid":"y"})", {"x", ""}},
      {"{\"wxid\":\"a\x81}\"}", {"a\x81}", ""}},  // a brace inside a GBK character ends nothing
      {std::string(64000, '{') + R"("wxid":"w"})", {"w", ""}},
      {"no entry", {}},
  };
  for (const auto& [message, user] : users) EXPECT_EQ(WxHostApi::ParseAtList(message), user) << message.substr(0, 40);
  const std::pair<std::string, std::vector<WxAtUserItem>> lists[] = {
      {R"({"msg":"@甲 @乙","atuserlist":[{"wxid":"w1","nickname":"甲","position_from":"0","position_to":"3"},)"
       R"({"wxid":"w2","nickname":"乙","position_from":4,"position_to":7}]})",
       {{"w1", "甲", 0, 3}, {"w2", "乙", 0, 0}}},  // numbers unquoted: 0
      {R"({"atuserlist":[]})", {{}}},  // one empty entry
      {R"({"atuserlist":[{"wxid":"w","nickname":"a{b"}]})", {{"w", "a{b"}, {}}},  // the rest of that entry
      {"\"atuserlist\":[{" + std::string(64000, '{') + "}]", std::vector<WxAtUserItem>(64001)},
  };
  for (const auto& [text, want] : lists) {
    std::vector<WxAtUserItem> got{{"kept"}};  // appended to
    EXPECT_EQ(WxHostApi::ParseAtUserList(text, got), static_cast<std::int32_t>(want.size() + 1));
    EXPECT_TRUE(std::equal(got.begin() + 1, got.end(), want.begin(), want.end())) << text.substr(0, 40);
  }
}

}  // namespace
}  // namespace zoq::testing
