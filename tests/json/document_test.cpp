// The operations of JsonDocument and RefCountedJsonDocument (whose rules
// differ where the table says), views, copies and lifetimes, loads, sorting
// and merging, and the value class's own parser, values and factories.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "json/wide_document.hpp"
#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

const char* const kGetters = R"({"d":1.50,"small":1e-7,"two":2e-7,"neg":-0.5,"big":4294967296,"big1":4294967297,
    "t":true,"f":false,"s":"12abc","sd":"  2.5x","sw":"abc","n":null,"o":{},"a":[1],"x":2.9,"y":-2.9,"st":"true"})";

TEST(JsonDocuments, OperationsTable) {
  RunRows({
      // Writing makes its path, replacing nodes of other kinds on the way; an index on an object reads the member
      // at that place but writes an array.
      {R"({"a":5,"o":{"k":1}})", ZOQ_BOTH([](auto& d) {
         return Seq({S(d.SetText("a.b", "x")), S(d.SetNull("p.q[2]")), d.GetText("o[0]"), S(d.SetText("o[0]", "x"))});
       }), "truetrue1true", R"({"a":{"b":"x"},"o":["x"],"p":{"q":[null,null,null]}})", "truetruetrue",
       R"({"a":{"b":"x"},"o":["x"],"p":{"q":[null,null,null]}})"},
      {"{}", ZOQ_BOTH([](auto& d) { return S(d.SetText("[1]", "x")); }), "true", R"([null,"x"])"},
      // An empty or negative index appends (RefCountedJsonDocument: fails, the path made).
      {R"({"x":[1],"o":{"a":1,"b":2}})", ZOQ_BOTH([](auto& d) {
         return Seq({S(d.SetInt64("x[]", 7)), S(d.SetInt64("x[-1]", 8)), S(d.SetInt64("o[]", 7))});
       }), "truetruetrue", R"({"x":[1,7,8],"o":[null,null,7]})", "falsefalsefalse", R"({"x":[1],"o":[]})"},
      {R"({"a":1,"b":2})", ZOQ_BOTH([](auto& d) { return S(d.SetInt64("[]", 5)); }), "true", "[5]", "false", "[]"},
      // Member order: replaced in place, re-added at the end; keys are case-sensitive; removing makes the path.
      {R"({"a":1,"b":2,"c":3})", ZOQ_BOTH([](auto& d) {
         return Seq({All({d.SetText("a", "x"), d.RemoveMember("", "b"), d.SetInt64("b", 9), d.SetInt64("B", 1)}),
                     S(d.RemoveMember("missing", "k")), S(d.GetType("missing"))});
       }), "truefalse0", R"({"a":"x","c":3,"b":9,"B":1,"missing":null})"},
      {"[1,2,3]", ZOQ_BOTH([](auto& d) { return Seq({S(d.RemoveElement("", 0)), S(d.RemoveElement("", 2))}); }),
       "truefalse", "[2,3]"},
      // ClearAt: the node becomes null (RefCountedJsonDocument: emptied, its kind kept).
      {R"({"o":{"k":1},"a":[1,2],"s":"text","n":12,"b":true})", ZOQ_BOTH([](auto& d) {
         for (const char* p : {"o", "a", "s", "n", "b"}) d.ClearAt(p);
         return S(d.GetType("n")) + d.GetLiteral("n");
       }), "0", R"({"o":null,"a":null,"s":null,"n":null,"b":null})", "2", R"({"o":{},"a":[],"s":"","n":0,"b":false})"},
      {R"({"o":{"k":1}})", ZOQ_BOTH([](auto& d) { d.ClearAt(); return d.ToText(); }), "null", "null", "{}", "{}"},
      {"{}", [](JsonDocument& d) { return All({d.SetObject("", 0), d.SetArray("x", -1)}); }, nullptr, "true",
       R"({"x":[]})"},
      {"{}", ZOQ_BOTH([](auto& d) {
         const std::string set = All({d.SetNullW(W(u"y")), d.SetBoolW(W(u"z"), true), d.SetDouble("h", 0.5)});
         return set + d.GetLiteral("y") + d.GetLiteral("h");
       }), "true0.5", R"({"y":null,"z":true,"h":0.5})", "truenull0.5", R"({"y":null,"z":true,"h":0.5})"},
      // ParseAt parses into the node (RefCountedJsonDocument: merges, members it lacks only when asked).
      {R"({"o":{"x":1},"a":0})", ZOQ_BOTH([](auto& d) { return S(d.ParseAt("", R"({"o":{},"a":1,"b":2})")); }), "true",
       R"({"o":{},"a":1,"b":2})", "true", R"({"o":{"x":1},"a":1})"},
      {R"({"a":1})", ZOQ_BOTH([](auto& d) {
         return Seq({S(d.ParseAt("b", R"({"k")")), S(d.ParseAt("a", "[7]")), d.ToText(), S(d.ParseAt("", "{}")),
                     S(d.ParseAt("", "[7]"))});
       }), R"(falsetrue{"a":[7],"b":null}truetrue)", "[7]", R"(falsetrue{"a":[7],"b":null}falsefalse)",
       R"({"a":[7],"b":null})"},
      // Getters convert (RefCountedJsonDocument's are strict).
      {kGetters, ZOQ_BOTH([](auto& d) {
         std::string r;
         for (const char* p : {"d", "t", "o", "n", "s", "missing"}) r += d.GetText(p) + "|";
         for (const char* p : {"small", "two", "neg", "big", "st", "a", "t", "big1"}) r += S(d.GetBool(p));
         for (const char* p : {"x", "y", "s", "f", "big", "o", "t"}) r += "|" + S(d.GetInt64(p));
         for (const char* p : {"sd", "sw", "t", "big", "x"}) r += "|" + S(d.GetDouble(p));
         return r + "|" + d.GetLiteral("big") + d.GetLiteral("s") + d.GetLiteral("n") + "|" + S(d.GetCount());
       }), "1.50|true|||12abc||falsetruetruetruefalsefalsetruetrue|2|-2|12|0|4294967296|0|1|2.500000|0.000000|"
           "1.000000|4294967296.000000|2.900000|4294967296|17",
       nullptr,
       "||||12abc||falsefalsefalsefalsefalsefalsetruefalse|2|-2|0|0|4294967296|0|0|0.000000|0.000000|0.000000|"
       "4294967296.000000|2.900000|4294967296null|17",
       nullptr},
      // The number getters skip every blank before a number in a string, CR and LF too.
      {"{\"i\":\"\\r\\n12\",\"d\":\"\\r2.5\",\"t\":\"\\t-3\"}", ZOQ_BOTH([](auto& d) {
         return Seq({S(d.GetInt64("i")), "|", S(d.GetDouble("d")), "|", S(d.GetInt64("t"))});
       }), "12|2.500000|-3", nullptr, "0|0.000000|0", nullptr},
      // The writer: layouts, escapes, paths that name nothing, buffer sizes, numbers made from values.
      {R"({"a":{"c":[{}]},"e":{}})", ZOQ_BOTH([](auto& d) { return d.ToText("", true); }),
       "{\r\n\t\"a\":{\r\n\t\t\"c\":[{\r\n\t\t\t}]\r\n\t},\r\n\t\"e\":{\r\n\t}\r\n}", R"({"a":{"c":[{}]},"e":{}})"},
      {"[ ]", ZOQ_BOTH([](auto& d) { return d.ToText("", true) + d.ToText("x") + d.ToText("", false, true, -5); }),
       "[][]", "[]"},
      {"{}", ZOQ_BOTH([](auto& d) {
         return d.SetTextW(W(u"a/b"), W(u"1/2\n\t\"\\\b\f\r\x01\x1f")), d.ToText("", false, false);
       }),
       "{\"a/b\":\"1/2\n\t\"\\\b\f\r\x01\x1f\"}", "{\"a\\/b\":\"1/2\\n\\t\\\"\\\\\\b\\f\\r\\u0001\\u001F\"}",
       "{\"a/b\":\"1/2\n\t\"\\\b\f\r\x01\x1f\"}", "{\"a\\/b\":\"1\\/2\\n\\t\\\"\\\\\\b\\f\\r\\u0001\\u001F\"}"},
      {"{}", ZOQ_BOTH([](auto& d) {
         return All({d.SetText("s", "a/b"), d.SetDouble("third", 1.0 / 3), d.SetDouble("big", 1e20),
                     d.SetDouble("inf", std::numeric_limits<double>::infinity()), d.SetDouble("nan", std::nan("")),
                     d.SetInt64("i", -9007199254740993LL)});
       }), "true", R"({"s":"a/b","third":0.3333333333333,"big":1e+20,"inf":null,"nan":null,"i":-9007199254740993})",
       "true", R"({"s":"a\/b","third":0.3333333333333,"big":1e+20,"inf":null,"nan":null,"i":-9007199254740993})"},
  });
}

