// Who counts as an owner, which groups the filter lets through, and how the
// numeric events of each host reach the handler.
#include <gtest/gtest.h>

#include "core/messages/events.hpp"
#include "core/messages/handler.hpp"
#include "core/settings.hpp"
#include "tests/core/core_fixture.hpp"

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

// Enable, the account, the robot filter and the answers of each host are in
// the transcripts; these are the switches and the group filter between an
// event and the handler.
TEST_F(EventTest, PermissionsAndTheGroupFilterGateTheHandler) {
  const NumericHost vlq = PlainNumericHost(kHostVlq);
  RunNumericEvent(vlq, Ev("", kEventEnabled));
  RunNumericEvent(vlq, Ev("20001", kEventAccount));
  PluginState& p = Plugin();
  p.Settings.主人号码 = "20001,30001";
  // The owner's on word is consumed (1), through every door that is open.
  EXPECT_EQ(RunNumericEvent(vlq, Ev("20001", kEventPrivateMessage, "", "30001", "开启问答")), 1);
  p.仅限群号 = true;
  p.群号列表 = "1111";
  EXPECT_EQ(RunNumericEvent(vlq, Ev("20001", kEventGroupMessage, "111", "30001", "开启问答")), 0);
  EXPECT_EQ(RunNumericEvent(vlq, Ev("20001", kEventGroupMessage, "1111", "30001", "开启问答")), 1);
  p.Settings.群组权限 = false;
  EXPECT_EQ(RunNumericEvent(vlq, Ev("20001", kEventGroupMessage, "1111", "30001", "开启问答")), 0);
  p.Settings.好友权限 = false;
  EXPECT_EQ(RunNumericEvent(vlq, Ev("20001", kEventPrivateMessage, "", "30001", "开启问答")), 0);
}

}  // namespace
}  // namespace zoq::testing
