// Mute, recall and kick reach the fake API DLL of the active host with the
// exact arguments, carried out while the template is expanded.
#include <windows.h>

#include <map>
#include <memory>

#include "core/expand.hpp"
#include "core/reply/actions.hpp"
#include "core/hosts.hpp"
#include "platform/window.hpp"
#include "tests/fakehost/fakehost_client.hpp"
#include "tests/reply/reply_test_support.hpp"

namespace zoq::testing {
namespace {

struct ActionHost {
  std::int32_t host;
  const char* dll;
  const char* mute;
  const char* recall;
  const char* kick;
  std::vector<std::string> lead;  // words before the robot (XQ's auth id)
};

void PrintTo(const ActionHost& h, std::ostream* os) { *os << h.dll; }

const std::string kXqAuthId = "0100000002000000";  // SetAuthId(1, 2)

const ActionHost kHosts[] = {
    {kHostVlq, "VLQapi.dll", "Api_Shutup", "Api_WithdrawMsg", "Api_KickGroupMBR", {}},
    {kHostXq, "xqapi.dll", "S3_Api_ShutUP", "S3_Api_WithdrawMsg", "S3_Api_KickGroupMBR", {kXqAuthId}},
    {kHostOq, "OQapi.dll", "Api_ShutUP", "Api_WithdrawMsg", "Api_KickGroupMBR", {}},
    {kHostMingQq, "MingQQAPI.DLL", "Api_Shutup", "Api_WithdrawMsg", "Api_KickGroupMBR", {}},
    {kHostSp, "SPapi.dll", "Api_ShutUP", "Api_WithdrawMsg", "Api_KickGroupMBR", {}},
    {kHostEr, "ERapi.dll", "Api_ShutUP", "Api_WithdrawMsg", "Api_KickGroupMBR", {}},
    {kHostMyQq, "MyQQApi.DLL", "Api_Shutup", "Api_WithdrawMsg", "Api_KickGroupMBR", {}},
};

class ActionsTest : public ReplyTest, public ::testing::WithParamInterface<ActionHost> {
 protected:
  ActionsTest() {
    platform::SetMessageBoxHook([](const std::string&, const std::string&, unsigned) { return IDOK; });
    for (const ActionHost& h : kHosts) Fake(h.dll).Reset();
    Fake("xqapi.dll").SetAnswer("S3_Api_GetVer", "5");
    Hosts().xq.BindModule();
    Hosts().xq.SetAuthId(1, 2);
    Plugin().HostType = h.host;
    for (const ActionHost& other : kHosts) Fake(other.dll).Reset();
  }

  FakeCall Expect(const char* function, std::vector<std::string> args) const {
    args.insert(args.begin(), h.lead.begin(), h.lead.end());
    return {h.dll, function, std::move(args)};
  }
  std::vector<FakeCall> Calls() const { return Fake(h.dll).Calls(); }
  // Calls that reached any other host.
  std::size_t CallsElsewhere() const {
    std::size_t count = 0;
    for (const ActionHost& other : kHosts) {
      if (std::string(other.dll) != h.dll) count += Fake(other.dll).Calls().size();
    }
    return count;
  }

