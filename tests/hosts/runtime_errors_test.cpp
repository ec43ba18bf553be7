// Runtime errors on the way to a host: a DLL or function that cannot be
// found, a function declared with other arguments, and a report that itself
// fails in the host. Each reaches the handler registered last, once, and the
// process goes on.
#include <windows.h>

#include "core/error_hook.hpp"
#include "core/hosts.hpp"
#include "core/info/info_records.hpp"
#include "core/program.hpp"
#include "platform/files.hpp"
#include "platform/window.hpp"
#include "tests/hosts/host_test_support.hpp"

extern "C" __stdcall std::int32_t Initialization(const char*, const char* hostJson);
extern "C" __stdcall const char* ZoqInit(const char* table, const char* key);  // exported as 初始化

namespace zoq::testing {
namespace {

class RuntimeErrorTest : public ::testing::Test {
 protected:
  RuntimeErrorTest() {
    ProgramStart(folder_);
    Contacts() = {"http://127.0.0.1:1/a", "http://127.0.0.1:1/b", "735921846"};  // nothing answers
  }
  ~RuntimeErrorTest() override {
    ProgramExit();
    ResetContacts();
    platform::SetMessageBoxHook(nullptr);
  }
  // From now on every runtime error is collected in raised_.
  void Collect() {
    RegisterErrorHook([this](int code, const std::string& message) { raised_.emplace_back(code, message); });
  }
  std::string folder_ = FreshTestFolder();
  std::vector<std::pair<int, std::string>> raised_;
};

TEST_F(RuntimeErrorTest, AMissingDllOrFunctionIsReportedOncePerFunctionAndBinding) {
  Collect();
  FakeHostDll bare("isky-bare\\message.dll", folder_);
  bare.SetAnswer("Api_GetLoginQQ", "10001");
  IskyHostApi first, second;
  VlqHostApi vlq;  // VLQapi.dll is not loaded yet
  EXPECT_EQ(first.SendPrivateMessage("1", "m"), -1);
  EXPECT_EQ(first.SendPrivateMessage("1", "m"), -1);
  EXPECT_EQ(first.GetPath(), "");
  EXPECT_EQ(second.SendPrivateMessage("1", "m"), -1);
  EXPECT_EQ(first.GetLoginAccount(), "10001");
  vlq.SendPrivateMessage("1", "2", "m");
  FakeHostDll loadedLater("VLQapi.dll", folder_ + "\\vlq");  // looked for again at the next call
  vlq.SendPrivateMessage("1", "2", "m");
  EXPECT_EQ(loadedLater.Calls(), std::vector<FakeCall>{Call("VLQapi.dll", "Api_SendMsg", {"1", "1", "2", "2", "m", "0"})});
  EXPECT_EQ(raised_, (std::vector<std::pair<int, std::string>>{
                         {0, "无法找到指定DLL库文件“message.dll”中的输出命令“Api_SendMsg”"},
                         {0, "无法找到指定DLL库文件“message.dll”中的输出命令“Api_GetPath”"},
                         {0, "无法找到指定DLL库文件“message.dll”中的输出命令“Api_SendMsg”"},
                         {0, "无法找到指定DLL库文件“VLQapi.dll”中的输出命令“Api_SendMsg”"}}));
}

// Every call of a function that removes another number of words than it was
// given: 框架重启 gives one word to a function that removes five, 退出频道
// five to one that removes three. The stack stays intact.
TEST_F(RuntimeErrorTest, AFunctionDeclaredWithOtherArgumentsIsReportedAtEveryCall) {
  Collect();
  FakeHostDll fake("tablehost.dll", folder_);
  const auto address = [&](const char* function) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(GetProcAddress(static_cast<HMODULE>(fake.module()), function)));
  };
  TableHostApi api;
  api.InitApiTable("KEY", "{\"框架重启\":" + address("是否被禁言") + ",\"退出频道\":" + address("获取skey") + "," +
                              ApiTableOf(fake).substr(1));
  api.框架重启();
  EXPECT_FALSE(api.退出频道(1, 2));
  fake.SetAnswer("QQ点赞", "ok");
  EXPECT_EQ(api.QQ点赞(7, 8), "ok");
  const std::pair<int, std::string> imbalance{6, "调用DLL命令后发现堆栈错误"};
  using Raised = std::vector<std::pair<int, std::string>>;
  EXPECT_EQ(raised_, (platform::kStackChecked ? Raised{imbalance, imbalance} : Raised{}));
}

