// JSON documents addressed by path texts: the operations that every class of
// the family shares, and JsonDocument with its node view JsonNode.
//
// Each text operation comes as a pair: the plain name takes and gives GBK
// texts (std::string), the name ending in W takes and gives UTF-16LE byte
// sets (ByteSet, read up to the first NUL; results end with one NUL). An
// omitted or empty path names the root (a view's node).
#pragma once

#include <algorithm>
#include <exception>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "json/engine.hpp"
#include "json/seams.hpp"

namespace zoq::json {

using ByteSet = std::vector<std::uint8_t>;
using NodeHandle = detail::NodeRef;  // a node passed by handle (GetRoot, SetRoot, NewNode)

ByteSet ToByteSet(std::u16string_view text);       // the text and one NUL character
std::u16string FromByteSet(const ByteSet& bytes);  // up to the first NUL; an odd last byte is ignored

extern const Dialect kJsonDialect;      // JsonDocument
extern const Dialect kWideJsonDialect;  // WideJsonDocument: JsonDocument's, but a text merge that merged nothing fails

namespace detail {

// GBK conversions with a short way for texts of ASCII only. Paths and keys
// convert strictly (bytes that are not GBK name nothing); texts that are
// stored or parsed take what Windows makes of such bytes, but a lead byte
// that no trail byte follows becomes "?" alone and the byte after it stays.
bool Widen(std::string_view gbk, std::u16string& out, bool strict = true);
std::string Narrow(std::u16string_view text);

// Arguments of the GBK and UTF-16 forms, converted once for the shared body.
template <class T>
struct Arg {
  explicit Arg(const T& v) : value(v) {}
  bool ok = true;
  const T& value;
  const T& get() const { return value; }
};
template <>
struct Arg<std::string> {
  explicit Arg(const std::string& s) : ok(Widen(s, text)) {}
  std::u16string text;  // made before `ok`, which fills it
  bool ok;
  std::u16string_view get() const { return text; }
};
template <>
struct Arg<ByteSet> {
  explicit Arg(const ByteSet& b) : text(FromByteSet(b)) {}
  bool ok = true;
  std::u16string text;
  std::u16string_view get() const { return text; }
};

// A text argument that is stored or parsed rather than used as an address.
template <class T>
struct Loose {
  const T& value;
};
template <class T>
Loose<T> Loosely(const T& v) { return {v}; }
template <>
struct Arg<Loose<std::string>> {
  explicit Arg(Loose<std::string> s) : ok(Widen(s.value, text, false)) {}
  std::u16string text;
  bool ok;
  std::u16string_view get() const { return text; }
};
template <>
struct Arg<Loose<ByteSet>> : Arg<ByteSet> {
  explicit Arg(Loose<ByteSet> b) : Arg<ByteSet>(b.value) {}
};
inline std::string Out(std::u16string_view s, const std::string*) { return Narrow(s); }
inline ByteSet Out(std::u16string_view s, const ByteSet*) { return ToByteSet(s); }

}  // namespace detail

// The operations shared by documents and node views of every class.
class DocumentBase {
 public:
  using Text = std::string;
  using Comparator = std::function<int32_t(const NodeHandle& a, const NodeHandle& b, int32_t value)>;

  bool HasRoot() const;
  NodeHandle GetRoot() const;
  void SetRoot(NodeHandle node);

  ByteSet ToTextW(const ByteSet& path = {}, bool pretty = false, bool escape = true, int32_t bufferSize = 1024) const;
  Text ToText(const Text& path = {}, bool pretty = false, bool escape = true, int32_t bufferSize = 1024) const;

#define ZOQ_JSON_TWINS(R, Name, ...) \
  R Name(const Text& path __VA_OPT__(, ) __VA_ARGS__) const;  \
  R Name##W(const ByteSet& path __VA_OPT__(, ) __VA_ARGS__) const;
#define ZOQ_JSON_TWINS_ROOT(R, Name, ...) \
  R Name(const Text& path = {} __VA_OPT__(, ) __VA_ARGS__) const;  \
  R Name##W(const ByteSet& path = {} __VA_OPT__(, ) __VA_ARGS__) const;
  ZOQ_JSON_TWINS_ROOT(int32_t, GetType)
  ZOQ_JSON_TWINS_ROOT(int32_t, GetCount)
  ZOQ_JSON_TWINS(bool, Exists)
  ZOQ_JSON_TWINS_ROOT(void, ClearAt)
  ZOQ_JSON_TWINS_ROOT(bool, SetNull)
  ZOQ_JSON_TWINS(bool, SetBool, bool flag)
  ZOQ_JSON_TWINS(bool, SetDouble, double value)
  ZOQ_JSON_TWINS(bool, SetInt64, int64_t value)
  ZOQ_JSON_TWINS(bool, SetInt, int32_t value)
  ZOQ_JSON_TWINS(bool, SetObject, int32_t bucketCount = 0)
  ZOQ_JSON_TWINS(bool, SetArray, int32_t capacity = 0)
  ZOQ_JSON_TWINS(bool, RemoveElement, int32_t index)
  ZOQ_JSON_TWINS(bool, Append, const DocumentBase& source)
  ZOQ_JSON_TWINS(bool, SetElement, int32_t index, const DocumentBase& source)
  ZOQ_JSON_TWINS(bool, SetNode, const DocumentBase& source)
  ZOQ_JSON_TWINS_ROOT(bool, GetBool)
  ZOQ_JSON_TWINS_ROOT(double, GetDouble)
  ZOQ_JSON_TWINS_ROOT(int64_t, GetInt64)
  ZOQ_JSON_TWINS_ROOT(int32_t, GetInt)
  ZOQ_JSON_TWINS_ROOT(bool, SortByKey, int32_t descending = 0, int32_t ignoreCase = 0)
  ZOQ_JSON_TWINS(void, Sort, const Comparator& compare, int32_t value = 0, int32_t flag = 0)
#undef ZOQ_JSON_TWINS
#undef ZOQ_JSON_TWINS_ROOT

