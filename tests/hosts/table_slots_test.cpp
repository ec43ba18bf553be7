// The function-table host's slots beyond the core's: the argument shapes as
// the host receives them, and the operations that do more than forward.
#include <windows.h>

#include <functional>

#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

class TableSlotsTest : public AdapterTest<TableHostApi> {
 protected:
  TableSlotsTest() : AdapterTest("tablehost.dll") { api_.InitApiTable("KEY", ApiTableOf(fake_)); }
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

TEST_F(TableSlotsTest, ArgumentShapesReachTheHostAsDeclared) {
  hosts::HostI64Array roles({7, -8});
  struct Shape {
    const char* function;
    std::function<void()> call;
    std::vector<std::string> sent;
  };
  const auto callback = reinterpret_cast<std::uintptr_t>(&Progress);
  const std::vector<Shape> shapes{
      // the most words: 64-bit numbers, texts, ints, arrays of 64-bit numbers
      {"创建子频道",
       [&] { api_.创建子频道(1, -2, "名", "", std::nullopt, std::nullopt, 3, 4, 5, &roles, nullptr, 6, 7); },
       {"KEY", "1", "-2", "名", "", "2", "1", "3", "4", "5", "array:2,7,-8", "array:0", "6", "7"}},
      {"创建子频道", [&] { api_.创建子频道(1, 2, "a", "b", 0, 0, 0, 0, 0, nullptr, nullptr, 0, 0); },
       {"KEY", "1", "2", "a", "b", "0", "0", "0", "0", "0", "array:0", "array:0", "0", "0"}},
      // the most arguments, optional ones in the middle given by the caller
      {"创建日程", [&] { api_.创建日程(1, 2, 3, "t", "u", 4, 5, 0, 6, nullptr); },
       {"KEY", "1", "2", "3", "t", "u", "4", "5", "0", "6", "ptr"}},
      // trailing optional arguments left out
      {"QQ列表_添加QQ", [&] { api_.QQ列表_添加QQ(9); }, {"KEY", "9", "", "", "", "0", ""}},
      {"上报当前位置s", [&] { api_.上报当前位置s(1, 2, 116.5, -39.25); }, {"KEY", "1", "2", "116.5", "-39.25", "0"}},
      {"设置位置共享s", [&] { api_.设置位置共享s(1, 2, 0.1, 2, true, 3); },
       {"KEY", "1", "2", "0.10000000000000001", "2", "1", "3"}},
      // out-variables: the caller's own or zeroed ones of the call
      {"发送好友xml消息", [&] { api_.发送好友xml消息(1, 2, "<x/>"); }, {"KEY", "1", "2", "<x/>", "ptr", "ptr"}},
      {"置子频道观看权限", [&] { api_.置子频道观看权限(1, 2, 3); },
       {"KEY", "1", "2", "3", "0", "array:0", "0", "array:0", "0"}},
      // a callback address, byte sets, the key alone
      {"置文件下载", [&] { api_.置文件下载("http://a", "C:\\b", callback); },
       {"KEY", "http://a", "C:\\b", std::to_string(callback), "", "0"}},
      {"上传群聊语音红包匹配语音", [&] { api_.上传群聊语音红包匹配语音(1, 2, ""); }, {"KEY", "1", "2", ""}},
      {"上传照片墙图片", [&] { api_.上传照片墙图片(1, "PIC"); }, {"KEY", "1", "PIC"}},
      {"取框架插件列表", [&] { api_.取框架插件列表(); }, {"KEY"}},
      {"取频道昵称_从缓存", [&] { api_.取频道昵称_从缓存("g", "u"); }, {"KEY", "g", "u"}},
  };
  for (const Shape& s : shapes) {
    s.call();
    EXPECT_EQ(Sent(s.function), s.sent) << s.function;
  }
}

TEST_F(TableSlotsTest, WhatTheHostWritesIsInTheCallersVariables) {
  std::int64_t used = 0, total = 0;
  fake_.SetAnswer("取群文件总数#3", "-5");
  fake_.SetAnswer("取群文件总数#4", "8589934592");
  fake_.SetAnswer("取群文件总数", "ok");
  EXPECT_EQ(api_.取群文件总数(1, 2, &used, &total), "ok");
  EXPECT_EQ(used, -5);
  EXPECT_EQ(total, 8589934592);
  // A list operation hands over the caller's array as it holds it.
  hosts::HostArray<> members;
  fake_.SetAnswer("取讨论组成员列表#3", "2");
  fake_.SetAnswer("取讨论组成员列表", "2");
  EXPECT_EQ(api_.取讨论组成员列表(1, 2, &members), 2);
  EXPECT_EQ(members.size(), 2u);
  fake_.SetAnswer("取讨论组成员列表#3", std::nullopt);
  fake_.Reset();
  api_.取讨论组成员列表(1, 2, &members);
  EXPECT_EQ(Sent("取讨论组成员列表"), (std::vector<std::string>{"KEY", "1", "2", "array:2"}));
  EXPECT_EQ(members.size(), 2u);
}

TEST_F(TableSlotsTest, ProfileChangeBuildsItsJson) {
  api_.修改资料(1);
  EXPECT_EQ(Sent("修改资料"), (std::vector<std::string>{"KEY", "1", "{\"info\":{}}"}));
  api_.修改资料(1, {.性别 = 2, .职业 = 14});
  EXPECT_EQ(Sent("修改资料")[2], "{\"info\":{\"性别\":\"2\",\"职业\":\"14\"}}");
  api_.修改资料(1, {.昵称 = "", .性别 = 0, .职业 = 15, .个人说明 = "说明"});
  EXPECT_EQ(Sent("修改资料")[2], "{\"info\":{\"昵称\":\"\",\"性别\":\"1\",\"职业\":\"1\",\"个人说明\":\"说明\"}}");
  api_.修改资料(1, {.性别 = 3, .公司 = "A\"B\\C\nD", .邮箱 = "表"});
  EXPECT_EQ(Sent("修改资料")[2], "{\"info\":{\"性别\":\"1\",\"公司\":\"A\\\"B\\\\C\\u000aD\",\"邮箱\":\"表\"}}");
  api_.修改资料(1, {.家乡 = "乗"});  // its second byte is a backslash
  EXPECT_EQ(Sent("修改资料")[2], "{\"info\":{\"家乡\":\"乗\"}}");
}

TEST_F(TableSlotsTest, ValuesArePutRightBeforeTheCall) {
  const auto last = [this](const char* function) { return Sent(function).back(); };
  api_.群权限_设置群发言频率(1, 2, -5);
  EXPECT_EQ(last("群权限_设置群发言频率"), "0");
  api_.群权限_设置群发言频率(1, 2, 7);
  EXPECT_EQ(last("群权限_设置群发言频率"), "7");
  api_.群权限_设置群查找方式(1, 2);
  EXPECT_EQ(last("群权限_设置群查找方式"), "1");
  api_.群权限_设置群查找方式(1, 2, 3);
  EXPECT_EQ(last("群权限_设置群查找方式"), "1");
  api_.群权限_设置群查找方式(1, 2, 0);
  EXPECT_EQ(last("群权限_设置群查找方式"), "0");
  api_.置群内消息通知(1, 2, 3);
  EXPECT_EQ(last("置群内消息通知"), "2");
  api_.置群内消息通知(1, 2, 3, -1);
  EXPECT_EQ(last("置群内消息通知"), "2");
  api_.置群内消息通知(1, 2, 3, 0);
  EXPECT_EQ(last("置群内消息通知"), "0");
  api_.取收款链接(1, 0, "x");
  EXPECT_EQ(Sent("取收款链接"), (std::vector<std::string>{"KEY", "1", "5000000", "x"}));
  api_.取收款链接(1, 1, "x");
  EXPECT_EQ(Sent("取收款链接")[2], "1");
  api_.重载自身();
  EXPECT_EQ(last("重载自身"), "empty");
  api_.重载自身("");
  EXPECT_EQ(last("重载自身"), "");
  api_.群聊签到(1, 2);
  const std::string form = last("群聊签到");
  EXPECT_EQ(form.size(), 188u);
  EXPECT_TRUE(form.starts_with("template_data=&gallery_info=%7B%22category_id%22%3A9"));
  api_.群聊签到(1, 2, "text=1");
  EXPECT_EQ(last("群聊签到"), "text=1");
}

TEST_F(TableSlotsTest, ArgumentsGoInTheHostsOrder) {
  api_.发送群公告(1, 2, "标题", "内容", "PIC", "视频", true, false, true, false, true);
  EXPECT_EQ(Sent("发送群公告"),
            (std::vector<std::string>{"KEY", "1", "2", "标题", "内容", "视频", "1", "0", "1", "0", "1", "PIC"}));
  api_.上传频道文件(1, 2, 3, "f", 1, 2, 3);
  EXPECT_EQ(Sent("上传频道文件"), (std::vector<std::string>{"KEY", "1", "f", "2", "3", "2", "3", "1"}));
}

TEST_F(TableSlotsTest, VideoCodesAreCompleted) {
  fake_.SetAnswer("上传小视频", "[video=x]");
  EXPECT_EQ(api_.上传小视频(1, 2, "t", "V", 640, 480, 15), "[video=x,wide=640,high=480,time=15]");
  EXPECT_EQ(api_.上传小视频(1, 2, "t", "V"), "[video=x,wide=0,high=0,time=0]");
  fake_.SetAnswer("上传小视频", "失败");
  EXPECT_EQ(api_.上传小视频(1, 2, "t", "V", 1, 2, 3), "失败");
}

TEST_F(TableSlotsTest, TheQrCodeAlwaysReplacesTheCallersBytes) {
  hosts::HostBytes code;
  code.Hold("old");
  fake_.SetAnswer("QQ列表_二维码登录_拉取二维码#2", "PNG");
  fake_.SetAnswer("QQ列表_二维码登录_拉取二维码", "ok");
  EXPECT_EQ(api_.QQ列表_二维码登录_拉取二维码(1, &code), "ok");
  EXPECT_EQ(code.bytes(), "PNG");
  EXPECT_EQ(fake_.LiveBlocks(), 0);  // the host wrote into the operation's own byte set, which went
  fake_.Reset();  // the host writes nothing now
  EXPECT_EQ(api_.QQ列表_二维码登录_拉取二维码(1, &code), "");
  EXPECT_EQ(code.bytes(), "");
  code.Hold("old");
  api_.InitApiTable("KEY", "{}");  // nor when it lacks the function
  api_.QQ列表_二维码登录_拉取二维码(1, &code);
  EXPECT_EQ(code.bytes(), "");
}

// ---- The text-code parser object ------------------------------------------

// A parser of the host's: its own operation list, with the variable's
// address first (see text_code_parser.hpp).
struct FakeHostParser {
  static inline int copies = 0, destroyed = 0;
  static std::uint32_t __stdcall Destroy(std::uint32_t*) { return ++destroyed, 0; }
  static std::uint32_t __stdcall Copy(std::uint32_t* variable) {
    ++copies;
    auto* block = static_cast<std::uint32_t*>(HeapAlloc(GetProcessHeap(), 0, 8));
    block[0] = reinterpret_cast<const std::uint32_t*>(static_cast<std::uintptr_t>(*variable))[0];
    block[1] = 77;
    return reinterpret_cast<std::uintptr_t>(block);
  }
  static std::uint32_t __stdcall Third(std::uint32_t* variable, std::uint32_t a, std::uint32_t b) {
    return reinterpret_cast<const std::uint32_t*>(static_cast<std::uintptr_t>(*variable))[1] + a + b;
  }
  static std::uint32_t __stdcall Unused() { return 0; }
  static inline const void* list[8] = {reinterpret_cast<const void*>(&Destroy), reinterpret_cast<const void*>(&Copy),
                                       reinterpret_cast<const void*>(&Third),   reinterpret_cast<const void*>(&Unused),
                                       reinterpret_cast<const void*>(&Unused),  reinterpret_cast<const void*>(&Unused),
                                       reinterpret_cast<const void*>(&Unused),  reinterpret_cast<const void*>(&Unused)};
  std::uint32_t block[2] = {static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(list)), 5};
  std::uint32_t variable = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(block));
};