TEST(JsonDocument, MakingMembersAndElements) {
  JsonDocument d = Doc("{}");
  JsonNode first = d.AddMember("", "k", kString), second = d.AddMember("", "k", kString);
  EXPECT_FALSE(first.GetRoot() == second.GetRoot());  // the second replaced the first
  EXPECT_EQ(d.GetCount(), 1);
  JsonDocument o = Doc(R"({"a":1,"x":[1,2]})");
  JsonDocument a = Doc("[1,2,3]");  // an existing key keeps its place; another kind becomes an object
  EXPECT_EQ(Seq({S(o.InsertMember("", 0, "z", kNull).HasRoot()), S(o.InsertMember("", 4, "y").HasRoot()),
                 S(o.InsertMember("", -1, "y").HasRoot()), S(o.InsertMember("", -1, "a", kBool).HasRoot()),
                 S(o.AddMember("", "q", 9).HasRoot()), S(o.AddMember("x", "k", kInt64).HasRoot()), o.ToText(),
                 S(a.InsertNew("", 3, kObject).HasRoot()), S(a.InsertNew("", 5).HasRoot()),
                 S(a.InsertNew("", -1).HasRoot()), S(a.AppendNew("", kArray).HasRoot()), a.ToText()}),
            R"(truefalsefalsetruefalsetrue{"z":null,"a":false,"x":{"k":0}}truefalsefalsetrue[1,2,3,{},[]])");
  // Deep copies from sources (their numbers written anew); a source without a tree makes nothing but the path.
  JsonDocument s = Doc(R"({"v":1.50})"), empty, t = Doc(R"({"arr":[1,2,3]})");
  EXPECT_EQ(Seq({S(t.SetElement("arr", 1, s)), S(t.SetElement("arr", 5, s)), S(t.SetElement("arr", -1, s)),
                 S(t.Append("l", empty)), S(t.SetElement("m", 0, empty)), S(t.PutMember("p", "k", empty)),
                 S(t.SetMember("q", "k", empty)), S(t.Append("l", s)), S(t.PutMember("p", "k", s)),
                 S(t.SetMember("p", "k", t.GetMember("p", "k"))), S(JsonDocument().PutMember("", "k", s))}),
            "truetruefalsefalsefalsefalsefalsetruetruetruefalse");
  EXPECT_EQ(t.ToText(), R"({"arr":[1,{"v":1.5},3,null,null,{"v":1.5}],"m":null,"q":null,"l":[{"v":1.5}],)"
                        R"("p":{"k":{"v":1.5}}})");
  // SetNode from inside its own target, and from itself; copies of nodes.
  JsonDocument n = Doc(R"({"a":{"b":{"c":[1,2]}}})");
  EXPECT_EQ(Seq({All({n.SetNode("a", n.GetNode("a.b")), n.SetNode("", n.GetNode("a.c")), n.SetNode("", n)}), n.ToText(),
                 S(n.CopyNode("[0]").GetParent().HasRoot()), S(n.CopyNode("missing").GetType()), S(!n.NewNode(9))}),
            "true[1,2]false0true");  // CopyNode makes its path
  EXPECT_EQ(n.NewNode(kBool)->text, u"false");
}

