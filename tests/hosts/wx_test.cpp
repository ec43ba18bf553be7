// The WeChat-style host's adapter against the two editions of its fake
// Api.dll: the basic one in <folder>\Bin\, the professional one in
// <folder>\Bin\Bin\, as the host lays them out.
#include <functional>
#include <map>
#include <set>

#include "hosts/adapters.hpp"
#include "platform/modules.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

using hosts::Int;
using hosts::Text;

constexpr const char* kApp = "应用";
constexpr const char* kFile = "host.exe";
constexpr const char* kRobot = "wxid_robot";

// JSON text of a Windows path.
std::string JsonPath(const std::string& path) {
  std::string out;
  for (char c : path) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

class WxHostTest : public ::testing::Test {
 protected:
  std::string InitJson(const std::string& edition, const std::string& more = {}) const {
    return "{\"AppName\":\"" + std::string(kApp) + "\",\"FileName\":\"" + kFile + "\",\"Version\":\"" + edition +
           "\",\"path\":\"" + JsonPath(folder_) + "\"" + more + "}";
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

// Each edition's library exports what the rows declare for that edition,
// with the same kinds, and nothing else; a row of every edition is exported
// by at least one of them (the basic edition alone has InitApp, ...).
TEST_F(WxHostTest, EveryDeclaredRowMatchesTheHostsList) {
  ASSERT_TRUE(basic_.loaded() && pro_.loaded());
  const hosts::RowDeclarations rows = WxHostApi().Declarations();
  std::vector<std::string> differences;
  std::map<std::string, int> everyEditionFound;
  for (const auto& [edition, fake] : {std::pair{hosts::kBasicEdition, &basic_}, std::pair{hosts::kProEdition, &pro_}}) {
    const auto functions = fake->Functions();
    const std::map<std::string, std::string> exported(functions.begin(), functions.end());
    std::set<std::string> declared;
    for (const hosts::RowDeclaration& row : rows) {
      if (!row.edition.empty() && row.edition != edition) continue;
      const auto it = exported.find(row.function);
      if (it == exported.end()) {
        if (!row.edition.empty()) differences.push_back(std::string(edition) + ": no export " + row.function);
        continue;
      }
      declared.insert(row.function);
      if (row.edition.empty()) ++everyEditionFound[row.function];
      if (it->second != row.kinds + " " + row.result)
        differences.push_back(std::string(edition) + ": " + row.function + " declared " + row.kinds + " " +
                              row.result + ", exported " + it->second);
    }
    for (const auto& [name, signature] : exported)
      if (!declared.count(name)) differences.push_back(std::string(edition) + ": " + name + " declared by no row");
  }
  for (const hosts::RowDeclaration& row : rows)
    if (row.edition.empty() && !everyEditionFound.count(row.function))
      differences.push_back(row.function + ": in neither edition");
  EXPECT_EQ(differences, std::vector<std::string>{});
  EXPECT_GT(rows.size(), 60u);
}


struct EditionCase {
  const char* edition;
  std::int32_t proMode;
  bool hostInitApp;      // the basic edition's InitApp is called
  const char* below;     // the first folder below the host's: "" none
};

TEST_F(WxHostTest, EachEditionSetsItsModeFolderAndStart) {
  const EditionCase cases[] = {{"VLW", 0, true, "\\Bin\\"},
                               {"VLW_Pro", 1, false, "\\Bin\\Bin\\"},
                               {"VLW_Max", 1, false, "\\Bin\\Bin\\"},
                               {"vlw_pro", 0, false, ""},
                               {"", 0, false, ""}};
  basic_.SetAnswer("InitApp", "7");
  for (const EditionCase& c : cases) {
    SCOPED_TRACE(c.edition);
    basic_.Reset();
    basic_.SetAnswer("InitApp", "7");
    WxHostApi api;
    const std::int32_t result = api.InitApp(
        InitJson(c.edition, ",\"LogOutput\":3,\"P_state\":-1,\"P_update\":4294967297,\"F_Version\":\"v1/2\""));
    EXPECT_EQ(result, c.hostInitApp ? 7 : 0);
    EXPECT_EQ(api.ProMode(), c.proMode);
    EXPECT_EQ(api.Identity().AppName, kApp);
    EXPECT_EQ(api.Identity().FileName, kFile);
    EXPECT_EQ(api.FirstFolder(), *c.below ? folder_ + c.below : std::string());
    std::vector<FakeCall> expected;
    if (c.hostInitApp) expected.push_back(Call("Api.dll", "InitApp", {kApp, kFile, "3", "-1", "v1/2", "1"}));
    EXPECT_EQ(basic_.Calls(), expected);
  }
}

TEST_F(WxHostTest, TheLibraryOfTheEditionIsTheOneCalled) {
  WxHostApi basic = Basic(), pro = Pro();
  basic.GetFrameVersion();
  pro.GetFrameVersion();
  EXPECT_EQ(basic_.Calls(), std::vector<FakeCall>{Expect("取框架版本号", {})});
  EXPECT_EQ(pro_.Calls(), std::vector<FakeCall>{Expect("取框架版本号", {})});
}

TEST_F(WxHostTest, TheProfessionalModeStaysAndALaterBasicStartStillCallsInitApp) {
  WxHostApi api;
  api.InitApp(InitJson("VLW_Pro"));
  api.InitApp("not json");  // no identity, no edition: only the identity changes
  EXPECT_EQ(api.ProMode(), 1);
  EXPECT_EQ(api.Identity().AppName, "");
  EXPECT_EQ(api.FirstFolder(), folder_ + "\\Bin\\Bin\\");
  api.InitApp(InitJson("VLW", ",\"LogOutput\":\"3\",\"P_state\":2"));
  EXPECT_EQ(api.ProMode(), 1);
  // Numbers given as texts are 0.
  EXPECT_EQ(basic_.Calls(), std::vector<FakeCall>{Call("Api.dll", "InitApp", {kApp, kFile, "0", "2", "", "0"})});
}

// A binding of one edition's library, for the rules that no operation of
// the main road uses.
struct EditionBinding {
  void* module;
  bool pro;
  void* Address(std::size_t, const char* function) const { return platform::FindFunction(module, function); }
  bool LeadReady() const { return true; }
  void PushLead(hosts::WordList& words) const {
    words.PushAddress(kFile);
    words.PushAddress(kApp);
  }
  bool ProEdition() const { return pro; }
  static constexpr std::string_view kLeadKinds = "tt";
};

// One representative of each rule, in both editions: the call made, or none.
struct RuleCase {
  const char* rule;
  std::function<void(WxHostApi&, EditionBinding&)> operation;
  std::vector<FakeCall> basic, pro;
};

TEST_F(WxHostTest, TheRobotArgumentFollowsEachRuleInBothEditions) {
  const std::vector<RuleCase> cases{
      {"pair", [](WxHostApi& a, EditionBinding&) { a.SendTextMessage(kRobot, "wxid_friend", "你好"); },
       {Expect("SendTextMsg", {"wxid_friend", "你好"})}, {Expect("SendTextMsg", {kRobot, "wxid_friend", "你好"})}},
      {"pair", [](WxHostApi& a, EditionBinding&) { a.KickMember(kRobot, "123@chatroom", "wxid_m"); },
       {Expect("RemoveGroupMember", {"123@chatroom", "wxid_m"})},
       {Expect("RemoveGroupMember", {kRobot, "123@chatroom", "wxid_m"})}},
      {"pair", [](WxHostApi& a, EditionBinding&) { a.AccepteTransfer(kRobot, "1", "2", "3", -4, "5"); },
       {Expect("AccepteTransfer", {"1", "2", "3", "-4", "5"})},
       {Expect("AccepteTransfer", {kRobot, "1", "2", "3", "-4", "5"})}},
      {"pro only", [](WxHostApi& a, EditionBinding&) { EXPECT_EQ(a.GetGroupcardByWxid(kRobot, "g", "m"), ""); },
       {}, {Expect("GetGroupcardByWxid", {kRobot, "g", "m"})}},
      {"pro only", [](WxHostApi& a, EditionBinding&) { a.SendEnterpriseTextMessage(kRobot, "t", "x"); },
       {}, {Expect("SendTextMsg_企业", {kRobot, "t", "x"})}},
      {"pro only", [](WxHostApi& a, EditionBinding&) { a.SendXmlMsg_企业(kRobot, "1", "2", "3", "4", "5", "6", "7", 8, "9", "10", "11"); },
       {}, {Expect("SendXmlMsg_企业", {kRobot, "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"})}},
      {"no robot", [](WxHostApi& a, EditionBinding&) { a.Updateplugin("u"); }, {Expect("Updateplugin", {"u"})},
       {Expect("Updateplugin", {"u"})}},
      {"no robot", [](WxHostApi& a, EditionBinding&) { a.OutputLog("a", "b", 255); }, {Expect("日志输出", {"a", "b", "255"})},
       {Expect("日志输出", {"a", "b", "255"})}},
      {"pair", [](WxHostApi& a, EditionBinding&) { a.OnTopContact(kRobot, "wxid_c"); },
       {Expect("OnTopContact", {"wxid_c"})}, {Expect("OnTopContact", {kRobot, "wxid_c"})}},
      {"always", [](WxHostApi& a, EditionBinding&) { a.发送群消息并艾特所有人_企业(kRobot, "g", "x"); },
       {Expect("发送群消息并艾特所有人_企业", {kRobot, "g", "x"})},
       {Expect("发送群消息并艾特所有人_企业", {kRobot, "g", "x"})}},
      {"always", [](WxHostApi& a, EditionBinding&) { EXPECT_EQ(a.获取微信登录时长(kRobot), ""); },
       {Expect("获取微信登录时长", {kRobot})}, {Expect("获取微信登录时长", {kRobot})}},
      {"no robot", [](WxHostApi& a, EditionBinding&) { a.获取框架运行时长(); }, {Expect("获取框架运行时长", {})},
       {Expect("获取框架运行时长", {})}},
      // Fallback and always, through the call path on functions of the list.
      {"fallback",
       [](WxHostApi&, EditionBinding& b) {
         hosts::Row<Text(hosts::FallbackLead, Text)>::Call(b, 0, "GetNameByWxid2", kRobot, "wxid_x");
       }, {Expect("GetNameByWxid", {"wxid_x"})},
       {Expect("GetNameByWxid2", {kRobot, "wxid_x"})}},
      {"always",
       [](WxHostApi&, EditionBinding& b) {
         hosts::Row<Int(hosts::RobotAlwaysLead, Text, Int)>::Call(b, 0, "日志输出", kRobot, "line", 1);
       }, {Expect("日志输出", {kRobot, "line", "1"})},
       {Expect("日志输出", {kRobot, "line", "1"})}},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.rule);
    for (const bool pro : {false, true}) {
      WxHostApi api = pro ? Pro() : Basic();
      EditionBinding binding{(pro ? pro_ : basic_).module(), pro};
      basic_.Reset();
      pro_.Reset();
      c.operation(api, binding);
      EXPECT_EQ(basic_.Calls(), pro ? std::vector<FakeCall>{} : c.basic);
      EXPECT_EQ(pro_.Calls(), pro ? c.pro : std::vector<FakeCall>{});
    }
  }
}

TEST_F(WxHostTest, TheInformationRecordIsCompactJsonOfNineMembersInOrder) {
  WxPluginInfoRecord info{"名/称", "Tolvane", "2.2.6", "说明\r\n\"引\"", "id", -2, 6, "\x89PN", "13579"};
  EXPECT_EQ(WxHostApi().BuildPluginInfo(info),
            "{\"SdkVersion\":6,\"PluginID\":\"id\",\"Name\":\"名\\/称\",\"Author\":\"Tolvane\",\"Version\":\"2.2.6\","
            "\"Desc\":\"说明\\r\\n\\\"引\\\"\",\"Img\":\"iVBO\",\"priority\":-2,\"Contact\":\"13579\"}");
  EXPECT_EQ(WxHostApi().BuildPluginInfo({}),
            "{\"SdkVersion\":0,\"PluginID\":\"\",\"Name\":\"\",\"Author\":\"\",\"Version\":\"\",\"Desc\":\"\","
            "\"Img\":\"\",\"priority\":0,\"Contact\":\"\"}");
}

TEST(WxBase64, PadsTheLastGroup) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
      {std::string("\xff\xfe\x00\x01", 4), "//4AAQ=="}};
  for (const auto& [bytes, text] : cases) EXPECT_EQ(WxHostApi::Base64Encode(bytes), text) << text;
}

