// Sorting children and merging texts, objects and arrays.
#include <gtest/gtest.h>

#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

TEST(JsonSort, SortByKey) {
  JsonDocument d = Doc(R"({"b":1,"a":2,"c":3})");
  EXPECT_TRUE(d.SortByKey(""));
  EXPECT_EQ(d.ToText(), R"({"a":2,"b":1,"c":3})");
  EXPECT_TRUE(d.SortByKey("", 1));
  EXPECT_EQ(d.ToText(), R"({"c":3,"b":1,"a":2})");
  EXPECT_EQ(d.GetInt("b"), 1);
  EXPECT_EQ(d.GetName("[0]"), "c");
  JsonDocument mixed = Doc(R"({"b":1,"B":2,"a":3})");
  EXPECT_TRUE(mixed.SortByKeyW(W(u""), 0, 1));
  EXPECT_EQ(mixed.GetName("[0]"), "a");
  // Keys sort in the platform's word order: letters without regard to case first.
  JsonDocument words = Doc(R"({"b":1,"a":2,"C":3})");
  EXPECT_TRUE(words.SortByKey(""));
  EXPECT_EQ(words.ToText(), R"({"a":2,"b":1,"C":3})");
  EXPECT_TRUE(words.SortByKey("", 1));
  EXPECT_EQ(words.ToText(), R"({"C":3,"b":1,"a":2})");
  JsonDocument cases = Doc(R"({"A":1,"a":2})");
  EXPECT_TRUE(cases.SortByKey(""));
  EXPECT_EQ(cases.ToText(), R"({"a":2,"A":1})");
  JsonDocument arr = Doc(R"({"x":[3,1]})");
  EXPECT_FALSE(arr.SortByKey("x"));
  EXPECT_FALSE(arr.SortByKey("missing"));
  EXPECT_EQ(arr.ToText(), R"({"x":[3,1]})");
}

TEST(JsonSort, SortWithComparatorAndWithoutRecursion) {
  JsonDocument d = Doc("[5,3,9,1,7,3]");
  const auto byValue = [&](const NodeHandle& a, const NodeHandle& b, int32_t sign) {
    const int64_t x = d.ViewOf(a).GetInt64(), y = d.ViewOf(b).GetInt64();
    return sign * (x < y ? -1 : x > y ? 1 : 0);
  };
  d.Sort("", byValue, 1);
  EXPECT_EQ(d.ToText(), "[1,3,3,5,7,9]");
  d.SortW(W(u""), byValue, -1);
  EXPECT_EQ(d.ToText(), "[9,7,5,3,3,1]");
  JsonDocument two = Doc(R"({"x":1,"y":2})");
  two.Sort("", [](const NodeHandle&, const NodeHandle&, int32_t) { return 0; });
  EXPECT_EQ(two.ToText(), R"({"x":1,"y":2})");
  // Two children: the median of three compares them first in list order, then
  // the first with the second and with itself; one child is never compared.
  JsonDocument pair = Doc("[20,10]");
  std::vector<std::string> calls;
  pair.Sort("", [&](const NodeHandle& a, const NodeHandle& b, int32_t value) {
    calls.push_back(pair.ViewOf(a).ToText() + "," + pair.ViewOf(b).ToText() + "," + std::to_string(value));
    return byValue(a, b, 1);
  }, 7);
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "20,10,7");
  EXPECT_EQ(calls[1], "10,20,7");
  EXPECT_EQ(calls[2], "10,10,7");
  EXPECT_EQ(pair.ToText(), "[10,20]");
  calls.clear();
  JsonDocument single = Doc("[1]");
  single.Sort("", [&](const NodeHandle&, const NodeHandle&, int32_t) { calls.push_back("x"); return 0; });
  EXPECT_TRUE(calls.empty());
  JsonDocument scalar = Doc("[1]");
  scalar.Sort("[0]", byValue);
  EXPECT_EQ(scalar.ToText(), "[1]");
  // A large sorted input (the worst case of a naive quicksort) sorts fine.
  std::string text = "[";
  for (int k = 0; k < 50000; ++k) text += (k ? "," : "") + std::to_string(k);
  JsonDocument big = Doc(text + "]");
  big.Sort("", byValue, -1);
  EXPECT_EQ(big.GetInt("[0]"), 49999);
  EXPECT_EQ(big.GetInt("[49999]"), 0);
}