TEST(JsonDocument, KeysChildrenParentsViewsAndCopies) {
  auto d = std::make_unique<JsonDocument>(Doc(R"({"a":{"b":[1,2]},"c":3,"arr":[5,6],"o":{}})"));
  std::vector<std::string> keys{"old"};
  std::vector<ByteSet> wkeys;
  std::vector<JsonNode> kids;
  EXPECT_EQ(Seq({S(d->GetKeys("arr", keys)), keys[0], S(d->GetKeys("", keys)), keys[3], S(d->GetKeysW(W(u"a"), wkeys)),
                 Gbk(U(wkeys[0])), S(d->GetChildren("arr", kids)), S(d->GetChildren("c", kids)), kids[1].ToText(),
                 S(d->GetKeys("o", keys)), S(keys.size())}),
            "0old4o1b20600");
  JsonNode a = d->GetMember("", "a"), b = a.GetMember("", "b"), none;
  EXPECT_EQ(Seq({S(a.GetParent().GetCount()), S(d->GetParent("").HasRoot()), S(d->GetChildAt("", 4).HasRoot()),
                 S(d->GetMember("c", "x").HasRoot()), S(d->GetParent("c").GetRoot() == d->GetRoot()), d->GetName("[2]"),
                 d->GetName("arr[0]"), d->GetChildAt("", 2).ToText(), S(none.SetInt("x", 1)), S(none.GetType())}),
            "4falsefalsefalsetruearr[5,6]false-1");
  b.SetInt("[0]", 7);  // a view changes its document's tree; a copy of a view names the same node
  EXPECT_TRUE(d->GetInt("a.b[0]") == 7 && JsonNode(b).GetRoot() == b.GetRoot());
  // Views keep removed nodes (with their keys); copies of a document share its tree, freed by the last holder.
  EXPECT_TRUE(d->RemoveMember("", "a"));
  EXPECT_EQ(a.ToText() + a.GetName() + S(a.GetParent().HasRoot()), R"({"b":[7,2]}afalse)");
  JsonDocument second = *d;
  second.SetText("c", "x");
  JsonNode c = d->GetMember("", "c");
  d->Clear();
  d->Clear();
  EXPECT_FALSE(d->HasRoot());
  d.reset();
  EXPECT_EQ(second.ToText(), R"({"c":"x","arr":[5,6],"o":{}})");
  second.Clear();
  EXPECT_EQ(Seq({c.GetText(), b.ToText(), S(c.GetParent().HasRoot()), S(b.GetParent().HasRoot())}), "x[7,2]falsetrue");
}

