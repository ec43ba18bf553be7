// RefCountedJsonDocument: its own rules, document values and reference
// counts, and agreement with JsonDocument where the rules are the same.
#include <gtest/gtest.h>

#include "json/refcounted_document.hpp"
#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

using Rc = RefCountedJsonDocument;

Rc RcDoc(const std::string& text) {
  Rc d;
  EXPECT_TRUE(d.Load(text)) << text;
  return d;
}

TEST(RefCountedJsonDocument, ReadsHostAnswersStrictly) {
  Rc d = RcDoc(R"({"list":[{"wxid":"w1","n":5,"d":2.9,"m":-2.9,"i":7,"one":1,"t":true,"s":"12"}],"x":null})");
  EXPECT_EQ(d.GetCount("list"), 1);
  EXPECT_EQ(d.GetCount("missing"), 0);
  EXPECT_EQ(d.GetText("list[0].wxid"), "w1");
  EXPECT_EQ(d.GetText("list[0].n"), "");
  EXPECT_EQ(d.GetInt64("list[0].n"), 5);
  EXPECT_EQ(d.GetInt64("list[0].d"), 2);
  EXPECT_EQ(d.GetInt64("list[0].m"), -2);
  EXPECT_EQ(d.GetInt64("list[0].s"), 0);
  EXPECT_EQ(d.GetDouble("list[0].i"), 7.0);
  EXPECT_FALSE(d.GetBool("list[0].one"));
  EXPECT_TRUE(d.GetBool("list[0].t"));
  EXPECT_EQ(d.GetLiteral("x"), "null");
  EXPECT_EQ(d.GetLiteral("list[0].d"), "2.9");
  EXPECT_FALSE(d.HasPath(""));
  EXPECT_TRUE(d.HasPath("x"));
}

TEST(RefCountedJsonDocument, ParserRules) {
  const struct { const char* text; int32_t code; const char* result; } cases[] = {
      {"[1,,2,]", 0, "[1,2]"},
      {"{'a':1,}", 0, R"({"a":1})"},
      {"{'a' 'b':1}", -4, "null"},
      {"{:1}", -4, "null"},
      {"{'a':}", -6, "null"},
      {"{'a'}", -6, "null"},
      {"['abc]", -6, "null"},
      {"[tru]", -6, "null"},
      {"[1}", -6, "null"},
      {"[{}{}]", -4, "null"},
      {"{'':1}", -4, "null"},
      {"{'a':1,'b':2,'a':3}", 0, R"({"a":3,"b":2})"},
      {R"(["\u4e2d"])", 0, R"(["\\u4e2d"])"},      // no decoding unless asked
      {R"({"it's":1})", 0, R"({"it's":1})"},       // the other quote inside a quoted key is a character
      {"  \"x\"  ", 0, R"("x")"},                  // blanks around a bare value
      {"  123", 0, "123"},
      {"x", -6, "null"},
  };
  for (const auto& c : cases) {
    Rc d;
    int32_t code = 1;
    d.Load(c.text, std::nullopt, &code);
    EXPECT_EQ(code, c.code) << c.text;
    EXPECT_EQ(d.ToText(), c.result) << c.text;
  }
  Rc u;
  EXPECT_TRUE(u.Load(R"(["\u4e2d"])", true));
  EXPECT_EQ(U(u.GetTextW(W(u"[0]"))), u"\u4e2d");
  int32_t code = 0, pos = 0;
  EXPECT_FALSE(u.LoadNew(std::string("{'a':[1"), std::nullopt, &code, &pos));
  EXPECT_EQ(code, -5);
  EXPECT_EQ(pos, 8);
  EXPECT_FALSE(u.LoadNew(std::string(""), std::nullopt, &code));
  EXPECT_EQ(code, -2);
  EXPECT_EQ(u.ToText(), "{}");
}

TEST(RefCountedJsonDocument, WritingRules) {
  Rc d = RcDoc("{}");
  EXPECT_TRUE(d.SetText("a.b", "x"));
  EXPECT_TRUE(d.SetInt64("c", 1));
  EXPECT_EQ(d.ToText(), R"({"a":{"b":"x"},"c":1})");
  EXPECT_FALSE(d.SetText("arr[-1]", "x"));  // a negative index fails
  EXPECT_FALSE(d.SetText("arr2[]", "x"));
  EXPECT_EQ(d.ToText(), R"({"a":{"b":"x"},"c":1,"arr":[],"arr2":[]})");
  EXPECT_TRUE(d.SetDouble("dbl", 0.5));
  EXPECT_EQ(d.GetLiteral("dbl"), "0.5");
  EXPECT_TRUE(d.SetNull("n"));
  EXPECT_EQ(d.GetLiteral("n"), "null");
  EXPECT_EQ(d.ToText("", true), "{\r\n\t\"a\":{\r\n\t\t\"b\":\"x\"\r\n\t},\r\n\t\"c\":1,\r\n\t\"arr\":[],\r\n\t\"arr2\":[],"
                                "\r\n\t\"dbl\":0.5,\r\n\t\"n\":null\r\n}");
  EXPECT_FALSE(d.RemoveMember("x", "k"));
  EXPECT_EQ(d.GetType("x"), kNull);
}

