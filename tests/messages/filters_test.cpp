// Who counts as an owner, which groups the filter lets through, and how the
// numeric events of each host reach the handler.
#include <gtest/gtest.h>

#include "core/messages/events.hpp"
#include "core/messages/handler.hpp"
#include "core/settings.hpp"
#include "tests/core/core_fixture.hpp"

namespace zoq {
// The hosts' event codes, from their export files.
extern const NumericHost kVlqEvents, kOqEvents, kSpEvents, kErEvents, kMyQqEvents;
}  // namespace zoq

namespace zoq::testing {
namespace {

using FilterTest = CoreTest;

TEST_F(FilterTest, OwnersCountOnlyAsWholeNumbers) {
  Plugin().Settings.主人号码 = "10001,10002";
  EXPECT_TRUE(IsOwner("10001"));
  EXPECT_TRUE(IsOwner("10002"));
  EXPECT_FALSE(IsOwner("1000"));   // inside 10001
  EXPECT_FALSE(IsOwner("0001"));
  EXPECT_FALSE(IsOwner("100011"));
  EXPECT_FALSE(IsOwner(""));       // an empty sender is never an owner
  Plugin().Settings.主人号码 = "主人:10001 和 10002;";  // any separators
  EXPECT_TRUE(IsOwner("10002"));
  Plugin().Settings.主人号码.clear();
  EXPECT_FALSE(IsOwner("10001"));
}

TEST_F(FilterTest, GroupListAllowsWholeNumbersOnly) {
  PluginState& p = Plugin();
  p.群号列表 = "111,222";
  p.仅限群号 = false;
  EXPECT_TRUE(IsGroupAllowed("333"));
  p.仅限群号 = true;
  EXPECT_TRUE(IsGroupAllowed("111"));
  EXPECT_TRUE(IsGroupAllowed("222"));
  EXPECT_FALSE(IsGroupAllowed("22"));
  EXPECT_FALSE(IsGroupAllowed("1"));
  EXPECT_FALSE(IsGroupAllowed("333"));
  EXPECT_FALSE(IsGroupAllowed(""));
  p.群号列表 = "群111 群222|333";
  EXPECT_TRUE(IsGroupAllowed("333"));
  // Group identifiers with letters are listed in either case.
  p.群号列表 = "Room-A7,111";
  EXPECT_TRUE(IsGroupAllowed("room-a7"));
  EXPECT_FALSE(IsGroupAllowed("room-a"));  // inside room-a7
  p.群号列表.clear();
  EXPECT_FALSE(IsGroupAllowed("111"));
}

using EventTest = CoreTest;

NumericEvent Ev(const std::string& robot, std::int32_t code, const std::string& group = {},
                const std::string& sender = {}, const std::string& text = {}) {
  return NumericEvent{robot, code, group, sender, text, "idB", "idA"};
}

TEST_F(EventTest, EnableStoresTheHostKindEvenAfterAnotherHost) {
  EXPECT_EQ(RunNumericEvent(kVlqEvents, Ev("", kEventEnabled)), 0);
  EXPECT_EQ(Plugin().HostType, kHostVlq);
  EXPECT_TRUE(Plugin().Settings.好友权限);
  EXPECT_EQ(RunNumericEvent(kSpEvents, Ev("", kEventEnabled)), 0);
  EXPECT_EQ(Plugin().HostType, kHostSp);
  EXPECT_EQ(RunNumericEvent(kMyQqEvents, Ev("", kEventEnabled)), 10);
  EXPECT_EQ(Plugin().HostType, kHostMyQq);
  EXPECT_EQ(RunNumericEvent(kMyQqEvents, Ev("", kEventDisabled)), 10);
  EXPECT_EQ(RunNumericEvent(kMyQqEvents, Ev("", 5)), 1);
  EXPECT_EQ(RunNumericEvent(kErEvents, Ev("", 5)), 0);
}

TEST_F(EventTest, TheFirstAccountSticksUntilDisabled) {
  RunNumericEvent(kErEvents, Ev("", kEventEnabled));
  EXPECT_EQ(RunNumericEvent(kErEvents, Ev("20001", kEventAccount)), 0);
  EXPECT_EQ(Plugin().RobotAccount, "20001");
  EXPECT_TRUE(Plugin().AccountStarted);
  RunNumericEvent(kErEvents, Ev("20002", kEventAccount));
  EXPECT_EQ(Plugin().RobotAccount, "20001");
  RunNumericEvent(kErEvents, Ev("", kEventDisabled));
  EXPECT_EQ(Plugin().RobotAccount, "");
  EXPECT_FALSE(Plugin().AccountStarted);
  // MyQQ's account event has its own code; the classic one is nothing to it.
  EXPECT_EQ(RunNumericEvent(kMyQqEvents, Ev("20002", kEventAccount)), 1);
  EXPECT_EQ(Plugin().RobotAccount, "");
  EXPECT_EQ(RunNumericEvent(kMyQqEvents, Ev("20002", kEventMyQqAccount)), 1);
  EXPECT_EQ(Plugin().RobotAccount, "20002");
  // An empty account is no account.
  RunNumericEvent(kErEvents, Ev("", kEventDisabled));
  RunNumericEvent(kErEvents, Ev("", kEventAccount));
  EXPECT_FALSE(Plugin().AccountStarted);
}

TEST_F(EventTest, MessagesBeforeAnyAccountOrForAnotherRobotAreIgnored) {
  RunNumericEvent(kVlqEvents, Ev("", kEventEnabled));
  // No account yet: even an empty robot is not ours.
  EXPECT_EQ(RunNumericEvent(kVlqEvents, Ev("", kEventPrivateMessage, "", "30001", "开启问答")), 0);
  EXPECT_EQ(RunNumericEvent(kMyQqEvents, Ev("", kEventPrivateMessage, "", "30001", "开启问答")), 1);
  RunNumericEvent(kVlqEvents, Ev("20001", kEventAccount));
  Plugin().Settings.主人号码 = "30001";
  // Another robot: passed over.
  EXPECT_EQ(RunNumericEvent(kVlqEvents, Ev("20009", kEventPrivateMessage, "", "30001", "开启问答")), 0);
  // The robot's own messages: 0 for every host, except MyQQ's own group ones.
  EXPECT_EQ(RunNumericEvent(kVlqEvents, Ev("20001", kEventPrivateMessage, "", "20001", "开启问答")), 0);
  EXPECT_EQ(RunNumericEvent(kMyQqEvents, Ev("20001", kEventPrivateMessage, "", "20001", "开启问答")), 0);
  EXPECT_EQ(RunNumericEvent(kOqEvents, Ev("20001", kEventGroupMessage, "111", "20001", "开启问答")), 0);
}

TEST_F(EventTest, PermissionsAndTheGroupFilterGateTheHandler) {
  RunNumericEvent(kVlqEvents, Ev("", kEventEnabled));
  RunNumericEvent(kVlqEvents, Ev("20001", kEventAccount));
  PluginState& p = Plugin();
  p.Settings.主人号码 = "20001,30001";
  // The owner's on word is consumed (1), through every door that is open.
  EXPECT_EQ(RunNumericEvent(kVlqEvents, Ev("20001", kEventPrivateMessage, "", "30001", "开启问答")), 1);
  EXPECT_EQ(RunNumericEvent(kMyQqEvents, Ev("20001", kEventPrivateMessage, "", "30001", "开启问答")), 2);
  // MyQQ hands on the robot's own group message (an owner here).
  EXPECT_EQ(RunNumericEvent(kMyQqEvents, Ev("20001", kEventGroupMessage, "111", "20001", "开启问答")), 2);
  p.仅限群号 = true;
  p.群号列表 = "1111";
  EXPECT_EQ(RunNumericEvent(kVlqEvents, Ev("20001", kEventGroupMessage, "111", "30001", "开启问答")), 0);
  EXPECT_EQ(RunNumericEvent(kMyQqEvents, Ev("20001", kEventGroupMessage, "111", "30001", "开启问答")), 1);
  EXPECT_EQ(RunNumericEvent(kVlqEvents, Ev("20001", kEventGroupMessage, "1111", "30001", "开启问答")), 1);
  p.Settings.群组权限 = false;
  EXPECT_EQ(RunNumericEvent(kVlqEvents, Ev("20001", kEventGroupMessage, "1111", "30001", "开启问答")), 0);
  p.Settings.好友权限 = false;
  EXPECT_EQ(RunNumericEvent(kVlqEvents, Ev("20001", kEventPrivateMessage, "", "30001", "开启问答")), 0);
  EXPECT_EQ(RunNumericEvent(kMyQqEvents, Ev("20001", kEventPrivateMessage, "", "30001", "开启问答")), 1);
}

}  // namespace
}  // namespace zoq::testing