TEST(JsonDocument, LoadsAndTheirRoots) {
  JsonDocument d, fresh;
  int32_t code = -9, pos = -1;
  EXPECT_EQ(Seq({S(d.HasRoot()), S(d.LoadNew()), d.ToText(), S(d.LoadNew(std::nullopt, std::nullopt, &code)), S(code)}),
            "falsetrue{}false-9");  // no text: the caller's code decides
  const NodeHandle before = d.GetRoot();
  EXPECT_TRUE(d.LoadNew(std::string("[1]")));
  const NodeHandle root = d.GetRoot();
  // A failed load leaves the root null; Load parses into the root it has.
  EXPECT_EQ(Seq({S(before == root), S(d.Load(R"({"a")", std::nullopt, &code, &pos)), S(code), S(d.GetType()),
                 S(d.Load("[1,2]")), S(d.GetRoot() == root), S(d.Load("", {}, &code, &pos)), S(code), S(pos)}),
            "falsefalse-60truetruefalse-20");
  EXPECT_EQ(Seq({S(fresh.Load("")), fresh.ToText(), S(fresh.LoadNewW(W(u"{\"a\":"), {}, &code)), S(code),
                 S(fresh.GetType()), S(fresh.ParseAtW(W(u"a.k"), W(u"'\u4e2d'"))),
                 S(fresh.ParseAt("c", R"(["\u0041"])", 0)), fresh.GetText("c[0]")}),
            "false{}false-60truetrue\\u0041");
  EXPECT_EQ(U(fresh.GetTextW(W(u"a.k"))), u"\u4e2d");
  // Texts with Chinese characters: the GBK text is the converted UTF-16 text.
  fresh.SetTextW(W(u"\u540d\u5b57"), W(u"\u4e2d\u6587 \u0e01 x\U0001F600y"));
  EXPECT_EQ(fresh.ToText() + fresh.ToText("", true), Gbk(U(fresh.ToTextW()) + U(fresh.ToTextW(W(u""), true))));
  EXPECT_EQ(JsonDocument().ToTextW(), (ByteSet{0, 0}));
  // Byte sets without a NUL or of odd length read up to their last whole character.
  for (const ByteSet& b : {ByteSet{'[', 0, '1', 0, ']', 0}, ByteSet{'[', 0, '1', 0, ']', 0, 7}, ByteSet{}, ByteSet{91}})
    EXPECT_EQ(Seq({S(fresh.LoadW(b, std::nullopt, &code)), S(code), fresh.ToText()}),
              b.size() > 1 ? "true0[1]" : "false-2[1]");  // no text: the tree stays
}

