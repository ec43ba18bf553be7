// The numeric-event hosts: who counts as an owner, which groups the filter
// lets through, the switches between an event and the handler; through the
// real DLL what each host passes over, disabling, and the export table,
// every export removing exactly its own argument words.
#include <gtest/gtest.h>

#include "core/messages/events.hpp"
#include "core/messages/handler.hpp"
#include "core/settings.hpp"
#include "tests/core/core_fixture.hpp"
#include "tests/messages/session.hpp"

namespace zoq::testing {
namespace {

using FilterTest = CoreTest;

TEST_F(FilterTest, OwnersAndListedGroupsCountOnlyAsWholeNumbers) {
  PluginState& p = Plugin();
  const struct {
    const char* list;
    const char* number;
    bool owner, group;  // as an owner number, and as a group with the group filter on
  } cases[] = {
      {"10001,10002", "10002", true, true},   {"10001,10002", "1000", false, false},  // inside 10001
      {"10001,10002", "0001", false, false},  {"10001,10002", "100011", false, false},
      {"10001,10002", "", false, false},      {"主人:10001 和 10002;", "10002", true, true},  // any separators
      {"", "10001", false, false},            {"Room-A7,111", "room-a7", false, true},  // groups in either case
      {"Room-A7,111", "room-a", false, false},
  };
  for (const auto& c : cases) {
    p.Change([&](Options& o) {
      o.Settings.主人号码 = c.list;
      o.群号列表 = c.list;
      o.仅限群号 = true;
    });
    EXPECT_EQ(IsOwner(c.number), c.owner) << c.list << " / " << c.number;
    EXPECT_EQ(IsGroupAllowed(c.number), c.group) << c.list << " / " << c.number;
    p.Change([](Options& o) { o.仅限群号 = false; });
    EXPECT_TRUE(IsGroupAllowed(c.number));
  }
}

// Enable, the account, the robot filter and the answers of each host are in
// the transcripts; these are the switches and the group filter between an
// event and the handler.
TEST_F(FilterTest, PermissionsAndTheGroupFilterGateTheHandler) {
  const NumericHost vlq = PlainNumericHost(kHostVlq);
  const auto on = [&](std::int32_t code, const std::string& group) {
    return RunNumericEvent(vlq, NumericEvent{"20001", code, group, "30001", "开启问答", "idB", "idA"});
  };
  RunNumericEvent(vlq, NumericEvent{"", kEventEnabled});
  RunNumericEvent(vlq, NumericEvent{"20001", kEventAccount});
  PluginState& p = Plugin();
  p.Change([](Options& o) { o.Settings.主人号码 = "20001,30001"; });
  EXPECT_EQ(on(kEventPrivateMessage, ""), 1);  // the owner's on word is consumed, through every open door
  p.Change([](Options& o) {
    o.仅限群号 = true;
    o.群号列表 = "1111";
  });
  EXPECT_EQ(on(kEventGroupMessage, "111"), 0);
  EXPECT_EQ(on(kEventGroupMessage, "1111"), 1);
  p.Change([](Options& o) { o.Settings.群组权限 = false; });
  EXPECT_EQ(on(kEventGroupMessage, "1111"), 0);
  p.Change([](Options& o) { o.Settings.好友权限 = false; });
  EXPECT_EQ(on(kEventPrivateMessage, ""), 0);
}

class NumericHostsTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(NumericHostsTest, PassOverOwnMessagesOtherRobotsAndMissesAndForgetTheAccountWhenDisabled) {
  const HostCase& hc = GetParam();
  Session s(std::string("numeric-") + hc.name, hc, {{"SayZ.ini", Library({{"你好", "好"}})}});
  ASSERT_TRUE(s.Load());
  EXPECT_EQ(s.Event(12000).number, hc.lifecycleResult);
  const CallResult account = s.Event(hc.accountCode);
  EXPECT_EQ(account.stackSkew, 0);
  const std::int32_t passed = hc.handledOffset;  // 0, MyQQ 1
  EXPECT_EQ(account.number, passed);
  s.Event(hc.accountCode, {}, {}, {}, "29999");  // a second account is not taken
  EXPECT_EQ(s.Event(1, {}, kRobot, "你好").number, 0);                 // own private message
  EXPECT_EQ(s.Event(1, {}, kOwner, "你好", "29999").number, passed);  // another robot
  EXPECT_EQ(s.Event(2, "111", kOwner, "你好", "29999").number, passed);
  EXPECT_EQ(s.Private("没有这个词").number, passed);
  EXPECT_EQ(s.Event(5, "111", kOwner, "你好").number, passed);  // an unknown event
  // MyQQ alone hands its own group messages on.
  const bool myqq = std::string(hc.name) == "MyQQ";
  EXPECT_EQ(s.Event(2, "111", kRobot, "你好").number, myqq ? 2 : 0);
  EXPECT_EQ(s.Event(12002).number, hc.lifecycleResult);
  EXPECT_EQ(s.Private("你好").number, passed);
  s.Event(hc.accountCode);
  EXPECT_EQ(s.Private("你好").number, 1 + passed);
  EXPECT_EQ(s.TakeSent().size(), myqq ? 2u : 1u);
}

// Mended: on the first messages after a start a thread could keep, without
// a reference, the API DLL another had loaded and then let go of: the host
// crashed. Each start loads the DLL anew, many threads calling at once.
TEST_P(NumericHostsTest, ManyThreadsOnTheFirstMessagesOfEachStart) {
  const HostCase& hc = GetParam();
  Session s(std::string("first-calls-") + hc.name, hc, {{"SayZ.ini", Library({{"你好", "好"}})}});
  constexpr int kStarts = 10, kThreads = 16;
  for (int start = 0; start < kStarts; ++start) {
    if (start == kStarts - 1) ASSERT_TRUE(s.host().Preload(hc.apiDll));  // at last the host has its API DLL loaded
    ASSERT_TRUE(s.Start()) << start;
    ASSERT_TRUE(s.host().Storm(kThreads, 2, hc.eventExport, {s.EventArgs(1, {}, kOwner, "你好")}));
    ASSERT_EQ(s.host().Wait().first, kThreads * 2) << start;  // the host is still there
    EXPECT_EQ(s.TakeSent(), Sent(kThreads * 2, "好")) << start;
    s.host().Unload();
  }
  // and it stays: the plug-in let go of its own reference only.
  EXPECT_NE(s.host().FunctionAddress(hc.apiDll, "FakeHost_SpentNanoseconds"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Hosts, NumericHostsTest, ::testing::ValuesIn(NumericHostCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NumericExports, EveryExportBalancesTheStackForItsArgumentWords) {
  Host host(FreshRunFolder("numeric-exports"));
  ASSERT_TRUE(host.Load());
  const struct {
    const char* name;
    int words;
    std::int32_t result;
  } exports[] = {
      {"Event", 12, 0},          {"OQ_Event", 12, 0},     {"XQ_Event", 12, 0},        {"MQEvent", 11, 0},
      {"SP_Event", 11, 0},       {"ER_Event", 11, 0},     {"MQ_Event", 11, 1},        {"end", 0, 0},
      {"OQ_DestroyPlugin", 0, 0}, {"MQend", 0, 0},        {"SP_DestroyPlugin", 0, 0}, {"ER_DestroyPlugin", 0, 0},
      {"XQ_DestroyPlugin", 0, 0}, {"OQ_Message", 6, 1},   {"MQ_Message", 6, 1},       {"XQ_AuthId", 2, 0},
  };
  for (const auto& e : exports) {
    // Null texts and zero numbers: an unknown event code 0, read as nothing.
    const CallResult r = e.words == 2 ? host.CallVoid(e.name, {std::int32_t(0), std::int32_t(0)})
                                      : host.CallNumber(e.name, std::vector<Arg>(e.words, std::int32_t(0)));
    ASSERT_TRUE(r.ok) << e.name << ": " << r.raw;
    EXPECT_TRUE(r.stackSkew == 0 && r.number == e.result) << e.name << ": " << r.number;
  }
  // The message notifications return 1 for any arguments.
  for (const char* name : {"OQ_Message", "MQ_Message"}) {
    EXPECT_EQ(host.CallNumber(name, {std::string("20001"), std::int32_t(2), std::string("111"), std::string("30001"),
                                     std::string("你好"), Null{}}).number, 1) << name;
  }
}

// The code every message runs through is kept side by side in the image: a
// message that arrives on a CPU that went idle while the host waited fetches
// it from a few pages, not from dozens spread over the image.
TEST(NumericExports, AMessageRunsInAFewPagesOfTheImage) {
  Session s("numeric-pages", NumericHostCaseNamed("VLQ"),
            {{"SayZ.ini", Library({{"你好", "好[N]的"}})}, {"SayM.ini", Library({{"天气", "晴"}})}});
  ASSERT_TRUE(s.Load());
  s.Event(12000);
  s.Event(1101);
  const struct {
    const char* text;
    std::int32_t handled;
    int most;  // code pages at most
  } messages[] = {{"你好", 1, 23}, {"今天天气怎么样", 1, 23}, {"没有这个词", 0, 17}};  // spread: 43, 45, 30
  for (const auto& m : messages) ASSERT_EQ(s.Group(m.text).number, m.handled) << m.text;  // the libraries read
  s.host().CountPages(true);
  for (const auto& m : messages) {
    ASSERT_EQ(s.Group(m.text).number, m.handled) << m.text;
    const int code = s.host().PagesTouched().first;
    EXPECT_GT(code, 0) << m.text;  // counted at all
    EXPECT_LE(code, m.most) << m.text;
  }
  s.host().CountPages(false);
  EXPECT_EQ(s.TakeSent().size(), 4u);
}

TEST(NumericExports, NullTextsAreEmptyTexts) {
  Session s("numeric-null-texts", HostCaseNamed("ER"));
  ASSERT_TRUE(s.Load());
  EXPECT_EQ(s.Event(12000).number, 0);
  const auto nulls = [&](Arg robot, Arg sender) {
    return s.host().CallNumber("ER_Event", {robot, std::int32_t(robot.index() == 2 ? 1101 : 1), std::int32_t(0),
                                            Null{}, sender, Null{}, Null{}, Null{}, Null{}, Null{}, std::int32_t(0)});
  };
  // A null robot takes no account; a null message text is empty: no reply.
  EXPECT_EQ(nulls(Null{}, Null{}).number, 0);
  EXPECT_EQ(s.Event(1101).number, 0);
  EXPECT_EQ(s.Private("星期几").number, 1);
  EXPECT_EQ(nulls(std::string(kRobot), std::string(kOwner)).number, 0);
  EXPECT_EQ(s.TakeSent(), Sent{"今天星期六"});
}

}  // namespace
}  // namespace zoq::testing
