// JsonDocument operations: making, putting, removing, getters, lists, copies,
// views and the lifetime of trees.
#include <gtest/gtest.h>

#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

TEST(JsonDocument, MemberOrderUnderReplaceRemoveAndReAdd) {
  JsonDocument d = Doc(R"({"a":1,"b":2,"c":3})");
  d.SetText("a", "x");  // replaced in place
  EXPECT_EQ(d.ToText(), R"({"a":"x","b":2,"c":3})");
  EXPECT_TRUE(d.RemoveMember("", "a"));
  d.SetInt("a", 9);  // re-added at the end
  EXPECT_EQ(d.ToText(), R"({"b":2,"c":3,"a":9})");
  d.SetInt("Name", 1);
  d.SetInt("name", 2);
  EXPECT_EQ(d.GetCount(), 5);
  // Growing past eight members keeps insertion order.
  JsonDocument g;
  g.LoadNew();
  std::string expect = "{";
  for (int k = 0; k < 30; ++k) {
    g.SetInt("m" + std::to_string(29 - k), k);
    expect += (k ? ",\"m" : "\"m") + std::to_string(29 - k) + "\":" + std::to_string(k);
  }
  EXPECT_EQ(g.ToText(), expect + "}");
  EXPECT_EQ(g.GetInt("m0"), 29);
}

TEST(JsonDocument, AddAndInsertMembers) {
  JsonDocument d = Doc("{}");
  JsonNode first = d.AddMember("", "k", kString);
  JsonNode second = d.AddMember("", "k", kString);
  EXPECT_EQ(d.GetCount(), 1);
  EXPECT_EQ(second.GetType(), kString);
  ASSERT_TRUE(first.HasRoot());
  EXPECT_FALSE(first.GetRoot() == second.GetRoot());  // the second replaced the first
  JsonDocument o = Doc(R"({"a":1})");
  EXPECT_TRUE(o.InsertMember("", 0, "z", kNull).HasRoot());
  EXPECT_EQ(o.ToText(), R"({"z":null,"a":1})");
  EXPECT_FALSE(o.InsertMember("", 3, "y").HasRoot());
  EXPECT_FALSE(o.InsertMember("", -1, "y").HasRoot());
  EXPECT_TRUE(o.InsertMember("", -1, "a", kBool).HasRoot());  // an existing key keeps its place
  EXPECT_EQ(o.ToText(), R"({"z":null,"a":false})");
  EXPECT_FALSE(o.AddMember("", "q", 9).HasRoot());
  EXPECT_EQ(o.GetCount(), 2);
  // AddMember on a node of another kind makes it an object.
  JsonDocument arr = Doc(R"({"x":[1,2]})");
  arr.AddMember("x", "k", kInt64);
  EXPECT_EQ(arr.ToText(), R"({"x":{"k":0}})");
}

TEST(JsonDocument, ElementsAppendInsertSetRemove) {
  JsonDocument d = Doc("[1,2,3]");
  EXPECT_TRUE(d.InsertNew("", 3, kObject).HasRoot());
  EXPECT_FALSE(d.InsertNew("", 5).HasRoot());
  EXPECT_FALSE(d.InsertNew("", -1).HasRoot());
  EXPECT_TRUE(d.AppendNew("", kArray).HasRoot());
  EXPECT_EQ(d.ToText(), "[1,2,3,{},[]]");
  EXPECT_TRUE(d.RemoveElement("", 0));
  EXPECT_FALSE(d.RemoveElement("", 4));
  EXPECT_EQ(d.ToText(), "[2,3,{},[]]");
  JsonDocument s = Doc(R"({"v":1})");
  JsonDocument a = Doc(R"({"arr":[1,2,3]})");
  EXPECT_TRUE(a.SetElement("arr", 1, s));
  EXPECT_EQ(a.ToText(), R"({"arr":[1,{"v":1},3]})");
  EXPECT_TRUE(a.SetElement("arr", 5, s));
  EXPECT_EQ(a.ToText(), R"({"arr":[1,{"v":1},3,null,null,{"v":1}]})");
  EXPECT_FALSE(a.SetElement("arr", -1, s));
  JsonDocument empty;
  JsonDocument t = Doc("{}");
  EXPECT_FALSE(t.Append("list", empty));
  EXPECT_EQ(t.ToText(), "{}");
  EXPECT_FALSE(t.SetElement("list", 0, empty));
  EXPECT_EQ(t.ToText(), R"({"list":null})");
  EXPECT_TRUE(t.Append("list", s));
  EXPECT_EQ(t.ToText(), R"({"list":[{"v":1}]})");
}