// Mended: a thread kept the free blocks of the pools until it ended, and
// they were lost with it: a host that calls each message on a thread of
// its own took new slabs from the heap with every message.
TEST(JsonPools, AThreadThatEndsLeavesItsBlocksToTheNext) {
  const auto parse = [] {
    JsonDocument d;
    EXPECT_TRUE(d.LoadNew(std::string(R"({"isky":{"type":2,"user_id":30001,"msg":"[\u4f60\u597d]","a":[1,[2,{"b":"c"}]]}})")));
    EXPECT_EQ(d.GetText("isky.a[1][1].b"), "c");
  };
  std::thread(parse).join();
  const size_t before = PoolSlabs();  // none in the sanitizer build, where blocks come from the plain heap
  for (int i = 0; i < 50; ++i) std::thread(parse).join();
  EXPECT_EQ(PoolSlabs(), before);
}

TEST(JsonSort, SortByKeyInThePlatformsWordOrder) {
  // Letters without regard to case first; only then a lower-case letter before its capital.
  const struct { const char* text; int32_t descending, ignoreCase; const char* result; } cases[] = {
      {R"({"b":1,"a":2,"c":3})", 0, 0, R"({"a":2,"b":1,"c":3})"}, {R"({"A":1,"a":2})", 0, 0, R"({"a":2,"A":1})"},
      {R"({"b":1,"a":2,"C":3})", 1, 0, R"({"C":3,"b":1,"a":2})"},
      {R"({"b":1,"a":2,"C":3})", 0, 0, R"({"a":2,"b":1,"C":3})"},
      {R"({"A":1,"a":2})", 0, 1, R"({"A":1,"a":2})"},  // ignoring case: equal, left in place
  };
  for (const auto& c : cases) {  // members are still found by key afterwards
    JsonDocument d = Doc(c.text);
    EXPECT_EQ(Seq({S(d.SortByKeyW(W(u""), c.descending, c.ignoreCase)), d.ToText(), d.GetText("a")}),
              "true" + std::string(c.result) + Doc(c.text).GetText("a"));
  }
  JsonDocument arr = Doc(R"({"x":[3,1]})");
  EXPECT_EQ(Seq({S(arr.SortByKey("x")), S(arr.SortByKey("missing")), arr.ToText()}), R"(falsefalse{"x":[3,1]})");
}

TEST(JsonSort, SortWithComparatorAndWithoutRecursion) {
  // A large sorted input (the worst case of a naive quicksort) sorts without recursion.
  std::string text = "[5,3,9,1,7,3";
  for (int k = 10; k < 50000; ++k) text += "," + std::to_string(k);
  JsonDocument d = Doc(text + "]");
  const auto byValue = [&](const NodeHandle& a, const NodeHandle& b, int32_t sign) {
    const int64_t x = d.ViewOf(a).GetInt64(), y = d.ViewOf(b).GetInt64();
    return sign * (x < y ? -1 : x > y ? 1 : 0);
  };
  d.Sort("", byValue, -1);
  const std::string down = d.GetText("[0]") + "," + d.GetText("[49995]");
  d.SortW(W(u""), byValue, 1);
  EXPECT_EQ(down + "|" + d.ToText().substr(0, 16), "49999,1|[1,3,3,5,7,9,10,");
  // Two children: the median of three compares them first in list order, then the first with the second and
  // with itself; one child, or a scalar, is never compared; a comparator that finds all equal changes nothing.
  JsonDocument pair = Doc(R"([[20,10],[1],{"y":1,"x":2},3])");
  std::string calls;
  const auto logged = [&](int32_t answer) {
    return [&, answer](const NodeHandle& a, const NodeHandle& b, int32_t value) {
      calls += pair.ViewOf(a).ToText() + "," + pair.ViewOf(b).ToText() + "," + std::to_string(value) + ";";
      return answer * byValue(a, b, 1);
    };
  };
  for (const char* p : {"[1]", "[3]"}) pair.Sort(p, logged(1));
  const std::string none = calls;
  pair.Sort("[2]", logged(0));
  calls.clear();
  pair.Sort("[0]", logged(1), 7);
  EXPECT_EQ(none + calls.substr(0, 24) + pair.ToText(), R"(20,10,7;10,20,7;10,10,7;[[10,20],[1],{"y":1,"x":2},3])");
}

