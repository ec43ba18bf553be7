// The function-table host's adapter: the API table lookup, and the
// operations the core calls against the fake host's functions, whose
// addresses the test lists in the table.
#include <windows.h>

#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

TEST(TableLookup, FindsMembersByTheirWholeName) {
  TableHostApi api;
  EXPECT_EQ(api.LookupApiAddress("a"), 0u);  // no table yet
  api.InitApiTable("key", "{\"a\":1,\"b\":2}");
  EXPECT_EQ(api.LookupApiAddress("a"), 1u);
  EXPECT_EQ(api.LookupApiAddress("b"), 2u);  // the last member ends at the brace
  EXPECT_EQ(api.LookupApiAddress("c"), 0u);
  api.InitApiTable("key", "{\"a\": 1,\"b\": 2}");
  EXPECT_EQ(api.LookupApiAddress("a"), 1u);
  EXPECT_EQ(api.LookupApiAddress("b"), 2u);
  api.InitApiTable("key", "{\"a\" :1,\"b\" :2}");
  EXPECT_EQ(api.LookupApiAddress("a"), 0u);
  api.InitApiTable("key", "{\"撤回消息_群聊s\":5,\"撤回消息_群聊\":6,\"发送群消息\":7,\"x\":8,\"x\":9,\"big\":4294967295}");
  EXPECT_EQ(api.LookupApiAddress("撤回消息_群聊"), 6u);
  EXPECT_EQ(api.LookupApiAddress("群消息"), 0u);
  EXPECT_EQ(api.LookupApiAddress("x"), 8u);  // the first member of a name
  EXPECT_EQ(api.LookupApiAddress("big"), 4294967295u);
  api.InitApiTable("key", "{\"q\":\"12\"}");
  EXPECT_EQ(api.LookupApiAddress("q"), 0u);
}

class TableHostTest : public AdapterTest<TableHostApi> {
 protected:
  TableHostTest() : AdapterTest("tablehost.dll") {}
  // The table the host would hand over: every function of the fake host.
  std::string ApiTable() const {
    std::string table = "{";
    for (const auto& [name, kinds] : fake_.Functions()) {
      const auto address = reinterpret_cast<std::uintptr_t>(GetProcAddress(static_cast<HMODULE>(fake_.module()), name.c_str()));
      table += (table.size() > 1 ? ",\"" : "\"") + name + "\":" + std::to_string(address);
    }
    return table + "}";
  }
};

TEST_F(TableHostTest, EveryDeclaredRowMatchesTheHostsList) {
  ASSERT_TRUE(fake_.loaded());
  EXPECT_EQ(CompareRows(api_.Declarations(), fake_), std::vector<std::string>{});
}

TEST_F(TableHostTest, BeforeTheTableArrivesNothingIsCalled) {
  fake_.SetAnswer("发送群消息", "sent");
  fake_.SetAnswer("禁言群成员", "1");
  EXPECT_EQ(api_.SendGroupMessage(1, 2, "x"), "");
  EXPECT_FALSE(api_.MuteMember(1, 2, 3, 60));
  EXPECT_TRUE(fake_.Calls().empty());
  api_.InitApiTable("KEY", ApiTable());
  EXPECT_EQ(api_.SendGroupMessage(1, 2, "x"), "sent");
  EXPECT_TRUE(api_.MuteMember(1, 2, 3, 60));
}

TEST_F(TableHostTest, CallsPassTheKeyFirstAndNumbersAsSixtyFourBits) {
  api_.InitApiTable("KEY", ApiTable());
  fake_.SetAnswer("撤回消息_群聊", "2");  // any word but 0 is true
  fake_.SetAnswer("取框架QQ", "{\"QQlist\":{}}");
  const std::int64_t robot = 2147483648LL * 3;  // above 32 bits
  api_.SendPrivateMessage(robot, 20002, "你好");
  api_.SendGroupMessage(robot, 30003, "");
  api_.MuteMember(robot, 30003, 20002, 60);
  EXPECT_TRUE(api_.RecallMessage(robot, 30003, -9876543210123LL, -5));
  api_.KickMember(robot, 30003, 20002, false);
  api_.SendChannelMessage(robot, 40004, 50005, "频道");
  api_.SendChannelDirectMessage(robot, 40004, 50005, "私信");
  api_.RecallChannelMessage(robot, 40004, 50005, 77);
  api_.MuteChannelMember(robot, 40004, 20002);
  api_.KickChannelMember(robot, 40004, 20002);
  api_.OutputLog("日志");
  EXPECT_EQ(api_.GetOnlineAccounts(), "{\"QQlist\":{}}");
  const std::string r = "6442450944";
  const auto call = [](const std::string& f, std::vector<std::string> args) {
    return Call("tablehost.dll", f, std::move(args));
  };
  EXPECT_EQ(fake_.Calls(),
            (std::vector<FakeCall>{call("发送好友消息", {"KEY", r, "20002", "你好", "ptr", "ptr"}),
                                   call("发送群消息", {"KEY", r, "30003", "", "0"}),
                                   call("禁言群成员", {"KEY", r, "30003", "20002", "60"}),
                                   call("撤回消息_群聊", {"KEY", r, "30003", "-9876543210123", "-5"}),
                                   call("删除群成员", {"KEY", r, "30003", "20002", "0"}),
                                   call("发送频道消息", {"KEY", r, "40004", "50005", "频道"}),
                                   call("发送频道私信消息", {"KEY", r, "40004", "50005", "私信"}),
                                   call("撤回频道消息", {"KEY", r, "40004", "50005", "77"}),
                                   call("禁言频道成员", {"KEY", r, "40004", "20002", "0"}),
                                   call("移除频道成员", {"KEY", r, "40004", "20002", "0"}),
                                   call("输出日志", {"KEY", "日志", "32768", "16777215"}),
                                   call("取框架QQ", {"KEY"})}));
}

TEST_F(TableHostTest, AnEmptyKeyGoesAsAnEmptyText) {
  api_.InitApiTable("", ApiTable());
  api_.GetOnlineAccounts();
  const auto calls = fake_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args, std::vector<std::string>{""});
}

}  // namespace
}  // namespace zoq::testing