TEST(RefCountedJsonDocument, ClearAtEmptiesInPlace) {
  Rc d = RcDoc(R"({"o":{"k":1},"a":[1,2],"s":"text","n":12,"b":true})");
  for (const char* p : {"o", "a", "s", "n", "b"}) d.ClearAt(p);
  EXPECT_EQ(d.ToText(), R"({"o":{},"a":[],"s":"","n":0,"b":false})");
  EXPECT_EQ(d.GetType("o"), kObject);
  EXPECT_EQ(d.GetType("n"), kInt64);
  EXPECT_EQ(d.GetLiteral("n"), "");
  d.SetInt64("o.k", 2);
  EXPECT_EQ(d.ToText("o"), R"({"k":2})");
}

TEST(RefCountedJsonDocument, ParseAtMerges) {
  Rc d = RcDoc(R"({"a":0})");
  EXPECT_TRUE(d.ParseAt("", R"({"a":1,"b":2})"));
  EXPECT_EQ(d.ToText(), R"({"a":1})");
  EXPECT_TRUE(d.ParseAt("", R"({"a":1,"b":2})", false, true));
  EXPECT_EQ(d.ToText(), R"({"a":1,"b":2})");
  EXPECT_FALSE(d.ParseAt("", "{}"));
  EXPECT_FALSE(d.ParseAt("", R"({"zz":1})"));  // nothing merged without the add flag
  EXPECT_TRUE(d.ParseAt("a", "[7]"));          // a value of another kind replaces the member
  EXPECT_EQ(d.ToText(), R"({"a":[7],"b":2})");
  EXPECT_FALSE(d.ParseAt("", "[7]"));          // but not the root
  EXPECT_FALSE(d.ParseAt("new", "{bad"));
  EXPECT_EQ(d.ToText(), R"({"a":[7],"b":2,"new":null})");
  // A nested object with nothing to merge does not stop the members after it.
  Rc n = RcDoc(R"({"o":{"x":1},"p":1})");
  EXPECT_TRUE(n.ParseAt("", R"({"o":{},"p":2})"));
  EXPECT_EQ(n.ToText(), R"({"o":{"x":1},"p":2})");
  EXPECT_TRUE(n.MergeObject("", RcDoc("{}")));
  EXPECT_FALSE(n.ConcatArray("p", RcDoc("{}")));
}

TEST(RefCountedJsonDocument, DocumentValuesAndCounts) {
  auto d = std::make_unique<Rc>(RcDoc(R"({"a":{"k":1},"b":[1,2,3],"c":"x"})"));
  Rc a = d->GetMember("", "a");
  Rc second = d->GetChildAt("b", 1);
  EXPECT_EQ(a.ToText(), R"({"k":1})");
  EXPECT_TRUE(d->RemoveMember("", "a"));
  EXPECT_EQ(a.GetName(), "a");                   // a removed member keeps its key
  EXPECT_FALSE(static_cast<bool>(a.GetParent().GetRoot()));  // and has no parent
  EXPECT_TRUE(d->SetText("c", "y"));
  Rc copy = *d;
  d.reset();
  EXPECT_EQ(copy.ToText(), R"({"b":[1,2,3],"c":"y"})");
  EXPECT_EQ(second.ToText(), "2");
  Rc c = copy.GetNode("c");
  c.Detach();
  EXPECT_EQ(copy.ToText(), R"({"b":[1,2,3]})");
  EXPECT_EQ(c.GetText(), "y");
  EXPECT_EQ(c.GetName(), "c");
  c.Detach();  // no container: nothing happens
  Rc cn = copy.CopyNode("b");
  cn.SetText("[0]", "changed");
  EXPECT_EQ(copy.ToText("b"), "[1,2,3]");
  std::vector<Rc> kids(1);
  EXPECT_EQ(copy.GetChildren("b", kids), 3);
  EXPECT_EQ(kids[2].ToText(), "3");
  std::vector<std::string> keys{"old"};
  EXPECT_EQ(copy.GetKeys("b", keys), 0);
  EXPECT_EQ(keys.size(), 1u);
}