TEST(JsonMerge, MergeTextObjectsAndArrays) {
  // wide: WideJsonDocument's answer where it differs (false when no member was merged or added).
  const struct {
    const char* target; const char* text; int32_t addMissing; bool ok; const char* result; std::optional<bool> wide = {};
  } cases[] = {
      {R"({"a":{"x":1}})", R"({"a":{"y":2},"b":3})", 0, true, R"({"a":{"x":1}})", false},
      {R"({"a":1})", "{}", 1, true, R"({"a":1})", false}, {R"({"a":1})", R"({"zz":1})", 0, true, R"({"a":1})", false},
      {R"({"a":1})", R"({"zz":1})", 1, true, R"({"a":1,"zz":1})"},
      {R"({"a":{"x":1}})", R"({"a":{"y":2},"b":3})", 1, true, R"({"a":{"x":1,"y":2},"b":3})"},
      {R"({"a":[1]})", R"({"a":[2]})", 0, true, R"({"a":[2]})"}, {"[1]", R"({"a":1})", 1, false, "[1]"},
      {R"({"a":2})", R"({"a":1.50})", 0, true, R"({"a":1.5})"}, {R"({"a":{"x":1}})", R"({"a":5})", 0, true, R"({"a":5})"},
      // A nested merge with nothing to do does not stop the members after it.
      {R"({"a":{"x":1},"b":1})", R"({"a":{},"b":2})", 0, true, R"({"a":{"x":1},"b":2})"},
      {R"({"a":{"x":{"p":1}},"b":1})", R"({"a":{"x":{"q":2}},"b":2})", 0, true, R"({"a":{"x":{"p":1}},"b":2})"},
  };
  for (const auto& c : cases) {
    JsonDocument d = Doc(c.target);
    EXPECT_EQ(Seq({S(d.MergeText("", c.text, std::nullopt, c.addMissing)), d.ToText()}), S(c.ok) + c.result) << c.text;
    const std::string_view text = c.text;  // ASCII
    WideJsonDocument wide;
    ASSERT_TRUE(wide.Load(c.target));
    const WideJsonNode root = wide.GetNode("");  // a view answers as its document
    EXPECT_EQ(Seq({S(root.MergeTextW({}, W(std::u16string(text.begin(), text.end())), std::nullopt, c.addMissing)), wide.ToText()}),
              S(c.wide.value_or(c.ok)) + c.result) << c.text;
  }
  WideJsonNode fresh;  // a view made on its own answers so too
  fresh.SetRoot(fresh.NewNode(kObject));
  EXPECT_FALSE(fresh.MergeText("", "{}"));
  JsonDocument d = Doc(R"({"a":{"x":1},"s":"str","arr":[1,2]})");
  EXPECT_EQ(All({d.MergeText("n", R"({"k":1})"), d.MergeTextW(W(u"v"), W(u"1.50")), !d.MergeText("bad", R"({"k")"),
                 d.MergeObject("", Doc(R"({"a":{"y":2},"b":1.50})")), !d.MergeObject("", Doc("[1]")),
                 !d.MergeObject("", JsonDocument()), d.ConcatArray("arr", Doc("[3,4]")), d.ConcatArray("s", Doc("[3]")),
                 d.ConcatArray("arr", d.GetNode("arr")), !d.ConcatArray("arr", Doc("{}"))}),
            "true");
  EXPECT_EQ(d.ToText(), R"({"a":{"y":2},"s":[3],"arr":[1,2,3,4,1,2,3,4],"n":{"k":1},"v":1.50,"bad":null,"b":1.5})");
  // Merging a node of the target into its own ancestor reads no freed node.
  JsonDocument self = Doc(R"({"a":{"a":{"k":1},"z":2}})");
  EXPECT_EQ(Seq({S(self.MergeObject("", self.GetNode("a"))), self.ToText()}), R"(true{"a":{"k":1},"z":2})");
}

