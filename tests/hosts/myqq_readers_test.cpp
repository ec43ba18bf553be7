// The MyQQ adapter's operations with logic: functions chosen by an argument,
// status texts, and the list and JSON readers on answers of its fake host.
#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

class MyQqReaderTest : public AdapterTest<MyQqHostApi> {
 protected:
  MyQqReaderTest() : AdapterTest("MyQQApi.DLL") {}
  std::vector<std::string> Functions() const {
    std::vector<std::string> names;
    for (const FakeCall& c : fake_.Calls()) names.push_back(c.function);
    return names;
  }
};

using Names = std::vector<std::string>;

TEST_F(MyQqReaderTest, FunctionsChosenByAnArgument) {
  api_.Api_UpVote("1", "2");
  api_.Api_UpVote("1", "2", 1);
  for (int kind = 0; kind <= 8; ++kind) api_.Api_GetGroupPsKey("1", kind);
  api_.Api_NoAdminInviteGroup("r", "g", "q");
  api_.Api_NoAdminInviteGroup("r", "g", "q", 1);
  api_.Api_SendVoice2("a", "b", "c");
  EXPECT_EQ(Functions(), (Names{"Api_UpVote", "Api_UpVoteEx", "Api_GetGroupPsKey", "Api_GetZonePsKey",
                                "Api_GetBlogPsKey", "Api_GetClassRoomPsKey", "Api_GetTenPayPsKey", "Api_GetJuBaoPsKey",
                                "Api_GetQQInfoPsKey", "Api_GetQQVIPPsKey", "Api_NoAdminInviteGroup",
                                "Api_AdminInviteGroup", "Api_SendVoice"}));  // kind 8 calls nothing
  EXPECT_EQ(fake_.Calls()[10].args, (Names{"r", "q", "g"}));
}

TEST_F(MyQqReaderTest, TimeStampSignAndDroppedAnswers) {
  fake_.SetAnswer("Api_GetTimeStamp", "-2");
  EXPECT_EQ(api_.Api_GetTimeStamp(), -2);
  fake_.SetAnswer("Api_DelMsgEssence", "done");
  EXPECT_EQ(api_.Api_DelMsgEssence("1", "2", "3", "4"), "");
  EXPECT_EQ(fake_.Calls().size(), 2u);
}

TEST_F(MyQqReaderTest, StatusTextsAreJudgedExactly) {
  std::string answer = "old";
  fake_.SetAnswer("Api_RedPack_Luck", "success");
  EXPECT_TRUE(api_.Api_RedPack_Luck("1", "2", "3", "4", "5", "6", &answer));
  EXPECT_EQ(answer, "success");
  for (const char* status : {"Success", "success ", ""}) {
    fake_.SetAnswer("Api_RedPack_Luck", status);
    EXPECT_FALSE(api_.Api_RedPack_Luck("1", "2", "3", "4", "5", "6", &answer));
    EXPECT_EQ(answer, status);
  }
  fake_.SetAnswer("Api_RedPack_Kmp3", "success");
  EXPECT_TRUE(api_.Api_RedPack_Kmp3("1", "2", "3", "4", "5"));
  EXPECT_EQ(fake_.Calls().back().args, (Names{"1", "2", "3", "4", "5", "", "0", ""}));
  EXPECT_EQ(fake_.Calls()[0].args.size(), 6u);
}