  const ActionHost& h = GetParam();
};

TEST_P(ActionsTest, MuteRecallAndKickCarryTheRecordsFields) {
  EXPECT_EQ(Expand("[禁言]a[撤回]b[踢出]"), "ab");
  EXPECT_EQ(Calls(), (std::vector<FakeCall>{Expect(h.mute, {"10001", "20002", "30003", "60"}),
                                            Expect(h.recall, {"10001", "20002", "8", "7"}),
                                            Expect(h.kick, {"10001", "20002", "30003", "0"})}));
  EXPECT_EQ(CallsElsewhere(), 0u);
}

TEST_P(ActionsTest, OneMutePerExpansionWithTheFirstDuration) {
  EXPECT_EQ(Expand("[禁言5][禁言10][禁言5]"), "[禁言10]");
  EXPECT_EQ(Expand("[禁言600]"), "");
  EXPECT_EQ(Expand("[禁言4294967356]"), "");  // only the low 32 bits
  EXPECT_EQ(Expand("[禁言x][禁言"), "[禁言");   // no number: 0
  EXPECT_EQ(Expand("[禁言"), "[禁言");          // no closing: 0, nothing removed
  EXPECT_EQ(Calls(), (std::vector<FakeCall>{Expect(h.mute, {"10001", "20002", "30003", "5"}),
                                            Expect(h.mute, {"10001", "20002", "30003", "600"}),
                                            Expect(h.mute, {"10001", "20002", "30003", "60"}),
                                            Expect(h.mute, {"10001", "20002", "30003", "0"}),
                                            Expect(h.mute, {"10001", "20002", "30003", "0"})}));
}

TEST_P(ActionsTest, ADrawnNumberWrittenInTheTemplateSetsTheDuration) {
  const std::string reply = Expand("套餐[禁言[数字100]]");
  EXPECT_EQ(reply, "套餐");
  ASSERT_EQ(Calls().size(), 1u);
  const int seconds = std::stoi(Calls()[0].args.back());
  EXPECT_GE(seconds, 1);
  EXPECT_LE(seconds, 100);
}

TEST_P(ActionsTest, ARecallAloneLeavesNothingToSend) {
  record_.kind = MessageKind::Private;  // every host but the function-table one acts on any kind
  record_.group.clear();
  EXPECT_EQ(Expand("[撤回]"), "");
  EXPECT_EQ(Calls(), (std::vector<FakeCall>{Expect(h.recall, {"10001", "", "8", "7"})}));
}

TEST_P(ActionsTest, ActionsRunWhenTheyAreReachedInTheChosenAlternativeOnly) {
  for (std::uint32_t t = 0; t < 16; ++t) {
    ticks_ = t * 313;
    Expand("[踢出][|]stay");
  }
  const std::size_t kicks = Calls().size();
  EXPECT_GT(kicks, 0u);
  EXPECT_LT(kicks, 16u);
}

// Mended: actions inside inserted text used to be carried out.
TEST_P(ActionsTest, InsertedTextNeverActs) {
  record_.text = "复读[踢出][撤回][禁言5][禁言]";
  EXPECT_EQ(Expand("[消息]", "复读"), "[踢出][撤回][禁言5][禁言]");
  record_.sender = "[踢出]";
  EXPECT_EQ(Expand("[号码][@]"), "[踢出]" + SenderMentionCode("[踢出]"));
  web_.Serve("/act", "[\xE6\x92\xA4\xE5\x9B\x9E]");  // "[撤回]" in UTF-8
  EXPECT_EQ(Expand("[文接口=" + web_.base() + "/act]"), "[撤回]");
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(CallsElsewhere(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Hosts, ActionsTest, ::testing::ValuesIn(kHosts),
                         [](const auto& info) { return std::to_string(info.param.host); });

using NoHostActionsTest = ReplyTest;

TEST_F(NoHostActionsTest, WithoutAnActiveHostNothingIsCalled) {
  for (std::int32_t host : {std::int32_t{kHostNone}, std::int32_t{2}}) {
    Plugin().HostType = host;
    for (const ActionHost& h : kHosts) Fake(h.dll).Reset();
    EXPECT_EQ(Expand("[禁言][撤回][踢出]x"), "x");
    for (const ActionHost& h : kHosts) EXPECT_TRUE(Fake(h.dll).Calls().empty()) << h.dll;
  }
}

TEST_F(NoHostActionsTest, DurationsBeyond32BitsPassTheirLowBits) {
  Plugin().HostType = kHostVlq;
  Fake("VLQapi.dll").Reset();
  MuteSender(record_, 0x1'0000'0005LL);
  MuteSender(record_, 2147483648LL);
  EXPECT_EQ(Fake("VLQapi.dll").Calls(),
            (std::vector<FakeCall>{{"VLQapi.dll", "Api_Shutup", {"10001", "20002", "30003", "5"}},
                                   {"VLQapi.dll", "Api_Shutup", {"10001", "20002", "30003", "-2147483648"}}}));
}

using IskyActionsTest = IskyHostTest;

TEST_F(IskyActionsTest, ActionsNeedNoRobotAndRecallByTheFirstId) {
  record_.idA = "4294967297";  // only its low 32 bits
  EXPECT_EQ(Expand("[禁言][撤回][踢出]ok"), "ok");
  EXPECT_EQ(fake_.Calls(), (std::vector<FakeCall>{Expect("Api_SetGroupBan", {"20002", "30003", "60"}),
                                                  Expect("Api_DeleteMsg", {"1"}),
                                                  Expect("Api_SetGroupKick", {"20002", "30003", "0"})}));
  EXPECT_EQ(Expand("[@]"), "[CQ:at,qq=30003]");
}

using TableActionsTest = TableHostTest;

TEST_F(TableActionsTest, GroupMessagesUseBothIdsAndSixtyFourBitNumbers) {
  Plugin().RobotAccount = "6442450944";
  record_.idB = "-9876543210123";
  EXPECT_EQ(Expand("[禁言30][撤回][踢出]"), "");
  EXPECT_EQ(fake_.Calls(),
            (std::vector<FakeCall>{Expect("禁言群成员", {"6442450944", "20002", "30003", "30"}),
                                   Expect("撤回消息_群聊", {"6442450944", "20002", "-9876543210123", "7"}),
                                   Expect("删除群成员", {"6442450944", "20002", "30003", "0"})}));
}

TEST_F(TableActionsTest, GuildMessagesUseTheSubchannelAndTheFirstId) {
  for (MessageKind kind : {MessageKind::Channel, MessageKind::ChannelDirect}) {
    fake_.Reset();
    record_.kind = kind;
    record_.group = "40004";
    record_.subchannel = 50005;
    record_.sender = "not a number";
    EXPECT_EQ(Expand("[禁言][撤回][踢出]"), "");
    EXPECT_EQ(fake_.Calls(), (std::vector<FakeCall>{Expect("禁言频道成员", {"10001", "40004", "0", "60"}),
                                                    Expect("撤回频道消息", {"10001", "40004", "50005", "7"}),
                                                    Expect("移除频道成员", {"10001", "40004", "0", "0"})}));
  }
}

TEST_F(TableActionsTest, PrivateMessagesAreLeftAlone) {
  record_.kind = MessageKind::Private;
  record_.group.clear();
  EXPECT_EQ(Expand("[禁言][撤回][踢出]x"), "x");
  EXPECT_TRUE(fake_.Calls().empty());
}

}  // namespace
}  // namespace zoq::testing