TEST_F(WxHostTest, TheSendsThatReorderTheirArguments) {
  for (WxHostApi api : {Basic(), Pro()}) {
    const bool pro = api.ProMode() == 1;
    api.SendGroupMsgAndAtByByteHex(kRobot, "a", "b", "c", "d", "e");
    api.SendLinkMsg_企业(kRobot, "a", "b", "c", "d", "e");
    api.SendGroupMsgAndAtByByteHex_企业(kRobot, "a", "b", "c");
    std::vector<FakeCall> expected{Expect("SendGroupMsgAndAtByByteHex", {"a", "b", "c", "e"})};
    if (pro) {
      expected = {Expect("SendGroupMsgAndAtByByteHex", {kRobot, "a", "b", "c", "e"}),
                  Expect("SendLinkMsg_企业", {kRobot, "a", "e", "d", "b", "c"}),
                  Expect("SendGroupMsgAndAtByByteHex_企业", {kRobot, "a", "b", "c"})};
    }
    EXPECT_EQ(Edition(api).Calls(), expected);
  }
}

TEST(WxCards, TemplatesHaveTheirLengthsAndPlaceholdersRunInTurn) {
  const std::string empty;
  EXPECT_EQ(WxHostApi::LinkCard("[title]", "[des]", "[thumburl]", "[url]").size(), 953u);
  EXPECT_EQ(WxHostApi::MusicCard("[title]", "[des]", "[url]", "[thumburl]").size(), 369u);
  const std::string link = WxHostApi::LinkCard("T[des]", "D[title]", "<&", "");
  EXPECT_NE(link.find("<title>TD[title]</title>"), std::string::npos);  // des goes into the title too
  EXPECT_NE(link.find("<des>D[title]</des>"), std::string::npos);       // a later value stays as it is
  EXPECT_NE(link.find("<thumburl><&</thumburl>"), std::string::npos);    // not escaped
  EXPECT_NE(link.find("<url></url>"), std::string::npos);
  EXPECT_NE(link.find("<fromusername>[wxid]</fromusername>"), std::string::npos);
  EXPECT_EQ(link.substr(0, 7), "<msg>\r\n");
  const std::string music = WxHostApi::MusicCard("t", "d", "u", "p");
  EXPECT_EQ(music.substr(0, 38), "<?xml version=\"1.0\"?>\r\n<msg>\r\n\t<appmsg");
  EXPECT_NE(music.find("\t\t<type>3</type>\r\n"), std::string::npos);
  EXPECT_NE(music.find("\t\t<url>u</url>\r\n\t\t<lowurl />\r\n\t\t<thumburl>p</thumburl>\r\n    </appmsg>"),
            std::string::npos);
}