TEST_F(MyQqReaderTest, LineListsKeepEmptyLinesAndReplaceTheArray) {
  std::vector<MyQqGroupRecord> groups{{"stale", "x", "y", 9}};
  fake_.SetAnswer("Api_GetGroupList_A", "1\r\n\r\n2\r\n");
  EXPECT_EQ(api_.Api_GetGroupList_A("r", &groups), "1\r\n\r\n2\r\n");
  EXPECT_EQ(groups, (std::vector<MyQqGroupRecord>{{"1", "", "", 0}, {"", "", "", 0}, {"2", "", "", 0}}));
  std::vector<MyQqMemberRecord> members{{"stale"}};
  fake_.SetAnswer("Api_GetDisGroupMemberList", "10001\r\n10002");
  api_.Api_GetDisGroupMemberList("r", "d", members);
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[1], MyQqMemberRecord{"10002"});
  fake_.SetAnswer("Api_GetAdminList", std::nullopt);  // no text at all
  std::vector<MyQqAccountRecord> admins{{"stale"}};
  EXPECT_EQ(api_.Api_GetAdminList("r", "g", &admins), "");
  EXPECT_TRUE(admins.empty());
  EXPECT_EQ(fake_.Calls().back().args, (Names{"r", "g"}));
}

TEST_F(MyQqReaderTest, FriendListDecodesAndTakesKeysWhole) {
  fake_.SetAnswer("Api_GetFriendList",
                  R"({"result":{"a'b":{"mems":[{"uin":1,"name":"\u4e2d"},{"uin":"12","name":"y"}]},"e":{"mems":[]},)"
                  R"("n":{}}})");
  std::vector<MyQqFriendRecord> friends{{"stale", ""}};
  const std::string answer = api_.Api_GetFriendList("r", &friends);
  EXPECT_EQ(answer, R"({"result":{"a'b":{"mems":[{"uin":1,"name":"中"},{"uin":"12","name":"y"}]},"e":{"mems":[]},)"
                    R"("n":{}}})");
  EXPECT_EQ(friends, (std::vector<MyQqFriendRecord>{{"1", "中"}, {"\"12\"", "y"}}));
}

TEST_F(MyQqReaderTest, GroupLists) {
  fake_.SetAnswer("Api_GetGroupList",
                  R"({"data":{"group":[{"groupcode":123,"groupname":"g","total_member":25},)"
                  R"({"groupcode":"7","groupname":8,"total_member":"25"}]}})");
  std::vector<MyQqGroupRecord> groups;
  api_.Api_GetGroupList("r", &groups);
  EXPECT_EQ(groups, (std::vector<MyQqGroupRecord>{{"123", "g", "", 25}, {"\"7\"", "8", "", 0}}));

  fake_.SetAnswer("Api_GetGroupList_B", R"({"manage":[{"gc":1,"gn":"m","owner":5}],)"
                                        R"("join":[{"gc":"2","gn":"\u6587"},{"gc":3,"gn":"k","owner":"6"}]})");
  EXPECT_EQ(api_.Api_GetGroupList_B("r", groups),
            R"({"manage":[{"gc":1,"gn":"m","owner":5}],"join":[{"gc":"2","gn":"文"},{"gc":3,"gn":"k","owner":"6"}]})");
  EXPECT_EQ(groups, (std::vector<MyQqGroupRecord>{{"1", "m", "5", 0}, {"\"2\"", "文", "", 0}, {"3", "k", "\"6\"", 0}}));
  fake_.SetAnswer("Api_GetGroupList_B", "not json");
  EXPECT_EQ(api_.Api_GetGroupList_B("r", groups), "not json");
  EXPECT_TRUE(groups.empty());
}

