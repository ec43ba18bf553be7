// WideJsonDocument: JsonDocument's operations under a lock: the lock flag
// states and its own loads and Clear, and threads on one tree. (The records
// built with it are checked through the exports, in tests/info.) Also run
// under ThreadSanitizer.
#include <gtest/gtest.h>

#include <thread>

#include "json/wide_document.hpp"
#include "tests/json/helpers.hpp"

namespace zoq::json::test {
namespace {

TEST(WideJsonDocument, LockFlagStates) {
  WideJsonDocument d, unloaded;
  d.Clear();  // no tree: nothing happens
  const auto token = d.InitLock();
  d.DeleteLock();
  const std::string first = Seq({S(d.InitLock() == token), S(d.IsLockReady()), S(d.LoadNew())});
  d.DeleteLock();
  WideJsonNode view = d.GetNode("a");  // the lock is the tree's, the flag the object's own
  WideJsonDocument copy = d;
  view.InitLock();
  d.InitLock();
  d.Clear();
  EXPECT_EQ(first + Seq({S(view.GetLock() == d.GetLock()), S(WideJsonNode(view).IsLockReady()), S(copy.IsLockReady()),
                         S(d.HasRoot()), S(d.IsLockReady()), S(d.Load("[]")), S(d.IsLockReady()), copy.ToText()}),
            R"(true1truetrue10false0true1{"a":null})");  // the copy still holds the first tree
  unloaded.SetRoot(unloaded.NewNode(kArray));  // a tree given to a document whose lock is not ready stays through Clear
  unloaded.Clear();
  EXPECT_EQ(unloaded.ToText(), "[]");
}

// Runs `rounds` turns of each function, each on its own thread, all at once.
void Together(int rounds, std::initializer_list<std::function<void(int)>> work) {
  std::vector<std::thread> threads;
  for (const auto& w : work)
    threads.emplace_back([&w, rounds] { for (int k = 0; k < rounds; ++k) w(k); });
  for (std::thread& t : threads) t.join();
}

TEST(WideJsonDocument, ThreadsThroughADocumentItsViewAndItsCopy) {
  WideJsonDocument d;
  ASSERT_TRUE(d.Load(R"({"a":[],"b":{"list":[]}})"));
  WideJsonNode b = d.GetNode("b");
  WideJsonDocument copy = d;  // a copy names the same tree and shares its lock
  WideJsonNode own;           // so does a view made on its own, with a tree of its own
  own.SetRoot(own.NewNode(kArray));
  const WideJsonNode ownCopy = own;
  Together(2000, {[&](int k) { d.SetInt("a[]", k), d.SetText("b.last", std::to_string(k)), d.ToText(); },
                  [&](int) { b.AppendNew("list", kInt64), b.GetText("last"), b.CopyNode("list").GetCount(); },
                  [&](int k) { copy.SetInt("c", k), copy.HasRoot(); },
                  [&](int k) { own.SetInt("[]", k), own.ToText(); }, [&](int k) { ownCopy.SetInt("[]", k); }});
  EXPECT_EQ(Seq({d.GetText("c"), S(d.GetCount("a")), S(d.GetCount("b.list")), d.GetText("a[1999]"), S(own.GetCount())}),
            "19992000200019994000");
}

// An operation that copies from another tree holds that tree's lock too.
TEST(WideJsonDocument, ThreadsCopyingFromATreeThatAnotherThreadChanges) {
  WideJsonDocument source, target;
  ASSERT_TRUE(source.Load(R"({"list":[1,2,3],"o":{"k":"v"}})") && target.LoadNew());
  const WideJsonNode o = source.GetNode("o");
  Together(1000, {[&](int k) {
                    source.SetInt("list[]", k), source.RemoveElement("list", 0);
                    source.SetText("o.k", std::to_string(k));
                  },
                  [&](int) {
                    target.Append("copies", source), target.SetNode("node", source), target.PutMember("m", "k", o);
                    target.MergeObject("merged", o), target.ConcatArray("all", source.GetNode("list"));
                    target.RemoveElement("copies", 0);
                  }});
  const int32_t all = target.GetCount("all");  // three or four elements at each copy
  EXPECT_TRUE(all >= 3000 && all <= 4000) << all;
  EXPECT_EQ(S(target.GetCount("copies")) + S(target.GetType("merged.k")), "04");
}

// The last holder of a removed subtree may be a view that another thread
// lets go of while views of the subtree's children are in use.
TEST(WideJsonDocument, ThreadsLettingGoOfTheLastHoldOnASubtree) {
  WideJsonDocument d;
  ASSERT_TRUE(d.LoadNew());
  Together(5000, {[&](int k) {
                    d.SetInt("a.b", k);
                    WideJsonNode a = d.GetMember("", "a");
                    std::this_thread::yield();
                    d.RemoveMember("", "a");
                    WideJsonNode last = a;
                    a = WideJsonNode();  // an assignment lets go of one hold on a, the end of `last` of the other
                  },
                  [&](int) {
                    const WideJsonNode b = d.GetChildAt("a", 0);
                    for (int j = 0; j < 20 && b.HasRoot(); ++j) (void)b.GetParent().GetCount();
                  }});
  EXPECT_EQ(d.GetType("a"), kMissing);
}

}  // namespace
}  // namespace zoq::json::test
