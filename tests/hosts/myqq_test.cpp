// The MyQQ host's adapter against its fake MyQQApi.DLL: the operations with
// logic of their own (functions chosen by an argument, status texts, the
// list and JSON readers) and the decoding of its answers.
#include "hosts/adapters.hpp"
#include "hosts/dll/myqq/myqq_text.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

using Names = std::vector<std::string>;

class MyQqHostTest : public AdapterTest<MyQqHostApi> {
 protected:
  MyQqHostTest() : AdapterTest("MyQQApi.DLL") {}
  Names Functions() const {
    Names names;
    for (const FakeCall& c : fake_.Calls()) names.push_back(c.function);
    return names;
  }
};

// The send forms, a seventh argument of 1 or more as 1, and the other
// operations that choose their host function by an argument.
TEST_F(MyQqHostTest, FunctionsChosenByAnArgument) {
  api_.SendMessage("10001", 2, "300", "400", "群消息", 0, 0, 0);
  api_.SendMessage("10001", 1, "", "400", "<xml/>", 8, 5, 1);
  api_.SendMessage("10001", 2, "300", "", "{}", 8, -1, 2);
  api_.SendMessage("10001", 2, "300", "400", "长消息", 8, 1, 3);
  api_.SendMessage("10001", 1, "", "400", "x", 8, 0, 7);  // any other form sends as form 0
  EXPECT_EQ(fake_.Calls(),
            (std::vector<FakeCall>{Call("MyQQApi.DLL", "Api_SendMsgEx", {"10001", "0", "2", "300", "400", "群消息", "0"}),
                                   Call("MyQQApi.DLL", "Api_SendXml", {"10001", "1", "1", "", "400", "<xml/>", "0"}),
                                   Call("MyQQApi.DLL", "Api_SendJson", {"10001", "-1", "2", "300", "", "{}"}),
                                   Call("MyQQApi.DLL", "Api_SendLongMsg", {"10001", "2", "300", "400", "长消息", "1"}),
                                   Call("MyQQApi.DLL", "Api_SendMsgEx", {"10001", "0", "1", "", "400", "x", "8"})}));
  fake_.Reset();
  for (int mode : {0, 1, 2, 9}) api_.GetOnlineAccounts(mode);
  api_.Api_UpVote("1", "2");
  api_.Api_UpVote("1", "2", 1);
  for (int kind = 0; kind <= 8; ++kind) api_.Api_GetGroupPsKey("1", kind);
  api_.Api_NoAdminInviteGroup("r", "g", "q");
  api_.Api_NoAdminInviteGroup("r", "g", "q", 1);
  api_.Api_SendVoice2("a", "b", "c");
  EXPECT_EQ(Functions(), (Names{"Api_GetOnlineQQlist", "Api_GetQQList", "Api_GetOffLineList", "Api_GetOnlineQQlist",
                                "Api_UpVote", "Api_UpVoteEx", "Api_GetGroupPsKey", "Api_GetZonePsKey",
                                "Api_GetBlogPsKey", "Api_GetClassRoomPsKey", "Api_GetTenPayPsKey", "Api_GetJuBaoPsKey",
                                "Api_GetQQInfoPsKey", "Api_GetQQVIPPsKey", "Api_NoAdminInviteGroup",
                                "Api_AdminInviteGroup", "Api_SendVoice"}));  // kind 8 calls nothing
  EXPECT_EQ(fake_.Calls()[14].args, (Names{"r", "q", "g"}));
}

TEST_F(MyQqHostTest, StatusTextsAreJudgedExactlyAndOmittedOutputsLeftAlone) {
  std::string answer = "old";
  for (const char* status : {"success", "Success", "success ", ""}) {
    fake_.SetAnswer("Api_RedPack_Luck", status);
    EXPECT_EQ(api_.Api_RedPack_Luck("1", "2", "3", "4", "5", "6", &answer), std::string(status) == "success");
    EXPECT_EQ(answer, status);
  }
  fake_.SetAnswer("Api_RedPack_Kmp3", "success");
  EXPECT_TRUE(api_.Api_RedPack_Kmp3("1", "2", "3", "4", "5"));
  EXPECT_EQ(fake_.Calls().back().args, (Names{"1", "2", "3", "4", "5", "", "0", ""}));
  fake_.SetAnswer("Api_DelMsgEssence", "done");
  EXPECT_EQ(api_.Api_DelMsgEssence("1", "2", "3", "4"), "");  // the answer is dropped
}