// Mended: an error raised while a report ran was reported from within the
// report: an Error of the host's taking two words less raised a stack error
// at each report, until the stack overflowed; a box raised boxes.
TEST_F(RuntimeErrorTest, AnErrorRaisedWhileAReportRunsIsDropped) {
  platform::CreateFolder(folder_ + "\\Bin");
  FakeHostDll bad("wx-bad\\Api.dll", folder_ + "\\Bin\\Bin");
  ASSERT_TRUE(bad.loaded());
  std::string path = folder_;
  for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 2)) path.insert(at, "\\");
  Initialization(nullptr, ("{\"AppName\":\"应用\",\"FileName\":\"host.exe\",\"Version\":\"VLW_Pro\",\"path\":\"" + path +
                           "\"}").c_str());
  RaiseRuntimeError(kErrIndexOutOfRange, RuntimeErrorMessage(kErrIndexOutOfRange));
  Hosts().wx.SendTextMessage("wxid_robot", "wxid_friend", "m");  // a function this Api.dll lacks
  const FakeCall error = Call("Api.dll", "Error", {"应用", "host.exe"});
  EXPECT_EQ(bad.Calls(), (std::vector<FakeCall>{error, error}));

  int boxes = 0;
  platform::SetMessageBoxHook([&](const std::string&, const std::string&, unsigned) {
    ++boxes;
    RaiseRuntimeError(kErrNotNumeric, RuntimeErrorMessage(kErrNotNumeric));  // while the box is up
    return IDOK;
  });
  ZoqInit("{}", "KEY");
  RaiseRuntimeError(kErrIndexOutOfRange, RuntimeErrorMessage(kErrIndexOutOfRange));
  RaiseRuntimeError(kErrIndexBelowOne, RuntimeErrorMessage(kErrIndexBelowOne));
  EXPECT_EQ(boxes, 2);
}

// Mended: a DLL the host had not loaded was looked for along the general
// search path, where one planted in the current folder could win.
TEST_F(RuntimeErrorTest, ADllIsNeverTakenFromTheCurrentFolder) {
  const std::string planted = folder_ + "\\planted";
  platform::CreateFolder(planted);
  ASSERT_TRUE(platform::WriteWholeFile(planted + "\\SPapi.dll",
                                       platform::ReadWholeFile(FakeHostBuildFolder() + "\\SPapi.dll")));
  const std::string before = platform::CurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(planted));
  SpHostApi().OutputLog("planted?");
  platform::SetCurrentFolder(before);
  EXPECT_FALSE(platform::FileExists(planted + "\\fakehost.log"));  // the planted DLL recorded no call
  EXPECT_EQ(GetModuleHandleA("SPapi.dll"), nullptr);
}

// A binding holds the host's DLL while it is used and lets it go with
// itself: once the host frees it too, it is gone from the process (a host
// may load a new one in its place).
TEST_F(RuntimeErrorTest, TheHostsDllIsHeldOnlyWhileABindingUsesIt) {
  {
    FakeHostDll host("VLQapi.dll", folder_ + "\\vlq");
    VlqHostApi vlq;
    vlq.SendPrivateMessage("1", "2", "m");
    EXPECT_EQ(host.Calls().size(), 1u);
  }
  EXPECT_EQ(GetModuleHandleA("VLQapi.dll"), nullptr);
}

}  // namespace
}  // namespace zoq::testing