TEST(JsonDocument, PutAndSetMemberFromSources) {
  JsonDocument s = Doc(R"({"n":1.50})");
  JsonDocument empty;
  JsonDocument d = Doc("{}");
  EXPECT_FALSE(d.PutMember("p", "k", empty));
  EXPECT_EQ(d.ToText(), "{}");
  EXPECT_FALSE(d.SetMember("p", "k", empty));
  EXPECT_EQ(d.ToText(), R"({"p":null})");
  EXPECT_TRUE(d.PutMember("p", "k", s));
  EXPECT_EQ(d.ToText(), R"({"p":{"k":{"n":1.5}}})");  // a copy makes its literals again
  EXPECT_TRUE(d.SetMember("p", "k", d.GetMember("p", "k")));
  EXPECT_EQ(d.ToText(), R"({"p":{"k":{"n":1.5}}})");
  EXPECT_FALSE(JsonDocument().PutMember("", "k", s));
  JsonDocument two = Doc(R"([{"a":1},{"b":2}])");
  JsonDocument target = Doc("{}");
  EXPECT_TRUE(target.SetNode("", two));
  two.SetInt("[0].a", 5);
  EXPECT_EQ(target.ToText(), R"([{"a":1},{"b":2}])");
}

TEST(JsonDocument, SetNodeFromInsideItsOwnTarget) {
  JsonDocument d = Doc(R"({"a":{"b":{"c":[1,2]}}})");
  EXPECT_TRUE(d.SetNode("a", d.GetNode("a.b")));
  EXPECT_EQ(d.ToText(), R"({"a":{"c":[1,2]}})");
  EXPECT_TRUE(d.SetNode("", d.GetNode("a.c")));
  EXPECT_EQ(d.ToText(), "[1,2]");
  EXPECT_TRUE(d.SetNode("", d));
  EXPECT_EQ(d.ToText(), "[1,2]");
}

TEST(JsonDocument, GetterMatrix) {
  JsonDocument d = Doc(R"({"d":1.50,"small":1e-7,"two":2e-7,"neg":-0.5,"big":4294967296,"big1":4294967297,
      "t":true,"f":false,"s":"12abc","sd":"  2.5x","sw":"abc","n":null,"o":{},"a":[1],"x":2.9,"y":-2.9,"st":"true"})");
  EXPECT_EQ(d.GetText("d"), "1.50");
  EXPECT_EQ(d.GetText("t"), "true");
  EXPECT_EQ(d.GetText("o"), "");
  EXPECT_EQ(d.GetText("n"), "");
  EXPECT_EQ(d.GetText("missing"), "");
  EXPECT_EQ(d.GetTextW(W(u"missing")), (ByteSet{0, 0}));
  EXPECT_EQ(d.GetLiteral("big"), "4294967296");
  EXPECT_EQ(d.GetLiteral("s"), "");
  EXPECT_FALSE(d.GetBool("small"));
  EXPECT_TRUE(d.GetBool("two"));
  EXPECT_TRUE(d.GetBool("neg"));
  EXPECT_TRUE(d.GetBool("big"));
  EXPECT_FALSE(d.GetBool("st"));
  EXPECT_FALSE(d.GetBool("a"));
  EXPECT_EQ(d.GetInt("x"), 2);
  EXPECT_EQ(d.GetInt("y"), -2);
  EXPECT_EQ(d.GetInt("big1"), 1);
  EXPECT_EQ(d.GetInt64("s"), 12);
  EXPECT_EQ(d.GetInt("s"), 12);
  EXPECT_EQ(d.GetDouble("sd"), 2.5);
  EXPECT_EQ(d.GetDouble("sw"), 0.0);
  // Full-width forms read as their ASCII characters, the ideographic space as a blank.
  JsonDocument wide;
  wide.LoadNew();
  wide.SetTextW(W(u"fw"), W(u"\uff11\uff12"));
  wide.SetTextW(W(u"fws"), W(u"\u3000\uff0d\uff13\uff0e\uff15\uff45\uff11x"));
  wide.SetTextW(W(u"mixed"), W(u"4\uff12.5"));
  EXPECT_EQ(wide.GetDouble("fw"), 12.0);
  EXPECT_EQ(wide.GetDouble("fws"), -35.0);
  EXPECT_EQ(wide.GetDoubleW(W(u"mixed")), 42.5);
  EXPECT_EQ(d.GetDouble("t"), 1.0);
  EXPECT_EQ(d.GetInt64("f"), 0);
  EXPECT_EQ(d.GetInt64("x"), 2);
  EXPECT_EQ(d.GetDouble("big"), 4294967296.0);
  EXPECT_EQ(d.GetInt("o"), 0);
  EXPECT_EQ(d.GetInt64W(W(u"big")), 4294967296LL);
  EXPECT_EQ(d.GetCount(""), 17);
  EXPECT_EQ(d.GetCount("s"), 0);
  EXPECT_EQ(d.GetName("[2]"), "two");
  EXPECT_EQ(d.GetName("a[0]"), "");
  EXPECT_EQ(d.GetName(""), "");
}