TEST_F(WxHostTest, CardsGoOutAsLinkMessages) {
  for (WxHostApi api : {Basic(), Pro()}) {
    api.SendLinkCard(kRobot, "wxid_f", "t", "d", "p", "u");
    api.SendMusicCard(kRobot, "wxid_f", "t", "d", "u", "ignored", "p");
    std::vector<std::string> link{"wxid_f", WxHostApi::LinkCard("t", "d", "p", "u")};
    std::vector<std::string> music{"wxid_f", WxHostApi::MusicCard("t", "d", "u", "p")};
    if (api.ProMode() == 1) {
      link.insert(link.begin(), kRobot);
      music.insert(music.begin(), kRobot);
    }
    EXPECT_EQ(Edition(api).Calls(), (std::vector<FakeCall>{Expect("SendLinkMsg", link), Expect("SendLinkMsg", music)}));
  }
}

const char* const kTwoAccounts =
    R"({"data":[{"wxid":"wxid_a","username":"甲","wx_num":"a1","wx_headimgurl":"http://h/a",)"
    R"("Enterprise wechat":1,"Enterprise wechat clientId":4294967302},)"
    R"({"wxid":"wxid_b","username":"乙","wx_num":"b1","wx_headimgurl":"","Enterprise wechat":"1"}]})";