TEST(JsonMerge, MergeText) {
  const struct { const char* target; const char* text; int32_t addMissing; bool ok; const char* result; } cases[] = {
      {R"({"a":{"x":1}})", R"({"a":{"y":2},"b":3})", 0, true, R"({"a":{"x":1}})"},
      {R"({"a":{"x":1}})", R"({"a":{"y":2},"b":3})", 1, true, R"({"a":{"x":1,"y":2},"b":3})"},
      {R"({"a":[1]})", R"({"a":[2]})", 0, true, R"({"a":[2]})"},
      {R"({"a":{"x":1}})", R"({"a":5})", 0, true, R"({"a":5})"},
      {R"({"a":2})", R"({"a":1.50})", 0, true, R"({"a":1.5})"},
      {"[1]", R"({"a":1})", 1, false, "[1]"},
      // A nested merge with nothing to do does not stop the members after it.
      {R"({"a":{"x":1},"b":1})", R"({"a":{},"b":2})", 0, true, R"({"a":{"x":1},"b":2})"},
      {R"({"a":{"x":{"p":1}},"b":1})", R"({"a":{"x":{"q":2}},"b":2})", 0, true, R"({"a":{"x":{"p":1}},"b":2})"},
  };
  for (const auto& c : cases) {
    JsonDocument d = Doc(c.target);
    EXPECT_EQ(d.MergeText("", c.text, std::nullopt, c.addMissing), c.ok) << c.target << " + " << c.text;
    EXPECT_EQ(d.ToText(), c.result) << c.target << " + " << c.text;
  }
  JsonDocument d = Doc("{}");
  EXPECT_TRUE(d.MergeText("n", R"({"k":1})"));
  EXPECT_EQ(d.ToText(), R"({"n":{"k":1}})");
  EXPECT_TRUE(d.MergeTextW(W(u"v"), W(u"1.50")));
  EXPECT_EQ(d.ToText(), R"({"n":{"k":1},"v":1.50})");
  EXPECT_FALSE(d.MergeText("bad", R"({"k")"));
  EXPECT_EQ(d.ToText(), R"({"n":{"k":1},"v":1.50,"bad":null})");
}

TEST(JsonMerge, MergeObjectAndConcatArray) {
  JsonDocument d = Doc(R"({"a":{"x":1},"s":"str","arr":[1,2]})");
  EXPECT_TRUE(d.MergeObject("", Doc(R"({"a":{"y":2},"b":1.50})")));
  EXPECT_EQ(d.ToText(), R"({"a":{"y":2},"s":"str","arr":[1,2],"b":1.5})");
  EXPECT_FALSE(d.MergeObject("", Doc("[1]")));
  EXPECT_FALSE(d.MergeObject("", JsonDocument()));
  EXPECT_TRUE(d.ConcatArray("arr", Doc("[3,4]")));
  EXPECT_TRUE(d.ConcatArray("s", Doc("[3,4]")));
  EXPECT_EQ(d.ToText(), R"({"a":{"y":2},"s":[3,4],"arr":[1,2,3,4],"b":1.5})");
  EXPECT_TRUE(d.ConcatArray("arr", d.GetNode("arr")));
  EXPECT_EQ(d.ToText("arr"), "[1,2,3,4,1,2,3,4]");
  EXPECT_FALSE(d.ConcatArray("arr", Doc("{}")));
  // Merging a node of the target into its own ancestor reads no freed node.
  JsonDocument self = Doc(R"({"a":{"a":{"k":1},"z":2}})");
  EXPECT_TRUE(self.MergeObject("", self.GetNode("a")));
  EXPECT_EQ(self.ToText(), R"({"a":{"k":1},"z":2})");
}

}  // namespace
}  // namespace zoq::json::test