TEST(RefCountedJsonDocument, FactoriesAndPlacing) {
  Rc d = RcDoc("{}");
  EXPECT_EQ(d.NewBool(true).ToText(), "true");
  EXPECT_EQ(d.NewNull().ToText(), "null");
  EXPECT_EQ(d.NewInt64(-1).GetLiteral(), "-1");
  EXPECT_EQ(d.NewDouble(1.0 / 3).ToText(), "0.3333333333333");
  EXPECT_EQ(d.NewText("a/b").ToText(), R"("a\/b")");
  EXPECT_EQ(d.NewTextW(W(u"\u4e2d")).ToText(), Gbk(u"\"\u4e2d\""));
  Rc obj = d.NewObject();
  obj.SetInt64("k", 1);
  d.Clear();
  EXPECT_EQ(obj.ToText(), R"({"k":1})");
  Rc t = RcDoc(R"({"a":1,"b":2})");
  EXPECT_TRUE(t.InsertMember("", 0, "z", obj));
  EXPECT_TRUE(t.InsertMember("", 9, "a", d.NewNull()));  // an existing key stays where it is
  EXPECT_FALSE(t.InsertMember("", 9, "q", obj));
  EXPECT_EQ(t.ToText(), R"({"z":{"k":1},"a":null,"b":2})");
  EXPECT_TRUE(t.Insert("arr", 0, d.NewInt64(5)));
  EXPECT_TRUE(t.Insert("arr", 1, d.NewInt64(6)));
  EXPECT_FALSE(t.Insert("arr", 3, d.NewInt64(7)));
  EXPECT_TRUE(t.SetElement("arr", 3, d.NewInt64(8)));
  EXPECT_EQ(t.ToText("arr"), "[5,6,null,8]");
  Rc empty;
  EXPECT_FALSE(t.Append("arr", empty));
  t.SetRoot(NodeHandle{});
  EXPECT_TRUE(static_cast<bool>(t.GetRoot()));
  EXPECT_TRUE(t.SortByKey("", true));
  EXPECT_EQ(t.GetName("[0]"), "z");
  EXPECT_TRUE(t.SortByKey(""));
  EXPECT_EQ(t.GetName("[0]"), "a");
  EXPECT_TRUE(t.SortByKeyW(W(u""), 2));  // any non-zero flag sorts descending
  EXPECT_EQ(t.GetName("[0]"), "z");
}

// Where the rules are the same, the two classes agree step by step.
TEST(RefCountedJsonDocument, AgreesWithJsonDocumentOnTheCommonRules) {
  const char* paths[] = {"", "a", "b", "a.b", "a[0]", "c[2]", "b.x.y", "[1]", "a[1].k"};
  const char* texts[] = {"x", "Long text with blanks", "\xD6\xD0\xCE\xC4", ""};
  ExpectAgreement<Rc>(7, [&](JsonDocument& plain, Rc& rc, std::mt19937& rng) {
    const std::string p = Pick(rng, paths), q = Pick(rng, paths), t = Pick(rng, texts);
    const int32_t n = static_cast<int32_t>(rng() % 4);
    const auto both = [&](auto op) {
      return std::pair(op(plain) + "|" + std::to_string(plain.GetCount(p)) + "|" + std::to_string(plain.GetType(q)),
                       op(rc) + "|" + std::to_string(rc.GetCount(p)) + "|" + std::to_string(rc.GetType(q)));
    };
    const auto str = [](bool v) { return std::to_string(v); };
    switch (rng() % 9) {
      case 0: return both([&](auto& d) { return str(d.SetText(p, t)); });
      case 1: return both([&](auto& d) { return str(d.SetInt64(p, n * 1000)); });
      case 2: return both([&](auto& d) { return str(d.SetDouble(p, n / 4.0)); });
      case 3: return both([&](auto& d) { return str(d.SetBool(p, n & 1)); });
      case 4: return both([&](auto& d) { return str(d.RemoveMember(p, q)); });
      case 5: return both([&](auto& d) { return str(d.RemoveElement(p, n)); });
      case 6: return both([&](auto& d) { return str(d.Append(p, d.GetNode(q))); });
      case 7: return both([&](auto& d) { return str(d.PutMember(p, "k", d.CopyNode(q))); });
      default: return both([&](auto& d) { return str(d.SortByKey(p, n & 1)); });
    }
  });
}

}  // namespace
}  // namespace zoq::json::test
