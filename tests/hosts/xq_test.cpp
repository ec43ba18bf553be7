// The XQ host's adapter against fake xqapi.dll modules loaded in this
// process, with its message boxes recorded instead of shown.
#include <windows.h>

#include "core/error_hook.hpp"
#include "core/hosts.hpp"
#include "core/program.hpp"
#include "hosts/adapters.hpp"
#include "platform/files.hpp"
#include "platform/modules.hpp"
#include "platform/window.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

// A box as the tests see it.
std::string Box(const std::string& text, const std::string& title, bool exclamation = false) {
  return (exclamation ? "(!) " : "") + title + ": " + text;
}

std::string MissingFunction(const std::string& name) { return "先驱S3API导出函数->" + name + ",加载失败!请检查框架版本"; }
const std::string kMissingGetVer = MissingFunction("GetVer");
const std::string kLoadWarning = "先驱api函数库加载失败!请检查是否在主线程内调用ApiInit()方法？";

class XqHostTest : public ::testing::Test {
 protected:
  XqHostTest() {
    XqHostApi::ResetLoadWarning();
    platform::SetMessageBoxHook([this](const std::string& text, const std::string& title, unsigned flags) {
      EXPECT_EQ(flags & ~static_cast<unsigned>(MB_ICONEXCLAMATION), static_cast<unsigned>(MB_OK | MB_TASKMODAL));
      boxes_.push_back(Box(text, title, (flags & MB_ICONEXCLAMATION) != 0));
      return IDOK;
    });
    ProgramStart(folder_);
  }
  ~XqHostTest() override {
    ProgramExit();
    platform::SetMessageBoxHook([](const std::string&, const std::string&, unsigned) { return IDOK; });
  }
  // Loads the fake module (from `file` below the fake host folder; its
  // versions answer 1) and binds.
  FakeHostDll& Bound(const std::string& file = "xqapi.dll") {
    fake_.reset();  // the copy before it goes first
    fake_ = std::make_unique<FakeHostDll>(file, folder_ + "\\host");
    EXPECT_TRUE(api_.BindModule());
    fake_->Reset();
    return *fake_;
  }
  FakeCall Expect(const std::string& function, std::vector<std::string> args) const {
    return Call("xqapi.dll", function, std::move(args));
  }
  // The host operations the core calls, each once, with the empty result
  // that each gives while it cannot reach the host.
  void EachHostOperationGivesItsEmptyResult() {
    api_.SendMessage("10001", 2, "300", "300", "hi");
    api_.MuteMember("10001", "300", "400", 60);
    api_.KickMember("10001", "300", "400", false);
    EXPECT_EQ(api_.RecallMessage("10001", "300", "b", "a"), "");
    EXPECT_EQ(api_.GetOnlineAccounts(), "");
    api_.OutputLog("log");
  }

  std::string folder_ = FreshTestFolder();
  std::vector<std::string> boxes_;
  std::unique_ptr<FakeHostDll> fake_;
  XqHostApi api_;
};

TEST_F(XqHostTest, TheAuthIdIsTheLittleEndianBytesOfBothNumbers) {
  EXPECT_EQ(api_.GetAuthId(), "");
  api_.SetAuthId(0x01020304, 0x0A0B0C0D);
  EXPECT_EQ(api_.GetAuthId(), "\x04\x03\x02\x01\x0D\x0C\x0B\x0A");
  // The host's first number is 16-bit; widened with its sign it fills the
  // upper bytes with ones.
  const std::int16_t fromHost = -2;
  api_.SetAuthId(fromHost, 7);
  EXPECT_EQ(api_.GetAuthId(), std::string("\xFE\xFF\xFF\xFF\x07\x00\x00\x00", 8));
}

TEST_F(XqHostTest, SendXmlEndsWithZeroAndCreateGroupPassesItsSecondText) {
  FakeHostDll& fake = Bound();
  api_.SetAuthId(1, 2);
  api_.SendXML("10001", 2, 1, "300", "300", "<xml/>");
  api_.SendXML("10001", 2, 1, "300", "300", "<xml/>", 9);
  fake.SetAnswer("S3_Api_CreateGroup", "400");
  EXPECT_EQ(api_.CreateGroup("first", "second"), "400");
  const std::string id = "0100000002000000";
  const FakeCall xml = Expect("S3_Api_SendXML", {id, "10001", "2", "1", "300", "300", "<xml/>", "0"});
  EXPECT_EQ(fake.Calls(), (std::vector<FakeCall>{xml, xml, Expect("S3_Api_CreateGroup", {id, "second"})}));
}

// Without an auth id nothing happens; with one the host gets 255 zero bytes
// in place of the caller's, also when it lacks the function.
TEST_F(XqHostTest, GetQrcodeHandsTheHost255ZeroBytesInPlaceOfTheCallersOnes) {
  std::string qrcode = "old";
  Bound();
  EXPECT_EQ(api_.GetQrcode(qrcode), "");
  EXPECT_EQ(qrcode, "old");
  api_.SetAuthId(1, 2);
  for (const std::string file : {"xqapi.dll", "xq-bare\\xqapi.dll"}) {
    Bound(file).SetAnswer("S3_Api_GetQrcode", "ok");
    qrcode = "old";
    EXPECT_EQ(api_.GetQrcode(qrcode), file == "xqapi.dll" ? "ok" : "");
    EXPECT_EQ(qrcode, std::string(255, '\0'));
  }
  EXPECT_EQ(boxes_, std::vector<std::string>{Box(MissingFunction("GetQrcode"), "->插件运行异常")});
}

