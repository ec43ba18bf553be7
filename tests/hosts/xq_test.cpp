// The XQ host's adapter against fake xqapi.dll modules loaded in this
// process, with its message boxes recorded instead of shown.
#include <windows.h>

#include "core/hosts.hpp"
#include "hosts/adapters.hpp"
#include "platform/files.hpp"
#include "platform/modules.hpp"
#include "platform/window.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

struct Box {
  std::string text, title;
  bool exclamation;
  bool operator==(const Box&) const = default;
};

void PrintTo(const Box& b, std::ostream* os) { *os << (b.exclamation ? "(!) " : "") << b.title << ": " << b.text; }

std::string HostFileName() {
  const std::string p = platform::ExecutablePath();
  return p.substr(p.find_last_of('\\') + 1);
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
      boxes_.push_back({text, title, (flags & MB_ICONEXCLAMATION) != 0});
      return IDOK;
    });
    ProgramStart(folder_);
  }
  ~XqHostTest() override {
    ProgramExit();
    platform::SetMessageBoxHook([](const std::string&, const std::string&, unsigned) { return IDOK; });
  }
  // Loads the fake module (from `file` below the fake host folder) and binds.
  FakeHostDll& Bound(const std::string& file = "xqapi.dll") {
    fake_ = std::make_unique<FakeHostDll>(file, folder_ + "\\host");
    SetVersions(*fake_);
    EXPECT_TRUE(api_.BindModule());
    fake_->Reset();
    SetVersions(*fake_);
    return *fake_;
  }
  static void SetVersions(FakeHostDll& fake) {
    fake.SetAnswer("S3_Api_GetVer", "5");
    fake.SetAnswer("Api_GetVer", "3");
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
  std::vector<Box> boxes_;
  std::unique_ptr<FakeHostDll> fake_;
  XqHostApi api_;
};

TEST_F(XqHostTest, EveryDeclaredRowMatchesTheHostsList) {
  FakeHostDll& fake = Bound();
  EXPECT_EQ(CompareRows(api_.Declarations(), fake), std::vector<std::string>{});
}

TEST_F(XqHostTest, NothingIsLookedUpOrCalledBeforeAnAuthId) {
  FakeHostDll& fake = Bound();
  fake.SetAnswer("S3_Api_GetOnLineList", "10001");
  fake.SetAnswer("S3_Api_WithdrawMsg", "ok");
  EachHostOperationGivesItsEmptyResult();
  const int blocks = fake.BlocksHandedOut();
  EXPECT_TRUE(fake.Calls().empty());
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(fake.BlocksHandedOut(), blocks);
}

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