TEST_F(WxHostTest, TheProfessionalEditionListsItsAccounts) {
  WxHostApi api = Pro();
  const WxAccountRecord kept{"kept", "", "", "", 0, 0};
  const std::pair<std::string, std::vector<WxAccountRecord>> cases[] = {
      {kTwoAccounts, {kept, {"wxid_a", "甲", "a1", "http://h/a", 1, 6}, {"wxid_b", "乙", "b1", "", 0, 0}}},
      {R"({"data":[]})", {kept}},
      {"not json", {kept}},
  };
  for (const auto& [answer, records] : cases) {
    pro_.SetAnswer("取登录账号列表", answer);
    std::vector<WxAccountRecord> list{kept};
    EXPECT_EQ(api.GetAccountList(list), answer);
    EXPECT_EQ(list, records) << answer;
  }
  // One account or none: GetLoginAccount gives it only when it is the one.
  pro_.SetAnswer("取登录账号列表", R"({"data":[{"wxid":"wxid_one"}]})");
  EXPECT_EQ(api.GetLoginAccount(), "wxid_one");
  pro_.SetAnswer("取登录账号列表", kTwoAccounts);
  EXPECT_EQ(api.GetLoginAccount(), "");
  EXPECT_EQ(api.取登录账号信息(), WxLoginInfo{});
  EXPECT_EQ(pro_.Calls().size(), 5u);  // none for the login details
}

TEST_F(WxHostTest, TheBasicEditionHasOneAccountAndItsDetails) {
  WxHostApi api = Basic();
  basic_.SetAnswer("获取登录微信ID", "wxid_basic");
  basic_.SetAnswer("取登录账号信息",
                   R"({"wxid":"w","wx_num":"n","nickname":"昵称","headimgurl":"h","country":"c","province":"p",)"
                   R"("city":"y","sex":4294967298,"signature":"s","backgroundimgurl":"b","wx_wind_handle":12,"wx_pid":"9"})");
  std::vector<WxAccountRecord> list;
  EXPECT_EQ(api.GetAccountList(list), "");
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(api.GetLoginAccount(), "wxid_basic");
  EXPECT_EQ(api.取登录账号信息(), (WxLoginInfo{"w", "n", "昵称", "h", "c", "p", "y", 2, "s", "b", "", "9"}));
  EXPECT_EQ(basic_.Calls(), (std::vector<FakeCall>{Expect("获取登录微信ID", {}), Expect("取登录账号信息", {})}));
}

TEST_F(WxHostTest, ContactDetailsAreCutOutOfTheAnswer) {
  WxHostApi api = Basic();
  basic_.SetAnswer("GetDetailInfoByWxid",
                   R"({"x":{"nickname":"inner"},"wxid":"wxid_c","wx_num":"num","nickname":"outer","headimgurl":"h",)"
                   R"("country":"CN","province":"粤","city":"深","scene": 14,"signature":"say \"hi\"",)"
                   R"("backgroundimgurl":null,"sex":2})");
  const WxContactDetail d = api.GetDetailInfoByWxid(kRobot, "wxid_c");
  EXPECT_EQ(d, (WxContactDetail{"wxid_c", "num", "inner", "h", "CN", "粤", "深", 2, 14, "say \\", ""}));
  EXPECT_EQ(basic_.Calls(), std::vector<FakeCall>{Expect("GetDetailInfoByWxid", {"wxid_c"})});
  basic_.SetAnswer("GetDetailInfoByWxid", std::nullopt);
  EXPECT_EQ(api.GetDetailInfoByWxid(kRobot, "none"), WxContactDetail{});
}

