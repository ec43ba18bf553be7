// The tolerant parser: accepted texts, result codes and error positions.
#include <gtest/gtest.h>

#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

struct Case {
  const char* text;
  int32_t code;
  int32_t pos;
  const char* result;  // compact text after the parse (null after a failure)
};

void Check(const Case* cases, size_t n, std::optional<int32_t> flags = std::nullopt) {
  for (size_t k = 0; k < n; ++k) {
    const ParseOutcome o = ParseText(cases[k].text, flags);
    EXPECT_EQ(o.code, cases[k].code) << cases[k].text;
    EXPECT_EQ(o.pos, cases[k].pos) << cases[k].text;
    EXPECT_EQ(o.text, cases[k].result) << cases[k].text;
  }
}

TEST(JsonParser, LenientTextsAreAccepted) {
  const Case cases[] = {
      {"{ }", 0, 0, "{}"},
      {"[ ]", 0, 0, "[]"},
      {" \t\r\n", 0, 0, "null"},
      {R"({"a":1,})", 0, 0, R"({"a":1})"},
      {"[1,]", 0, 0, "[1]"},
      {"[,1]", 0, 0, "[1]"},
      {"[1,,2]", 0, 0, "[1,2]"},
      {"{'a':'x'}", 0, 0, R"({"a":"x"})"},
      {"{a:1}", 0, 0, R"({"a":1})"},
      {R"({"a":{} "b":1})", 0, 0, R"({"a":{},"b":1})"},
      {"[[1] 2]", 0, 0, "[[1],2]"},
      {R"({"a":1}{"b":2})", 0, 0, R"({"a":1,"b":2})"},
      {"[1][2]", 0, 0, "[1,2]"},
      {R"({"a":1,"a":2})", 0, 0, R"({"a":2})"},
      {R"({ "a" : [ 1 , "x y" ] , "b" : null })", 0, 0, R"({"a":[1,"x y"],"b":null})"},
      {R"(["it's", 'say "hi"'])", 0, 0, R"(["it's","say \"hi\""])"},
      {R"({"x":'{'})", 0, 0, R"({"x":"{"})"},
  };
  Check(cases, std::size(cases));
}