TEST(JsonDocument, KeysChildrenParentsAndViews) {
  JsonDocument d = Doc(R"({"a":1,"b":{"c":2},"arr":[5,6]})");
  std::vector<std::string> keys{"old"};
  EXPECT_EQ(d.GetKeys("arr", keys), 0);
  EXPECT_EQ(keys, std::vector<std::string>{"old"});
  EXPECT_EQ(d.GetKeys("", keys), 3);
  EXPECT_EQ(keys, (std::vector<std::string>{"a", "b", "arr"}));
  JsonDocument e = Doc(R"({"o":{}})");
  EXPECT_EQ(e.GetKeys("o", keys), 0);
  EXPECT_TRUE(keys.empty());
  std::vector<ByteSet> wkeys;
  EXPECT_EQ(d.GetKeysW(W(u"b"), wkeys), 1);
  EXPECT_EQ(U(wkeys[0]), u"c");
  std::vector<JsonNode> kids;
  EXPECT_EQ(d.GetChildren("arr", kids), 2);
  EXPECT_EQ(kids[1].GetInt(), 6);
  EXPECT_EQ(d.GetChildren("a", kids), 0);
  EXPECT_EQ(kids.size(), 2u);
  JsonNode b = d.GetMember("", "b");
  EXPECT_EQ(b.GetInt("c"), 2);
  EXPECT_EQ(b.GetParent().GetCount(), 3);
  EXPECT_FALSE(d.GetParent("").HasRoot());
  EXPECT_FALSE(d.GetParent("nothing").HasRoot());
  EXPECT_TRUE(d.GetParent("a").GetRoot() == d.GetRoot());
  b.SetInt("c", 7);  // a view changes its document's tree
  EXPECT_EQ(d.GetInt("b.c"), 7);
  EXPECT_EQ(d.GetChildAt("", 2).ToText(), "[5,6]");
  EXPECT_FALSE(d.GetChildAt("", 3).HasRoot());
  EXPECT_FALSE(d.GetMember("a", "x").HasRoot());
  JsonNode none;
  EXPECT_FALSE(none.SetInt("x", 1));
  EXPECT_EQ(none.GetType(), kMissing);
  none.ClearAt();
  JsonNode copy = b;  // a copy of a view names the same node
  EXPECT_TRUE(copy.GetRoot() == b.GetRoot());
}

TEST(JsonDocument, ViewsOutliveRemovedNodesAndClearedDocuments) {
  auto d = std::make_unique<JsonDocument>(Doc(R"({"a":{"b":[1,2]},"c":3})"));
  JsonNode a = d->GetMember("", "a");
  JsonNode b = a.GetMember("", "b");
  EXPECT_TRUE(d->RemoveMember("", "a"));
  EXPECT_EQ(a.ToText(), R"({"b":[1,2]})");
  EXPECT_EQ(a.GetName(), "a");
  EXPECT_FALSE(a.GetParent().HasRoot());
  d->SetText("c", "x");
  JsonNode c = d->GetMember("", "c");
  d->Clear();
  EXPECT_FALSE(d->HasRoot());
  d->Clear();
  d.reset();
  EXPECT_EQ(c.GetText(), "x");
  EXPECT_FALSE(c.GetParent().HasRoot());
  EXPECT_EQ(b.ToText(), "[1,2]");
  EXPECT_TRUE(b.GetParent().HasRoot());
}

