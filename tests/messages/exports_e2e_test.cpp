// The export table of the numeric-event hosts: every export by name, each
// removing exactly its own argument words.
#include <gtest/gtest.h>

#include "tests/messages/session.hpp"

namespace zoq::testing {
namespace {

std::vector<Arg> Words(int count) {
  std::vector<Arg> args;
  for (int i = 0; i < count; ++i) args.push_back(std::int32_t(0));
  return args;
}

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
      {"XQ_DestroyPlugin", 0, 0}, {"OQ_Message", 6, 1},   {"MQ_Message", 6, 1},
  };
  for (const auto& e : exports) {
    // Null texts and zero numbers: an unknown event code 0, read as nothing.
    const CallResult r = host.CallNumber(e.name, Words(e.words));
    ASSERT_TRUE(r.ok) << e.name << ": " << r.raw;
    EXPECT_EQ(r.stackSkew, 0) << e.name;
    EXPECT_EQ(r.number, e.result) << e.name;
  }
  const CallResult auth = host.CallVoid("XQ_AuthId", Words(2));
  ASSERT_TRUE(auth.ok) << auth.raw;
  EXPECT_EQ(auth.stackSkew, 0);
}

TEST(NumericExports, MessageNotificationsReturnOneForAnyArguments) {
  Host host(FreshRunFolder("numeric-message-exports"));
  ASSERT_TRUE(host.Load());
  for (const char* name : {"OQ_Message", "MQ_Message"}) {
    const CallResult r = host.CallNumber(
        name, {std::string("20001"), std::int32_t(2), std::string("111"), std::string("30001"), std::string("你好"),
               Null{}});
    EXPECT_EQ(r.number, 1) << name;
    EXPECT_EQ(r.stackSkew, 0) << name;
  }
}

TEST(NumericExports, NullTextsAreEmptyTexts) {
  Session s("numeric-null-texts", NumericHostCaseNamed("ER"));
  ASSERT_TRUE(s.Load());
  EXPECT_EQ(s.Event(12000).number, 0);
  // The account event with a null robot takes no account.
  const CallResult r = s.host().CallNumber("ER_Event", {Null{}, std::int32_t(1101), std::int32_t(0), Null{}, Null{},
                                                         Null{}, Null{}, Null{}, Null{}, Null{}, std::int32_t(0)});
  ASSERT_TRUE(r.ok) << r.raw;
  EXPECT_EQ(r.number, 0);
  // So the real account is taken afterwards, and its messages answered.
  EXPECT_EQ(s.Event(1101).number, 0);
  EXPECT_EQ(s.Private("星期几").number, 1);
  // A null message text is the empty text: no keyword, no reply.
  const CallResult empty = s.host().CallNumber("ER_Event", {std::string(kRobot), std::int32_t(1), std::int32_t(0),
                                                             Null{}, std::string(kOwner), Null{}, Null{}, Null{},
                                                             Null{}, Null{}, std::int32_t(0)});
  EXPECT_EQ(empty.number, 0);
  EXPECT_EQ(s.TakeSent(), std::vector<std::string>{"今天星期六"});
}

}  // namespace
}  // namespace zoq::testing