TEST(JsonParser, BareTopLevelValues) {
  const Case cases[] = {
      {"42", 0, 0, "42"},
      {" 42", 0, 0, "42"},
      {"42 \r\n", 0, 0, "42"},
      {"true", 0, 0, "true"},
      {"true ", 0, 0, "true"},
      {" \"x\"", 0, 0, R"("x")"},
      {R"("{")", 0, 0, R"("{")"},
      {"null", 0, 0, "null"},
      {"True", -6, 0, "null"},
      {"NULL", -6, 0, "null"},
      {"1 2", -6, 0, "null"},
      {R"("a" "b")", -6, 0, "null"},
      {R"("a"b")", -6, 0, "null"},
      {R"("x)", -6, 0, "null"},
      {R"({"a":1} x)", -6, 0, "null"},
      {"[1]]", -6, 0, "null"},
      {R"({"a":1}[2])", -4, 7, "null"},
      {"[1]{}", -4, 3, "null"},
  };
  Check(cases, std::size(cases));
  JsonDocument d = Doc(" 42");
  EXPECT_EQ(d.GetLiteral(), "42");
  EXPECT_EQ(d.GetType(), kInt64);
}

TEST(JsonParser, ErrorCodesAndPositions) {
  const Case cases[] = {
      {"", -2, 0, "{}"},
      {"{{", -4, 1, "null"},
      {R"({"a" {)", -4, 5, "null"},
      {R"({"a" "b":1})", -4, 6, "null"},
      {R"({a"b":1})", -4, 3, "null"},
      {R"({"":1})", -4, 3, "null"},
      {"[[1] [2]]", -4, 5, "null"},
      {"{my key:1}", -4, 4, "null"},
      {R"({"a"x:1})", -4, 4, "null"},
      {"[1", -5, 3, "null"},
      {R"({"a":{"b":1})", -5, 13, "null"},
      {R"({,"a":1})", -6, 0, "null"},
      {R"({"a":1,,"b":2})", -6, 0, "null"},
      {R"({"a"})", -6, 0, "null"},
      {R"({"a":})", -6, 5, "null"},
      {R"({"a",)", -6, 0, "null"},
      {R"({"a)", -6, 0, "null"},
      {R"({"a":x})", -6, 5, "null"},
      {R"({"a":1 2})", -6, 5, "null"},
      {"[1 2]", -6, 1, "null"},
      {"[1}", -6, 1, "null"},
      {"[abc]", -6, 1, "null"},
      {R"({"a":12[)", -6, 5, "null"},
      {R"({"a":"x)", -7, 2, "null"},
      {R"(["x)", -7, 1, "null"},
      {R"({")", -7, 0, "null"},
      {R"(["a\)", -7, 1, "null"},
      {R"({"a\)", -6, 0, "null"},
      {R"("\)", -6, 0, "null"},
      {R"(["\u12)", -7, 1, "null"},
  };
  Check(cases, std::size(cases));
}

TEST(JsonParser, FailureLeavesTheTargetNullAndLoadKeepsTheRootNode) {
  JsonDocument d = Doc(R"({"a":1})");
  const NodeHandle root = d.GetRoot();
  int32_t code = 0, pos = 0;
  EXPECT_FALSE(d.Load(R"({"a")", std::nullopt, &code, &pos));
  EXPECT_EQ(code, -6);
  EXPECT_TRUE(d.HasRoot());
  EXPECT_EQ(d.GetType(), kNull);
  EXPECT_TRUE(d.Load("[1,2]"));
  EXPECT_TRUE(d.GetRoot() == root);
  EXPECT_EQ(d.ToText(), "[1,2]");
}

TEST(JsonParser, EscapesAndFlags) {
  const Case decoded[] = {
      {R"(["a\nb"])", 0, 0, R"(["a\r\nb"])"},
      {R"(["\r\n"])", 0, 0, R"(["\r\n"])"},
      {R"(["\t\b\f\"\\\/"])", 0, 0, R"(["\t\b\f\"\\/"])"},
      {R"(["\u0041\u00e9"])", 0, 0, "[\"A\xA8\xA6\"]"},
      {R"(["x\u0000y"])", 0, 0, R"(["xy"])"},
      {R"(["it\'s"])", 0, 0, R"(["it\\'s"])"},
      {R"(["\q"])", 0, 0, R"(["\\q"])"},
      {R"(["\u12G4"])", 0, 0, R"(["\\u12G4"])"},
      {R"({"\n":1})", 0, 0, R"({"\n":1})"},
      {R"({"k\"ey":1})", 0, 0, R"({"k\"ey":1})"},
  };
  Check(decoded, std::size(decoded));
  const Case raw[] = {
      {R"(["\u0041"])", 0, 0, R"(["\\u0041"])"},
      {R"(["\u4e2d"])", 0, 0, R"(["\\u4e2d"])"},
  };
  Check(raw, std::size(raw), 0);
  JsonDocument d = Doc(R"(["\u4e2d"])");
  EXPECT_EQ(U(d.GetTextW(W(u"[0]"))), u"\u4e2d");
  EXPECT_EQ(d.GetText("[0]"), Gbk(u"\u4e2d"));
}

TEST(JsonParser, IgnoreStrayText) {
  const Case cases[] = {
      {R"(xx{"a":1}yy)", 0, 0, R"({"a":1})"},
      {"callback([1,2]);", 0, 0, "[1,2]"},
  };
  Check(cases, std::size(cases), kDecodeUnicodeEscapes | kIgnoreStrayText);
  EXPECT_EQ(ParseText(R"(xx{"a":1})").code, -6);
}

