// The one path by which every adapter calls a host function.
//
// A host function is declared once, as a row: the adapter operation it
// serves, the host's exported name, and its signature written with the kind
// tags below, e.g.
//
//   HostRow<Int(Text, Text, Text, Int)> shutUp_{library_, "MuteMember", "Api_Shutup"};
//
// Calling the row binds the function through the row's binding (by name, the
// way the host asks for), turns the typed arguments into stdcall words,
// calls, checks the stack and turns the answer into the typed result. A
// function that cannot be found gives the empty result (empty text, 0,
// false) and calls nothing; a function that removed another number of
// argument words than it was given is reported as a runtime error and also
// gives the empty result, and the process goes on.
#pragma once
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace zoq::hosts {

// ---- Kinds of arguments and results -------------------------------------
// Each tag names how one value crosses to the host; `code` is the letter the
// declarations are compared by (the fake host DLLs' lists use the same ones).

struct Text {};         // address of NUL-terminated GBK bytes, never null
struct Int {};          // signed 32-bit word
struct Bool {};         // one word, 1 or 0
struct I64 {};          // two words, low word first
struct Double {};       // an IEEE double: two words, low word first
struct Bytes {};        // address of the bytes, null for an empty set; no length
struct BytesAddress {}; // address of the bytes, a valid one also when empty; no length
struct CountedBytes {}; // two words: address and length, 0 and 0 when empty
struct OutAddress {};   // the address of a variable of the caller's that the host may write
struct Lead {};         // the words the binding puts first (auth id, key, ...)
struct BlockText {};    // result only: a heap block (32-bit length, bytes) the caller frees

// Up to this many words go to one host function.
inline constexpr std::size_t kMaxHostWords = 32;

struct WordList {
  std::array<std::uint32_t, kMaxHostWords> words{};
  std::size_t count = 0;
  void Push(std::uint32_t w) {
    if (count < words.size()) words[count++] = w;
  }
  void PushAddress(const void* p) { Push(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p))); }
};

template <class K>
struct ArgKind;

template <>
struct ArgKind<Text> {
  using Param = const std::string&;
  static constexpr char code = 't';
  static constexpr std::size_t words = 1;
  static void Push(WordList& w, Param v) { w.PushAddress(v.c_str()); }
};
template <>
struct ArgKind<Int> {
  using Param = std::int32_t;
  static constexpr char code = 'i';
  static constexpr std::size_t words = 1;
  static void Push(WordList& w, Param v) { w.Push(static_cast<std::uint32_t>(v)); }
};
template <>
struct ArgKind<Bool> {
  using Param = bool;
  static constexpr char code = 'b';
  static constexpr std::size_t words = 1;
  static void Push(WordList& w, Param v) { w.Push(v ? 1u : 0u); }
};
template <>
struct ArgKind<I64> {
  using Param = std::int64_t;
  static constexpr char code = 'l';
  static constexpr std::size_t words = 2;
  static void Push(WordList& w, Param v) {
    const auto u = static_cast<std::uint64_t>(v);
    w.Push(static_cast<std::uint32_t>(u));
    w.Push(static_cast<std::uint32_t>(u >> 32));
  }
};
template <>
struct ArgKind<Double> {
  using Param = double;
  static constexpr char code = 'd';
  static constexpr std::size_t words = 2;
  static void Push(WordList& w, Param v) { ArgKind<I64>::Push(w, std::bit_cast<std::int64_t>(v)); }
};
template <>
struct ArgKind<Bytes> {
  using Param = const std::string&;
  static constexpr char code = 'y';
  static constexpr std::size_t words = 1;
  static void Push(WordList& w, Param v) { w.PushAddress(v.empty() ? nullptr : v.data()); }
};
// Crosses as a text does; only the declared kind differs.
template <>
struct ArgKind<BytesAddress> : ArgKind<Text> {
  static constexpr char code = 'a';
};
template <>
struct ArgKind<CountedBytes> {
  using Param = const std::string&;
  static constexpr char code = 'c';
  static constexpr std::size_t words = 2;
  static void Push(WordList& w, Param v) {
    w.PushAddress(v.empty() ? nullptr : v.data());
    w.Push(static_cast<std::uint32_t>(v.size()));
  }
};

template <>
struct ArgKind<OutAddress> {
  using Param = void*;
  static constexpr char code = 'p';
  static constexpr std::size_t words = 1;
  static void Push(WordList& w, Param v) { w.PushAddress(v); }
};

// Result kinds: the value type and how the returned eax/edx become it.
template <class K>
struct ResultKind;

template <>
struct ResultKind<void> {
  using Value = void;
};
template <>
struct ResultKind<Text> {
  using Value = std::string;
  static Value Read(std::uint32_t eax, std::uint32_t) {
    const char* p = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(eax));
    return p ? std::string(p) : std::string();
  }
};
template <>
struct ResultKind<Int> {
  using Value = std::int32_t;
  static Value Read(std::uint32_t eax, std::uint32_t) { return static_cast<std::int32_t>(eax); }
};
template <>
struct ResultKind<Bool> {
  using Value = bool;
  static Value Read(std::uint32_t eax, std::uint32_t) { return eax != 0; }
};
template <>
struct ResultKind<I64> {
  using Value = std::int64_t;
  static Value Read(std::uint32_t eax, std::uint32_t edx) {
    return static_cast<std::int64_t>((std::uint64_t(edx) << 32) | eax);
  }
};

