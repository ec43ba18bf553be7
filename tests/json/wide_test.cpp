// WideJsonDocument: the information record, the account list, the lock
// flag states, two threads on one tree, and agreement with JsonDocument.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "json/wide_document.hpp"
#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

TEST(WideJsonDocument, IskyInformationRecord) {
  const std::string name = Gbk(u"ZOQ\u00b7\u5173\u952e\u8bcd");
  const std::string brief = Gbk(
      u"ZOQ\u00b7\u5173\u952e\u8bcd \u7cbe\u7f8e\u81ea\u5b9a\u4e49 \u9ad8\u6548\u7a33\u5b9a \r\n"
      u"\u652f\u6301\u8fdc\u7a0b\u63a7\u5236 \u7eff\u8336/\u4e00\u8a00/API\u5bf9\u63a5\u53d8\u91cf\u4e00\u5e94\u4ff1\u5168.. \r\n"
      u"ZOQ \u00b7\u5b98\u65b9QQ\u7fa4: 123456789");
  WideJsonDocument d;
  ASSERT_TRUE(d.LoadNew());
  EXPECT_TRUE(d.SetText("id", name));
  EXPECT_TRUE(d.SetText("name", name));
  EXPECT_TRUE(d.SetText("author", "Quillane"));
  EXPECT_TRUE(d.SetText("version", "2.2.6"));
  EXPECT_TRUE(d.SetText("brief", brief));
  EXPECT_TRUE(d.SetBool("menu", true));
  EXPECT_TRUE(d.SetInt("sdk", 2));
  const std::string expected = Gbk(
      u"{\"id\":\"ZOQ\u00b7\u5173\u952e\u8bcd\",\"name\":\"ZOQ\u00b7\u5173\u952e\u8bcd\",\"author\":\"Quillane\","
      u"\"version\":\"2.2.6\",\"brief\":\"ZOQ\u00b7\u5173\u952e\u8bcd \u7cbe\u7f8e\u81ea\u5b9a\u4e49 \u9ad8\u6548\u7a33\u5b9a \\r\\n"
      u"\u652f\u6301\u8fdc\u7a0b\u63a7\u5236 \u7eff\u8336/\u4e00\u8a00/API\u5bf9\u63a5\u53d8\u91cf\u4e00\u5e94\u4ff1\u5168.. \\r\\n"
      u"ZOQ \u00b7\u5b98\u65b9QQ\u7fa4: 123456789\",\"menu\":true,\"sdk\":2}");
  EXPECT_EQ(d.ToText(), expected);
  d.ClearAt();
  EXPECT_EQ(d.ToText(), "null");
}

// The account chooser's reading of the function-table host's account list.
std::vector<std::string> OnlineAccounts(const std::string& answer) {
  WideJsonDocument d;
  d.Load(answer);
  std::vector<std::string> accounts;
  const int32_t n = d.GetCount("QQlist");
  for (int32_t i = 0; i < n; ++i) {
    const std::string at = "QQlist[" + std::to_string(i) + "]";
    if (d.GetText(at + "." + Gbk(u"\u767b\u5f55\u72b6\u6001")) != Gbk(u"\u672a\u767b\u5f55")) accounts.push_back(d.GetName(at));
  }
  return accounts;
}

TEST(WideJsonDocument, AccountListOfTheFunctionTableHost) {
  const std::string answer = Gbk(
      u"{\"QQlist\":{\"10001\":{\"\u767b\u5f55\u72b6\u6001\":\"\u672a\u767b\u5f55\"},"
      u"\"20002\":{\"\u767b\u5f55\u72b6\u6001\":\"\u5728\u7ebf\"},\"30003\":{\"\u767b\u5f55\u72b6\u6001\":\"\u5fd9\u788c\"}}}");
  EXPECT_EQ(OnlineAccounts(answer), (std::vector<std::string>{"20002", "30003"}));
  EXPECT_TRUE(OnlineAccounts("<html>garbage</html>").empty());
  EXPECT_TRUE(OnlineAccounts(R"({"QQlist":{}})").empty());
  EXPECT_TRUE(OnlineAccounts(R"({"other":1})").empty());
}

TEST(WideJsonDocument, LockFlagStates) {
  WideJsonDocument d;
  EXPECT_EQ(d.IsLockReady(), 0);
  d.Clear();  // no tree: nothing happens
  EXPECT_EQ(d.IsLockReady(), 0);
  const auto token = d.InitLock();
  EXPECT_EQ(d.InitLock(), token);
  EXPECT_EQ(d.IsLockReady(), 1);
  d.DeleteLock();
  EXPECT_EQ(d.IsLockReady(), 0);
  EXPECT_TRUE(d.LoadNew());
  EXPECT_EQ(d.IsLockReady(), 1);
  WideJsonNode view = d.GetNode("a");
  EXPECT_EQ(view.IsLockReady(), 0);  // a view's flag is its own
  EXPECT_EQ(view.GetLock(), d.GetLock());  // but the lock is the tree's
  view.InitLock();
  WideJsonNode viewCopy = view;
  EXPECT_EQ(viewCopy.IsLockReady(), 1);
  WideJsonDocument copy = d;
  EXPECT_EQ(copy.IsLockReady(), 1);
  d.DeleteLock();
  EXPECT_EQ(view.IsLockReady(), 1);
  d.InitLock();
  d.Clear();
  EXPECT_FALSE(d.HasRoot());
  EXPECT_EQ(d.IsLockReady(), 0);
  d.Clear();
  EXPECT_EQ(d.IsLockReady(), 0);
  EXPECT_TRUE(d.Load(R"({"x":1})"));
  EXPECT_EQ(d.IsLockReady(), 1);
  EXPECT_EQ(copy.ToText(), R"({"a":null})");  // the copy still holds the first tree
  // A tree given by SetRoot to a document whose lock is not ready stays through Clear.
  WideJsonDocument unloaded;
  unloaded.SetRoot(unloaded.NewNode(kArray));
  unloaded.Clear();
  EXPECT_TRUE(unloaded.HasRoot());
  EXPECT_EQ(unloaded.ToText(), "[]");
}

