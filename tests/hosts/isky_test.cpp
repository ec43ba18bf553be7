// The ISky host's adapter (the operations the core calls) against its fake
// message.dll.
#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

class IskyHostTest : public AdapterTest<IskyHostApi> {
 protected:
  IskyHostTest() : AdapterTest("message.dll") {}
};

TEST_F(IskyHostTest, EveryDeclaredRowMatchesTheHostsList) {
  ASSERT_TRUE(fake_.loaded());
  EXPECT_EQ(CompareRows(api_.Declarations(), fake_), std::vector<std::string>{});
}

TEST_F(IskyHostTest, EveryCallPassesTheAuthCodeFirst) {
  fake_.SetAnswer("Api_GetLoginQQ", "10001");
  fake_.SetAnswer("Api_SendMsg", "5");
  api_.SetAuthCode(-7);
  EXPECT_EQ(api_.GetLoginAccount(), "10001");
  EXPECT_EQ(api_.SendPrivateMessage("20002", "[CQ:face,id=1]"), 5);
  api_.SendGroupMessage("30003", "hi", 0);
  api_.MuteMember("30003", "20002", 60);
  api_.RecallMessage(-123);
  api_.KickMember("30003", "20002");
  api_.KickMember("30003", "20002", true);
  EXPECT_EQ(fake_.Calls(),
            (std::vector<FakeCall>{Expect("Api_GetLoginQQ", {"-7"}),
                                   Expect("Api_SendMsg", {"-7", "1", "", "20002", "[CQ:face,id=1]", "1"}),
                                   Expect("Api_SendMsg", {"-7", "2", "30003", "", "hi", "0"}),
                                   Expect("Api_SetGroupBan", {"-7", "30003", "20002", "60"}),  // a double
                                   Expect("Api_DeleteMsg", {"-7", "-123"}),
                                   Expect("Api_SetGroupKick", {"-7", "30003", "20002", "0"}),
                                   Expect("Api_SetGroupKick", {"-7", "30003", "20002", "1"})}));
}

TEST_F(IskyHostTest, MentionCodesNeedNoHost) {
  EXPECT_EQ(IskyHostApi::MentionCode("12345"), "[CQ:at,qq=12345]");
  EXPECT_EQ(IskyHostApi::MentionCode(""), "[CQ:at,qq=]");
  fake_.SetAnswer("Api_GetLoginQQ", std::nullopt);
  EXPECT_EQ(api_.GetLoginAccount(), "");
  EXPECT_EQ(fake_.Calls(), (std::vector<FakeCall>{Expect("Api_GetLoginQQ", {"0"})}));
}

}  // namespace
}  // namespace zoq::testing
