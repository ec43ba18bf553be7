// One transcript per numeric-event host through the real DLL: enable, take
// the account, answer an exact and a fuzzy keyword in a group and in
// private with that host's own send call, and pass over what is not ours.
#include <gtest/gtest.h>

#include "tests/messages/session.hpp"

namespace zoq::testing {
namespace {

class TranscriptTest : public ::testing::TestWithParam<NumericHostCase> {};

const std::vector<std::pair<std::string, std::string>> kLibraries{
    {"SayZ.ini", Library({{"你好", "你好呀[N]朋友"}, {"图", "[P=C:\\a.png]"}})},
    {"SayM.ini", Library({{"天气", "晴[|]晴"}})},
};

TEST_P(TranscriptTest, AnswersExactAndFuzzyInGroupAndPrivate) {
  const NumericHostCase& hc = GetParam();
  Session s(std::string("transcript-") + hc.name, hc, kLibraries);
  ASSERT_TRUE(s.Load());
  EXPECT_EQ(s.Event(12000).number, hc.lifecycleResult);
  const CallResult account = s.Event(hc.accountCode);
  ASSERT_TRUE(account.ok) << account.raw;
  EXPECT_EQ(account.stackSkew, 0);
  EXPECT_EQ(account.number, hc.handledOffset);  // 0, MyQQ 1

  const std::int32_t answered = 1 + hc.handledOffset;
  const CallResult exactPrivate = s.Private("你好");
  EXPECT_EQ(exactPrivate.stackSkew, 0);
  EXPECT_EQ(exactPrivate.number, answered);
  EXPECT_EQ(s.Group("你好").number, answered);
  EXPECT_EQ(s.Private("今天天气不错").number, answered);
  EXPECT_EQ(s.Group("今天 天 气不错").number, answered);  // blanks do not matter
  EXPECT_EQ(s.Group("图").number, answered);
  const std::vector<FakeCall> expected{
      hc.sendCall(1, "", kOwner, "你好呀\r\n朋友"),
      hc.sendCall(2, "111", kOwner, "你好呀\r\n朋友"),
      hc.sendCall(1, "", kOwner, "晴"),
      hc.sendCall(2, "111", kOwner, "晴"),
      hc.sendCall(2, "111", kOwner, "[pic=C:\\a.png]"),
  };
  EXPECT_EQ(s.TakeCalls(), expected);
}

TEST_P(TranscriptTest, PassesOverOwnMessagesOtherRobotsAndMisses) {
  const NumericHostCase& hc = GetParam();
  Session s(std::string("pass-over-") + hc.name, hc, kLibraries);
  ASSERT_TRUE(s.Start());
  const std::int32_t passed = hc.handledOffset;  // 0, MyQQ 1
  EXPECT_EQ(s.Event(1, {}, kRobot, "你好").number, 0);          // own private message
  EXPECT_EQ(s.Event(1, {}, kOwner, "你好", "29999").number, passed);  // another robot
  EXPECT_EQ(s.Event(2, "111", kOwner, "你好", "29999").number, passed);
  EXPECT_EQ(s.Private("没有这个词").number, passed);
  EXPECT_EQ(s.Event(5, "111", kOwner, "你好").number, passed);  // an unknown event
  if (std::string(hc.name) == "MyQQ") {
    // MyQQ hands its own group messages on.
    EXPECT_EQ(s.Event(2, "111", kRobot, "你好").number, 2);
    EXPECT_EQ(s.TakeCalls(), std::vector<FakeCall>{hc.sendCall(2, "111", kRobot, "你好呀\r\n朋友")});
  } else {
    EXPECT_EQ(s.Event(2, "111", kRobot, "你好").number, 0);
    EXPECT_TRUE(s.TakeCalls().empty());
  }
}

TEST_P(TranscriptTest, DisableForgetsTheAccountUntilTheNextAccountEvent) {
  const NumericHostCase& hc = GetParam();
  Session s(std::string("disable-") + hc.name, hc, kLibraries);
  ASSERT_TRUE(s.Start());
  s.Event(hc.accountCode, {}, {}, {}, "29999");  // a second account is not taken
  EXPECT_EQ(s.Event(1, {}, kOwner, "你好", "29999").number, hc.handledOffset);
  EXPECT_EQ(s.Event(12002).number, hc.lifecycleResult);
  EXPECT_EQ(s.Private("你好").number, hc.handledOffset);
  s.Event(hc.accountCode);
  EXPECT_EQ(s.Private("你好").number, 1 + hc.handledOffset);
  EXPECT_EQ(s.TakeSent(), std::vector<std::string>{"你好呀\r\n朋友"});
}

INSTANTIATE_TEST_SUITE_P(Hosts, TranscriptTest, ::testing::ValuesIn(NumericHostCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zoq::testing