TEST(JsonParser, NumbersKeepTheirLiterals) {
  const Case cases[] = {
      {"[1.50,007,1e3]", 0, 0, "[1.50,007,1e3]"},
      {"[1.50, 007]", 0, 0, "[1.50,007]"},
      {"[1e400,-0,+5,.5,1e,1-2]", 0, 0, "[1e400,-0,+5,.5,1e,1-2]"},
      {"[1.2.3]", -6, 1, "null"},
      {"[1ee3]", -6, 1, "null"},
      {"[e3]", -6, 1, "null"},
  };
  Check(cases, std::size(cases));
  JsonDocument d = Doc("[1.50,007,1e3,-12,.5,1-2,+,1e400,9223372036854775808]");
  const int32_t types[] = {kDouble, kInt64, kDouble, kInt64, kDouble, kDouble, kInt64, kDouble, kInt64};
  for (int32_t k = 0; k < 9; ++k) EXPECT_EQ(d.GetType("[" + std::to_string(k) + "]"), types[k]) << k;
  EXPECT_EQ(d.GetDouble("[0]"), 1.5);
  EXPECT_EQ(d.GetInt64("[1]"), 7);
  EXPECT_EQ(d.GetDouble("[2]"), 1000.0);
  EXPECT_EQ(d.GetDouble("[5]"), 1.0);
  EXPECT_EQ(d.GetInt64("[6]"), 0);
  EXPECT_EQ(d.GetInt64("[8]"), INT64_MAX);
  EXPECT_EQ(d.GetText("[0]"), "1.50");
}

TEST(JsonParser, DeepNestingNeedsNoRecursion) {
  for (size_t depth : {size_t{1025}, size_t{200000}}) {
    const std::string text = std::string(depth, '[') + std::string(depth, ']');
    JsonDocument d;
    int32_t code = 1;
    ASSERT_TRUE(d.Load(text, std::nullopt, &code)) << depth;
    const std::string out = d.ToText();
    EXPECT_EQ(out, text);
    JsonDocument copy;
    copy.LoadNew();
    EXPECT_TRUE(copy.SetNode("", d));
    EXPECT_EQ(copy.GetCount(), 1);
  }
  std::string objects;
  for (int k = 0; k < 200000; ++k) objects += "{\"a\":";
  objects += "1" + std::string(200000, '}');
  JsonDocument d = Doc(objects);
  EXPECT_EQ(d.ToText(), objects);
  EXPECT_TRUE(d.MergeText("", objects));
  EXPECT_EQ(d.ToText(), objects);
}

TEST(JsonParser, ByteSetsWithoutTerminatorOrWithOddLength) {
  JsonDocument d;
  ByteSet text = W(u"[1,2]");
  text.pop_back();
  text.pop_back();  // no NUL
  EXPECT_TRUE(d.LoadW(text));
  EXPECT_EQ(d.ToText(), "[1,2]");
  text.push_back('x');  // odd length
  EXPECT_TRUE(d.LoadW(text));
  EXPECT_EQ(d.ToText(), "[1,2]");
  int32_t code = 0;
  EXPECT_FALSE(d.LoadW(ByteSet{}, std::nullopt, &code));
  EXPECT_EQ(code, -2);
  EXPECT_FALSE(d.LoadW(ByteSet{'['}, std::nullopt, &code));
  EXPECT_EQ(code, -2);
}

TEST(JsonParser, LargeObjectsFindTheirMembers) {
  std::string text = "{";
  for (int k = 0; k < 500; ++k) text += (k ? ",\"k" : "\"k") + std::to_string(k) + "\":" + std::to_string(k);
  text += ",\"k7\":\"again\"}";
  JsonDocument d = Doc(text);
  EXPECT_EQ(d.GetCount(), 500);
  EXPECT_EQ(d.GetText("k7"), "again");
  EXPECT_EQ(d.GetInt("k499"), 499);
  EXPECT_EQ(d.GetName("[7]"), "k7");
  EXPECT_TRUE(d.RemoveMember("", "k3"));
  EXPECT_EQ(d.GetInt("k400"), 400);
  EXPECT_EQ(d.GetType("k3"), kMissing);
  d.SetInt("k3", 3);
  EXPECT_EQ(d.GetName("[499]"), "k3");
}

}  // namespace
}  // namespace zoq::json::test