  // Twins whose other texts change form with the path.
  bool PutMember(const Text& path, const Text& key, const DocumentBase& source) const;
  bool PutMemberW(const ByteSet& path, const ByteSet& key, const DocumentBase& source) const;
  bool SetMember(const Text& path, const Text& key, const DocumentBase& source) const;
  bool SetMemberW(const ByteSet& path, const ByteSet& key, const DocumentBase& source) const;
  bool RemoveMember(const Text& path, const Text& key) const;
  bool RemoveMemberW(const ByteSet& path, const ByteSet& key) const;
  bool SetText(const Text& path, const Text& text) const;
  bool SetTextW(const ByteSet& path, const ByteSet& text) const;
  bool ParseAt(const Text& path, const Text& text, std::optional<int32_t> flags = std::nullopt) const;
  bool ParseAtW(const ByteSet& path, const ByteSet& text, std::optional<int32_t> flags = std::nullopt) const;
  bool MergeText(const Text& path, const Text& text, std::optional<int32_t> flags = std::nullopt,
                 int32_t addMissing = 0) const;
  bool MergeTextW(const ByteSet& path, const ByteSet& text, std::optional<int32_t> flags = std::nullopt,
                  int32_t addMissing = 0) const;
  Text GetName(const Text& path = {}) const;
  ByteSet GetNameW(const ByteSet& path = {}) const;
  Text GetLiteral(const Text& path = {}) const;
  ByteSet GetLiteralW(const ByteSet& path = {}) const;
  Text GetText(const Text& path = {}) const;
  ByteSet GetTextW(const ByteSet& path = {}) const;
  int32_t GetKeys(const Text& path, std::vector<Text>& keys) const;
  int32_t GetKeysW(const ByteSet& path, std::vector<ByteSet>& keys) const;
  bool MergeObject(const Text& path, const DocumentBase& source) const;
  bool ConcatArray(const Text& path, const DocumentBase& source) const;

  NodeHandle NewNode(int32_t type) const;

  // Exists under the name that the lock-guarded and the value classes use.
  bool HasPath(const Text& path) const { return Exists(path); }
  bool HasPathW(const ByteSet& path) const { return ExistsW(path); }

  // A copy names the same tree (and shares its lock); the tree is freed by
  // its last holder.
  DocumentBase(const DocumentBase& other);
  DocumentBase& operator=(const DocumentBase& other);
  ~DocumentBase();

 protected:
  explicit DocumentBase(const Dialect& dialect, bool locked = false)
      : lock_(locked ? std::make_shared<std::recursive_mutex>() : nullptr), dialect_(&dialect) {}
  DocumentBase(NodeHandle node, const DocumentBase& origin)
      : root_(std::move(node)), lock_(origin.lock_), dialect_(origin.dialect_) {}

  using Lock = std::shared_ptr<std::recursive_mutex>;
  class Guard;

  template <class T>
  bool LoadText(const T* text, bool fresh, std::optional<int32_t> flags, int32_t* code, int32_t* errorPos);
  void ClearTree();
  const void* TreeLock() const { return lock_.get(); }

  // Runs one body with its arguments converted from either text form,
  // under the object's lock and the locks of the documents among them;
  // `fail` when a GBK text does not convert.
  template <class R, class Body, class... A>
  R Call(R fail, Body body, const A&... a) const;