TEST_F(MyQqReaderTest, MemberListsAndRoles) {
  fake_.SetAnswer("Api_GetGroupMemberList",
                  R"({"mems":[{"uin":11,"nick":"a&lt;b","card":"&amp;lt;","join_time":"123","last_speak_time":9,)"
                  R"("lv":{"point":1200,"level":5},"role":2},{"uin":"12"}]})");
  std::vector<MyQqMemberRecord> members;
  api_.Api_GetGroupMemberList("r", "g", members);
  EXPECT_EQ(members, (std::vector<MyQqMemberRecord>{{"11", "a<b", 123, 9, "&lt;", 1200, 5, 2}, {"12"}}));

  // Administrators are whole numbers between "-": 45 is not one of 345.
  fake_.SetAnswer("Api_GetGroupMemberList_C",
                  R"({"owner":11,"adm":[345,11,13],"members":{"11":{"nk":"a&lt;","jt":"123"},)"
                  R"("13":{"jt":123,"lp":4,"ll":"2","cd":"c"},"45":{},"34":{}}})");
  api_.Api_GetGroupMemberList_C("r", "g", members);
  EXPECT_EQ(members, (std::vector<MyQqMemberRecord>{{"11", "a&lt;", 0, 0, "", 0, 0, 0},
                                                    {"13", "", 123, 0, "c", 4, 0, 1},
                                                    {"45", "", 0, 0, "", 0, 0, 2},
                                                    {"34", "", 0, 0, "", 0, 0, 2}}));
  fake_.SetAnswer("Api_GetGroupMemberList_C", R"({"owner":"11","adm":[11],"members":{"11":{}}})");
  api_.Api_GetGroupMemberList_C("r", "g", members);
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].Role, 1);  // a quoted owner matches no key
}

TEST_F(MyQqReaderTest, Notices) {
  fake_.SetAnswer("Api_GetNotice", R"({"inst":[{"fid":"f0","msg":{"title":"t","text":"a&#10;b&#10c"},"u":12345,)"
                                   R"("pubt":1}],"feeds":[{"fid":"f1","u":"9"},{"fid":"f2"}]})");
  std::vector<GroupNoticeRecord> notices{{"stale"}};
  api_.Api_GetNotice("r", "g", &notices);
  EXPECT_EQ(notices, (std::vector<GroupNoticeRecord>{{"12345", "t", "a\r\nb&#10c", 1, "f0", "1"},
                                                     {"\"9\"", "", "", 0, "f1", ""},
                                                     {"", "", "", 0, "f2", ""}}));
  fake_.SetAnswer("Api_GetNotice", "");
  api_.Api_GetNotice("r", "g", &notices);
  EXPECT_EQ(notices, (std::vector<GroupNoticeRecord>{{"", "", "", 1, "", ""}}));
}

TEST_F(MyQqReaderTest, BalanceGiftsAndLevel) {
  BalanceRecord balance{"keep", "keep", "keep"};
  std::string answer = "old";
  for (const char* none : {"null", ""}) {
    fake_.SetAnswer("Api_QueryBalance", none);
    EXPECT_FALSE(api_.Api_QueryBalance("r", "p", &balance, &answer));
    EXPECT_EQ(answer, none);
    EXPECT_EQ(balance, (BalanceRecord{"keep", "keep", "keep"}));
  }
  fake_.SetAnswer("Api_QueryBalance", R"({"name":"n","card":"c","rmb":1.5})");
  answer = "old";
  EXPECT_TRUE(api_.Api_QueryBalance("r", "p", &balance, &answer));
  EXPECT_EQ(balance, (BalanceRecord{"n", "c", "1.5"}));
  EXPECT_EQ(answer, "old");

  fake_.SetAnswer("Api_CheckGift", R"({"data":{"pkgList":{"giftInfo":[{"GiftId":1,"GiftName":"g","GiftNum":3},)"
                                   R"({"GiftId":"2","GiftNum":"3"}]}}})");
  std::vector<GiftRecord> gifts;
  api_.Api_CheckGift("r", &gifts);
  EXPECT_EQ(gifts, (std::vector<GiftRecord>{{"1", "g", 3}, {"\"2\"", "", 0}}));
  GiftRecord gift{"id", "old", 7};
  fake_.SetAnswer("Api_TakeGift", R"({"Data":{"op":[{"packet":[{"name":"p"}]}]}})");
  api_.Api_TakeGift("r", &gift);
  EXPECT_EQ(gift, (GiftRecord{"id", "p", 7}));

  fake_.SetAnswer("Api_GetQQLevelInfo", R"({ "QQ": 1, "Level":"2","Days":3,"NeedDays":4,"Vip":"v" })");
  LevelInfoRecord level;
  EXPECT_EQ(api_.Api_GetQQLevelInfo("r", "q", &level), R"({"QQ":1,"Level":"2","Days":3,"NeedDays":4,"Vip":"v"})");
  EXPECT_EQ(level, (LevelInfoRecord{"1", "2", "3", "4", "v"}));
}

