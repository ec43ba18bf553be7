// The JSON engine that every document class of the family shares: the node
// tree, path walks, the tolerant parser, the writer, sorting and merging.
// Nothing here recurses once per nesting level.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zoq::json {

// Node type codes, as GetType answers them (-1: the path does not resolve).
enum NodeType : int32_t {
  kMissing = -1,
  kNull = 0,
  kDouble = 1,
  kInt64 = 2,
  kBool = 3,
  kString = 4,
  kArray = 5,
  kObject = 6,
};

// Parser flags and result codes.
enum ParseFlags : int32_t { kDecodeUnicodeEscapes = 1, kIgnoreStrayText = 2 };
enum ParseResult : int32_t {
  kParseOk = 0,
  kParseNoInput = -2,
  kParseNoMemory = -3,
  kParseKeyError = -4,
  kParseUnclosed = -5,
  kParseValueError = -6,
  kParseOpenQuote = -7,
};

// What tells the classes of the family apart. Everything else is one engine.
struct Dialect {
  int32_t defaultParseFlags = kDecodeUnicodeEscapes;
  int32_t openQuoteCode = kParseOpenQuote;  // text ended inside a quote
  bool escapeSlashInValues = false;         // "/" written as "\/" in string values
  bool negativeIndexAppends = true;         // "[]" / "[-1]" append when writing; else fail
  bool strictGetters = false;               // GetText of a number is empty, etc.
  bool nullLiteral = false;                 // null nodes carry the literal "null"
  bool clearAtEmptiesInPlace = false;       // ClearAt keeps the node's type, emptied; else null
  bool emptyMergeFails = false;             // a text merge that merged nothing answers false
};

// Gives the memory of the engine's pools back to the heap. Only when the run
// ends (the DLL is freed, after its static destructors): no node or text of
// the engine may be left, and no thread may make one again, since the
// threads' free lists go with the pools.
void ReleasePools() noexcept;
// The slabs the pools took from the heap so far, all told (none where the
// blocks come from the plain heap): what a test counts their growth by.
size_t PoolSlabs() noexcept;

namespace detail {

struct Node;

// Blocks of small sizes come from pools kept for the whole run (one free
// list per thread and size, handed to all whenever the thread has no block
// in use); larger ones from the heap.
void* PoolAlloc(size_t bytes);
void PoolFree(void* p, size_t bytes) noexcept;

template <class T>
struct PoolAllocator {
  using value_type = T;
  PoolAllocator() = default;
  template <class U>
  PoolAllocator(const PoolAllocator<U>&) noexcept {}
  T* allocate(size_t n) { return static_cast<T*>(PoolAlloc(n * sizeof(T))); }
  void deallocate(T* p, size_t n) noexcept { PoolFree(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const PoolAllocator<U>&) const noexcept { return true; }
};

using Str = std::basic_string<char16_t, std::char_traits<char16_t>, PoolAllocator<char16_t>>;
using Kids = std::vector<Node*, PoolAllocator<Node*>>;

// Open-addressing index over an object's members, made once an object holds
// more members than a linear scan serves well. Slots hold member nodes.
struct MemberIndex {
  std::vector<Node*> slots;  // size is a power of two
  size_t used = 0;
  size_t steps = 0;  // slots stepped over by the inserts: the index's work, which a test counts
};

struct Node {
  Node();
  ~Node();
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  // Nodes come from a pool of fixed-size blocks kept for the whole run.
  static void* operator new(size_t size);
  static void operator delete(void* p) noexcept;

  std::atomic<int32_t> refs{1};  // holders: the parent container, documents, views
  int32_t type = kNull;
  Node* parent = nullptr;        // not a counted reference
  union {
    double d;
    int64_t i;  // 64-bit integers; booleans as 0/1
  } v;
  Str key;                       // member key (kept when the node leaves its object)
  Str text;                      // string value, or the literal text of a scalar
  Kids kids;                     // elements or members in order; each holds a reference
  std::unique_ptr<MemberIndex> index;  // key lookup for larger objects

  bool IsContainer() const { return type == kArray || type == kObject; }
};

void AddRef(Node* n);
void Release(Node* n);  // frees the node and its subtree when the last holder lets go

// A counted reference to a node.
class NodeRef {
 public:
  NodeRef() = default;
  static NodeRef Adopt(Node* n) { NodeRef r; r.n_ = n; return r; }  // takes over one reference
  static NodeRef Share(Node* n) { if (n) AddRef(n); return Adopt(n); }
  NodeRef(const NodeRef& o) : n_(o.n_) { if (n_) AddRef(n_); }
  NodeRef(NodeRef&& o) noexcept : n_(o.n_) { o.n_ = nullptr; }
  NodeRef& operator=(NodeRef o) noexcept { std::swap(n_, o.n_); return *this; }
  ~NodeRef() { if (n_) Release(n_); }
  Node* get() const { return n_; }
  Node* operator->() const { return n_; }
  explicit operator bool() const { return n_ != nullptr; }
  Node* Detach() { Node* n = n_; n_ = nullptr; return n; }
  bool operator==(const NodeRef& o) const { return n_ == o.n_; }

