// ScriptJson against the real script control under Wine. Every read is made
// twice: on the value as loaded, and after a change has handed it to the
// script; both must answer alike.
#include <gtest/gtest.h>
#include <objbase.h>

#include "json/script_json.hpp"
#include "platform/script_control.hpp"
#include "tests/json/helpers.hpp"

#undef GetObject

namespace zoq::json::test {
namespace {

const char* const kSample =
    R"({"a":[1,2,3],"b":{"c":"x"},"n":1234.56789012345,"t":true,"z":null,"s":"中文","e":1.5e3,"id":12345678901234,)"
    R"("id16":1234567890123456,"tiny":1e-7,"big":1.5E21,"neg":-2.5e-3,"arr":[1e-7,null,[2,{}],false],)"
    R"("w":"\u2028\u0000","mems":[{"lv":{"point":1.2e3}},{"uin":2}],"k":{"a,b":1,"toJSONString":2,"30":4,"10":5},)"
    R"("o":{}})";

TEST(ScriptJson, ReadsByPathAlikeBeforeAndAfterTheScriptHoldsTheValue) {
  ScriptJson held, scripted;  // the value as loaded, and given to the script by a change
  ASSERT_TRUE(held.LoadNew(kSample) && scripted.LoadNew(kSample));
  scripted.Remove("none");
  const struct {
    const char* path;
    const char* text;  // nullptr: not checked
    const char* json;
    std::int32_t type, count;
    const char* keys;
  } reads[] = {
      {"a", "1,2,3", "[1,2,3]", 5, 3, "0,1,2"}, {"b", "[object Object]", R"({"c":"x"})", 4, 1, "c"},
      {"b.c", "x", R"("x")", 6, 0, ""}, {"a[1]", "2", "2", 2, 0, ""}, {"a['1']", "2", "2", 2, 0, ""},
      {"a[01]", "2", "2", 2, 0, ""}, {"a[3]", "", "", 0, -2, ""}, {"neg", "-0.0025", "-0.0025", 2, 0, ""},
      {"a.length", "3", "3", 2, 0, ""},  // inherited names, members of strings: the script answers
      {"b.constructor", nullptr, "", -1, 0, ""}, {"s.length", "2", "2", 2, 0, ""}, {"b.c.d", "", "", 0, -2, ""},
      {"n", "1234.567890123", "1234.56789012345", 2, 0, ""}, {"e", "1500", "1500", 2, 0, ""},
      {"id", "12345678901230", "12345678901234", 2, 0, ""}, {"id16", "1234567890123000", "1234567890123456", 2, 0, ""},
      {"tiny", "1e-7", "1e-7", 2, 0, ""}, {"big", "1.5e+21", "1.5e+21", 2, 0, ""},
      {"arr", "1e-7,,2,[object Object],false", "[1e-7,null,[2,{}],false]", 5, 4, "0,1,2,3"},
      {"t", "true", "true", 1, 0, ""}, {"z", "", "null", 0, -2, ""}, {"s", "中文", R"("中文")", 6, 0, ""},
      {"w", nullptr, R"("\u2028\u0000")", 6, 0, ""}, {"['b'][\"c\"]", "x", R"("x")", 6, 0, ""},
      {"mems[0].lv.point", "1200", "1200", 2, 0, ""}, {"o", "[object Object]", "{}", 4, 0, ""},
      {"k", "[object Object]", R"({"a,b":1,"toJSONString":2,"30":4,"10":5})", 4, 4, "a,b,toJSONString,30,10"},
      {"zz", "", "", 0, -2, ""},     // absent member
      {"zz.y", "", "", -1, -2, ""},  // its parent absent
      {"z.y", "", "", -1, -2, ""},   // a member of null
  };
  for (const ScriptJson* doc : {&held, &scripted}) {
    for (const auto& r : reads) {
      SCOPED_TRACE(std::string(r.path) + (doc == &held ? " (held)" : " (scripted)"));
      EXPECT_EQ(r.text ? doc->GetText(r.path) : "", r.text ? r.text : "");
      std::vector<std::string> keys{"old"};
      std::string joined = std::to_string(doc->GetType(r.path)) + "|" + std::to_string(doc->GetCount(r.path)) + "|";
      for (const std::string& k : (doc->GetKeys(keys, r.path), keys)) joined += k + ",";
      EXPECT_EQ(doc->GetText(r.path, true), r.json);
      EXPECT_EQ(joined, std::to_string(r.type) + "|" + std::to_string(r.count) + "|" + r.keys + (*r.keys ? "," : ""));
    }
    EXPECT_EQ((std::vector<double>{doc->GetValue("id16"), doc->GetValue("e"), doc->GetValue("t"), doc->GetValue("zz")}),
              (std::vector<double>{1234567890123456.0, 1500, 1, 0}));
    EXPECT_EQ(Seq({S(doc->GetCount("mems")), S(doc->Exists("b.c")), S(doc->Exists("z")), doc->GetElementText(2, "a"),
                   doc->GetElementObject(0, "a").ToText(), doc->GetObject("b").ToText(), doc->GetObject("y").ToText()}),
              R"(2truefalse31{"c":"x"})");
  }
  EXPECT_EQ(held.ToText(), scripted.ToText());
}

TEST(ScriptJson, LoadsOnlyJson) {
  ScriptJson doc;
  EXPECT_EQ(Seq({doc.ToText(), S(doc.LoadNew("null")), doc.ToText()}), "{}falsenull");
  for (const char* notJson : {"", "{a:1}", "'x'", "[1,]", "1; da=5", "(function(){return 1})()", "{\"a\":1} x",
                              "[01]", "[1.]", "[\"\\x41\"]", "[\"\t\"]"})
    EXPECT_EQ(Seq({S(doc.LoadNew(notJson)), doc.ToText()}), "false") << notJson;
  ASSERT_TRUE(doc.LoadNew("[5]"));
  EXPECT_EQ(doc.GetText("[0]") + std::to_string(doc.GetCount()), "51");
  ASSERT_TRUE(doc.LoadNew(" {\"k\\u0027\":\"\\u4e2d\\\"\\n\",\"\":1,\"k'\":2} "));  // a repeated key: its last value
  EXPECT_EQ(doc.ToText() + doc.GetText("['']"), R"({"k'":2,"":1}1)");
  ASSERT_TRUE(doc.LoadNew("{\"m\":\"a\xFF\",\"n\":1}"));  // a byte that is not GBK: what Windows makes of it
  EXPECT_EQ(doc.GetText("m").substr(0, 1), "a");
  ASSERT_TRUE(doc.LoadNew("{\"m\":\"a\x81\",\"n\":1}"));  // a lead byte alone: "?", the quote after it stays
  EXPECT_EQ(doc.GetText("m") + doc.GetText("n"), "a?1");
}

TEST(ScriptJson, ValuesAreNeverRunAsScript) {
  ScriptJson doc;
  for (const std::string v : {"x'; da.pwn=1; '", "O'Neil", "a\\b\r\nc\\u0041", "');da.pwn=1;//", "中文\\'"}) {
    doc.SetText("name", v);
    doc.Append(v, "list");
    doc.SetText(ScriptJson::KeyPath(v), v);  // a key from outside, as a path
    EXPECT_EQ(doc.GetText("name") + doc.GetText(ScriptJson::KeyPath(v)), v + v);
  }
  // A lead byte alone goes into a path as "?": the code page would take the
  // escape or the quote after it as its second byte.
  const std::pair<std::string, std::string> paths[] = {
      {"\x81'];da.pwn=1;//", "['?\\x27];da.pwn=1;//']"}, {"\x81\"", "['?\\x22']"}, {"\x81", "['?']"},
      {"\x81\x5C'", "['\x81\x5C\\x27']"}};  // 乗 keeps its second byte, a backslash
  for (const auto& [key, path] : paths) {
    EXPECT_EQ(ScriptJson::KeyPath(key), path) << key;
    doc.SetText(ScriptJson::KeyPath(key), "v");
    EXPECT_EQ(doc.GetText(path), "v") << key;
  }
  doc.SetText("raw", "1;da.pwn=1", true);  // not JSON: nothing set
  EXPECT_EQ(std::to_string(doc.GetCount("list")) + doc.GetElementText(1, "list"), "5O'Neil");
  EXPECT_FALSE(doc.Exists("raw") || doc.Exists("pwn"));
}

TEST(ScriptJson, Writes) {
  ScriptJson doc;
  doc.SetText("o", R"({"p":[1,{"q":2.5e1}]})", true);
  doc.SetText("e", "", true);
  doc.ParseAt("f", "[true,null,-0.5e-6]");
  doc.SetRaw("g", 0.1 + 0.2);
  EXPECT_EQ(doc.GetText("o.p[1].q") + doc.GetText("e", true) + doc.GetText("g"), "25{}0.3");
  doc.Append("7", "o", true);  // an object is replaced by an array
  doc.Remove("e");
  const std::string first = doc.ToText();
  doc.Reset(5);
  doc.Reset(2);  // changes nothing
  const std::string reset = doc.ToText();
  doc.Append("a"), doc.Append("b"), doc.SetElement(0, "{\"k\":1}", true), doc.RemoveElement(1);
  EXPECT_EQ(first + reset + doc.ToText(), R"({"o":[7],"f":[true,null,-5e-7],"g":0.3}[][{"k":1}])");
  doc.SetValue("\t\x01\x7fq\"b\\c");
  EXPECT_EQ(doc.ToText(), "\"\\t\\u0001\\u007fq\\\"b\\\\c\"");
  doc.SetValue("[1e400]", true);
  EXPECT_EQ(doc.GetText("[0]") + doc.ToText(), "Infinity[null]");
  doc.Clear();
  EXPECT_EQ(doc.ToText(), "{}");
}

TEST(ScriptJson, CopiesShareTheEngineAndComIsBalanced) {
  ASSERT_EQ(CoInitialize(nullptr), S_OK);  // the host's own
  {
    ScriptJson doc, copy = doc;
    doc.SetText("k", "v");
    EXPECT_EQ(copy.GetText("k"), "v");
    ASSERT_TRUE(doc.LoadNew(R"([{"b":1}])"));  // a fresh engine: the copy keeps its value
    EXPECT_EQ(copy.GetText("k") + doc.GetObject("[0]").GetText("b"), "v1");
    EXPECT_NE(doc.GetScriptControl(), copy.GetScriptControl());
    ScriptJson held = doc;  // a copy of a loaded value sees its change
    doc.Append("2", "", true);
    EXPECT_EQ(held.ToText(), R"([{"b":1},2])");
    copy = held;
  }
  // Still initialised by the host: one more CoInitialize only counts up.
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CoInitialize(nullptr), S_OK);  // and the host's was the last
  CoUninitialize();
}

}  // namespace
}  // namespace zoq::json::test