// Mended: the number is read right after its key, also as the last member.
TEST(WxFields, TheNumberFollowsItsKeyWithOrWithoutAComma) {
  EXPECT_EQ(NumberField(R"({"sex":1,"a":2})", "sex"), 1);
  EXPECT_EQ(NumberField(R"({"a":"x","sex":2})", "sex"), 2);
  EXPECT_EQ(NumberField(R"({"sex":"2"})", "sex"), 0);
  EXPECT_EQ(NumberField(R"({"sex" :2})", "sex"), 0);
  EXPECT_EQ(NumberField(R"({"sex":-7})", "sex"), -7);
  EXPECT_EQ(QuotedField(R"({"wxid": "abc","wxid":"def"})", "wxid"), "def");
}

TEST_F(WxHostTest, AGroupIsBuiltFromTwoOrMoreWxids) {
  WxHostApi api = Pro();
  pro_.SetAnswer("BuildingGroup", "5");
  EXPECT_EQ(api.BuildingGroup(kRobot, {}), -1);
  EXPECT_EQ(api.BuildingGroup(kRobot, {"a"}), -1);
  EXPECT_EQ(api.BuildingGroup(kRobot, {"a", "b"}), 5);
  EXPECT_EQ(api.BuildingGroup(kRobot, {"a", "", "b|c"}), 5);
  EXPECT_EQ(pro_.Calls(), (std::vector<FakeCall>{Expect("BuildingGroup", {kRobot, "a|b"}),
                                                 Expect("BuildingGroup", {kRobot, "a||b|c"})}));
}

// ---- Enterprise lists

const char* const kEnterpriseContacts =
    R"({"data":[{"user_id":"u1","username":"张三","corp_id":"c","realname":"r","remark":"m","position":"p",)"
    R"("sex":1.9,"avatar":"a"},{"user_id":"u2","sex":"1"},{"user_id":"u3","sex":-1.9}]})";

TEST_F(WxHostTest, EnterpriseListsAppendTheirRecordsInTheProfessionalEdition) {
  WxHostApi api = Pro();
  pro_.SetAnswer("获取内部联系人_企业", kEnterpriseContacts);
  pro_.SetAnswer("获取群成员列表_企业",
                 R"({"data":{"member_list":[{"user_id":"m1"}]},"member_list":[{"user_id":"no"}]})");
  pro_.SetAnswer("获取群列表_企业",
                 R"({"data":[{"conversation_id":"g","nickname":"群","create_user_id":"o","total":4294967299,"is_external":1}]})");
  pro_.SetAnswer("获取外部联系人_企业", "{\"data\":[]}");
  const WxEnterpriseContact kept{"kept"};
  std::vector<WxEnterpriseContact> contacts{kept};
  EXPECT_EQ(api.获取内部联系人_企业(kRobot, contacts), kEnterpriseContacts);
  EXPECT_EQ(contacts, (std::vector<WxEnterpriseContact>{
                          kept, {"u1", "张三", "c", "r", "m", "p", 1, "a"}, {"u2"}, {"u3", "", "", "", "", "", -1}}));
  contacts = {};
  EXPECT_EQ(api.获取外部联系人_企业(kRobot, contacts), "{\"data\":[]}");
  api.获取群成员列表_企业(kRobot, "g", contacts);
  EXPECT_EQ(contacts, std::vector<WxEnterpriseContact>{{"m1"}});
  std::vector<WxEnterpriseGroup> groups;
  api.获取群列表_企业(kRobot, groups);
  api.获取群列表_企业(kRobot, groups);  // nothing is emptied
  const WxEnterpriseGroup group{"g", "群", "o", 3, 1};
  EXPECT_EQ(groups, (std::vector<WxEnterpriseGroup>{group, group}));
  EXPECT_EQ(pro_.Calls()[2], Expect("获取群成员列表_企业", {kRobot, "g"}));
}

TEST_F(WxHostTest, EnterpriseListsCallNothingInTheBasicEdition) {
  WxHostApi api = Basic();
  std::vector<WxEnterpriseContact> contacts{{"kept"}};
  std::vector<WxEnterpriseGroup> groups;
  EXPECT_EQ(api.获取内部联系人_企业(kRobot, contacts), "");
  EXPECT_EQ(api.获取外部联系人_企业(kRobot, contacts), "");
  EXPECT_EQ(api.获取群成员列表_企业(kRobot, "g", contacts), "");
  EXPECT_EQ(api.获取群列表_企业(kRobot, groups), "");
  EXPECT_EQ(contacts.size(), 1u);
  EXPECT_TRUE(groups.empty());
  EXPECT_TRUE(basic_.Calls().empty());
  EXPECT_TRUE(pro_.Calls().empty());
}
// ---- Friends and groups