TEST_F(XqHostTest, HostOperationsPassTheAuthIdFirst) {
  FakeHostDll& fake = Bound();
  api_.SetAuthId(-2, 7);
  api_.SendMessage("10001", 1, "20002", "20002", "你好");
  api_.SendMessage("10001", 2, "30003", "30003", "", 9);
  api_.MuteMember("10001", "30003", "40004", 600);
  api_.KickMember("10001", "30003", "40004", false);
  api_.RecallMessage("10001", "30003", "idB", "idA");
  api_.OutputLog("行");
  api_.GetOnlineAccounts();
  const std::string id = "feffffff07000000";
  EXPECT_EQ(fake.Calls(),
            (std::vector<FakeCall>{Expect("S3_Api_SendMsg", {id, "10001", "1", "20002", "20002", "你好", "0"}),
                                   Expect("S3_Api_SendMsg", {id, "10001", "2", "30003", "30003", "", "9"}),
                                   Expect("S3_Api_ShutUP", {id, "10001", "30003", "40004", "600"}),
                                   Expect("S3_Api_KickGroupMBR", {id, "10001", "30003", "40004", "0"}),
                                   Expect("S3_Api_WithdrawMsg", {id, "10001", "30003", "idB", "idA"}),
                                   Expect("S3_Api_OutPutLog", {id, "行"}),
                                   Expect("S3_Api_GetOnLineList", {id})}));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(XqHostTest, EveryTextBlockIsCopiedAndFreedAlsoADroppedOne) {
  FakeHostDll& fake = Bound();
  api_.SetAuthId(1, 2);
  fake.SetAnswer("S3_Api_GetOnLineList", "10001\r\n10002");
  fake.SetAnswer("S3_Api_WithdrawMsg", std::string("ok\0junk", 7));
  const int blocks = fake.BlocksHandedOut();
  EXPECT_EQ(api_.GetOnlineAccounts(), "10001\r\n10002");
  EXPECT_EQ(fake.LiveBlocks(), 0);
  EXPECT_EQ(api_.RecallMessage("10001", "30003", "b", "a"), "ok");
  EXPECT_EQ(fake.LiveBlocks(), 0);
  api_.RecallMessage("10001", "30003", "b", "a");  // the caller drops the text
  EXPECT_EQ(fake.LiveBlocks(), 0);
  EXPECT_EQ(fake.BlocksHandedOut(), blocks + 3);
  fake.SetAnswer("S3_Api_GetOnLineList", "");  // a block of length 0 is freed too
  EXPECT_EQ(api_.GetOnlineAccounts(), "");
  EXPECT_EQ(fake.BlocksHandedOut(), blocks + 4);
  EXPECT_EQ(fake.LiveBlocks(), 0);
  fake.SetAnswer("S3_Api_GetOnLineList", std::nullopt);  // no block at all
  EXPECT_EQ(api_.GetOnlineAccounts(), "");
}

TEST_F(XqHostTest, EveryTextOperationFreesItsBlockAlsoWhenTheTextIsDropped) {
  FakeHostDll& fake = Bound();
  api_.SetAuthId(1, 2);
  int textFunctions = 0;
  for (const hosts::RowDeclaration& row : api_.Declarations())
    if (row.result == 'x' && row.kinds.starts_with('k')) {
      fake.SetAnswer(row.function, "text");
      ++textFunctions;
    }
  const int blocks = fake.BlocksHandedOut();
  const std::string t = "1", bytes = "b";
  std::string qrcode;
  api_.GetFriendList(t), api_.GetGroupList(t), api_.GetOnlineAccounts(), api_.GetGroupMemberList(t, t);
  api_.GetGroupCard(t, t, t), api_.UpLoadPic(t, 1, t, bytes), api_.GetGroupAdmin(t, t), api_.GetNotice(t, t);
  api_.GetGroupPsKey(t), api_.GetZonePsKey(t), api_.GetCookies(t), api_.RecallMessage(t, t, t, t);
  api_.OcrPic(t, bytes), api_.UpVote(t, t), api_.UpVote_temp(t, t), api_.GetQQList(), api_.AddQQ(t, t);
  api_.DelQQ(t), api_.GetNick(t, t), api_.GetFriendsRemark(t, t), api_.GetClientkey(t), api_.GetBkn(t);
  api_.CreateDisGroup(t), api_.CreateGroup(t, t), api_.GetGroupList_B(t), api_.GetFriendList_B(t);
  api_.GetQrcode(qrcode), api_.GetGroupName(t, t), api_.GetGroupMemberNum(t, t), api_.GetGroupMemberList_B(t, t);
  api_.GetGroupMemberList_C(t, t), api_.GetRInf(t), api_.UpLoadVoice(t, 1, t, bytes), api_.GetVoiLink(t, t);
  api_.GetLongClientkey(t), api_.GetBlogPsKey(t), api_.GetClassRoomPsKey(t), api_.GetRepPsKey(t);
  api_.GetTenPayPsKey(t), api_.VoiToText(t, t, 1, t), api_.GetPicLink(t, 1, t, t), api_.SendMsgEX_V2(t, 1, t, t, t);
  api_.WithdrawMsgEX(t, 1, t, t, t, t, t), api_.GetPluginList();
  EXPECT_EQ(fake.BlocksHandedOut(), blocks + textFunctions);
  EXPECT_EQ(fake.LiveBlocks(), 0);
  EXPECT_EQ(api_.GetPicLink(t, 1, t, t), "text");
  EXPECT_EQ(fake.LiveBlocks(), 0);
}

TEST_F(XqHostTest, OptionalArgumentsReachTheHostAsZeroFalseOrTheEmptyText) {
  FakeHostDll& fake = Bound();
  api_.SetAuthId(1, 2);
  api_.AddQQ("10001", "pw");
  api_.AddQQ("10001", "pw", true);
  api_.SendMsgEX("10001", 2, "300", "300", "hi");
  api_.SendMsgEX("10001", 2, "300", "300", "hi", 7, true);
  api_.SendMsgEX_V2("10001", 2, "300", "300", "hi");
  api_.SendMsgEX_V2("10001", 2, "300", "300", "hi", 7, true, "扩展");
  const std::string id = "0100000002000000";
  EXPECT_EQ(fake.Calls(),
            (std::vector<FakeCall>{Expect("S3_Api_AddQQ", {id, "10001", "pw", "0"}),
                                   Expect("S3_Api_AddQQ", {id, "10001", "pw", "1"}),
                                   Expect("S3_Api_SendMsgEX", {id, "10001", "2", "300", "300", "hi", "0", "0"}),
                                   Expect("S3_Api_SendMsgEX", {id, "10001", "2", "300", "300", "hi", "7", "1"}),
                                   Expect("S3_Api_SendMsgEX_V2", {id, "10001", "2", "300", "300", "hi", "0", "0", ""}),
                                   Expect("S3_Api_SendMsgEX_V2", {id, "10001", "2", "300", "300", "hi", "7", "1", "扩展"})}));
}

TEST_F(XqHostTest, SendXmlEndsWithZeroAndCreateGroupPassesItsSecondText) {
  FakeHostDll& fake = Bound();
  api_.SetAuthId(1, 2);
  api_.SendXML("10001", 2, 1, "300", "300", "<xml/>");
  api_.SendXML("10001", 2, 1, "300", "300", "<xml/>", 9);
  fake.SetAnswer("S3_Api_CreateGroup", "400");
  fake.SetAnswer("S3_Api_IsEnable", "2");
  EXPECT_EQ(api_.CreateGroup("first", "second"), "400");
  EXPECT_TRUE(api_.IsEnable());  // any answer but 0 is true
  const std::string id = "0100000002000000";
  const FakeCall xml = Expect("S3_Api_SendXML", {id, "10001", "2", "1", "300", "300", "<xml/>", "0"});
  EXPECT_EQ(fake.Calls(), (std::vector<FakeCall>{xml, xml, Expect("S3_Api_CreateGroup", {id, "second"}),
                                                 Expect("S3_Api_IsEnable", {id})}));
}

TEST_F(XqHostTest, GetQrcodeHandsTheHost255ZeroBytesInPlaceOfTheCallersOnes) {
  FakeHostDll& fake = Bound();
  std::string qrcode = "old";
  EXPECT_EQ(api_.GetQrcode(qrcode), "");  // no auth id: nothing happens
  EXPECT_EQ(qrcode, "old");
  api_.SetAuthId(1, 2);
  fake.SetAnswer("S3_Api_GetQrcode", "ok");
  EXPECT_EQ(api_.GetQrcode(qrcode), "ok");
  EXPECT_EQ(qrcode, std::string(255, '\0'));
  EXPECT_EQ(fake.Calls(), (std::vector<FakeCall>{Expect("S3_Api_GetQrcode", {"0100000002000000", ""})}));
}

TEST_F(XqHostTest, GetQrcodeReplacesTheBytesAlsoWhenTheHostLacksTheFunction) {
  Plugin().XqPluginName = "ZOQ";
  FakeHostDll& fake = Bound("xq-bare\\xqapi.dll");
  api_.SetAuthId(1, 2);
  std::string qrcode = "old";
  EXPECT_EQ(api_.GetQrcode(qrcode), "");
  EXPECT_EQ(qrcode, std::string(255, '\0'));
  EXPECT_EQ(boxes_, (std::vector<Box>{{MissingFunction("GetQrcode"), "ZOQ->插件运行异常", false}}));
  EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(XqHostTest, BindingFallsBackToTheBinFolderOfTheRunDirectory) {
  // Two modules named xqapi.dll, each in a "bin" folder: the one that the
  // name alone finds reports no version, the other one is <run>\bin's.
  platform::CreateFolder(folder_ + "\\one");
  platform::CreateFolder(folder_ + "\\two");
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
  EXPECT_EQ(one.Calls(), (std::vector<FakeCall>{Expect("S3_Api_GetVer", {})}));
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
  const FakeCall getVer = Expect("S3_Api_GetVer", {});  // at the last two bindings
  EXPECT_EQ(one.Calls(), (std::vector<FakeCall>{getVer, getVer, Expect("S3_Api_OutPutLog", {"0100000002000000", "x"})}));
}

TEST_F(XqHostTest, WithoutAnyModuleBindingGivesFalseAndAZeroHandle) {
  EXPECT_FALSE(api_.BindModule());
  EXPECT_EQ(api_.module(), nullptr);
  EXPECT_EQ(api_.GetVer(), "");
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(XqHostTest, AnOlderHostGivesItsVersionThroughApiGetVerAfterTheBox) {
  Plugin().XqPluginName = "ZOQ";
  FakeHostDll& fake = Bound("xq-old\\xqapi.dll");
  EXPECT_EQ(boxes_, (std::vector<Box>{{kMissingGetVer, "ZOQ->插件运行异常", false}}));
  EXPECT_EQ(api_.GetVer(), "3");
  EXPECT_EQ(boxes_.size(), 2u);  // a box at every failed lookup
  EXPECT_EQ(fake.Calls(), (std::vector<FakeCall>{Expect("Api_GetVer", {})}));
  EXPECT_EQ(api_.ResolveApi("NoSuch"), nullptr);
  EXPECT_EQ(boxes_.back(), (Box{"先驱S3API导出函数->NoSuch,加载失败!请检查框架版本", "ZOQ->插件运行异常", false}));
}

TEST_F(XqHostTest, AFunctionTheModuleLacksGivesItsBoxAtEveryCallAndTheEmptyResult) {
  Plugin().XqPluginName = "ZOQ";
  FakeHostDll& fake = Bound("xq-bare\\xqapi.dll");
  // Without an auth id nothing is even looked up: no box.
  EachHostOperationGivesItsEmptyResult();
  EXPECT_TRUE(boxes_.empty());
  api_.SetAuthId(1, 2);
  EachHostOperationGivesItsEmptyResult();
  api_.GetOnlineAccounts();
  api_.Mark("标记");
  api_.DbgName("name");
  std::vector<Box> expected;
  for (const char* name :
       {"SendMsg", "ShutUP", "KickGroupMBR", "WithdrawMsg", "GetOnLineList", "OutPutLog", "GetOnLineList", "Mark", "DbgName"})
    expected.push_back({MissingFunction(name), "ZOQ->插件运行异常", false});
  EXPECT_EQ(boxes_, expected);
  EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(XqHostTest, TheFirstCreateOfARunTitlesItsBoxWithAnEmptyName) {
  Bound("xq-old\\xqapi.dll");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].title, "->插件运行异常");
}

TEST_F(XqHostTest, MarkOnTheNeverBoundObjectDoesNothing) {
  FakeHostDll& fake = Bound();
  XqHostApi& report = Hosts().xqReport;
  report.SetAuthId(1, 1);
  report.Mark("澜错误代码:6");
  report.DbgName("name");
  EXPECT_TRUE(fake.Calls().empty());
  EXPECT_TRUE(boxes_.empty());
  // The bound object marks without the auth id.
  api_.Mark("标记");
  api_.DbgName("name");
  EXPECT_EQ(fake.Calls(), (std::vector<FakeCall>{Expect("S3_Api_Mark", {"标记"}), Expect("S3_Api_DbgName", {"name"})}));
}

TEST_F(XqHostTest, TheRuntimeErrorReportReachesNoHostWhileTheFirstObjectIsBound) {
  // The load-time hook is in place (ProgramStart); the plug-in's own XQ
  // object is bound and has its auth id.
  FakeHostDll& fake = Bound();
  ASSERT_TRUE(Hosts().xq.BindModule());
  Hosts().xq.SetAuthId(1, 2);
  fake.Reset();
  // A host function called with one word too many: reported, and the
  // process goes on.
  hosts::LibraryBinding library{"xqapi.dll"};
  hosts::Row<void(hosts::Text, hosts::Text, hosts::Text)>::Call(library, 0, "S3_Api_OutPutLog", "12345678", "x", "extra");
  Hosts().xq.OutputLog("after");
  EXPECT_EQ(fake.Calls(), (std::vector<FakeCall>{Expect("S3_Api_OutPutLog", {"3132333435363738", "x"}),
                                                 Expect("S3_Api_OutPutLog", {"0100000002000000", "after"})}));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(XqHostTest, AnUnboundObjectWithAnAuthIdWarnsOncePerRun) {
  Plugin().XqPluginName = "ZOQ";
  api_.SetAuthId(1, 2);
  EXPECT_EQ(api_.GetOnlineAccounts(), "");
  api_.SendMessage("1", 1, "2", "2", "x");
  XqHostApi other;
  other.SetAuthId(3, 4);
  other.MuteMember("1", "2", "3", 4);
  EXPECT_EQ(boxes_, (std::vector<Box>{{kLoadWarning, HostFileName() + "->ZOQ", true}}));
}

TEST_F(XqHostTest, ACopyKeepsTheAuthIdAndTheModule) {
  FakeHostDll& fake = Bound();
  api_.SetAuthId(5, 6);
  XqHostApi copy(api_);
  EXPECT_EQ(copy.GetAuthId(), api_.GetAuthId());
  EXPECT_EQ(copy.module(), api_.module());
  copy.OutputLog("x");
  EXPECT_EQ(fake.Calls(), (std::vector<FakeCall>{Expect("S3_Api_OutPutLog", {"0500000006000000", "x"})}));
}

}  // namespace
}  // namespace zoq::testing