TEST(WideJsonDocument, TwoThreadsThroughADocumentAndAView) {
  WideJsonDocument d;
  ASSERT_TRUE(d.Load(R"({"a":[],"b":{"list":[]}})"));
  WideJsonNode b = d.GetNode("b");
  constexpr int kRounds = 2000;
  std::thread first([&] {
    for (int k = 0; k < kRounds; ++k) {
      d.SetInt("a[]", k);
      d.SetText("b.last", std::to_string(k));
      (void)d.ToText();
    }
  });
  std::thread second([&] {
    for (int k = 0; k < kRounds; ++k) {
      b.AppendNew("list", kInt64);
      (void)b.GetText("last");
      WideJsonNode copy = b.CopyNode("list");
      (void)copy.GetCount();
    }
  });
  first.join();
  second.join();
  EXPECT_EQ(d.GetCount("a"), kRounds);
  EXPECT_EQ(d.GetCount("b.list"), kRounds);
  EXPECT_EQ(d.GetInt("a[1999]"), 1999);
}

// The same random operations on both classes give the same results and text.
TEST(WideJsonDocument, AgreesWithJsonDocument) {
  std::mt19937 rng(20261206);
  const char* paths[] = {"", "a", "b", "a.b", "a[0]", "a[]", "c[2]", "b.x.y", "[1]", "a[1].k"};
  const char* texts[] = {R"({"a":[1,2,{"k":3}],"b":{}})", "[1.50,007,\"x\"]", R"({"x":{"y":true}})", "{bad", "42"};
  auto pick = [&](auto& list) { return list[rng() % std::size(list)]; };
  for (int run = 0; run < 20; ++run) {
    JsonDocument plain;
    WideJsonDocument wide;
    plain.LoadNew();
    wide.LoadNew();
    for (int step = 0; step < 200; ++step) {
      const std::string p = pick(paths), q = pick(paths), t = pick(texts);
      const int32_t n = static_cast<int32_t>(rng() % 5) - 1;
      std::string a, b;
      switch (rng() % 16) {
        case 0: a = std::to_string(plain.SetText(p, t)); b = std::to_string(wide.SetText(p, t)); break;
        case 1: a = std::to_string(plain.SetInt(p, n)); b = std::to_string(wide.SetInt(p, n)); break;
        case 2: a = std::to_string(plain.SetDouble(p, n / 3.0)); b = std::to_string(wide.SetDouble(p, n / 3.0)); break;
        case 3: a = std::to_string(plain.RemoveMember(p, q)); b = std::to_string(wide.RemoveMember(p, q)); break;
        case 4: a = std::to_string(plain.RemoveElement(p, n)); b = std::to_string(wide.RemoveElement(p, n)); break;
        case 5: plain.ClearAt(p); wide.ClearAt(p); break;
        case 6: a = plain.AddMember(p, q, n + 2).ToText(); b = wide.AddMember(p, q, n + 2).ToText(); break;
        case 7: a = plain.InsertMember(p, n, q, kObject).ToText(); b = wide.InsertMember(p, n, q, kObject).ToText(); break;
        case 8: a = plain.InsertNew(p, n, kArray).ToText(); b = wide.InsertNew(p, n, kArray).ToText(); break;
        case 9: a = std::to_string(plain.ParseAt(p, t)); b = std::to_string(wide.ParseAt(p, t)); break;
        case 10: a = std::to_string(plain.MergeText(p, t, std::nullopt, n & 1)); b = std::to_string(wide.MergeText(p, t, std::nullopt, n & 1)); break;
        case 11: a = std::to_string(plain.SortByKey(p, n & 1)); b = std::to_string(wide.SortByKey(p, n & 1)); break;
        case 12: a = plain.GetText(p) + "|" + plain.GetName(p) + "|" + std::to_string(plain.GetType(p));
                 b = wide.GetText(p) + "|" + wide.GetName(p) + "|" + std::to_string(wide.GetType(p)); break;
        case 13: a = std::to_string(plain.SetNode(p, plain.GetNode(q))); b = std::to_string(wide.SetNode(p, wide.GetNode(q))); break;
        case 14: a = std::to_string(plain.ConcatArray(p, Doc("[9]"))); b = std::to_string(wide.ConcatArray(p, Doc("[9]"))); break;
        default: a = std::to_string(plain.Load(t)); b = std::to_string(wide.Load(t)); break;
      }
      ASSERT_EQ(a, b) << "run " << run << " step " << step;
      ASSERT_EQ(plain.ToText(), wide.ToText()) << "run " << run << " step " << step;
    }
  }
}

}  // namespace
}  // namespace zoq::json::test