TEST_F(XqHostTest, BindingFallsBackToTheBinFolderOfTheRunDirectory) {
  // Two modules named xqapi.dll, each in a "bin" folder: the one that the
  // name alone finds reports no version, the other one is <run>\bin's.
  platform::CreateFolders(folder_ + "\\one");
  platform::CreateFolders(folder_ + "\\two");
  FakeHostDll one("xqapi.dll", folder_ + "\\one\\bin");
  FakeHostDll two("xqapi.dll", folder_ + "\\two\\bin");
  ASSERT_TRUE(one.loaded() && two.loaded());
  ASSERT_NE(one.module(), two.module());
  one.SetAnswer("S3_Api_GetVer", "0");
  two.SetAnswer("S3_Api_GetVer", "12 (build)");
  // Which module a bare name finds is the loader's choice (Wine's: the one
  // used last); make it the first one.
  one.Calls();
  ASSERT_EQ(platform::LoadedModule("xqapi.dll"), one.module());
  Plugin().RunDirectory = folder_ + "\\two";
  EXPECT_TRUE(api_.BindModule());
  EXPECT_EQ(api_.module(), two.module());
  EXPECT_EQ(two.Calls(), (std::vector<FakeCall>{Expect("S3_Api_GetVer", {})}));
  // Neither reports a version: the fallback's module stays, the answer is false.
  two.SetAnswer("S3_Api_GetVer", "v2");
  EXPECT_FALSE(api_.BindModule());
  EXPECT_EQ(api_.module(), two.module());
  EXPECT_EQ(one.LiveBlocks() + two.LiveBlocks(), 0);
  // No module in <run>\bin: the first module stays, and its functions still
  // reach the host.
  Plugin().RunDirectory = folder_;
  one.Calls();
  ASSERT_EQ(platform::LoadedModule("xqapi.dll"), one.module());
  EXPECT_FALSE(api_.BindModule());
  EXPECT_EQ(api_.module(), one.module());
  api_.SetAuthId(1, 2);
  api_.OutputLog("x");
  EXPECT_EQ(one.Calls().back(), Expect("S3_Api_OutPutLog", {"0100000002000000", "x"}));
}

TEST_F(XqHostTest, WithoutAnyModuleBindingGivesFalseAndAZeroHandle) {
  EXPECT_FALSE(api_.BindModule());
  EXPECT_EQ(api_.module(), nullptr);
  EXPECT_EQ(api_.GetVer(), "");
  EXPECT_TRUE(boxes_.empty());
}

// The first XQ_Create of a run titles its box with an empty name.
TEST_F(XqHostTest, AnOlderHostGivesItsVersionThroughApiGetVerAfterTheBox) {
  FakeHostDll& fake = Bound("xq-old\\xqapi.dll");
  EXPECT_EQ(boxes_, std::vector<std::string>{Box(kMissingGetVer, "->插件运行异常")});
  Plugin().XqPluginName.set("ZOQ");
  EXPECT_EQ(api_.GetVer(), "1");
  EXPECT_EQ(boxes_.size(), 2u);  // a box at every failed lookup
  EXPECT_EQ(fake.Calls(), (std::vector<FakeCall>{Expect("Api_GetVer", {})}));
}

TEST_F(XqHostTest, AFunctionTheModuleLacksGivesItsBoxAtEveryCallAndTheEmptyResult) {
  Plugin().XqPluginName.set("ZOQ");
  FakeHostDll& fake = Bound("xq-bare\\xqapi.dll");
  // Without an auth id nothing is even looked up: no box.
  EachHostOperationGivesItsEmptyResult();
  EXPECT_TRUE(boxes_.empty());
  api_.SetAuthId(1, 2);
  EachHostOperationGivesItsEmptyResult();
  api_.GetOnlineAccounts();
  api_.Mark("标记");
  api_.DbgName("name");
  std::vector<std::string> expected;
  for (const char* name :
       {"SendMsg", "ShutUP", "KickGroupMBR", "WithdrawMsg", "GetOnLineList", "OutPutLog", "GetOnLineList", "Mark", "DbgName"})
    expected.push_back(Box(MissingFunction(name), "ZOQ->插件运行异常"));
  EXPECT_EQ(boxes_, expected);
  EXPECT_TRUE(fake.Calls().empty());
}

// The load-time hook's report goes to Mark of the never-bound object: no
// host hears of it, also while the plug-in's own object is bound with its
// auth id; the bound object marks without the auth id.
TEST_F(XqHostTest, TheRuntimeErrorReportReachesNoHost) {
  FakeHostDll& fake = Bound();
  ASSERT_TRUE(Hosts().xq.BindModule());
  Hosts().xq.SetAuthId(1, 2);
  Hosts().xqReport.SetAuthId(1, 1);
  fake.Reset();
  RaiseRuntimeError(kErrStackImbalance, RuntimeErrorMessage(kErrStackImbalance));
  Hosts().xq.Mark("标记");
  EXPECT_EQ(fake.Calls(), std::vector<FakeCall>{Expect("S3_Api_Mark", {"标记"})});
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(XqHostTest, AnUnboundObjectWithAnAuthIdWarnsOncePerRun) {
  Plugin().XqPluginName.set("ZOQ");
  api_.SetAuthId(1, 2);
  EXPECT_EQ(api_.GetOnlineAccounts(), "");
  api_.SendMessage("1", 1, "2", "2", "x");
  XqHostApi other;
  other.SetAuthId(3, 4);
  other.MuteMember("1", "2", "3", 4);
  const std::string program = platform::ExecutablePath();
  EXPECT_EQ(boxes_, std::vector<std::string>{Box(kLoadWarning, program.substr(program.rfind('\\') + 1) + "->ZOQ", true)});
}

}  // namespace
}  // namespace zoq::testing
