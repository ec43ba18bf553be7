// The classic hosts' adapters (VLQ, OQ, MingQQ, SP, ER) against their fake
// API DLLs: one set of tests, run for each host.
#include <functional>
#include <memory>

#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

struct ClassicCase {
  const char* host;
  const char* dll;
  std::function<std::unique_ptr<ClassicHostApi>()> make;
  const char* shutUp;
  const char* onlineList;
  const char* outputLog;
  bool sendHasTrailingZero;
  const char* mention;  // of 12345
};

void PrintTo(const ClassicCase& c, std::ostream* os) { *os << c.host; }

template <class Api>
std::function<std::unique_ptr<ClassicHostApi>()> Maker() {
  return [] { return std::make_unique<Api>(); };
}

const ClassicCase kCases[] = {
    {"Vlq", "VLQapi.dll", Maker<VlqHostApi>(), "Api_Shutup", "Api_GetOnLineList", "Api_OutPutLog", true, "[@12345]"},
    {"Oq", "OQapi.dll", Maker<OqHostApi>(), "Api_ShutUP", "Api_GetOnLineList", "Api_OutPutLog", true, "[at=12345]"},
    {"MingQq", "MingQQAPI.DLL", Maker<MingQqHostApi>(), "Api_Shutup", "Api_GetOnlineQQlist", "Api_OutPut", false,
     "[@12345]"},
    {"Sp", "SPapi.dll", Maker<SpHostApi>(), "Api_ShutUP", "Api_GetOnLineList", "Api_OutPutLog", true, "[at=12345]"},
    {"Er", "ERapi.dll", Maker<ErHostApi>(), "Api_ShutUP", "Api_GetOnLineList", "Api_OutPutLog", true, "[at=12345]"},
};

class ClassicHostTest : public ::testing::TestWithParam<ClassicCase> {
 protected:
  const ClassicCase& c = GetParam();
  std::string folder_ = FreshTestFolder();
  FakeHostDll fake_{c.dll, folder_};
  std::unique_ptr<ClassicHostApi> api_ = c.make();

  FakeCall Expect(const std::string& function, std::vector<std::string> args) const {
    return Call(c.dll, function, std::move(args));
  }
  std::vector<std::string> SendArgs(const char* kind, const std::string& target, const std::string& text) const {
    std::vector<std::string> args{"10001", kind, target, target, text};
    if (c.sendHasTrailingZero) args.push_back("0");
    return args;
  }
};

TEST_P(ClassicHostTest, EveryDeclaredRowMatchesTheHostsList) {
  ASSERT_TRUE(fake_.loaded());
  EXPECT_EQ(CompareRows(api_->Declarations(), fake_), std::vector<std::string>{});
}

TEST_P(ClassicHostTest, RepliesGoToApiSendMsgWithTheTargetTwice) {
  api_->SendPrivateMessage("10001", "20002", "你好[表情]");
  api_->SendGroupMessage("10001", "30003", "第一行\r\n第二行");
  api_->SendPrivateMessage("10001", "20002", "");
  EXPECT_EQ(fake_.Calls(), (std::vector<FakeCall>{Expect("Api_SendMsg", SendArgs("1", "20002", "你好[表情]")),
                                                  Expect("Api_SendMsg", SendArgs("2", "30003", "第一行\r\n第二行")),
                                                  // an empty text goes as an empty string, never as null
                                                  Expect("Api_SendMsg", SendArgs("1", "20002", ""))}));
}

TEST_P(ClassicHostTest, MuteRecallAndKickPassTheirValuesInOrder) {
  api_->MuteMember("10001", "30003", "40004", 0);
  api_->MuteMember("10001", "30003", "40004", -60);
  api_->RecallMessage("10001", "30003", "idB", "idA");
  api_->KickMember("10001", "30003", "40004", 0);
  EXPECT_EQ(fake_.Calls(), (std::vector<FakeCall>{Expect(c.shutUp, {"10001", "30003", "40004", "0"}),
                                                  Expect(c.shutUp, {"10001", "30003", "40004", "-60"}),
                                                  Expect("Api_WithdrawMsg", {"10001", "30003", "idB", "idA"}),
                                                  Expect("Api_KickGroupMBR", {"10001", "30003", "40004", "0"})}));
}

TEST_P(ClassicHostTest, OnlineAccountsAreTheHostsTextOrEmpty) {
  fake_.SetAnswer(c.onlineList, "10001\r\n10002");
  EXPECT_EQ(api_->GetOnlineAccounts(), "10001\r\n10002");
  fake_.SetAnswer(c.onlineList, std::nullopt);
  EXPECT_EQ(api_->GetOnlineAccounts(), "");
  EXPECT_EQ(fake_.Calls(), (std::vector<FakeCall>{Expect(c.onlineList, {}), Expect(c.onlineList, {})}));
}

TEST_P(ClassicHostTest, ACopyIsAnotherObjectOfTheSameHost) {
  const ClassicHostApi copy(*api_);
  EXPECT_EQ(copy.MentionCode("12345"), c.mention);
  EXPECT_EQ(CompareRows(copy.Declarations(), fake_), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Hosts, ClassicHostTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.host); });

}  // namespace
}  // namespace zoq::testing