TEST_F(TableSlotsTest, WithoutAHostParserTheParserIsThePluginsOwn) {
  for (const std::optional<std::string> answer : {std::optional<std::string>("0"), std::optional<std::string>("-1")}) {
    fake_.SetAnswer("创建小栗子文本代码解析类对象", answer);
    TextCodeParser parser = api_.创建小栗子文本代码解析类对象();
    EXPECT_TRUE(parser.IsOwn());
    EXPECT_EQ(parser.Third(1, 2), 0);
    EXPECT_EQ(parser.Fourth(1, 2), "");
    EXPECT_EQ(parser.Seventh("abc"), "abc");
    EXPECT_EQ(parser.Eighth(1), "");
  }
  api_.InitApiTable("KEY", "{}");
  EXPECT_TRUE(api_.创建小栗子文本代码解析类对象().IsOwn());
}

TEST_F(TableSlotsTest, AHostParserIsCopiedAndTheHostKeepsItsOwn) {
  FakeHostParser host;
  const std::uint32_t hostObject = host.variable;
  fake_.SetAnswer("创建小栗子文本代码解析类对象", std::to_string(reinterpret_cast<std::uintptr_t>(&host.variable)));
  {
    TextCodeParser first = api_.创建小栗子文本代码解析类对象();
    TextCodeParser second = api_.创建小栗子文本代码解析类对象();
    EXPECT_EQ(host.variable, hostObject);  // the very object, not a copy
    EXPECT_FALSE(first.IsOwn());
    EXPECT_EQ(first.Third(1, 2), 80);  // answered by the host's operation on a copy of its object
    EXPECT_NE(first.variable(), second.variable());
    EXPECT_NE(first.variable(), hostObject);
    EXPECT_EQ(FakeHostParser::copies, 4);    // each call: the holder's copy, then the answer's
    EXPECT_EQ(FakeHostParser::destroyed, 2);  // each call: the intermediate copy
  }
  EXPECT_EQ(FakeHostParser::destroyed, 4);
  EXPECT_EQ(host.block[1], 5u);
}

}  // namespace
}  // namespace zoq::testing