TEST(RefCountedJsonDocument, DecodingAndMerges) {
  Rc u;
  EXPECT_TRUE(u.Load(R"(["\u4e2d"])", true));
  EXPECT_EQ(U(u.GetTextW(W(u"[0]"))), u"\u4e2d");
  // Merges: members the node lacks only when asked; false when nothing merged.
  Rc m = Doc<Rc>(R"({"a":1})");
  EXPECT_EQ(Seq({S(m.ParseAt("", R"({"zz":1})")), S(m.ParseAt("", R"({"a":2,"b":{"c":3}})", false, true)),
                 S(m.MergeObject("", Doc<Rc>("{}"))), S(m.ConcatArray("a", Doc<Rc>("{}"))), m.ToText()}),
            R"(falsetruetruefalse{"a":2,"b":{"c":3}})");
}

TEST(RefCountedJsonDocument, DocumentValuesAndCounts) {
  auto d = std::make_unique<Rc>(Doc<Rc>(R"({"a":{"k":1},"b":[1,2,3],"c":"x"})"));
  Rc a = d->GetMember("", "a"), second = d->GetChildAt("b", 1);
  EXPECT_EQ(Seq({S(d->RemoveMember("", "a")), a.GetName(), S(bool(a.GetParent().GetRoot())), S(d->SetText("c", "y"))}),
            "trueafalsetrue");  // a removed member keeps its key, and has no parent
  Rc copy = *d;
  d.reset();
  EXPECT_EQ(copy.ToText() + second.ToText(), R"({"b":[1,2,3],"c":"y"}2)");
  Rc c = copy.GetNode("c");
  c.Detach();
  c.Detach();  // no container: nothing happens
  EXPECT_EQ(copy.ToText() + c.GetText() + c.GetName(), R"({"b":[1,2,3]}yc)");
  copy.CopyNode("b").SetText("[0]", "changed");
  std::vector<Rc> kids(1);
  EXPECT_EQ(Seq({copy.ToText("b"), S(copy.GetChildren("b", kids)), kids[2].ToText()}), "[1,2,3]33");
}

TEST(RefCountedJsonDocument, FactoriesAndPlacing) {
  Rc d = Doc<Rc>("{}"), obj = d.NewObject();
  EXPECT_EQ(Seq({d.NewBool(true).ToText(), d.NewNull().ToText(), d.NewInt64(-1).GetLiteral(),
                 d.NewDouble(1.0 / 3).ToText(), d.NewText("a/b").ToText()}), R"(truenull-10.3333333333333"a\/b")");
  EXPECT_EQ(d.NewTextW(W(u"\u4e2d")).ToText(), Gbk(u"\"\u4e2d\""));
  EXPECT_EQ(U(d.NewText("a\xFF").GetTextW()), u"a\uF8F5");  // a stray byte: what Windows makes of it
  EXPECT_EQ(U(d.NewText("a\x81!").GetTextW()), u"a?!");  // a lead byte alone: "?", the byte after it stays
  obj.SetInt64("k", 1);
  d.Clear();  // the made node is its own
  Rc t = Doc<Rc>(R"({"a":1,"b":2})");
  EXPECT_EQ(Seq({S(t.InsertMember("", 0, "z", obj)), S(t.InsertMember("", 9, "a", d.NewNull())),
                 S(t.InsertMember("", 9, "q", obj)), t.ToText()}),
            R"(truetruefalse{"z":{"k":1},"a":null,"b":2})");  // an existing key stays where it is
  EXPECT_EQ(Seq({S(t.Insert("arr", 0, d.NewInt64(5))), S(t.Insert("arr", 1, d.NewInt64(6))),
                 S(t.Insert("arr", 3, d.NewInt64(7))), S(t.SetElement("arr", 3, d.NewInt64(8))), t.ToText("arr"),
                 S(t.Append("arr", Rc()))}),
            "truetruefalsetrue[5,6,null,8]false");
  t.SetRoot(NodeHandle{});  // no node: the root stays; any non-zero flag sorts descending
  EXPECT_EQ(Seq({S(bool(t.GetRoot())), S(t.SortByKey("", true)), t.GetName("[0]"), S(t.SortByKey("")), t.GetName("[0]"),
                 S(t.SortByKeyW(W(u""), 2)), t.GetName("[0]")}),
            "truetrueztrueatruez");
}

}  // namespace
}  // namespace zoq::json::test
