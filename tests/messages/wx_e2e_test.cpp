// The WeChat-style host end to end: the real plug-in in the test host, the
// host's Api.dll of the edition it names in the folder its initialisation
// text gives, and the host's own exports for every event.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/messages/session.hpp"
#include "tests/web/web_server.hpp"

namespace zoq::testing {
namespace {

constexpr const char* kApp = "微信框架";
constexpr const char* kFile = "wx.exe";
constexpr const char* kWxRobot = "wxid_robot";
constexpr const char* kWxOwner = "wxid_owner";

struct WxEdition {
  const char* name;
  const char* version;  // the host edition
  const char* fake;     // the fake library of that edition
  const char* below;    // where the host keeps it, below its folder
  bool pro;
};

void PrintTo(const WxEdition& e, std::ostream* os) { *os << e.name; }

const WxEdition kBasic{"basic", "VLW", "wx\\Api.dll", "\\Bin", false};
const WxEdition kPro{"pro", "VLW_Max", "wx-pro\\Api.dll", "\\Bin\\Bin", true};

std::string JsonPath(const std::string& path) {
  std::string out;
  for (char c : path) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

class WxHost {
 public:
  // `libraryFolder` below the host's own folder gets the fake `fake`.
  WxHost(const std::string& runName, const WxEdition& edition, const char* fake,
         const std::vector<std::pair<std::string, std::string>>& files)
      : edition_(edition), folder_(FreshRunFolder(runName)), host_(folder_) {
    const std::string data = folder_ + "\\ZOQData\\ZOQ-F-关键词";
    for (const std::string& d : {folder_ + "\\ZOQData", data, hostFolder(), hostFolder() + "\\Bin", libraryFolder()})
      CreateDirectoryA(d.c_str(), nullptr);
    for (const auto& [name, bytes] : files) WriteFile(data + "\\" + name, bytes);
    WriteFile(libraryFolder() + "\\Api.dll", ReadFile(FakeHostFolder() + "\\" + fake));
  }

  std::string hostFolder() const { return folder_ + "\\wxhost"; }
  std::string libraryFolder() const { return hostFolder() + edition_.below; }
  std::string DataFile(const std::string& name) const { return folder_ + "\\ZOQData\\ZOQ-F-关键词\\" + name; }
  Host& host() { return host_; }

  void Answer(const std::string& lines) { WriteFile(libraryFolder() + "\\fakehost.answers", lines); }

  // Load, Initialization, Enable.
  bool Start() {
    if (!host_.Load()) return false;
    host_.SetClock(1000, 2026, 12, 5, 6, 17, 46, 29);
    const std::string json = "{\"AppName\":\"" + std::string(kApp) + "\",\"FileName\":\"" + kFile +
                             "\",\"Version\":\"" + edition_.version + "\",\"path\":\"" + JsonPath(hostFolder()) +
                             "\",\"LogOutput\":1,\"F_Version\":\"9.9\"}";
    return host_.CallNumber("Initialization", {std::string("ignored"), json}).number == 0 &&
           host_.CallNumber("Enable").number == 0;
  }
  std::int32_t Login(std::int32_t state, const std::string& account) {
    return host_.CallNumber("Login", {state, account, std::int32_t(0)}).number;
  }
  CallResult Group(const std::string& text, const std::string& group = "111", std::int32_t delivered = 1,
                   std::int32_t enterprise = 0) {
    return host_.CallNumber("EventGroupChat", {std::string(kWxRobot), delivered, group, std::string(),
                                               std::string(kWxOwner), std::string(), text, std::string(),
                                               std::int32_t(0), enterprise});
  }
  CallResult Private(const std::string& text, std::int32_t enterprise = 0, std::int32_t delivered = 1) {
    return host_.CallNumber("EventPrivateChat", {std::string(kWxRobot), delivered, std::string(kWxOwner),
                                                 std::string(), text, std::int32_t(0), enterprise});
  }

  // The library's calls since the last time they were taken.
  std::vector<FakeCall> TakeCalls() {
    const std::vector<FakeCall> all = ParseFakeHostLog(ReadFile(libraryFolder() + "\\fakehost.log"));
    std::vector<FakeCall> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen_, all.size())), all.end());
    seen_ = all.size();
    return fresh;
  }
  // A call with the identity pair first and, for a function with a robot in
  // this edition, the robot after it.
  FakeCall Expect(const std::string& function, std::vector<std::string> args, const char* robot = nullptr) const {
    if (robot && edition_.pro) args.insert(args.begin(), robot);
    args.insert(args.begin(), {kFile, kApp});
    return {"Api.dll", function, std::move(args)};
  }

 private:
  const WxEdition& edition_;
  std::string folder_;
  Host host_;
  std::size_t seen_ = 0;
};

const std::vector<std::pair<std::string, std::string>> kFiles{
    {"SayZ.ini", Library({{"你好", "你好呀"}, {"头像", "[头像]"}, {"踢", "再见[踢出]"}})},
    {"admin", "[admin]\r\n仅限群号=开\r\n群号列表=111,333\r\n"},
};

class WxTranscriptTest : public ::testing::TestWithParam<WxEdition> {};