  // The bodies, on UTF-16 texts.
  using U = std::u16string_view;
  detail::Node* Find(U path) const { return detail::Resolve(root_.get(), path); }
  detail::Node* Make(U path) const { return detail::ResolveOrCreate(root_.get(), path, *dialect_); }
  // Makes the path and runs `set` on its node; false when it cannot be made.
  template <class F>
  bool SetAt(U path, F&& set) const {
    detail::Node* n = Make(path);
    if (n) set(n);
    return n != nullptr;
  }
  NodeHandle ParentOf(U path) const;
  NodeHandle MemberOf(U path, U key) const;
  NodeHandle ChildOf(U path, int32_t index) const;
  NodeHandle NodeAt(U path) const;
  NodeHandle CopyOf(U path) const;
  NodeHandle AddNew(U path, std::optional<U> key, std::optional<int32_t> pos, int32_t type) const;
  std::vector<NodeHandle> ChildrenOf(U path) const;
  std::optional<std::vector<std::u16string>> KeysOf(U path) const;
  NodeHandle CopyRootOf(const DocumentBase& source) const;  // a deep copy of the source's root, or none
  // Enter `node` into `at`, which becomes an object (an array) first when
  // it is none; at the end without `pos`.
  bool PutInto(detail::Node* at, U key, std::optional<int32_t> pos, NodeHandle node) const;
  bool InsertInto(detail::Node* at, std::optional<int32_t> pos, NodeHandle node) const;
  // Makes the path, then gives its node and a deep copy of `source`'s root
  // to `place`; false when either is missing.
  template <class F>
  bool PlaceCopyAt(U path, const DocumentBase& source, F&& place) const {
    detail::Node* n = Make(path);
    NodeHandle copy = n ? CopyRootOf(source) : NodeHandle{};
    return copy && place(n, std::move(copy));
  }
  int32_t ParseInto(detail::Node* node, U text, std::optional<int32_t> flags, int32_t& errorPos) const;

  NodeHandle root_;
  Lock lock_;
  const Dialect* dialect_;
};

// Node-returning operations, giving views of the class's own view type.
template <class View>
class BasicDocument : public DocumentBase {
 public:
// One body for both forms of a node-returning operation.
#define ZOQ_JSON_VIEW_TWINS(Name, Params, Args, Body)                            \
  View Name(const Text& path Params) const { return Wrap(Call(NodeHandle{}, Body, path Args)); } \
  View Name##W(const ByteSet& path Params) const { return Wrap(Call(NodeHandle{}, Body, path Args)); }
#define ZOQ_P(...) , __VA_ARGS__
  ZOQ_JSON_VIEW_TWINS(GetParent, = {}, , [this](U p) { return ParentOf(p); })
  ZOQ_JSON_VIEW_TWINS(GetNode, , , [this](U p) { return NodeAt(p); })
  ZOQ_JSON_VIEW_TWINS(CopyNode, = {}, , [this](U p) { return CopyOf(p); })
  ZOQ_JSON_VIEW_TWINS(GetChildAt, ZOQ_P(int32_t index), ZOQ_P(index), [this](U p, int32_t i) { return ChildOf(p, i); })
  ZOQ_JSON_VIEW_TWINS(AppendNew, ZOQ_P(int32_t type = 0), ,
                      [&](U p) { return AddNew(p, std::nullopt, std::nullopt, type); })
  ZOQ_JSON_VIEW_TWINS(InsertNew, ZOQ_P(int32_t index, int32_t type = 0), ,
                      [&](U p) { return AddNew(p, std::nullopt, index, type); })
#undef ZOQ_JSON_VIEW_TWINS

#define ZOQ_JSON_VIEW_TWINS(Name, Params, Args, Body)                                     \
  View Name(const Text& path Params(Text)) const { return Wrap(Call(NodeHandle{}, Body, path Args)); } \
  View Name##W(const ByteSet& path Params(ByteSet)) const { return Wrap(Call(NodeHandle{}, Body, path Args)); }
#define ZOQ_KEY(T) , const T& key
#define ZOQ_POS_KEY(T) , int32_t pos, const T& key, int32_t type = 0
#define ZOQ_KEY_TYPE(T) , const T& key, int32_t type = 0
  ZOQ_JSON_VIEW_TWINS(GetMember, ZOQ_KEY, ZOQ_P(key), [this](U p, U k) { return MemberOf(p, k); })
  ZOQ_JSON_VIEW_TWINS(AddMember, ZOQ_KEY_TYPE, ZOQ_P(key),
                      [&](U p, U k) { return AddNew(p, k, std::nullopt, type); })
  ZOQ_JSON_VIEW_TWINS(InsertMember, ZOQ_POS_KEY, ZOQ_P(key),
                      [&](U p, U k) { return AddNew(p, k, pos, type); })
#undef ZOQ_KEY
#undef ZOQ_POS_KEY
#undef ZOQ_KEY_TYPE
#undef ZOQ_P
#undef ZOQ_JSON_VIEW_TWINS

