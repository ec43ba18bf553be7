// Memory running out at any allocation of an operation, for every document
// class through its path operations.
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
void* Refusable(std::size_t n) noexcept {
  try { return Allocate(n); } catch (...) { return nullptr; }
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Refusable(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Refusable(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace zoq::json::test {
namespace {

// Allows this thread `count` more allocations while it lives.
struct Budget {
  explicit Budget(long count) { tAllowed = count, tRefused = false; }
  ~Budget() { tAllowed = -1; }
  static bool Refused() { return tRefused; }
};

template <class Doc>
class JsonMemory : public ::testing::Test {};
using Classes = ::testing::Types<JsonDocument, WideJsonDocument, RefCountedJsonDocument>;
TYPED_TEST_SUITE(JsonMemory, Classes);

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
      ok = op(*d), refused = Budget::Refused();
    }
    EXPECT_FALSE(d->ToText().empty()) << name << " refused at " << k;
    {
      Budget none(0);
      d.reset();
    }
    EXPECT_EQ(ok, !refused) << name << " refused at " << k;
    if (!refused) return;
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
  if constexpr (std::is_same_v<Doc, RefCountedJsonDocument>)
    ExpectFailureOnEveryRefusal<Doc>("NewText", [&](Doc& d) { return d.NewText(value).GetText() == value; });
}

}  // namespace
}  // namespace zoq::json::test