TEST_P(WxTranscriptTest, StartLoginAnswersKickAvatarAndLogout) {
  const WxEdition& e = GetParam();
  WebServer web;
  web.Serve("/avatar/owner.png", "avatar-bytes");
  WxHost h(std::string("wx-transcript-") + e.name, e, e.fake, kFiles);
  ASSERT_TRUE(h.Start());
  std::vector<FakeCall> start;
  if (!e.pro) start.push_back({"Api.dll", "InitApp", {kApp, kFile, "1", "0", "9.9", "0"}});
  EXPECT_EQ(h.TakeCalls(), start);

  EXPECT_EQ(h.Login(0, kWxRobot), 0);
  EXPECT_EQ(h.Login(0, "wxid_second"), 0);  // the first account is kept
  EXPECT_EQ(h.Private("你好").number, 1);
  EXPECT_EQ(h.Group("你好").number, 1);
  EXPECT_EQ(h.Group("你好", "333", 1, 1).number, 1);  // an enterprise account's group
  EXPECT_EQ(h.Group("你好", "111", 2).number, 0);     // not delivered as a message
  EXPECT_EQ(h.Group("你好", "222").number, 0);        // not in the group list
  EXPECT_EQ(h.Private("你好", 0, 0).number, 0);
  EXPECT_EQ(h.Group("踢").number, 1);
  std::vector<FakeCall> expected{h.Expect("SendTextMsg", {kWxOwner, "你好呀"}, kWxRobot),
                                 h.Expect("SendTextMsg", {"111", "你好呀"}, kWxRobot)};
  if (e.pro) expected.push_back(h.Expect("SendTextMsg_企业", {"333", "你好呀"}, kWxRobot));  // basic: not sent
  expected.push_back(h.Expect("RemoveGroupMember", {"111", kWxOwner}, kWxRobot));
  expected.push_back(h.Expect("SendTextMsg", {"111", "再见"}, kWxRobot));
  EXPECT_EQ(h.TakeCalls(), expected);

  h.Answer(FakeHostAnswerLine("GetHeadimgByWxid", web.base() + "/avatar/owner.png"));
  EXPECT_EQ(h.Private("头像").number, 1);
  EXPECT_EQ(h.TakeCalls(), (std::vector<FakeCall>{
                               h.Expect("GetHeadimgByWxid", {kWxOwner}, kWxRobot),
                               h.Expect("SendTextMsg", {kWxOwner, "[pic=" + h.DataFile("头像.png") + "]"}, kWxRobot)}));
  EXPECT_EQ(ReadFile(h.DataFile("头像.png")), "avatar-bytes");

  // Logout ends the account; the next login is taken.
  EXPECT_EQ(h.Login(1, ""), 0);
  EXPECT_EQ(h.Login(0, "wxid_second"), 0);
  EXPECT_EQ(h.Private("你好").number, 1);
  EXPECT_EQ(h.host().CallNumber("StopUsing").number, 0);
  EXPECT_EQ(h.Login(0, "wxid_third"), 0);
  EXPECT_EQ(h.Private("你好").number, 1);
  EXPECT_EQ(h.TakeCalls(), (std::vector<FakeCall>{h.Expect("SendTextMsg", {kWxOwner, "你好呀"}, "wxid_second"),
                                                  h.Expect("SendTextMsg", {kWxOwner, "你好呀"}, "wxid_third")}));
  EXPECT_EQ(h.host().CallNumber("Uninstall").number, 0);
}

INSTANTIATE_TEST_SUITE_P(Editions, WxTranscriptTest, ::testing::Values(kBasic, kPro),
                         [](const auto& info) { return std::string(info.param.name); });

// After Initialization a runtime error goes to the host's Error, the
// application name first: here the host says it is professional but keeps
// the basic library, whose SendTextMsg takes one word less.
TEST(WxErrors, ARuntimeErrorReachesTheHostsErrorFunction) {
  WxHost h("wx-error", kPro, kBasic.fake, kFiles);
  ASSERT_TRUE(h.Start());
  ASSERT_EQ(h.Login(0, kWxRobot), 0);
  const CallResult r = h.Private("你好");
  EXPECT_EQ(r.stackSkew, 0);
  const std::vector<FakeCall> calls = h.TakeCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].function, "SendTextMsg");
  EXPECT_EQ(calls[1], (FakeCall{"Api.dll", "Error", {kApp, kFile, "6", "调用DLL命令后发现堆栈错误"}}));
}

// Mended: a host without its Api.dll is not ended; nothing is called.
TEST(WxErrors, WithoutTheLibraryNothingIsSentAndTheHostGoesOn) {
  WxHost h("wx-no-library", kPro, kPro.fake, kFiles);
  ASSERT_TRUE(DeleteFileA((h.libraryFolder() + "\\Api.dll").c_str()));
  ASSERT_TRUE(h.Start());
  EXPECT_EQ(h.Login(0, kWxRobot), 0);
  for (int i = 0; i < 2; ++i) {
    const CallResult r = h.Private("你好");
    EXPECT_TRUE(r.ok) << r.raw;
    EXPECT_EQ(r.number, 1);
  }
  EXPECT_EQ(h.host().CallNumber("StopUsing").number, 0);
}

// Mended: without a folder of its own the library is found by the standard
// search (beside the host's program), not in "\Bin\" of the current drive.
TEST(WxStart, WithoutAPathTheLibraryIsFoundBesideTheProgram) {
  WxHost h("wx-no-path", kBasic, kBasic.fake, {});
  const std::string beside = h.hostFolder() + "\\..\\Api.dll";
  WriteFile(beside, ReadFile(FakeHostFolder() + "\\wx\\Api.dll"));
  ASSERT_TRUE(h.host().Load());
  const std::string json = "{\"AppName\":\"a\",\"FileName\":\"f\",\"Version\":\"VLW\"}";
  EXPECT_EQ(h.host().CallNumber("Initialization", {std::string(), json}).number, 0);
  const std::vector<FakeCall> calls = ParseFakeHostLog(ReadFile(h.hostFolder() + "\\..\\fakehost.log"));
  EXPECT_EQ(calls, (std::vector<FakeCall>{{"Api.dll", "InitApp", {"a", "f", "0", "0", "", "0"}}}));
  EXPECT_TRUE(h.TakeCalls().empty());
}

}  // namespace
}  // namespace zoq::testing