  int32_t GetChildren(const Text& path, std::vector<View>& out) const { return Children(path, out); }
  int32_t GetChildrenW(const ByteSet& path, std::vector<View>& out) const { return Children(path, out); }

  // A view of a node handle (for example one handed to a comparator).
  View ViewOf(NodeHandle node) const { return Wrap(std::move(node)); }

 protected:
  using DocumentBase::DocumentBase;

 private:
  View Wrap(NodeHandle node) const { return View(std::move(node), *this); }
  template <class P>
  int32_t Children(const P& path, std::vector<View>& out) const {
    return this->Call(int32_t{0}, [&](U p) {
      std::vector<View> views;
      for (NodeHandle& k : ChildrenOf(p)) views.push_back(Wrap(std::move(k)));
      if (views.empty()) return 0;
      out.swap(views);
      return static_cast<int32_t>(out.size());
    }, path);
  }
};

// A view of a subtree: the operations of a document on the subtree of its
// node. It keeps that subtree alive; it never frees what the tree still holds.
class JsonNode : public BasicDocument<JsonNode> {
 public:
  JsonNode() : BasicDocument(kJsonDialect) {}
  JsonNode(NodeHandle node, const DocumentBase& origin) : BasicDocument(std::move(node), origin) {}
};

// The loads and Clear of the document classes.
template <class View>
class LoadableDocument : public BasicDocument<View> {
 public:
  using Text = DocumentBase::Text;
  // Replaces the tree by a fresh empty object and parses `text` into it.
  // Without a text, `code` is not written and the result is (*code == 0).
  bool LoadNew(const std::optional<Text>& text = std::nullopt, std::optional<int32_t> flags = std::nullopt,
               int32_t* code = nullptr, int32_t* errorPos = nullptr) {
    return this->LoadText(text ? &*text : nullptr, true, flags, code, errorPos);
  }
  bool LoadNewW(const std::optional<ByteSet>& text = std::nullopt, std::optional<int32_t> flags = std::nullopt,
                int32_t* code = nullptr, int32_t* errorPos = nullptr) {
    return this->LoadText(text ? &*text : nullptr, true, flags, code, errorPos);
  }
  // Lets go of the tree; the document has no root afterwards.
  void Clear() { this->ClearTree(); }
  // Parses `text` into the current root (a fresh one when there is none).
  bool Load(const Text& text, std::optional<int32_t> flags = std::nullopt, int32_t* code = nullptr,
            int32_t* errorPos = nullptr) {
    return this->LoadText(&text, false, flags, code, errorPos);
  }
  bool LoadW(const ByteSet& text, std::optional<int32_t> flags = std::nullopt, int32_t* code = nullptr,
             int32_t* errorPos = nullptr) {
    return this->LoadText(&text, false, flags, code, errorPos);
  }

 protected:
  using BasicDocument<View>::BasicDocument;
};

// A document: owns its tree (copies of a document share it; the last holder frees it).
class JsonDocument : public LoadableDocument<JsonNode> {
 public:
  JsonDocument() : LoadableDocument(kJsonDialect) {}
};

// --- template bodies -------------------------------------------------------

// Holds the locks of a document and of the source documents among an
// operation's arguments for the operation's whole run, taken in one global
// order so that two operations never wait for each other.
class DocumentBase::Guard {
 public:
  template <class... A>
  explicit Guard(const DocumentBase& d, const A&... args) {
    Add(d);
    (AddIfDocument(args), ...);
    for (size_t k = 1; k < count_; ++k)  // a handful: sorted by address in place
      for (size_t j = k; j > 0 && held_[j] < held_[j - 1]; --j) std::swap(held_[j], held_[j - 1]);
    for (size_t k = 0; k < count_; ++k) held_[k]->lock();
  }
  ~Guard() {
    for (size_t k = count_; k-- > 0;) held_[k]->unlock();
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  void Add(const DocumentBase& d) {
    if (d.lock_) held_[count_++] = d.lock_.get();
  }
  template <class A>
  void AddIfDocument(const A& a) {
    if constexpr (std::is_base_of_v<DocumentBase, A>) Add(a);
  }
  std::recursive_mutex* held_[4] = {};
  size_t count_ = 0;
};

template <class R, class Body, class... A>
R DocumentBase::Call(R fail, Body body, const A&... a) const {
  try {  // memory exhausted, in the conversions as in the body: the operation fails
    std::tuple<detail::Arg<A>...> args(a...);
    const bool ok = std::apply([](const auto&... x) { return (x.ok && ...); }, args);
    if (!ok) return fail;
    Guard g(*this, a...);
    return std::apply([&](const auto&... x) { return static_cast<R>(body(x.get()...)); }, args);
  } catch (const std::exception&) {
    return fail;
  }
}

}  // namespace zoq::json