TEST_F(WxHostTest, AnAccountSearchIsCutOutOfTheAnswer) {
  WxHostApi api = Pro();
  pro_.SetAnswer("SearchAccount",
                 R"(not json "from_wxid":"w","from_nickname":"昵\"称","v1":"a","v2":"b","sex":1,"city":"c",)"
                 R"("status_desc":"ok","status":7)");
  EXPECT_EQ(api.SearchAccount(kRobot, "find"),
            (WxSearchResult{"w", "昵\\", "", "a", "b", 1, "", "c", "", "", 7, "ok"}));
  EXPECT_EQ(pro_.Calls(), std::vector<FakeCall>{Expect("SearchAccount", {kRobot, "find"})});
}

TEST_F(WxHostTest, TheEnterpriseInvitationJoinsItsWxidsWithCommas) {
  WxHostApi pro = Pro(), basic = Basic();
  for (WxHostApi* api : {&pro, &basic}) {
    api->邀请好友入群_企业(kRobot, "g", {"a", "b", "c"});
    api->邀请好友入群_企业(kRobot, "g", {"a"});
    api->邀请好友入群_企业(kRobot, "g", {});
  }
  EXPECT_EQ(pro_.Calls(), (std::vector<FakeCall>{Expect("邀请好友入群_企业", {kRobot, "g", "a,b,c"}),
                                                 Expect("邀请好友入群_企业", {kRobot, "g", "a"}),
                                                 Expect("邀请好友入群_企业", {kRobot, "g", ""})}));
  EXPECT_TRUE(basic_.Calls().empty());
}
// ---- Group, friend and subscription lists

TEST_F(WxHostTest, ListsAppendAndAnswerTheListsLength) {
  for (WxHostApi api : {Basic(), Pro()}) {
    FakeHostDll& fake = Edition(api);
    const std::string two = R"({"friend_list":[{"wxid":"f1","wx_num":"n","nickname":"昵\"称","note":"r"},{"wxid":"f2"}]})";
    fake.SetAnswer("GetFriendlist", two);
    fake.SetAnswer("GetFriendlist2", two);
    std::vector<WxFriend> friends{{"a"}, {"b"}, {"c"}};
    EXPECT_EQ(api.GetFriendlist(kRobot, friends, 0), 5);
    EXPECT_EQ(friends[3], (WxFriend{"f1", "n", "昵\"称", "r"}));
    EXPECT_EQ(friends[4], WxFriend{"f2"});
    EXPECT_EQ(api.GetFriendlist2(kRobot, friends, 9), 7);
    fake.SetAnswer("GetFriendlist", R"({"friend_list":[]})");
    EXPECT_EQ(api.GetFriendlist(kRobot, friends, 0), 7);
    fake.SetAnswer("GetFriendlist", "broken {");
    EXPECT_EQ(api.GetFriendlist(kRobot, friends, 0), 7);
    // The basic edition answers the "2" operation with its plain function.
    const std::vector<std::string> robot = api.ProMode() == 1 ? std::vector<std::string>{kRobot} : std::vector<std::string>{};
    const auto args = [&](std::vector<std::string> rest) {
      rest.insert(rest.begin(), robot.begin(), robot.end());
      return rest;
    };
    const std::string second = api.ProMode() == 1 ? "GetFriendlist2" : "GetFriendlist";
    EXPECT_EQ(fake.Calls()[1], Expect(second, args({"9"})));
  }
}

TEST_F(WxHostTest, GroupAndSubscriptionListsReadTheirMembers) {
  WxHostApi api = Pro();
  const std::string groups =
      R"({"group_list":[{"wxid":"g@chatroom","nickname":"群","avatar":"a","total_member":12,"manager_wxid":"m",)"
      R"("is_manager":true},{"wxid":"h","is_manager":1}]})";
  pro_.SetAnswer("GetGrouplist", groups);
  pro_.SetAnswer("GetGrouplist2", groups);
  pro_.SetAnswer("GetSubscriptionlist2", R"({"mp_list":[{"wxid":"gh_1","wx_num":"n","nickname":"号"}]})");
  std::vector<WxGroup> list;
  EXPECT_EQ(api.GetGrouplist(kRobot, list, 1), 2);
  EXPECT_EQ(api.GetGrouplist2(kRobot, list, 1), 4);
  EXPECT_EQ(list, (std::vector<WxGroup>{{"g@chatroom", "群", "a", 12, "m", 0}, {"h", "", "", 0, "", 1},
                                        {"g@chatroom", "群"}, {"h"}}));
  std::vector<WxSubscription> subscriptions;
  EXPECT_EQ(api.GetSubscriptionlist2(kRobot, subscriptions, 0), 1);
  EXPECT_EQ(subscriptions, (std::vector<WxSubscription>{{"gh_1", "n", "号"}}));
}

