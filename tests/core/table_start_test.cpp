// The function-table host's start in this process: the answer, the kept
// table, and the error box that reports without ending the host.
#include <gtest/gtest.h>

#include <vector>

#include "core/error_hook.hpp"
#include "core/hosts.hpp"
#include "core/info/info_records.hpp"
#include "platform/window.hpp"
#include "tests/core/core_fixture.hpp"

extern "C" __stdcall const char* ZoqInit(const char* table, const char* key);  // exported as 初始化

namespace zoq::testing {
namespace {

using TableStartTest = CoreTest;

// Mended: the box used to be followed by the end of the host process.
TEST_F(TableStartTest, KeepsTheTableAnswersTheNameAndShowsRuntimeErrorsInABox) {
  struct Box {
    std::string text, title;
    unsigned flags;
  };
  std::vector<Box> boxes;
  platform::SetMessageBoxHook([&](const std::string& text, const std::string& title, unsigned flags) {
    boxes.push_back({text, title, flags});
    return 1;
  });
  struct Restore {
    ~Restore() { platform::SetMessageBoxHook(nullptr), ResetContacts(); }
  } restore;
  Contacts() = {"http://127.0.0.1:1/a", "http://127.0.0.1:1/b", "735921846"};  // nothing answers
  EXPECT_STREQ(ZoqInit("{\"发送群消息\":12}", "KEY"), "{\"sdkv\":\"4.5.3\",\"appname\":\"ZOQ·关键词\"}");
  EXPECT_EQ(Plugin().AppNameText.get(), "ZOQ·关键词");
  EXPECT_EQ(Hosts().table.LookupApiAddress("发送群消息"), 12u);
  ZoqInit("{\"退群\":13}", nullptr);  // a second start replaces the table
  EXPECT_EQ(Hosts().table.LookupApiAddress("发送群消息"), 0u);
  EXPECT_EQ(Hosts().table.LookupApiAddress("退群"), 13u);
  EXPECT_EQ(Plugin().HostType.load(), kHostNone);  // enabling is ZOQ_KyOn's
  RaiseRuntimeError(kErrStackImbalance, RuntimeErrorMessage(kErrStackImbalance));
  RaiseRuntimeError(kErrNotNumeric, RuntimeErrorMessage(kErrNotNumeric));
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "插件[ZOQ·关键词]运行时发生澜类型错误\r\n\r\n错误代码：6\r\n错误信息：\r\n调用DLL命令后发现堆栈错误");
  EXPECT_EQ(boxes[0].title, "插件运行出错：ZOQ·关键词");
  EXPECT_EQ(boxes[0].flags & 0xF0u, 0x30u);  // the exclamation icon
  EXPECT_EQ(boxes[1].text.substr(boxes[1].text.size() - 24), "未得到所需要的数值型数据");
}

}  // namespace
}  // namespace zoq::testing