TEST_F(MyQqHostTest, LineListsKeepEmptyLinesAndReplaceTheArray) {
  std::vector<MyQqGroupRecord> groups{{"stale", "x", "y", 9}};
  fake_.SetAnswer("Api_GetGroupList_A", "1\r\n\r\n2\r\n");
  EXPECT_EQ(api_.Api_GetGroupList_A("r", &groups), "1\r\n\r\n2\r\n");
  EXPECT_EQ(groups, (std::vector<MyQqGroupRecord>{{"1", "", "", 0}, {"", "", "", 0}, {"2", "", "", 0}}));
  fake_.SetAnswer("Api_GetGroupList_A", std::nullopt);  // no text at all
  EXPECT_EQ(api_.Api_GetGroupList_A("r", &groups), "");
  EXPECT_TRUE(groups.empty());
}

TEST_F(MyQqHostTest, JsonListsDecodeAndTakeTheirFields) {
  fake_.SetAnswer("Api_GetFriendList",
                  R"({"result":{"a'b":{"mems":[{"uin":1,"name":"\u4e2d"},{"uin":"12","name":"y"}]},"e":{"mems":[]}}})");
  std::vector<MyQqFriendRecord> friends{{"stale", ""}};
  EXPECT_EQ(api_.Api_GetFriendList("r", &friends),
            R"({"result":{"a'b":{"mems":[{"uin":1,"name":"中"},{"uin":"12","name":"y"}]},"e":{"mems":[]}}})");
  EXPECT_EQ(friends, (std::vector<MyQqFriendRecord>{{"1", "中"}, {"\"12\"", "y"}}));
  fake_.SetAnswer("Api_GetGroupList_B", R"({"manage":[{"gc":1,"gn":"m","owner":5}],"join":[{"gc":"2","gn":"\u6587"}]})");
  std::vector<MyQqGroupRecord> groups;
  api_.Api_GetGroupList_B("r", groups);
  EXPECT_EQ(groups, (std::vector<MyQqGroupRecord>{{"1", "m", "5", 0}, {"\"2\"", "文", "", 0}}));
  fake_.SetAnswer("Api_GetGroupMemberList",
                  R"({"mems":[{"uin":11,"nick":"a&lt;b","card":"&amp;lt;","join_time":"123","last_speak_time":9,)"
                  R"("lv":{"point":1200,"level":5},"role":2},{"uin":"12"}]})");
  std::vector<MyQqMemberRecord> members;
  api_.Api_GetGroupMemberList("r", "g", members);
  EXPECT_EQ(members, (std::vector<MyQqMemberRecord>{{"11", "a<b", 123, 9, "&lt;", 1200, 5, 2}, {"12"}}));
  // Administrators are whole numbers between "-": 45 is not one of 345.
  fake_.SetAnswer("Api_GetGroupMemberList_C", R"({"owner":11,"adm":[345,11,13],"members":{"11":{"nk":"a&lt;"},)"
                                              R"("13":{"jt":123,"lp":4,"cd":"c"},"45":{}}})");
  api_.Api_GetGroupMemberList_C("r", "g", members);
  EXPECT_EQ(members, (std::vector<MyQqMemberRecord>{{"11", "a&lt;", 0, 0, "", 0, 0, 0},
                                                    {"13", "", 123, 0, "c", 4, 0, 1},
                                                    {"45", "", 0, 0, "", 0, 0, 2}}));
  // Each administrator is its JSON text compared whole with the member's key, as the owner is: a string keeps its
  // quotes and names no member ("12" here, as an owner given as a string names none), a negative number names none
  // (-14 is not 14: read out of the administrators joined behind "-", as "--14", it was).
  fake_.SetAnswer("Api_GetGroupMemberList_C",
                  R"({"owner":"11","adm":[15,"12",-14],"members":{"11":{},"12":{},"14":{},"15":{},"":{}}})");
  api_.Api_GetGroupMemberList_C("r", "g", members);
  EXPECT_EQ(members, (std::vector<MyQqMemberRecord>{{"11", "", 0, 0, "", 0, 0, 2}, {"12", "", 0, 0, "", 0, 0, 2},
                                                    {"14", "", 0, 0, "", 0, 0, 2}, {"15", "", 0, 0, "", 0, 0, 1},
                                                    {"", "", 0, 0, "", 0, 0, 2}}));
  fake_.SetAnswer("Api_GetNotice", R"({"feeds":[{"fid":"f1","msg":{"text":"a&#10;b"},"u":"9"}]})");
  std::vector<GroupNoticeRecord> notices{{"stale"}};
  api_.Api_GetNotice("r", "g", &notices);  // the first, whatever the answer holds
  EXPECT_EQ(notices, (std::vector<GroupNoticeRecord>{{"", "", "", 1, "", ""}, {"\"9\"", "", "a\r\nb", 0, "f1", ""}}));
}

TEST_F(MyQqHostTest, RecordsAreReadOnlyFromAnswersThatHoldThem) {
  BalanceRecord balance{"keep", "keep", "keep"};
  std::string answer = "old";
  fake_.SetAnswer("Api_QueryBalance", "");
  EXPECT_FALSE(api_.Api_QueryBalance("r", "p", &balance, &answer));
  EXPECT_EQ(balance, (BalanceRecord{"keep", "keep", "keep"}));
  fake_.SetAnswer("Api_QueryBalance", R"({"name":"n","card":"c","rmb":1.5})");
  EXPECT_TRUE(api_.Api_QueryBalance("r", "p", &balance, &answer));
  EXPECT_EQ(balance, (BalanceRecord{"n", "c", "1.5"}));
  const std::string match = R"({"search_count":"1","mems":[{"uin":"5","qage":3,"card":"c","join_time":7,)"
                            R"("g":0,"lv":{"point":"1200","level":5},"role":1}]})";
  fake_.SetAnswer("Api_GetGroupMemberInfo", match);
  MyQqMemberInfoRecord info;
  EXPECT_EQ(api_.Api_GetGroupMemberInfo("r", "g", "q", info), match);
  EXPECT_EQ(info, (MyQqMemberInfoRecord{"\"5\"", "3", "c", "7", "", "男", 0, 5, 1}));
  fake_.SetAnswer("Api_GetGroupMemberInfo", R"({"search_count":2,"mems":[{"uin":6}]})");
  EXPECT_EQ(api_.Api_GetGroupMemberInfo("r", "g", "q", info), "");  // not one match: nothing read
  EXPECT_EQ(info.Uin, "\"5\"");
  fake_.SetAnswer("Api_GetGroupSetInfo", R"({"forbid_chat":1,"search":"1","shutup":{"me_shutup":600,"all_shutup":0,)"
                                         R"("list":[{"uin":7,"manager":1,"t":30}]},"invite_friend":1,)"
                                         R"("admin_auth":[{"uin":1,"nick":"n","owner":1,"oper":true}]})");
  MyQqGroupSettings settings;
  std::vector<MyQqAdminEntry> admins;
  std::vector<MyQqMutedEntry> muted;
  api_.Api_GetGroupSetInfo("r", "g", settings, admins, muted);
  EXPECT_EQ(settings, (MyQqGroupSettings{0, 1, 1, 1, 1, 600, 0, 1, 1}));
  EXPECT_EQ(admins, (std::vector<MyQqAdminEntry>{{"1", "\"n\"", 1, 0}}));
  EXPECT_EQ(muted, (std::vector<MyQqMutedEntry>{{"7", 1, 30}}));
  fake_.SetAnswer("Api_GetGroupSetInfo", std::nullopt);
  api_.Api_GetGroupSetInfo("r", "g", settings, admins, muted);
  EXPECT_EQ(settings, (MyQqGroupSettings{1, 1, 0, 1, 0, 0, 0, 1, 1}));
  fake_.SetAnswer("Api_GetGroupFileUrl", R"({"filelink":"http://x/y","other":1})");
  EXPECT_EQ(api_.Api_GetGroupFileUrl("1", "2", "3", "4", "5"), "http://x/y");
}

// Mended: a leading CR LF lost its CR; a character GBK cannot hold vanished
// (an emoji nickname came out empty); a text of 64 bits or more converted
// an out-of-range double to an integer.
TEST(MyQqText, AnswersDecodeAsTheHostMeansThem) {
  using namespace myqq;
  const std::pair<std::string, std::string> unescaped[] = {
      {R"({"n":"\u4e2d'x'"})" "\r\n", R"({"n":"中'x'"})" "\r\n"},
      {"\rA\rB", "A\rB"},  // only a leading CR goes,
      {"\r\nA", "\r\nA"},  // and not one of a CR LF
      {R"(\u0022\u005c\u000a\u2028\u0041)", R"(\u0022\u005c\u000a\u2028A)"},
      {R"(\\u0041 \n \")", R"(\\u0041 \n \")"},  // other backslash sequences stay
      {"%41%u4e2d 50% off %4 %zz %22", "A中 50% off %4 %zz %22"},
      {R"(\ud83d\ude00|\ud83d|\u0e01x|’)", "??|?|?x|’"},  // as WideCharToMultiByte gives them
      {R"(\u4E2D\u4e2)", R"(中\u4e2)"},
  };
  for (const auto& [in, out] : unescaped) EXPECT_EQ(UnescapeUnicodeText(in), out) << in;
  EXPECT_EQ(PercentDecodeText(R"(%41B\u0041%u4e2d)"), R"(AB\u0041中)");
  const std::pair<std::string, std::int64_t> numbers[] = {
      {"4e 2d", 0x4E2D}, {"ff", 255}, {"", 0}, {"1g", 14},  // a non-digit counts -2
      {"FFFFFFFFFFFFFFFF", INT64_MAX}, {"1000000000000000000", INT64_MAX}, {std::string(17, 'z'), INT64_MIN},
  };
  for (const auto& [digits, value] : numbers) EXPECT_EQ(HexTextToInteger(digits), value) << digits;
  EXPECT_EQ(CodeUnitToGbkText(std::string("\x2D\x4E\0\0\0\0\0\0", 8)), "中");
  EXPECT_EQ(CodeUnitToGbkText(std::string("\x3D\xD8", 2)), "?");
  std::string value = R"(&lt;b&gt; &amp;amp; \u003c&#92;&nbsp;&quot;&#39;\u0026)";
  EXPECT_EQ(DecodeHtmlEntities(value), R"(<b> &amp; <\ "'&)");
  EXPECT_EQ(value, R"(<b> &amp; <\ "'&)");
}

TEST(MyQqPickWord, PicksAfterCollapsingSpaces) {
  const struct {
    const char* source;
    const char* remove;
    int number, strip;
    const char* word;
  } cases[] = {
      {"cmd  first     second", "cmd", 2, 0, "second"},
      {"a          b", "", 2, 0, "b"},   // ten spaces collapse to one
      {"a           b", "", 2, 0, ""},  // eleven leave two: an empty piece
      {"\xA1\xA1 a b \xA1\xA1", "", 1, 0, "a"},  // full-width blanks trimmed at the ends
      {"a\xA1\xA1" "b c", "", 1, 0, "a\xA1\xA1" "b"},
      {"x [@123]", "", 2, 1, "123"},
      {"a b", "", 3, 0, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MyQqHostApi::PickWord(c.source, c.remove, c.number, c.strip), c.word) << c.source << " " << c.number;
}

}  // namespace
}  // namespace zoq::testing