// Copies the text of a host heap block (a 32-bit length n, then n bytes, the
// text ending at the first NUL among them) and frees the block from the
// process heap; 0 gives the empty text and frees nothing.
std::string ReadHostTextBlock(std::uint32_t block);

template <>
struct ResultKind<BlockText> {
  using Value = std::string;
  static Value Read(std::uint32_t eax, std::uint32_t) { return ReadHostTextBlock(eax); }
};

// ---- Bindings and rows ---------------------------------------------------

class HostRowBase;

// Where a set of rows finds its functions and what it passes first.
class HostBinding {
 public:
  HostBinding() = default;
  HostBinding(const HostBinding&) = delete;
  HostBinding& operator=(const HostBinding&) = delete;
  virtual ~HostBinding() = default;

  // The address of `row`'s function, or null when it cannot be had (the row
  // then calls nothing). `kept` is the row's own slot for an address found
  // earlier; a binding that keeps addresses stores it there.
  virtual void* Address(const HostRowBase& row, void*& kept) = 0;
  // Rows that begin with Lead: whether they may run at all, and their words.
  virtual bool LeadReady() const { return true; }
  virtual void PushLead(WordList&) const {}
  // The kind letters of the lead words, for comparing declarations.
  virtual std::string_view LeadKinds() const { return {}; }

  // The rows declared on this binding, in declaration order.
  const HostRowBase* firstRow() const { return first_; }

 private:
  friend class HostRowBase;
  HostRowBase* first_ = nullptr;
  HostRowBase* last_ = nullptr;
};

// What a row declares, without its C++ types.
class HostRowBase {
 public:
  HostRowBase(const HostRowBase&) = delete;
  HostRowBase& operator=(const HostRowBase&) = delete;
  ~HostRowBase();

  const char* operation() const { return operation_; }
  // The host's exported name; null for a row this host does not have.
  const char* function() const { return function_; }
  bool declared() const { return function_ != nullptr; }
  // Every argument kind letter the host receives, lead words included.
  std::string kinds() const;
  const HostRowBase* next() const { return next_; }
  HostBinding& binding() const { return binding_; }

 protected:
  HostRowBase(HostBinding& binding, const char* operation, const char* function, const char* ownKinds,
              bool lead);

  // Finds the function and calls it; false (nothing called, or the stack was
  // unbalanced and reported) when there is no result to read.
  bool Run(const WordList& words, std::uint32_t& eax, std::uint32_t& edx);
  bool lead() const { return lead_; }

 private:
  HostBinding& binding_;
  const char* operation_;
  const char* function_;
  const char* ownKinds_;
  bool lead_;
  void* kept_ = nullptr;
  HostRowBase* next_ = nullptr;
};

template <class... K>
struct KindCodes {
  static constexpr char value[sizeof...(K) + 1] = {ArgKind<K>::code..., '\0'};
};

template <class Sig>
class HostRow;

template <class R, class... A>
class HostRowOf : public HostRowBase {
  static_assert((std::size_t{0} + ... + ArgKind<A>::words) + 4 <= kMaxHostWords,
                "more argument words than a host call carries");

 public:
  using Value = typename ResultKind<R>::Value;

  Value operator()(typename ArgKind<A>::Param... args) {
    WordList words;
    if (lead()) {
      if (!binding().LeadReady()) return Empty();
      binding().PushLead(words);
    }
    (ArgKind<A>::Push(words, args), ...);
    std::uint32_t eax = 0, edx = 0;
    if (!Run(words, eax, edx)) return Empty();
    if constexpr (!std::is_void_v<Value>) return ResultKind<R>::Read(eax, edx);
  }

 protected:
  HostRowOf(HostBinding& binding, const char* operation, const char* function, bool lead)
      : HostRowBase(binding, operation, function, KindCodes<A...>::value, lead) {}

 private:
  static Value Empty() {
    if constexpr (!std::is_void_v<Value>) return Value{};
  }
};

// A host function whose arguments are all the caller's.
template <class R, class... A>
class HostRow<R(A...)> : public HostRowOf<R, A...> {
 public:
  HostRow(HostBinding& binding, const char* operation, const char* function)
      : HostRowOf<R, A...>(binding, operation, function, false) {}
};

// A host function that receives the binding's lead words before the caller's.
template <class R, class... A>
class HostRow<R(Lead, A...)> : public HostRowOf<R, A...> {
 public:
  HostRow(HostBinding& binding, const char* operation, const char* function)
      : HostRowOf<R, A...>(binding, operation, function, true) {}
};

// ---- Bindings to API DLLs -------------------------------------------------

// An API DLL loaded by its name at the first call of one of its functions;
// every function address found is kept for the rest of the run. A DLL or
// function that cannot be found is looked for again at the next call.
class LibraryBinding : public HostBinding {
 public:
  explicit LibraryBinding(const char* libraryName) : libraryName_(libraryName) {}
  void* Address(const HostRowBase& row, void*& kept) override;

 private:
  const char* libraryName_;
  void* module_ = nullptr;
};

}  // namespace zoq::hosts
