// The function-table host's adapter: the API table lookup, the argument
// kinds as the host receives them, the host's variables, and the operations
// that do more than forward, against the fake host's functions, whose
// addresses the test lists in the table.
#include <windows.h>

#include <cstring>
#include <functional>

#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

TEST(TableLookup, FindsMembersByTheirWholeName) {
  TableHostApi api;
  const struct {
    const char* table;
    const char* name;
    std::uint32_t address;
  } cases[] = {
      {"", "a", 0},  // no table yet
      {"{\"a\":1,\"b\":2}", "a", 1},
      {"{\"a\":1,\"b\":2}", "b", 2},  // the last member ends at the brace
      {"{\"a\":1,\"b\":2}", "c", 0},
      {"{\"a\": 1,\"b\": 2}", "b", 2},
      {"{\"a\" :1,\"b\" :2}", "a", 0},
      {"{\"撤回消息_群聊s\":5,\"撤回消息_群聊\":6}", "撤回消息_群聊", 6},
      {"{\"发送群消息\":7}", "群消息", 0},
      {"{\"x\":8,\"x\":9,\"big\":4294967295}", "x", 8},  // the first member of a name
      {"{\"x\":8,\"x\":9,\"big\":4294967295}", "big", 4294967295u},
      {"{\"q\":\"12\"}", "q", 0},
      {"{\"a\":1,\"b\":2}", "a#引号:1,#引号b", 2},  // "#引号" in a name stands for a double quote
  };
  for (const auto& c : cases) {
    api.InitApiTable("key", c.table);
    EXPECT_EQ(api.LookupApiAddress(c.name), c.address) << c.table << " " << c.name;
  }
}

class TableHostTest : public AdapterTest<TableHostApi> {
 protected:
  TableHostTest() : AdapterTest("tablehost.dll") { api_.InitApiTable("KEY", ApiTableOf(fake_)); }
  // The arguments of the one call recorded since the last reset.
  std::vector<std::string> Sent(const std::string& function) {
    const auto calls = fake_.Calls();
    fake_.Reset();
    EXPECT_EQ(calls.size(), 1u);
    if (calls.size() != 1 || calls[0].function != function) return {"no single call of " + function};
    return calls[0].args;
  }
};

void __stdcall Progress() {}

TEST_F(TableHostTest, EveryKindCrossesAsTheHostWantsIt) {
  hosts::HostI64Array roles({7, -8});
  const auto callback = reinterpret_cast<std::uintptr_t>(&Progress);
  const struct {
    const char* function;
    std::function<void()> call;
    std::vector<std::string> sent;
  } shapes[] = {
      {"是否被禁言", [&] { api_.是否被禁言(-9876543210123LL, 6442450944LL); }, {"KEY", "-9876543210123", "6442450944"}},
      {"取昵称_从缓存", [&] { api_.取昵称_从缓存(""); }, {"KEY", ""}},  // an empty text is an empty text
      {"设置管理员", [&] { api_.设置管理员(1, 2, 3, true); }, {"KEY", "1", "2", "3", "1"}},
      {"上传头像", [&] { api_.上传头像(1, std::string("p\tn")); }, {"KEY", "1", "p\tn"}},  // bytes: address and length
      {"上传群头像", [&] { api_.上传群头像(1, 2, ""); }, {"KEY", "1", "2", ""}},
      {"创建子频道",
       [&] { api_.创建子频道(1, -2, "名", "", std::nullopt, std::nullopt, 3, 4, 5, &roles, nullptr, 6, 7); },
       {"KEY", "1", "-2", "名", "", "2", "1", "3", "4", "5", "array:2,7,-8", "array:0", "6", "7"}},
      // trailing optional arguments left out: their defaults, zeroed variables
      {"QQ列表_添加QQ", [&] { api_.QQ列表_添加QQ(9); }, {"KEY", "9", "", "", "", "0", ""}},
      {"设置位置共享s", [&] { api_.设置位置共享s(1, 2, 0.1, 2, true, 3); },
       {"KEY", "1", "2", "0.10000000000000001", "2", "1", "3"}},
      {"发送群临时消息", [&] { api_.发送群临时消息(1, 2, 3, "x"); }, {"KEY", "1", "2", "3", "x", "ptr", "ptr"}},
      {"置子频道观看权限", [&] { api_.置子频道观看权限(1, 2, 3); },
       {"KEY", "1", "2", "3", "0", "array:0", "0", "array:0", "0"}},
      {"置文件下载", [&] { api_.置文件下载("http://a", "C:\\b", callback); },
       {"KEY", "http://a", "C:\\b", std::to_string(callback), "", "0"}},
      // values put right before the call, and the host's order of arguments
      {"群权限_设置群发言频率", [&] { api_.群权限_设置群发言频率(1, 2, -5); }, {"KEY", "1", "2", "0"}},
      {"群权限_设置群查找方式", [&] { api_.群权限_设置群查找方式(1, 2, 3); }, {"KEY", "1", "2", "1"}},
      {"置群内消息通知", [&] { api_.置群内消息通知(1, 2, 3, -1); }, {"KEY", "1", "2", "3", "2"}},
      {"置群内消息通知", [&] { api_.置群内消息通知(1, 2, 3, 0); }, {"KEY", "1", "2", "3", "0"}},
      {"取收款链接", [&] { api_.取收款链接(1, 0, "x"); }, {"KEY", "1", "5000000", "x"}},
      {"重载自身", [&] { api_.重载自身(); }, {"KEY", "empty"}},
      {"发送群公告", [&] { api_.发送群公告(1, 2, "标题", "内容", "PIC", "视频", true, false, true, false, true); },
       {"KEY", "1", "2", "标题", "内容", "视频", "1", "0", "1", "0", "1", "PIC"}},
      {"上传频道文件", [&] { api_.上传频道文件(1, 2, 3, "f", 1, 2, 3); }, {"KEY", "1", "f", "2", "3", "2", "3", "1"}},
  };
  for (const auto& s : shapes) {
    s.call();
    EXPECT_EQ(Sent(s.function), s.sent) << s.function;
  }
  api_.群聊签到(1, 2);
  const std::string form = Sent("群聊签到").back();
  EXPECT_EQ(form.size(), 188u);
  EXPECT_TRUE(form.starts_with("template_data=&gallery_info=%7B%22category_id%22%3A9"));
  fake_.SetAnswer("修改昵称", "2");
  EXPECT_TRUE(api_.修改昵称(1, "n"));  // any word but 0 is true
  fake_.SetAnswer("是否被禁言", "-9876543210123");
  EXPECT_EQ(api_.是否被禁言(1, 2), -9876543210123LL);
}

