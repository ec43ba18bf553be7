// ScriptJson against the real script control under Wine.
#include <gtest/gtest.h>
#include <objbase.h>

#include "json/script_json.hpp"
#include "platform/script_control.hpp"

#undef GetObject

namespace zoq::json::test {
namespace {

const char* const kSample = R"({"a":[1,2,3],"b":{"c":"x"},"n":1234.56789012345,"t":true,"z":null,"s":"中文"})";

struct Read {
  const char* path;
  const char* text;
  const char* json;
  std::int32_t type;
  std::int32_t count;
};

TEST(ScriptJson, ReadsByPath) {
  ScriptJson doc;
  ASSERT_TRUE(doc.LoadNew(kSample));
  const Read reads[] = {
      {"a", "1,2,3", "[1,2,3]", 5, 3},
      {"b", "[object Object]", R"({"c":"x"})", 4, 1},
      {"b.c", "x", R"("x")", 6, 0},
      {"a[1]", "2", "2", 2, 0},
      {"n", "1234.567890123", "1234.56789012345", 2, 0},
      {"t", "true", "true", 1, 0},
      {"z", "", "null", 0, -2},
      {"s", "中文", R"("中文")", 6, 0},
      {"['b']['c']", "x", R"("x")", 6, 0},
      {"zz", "", "", 0, -2},     // absent member
      {"zz.y", "", "", -1, -2},  // its parent absent
      {"", "[object Object]", kSample, 4, 6},
  };
  for (const Read& r : reads) {
    SCOPED_TRACE(r.path);
    EXPECT_EQ(doc.GetText(r.path), r.text);
    EXPECT_EQ(doc.GetText(r.path, true), r.json);
    EXPECT_EQ(doc.GetType(r.path), r.type);
    EXPECT_EQ(doc.GetCount(r.path), r.count);
  }
  EXPECT_EQ(doc.ToText(), kSample);
  EXPECT_DOUBLE_EQ(doc.GetValue("n"), 1234.56789012345);
  EXPECT_EQ(doc.GetValue("zz"), 0);
  EXPECT_EQ(doc.GetElementText(1, "a", true), "2");
  EXPECT_TRUE(doc.Exists("b.c"));
  EXPECT_FALSE(doc.Exists("z"));
  std::vector<std::string> keys{"old"};
  EXPECT_EQ(doc.GetKeys(keys, "b"), 1);
  EXPECT_EQ(keys, std::vector<std::string>{"c"});
  EXPECT_EQ(doc.GetElementText(2, "a"), "3");
  EXPECT_EQ(doc.GetElementObject(0, "a").ToText(), "1");
  EXPECT_EQ(doc.GetObject("b").ToText(), R"({"c":"x"})");
  EXPECT_EQ(doc.GetObject("nothing").ToText(), "");
}

TEST(ScriptJson, LoadsOnlyJson) {
  ScriptJson doc;
  EXPECT_EQ(doc.ToText(), "{}");
  EXPECT_FALSE(doc.LoadNew("null"));
  EXPECT_EQ(doc.ToText(), "null");
  for (const char* notJson : {"", "{a:1}", "'x'", "[1,]", "1; da=5", "(function(){return 1})()", "{\"a\":1} x"}) {
    SCOPED_TRACE(notJson);
    EXPECT_FALSE(doc.LoadNew(notJson));
    EXPECT_EQ(doc.ToText(), "");
  }
  ASSERT_TRUE(doc.LoadNew("[5]"));
  EXPECT_EQ(doc.GetText("[0]"), "5");
  EXPECT_EQ(doc.GetCount(), 1);
  EXPECT_EQ(doc.GetType("[0]"), 2);
  ASSERT_TRUE(doc.LoadNew(" {\"k\\u0027\":\"\\u4e2d\\\"\"} "));
  EXPECT_EQ(doc.GetText(ScriptJson::KeyPath("k'")), "中\"");
}

TEST(ScriptJson, ValuesAreNeverRunAsScript) {
  ScriptJson doc;
  const std::string values[] = {"x'; da.pwn=1; '", "O'Neil", "a\\b\r\nc\\u0041", "');da.pwn=1;//", "中文\\'"};
  for (const std::string& v : values) {
    SCOPED_TRACE(v);
    doc.SetText("name", v);
    EXPECT_EQ(doc.GetText("name"), v);
    doc.Append(v, "list");
    doc.SetText(ScriptJson::KeyPath(v).substr(0), v);  // a key from outside, as a path
    EXPECT_EQ(doc.GetText(ScriptJson::KeyPath(v)), v);
  }
  EXPECT_EQ(doc.GetCount("list"), 5);
  EXPECT_EQ(doc.GetElementText(1, "list"), "O'Neil");
  EXPECT_FALSE(doc.Exists("pwn"));
  doc.SetText("raw", "1;da.pwn=1", true);  // not JSON: nothing set
  EXPECT_FALSE(doc.Exists("raw"));
  EXPECT_FALSE(doc.Exists("pwn"));
}

TEST(ScriptJson, Writes) {
  ScriptJson doc;
  doc.SetText("o", R"({"p":[1,{"q":2}]})", true);
  EXPECT_EQ(doc.GetText("o.p[1].q"), "2");
  doc.SetText("e", "", true);
  EXPECT_EQ(doc.GetText("e", true), "{}");
  doc.ParseAt("f", "[true,null]");
  doc.SetRaw("g", 0.1 + 0.2);
  EXPECT_EQ(doc.GetText("g"), "0.3");
  doc.Append("7", "o", true);  // an object is replaced by an array
  EXPECT_EQ(doc.GetText("o", true), "[7]");
  doc.Remove("e");
  EXPECT_EQ(doc.ToText(), R"({"o":[7],"f":[true,null],"g":0.3})");
  doc.Reset(5);
  EXPECT_EQ(doc.ToText(), "[]");
  doc.Reset(2);
  EXPECT_EQ(doc.ToText(), "[]");
  doc.Append("a");
  doc.Append("b");
  doc.SetElement(0, "{\"k\":1}", true);
  doc.RemoveElement(1);
  EXPECT_EQ(doc.ToText(), R"([{"k":1}])");
  doc.SetValue("\t\x01");
  EXPECT_EQ(doc.ToText(), "\"\\t\\u0001\"");
  doc.Clear();
  EXPECT_EQ(doc.ToText(), "{}");
}

TEST(ScriptJson, KeysAreOwnMembersWhole) {
  ScriptJson doc;
  ASSERT_TRUE(doc.LoadNew(R"({"a,b":1,"toJSONString":2,"x_parseJSON,":3})"));
  std::vector<std::string> keys;
  EXPECT_EQ(doc.GetKeys(keys), 3);
  EXPECT_EQ(keys, (std::vector<std::string>{"a,b", "toJSONString", "x_parseJSON,"}));
  EXPECT_EQ(doc.GetCount(), 3);
  ASSERT_TRUE(doc.LoadNew("{}"));
  EXPECT_EQ(doc.GetKeys(keys), 0);
  EXPECT_TRUE(keys.empty());
}

TEST(ScriptJson, JsonTextEscapes) {
  ScriptJson doc;
  doc.SetText("s", "q\"b\\c\r\n\x7f");
  EXPECT_EQ(doc.GetText("s", true), "\"q\\\"b\\\\c\\r\\n\\u007f\"");
}

TEST(ScriptJson, CopiesShareTheEngine) {
  ScriptJson doc;
  ScriptJson copy = doc;
  doc.SetText("k", "v");
  EXPECT_EQ(copy.GetText("k"), "v");
  ASSERT_TRUE(doc.LoadNew("[1]"));  // a fresh engine: the copy keeps its value
  EXPECT_EQ(copy.GetText("k"), "v");
  EXPECT_NE(doc.GetScriptControl(), copy.GetScriptControl());
}

TEST(ScriptJson, ComIsBalanced) {
  ASSERT_EQ(CoInitialize(nullptr), S_OK);  // the host's own
  {
    ScriptJson doc;
    ASSERT_TRUE(doc.LoadNew(R"({"a":{"b":1}})"));
    ScriptJson copy = doc;
    ScriptJson part = doc.GetObject("a");
    EXPECT_EQ(part.GetText("b"), "1");
    ScriptJson more;
    more = part;
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