TEST(JsonDocument, CopiesShareOneTreeFreedOnce) {
  auto first = std::make_unique<JsonDocument>(Doc(R"({"a":[1,{"b":2}]})"));
  JsonDocument second = *first;
  EXPECT_TRUE(second.GetRoot() == first->GetRoot());
  second.SetInt("n", 1);
  EXPECT_EQ(first->GetInt("n"), 1);
  first->Clear();
  EXPECT_EQ(second.ToText(), R"({"a":[1,{"b":2}],"n":1})");
  first.reset();
  EXPECT_EQ(second.GetInt("a[1].b"), 2);
}

TEST(JsonDocument, CopyNodeAndNewNode) {
  JsonDocument d = Doc(R"({"x":2.50})");
  JsonNode copy = d.CopyNode("x");
  EXPECT_EQ(copy.GetLiteral(), "2.5");
  EXPECT_FALSE(copy.GetParent().HasRoot());
  JsonNode made = d.CopyNode("missing");
  EXPECT_EQ(made.GetType(), kNull);
  EXPECT_EQ(d.ToText(), R"({"x":2.50,"missing":null})");
  JsonDocument other;
  other.SetRoot(copy.GetRoot());
  EXPECT_EQ(other.ToText(), "2.5");
  EXPECT_FALSE(d.NewNode(9));
  EXPECT_EQ(d.NewNode(kBool)->text, u"false");
  JsonDocument b = Doc("[true,false]");
  EXPECT_EQ(b.CopyNode("[0]").GetLiteral(), "true");
}

TEST(JsonDocument, RemoveAndClearAtMakeTheirPath) {
  JsonDocument d = Doc("{}");
  EXPECT_FALSE(d.RemoveMember("missing", "k"));
  EXPECT_EQ(d.ToText(), R"({"missing":null})");
  d.SetInt("o.k", 1);
  d.ClearAt("o");
  EXPECT_EQ(d.ToText(), R"({"missing":null,"o":null})");
  d.ClearAt();
  EXPECT_EQ(d.ToText(), "null");
  EXPECT_TRUE(d.SetObject("", 0));
  EXPECT_TRUE(d.SetArray("x", -1));
  EXPECT_TRUE(d.SetNullW(W(u"y")));
  EXPECT_TRUE(d.SetBoolW(W(u"z"), true));
  EXPECT_EQ(d.ToText(), R"({"x":[],"y":null,"z":true})");
}

TEST(JsonDocument, ParseAt) {
  JsonDocument d = Doc("{}");
  EXPECT_TRUE(d.ParseAt("a", R"({"k":[1]})"));
  EXPECT_FALSE(d.ParseAt("b", R"({"k")"));
  EXPECT_TRUE(d.ParseAt("c", R"(["\u0041"])", 0));
  EXPECT_EQ(d.ToText(), R"({"a":{"k":[1]},"b":null,"c":["\\u0041"]})");
  EXPECT_TRUE(d.ParseAtW(W(u"a.k"), W(u"'\u4e2d'")));
  EXPECT_EQ(U(d.GetTextW(W(u"a.k"))), u"\u4e2d");
}

TEST(JsonDocument, LoadNewAndLoad) {
  JsonDocument d;
  EXPECT_FALSE(d.HasRoot());
  EXPECT_TRUE(d.LoadNew());
  EXPECT_EQ(d.ToText(), "{}");
  int32_t code = -9;
  EXPECT_FALSE(d.LoadNew(std::nullopt, std::nullopt, &code));  // no text: the caller's code decides
  EXPECT_EQ(code, -9);
  const NodeHandle before = d.GetRoot();
  EXPECT_TRUE(d.LoadNew(std::string("[1]")));
  EXPECT_FALSE(d.GetRoot() == before);
  int32_t pos = -1;
  EXPECT_FALSE(d.Load("", std::nullopt, &code, &pos));
  EXPECT_EQ(code, -2);
  EXPECT_EQ(pos, 0);
  JsonDocument fresh;
  EXPECT_FALSE(fresh.Load(""));
  EXPECT_EQ(fresh.ToText(), "{}");
  EXPECT_FALSE(fresh.LoadNewW(W(u"{\"a\":"), std::nullopt, &code, &pos));
  EXPECT_EQ(code, -6);
  EXPECT_EQ(fresh.GetType(), kNull);
  EXPECT_FALSE(fresh.Load("\x81", std::nullopt, &code));
  EXPECT_EQ(code, -2);
}

}  // namespace
}  // namespace zoq::json::test