TEST_F(TableHostTest, CodesTheHostAnswersAreCompleted) {
  const struct {
    const char* function;
    const char* answer;
    std::function<std::string()> call;
    const char* code;
  } cases[] = {
      {"上传好友图片", "[pic,hash=1]", [&] { return api_.上传好友图片(1, 2, false, "png"); },
       "[pic,hash=1,wide=0,high=0,cartoon=false]"},
      {"上传频道图片", "[pic]", [&] { return api_.上传频道图片(1, 2, 3, "png", 300, -200, true); },
       "[pic,wide=300,high=-200,cartoon=true]"},
      {"上传群语音", "[voice]", [&] { return api_.上传群语音(1, 2, 0, "", "amr", 15); }, "[voice,time=15]"},
      {"上传群语音", "上传失败", [&] { return api_.上传群语音(1, 2, 0, "", "amr", 15); }, "上传失败"},
      {"上传小视频", "[video=x]", [&] { return api_.上传小视频(1, 2, "t", "V", 640, 480, 15); },
       "[video=x,wide=640,high=480,time=15]"},
  };
  for (const auto& c : cases) {
    fake_.SetAnswer(c.function, c.answer);
    EXPECT_EQ(c.call(), c.code) << c.function;
  }
  EXPECT_EQ(fake_.Calls().back().args.size(), 5u);  // the sizes are not the host's
}

TEST_F(TableHostTest, ProfileChangeBuildsItsJson) {
  const std::pair<TableHostApi::ProfileChange, std::string> cases[] = {
      {{}, "{\"info\":{}}"},
      {{.性别 = 2, .职业 = 14}, "{\"info\":{\"性别\":\"2\",\"职业\":\"14\"}}"},
      {{.昵称 = "", .性别 = 0, .职业 = 15, .个人说明 = "说明"},
       "{\"info\":{\"昵称\":\"\",\"性别\":\"1\",\"职业\":\"1\",\"个人说明\":\"说明\"}}"},
      {{.性别 = 3, .公司 = "A\"B\\C\nD", .邮箱 = "表"}, "{\"info\":{\"性别\":\"1\",\"公司\":\"A\\\"B\\\\C\\u000aD\",\"邮箱\":\"表\"}}"},
      {{.家乡 = "乗"}, "{\"info\":{\"家乡\":\"乗\"}}"},  // its second byte is a backslash
      // A lead byte alone, before a quote, a line break or at the end: "?",
      // never the first byte of a character whose second byte is the
      // backslash of the escape after it, or the closing quote.
      {{.公司 = "\x81\"x\x81\nx\x81"}, "{\"info\":{\"公司\":\"?\\\"x?\\u000ax?\"}}"},
  };
  for (const auto& [change, json] : cases) {
    api_.修改资料(1, change);
    EXPECT_EQ(Sent("修改资料").back(), json);
  }
}

// What the host writes lands in the caller's variables; a list operation
// empties the caller's array first (freeing what it held), also when the
// host lacks the function.
TEST_F(TableHostTest, TheHostsVariables) {
  fake_.SetAnswer("取私信频道Id", "1");
  fake_.SetAnswer("取私信频道Id#4", "１２3");  // full-width digits count
  fake_.SetAnswer("取私信频道Id#5", "");
  std::int64_t first = 9, second = 9;
  EXPECT_TRUE(api_.取私信频道Id(1, 2, 3, &first, &second));
  EXPECT_EQ(std::make_pair(first, second), std::make_pair(std::int64_t{123}, std::int64_t{0}));
  EXPECT_EQ(fake_.LiveBlocks(), 0);  // the operation's own variables freed the host's texts
  fake_.SetAnswer("取群成员列表", "3");
  fake_.SetAnswer("取群成员列表#3", "2");
  hosts::HostArray<GroupMemberInfo> members;
  EXPECT_EQ(api_.取群成员列表(1, 2, &members), 3);
  EXPECT_EQ(members.size(), 2u);
  EXPECT_EQ(fake_.LiveBlocks(), 3);  // the host's array and records, held by `members`
  api_.InitApiTable("KEY", "{}");  // the host lacks the function
  EXPECT_EQ(api_.取群成员列表(1, 2, &members), 0);
  EXPECT_EQ(members.size(), 0u);
  EXPECT_NE(members.address(), 0u);
  EXPECT_EQ(fake_.LiveBlocks(), 0);
  first = second = 9;
  EXPECT_FALSE(api_.取私信频道Id(1, 2, 3, &first, &second));
  EXPECT_EQ(std::make_pair(first, second), std::make_pair(std::int64_t{0}, std::int64_t{0}));
}

}  // namespace
}  // namespace zoq::testing