TEST_F(MyQqReaderTest, NoticeReadersPhotoWallAndFileLink) {
  fake_.SetAnswer("Api_GetNoticDetail", R"({"data":{"users":[{"uin":10001},{"uin":"10002"}]}})");
  std::vector<std::string> uins{"stale"};
  api_.Api_GetNoticDetail("r", "g", "n", uins);
  EXPECT_EQ(uins, (Names{"10001", "\"10002\""}));

  fake_.SetAnswer("Api_GetPhotoWall", R"({"data":{"photo_list":[{"filekey":"k","ctime":5,"burl":"b","murl":"m",)"
                                      R"("surl":"s","ourl":"o"},{"ctime":"6"}]}})");
  std::vector<MyQqPhotoRecord> photos;
  api_.Api_GetPhotoWall("r", "q", photos);
  EXPECT_EQ(photos, (std::vector<MyQqPhotoRecord>{{"k", "5", "b", "m", "s", "o"}, {"", "\"6\""}}));

  fake_.SetAnswer("Api_GetGroupFileUrl", R"({"filelink":"http://x/y","other":1})");
  EXPECT_EQ(api_.Api_GetGroupFileUrl("1", "2", "3", "4", "5"), "http://x/y");
  fake_.SetAnswer("Api_GetGroupFileUrl", "{}");
  EXPECT_EQ(api_.Api_GetGroupFileUrl("1", "2", "3", "4", "5"), "");
}

TEST_F(MyQqReaderTest, MemberInfoOnlyForOneMatch) {
  const std::string match = R"({"search_count":"1","mems":[{"uin":"5","qage":3,"card":"c","join_time":7,)"
                            R"("g":0,"lv":{"point":"1200","level":5},"role":1}]})";
  fake_.SetAnswer("Api_GetGroupMemberInfo", match);
  MyQqMemberInfoRecord info;
  EXPECT_EQ(api_.Api_GetGroupMemberInfo("r", "g", "q", info), match);
  EXPECT_EQ(info, (MyQqMemberInfoRecord{"\"5\"", "3", "c", "7", "", "男", 0, 5, 1}));
  fake_.SetAnswer("Api_GetGroupMemberInfo", R"({"search_count":2,"mems":[{"uin":6}]})");
  EXPECT_EQ(api_.Api_GetGroupMemberInfo("r", "g", "q", info), "");
  EXPECT_EQ(info.Uin, "\"5\"");
  fake_.SetAnswer("Api_GetGroupMemberInfo", R"({"search_count":1,"mems":[{"g":"0"}]})");
  api_.Api_GetGroupMemberInfo("r", "g", "q", info);
  EXPECT_EQ(info.Gender, "女");
}

TEST_F(MyQqReaderTest, GroupSettingsFilesAndAdministrators) {
  fake_.SetAnswer("Api_GetGroupSetInfo",
                  R"({"forbid_chat":1,"search":"1","shutup":{"me_shutup":600,"all_shutup":0,)"
                  R"("list":[{"uin":7,"manager":1,"t":30}]},"invite_friend":1,)"
                  R"("admin_auth":[{"uin":1,"nick":"n","owner":1,"oper":true}]})");
  MyQqGroupSettings settings;
  std::vector<MyQqAdminEntry> admins{{"stale"}};
  std::vector<MyQqMutedEntry> muted{{"stale"}};
  api_.Api_GetGroupSetInfo("r", "g", settings, admins, muted);
  EXPECT_EQ(settings, (MyQqGroupSettings{0, 1, 1, 1, 1, 600, 0, 1, 1}));
  EXPECT_EQ(admins, (std::vector<MyQqAdminEntry>{{"1", "\"n\"", 1, 0}}));
  EXPECT_EQ(muted, (std::vector<MyQqMutedEntry>{{"7", 1, 30}}));
  fake_.SetAnswer("Api_GetGroupSetInfo", std::nullopt);
  EXPECT_EQ(api_.Api_GetGroupSetInfo("r", "g", settings, admins, muted), "");
  EXPECT_EQ(settings, (MyQqGroupSettings{1, 1, 0, 1, 0, 0, 0, 1, 1}));
  EXPECT_TRUE(admins.empty() && muted.empty());

  fake_.SetAnswer("Api_GetGroupFileList",
                  R"({"file_list":[{"type":1,"id":"i","name":"n","size":1024,"md5":"m","sha":"s",)"
                  R"("download_times":2,"owner_uin":9,"owner_name":"o","create_time":100},{"size":"1024","owner_uin":"9"}]})");
  std::vector<MyQqGroupFileEntry> files;
  api_.Api_GetGroupFileList("r", "g", files);
  EXPECT_EQ(files, (std::vector<MyQqGroupFileEntry>{{1, "i", "n", 1024, "m", "s", 2, "9", "o", "100"},
                                                    {0, "", "", 0, "", "", 0, "\"9\"", "", ""}}));
  EXPECT_EQ(fake_.Calls().back().args, (Names{"r", "g", ""}));

  fake_.SetAnswer("Api_GetAdminListEx", R"([{"uin":"1","nick":"n","owner":"1","oper":1},{"uin":2,"owner":true}])");
  api_.Api_GetAdminListEx("r", "g", admins);
  EXPECT_EQ(admins, (std::vector<MyQqAdminEntry>{{"\"1\"", "n", 0, 1}, {"2", "", 0, 0}}));
  fake_.SetAnswer("Api_GetAdminListEx", "[]");
  EXPECT_EQ(api_.Api_GetAdminListEx("r", "g", admins), "[]");
  EXPECT_TRUE(admins.empty());
}

TEST_F(MyQqReaderTest, OmittedOutputsAreLeftAlone) {
  fake_.SetAnswer("Api_QueryBalance", "null");
  EXPECT_FALSE(api_.Api_QueryBalance("r", "p"));
  fake_.SetAnswer("Api_GetFriendList_B", "1\r\n");
  EXPECT_EQ(api_.Api_GetFriendList_B("r"), "1\r\n");
  fake_.SetAnswer("Api_RedPack_Exclusive", "success");
  EXPECT_TRUE(api_.Api_RedPack_Exclusive("1", "2", "3", "4", "5", "6", "7"));
}

TEST(MyQqPickWord, PicksAfterCollapsingSpaces) {
  struct Case {
    const char* source;
    const char* remove;
    int number;
    int strip;
    const char* word;
  };
  const Case cases[] = {
      {"cmd  first     second", "cmd", 2, 0, "second"},
      {"a          b", "", 2, 0, "b"},             // ten spaces collapse to one
      {"a           b", "", 2, 0, ""},            // eleven leave two: an empty piece
      {"a           b", "", 3, 0, "b"},
      {"\xA1\xA1 a b \xA1\xA1", "", 1, 0, "a"},  // full-width blanks trimmed at the ends
      {"a\xA1\xA1" "b c", "", 1, 0, "a\xA1\xA1" "b"},
      {"x [@123]", "", 2, 1, "123"},
      {"x [@123]", "", 2, 0, "[@123]"},
      {"a b", "", 0, 0, ""},
      {"a b", "", 3, 0, ""},
      {"", "", 1, 0, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MyQqHostApi::PickWord(c.source, c.remove, c.number, c.strip), c.word) << c.source << " " << c.number;
}

}  // namespace
}  // namespace zoq::testing
