// The writer: compact and pretty layouts, escapes, literals.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

TEST(JsonWriter, PrettyLayout) {
  JsonDocument d = Doc(R"({"a":1,"b":{"c":true}})");
  EXPECT_EQ(d.ToText("", true), "{\r\n\t\"a\":1,\r\n\t\"b\":{\r\n\t\t\"c\":true\r\n\t}\r\n}");
  EXPECT_EQ(d.ToText(), R"({"a":1,"b":{"c":true}})");
  EXPECT_EQ(Doc(R"([{"a":1}])").ToText("", true), "[{\r\n\t\t\"a\":1\r\n\t}]");
  EXPECT_EQ(Doc("{}").ToText("", true), "{\r\n}");
  EXPECT_EQ(Doc(R"({"e":{}})").ToText("", true), "{\r\n\t\"e\":{\r\n\t}\r\n}");
  for (bool pretty : {false, true}) EXPECT_EQ(Doc("[ ]").ToText("", pretty), "[]");
  EXPECT_EQ(Doc(R"({"a":[1,[2,{}]]})").ToText("a", true), "[1,[2,{\r\n\t\t}]]");
}

TEST(JsonWriter, EscapesOfValuesAndKeys) {
  JsonDocument d;
  d.LoadNew();
  d.SetTextW(W(u""), W(u"x"));  // the root becomes a string
  EXPECT_EQ(d.ToText(), R"("x")");
  d.LoadNew();
  d.SetTextW(W(u"a/b"), W(u"1/2\n\t\"\\\b\f\r\x01"));
  EXPECT_EQ(d.ToText(), "{\"a\\/b\":\"1/2\\n\\t\\\"\\\\\\b\\f\\r\x01\"}");
  EXPECT_EQ(d.ToText("", false, false), "{\"a/b\":\"1/2\n\t\"\\\b\f\r\x01\"}");
  d.LoadNew();
  d.SetTextW(W(u"k\n"), W(u"\u4e2d\u6587"));
  EXPECT_EQ(U(d.ToTextW()), u"{\"k\\n\":\"\u4e2d\u6587\"}");
  EXPECT_EQ(d.ToText(), Gbk(u"{\"k\\n\":\"\u4e2d\u6587\"}"));
  EXPECT_EQ(d.ToText("", false, false), Gbk(u"{\"k\n\":\"\u4e2d\u6587\"}"));
}

TEST(JsonWriter, GbkTextEqualsTheConvertedUtf16Text) {
  JsonDocument d;
  d.LoadNew();
  d.SetTextW(W(u"\u540d\u5b57"), W(u"\u4e2d\u6587 \u0e01 abc"));
  d.SetTextW(W(u"ascii"), W(u"plain"));
  EXPECT_EQ(d.ToText(), Gbk(U(d.ToTextW())));
  EXPECT_EQ(d.ToText("", true), Gbk(U(d.ToTextW(W(u""), true))));
  d.SetTextW(W(u"pair"), W(u"x\U0001F600y"));  // a surrogate pair: the whole text is converted at once
  EXPECT_EQ(d.ToText(), Gbk(U(d.ToTextW())));
}

TEST(JsonWriter, MissingPathsAndBufferSizes) {
  JsonDocument d = Doc(R"({"a":[1,2,3]})");
  EXPECT_EQ(d.ToText("nothing"), "");
  EXPECT_EQ(d.ToTextW(W(u"nothing")), (ByteSet{0, 0}));
  EXPECT_EQ(JsonDocument().ToTextW(), (ByteSet{0, 0}));
  for (int32_t size : {1, -5, 0, 4096}) EXPECT_EQ(d.ToText("", false, true, size), R"({"a":[1,2,3]})");
  EXPECT_EQ(d.ToText("a[1]"), "2");
}

TEST(JsonWriter, NumbersWithoutLiteralAndNonFiniteValues) {
  JsonDocument d;
  d.LoadNew();
  d.SetDouble("half", 0.5);
  d.SetDouble("third", 1.0 / 3);
  d.SetDouble("big", 1e20);
  d.SetDouble("inf", std::numeric_limits<double>::infinity());
  d.SetDouble("nan", std::nan(""));
  d.SetInt64("i", -9007199254740993LL);
  d.SetInt("n", -5);
  EXPECT_EQ(d.ToText(), R"({"half":0.5,"third":0.3333333333333,"big":1e+20,"inf":null,"nan":null,"i":-9007199254740993,"n":-5})");
  EXPECT_EQ(d.GetType("n"), kInt64);
  // A number node made by NewNode has the literal 0; an integer copied keeps its digits.
  JsonDocument e;
  e.LoadNew();
  e.SetRoot(e.NewNode(kDouble));
  EXPECT_EQ(e.ToText(), "0");
  EXPECT_TRUE(e.SetNode("", Doc("[9007199254740993,-0]")));
  EXPECT_EQ(e.ToText(), "[9007199254740993,0]");
}

}  // namespace
}  // namespace zoq::json::test