TEST_F(WxHostTest, GroupMembersHaveAHeadCutFromTheAnswer) {
  WxHostApi api = Basic();
  const std::string answer =
      R"({"group_wxid":"g","group_name":"名\"字","count":5,"owner_wxid":"o","owner_nickname":"主","member_list":[)"
      R"({"wxid":"m1","wx_num":"n","group_nickname":"gn","nickname":"nn","avatar":"a","country":"c","city":"y",)"
      R"("province":"p","sex":"1"},{"wxid":"m2","sex":2},{"wxid":"m3"}]})";
  basic_.SetAnswer("GetGroupMember", answer);
  const WxGroupMemberList full = api.GetGroupMember(kRobot, "g", 3);
  EXPECT_EQ(full.group_wxid, "g");
  EXPECT_EQ(full.group_name, "名\\");
  EXPECT_EQ(full.count, 5);
  EXPECT_EQ(full.owner_nickname, "主");
  EXPECT_EQ(full.member_list, (std::vector<WxGroupMember>{{"m1", "n", "gn", "nn", "a", "c", "y", "p", 0},
                                                          {"m2", "", "", "", "", "", "", "", 2}, {"m3"}}));
  const WxGroupMemberList fewer = api.GetGroupMember2(kRobot, "g", 3);  // GetGroupMember in the basic edition
  EXPECT_EQ(fewer.member_list[0], (WxGroupMember{"m1", "n", "gn", "nn"}));
  EXPECT_EQ(fewer.member_list[1], WxGroupMember{"m2"});
  basic_.SetAnswer("GetGroupMember", R"({"group_wxid":"abc","member_list":[{"wxid":"m1"})");
  const WxGroupMemberList broken = api.GetGroupMember(kRobot, "g", 3);
  EXPECT_EQ(broken.group_wxid, "abc");
  EXPECT_TRUE(broken.member_list.empty());
  EXPECT_EQ(basic_.Calls()[1], Expect("GetGroupMember", {"g", "3"}));
}

TEST_F(WxHostTest, AMembersDetailsAreCutOutOfTheAnswer) {
  WxHostApi api = Pro();
  pro_.SetAnswer("GetGroupMemberDetailInfo",
                 R"({"wxid":"w","wx_num":"n","nickname":"a","nickname_":"b","headimgurl":"h","country":"c",)"
                 R"("province":"p","city":"y","sex":1,"scene":3,"signature":"s","backgroundimgurl":"g"})");
  EXPECT_EQ(api.GetGroupMemberDetailInfo(kRobot, "g", "m"),
            (WxGroupMemberDetail{"w", "n", "a", "b", "h", "c", "p", "y", 1, 3, "s", "g"}));
  EXPECT_EQ(pro_.Calls(), std::vector<FakeCall>{Expect("GetGroupMemberDetailInfo", {kRobot, "g", "m"})});
}
// ---- Mentions

TEST(WxMentions, TheLastEntryGivesTheMentionedUser) {
  EXPECT_EQ(WxHostApi::ParseAtList(R"({"wxid":"a","nickname":"A"},{"wxid":"b","nickname":"B"})"), (WxAtUser{"b", "B"}));
  EXPECT_EQ(WxHostApi::ParseAtList(R"({"from_wxid":"x","wxid":"y"})"), (WxAtUser{"x", ""}));
  EXPECT_EQ(WxHostApi::ParseAtList("no entry"), WxAtUser{});
}

TEST(WxMentions, TheAtUserListIsAppendedWithItsPositions) {
  const std::string message =
      R"({"msg":"@甲 @乙","atuserlist":[{"wxid":"w1","nickname":"甲","position_from":"0","position_to":"3"},)"
      R"({"wxid":"w2","nickname":"乙","position_from":4,"position_to":7}]})";
  std::vector<WxAtUserItem> items;
  EXPECT_EQ(WxHostApi::ParseAtUserList(message, items), 2);
  EXPECT_EQ(items, (std::vector<WxAtUserItem>{{"w1", "甲", 0, 3}, {"w2", "乙", 0, 0}}));  // numbers unquoted: 0
  EXPECT_EQ(WxHostApi::ParseAtUserList(message, items), 4);
  std::vector<WxAtUserItem> empty;
  EXPECT_EQ(WxHostApi::ParseAtUserList(R"({"atuserlist":[]})", empty), 1);  // one empty entry
  EXPECT_EQ(empty, std::vector<WxAtUserItem>{WxAtUserItem{}});
  std::vector<WxAtUserItem> brace;
  EXPECT_EQ(WxHostApi::ParseAtUserList(R"({"atuserlist":[{"wxid":"w","nickname":"a{b"}]})", brace), 2);
  EXPECT_EQ(brace[1], WxAtUserItem{});  // cut from the rest of that entry
}

// ---- Moments and enterprise friends

TEST_F(WxHostTest, MomentsReplaceTheListAndReadStringsOnly) {
  WxHostApi api = Basic();
  basic_.SetAnswer("获取朋友圈",
                   R"({"pyq_list":[{"username":"u","nickname":"昵","pyq_id":7,"object":"<x/>"},{},)"
                   R"({"pyq_id":"p3","object":{"a":1}}]})");
  basic_.SetAnswer("获取好友朋友圈", R"({"pyq_list":{"one":{"pyq_id":"a"},"two":{"pyq_id":"b"}}})");
  std::vector<WxMomentItem> moments{{"old"}, {"old"}, {"old"}};
  api.获取朋友圈(kRobot, "", 5, moments);
  EXPECT_EQ(moments, (std::vector<WxMomentItem>{{"u", "昵", "", "<x/>"}, {}, {"", "", "p3", ""}}));
  api.获取好友朋友圈(kRobot, "wxid_f", "t", 2, moments);
  EXPECT_EQ(moments, (std::vector<WxMomentItem>{{"", "", "a"}, {"", "", "b"}}));
  basic_.SetAnswer("获取朋友圈", R"({"pyq_list":[]})");
  api.获取朋友圈(kRobot, "s", 0, moments);
  EXPECT_TRUE(moments.empty());
  const std::vector<FakeCall> calls = basic_.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], Expect("获取朋友圈", {kRobot, "", "5"}));
  EXPECT_EQ(calls[1], Expect("获取好友朋友圈", {kRobot, "wxid_f", "t", "2"}));
}

