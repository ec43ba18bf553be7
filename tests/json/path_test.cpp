// Path syntax: escapes, empty segments, indexes, and read/write asymmetry.
#include <gtest/gtest.h>

#include "json/engine.hpp"
#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

using detail::ParsePath;
using detail::Segment;

std::string Describe(std::u16string_view path) {
  const auto segs = ParsePath(path);
  if (!segs) return "invalid";
  std::string out;
  for (const Segment& s : *segs) {
    if (!out.empty()) out += ' ';
    if (s.kind == Segment::kKey) out += "k:" + Gbk(s.key);
    else out += "i:" + std::to_string(s.index);
  }
  return out;
}

TEST(JsonPath, SegmentTable) {
  const struct { std::u16string_view path; const char* segments; } cases[] = {
      {u"", ""},
      {u".", ""},
      {u"..", ""},
      {u"]", ""},
      {u"a.b", "k:a k:b"},
      {u"a[2]", "k:a i:2"},
      {u"a.[2]", "k:a i:2"},
      {u"[0]", "i:0"},
      {u"a[0]b", "k:a i:0 k:b"},
      {u"a..b", "k:a k:b"},
      {u"a\\.b", "k:a.b"},
      {u"a\\\\b", "k:a\\b"},
      {u"a\\b", "k:a\\b"},
      {u"a\\[1\\]", "k:a[1]"},
      {u"x[]", "k:x i:-1"},
      {u"x[-1]", "k:x i:-1"},
      {u"a[1.5]", "k:a k:1 i:1"},
      {u"a[1]]", "k:a i:1 i:1"},
      {u"ab]c", "k:c"},
      {u"a[1", "k:a k:1"},
      {u"a[x]", "k:a i:0"},
      {u"a[12abc]", "k:a i:12"},
      {u"a\\", "k:a\\"},
      {u"a[2147483647]", "k:a i:2147483647"},
      {u"a[-2147483647]", "k:a i:-2147483647"},
      {u"a[0000000000002]", "k:a i:2"},
      {u"a[2147483648]", "invalid"},
      {u"a[4294967295]", "invalid"},
      {u"b.a[99999999999999999999x]", "invalid"},
  };
  for (const auto& c : cases) EXPECT_EQ(Describe(c.path), c.segments) << Gbk(c.path);
}

TEST(JsonPath, ReadOnlyResolution) {
  JsonDocument d = Doc(R"({"a":{"b":1},"a.b":2,"a\\b":3,"name":4,"items":[10,20,30],"s":"x"})");
  EXPECT_EQ(d.GetInt("a.b"), 1);
  EXPECT_EQ(d.GetInt("a\\.b"), 2);
  EXPECT_EQ(d.GetInt("a\\\\b"), 3);
  EXPECT_EQ(d.GetInt("a\\b"), 3);
  EXPECT_EQ(d.GetType(""), kObject);
  EXPECT_EQ(d.GetType("..."), kObject);
  EXPECT_EQ(d.GetType("Name"), kMissing);                  // keys are case-sensitive
  EXPECT_EQ(d.GetText("[1]"), "2");                        // index on an object: second member
  EXPECT_EQ(d.GetType("s[0]"), kMissing);                  // index on a string
  EXPECT_EQ(d.GetType("items[-1]"), kMissing);
  EXPECT_EQ(d.GetType("items[]"), kMissing);
  EXPECT_EQ(d.GetType("items[3]"), kMissing);
  EXPECT_EQ(d.GetInt("items[2]"), 30);
  EXPECT_EQ(d.GetType("a.b.c"), kMissing);
  EXPECT_EQ(d.ToText(), R"({"a":{"b":1},"a.b":2,"a\\b":3,"name":4,"items":[10,20,30],"s":"x"})");
}

