// The tolerant parser (result codes, error positions, flags), paths and
// their read-only resolution, the ISky event reader, and the fuzz targets'
// checks over their seed corpus.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "json/engine.hpp"
#include "json/isky_event_reader.hpp"
#include "tests/colliding_names.hpp"
#include "tests/json/fuzz/fuzz_checks.hpp"
#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

// Flags: as the class takes them when omitted; kRc: RefCountedJsonDocument (its defaults; error positions not checked).
constexpr int32_t kDefault = -1, kStray = kDecodeUnicodeEscapes | kIgnoreStrayText, kRc = -2;

TEST(JsonParser, CodesPositionsAndTheTreeMade) {
  const struct {
    int32_t flags;
    const char* text;
    int32_t code, pos;
    const char* result;  // compact text after the parse (null after a failure)
  } cases[] = {
      // Tolerated: blanks, stray and missing commas, other quotes, bare keys, texts one after another.
      {kDefault, "{ }", 0, 0, "{}"}, {kDefault, "[ ]", 0, 0, "[]"}, {kDefault, " \t\r\n", 0, 0, "null"},
      {kDefault, R"({"a":1,})", 0, 0, R"({"a":1})"}, {kDefault, "[1,]", 0, 0, "[1]"}, {kDefault, "[,1]", 0, 0, "[1]"},
      {kDefault, "[1,,2]", 0, 0, "[1,2]"}, {kDefault, "{'a':'x'}", 0, 0, R"({"a":"x"})"},
      {kDefault, "{a:1}", 0, 0, R"({"a":1})"}, {kDefault, R"({"a":{} "b":1})", 0, 0, R"({"a":{},"b":1})"},
      {kDefault, "[[1] 2]", 0, 0, "[[1],2]"}, {kDefault, R"({"a":1}{"b":2})", 0, 0, R"({"a":1,"b":2})"},
      {kDefault, "[1][2]", 0, 0, "[1,2]"}, {kDefault, R"({"a":1,"a":2})", 0, 0, R"({"a":2})"},
      {kDefault, R"({ "a" : [ 1 , "x y" ] , "b" : null })", 0, 0, R"({"a":[1,"x y"],"b":null})"},
      {kDefault, R"(["it's", 'say "hi"'])", 0, 0, R"(["it's","say \"hi\""])"},
      {kDefault, R"({"x":'{'})", 0, 0, R"({"x":"{"})"},
      // Bare values outside every container.
      {kDefault, " 42 \r\n", 0, 0, "42"}, {kDefault, "true ", 0, 0, "true"}, {kDefault, " \"x\"", 0, 0, R"("x")"},
      {kDefault, R"("{")", 0, 0, R"("{")"}, {kDefault, "null", 0, 0, "null"}, {kDefault, "True", -6, 0, "null"},
      {kDefault, "NULL", -6, 0, "null"}, {kDefault, "1 2", -6, 0, "null"}, {kDefault, R"("a" "b")", -6, 0, "null"},
      {kDefault, R"("a"b")", -6, 0, "null"}, {kDefault, R"("x)", -6, 0, "null"},
      {kDefault, R"({"a":1} x)", -6, 0, "null"}, {kDefault, "[1]]", -6, 0, "null"},
      {kDefault, R"({"a":1}[2])", -4, 7, "null"}, {kDefault, "[1]{}", -4, 3, "null"},
      // Errors.
      {kDefault, "", -2, 0, "{}"}, {kDefault, "{{", -4, 1, "null"}, {kDefault, R"({"a" {)", -4, 5, "null"},
      {kDefault, R"({"a" "b":1})", -4, 6, "null"}, {kDefault, R"({a"b":1})", -4, 3, "null"},
      {kDefault, R"({"":1})", -4, 3, "null"}, {kDefault, "[[1] [2]]", -4, 5, "null"},
      {kDefault, "{my key:1}", -4, 4, "null"}, {kDefault, R"({"a"x:1})", -4, 4, "null"},
      {kDefault, "[1", -5, 3, "null"}, {kDefault, R"({"a":{"b":1})", -5, 13, "null"},
      {kDefault, R"({,"a":1})", -6, 0, "null"}, {kDefault, R"({"a":1,,"b":2})", -6, 0, "null"},
      {kDefault, R"({"a"})", -6, 0, "null"}, {kDefault, R"({"a":})", -6, 5, "null"},
      {kDefault, "{\"a\",", -6, 0, "null"}, {kDefault, R"({"a)", -6, 0, "null"}, {kDefault, "{\"a\":x}", -6, 5, "null"},
      {kDefault, R"({"a":1 2})", -6, 5, "null"}, {kDefault, "[1 2]", -6, 1, "null"}, {kDefault, "[1}", -6, 1, "null"},
      {kDefault, "[abc]", -6, 1, "null"}, {kDefault, R"({"a":12[)", -6, 5, "null"},
      {kDefault, R"({"a":"x)", -7, 2, "null"}, {kDefault, R"(["x)", -7, 1, "null"}, {kDefault, R"({")", -7, 0, "null"},
      {kDefault, R"(["a\)", -7, 1, "null"}, {kDefault, R"({"a\)", -6, 0, "null"}, {kDefault, R"("\)", -6, 0, "null"},
      {kDefault, R"(["\u12)", -7, 1, "null"},
      // Escapes: "\n" reads as CR LF, "\u0000" as nothing, others keep their backslash.
      {kDefault, R"(["a\nb"])", 0, 0, R"(["a\r\nb"])"}, {kDefault, R"(["\r\n"])", 0, 0, R"(["\r\n"])"},
      {kDefault, R"(["\t\b\f\"\\\/"])", 0, 0, R"(["\t\b\f\"\\/"])"},
      {kDefault, R"(["\u0041\u00e9"])", 0, 0, "[\"A\xA8\xA6\"]"}, {kDefault, R"(["x\u0000y"])", 0, 0, R"(["xy"])"},
      {kDefault, R"(["it\'s"])", 0, 0, R"(["it\\'s"])"}, {kDefault, R"(["\q"])", 0, 0, R"(["\\q"])"},
      {kDefault, R"(["\u12G4"])", 0, 0, R"(["\\u12G4"])"}, {kDefault, R"({"\n":1})", 0, 0, R"({"\n":1})"},
      {kDefault, R"({"k\"ey":1})", 0, 0, R"({"k\"ey":1})"}, {0, R"(["\u0041"])", 0, 0, R"(["\\u0041"])"},
      // Text outside every container, skipped when asked.
      {kStray, R"(xx{"a":1}yy)", 0, 0, R"({"a":1})"}, {kStray, "callback([1,2]);", 0, 0, "[1,2]"},
      {kDefault, R"(xx{"a":1})", -6, 0, "null"},
      // Numbers keep the literal they were read from.
      {kDefault, "[1.50, 007,1e3]", 0, 0, "[1.50,007,1e3]"},
      {kDefault, "[1e400,-0,+5,.5,1e,1-2]", 0, 0, "[1e400,-0,+5,.5,1e,1-2]"}, {kDefault, "[1.2.3]", -6, 1, "null"},
      {kDefault, "[1ee3]", -6, 1, "null"}, {kDefault, "[e3]", -6, 1, "null"},
      {kDefault, "\x81", -6, 0, "null"},  // a byte that is not GBK: what Windows makes of it ("?")
      {kDefault, "[\"a\x81\",\"\x81\"]", 0, 0, R"(["a?","?"])"},  // a lead byte alone: "?", the quote after it stays
      // RefCountedJsonDocument: no "\u" decoding unless asked, an open quote a value error, "'" in "..." a character.
      {kRc, "[1,,2,]", 0, 0, "[1,2]"}, {kRc, "{'a':1,}", 0, 0, R"({"a":1})"}, {kRc, "{'a' 'b':1}", -4, 0, "null"},
      {kRc, "{:1}", -4, 0, "null"}, {kRc, "{'a':}", -6, 0, "null"}, {kRc, "{'a'}", -6, 0, "null"},
      {kRc, "['abc]", -6, 0, "null"}, {kRc, "[tru]", -6, 0, "null"}, {kRc, "[1}", -6, 0, "null"},
      {kRc, "[{}{}]", -4, 0, "null"}, {kRc, "{'':1}", -4, 0, "null"},
      {kRc, "{'a':1,'b':2,'a':3}", 0, 0, R"({"a":3,"b":2})"},
      {kRc, R"(["\u4e2d"])", 0, 0, R"(["\\u4e2d"])"}, {kRc, R"({"it's":1})", 0, 0, R"({"it's":1})"},
      {kRc, "  \"x\"  ", 0, 0, R"("x")"}, {kRc, "  123", 0, 0, "123"}, {kRc, "x", -6, 0, "null"},
      {kRc, "{'a':[1", -5, 8, "null"}, {kRc, "['a\x81']", 0, 0, R"(["a?"])"},
  };
  for (const auto& c : cases) {
    int32_t code = 99, pos = 99;
    const auto load = [&](auto&& d) {
      d.Load(c.text, c.flags < 0 ? std::nullopt : std::optional(c.flags), &code, &pos);
      return Seq({S(code), S(c.flags == kRc && c.pos == 0 ? 0 : pos), d.ToText()});
    };
    EXPECT_EQ(c.flags == kRc ? load(Rc()) : load(JsonDocument()), Seq({S(c.code), S(c.pos), c.result})) << c.text;
  }
  // Number types and values (17 digits and -2^63 exactly); a stray byte in a string does not lose the text.
  JsonDocument d = Doc("[1.50,007,1e3,-12,.5,1-2,+,1e400,9223372036854775808,\"a\xFF\",65778491027943236e-16,"
                       "-9223372036854775808]");
  const int32_t types[] = {kDouble, kInt64, kDouble, kInt64,  kDouble, kDouble,
                           kInt64,  kDouble, kInt64, kString, kDouble, kInt64};
  for (int32_t k = 0; k < 12; ++k) EXPECT_EQ(d.GetType("[" + std::to_string(k) + "]"), types[k]) << k;
  EXPECT_EQ(d.GetDouble("[2]"), 1000.0);
  EXPECT_EQ(d.GetInt64("[8]"), INT64_MAX);
  EXPECT_EQ(d.GetDouble("[10]"), 0x1.a4fb7acda1927p+2);  // 17 digits, the nearest double
  EXPECT_EQ(d.GetInt64("[11]"), INT64_MIN);
  EXPECT_EQ(U(d.GetTextW(W(u"[9]"))), u"a\uF8F5");
}

TEST(JsonParser, DeepNestingNeedsNoRecursion) {
  std::string objects;
  for (int k = 0; k < 200000; ++k) objects += "{\"a\":";
  for (const std::string& text : {std::string(1025, '[') + std::string(1025, ']'), std::string(200000, '[') +
                                  std::string(200000, ']'), objects + "1" + std::string(200000, '}')}) {
    JsonDocument d = Doc(text), copy = Doc("{}");
    EXPECT_EQ(Seq({d.ToText() == text ? "same" : "other", S(copy.SetNode("", d)), S(copy.GetCount()),
                   S(d.MergeText("", text)), d.ToText() == text ? "same" : "other"}),
              text[0] == '[' ? "sametrue1falsesame" : "sametrue1truesame");
  }
}

TEST(JsonParser, LargeObjectsFindTheirMembers) {
  std::string text = "{";
  for (int k = 0; k < 500; ++k) text += (k ? ",\"k" : "\"k") + std::to_string(k) + "\":" + std::to_string(k);
  JsonDocument d = Doc(text + ",\"k7\":\"again\"}");
  EXPECT_EQ(Seq({S(d.GetCount()), d.GetText("k7"), d.GetName("[7]"), S(d.RemoveMember("", "k3")), d.GetText("k400"),
                 S(d.GetType("k3")), S(d.SetInt("k3", 3)), d.GetName("[499]")}),
            "500againk7true400-1truek3");
}

// The members of a large object index in steps of about their number,
// whatever the keys: 4,096 built to share an unkeyed hash (FNV-1a-32 of
// their UTF-16 units) are placed as others are, and each is found. (Of one
// hash, the index took some 8 million steps: an answer read for seconds.)
TEST(JsonParser, KeysBuiltToShareAHashIndexAsOthersDo) {
  const std::vector<std::string> names = zoq::testing::NamesOfOneFnv1aHash();
  std::u16string text = u"{";
  for (size_t i = 0; i < names.size(); ++i) {
    text += std::u16string(i ? u",\"" : u"\"") + std::u16string(names[i].begin(), names[i].end()) + u"\":1";
  }
  const Dialect dialect;
  const detail::NodeRef root = detail::NewNode(kObject, dialect);
  int32_t errorPos = 0;
  EXPECT_EQ(detail::Parse(root.get(), text + u"}", kDecodeUnicodeEscapes, errorPos, dialect), 0);
  ASSERT_TRUE(root->index);
  EXPECT_LE(root->index->steps, 4 * names.size());
  size_t found = 0;
  for (const std::string& name : names) found += detail::FindMember(root.get(), std::u16string(name.begin(), name.end())) != nullptr;
  EXPECT_EQ(found, names.size());
}

TEST(JsonPath, SegmentTable) {
  const struct { std::u16string_view path; const char* segments; } cases[] = {
      {u"", ""}, {u".", ""}, {u"..", ""}, {u"]", ""}, {u"a.b", "k:a k:b"}, {u"a[2]", "k:a i:2"},
      {u"a.[2]", "k:a i:2"}, {u"[0]", "i:0"}, {u"a[0]b", "k:a i:0 k:b"}, {u"a..b", "k:a k:b"},
      {u"a\\.b", "k:a.b"}, {u"a\\\\b", "k:a\\b"}, {u"a\\b", "k:a\\b"}, {u"a\\[1\\]", "k:a[1]"},
      {u"x[]", "k:x i:-1"}, {u"x[-1]", "k:x i:-1"}, {u"a[1.5]", "k:a k:1 i:1"}, {u"a[1]]", "k:a i:1 i:1"},
      {u"ab]c", "k:c"}, {u"a[1", "k:a k:1"}, {u"a[x]", "k:a i:0"}, {u"a[12abc]", "k:a i:12"}, {u"a\\", "k:a\\"},
      {u"a[2147483647]", "k:a i:2147483647"}, {u"a[-2147483647]", "k:a i:-2147483647"},
      {u"a[0000000000002]", "k:a i:2"}, {u"a[2147483648]", "invalid"}, {u"a[4294967295]", "invalid"},
      {u"b.a[99999999999999999999x]", "invalid"},
  };
  for (const auto& c : cases) {
    const auto segs = detail::ParsePath(c.path);
    std::string out = segs ? "" : "invalid";
    for (const detail::Segment& g : segs.value_or(std::vector<detail::Segment>{}))
      out += (out.empty() ? "" : " ") + (g.kind == detail::Segment::kKey ? "k:" + Gbk(g.key) : "i:" + S(g.index));
    EXPECT_EQ(out, c.segments) << Gbk(c.path);
  }
}

TEST(JsonPath, ReadsResolveWithoutMaking) {
  const std::string text = R"({"a":{"b":1},"a.b":2,"a\\b":3,"name":4,"items":[10,20,30],"s":"x","o":{"k":5},"e":{}})";
  JsonDocument d = Doc(text);
  const struct { const char* path; int32_t type; const char* text; bool exists; } reads[] = {
      {"a.b", kInt64, "1", true}, {"a\\.b", kInt64, "2", true}, {"a\\\\b", kInt64, "3", true},
      {"a\\b", kInt64, "3", true}, {"", kObject, "", false}, {"...", kObject, "", false},
      {"Name", kMissing, "", false},  // keys are case-sensitive
      {"[1]", kInt64, "2", true},     // an index on an object: the member at that place
      {"o[0]", kInt64, "5", true}, {"e[0]", kMissing, "", false}, {"s[0]", kMissing, "", false},
      {"items[-1]", kMissing, "", false}, {"items[]", kMissing, "", false}, {"items[3]", kMissing, "", false},
      {"items[2]", kInt64, "30", true}, {"a.b.c", kMissing, "", false},
  };
  for (const auto& r : reads)
    EXPECT_EQ(Seq({S(d.GetType(r.path)), d.GetText(r.path), S(d.Exists(r.path))}), S(r.type) + r.text + S(r.exists))
        << r.path;
  EXPECT_EQ(d.ToText() + S(JsonDocument().Exists("a")), text + "false");
}

TEST(JsonPath, TextFormsOfPaths) {
  using namespace std::string_literals;
  JsonDocument d = Doc(R"({"a.b":{"c":1},"a":{"b":5}})");
  const ByteSet path = W(u"a\\.b.c"), before = path;
  // The caller's bytes stay as they were; odd bytes are read up to the last whole character.
  EXPECT_EQ(Seq({S(d.GetIntW(path)), S(d.SetIntW(path, 2)), S(path == before),
                 S(d.GetIntW(ByteSet{'a', 0, '.', 0, 'b', 0, 'x'}))}), "1truetrue5");
  // A GBK text ends at its first NUL.
  JsonDocument n = Doc("{}");
  EXPECT_EQ(Seq({S(n.SetText("k\0x"s, "v\0w"s)), S(n.PutMember("", "m\0n"s, Doc("1"))), n.ToText(), n.GetText("k\0y"s),
                 S(n.Load("[1]\0[2]"s)), n.ToText()}), R"(truetrue{"k":"v","m":1}vtrue[1])");
  // A path or key that is not GBK names nothing: the operation fails rather than act on the root.
  const std::string bad = "\x81";  // a lead byte without its trail byte
  d.ClearAt(bad);
  EXPECT_EQ(Seq({S(d.SetText(bad, "x")), S(d.GetType(bad)), S(d.RemoveMember("", bad)), d.ToText()}),
            R"(false-1false{"a.b":{"c":2},"a":{"b":5}})");
}

TEST(IskyEventReader, ReadsTheFieldsUnderIsky) {
  IskyEventReader r;
  ASSERT_TRUE(r.Load(R"({"top":1,"isky":{"type":2,"group_id":123,"msg":"&#91;hi&#93;","flag":true,"l":[{"v":9}]}})"));
  EXPECT_EQ(Seq({S(r.GetInt("type")), S(r.GetInt64("group_id")), S(r.GetInt("l[0].v")), r.GetText("group_id"),
                 r.GetText("msg"), S(r.GetBool("flag")), r.GetText("absent"), r.GetText("top"), S(r.GetInt("absent")),
                 S(r.GetInt64("absent")), S(r.GetInt("top")), S(r.GetBool("absent"))}),
            "21239123&#91;hi&#93;true000false");
  r.Clear();
  EXPECT_EQ(Seq({S(r.GetInt("type")), S(r.Load("not json")), r.GetText("msg")}), "0false");
  // A byte that is not GBK in a text loses neither the text nor the event.
  ASSERT_TRUE(r.Load("{\"isky\":{\"type\":1,\"msg\":\"a\xFF\",\"user_id\":5}}"));
  EXPECT_EQ(r.GetText("msg").substr(0, 1) + r.GetText("user_id"), "a5");
  ASSERT_TRUE(r.Load("{\"isky\":{\"type\":1,\"msg\":\"hi\x81\",\"user_id\":5}}"));  // a lead byte before the quote
  EXPECT_EQ(r.GetText("msg") + r.GetText("user_id"), "hi?5");
}

TEST(JsonFuzzReplay, SeedCorpus) {
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ZOQ_JSON_CORPUS)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_EQ(fuzz::CheckParse(data, bytes.size()) + fuzz::CheckOps(data, bytes.size()), "") << entry.path();
    ++files;
  }
  EXPECT_GE(files, 10u);
}

}  // namespace
}  // namespace zoq::json::test