TEST_F(WxHostTest, AnEnterpriseFriendIsReadBelowData) {
  WxHostApi api = Basic();  // called in every edition
  const std::pair<std::string, WxEnterpriseFriendDetail> cases[] = {
      {R"({"data":{"user_id":"u","username":"n","realname":"r","remark":"m","position":"p","sex":4294967297,"avatar":"a"}})",
       {"u", "n", "r", "m", "p", 1, "a"}},
      {R"({"data":{"sex":"1"}})", {}},
      {R"({"data":{"sex":2.9}})", {"", "", "", "", "", 2}},
      {R"({"user_id":"u"})", {}},
      {"not json", {}},
  };
  for (const auto& [answer, detail] : cases) {
    basic_.SetAnswer("获取好友详细_企业", answer);
    EXPECT_EQ(api.获取好友详细_企业(kRobot, "f"), detail) << answer;
  }
  EXPECT_EQ(basic_.Calls()[0], Expect("获取好友详细_企业", {kRobot, "f"}));
}

// ---- Favourites, contact details, invitations and notices

TEST_F(WxHostTest, FavouritesInvitationsAndNoticesReplaceTheirLists) {
  WxHostApi api = Pro();
  pro_.SetAnswer("获取收藏列表",
                 R"({"data":{"items":{"a":{"from_user":"u","local_id":"5","title":7,"type":4294967297,)"
                 R"("update_time":-2.9,"xml":"<x/>"},"b":{}}}})");
  pro_.SetAnswer("获取群成员邀请信息",
                 R"({"data":{"member_list":[{"wxid":"m","nickname":"n","avatar":"a","invite_by":"o","flag":2.9}]}})");
  pro_.SetAnswer("获取群公告列表", R"({"data":[{"group_wxid":"g","wxid":"w","content":"c","timestamp":1700000000},)"
                                   R"({"timestamp":"1700000000"}]})");
  std::vector<WxFavouriteItem> favourites{{"old"}, {"old"}, {"old"}};
  api.获取收藏列表(kRobot, favourites);
  EXPECT_EQ(favourites, (std::vector<WxFavouriteItem>{{"u", 0, "", 1, -2, "<x/>"}, {}}));
  std::vector<WxGroupInviteInfo> members{{"old"}};
  api.获取群成员邀请信息(kRobot, "g", members);
  EXPECT_EQ(members, (std::vector<WxGroupInviteInfo>{{"m", "n", "a", "o", 2}}));
  std::vector<WxGroupNotice> notices;
  api.获取群公告列表(kRobot, notices);
  EXPECT_EQ(notices, (std::vector<WxGroupNotice>{{"g", "w", "c", ""}, {"", "", "", "1700000000"}}));
  pro_.SetAnswer("获取收藏列表", "not json");
  api.获取收藏列表(kRobot, favourites);
  EXPECT_TRUE(favourites.empty());
  EXPECT_EQ(pro_.Calls()[1], Expect("获取群成员邀请信息", {kRobot, "g"}));
}

TEST_F(WxHostTest, AContactByWxidIsReadBelowData) {
  WxHostApi api = Basic();
  basic_.SetAnswer("wxid查详细信息",
                   R"({"data":{"wxid":"w","account":"acc","nickname":"n","avatar":"a","country":"c","province":"p",)"
                   R"("city":"y","sex":2,"scene":9,"signature":"s","sns_pic":"bg"}})");
  EXPECT_EQ(api.wxid查详细信息(kRobot, "w"), (WxContactDetail{"w", "acc", "n", "a", "c", "p", "y", 2, 0, "s", "bg"}));
  basic_.SetAnswer("wxid查详细信息", R"({"wxid":"w"})");
  EXPECT_EQ(api.wxid查详细信息(kRobot, "w"), WxContactDetail{});
  EXPECT_EQ(basic_.Calls()[0], Expect("wxid查详细信息", {kRobot, "w"}));
}

}  // namespace
}  // namespace zoq::testing
