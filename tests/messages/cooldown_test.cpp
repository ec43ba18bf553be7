// Cool-down times: the date-time texts of `SAVE`, their reading back, and the
// test of one key against the file.
#include <gtest/gtest.h>

#include "core/ini_items.hpp"
#include "core/messages/cooldown.hpp"
#include "core/settings.hpp"
#include "tests/core/core_fixture.hpp"

namespace zoq::testing {
namespace {

TEST(DateTimeText, LeavesOutTrailingZeroPartsOfTheTime) {
  EXPECT_EQ(FormatDateTime({2026, 12, 5, 17, 46, 29}), "2026年12月5日17时46分29秒");
  EXPECT_EQ(FormatDateTime({2026, 12, 5, 18, 0, 0}), "2026年12月5日18时");
  EXPECT_EQ(FormatDateTime({2026, 12, 5, 18, 5, 0}), "2026年12月5日18时5分");
  EXPECT_EQ(FormatDateTime({2026, 12, 5, 0, 0, 7}), "2026年12月5日0时0分7秒");
  EXPECT_EQ(FormatDateTime({2026, 1, 2, 0, 0, 0}), "2026年1月2日");
}

TEST(DateTimeText, ReadsBackWithEverySeparator) {
  const DateTime full{2026, 12, 5, 17, 46, 29};
  for (const char* s : {"2026年12月5日17时46分29秒", "2026/12/5 17:46:29", "2026-12-5 17:46:29", "2026.12.5.17.46.29",
                        "2026/12/5/17/46/29", "2026-12-05-17-46-29", "2026年12月5日17:46:29", "2026:12:5:17:46:29"}) {
    const DateTime t = ParseDateTime(s);
    EXPECT_EQ(SecondsBetween(full, t), 0) << s;
  }
}

TEST(DateTimeText, MissingTrailingPartsCountAsZero) {
  EXPECT_EQ(SecondsBetween({2026, 12, 5, 18, 0, 0}, ParseDateTime("2026年12月5日18时")), 0);
  EXPECT_EQ(SecondsBetween({2026, 12, 5, 0, 0, 0}, ParseDateTime("2026年12月5日")), 0);
  EXPECT_EQ(SecondsBetween({2026, 12, 5, 0, 0, 0}, ParseDateTime("2026/12/5")), 0);
  EXPECT_EQ(SecondsBetween({2026, 12, 5, 9, 30, 0}, ParseDateTime("2026-12-5 9:30")), 0);
}

TEST(DateTimeText, WhatIsNoDateCountsAsTheEarliestDate) {
  for (const char* s : {"", "0", "abc", "2026", "2026年12月", "2026年13月5日", "2026年2月30日", "2026年12月5日25时",
                        "12026年1月1日", "2026年12月5日17时46分29秒后",
                        "2026年12月5日  17时"}) {
    const DateTime t = ParseDateTime(s);
    EXPECT_EQ(SecondsBetween(kEarliestDate, t), 0) << s;
  }
  // A blank ends the day only.
  EXPECT_EQ(SecondsBetween({2026, 12, 5, 17, 0, 0}, ParseDateTime("2026/12/5 17时")), 0);
  EXPECT_EQ(SecondsBetween(kEarliestDate, ParseDateTime("2026/12 5 17时")), 0);
}

TEST(DateTimeText, SecondsBetweenCountsDaysAcrossMonthsAndLeapYears) {
  EXPECT_EQ(SecondsBetween({2026, 12, 31, 23, 59, 50}, {2027, 1, 1, 0, 0, 10}), 20);
  EXPECT_EQ(SecondsBetween({2028, 2, 28, 0, 0, 0}, {2028, 3, 1, 0, 0, 0}), 2 * 86400);
  EXPECT_EQ(SecondsBetween({2026, 12, 5, 17, 0, 10}, {2026, 12, 5, 17, 0, 0}), -10);
  EXPECT_GT(SecondsBetween(kEarliestDate, {2026, 1, 1, 0, 0, 0}), std::int64_t{1900} * 365 * 86400);
}

using CooldownTest = CoreTest;

TEST_F(CooldownTest, NoCooldownTouchesNothing) {
  LoadSettings();
  EXPECT_TRUE(CooldownPasses("111", "你好", 0, "0"));
  EXPECT_TRUE(CooldownPasses("111", "你好", -5, "0"));
  EXPECT_FALSE(Exists(CooldownFile()));
}

TEST_F(CooldownTest, AnOldOrUnreadableTimePassesAndAFutureOneHolds) {
  LoadSettings();
  WriteIniItem(CooldownFile(), "111", std::string("旧"), std::string("2000/1/1 0:00:00"));
  WriteIniItem(CooldownFile(), "111", std::string("乱"), std::string("不是日期"));
  WriteIniItem(CooldownFile(), "111", std::string("新"), std::string("9999年1月1日"));
  EXPECT_TRUE(CooldownPasses("111", "旧", 3600, "0"));
  EXPECT_TRUE(CooldownPasses("111", "乱", 3600, "0"));
  EXPECT_FALSE(CooldownPasses("111", "新", 3600, "0"));
}

TEST_F(CooldownTest, PrivateRecordsWithoutGroupAreNeverHeldAndWriteNothing) {
  LoadSettings();
  EXPECT_TRUE(CooldownPasses("", "你好", 60, "0"));
  EXPECT_TRUE(CooldownPasses("", "你好", 60, "0"));
  EXPECT_FALSE(Exists(CooldownFile()));
}

}  // namespace
}  // namespace zoq::testing
