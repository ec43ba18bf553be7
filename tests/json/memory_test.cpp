// Limits of the documents' memory use: far indexes, index digits past an
// int32_t, and memory running out at any allocation of an operation, for
// every document class through its path operations.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <optional>

#include "json/refcounted_document.hpp"
#include "json/wide_document.hpp"
#include "tests/json/helpers.hpp"

namespace {

// Allocations this thread may still make (-1: any number), and whether one was refused.
thread_local long tAllowed = -1;
thread_local bool tRefused = false;

void* Allocate(std::size_t n) {
  if (tAllowed == 0) {
    tRefused = true;
    throw std::bad_alloc();
  }
  if (tAllowed > 0) --tAllowed;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

// The whole family of the global operators, so that every block goes to malloc and back.
void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try { return Allocate(n); } catch (...) { return nullptr; }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  try { return Allocate(n); } catch (...) { return nullptr; }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace zoq::json::test {
namespace {

// Allows this thread `count` more allocations while it lives.
class Budget {
 public:
  explicit Budget(long count) { tAllowed = count; tRefused = false; }
  ~Budget() { tAllowed = -1; }
  Budget(const Budget&) = delete;
  Budget& operator=(const Budget&) = delete;
  static bool Refused() { return tRefused; }
};

template <class Doc>
class JsonMemory : public ::testing::Test {};
using Classes = ::testing::Types<JsonDocument, WideJsonDocument, RefCountedJsonDocument>;
TYPED_TEST_SUITE(JsonMemory, Classes);

TYPED_TEST(JsonMemory, IndexDigitsPastInt32MakeThePathInvalid) {
  TypeParam d;
  ASSERT_TRUE(d.LoadNew(std::string(R"({"a":[7]})")));
  {
    Budget b(100000);
    EXPECT_FALSE(d.SetInt64("b[4294967295]", 1));  // would wrap to -1: append
    EXPECT_FALSE(d.SetInt64("b[2147483648]", 1));
    EXPECT_FALSE(d.SetInt64("b.c[99999999999999999999]", 1));
    EXPECT_EQ(d.GetType("a[4294967296]"), kMissing);  // would wrap to 0
    EXPECT_FALSE(d.HasPath("a[4294967296]"));
    EXPECT_FALSE(Budget::Refused());
  }
  EXPECT_EQ(d.ToText(), R"({"a":[7]})");
}

TYPED_TEST(JsonMemory, AnIndexFarPastTheEndFailsWithoutPadding) {
  TypeParam d, source;
  ASSERT_TRUE(d.LoadNew(std::string(R"({"a":[7]})")));
  ASSERT_TRUE(source.LoadNew());
  {
    Budget b(100000);  // far fewer than 2^24 nulls would need
    EXPECT_FALSE(d.SetInt64("a[16777218]", 1));
    EXPECT_FALSE(d.SetElement("a", 16777218, source));
    EXPECT_FALSE(d.SetInt64("b[33554432].c", 1));
    EXPECT_FALSE(Budget::Refused());
  }
  EXPECT_EQ(d.GetCount("a"), 1);
  EXPECT_EQ(d.GetCount("b"), 0);
  EXPECT_TRUE(d.SetInt64("a[3]", 1));
  EXPECT_EQ(d.GetCount("a"), 4);
}

// Runs `op` with memory running out at its first allocation, then its
// second, and so on until it runs through: each refused run must answer
// failure and leave a tree that can be written and freed (freeing with no
// memory at all); the run that goes through must answer success.
template <class Doc>
void ExpectFailureOnEveryRefusal(const char* name, const std::function<bool(Doc&)>& op) {
  const std::optional<std::string> text = Gbk(u"{\"a\":[3,1,{\"b\":\"x\"},2],\"中\":\"文字的值\"}");
  for (long k = 0;; ++k) {
    ASSERT_LT(k, 100000) << name;
    std::optional<Doc> d(std::in_place);
    ASSERT_TRUE(d->LoadNew(text));
    bool ok, refused;
    {
      Budget b(k);
      ok = op(*d);
      refused = Budget::Refused();
    }
    const std::string after = d->ToText();
    EXPECT_EQ(after.empty(), false) << name << " refused at " << k;
    {
      Budget none(0);
      d.reset();
    }
    if (!refused) {
      EXPECT_TRUE(ok) << name;
      return;
    }
    EXPECT_FALSE(ok) << name << " refused at " << k;
  }
}

TYPED_TEST(JsonMemory, RunningOutOfMemoryFailsTheOperation) {
  using Doc = TypeParam;
  using View = decltype(std::declval<Doc&>().GetNode(std::string{}));
  const std::string path = Gbk(u"a[2].键名"), value = Gbk(u"中文的值"), textPath = Gbk(u"中");
  const std::string expected = Gbk(u"文字的值");
  const ByteSet widePath = W(u"中");
  const std::optional<std::string> loaded = Gbk(u"{\"键\":[1,2,3,\"四\"]}");
  std::vector<std::string> keys;
  std::vector<View> views;
  ExpectFailureOnEveryRefusal<Doc>("SetText", [&](Doc& d) { return d.SetText(path, value); });
  ExpectFailureOnEveryRefusal<Doc>("GetText", [&](Doc& d) { return d.GetText(textPath) == expected; });
  ExpectFailureOnEveryRefusal<Doc>("GetTextW", [&](Doc& d) { return d.GetTextW(widePath).size() == 10; });
  ExpectFailureOnEveryRefusal<Doc>("ToTextW", [&](Doc& d) { return d.ToTextW().size() > 2; });
  ExpectFailureOnEveryRefusal<Doc>("GetKeys", [&](Doc& d) { return d.GetKeys(std::string{}, keys) == 2; });
  ExpectFailureOnEveryRefusal<Doc>("GetChildren", [&](Doc& d) { return d.GetChildren(std::string("a"), views) == 4; });
  ExpectFailureOnEveryRefusal<Doc>("LoadNew", [&](Doc& d) { return d.LoadNew(loaded); });
  ExpectFailureOnEveryRefusal<Doc>("CopyNode", [&](Doc& d) { return d.CopyNode(std::string("a")).GetCount() == 4; });
  // A comparator that needs memory itself: the array keeps each element once.
  const typename Doc::Comparator byText = [](const NodeHandle& x, const NodeHandle& y, int32_t) {
    const std::string a(40, static_cast<char>('0' + x->type)), b(40, static_cast<char>('0' + y->type));
    return a < b ? -1 : a == b ? 0 : 1;
  };
  ExpectFailureOnEveryRefusal<Doc>("Sort", [&](Doc& d) {
    d.Sort(std::string("a"), byText);
    return d.GetType("a[3]") == kObject;
  });
}

TEST(JsonMemory, NewTextOfTheValueClassFailsWhenMemoryRunsOut) {
  const RefCountedJsonDocument d;
  const std::string text = Gbk(u"一段不短的中文文字");
  for (long k = 0;; ++k) {
    ASSERT_LT(k, 1000);
    std::optional<RefCountedJsonDocument> made;
    bool refused;
    {
      Budget b(k);
      made.emplace(d.NewText(text));
      refused = Budget::Refused();
    }
    if (!refused) {
      EXPECT_EQ(made->GetText(), text);
      return;
    }
    EXPECT_EQ(made->GetType(), kMissing) << "refused at " << k;
  }
}

}  // namespace
}  // namespace zoq::json::test
