// The MyQQ host's adapter against its fake MyQQApi.DLL.
#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

class MyQqHostTest : public AdapterTest<MyQqHostApi> {
 protected:
  MyQqHostTest() : AdapterTest("MyQQApi.DLL") {}
};

TEST_F(MyQqHostTest, EveryDeclaredRowMatchesTheHostsList) {
  ASSERT_TRUE(fake_.loaded());
  EXPECT_EQ(CompareRows(api_.Declarations(), fake_), std::vector<std::string>{});
}

TEST_F(MyQqHostTest, TheFourSendFormsPlaceTheirArgumentsEachItsOwnWay) {
  api_.SendMessage("10001", 2, "300", "400", "群消息", 0, 0, 0);
  api_.SendMessage("10001", 1, "", "400", "<xml/>", 8, 1, 1);
  api_.SendMessage("10001", 2, "300", "", "{}", 8, 1, 2);
  api_.SendMessage("10001", 2, "300", "400", "长消息", 8, 1, 3);
  api_.SendMessage("10001", 1, "", "400", "x", 8, 0, 7);  // any other form sends as form 0
  api_.SendMessage("10001", 1, "", "400", "y");
  EXPECT_EQ(fake_.Calls(),
            (std::vector<FakeCall>{Expect("Api_SendMsgEx", {"10001", "0", "2", "300", "400", "群消息", "0"}),
                                   Expect("Api_SendXml", {"10001", "1", "1", "", "400", "<xml/>", "0"}),
                                   Expect("Api_SendJson", {"10001", "1", "2", "300", "", "{}"}),
                                   Expect("Api_SendLongMsg", {"10001", "2", "300", "400", "长消息", "1"}),
                                   Expect("Api_SendMsgEx", {"10001", "0", "1", "", "400", "x", "8"}),
                                   Expect("Api_SendMsgEx", {"10001", "0", "1", "", "400", "y", "0"})}));
}

TEST_F(MyQqHostTest, AnAnonymousValueOfOneOrMoreGoesAsOne) {
  api_.SendMessage("1", 2, "3", "4", "m", 0, 5, 0);
  api_.SendMessage("1", 2, "3", "4", "m", 0, -1, 0);
  api_.SendMessage("1", 2, "3", "4", "m", 0, 5, 3);
  api_.SendMessage("1", 2, "3", "4", "m", 0, 0x7FFFFFFF, 2);
  const auto calls = fake_.Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].args[1], "1");
  EXPECT_EQ(calls[1].args[1], "-1");
  EXPECT_EQ(calls[2].args[5], "1");
  EXPECT_EQ(calls[3].args[1], "1");
}

TEST_F(MyQqHostTest, TheAccountListOfEachMode) {
  fake_.SetAnswer("Api_GetOnlineQQlist", "1\r\n\r\n2\r\n");
  fake_.SetAnswer("Api_GetQQList", "all");
  fake_.SetAnswer("Api_GetOffLineList", "off");
  EXPECT_EQ(api_.GetOnlineAccounts(), "1\r\n\r\n2\r\n");  // not split
  EXPECT_EQ(api_.GetOnlineAccounts(1), "all");
  EXPECT_EQ(api_.GetOnlineAccounts(2), "off");
  EXPECT_EQ(api_.GetOnlineAccounts(9), "1\r\n\r\n2\r\n");
  EXPECT_EQ(api_.GetOnlineAccounts(-1), "1\r\n\r\n2\r\n");
  const auto calls = fake_.Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[1].function, "Api_GetQQList");
  EXPECT_EQ(calls[2].function, "Api_GetOffLineList");
  EXPECT_EQ(calls[3].function, "Api_GetOnlineQQlist");
}

}  // namespace
}  // namespace zoq::testing