 private:
  Node* n_ = nullptr;
};

// --- Node makers and setters --------------------------------------------
NodeRef NewNode(int32_t type, const Dialect& d);  // default value of the type; none for other codes
void ClearNode(Node* n, const Dialect& d);        // frees value and children; null
void EmptyNode(Node* n);                          // frees value, children and literal; type kept
bool DetachNode(Node* n);                         // takes n out of its container; false without one
void SetObject(Node* n, const Dialect& d);
void SetArray(Node* n, const Dialect& d);
void SetString(Node* n, std::u16string_view s, const Dialect& d);
void SetBool(Node* n, bool b, const Dialect& d);
void SetDouble(Node* n, double x, const Dialect& d);
void SetInt64(Node* n, int64_t x, const Dialect& d);
void SetNumber(Node* n, int32_t type, double x, int64_t i, std::u16string_view literal, const Dialect& d);
std::u16string FormatDouble(double x);  // printf's "%.13g"
std::u16string FormatInt64(int64_t x);
NodeRef DeepCopy(const Node* src, const Dialect& d);  // literals made again from the values
void MoveContent(Node* target, Node* source);         // target takes source's value and children

// --- Containers -----------------------------------------------------------
Node* FindMember(const Node* obj, std::u16string_view key);
// Enters `node` (taking over its reference) under `key`, at `pos` of member
// order for a new key (none: the end). 0 new key, 1 replaced, -1 failed.
int PutMember(Node* obj, std::u16string_view key, NodeRef node, std::optional<int32_t> pos = std::nullopt);
int PutKeyed(Node* obj, NodeRef node, std::optional<int32_t> pos = std::nullopt);  // under the node's own key
bool RemoveMember(Node* obj, std::u16string_view key);
bool InsertElement(Node* arr, std::optional<int32_t> index, NodeRef node);  // none: append
// Writing past an array's end pads it with nulls, up to this many; an index
// further out fails.
constexpr size_t kMaxPadding = size_t{1} << 24;
bool SetElement(Node* arr, int32_t index, NodeRef node, const Dialect& d);
bool RemoveElement(Node* arr, int32_t index);
Node* ChildAt(const Node* n, int32_t index);
Node* GetOrCreateMember(Node* n, std::u16string_view key, const Dialect& d);
Node* GetOrCreateElement(Node* n, int32_t index, const Dialect& d);

// --- Paths ------------------------------------------------------------------
struct Segment {
  enum Kind : int32_t { kKey = 1, kIndex = 2 };
  int32_t kind;
  std::u16string key;
  int32_t index;
};
// None when an index has more digits than an int32_t holds: such a path names nothing.
std::optional<std::vector<Segment>> ParsePath(std::u16string_view path);
int32_t StrToInt(std::u16string_view s);  // optional minus, digits, stops at anything else
Node* Resolve(Node* start, std::u16string_view path);
bool Exists(Node* start, std::u16string_view path);
Node* ResolveOrCreate(Node* start, std::u16string_view path, const Dialect& d);

// --- Parser and writer --------------------------------------------------
int32_t Parse(Node* target, std::u16string_view text, int32_t flags, int32_t& errorPos, const Dialect& d);
bool IsNumberText(std::u16string_view t, bool* isDouble = nullptr);
double ReadDouble(std::u16string_view t);   // atof rules
int64_t ReadInt64(std::u16string_view t);   // _wtoi64 rules (saturating)
struct WriteOptions {
  bool pretty = false;
  bool escape = true;
  size_t reserve = 1024;
};
// The GBK bytes of one UTF-16 character (as the conversion seam gives them,
// remembered per character): their count, or 0 for a surrogate, which only
// a whole-text conversion handles.
int GbkOf(char16_t c, char out[2]);

// Appends the JSON text of n. A std::string sink writes GBK; it answers
// false (leaving a partial text) when the tree holds surrogates.
template <class Out>
bool Write(const Node* n, Out& out, const WriteOptions& o, const Dialect& d);

// --- Reading values -------------------------------------------------------
std::u16string TextOf(const Node* n, const Dialect& d);
std::u16string LiteralOf(const Node* n, const Dialect& d);
bool BoolOf(const Node* n, const Dialect& d);
double DoubleOf(const Node* n, const Dialect& d);
int64_t Int64Of(const Node* n, const Dialect& d);
int32_t IntOf(const Node* n, const Dialect& d);

// --- Sort and merge ---------------------------------------------------------
using Comparator = std::function<int32_t(Node* a, Node* b)>;
void QuickSort(Kids& items, const Comparator& cmp);
bool SortByKey(Node* n, bool descending, bool ignoreCase);
void SortWith(Node* n, const Comparator& cmp);
// Merges `source` (a tree of the caller's) into target; see MergeText.
bool MergeInto(Node* target, NodeRef source, bool addMissing, const Dialect& d, bool* changed = nullptr);
bool MergeObject(Node* target, const Node* source, const Dialect& d);
bool ConcatArray(Node* target, const Node* source, const Dialect& d);

}  // namespace detail
}  // namespace zoq::json