TEST(JsonPath, WritingMakesThePath) {
  JsonDocument d = Doc("{}");
  ASSERT_TRUE(d.SetText("a.b", "x"));
  EXPECT_EQ(d.ToText(), R"({"a":{"b":"x"}})");
  JsonDocument five = Doc(R"({"a":5})");
  five.SetText("a.b", "x");
  EXPECT_EQ(five.ToText(), R"({"a":{"b":"x"}})");
  JsonDocument arr = Doc("{}");
  arr.SetText("[1]", "x");
  EXPECT_EQ(arr.ToText(), R"([null,"x"])");
  JsonDocument deep = Doc("{}");
  deep.SetNull("a.b[2]");
  EXPECT_EQ(deep.ToText(), R"({"a":{"b":[null,null,null]}})");
}

TEST(JsonPath, IndexOnObjectReadsMemberButWritesArray) {
  JsonDocument d = Doc(R"({"o":{"k":1}})");
  EXPECT_EQ(d.GetText("o[0]"), "1");
  d.SetText("o[0]", "x");
  EXPECT_EQ(d.ToText(), R"({"o":["x"]})");
}

TEST(JsonPath, NegativeIndexAppendsWhenWriting) {
  JsonDocument d = Doc(R"({"x":[1]})");
  d.SetInt("x[]", 7);
  d.SetInt("x[-1]", 8);
  EXPECT_EQ(d.ToText(), R"({"x":[1,7,8]})");
  // On an object the index is its member count; the object then becomes the array.
  JsonDocument o = Doc(R"({"o":{"a":1,"b":2}})");
  o.SetInt("o[]", 7);
  EXPECT_EQ(o.ToText(), R"({"o":[null,null,7]})");
  // A first index on a root of another kind makes the root an array before counting.
  JsonDocument r = Doc(R"({"a":1,"b":2})");
  r.SetInt("[]", 5);
  EXPECT_EQ(r.ToText(), "[5]");
}

TEST(JsonPath, WideFormsLeaveTheCallersBytesUnchanged) {
  JsonDocument d = Doc(R"({"a.b":{"c":1}})");
  const ByteSet path = W(u"a\\.b.c");
  const ByteSet before = path;
  EXPECT_EQ(d.GetIntW(path), 1);
  EXPECT_TRUE(d.SetIntW(path, 2));
  EXPECT_EQ(path, before);
  // Odd length and no terminator: read up to the last whole character.
  ByteSet odd = {'a', 0, '.', 0, 'b', 0, 'x'};
  JsonDocument e = Doc(R"({"a":{"b":5}})");
  EXPECT_EQ(e.GetIntW(odd), 5);
}

TEST(JsonPath, ExistsAndEmptyPaths) {
  JsonDocument d = Doc(R"({"a":{},"b":[0]})");
  EXPECT_FALSE(d.Exists(""));
  EXPECT_FALSE(d.Exists("a[0]"));
  EXPECT_TRUE(d.Exists("b[0]"));
  EXPECT_TRUE(d.Exists("a"));
  EXPECT_FALSE(JsonDocument().Exists("a"));
}

TEST(JsonPath, GbkTextsEndAtTheirFirstNul) {
  using namespace std::string_literals;
  JsonDocument d = Doc("{}");
  EXPECT_TRUE(d.SetText("k\0x"s, "v\0w"s));
  EXPECT_TRUE(d.PutMember("", "m\0n"s, Doc("1")));
  EXPECT_EQ(d.ToText(), R"({"k":"v","m":1})");
  EXPECT_EQ(d.GetText("k\0y"s), "v");
  EXPECT_TRUE(d.Load("[1]\0[2]"s));
  EXPECT_EQ(d.ToText(), "[1]");
}

TEST(JsonPath, InvalidGbkPathFailsInsteadOfActingOnTheRoot) {
  JsonDocument d = Doc(R"({"a":1})");
  const std::string bad = "\x81";  // a lead byte without its trail byte
  EXPECT_FALSE(d.SetText(bad, "x"));
  EXPECT_EQ(d.GetType(bad), kMissing);
  d.ClearAt(bad);
  EXPECT_FALSE(d.SetText("a", bad));
  EXPECT_EQ(d.ToText(), R"({"a":1})");
}

}  // namespace
}  // namespace zoq::json::test
