// The ISky event reader.
#include <gtest/gtest.h>

#include "json/isky_event_reader.hpp"

namespace zoq::json::test {
namespace {

TEST(IskyEventReader, ReadsTheFieldsOfAMessageEvent) {
  IskyEventReader r;
  ASSERT_TRUE(r.Load(R"({"isky":{"type":2,"group_id":123,"user_id":456,"msg":"&#91;hi&#93;","msg_id":7}})"));
  EXPECT_EQ(r.GetInt("type"), 2);
  EXPECT_EQ(r.GetInt64("group_id"), 123);
  EXPECT_EQ(r.GetText("group_id"), "123");
  EXPECT_EQ(r.GetInt64("user_id"), 456);
  EXPECT_EQ(r.GetText("msg"), "&#91;hi&#93;");
  EXPECT_EQ(r.GetInt("msg_id"), 7);
  r.Clear();
  EXPECT_EQ(r.GetInt("type"), 0);
}

TEST(IskyEventReader, AbsentFieldsAndOtherTexts) {
  IskyEventReader r;
  ASSERT_TRUE(r.Load(R"({"top":1,"isky":{"flag":true,"name":"a","list":[{"v":9}]}})"));
  EXPECT_TRUE(r.GetBool("flag"));
  EXPECT_EQ(r.GetText("name"), "a");
  EXPECT_EQ(r.GetInt("list[0].v"), 9);
  EXPECT_EQ(r.GetText("absent"), "");
  EXPECT_EQ(r.GetInt("absent"), 0);
  EXPECT_EQ(r.GetInt64("absent"), 0);
  EXPECT_FALSE(r.GetBool("absent"));
  EXPECT_EQ(r.GetInt("top"), 0);
  EXPECT_FALSE(r.Load("not json"));
  EXPECT_EQ(r.GetText("name"), "");
}

}  // namespace
}  // namespace zoq::json::test
