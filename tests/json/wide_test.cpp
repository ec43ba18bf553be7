// WideJsonDocument: the lock flag states, two threads on one tree, and
// agreement with JsonDocument. (The records built with it are checked
// through the exports, in tests/info.)
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "json/wide_document.hpp"
#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

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

TEST(WideJsonDocument, ThreadsThroughADocumentItsViewAndItsCopy) {
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
  WideJsonDocument copy = d;  // a copy names the same tree and shares its lock
  std::thread third([&] {
    for (int k = 0; k < kRounds; ++k) {
      copy.SetInt("c", k);
      EXPECT_TRUE(copy.HasRoot());
      (void)copy.GetRoot();
    }
  });
  first.join();
  second.join();
  third.join();
  EXPECT_EQ(d.GetInt("c"), kRounds - 1);
  EXPECT_EQ(d.GetCount("a"), kRounds);
  EXPECT_EQ(d.GetCount("b.list"), kRounds);
  EXPECT_EQ(d.GetInt("a[1999]"), 1999);
}

// An operation that copies from another tree holds that tree's lock too.
TEST(WideJsonDocument, ThreadsCopyingFromATreeThatAnotherThreadChanges) {
  WideJsonDocument source, target;
  ASSERT_TRUE(source.Load(R"({"list":[1,2,3],"o":{"k":"v"}})"));
  ASSERT_TRUE(target.LoadNew());
  constexpr int kRounds = 1000;
  std::thread writer([&] {
    for (int k = 0; k < kRounds; ++k) {
      source.SetInt("list[]", k);
      source.RemoveElement("list", 0);
      source.SetText("o.k", std::to_string(k));
    }
  });
  std::thread reader([&] {
    const WideJsonNode o = source.GetNode("o");
    for (int k = 0; k < kRounds; ++k) {
      target.Append("copies", source);
      target.SetNode("node", source);
      target.PutMember("m", "k", o);
      target.MergeObject("merged", o);
      target.ConcatArray("all", source.GetNode("list"));
      target.RemoveElement("copies", 0);
    }
  });
  writer.join();
  reader.join();
  EXPECT_EQ(target.GetCount("copies"), 0);
  EXPECT_GE(target.GetCount("all"), 3 * kRounds);  // three or four elements at each copy
  EXPECT_LE(target.GetCount("all"), 4 * kRounds);
  EXPECT_EQ(target.GetType("merged.k"), kString);
  EXPECT_EQ(source.GetCount("list"), 3);
}

// The last holder of a removed subtree may be a view that another thread
// lets go of while views of the subtree's children are in use.
TEST(WideJsonDocument, ThreadsLettingGoOfTheLastHoldOnASubtree) {
  WideJsonDocument d;
  ASSERT_TRUE(d.LoadNew());
  constexpr int kRounds = 5000;
  std::atomic<bool> done{false};
  std::thread remover([&] {
    for (int k = 0; k < kRounds; ++k) {
      d.SetInt("a.b", k);
      WideJsonNode a = d.GetMember("", "a");
      std::this_thread::yield();
      d.RemoveMember("", "a");
      WideJsonNode last = a;
      a = WideJsonNode();  // an assignment lets go of one hold on a
    }  // and the destructor of `last` of the last one
    done = true;
  });
  std::thread reader([&] {
    while (!done) {
      const WideJsonNode b = d.GetChildAt("a", 0);
      for (int j = 0; j < 20 && b.HasRoot(); ++j) (void)b.GetParent().GetCount();
    }
  });
  remover.join();
  reader.join();
  EXPECT_EQ(d.GetType("a"), kMissing);
}

TEST(WideJsonDocument, HasPathOnDocumentsAndViews) {
  WideJsonDocument d;
  EXPECT_FALSE(d.HasPath("a"));
  ASSERT_TRUE(d.Load(R"({"a":{"b":[1,"s"]},"n":null})"));
  EXPECT_FALSE(d.HasPath(""));  // an empty path names no step
  EXPECT_TRUE(d.HasPath("n"));
  EXPECT_TRUE(d.HasPath("a.b[1]"));
  EXPECT_FALSE(d.HasPath("a.b[1].x"));  // through a string
  EXPECT_FALSE(d.HasPath("a.b[2]"));
  EXPECT_TRUE(d.HasPathW(W(u"a[0][0]")));
  WideJsonNode a = d.GetMember("", "a");
  EXPECT_TRUE(a.HasPath("b[0]"));
  EXPECT_FALSE(a.HasPathW(W(u"n")));
  EXPECT_EQ(d.ToText(), R"({"a":{"b":[1,"s"]},"n":null})");  // nothing was made
}

// The same random operations on both classes give the same results and text.
TEST(WideJsonDocument, AgreesWithJsonDocument) {
  const char* paths[] = {"", "a", "b", "a.b", "a[0]", "a[]", "c[2]", "b.x.y", "[1]", "a[1].k"};
  const char* texts[] = {R"({"a":[1,2,{"k":3}],"b":{}})", "[1.50,007,\"x\"]", R"({"x":{"y":true}})", "{bad", "42"};
  ExpectAgreement<WideJsonDocument>(20261206, [&](JsonDocument& plain, WideJsonDocument& wide, std::mt19937& rng) {
    const std::string p = Pick(rng, paths), q = Pick(rng, paths), t = Pick(rng, texts);
    const int32_t n = static_cast<int32_t>(rng() % 5) - 1;
    const auto both = [&](auto op) { return std::pair(op(plain), op(wide)); };
    const auto str = [](auto v) { return std::to_string(v); };
    switch (rng() % 16) {
      case 0: return both([&](auto& d) { return str(d.SetText(p, t)); });
      case 1: return both([&](auto& d) { return str(d.SetInt(p, n)); });
      case 2: return both([&](auto& d) { return str(d.SetDouble(p, n / 3.0)); });
      case 3: return both([&](auto& d) { return str(d.RemoveMember(p, q)); });
      case 4: return both([&](auto& d) { return str(d.RemoveElement(p, n)); });
      case 5: return both([&](auto& d) { d.ClearAt(p); return std::string(); });
      case 6: return both([&](auto& d) { return d.AddMember(p, q, n + 2).ToText(); });
      case 7: return both([&](auto& d) { return d.InsertMember(p, n, q, kObject).ToText(); });
      case 8: return both([&](auto& d) { return d.InsertNew(p, n, kArray).ToText(); });
      case 9: return both([&](auto& d) { return str(d.ParseAt(p, t)); });
      case 10: return both([&](auto& d) { return str(d.MergeText(p, t, std::nullopt, n & 1)); });
      case 11: return both([&](auto& d) { return str(d.SortByKey(p, n & 1)); });
      case 12: return both([&](auto& d) {
        return d.GetText(p) + "|" + d.GetName(p) + "|" + str(d.GetType(p)) + "|" + str(d.HasPath(q));
      });
      case 13: return both([&](auto& d) { return str(d.SetNode(p, d.GetNode(q))); });
      case 14: return both([&](auto& d) { return str(d.ConcatArray(p, Doc("[9]"))); });
      default: return both([&](auto& d) { return str(d.Load(t)); });
    }
  });
}

}  // namespace
}  // namespace zoq::json::test
