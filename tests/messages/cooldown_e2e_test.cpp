// Cool-downs against the host's controlled clock: the exact library tested
// after the expansion, the fuzzy one before it, the date-time texts of SAVE
// and the purge on the 151st counted reply.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/messages/session_test.hpp"

namespace zoq::testing {
namespace {

class CooldownE2eTest : public SessionTest {
 protected:
  Files DataFiles() const override {
    return {{"admin", "[admin]\r\n精确冷却=60\r\n模糊冷却=６０\r\n"},
            {"SayZ.ini", Library({{"你好", "你好呀"}, {"禁", "[禁言60]禁了"}, {"撤", "[撤回]"}})},
            {"SayM.ini", Library({{"空", "[撤回]"}, {"天气", "晴"}})}};
  }
  std::string Save(const std::string& group, const std::string& key) { return Ini("SAVE", group, key); }
  void WriteSave(const std::string& group, const std::string& key, const std::string& value) {
    WriteIni("SAVE", group, key, value);
  }
  static std::size_t Count(const std::vector<FakeCall>& calls, const std::string& function) {
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const FakeCall& c) { return c.function == function; }));
  }
};

TEST_F(CooldownE2eTest, ExactRepliesAreHeldPerGroupAndTheTimeIsWritten) {
  EXPECT_EQ(s().Group("你好").number, 1);
  EXPECT_EQ(Save("111", "你好"), "2026年12月5日17时46分29秒");
  s().SetClock(2026, 12, 5, 17, 46, 39);
  EXPECT_EQ(s().Group("你好").number, 0);
  EXPECT_EQ(s().Group("你好", "222").number, 1);
  EXPECT_EQ(s().Private("你好").number, 1);
  EXPECT_EQ(s().Private("你好").number, 1);  // private records have no group to hold them
  s().SetClock(2026, 12, 5, 17, 47, 29);
  EXPECT_EQ(s().Group("你好").number, 1);
  EXPECT_EQ(Save("111", "你好"), "2026年12月5日17时47分29秒");
  s().SetClock(2026, 12, 5, 18, 0, 0);
  EXPECT_EQ(s().Group("你好", "222").number, 1);
  EXPECT_EQ(Save("222", "你好"), "2026年12月5日18时");
  EXPECT_EQ(ReadIniSections(s().DataFile("SAVE")), (std::vector<std::string>{"111", "222"}));
  EXPECT_EQ(s().TakeSent(), Sent(6, "你好呀"));
}

TEST_F(CooldownE2eTest, ExactTemplatesAreExpandedBeforeTheTest) {
  EXPECT_EQ(s().Group("禁").number, 1);
  s().SetClock(2026, 12, 5, 17, 46, 40);
  EXPECT_EQ(s().Group("禁").number, 0);
  const std::vector<FakeCall> calls = s().TakeCalls();
  EXPECT_EQ(Count(calls, "Api_Shutup"), 2u);  // the action ran also when held back
  EXPECT_EQ(Count(calls, "Api_SendMsg"), 1u);
  // An exact template that expands to nothing is no exact answer: no time.
  EXPECT_EQ(s().Group("撤").number, 0);
  EXPECT_EQ(Save("111", "撤"), "");
}

TEST_F(CooldownE2eTest, FuzzyKeywordsAreTestedBeforeTheExpansion) {
  EXPECT_EQ(s().Group("空空").number, 0);  // expands to nothing, yet its time is written
  EXPECT_EQ(Save("111", "空"), "2026年12月5日17时46分29秒");
  EXPECT_EQ(Count(s().TakeCalls(), "Api_WithdrawMsg"), 1u);
  EXPECT_EQ(s().Group("天气好").number, 1);
  s().SetClock(2026, 12, 5, 17, 47, 28);
  EXPECT_EQ(s().Group("天气好").number, 0);
  s().SetClock(2026, 12, 5, 17, 47, 29);
  EXPECT_EQ(s().Group("好天气").number, 1);
  EXPECT_EQ(s().TakeSent(), (Sent{"晴", "晴"}));
}

TEST_F(CooldownE2eTest, StoredTimesAreReadWithEverySeparator) {
  s().SetClock(2026, 12, 5, 17, 46, 30);
  for (const char* stored : {"2026年12月5日17时46分", "2026/12/5 17:46:00", "2026-12-5 17:46", "2026.12.5.17.46.0",
                             "2026:12:5:17:46:0", "2026/12/5/17/46"}) {
    WriteSave("111", "你好", stored);
    EXPECT_EQ(s().Group("你好").number, 0) << stored;
  }
  for (const char* stored : {"0", "", "坏了", "2026年12月5日17时46分29秒后"}) {
    WriteSave("111", "你好", stored);
    EXPECT_EQ(s().Group("你好").number, 1) << stored;
  }
}

TEST_F(CooldownE2eTest, TheHundredAndFiftyFirstCountedReplyDeletesSave) {
  WriteSave("111", "你好", "2026年12月5日17时46分29秒");
  for (int i = 0; i < 150; ++i) ASSERT_EQ(s().Private("你好").number, 1) << i;
  EXPECT_EQ(s().Group("开启问答").number, 0);  // not an owner here: nothing counted
  EXPECT_TRUE(Exists(s().DataFile("SAVE")));
  EXPECT_EQ(s().Private("你好").number, 1);
  EXPECT_FALSE(Exists(s().DataFile("SAVE")));
  // Counting starts again: the held key answers at once.
  EXPECT_EQ(s().Group("你好").number, 1);
  EXPECT_TRUE(Exists(s().DataFile("SAVE")));
}

}  // namespace
}  // namespace zoq::testing
