// The one path by which every adapter calls a host function.
//
// A host function is declared once, as one line of its adapter's rows file:
//
//   ZOQ_ROW(GetGroupCard, "Api_GetGroupCard", Text(Text, Text, Text))
//
// the adapter operation, the host's exported name and its signature written
// with the kind tags below. `hosts/call/rows.inc`, included in the adapter's
// class body, turns every line into a member operation and into an entry of
// the adapter's `Declarations()` list, which the conformance tests compare
// with the hosts' own lists.
//
// Calling an operation asks the adapter's binding for the function's address
// (by name, the way the host wants), turns the typed arguments into stdcall
// words, calls, checks the stack and turns the answer into the typed result.
// A function that cannot be found gives the empty result (empty text, 0,
// false, or the value an IntOr result names) and calls nothing; a binding of
// an API DLL reports it to the fault sink the first time. A function that
// removed another number of argument words than it was given is reported
// every time and also gives the empty result. The process goes on either
// way, and no exception leaves an operation: one raised on the way (a host
// answer too large to copy) gives the empty result too.
//
// Arguments convert as C++ converts them to the kind's parameter type (an
// int to a Double, a number to a Bool); trailing arguments declared Opt may
// be left out and then take their default.
//
// Out-variables are given as the address of the caller's variable:
//   ZOQ_ROW(取群成员列表, "取群成员列表", Int(Lead, I64, I64, Refill<HostArray<GroupMemberInfo>>))
//   hosts::HostArray<GroupMemberInfo> members;  api.取群成员列表(robot, group, &members);
// (Out<std::int32_t>, Out<std::int64_t>, Out<HostText>, Out<HostBytes>,
// Out<HostI64Array>, Out<HostArray<Layout>>, Out<a record type>; a left-out
// optional one is a zeroed variable of the call's own.)
#pragma once
#include <array>
#include <atomic>
#include <bit>
#include <deque>
#include <mutex>
#include <optional>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/stdcall.hpp"

namespace zoq::hosts {

// One word of a host function's arguments or result: 32 bits in the DLL the
// hosts load, 64 in the x86-64 build of the tests (platform/stdcall.hpp).
using Word = platform::HostWord;

// ---- Kinds of arguments and results -------------------------------------
// Each tag names how one value crosses to the host; `code` is the letter the
// declarations are compared by (the fake host DLLs' lists use the same ones).

struct Text {};         // address of NUL-terminated GBK bytes, never null
struct Int {};          // signed 32-bit number, one word
struct Bool {};         // one word, 1 or 0
struct I64 {};          // a 64-bit number: two 32-bit words, low word first (one 64-bit word)
struct Double {};       // an IEEE double, as I64
struct Bytes {};        // address of the bytes, null for an empty set; no length
struct BytesAddress {}; // address of the bytes, a valid one also when empty; no length
struct CountedBytes {}; // two words: address and length, 0 and 0 when empty
template <class T>
struct Out {};          // the address of a variable of the caller's that the host may read and write
template <class T>
struct Refill {};       // Out of an array variable that is emptied (its blocks freed) before the call
struct Callback {};     // the address of a subroutine of the plug-in, one word
struct Lead {};         // the words the binding puts first (auth id, key, ...)
// For hosts whose functions take the robot's id right after the lead words,
// depending on the host's edition (the binding's ProEdition()): the lead
// words, then the robot, which the operation takes as its first argument.
enum class RobotRule : char {
  Pair,      // two declarations: with the robot in the professional edition, without it otherwise
  ProOnly,   // one declaration, with the robot; outside the professional edition nothing is called
  Fallback,  // "...2" with the robot in the professional edition; otherwise the function without
             // the "2", without the robot
  Always,    // one declaration, with the robot, in every edition
};
template <RobotRule R>
struct RobotLead {};
using PairLead = RobotLead<RobotRule::Pair>;
using ProOnlyLead = RobotLead<RobotRule::ProOnly>;
using FallbackLead = RobotLead<RobotRule::Fallback>;
using RobotAlwaysLead = RobotLead<RobotRule::Always>;
struct BlockText {};    // result only: a heap block (32-bit length, bytes) the caller frees
template <std::int32_t EmptyValue>
struct IntOr {};        // result only: Int, but `EmptyValue` when the function cannot be called
struct WordResult {};   // result only: a whole word, an address (an Int where words are 32 bits)
template <class Record>
struct Indirect {};     // the address of a cell that holds the address of a record of the caller's

// A text default of an optional argument.
template <std::size_t N>
struct Str {
  char value[N]{};
  constexpr Str(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) value[i] = s[i];
  }
};

// An optional trailing argument of kind K: left out, it is `Default` (0,
// false, the empty text or a zeroed variable unless given).
template <class K, auto Default = 0>
struct Opt {};

// Up to this many words go to one host function.
inline constexpr std::size_t kMaxHostWords = 32;

struct WordList {
  std::array<Word, kMaxHostWords> words{};
  std::size_t count = 0;
  void Push(Word w) {
    if (count < words.size()) words[count++] = w;
  }
  // A 32-bit number, sign-extended to a wider word.
  void Push32(std::int32_t v) { Push(static_cast<Word>(static_cast<std::intptr_t>(v))); }
  void PushAddress(const void* p) { Push(platform::WordOf(p)); }
  void Push64(std::uint64_t v) {
    Push(static_cast<Word>(v));
    if constexpr (platform::kWordsPer64 == 2) Push(static_cast<Word>(v >> 32));
  }
  void Erase(std::size_t at) {
    if (at >= count) return;
    for (std::size_t i = at + 1; i < count; ++i) words[i - 1] = words[i];
    --count;
  }
};

// ---- Variables the host may fill ------------------------------------------
// Behind an Out argument lies a variable of the caller's; the host receives
// its address. What a host stores there (a text, a byte set, an array) is a
// block of the process heap that belongs to the variable's holder: the
// classes below are such holders, one word each (the word the host reads and
// writes), and free what they hold when they go. Out<std::int32_t> and
// Out<std::int64_t> are the plain numbers.

// Whatever a host stored is read within the block it allocated: the process
// heap knows the block's size, and an address that is no block of the
// process heap is read as nothing and never freed.

// The NUL-terminated text of the host's block at `address`, and freeing
// that block.
std::string HostTextAt(Word address);
void FreeHostBlock(Word address);

// A text variable: the address of a NUL-terminated text, or 0 for none.
class HostText {
 public:
  HostText() = default;
  ~HostText() { Free(); }
  HostText(const HostText&) = delete;
  HostText& operator=(const HostText&) = delete;
  std::string str() const;
  void Free();  // frees the text; the variable holds 0 again

 private:
  Word address_ = 0;
};

// A byte-set variable: the address of a block (word 1, 32-bit length, the
// bytes), or 0 for the empty byte set.
class HostBytes {
 public:
  HostBytes() = default;
  ~HostBytes() { Free(); }
  HostBytes(const HostBytes&) = delete;
  HostBytes& operator=(const HostBytes&) = delete;
  std::string bytes() const;
  void Free();
  // Frees what it holds and holds a new block of `bytes` (a block of length
  // 0 for none).
  void Hold(const std::string& bytes);

 private:
  Word address_ = 0;
};

// An array of 64-bit numbers: the address of a block (word 1, a count n,
// then n numbers). It always holds a block, the empty one at least.
class HostI64Array {
 public:
  explicit HostI64Array(const std::vector<std::int64_t>& values = {});
  ~HostI64Array();
  HostI64Array(const HostI64Array&) = delete;
  HostI64Array& operator=(const HostI64Array&) = delete;
  std::vector<std::int64_t> values() const;

 private:
  Word address_ = 0;
};

// Which members of a host record are blocks that go with it: texts (or byte
// sets) at byte offsets, and at most one array of blocks (a HostArray whose
// elements are texts or byte sets). A layout is a type with
//   static constexpr std::array<std::uint16_t, N> kTexts;  static constexpr int kBlockArray;  (-1: none)
// A record whose layout is the host's alone: only its block is freed.
struct OpaqueRecordLayout {
  static constexpr std::array<std::uint16_t, 0> kTexts{};
  static constexpr int kBlockArray = -1;
};

// Frees a HostArray block at `array`: every member block of each record as
// the layout names them, each record block, then the array block.
void FreeHostArray(Word array, const std::uint16_t* texts, std::size_t textCount, int blockArray);
// The element count of the HostArray block at `array`, no more than the
// block holds.
std::size_t HostArrayCount(Word array);
// The address of the i-th record block of the HostArray block at `array`.
Word HostArrayRecord(Word array, std::size_t i);
// A fresh empty HostArray block (1, 0): each variable its own, so that
// nothing a host frees is shared.
Word NewEmptyHostArray();

// The array through which the host hands over a list of records: the
// address of a block (word 1, a count n, then n addresses of record blocks).
// It always holds a block, the empty one at least, never 0; freeing it frees
// every record with the blocks its layout names.
template <class Layout = OpaqueRecordLayout>
class HostArray {
 public:
  HostArray() : address_(NewEmptyHostArray()) {}
  ~HostArray() { Release(); }
  HostArray(const HostArray&) = delete;
  HostArray& operator=(const HostArray&) = delete;
  // Frees everything held and holds a fresh empty array.
  void Clear() {
    Release();
    address_ = NewEmptyHostArray();
  }
  std::size_t size() const { return HostArrayCount(address_); }
  // The address of the i-th record block.
  Word record(std::size_t i) const { return HostArrayRecord(address_, i); }
  // The word the host reads and writes.
  Word address() const { return address_; }

 private:
  void Release() {
    FreeHostArray(address_, Layout::kTexts.data(), Layout::kTexts.size(), Layout::kBlockArray);
    address_ = 0;
  }
  Word address_;
};

// A record of the host's own layout that an operation hands over by the
// address of the caller's variable: zeroed room the host may fill; nothing
// in it is read or freed.
struct HostRecord {
  std::array<Word, 128> words{};
};

// The caller's variable behind an Out argument; without one (a null address
// or the argument left out) the host writes into a zeroed variable of the
// call's own, which frees what the host stored there when the call ends; so
// the host never receives a null address.
template <class T>
class OutArg {
 public:
  OutArg(T* variable = nullptr) : p_(variable) {  // NOLINT: converts from T*
    if (!p_) p_ = &own_.emplace();
  }
  OutArg(const OutArg&) = delete;
  OutArg& operator=(const OutArg&) = delete;
  void* address() const { return p_; }
  T& variable() const { return *p_; }

 private:
  std::optional<T> own_;
  T* p_;
};

// The kind letter of an out-variable: what the host finds at the address.
template <class T>
struct OutCode {
  static constexpr char code = 'r';  // a record
};
template <>
struct OutCode<std::int32_t> {
  static constexpr char code = 'p';
};
template <>
struct OutCode<std::int64_t> {
  static constexpr char code = 'q';
};
template <>
struct OutCode<HostText> {
  static constexpr char code = 's';
};
template <>
struct OutCode<HostBytes> {
  static constexpr char code = 'o';
};
template <>
struct OutCode<HostI64Array> {
  static constexpr char code = 'n';
};
template <class L>
struct OutCode<HostArray<L>> {
  static constexpr char code = 'h';
};

// The cell behind an Indirect argument: it and the record live until the
// host function has returned.
template <class Record>
class IndirectArg {
 public:
  IndirectArg(const Record& record) : cell_(&record) {}  // NOLINT: converts from the record
  IndirectArg(const IndirectArg&) = delete;
  IndirectArg& operator=(const IndirectArg&) = delete;
  const void* address() const { return &cell_; }

 private:
  const Record* cell_;
};

template <class K>
struct ArgKind;

template <>
struct ArgKind<Text> {
  using Param = const std::string&;
  static constexpr char code = 't';
  static void Push(WordList& w, Param v) { w.PushAddress(v.c_str()); }
};
template <>
struct ArgKind<Int> {
  using Param = std::int32_t;
  static constexpr char code = 'i';
  static void Push(WordList& w, Param v) { w.Push32(v); }
};
template <>
struct ArgKind<Bool> {
  using Param = bool;
  static constexpr char code = 'b';
  static void Push(WordList& w, Param v) { w.Push(v ? 1u : 0u); }
};
template <>
struct ArgKind<I64> {
  using Param = std::int64_t;
  static constexpr char code = 'l';
  static void Push(WordList& w, Param v) { w.Push64(static_cast<std::uint64_t>(v)); }
};
template <>
struct ArgKind<Double> {
  using Param = double;
  static constexpr char code = 'd';
  static void Push(WordList& w, Param v) { w.Push64(std::bit_cast<std::uint64_t>(v)); }
};
template <>
struct ArgKind<Bytes> {
  using Param = const std::string&;
  static constexpr char code = 'y';
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
  static void Push(WordList& w, Param v) {
    w.PushAddress(v.empty() ? nullptr : v.data());
    w.Push(static_cast<Word>(v.size()));
  }
};
template <class T>
struct ArgKind<Out<T>> {
  using Param = OutArg<T>;
  static constexpr char code = OutCode<T>::code;
  static void Push(WordList& w, const Param& v) { w.PushAddress(v.address()); }
};
// The list operations: the caller's array is emptied first, whether or not
// the host function is found.
template <class T>
struct ArgKind<Refill<T>> : ArgKind<Out<T>> {
  static void Push(WordList& w, const OutArg<T>& v) {
    v.variable().Clear();
    w.PushAddress(v.address());
  }
};
template <>
struct ArgKind<Callback> {
  using Param = std::uintptr_t;
  static constexpr char code = 'f';
  static void Push(WordList& w, Param v) { w.Push(static_cast<Word>(v)); }
};
template <class Record>
struct ArgKind<Indirect<Record>> {
  using Param = IndirectArg<Record>;
  static constexpr char code = 'e';
  static void Push(WordList& w, const Param& v) { w.PushAddress(v.address()); }
};
template <class K, auto Default>
struct ArgKind<Opt<K, Default>> : ArgKind<K> {
  static auto DefaultValue() {
    using Value = std::remove_cvref_t<typename ArgKind<K>::Param>;
    if constexpr (!std::is_same_v<Value, std::string>) return static_cast<Value>(Default);
    else if constexpr (std::is_integral_v<decltype(Default)>) return std::string();
    else return std::string(Default.value);
  }
};
// An optional Out argument left out: a zeroed variable of the call's own.
template <class T, auto Default>
struct ArgKind<Opt<Out<T>, Default>> : ArgKind<Out<T>> {
  static T* DefaultValue() { return nullptr; }
};
template <class T, auto Default>
struct ArgKind<Opt<Refill<T>, Default>> : ArgKind<Refill<T>> {
  static T* DefaultValue() { return nullptr; }
};

template <class K>
inline constexpr bool kIsOptional = false;
template <class K, auto D>
inline constexpr bool kIsOptional<Opt<K, D>> = true;

// Result kinds: the value type and how the returned eax/edx become it.
template <class K>
struct ResultKind;

template <>
struct ResultKind<void> {
  using Value = void;
  static constexpr char code = 'v';
};
// A text a host function returns, copied at once: up to its NUL, and no
// further than its block where it is a block of the process heap; 0 gives
// the empty text.
std::string ReturnedHostText(Word address);

template <>
struct ResultKind<Text> {
  using Value = std::string;
  static constexpr char code = 't';
  static Value Read(const platform::StdcallOutcome& r) { return ReturnedHostText(r.low); }
};
template <>
struct ResultKind<Int> {
  using Value = std::int32_t;
  static constexpr char code = 'i';
  static Value Read(const platform::StdcallOutcome& r) { return static_cast<std::int32_t>(r.low); }
};
template <>
struct ResultKind<Bool> {
  using Value = bool;
  static constexpr char code = 'b';
  static Value Read(const platform::StdcallOutcome& r) { return static_cast<std::uint32_t>(r.low) != 0; }
};
template <>
struct ResultKind<I64> {
  using Value = std::int64_t;
  static constexpr char code = 'l';
  static Value Read(const platform::StdcallOutcome& r) { return static_cast<std::int64_t>(r.value64()); }
};

template <>
struct ResultKind<WordResult> {
  using Value = Word;
  static constexpr char code = 'i';
  static Value Read(const platform::StdcallOutcome& r) { return r.low; }
};

template <std::int32_t EmptyValue>
struct ResultKind<IntOr<EmptyValue>> : ResultKind<Int> {
  static constexpr std::int32_t kEmpty = EmptyValue;
};

// Copies the text of a host heap block (a 32-bit length n, then n bytes, the
// text ending at the first NUL among them, no further than the block) and
// frees the block from the process heap; 0 gives the empty text and frees
// nothing.
std::string ReadHostText(Word block);

template <>
struct ResultKind<BlockText> {
  using Value = std::string;
  static constexpr char code = 'x';
  static Value Read(const platform::StdcallOutcome& r) { return ReadHostText(r.low); }
};

// ---- The call ------------------------------------------------------------

// What went wrong on the way to a host function: it left the stack
// unbalanced, or its API DLL or the function itself cannot be found.
struct HostFault {
  enum Kind { StackImbalance, MissingFunction } kind;
  std::string_view library = {};   // the API DLL's file name (MissingFunction)
  std::string_view function = {};  // the function's exported name (MissingFunction)
};
// Who hears of host faults (the plug-in core's runtime-error report);
// nobody until it is set.
using FaultSink = void (*)(const HostFault& fault);
void SetFaultSink(FaultSink sink);
void ReportFault(const HostFault& fault);

// A binding's record of the functions it could not find: each is reported
// once, at the first call that misses it.
class MissingFunctions {
 public:
  MissingFunctions() = default;
  MissingFunctions(const MissingFunctions&) {}
  MissingFunctions& operator=(const MissingFunctions&) { return *this; }
  void Report(std::string_view library, const char* function);

 private:
  std::mutex lock_;  // several threads may miss at once; the report is made outside it
  std::vector<std::string> reported_;
};

// `body`'s result, or `fallback` when it throws: what an adapter's own
// operations wrap their reading of host answers in.
template <class T, class F>
T NoThrow(T fallback, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

// Calls `function` with `words`; false (and the sink told) when the callee
// removed another number of words than it was given.
bool CallHost(void* function, const WordList& words, platform::StdcallOutcome& out);

// What a row declares, without its C++ types: for the conformance lists.
struct RowDeclaration {
  std::string operation;
  std::string function;  // the host's exported name
  std::string kinds;     // argument kind letters, lead words included
  char result;           // result kind letter
  // The host edition that has this declaration: empty for every edition,
  // else kProEdition or kBasicEdition (rows with a robot lead).
  std::string edition = {};
};
inline constexpr const char* kProEdition = "pro";
inline constexpr const char* kBasicEdition = "basic";

// How a row's lead is handled: none, the binding's words, or those and the
// robot's id by a rule.
template <class L>
struct LeadForm {
  static constexpr bool kLead = false, kRobot = false;
};
template <>
struct LeadForm<Lead> {
  static constexpr bool kLead = true, kRobot = false;
};
template <RobotRule R>
struct LeadForm<RobotLead<R>> {
  static constexpr bool kLead = true, kRobot = true;
  static constexpr RobotRule rule = R;
};

// A Fallback row's function outside the professional edition: the name
// without its final "2".
inline std::string WithoutFinalTwo(const char* function) {
  std::string name(function);
  if (!name.empty() && name.back() == '2') name.pop_back();
  return name;
}

// L: the lead form (void for none); with a robot lead the first of A is the
// robot's Text.
template <class L, class R, class... A>
struct RowOf {
  using Value = typename ResultKind<R>::Value;
  using Form = LeadForm<L>;
  static constexpr bool kLead = Form::kLead;
  static constexpr std::size_t kRequired = (std::size_t{0} + ... + (kIsOptional<A> ? 0 : 1));
  // The caller's argument kind letters (the lead's come from the binding).
  static constexpr char kKinds[sizeof...(A) + 1] = {ArgKind<A>::code..., '\0'};
  static constexpr char kResult = ResultKind<R>::code;

  // Looks the function up through `binding` (`slot` is the row's place for
  // an address the binding keeps) and calls it with `given`, the defaults of
  // the optional arguments left out after them.
  template <class Binding, class... G>
  static Value Call(Binding& binding, std::size_t slot, const char* function, G&&... given) noexcept {
    static_assert(sizeof...(G) >= kRequired && sizeof...(G) <= sizeof...(A),
                  "a host operation called with a number of arguments its row does not declare");
    try {
      return Fill(std::make_index_sequence<sizeof...(A) - sizeof...(G)>(), binding, slot, function,
                  std::forward<G>(given)...);
    } catch (...) {
      return Empty();
    }
  }

 private:
  using Kinds = std::tuple<A...>;

  template <std::size_t... I, class Binding, class... G>
  static Value Fill(std::index_sequence<I...>, Binding& binding, std::size_t slot, const char* function,
                    G&&... given) {
    return Typed(binding, slot, function, std::forward<G>(given)...,
                 ArgKind<std::tuple_element_t<sizeof...(G) + I, Kinds>>::DefaultValue()...);
  }

  // Every argument in its kind's parameter type: converted temporaries live
  // until the host function has returned.
  template <class Binding>
  static Value Typed(Binding& binding, std::size_t slot, const char* function, typename ArgKind<A>::Param... args) {
    WordList words;
    if constexpr (Form::kLead) {
      if (!binding.LeadReady()) return Empty();
      binding.PushLead(words);
    }
    const std::size_t robotAt = words.count;
    bool dropRobot = false;
    std::string shortName;
    if constexpr (Form::kRobot) {
      const bool pro = binding.ProEdition();
      if (Form::rule == RobotRule::ProOnly && !pro) return Empty();
      dropRobot = Form::rule != RobotRule::Always && !pro;
      if (Form::rule == RobotRule::Fallback && !pro && function) {
        shortName = WithoutFinalTwo(function);
        function = shortName.c_str();
      }
    }
    (ArgKind<A>::Push(words, args), ...);
    if (dropRobot) words.Erase(robotAt);
    void* fn = function ? binding.Address(slot, function) : nullptr;
    platform::StdcallOutcome out;
    if (!fn || !CallHost(fn, words, out)) return Empty();
    if constexpr (!std::is_void_v<Value>) return ResultKind<R>::Read(out);
  }

  static Value Empty() {
    if constexpr (requires { ResultKind<R>::kEmpty; }) return ResultKind<R>::kEmpty;
    else if constexpr (!std::is_void_v<Value>) return Value{};
  }
};

// A row's signature: R(A...) with the caller's arguments, R(Lead, A...)
// for a host function that receives the binding's lead words first, or
// R(RobotLead<rule>, A...) for one that receives them and then, by the
// rule, the robot's id (the operation's first argument).
template <class Sig>
struct Row;
template <class R, class... A>
struct Row<R(A...)> : RowOf<void, R, A...> {};
template <class R, class... A>
struct Row<R(Lead, A...)> : RowOf<Lead, R, A...> {};
template <RobotRule Rule, class R, class... A>
struct Row<R(RobotLead<Rule>, A...)> : RowOf<RobotLead<Rule>, R, Text, A...> {};

// ---- Bindings ------------------------------------------------------------
// A binding gives a row its function's address and the lead words:
//   void* Address(std::size_t slot, const char* function);
//   bool LeadReady() const;  void PushLead(WordList&) const;
//   static constexpr std::string_view kLeadKinds;  (letters of the lead words)
// and, for rows with a robot lead, bool ProEdition() const. A Fallback row
// asks for two names under one slot.
// Hosts call the plug-in on several threads at once: what a binding keeps
// is read and filled by any of them (a host function is never called with
// one of its locks held).

// A value a host's start sets and every call reads: the newest one is read,
// and one that was set stays where it is for as long as the binding lives
// (a call on another thread may still point into it). Setting the value it
// holds already keeps nothing more.
template <class T>
class KeptValue {
 public:
  KeptValue() = default;
  KeptValue(const KeptValue& other) { set(other.get()); }
  KeptValue& operator=(const KeptValue& other) {
    if (this != &other) set(other.get());
    return *this;
  }
  const T& get() const { return *current_.load(std::memory_order_acquire); }
  void set(const T& value) {
    std::lock_guard<std::mutex> hold(lock_);
    if (*current_.load() == value) return;
    values_.push_back(value);
    current_.store(&values_.back(), std::memory_order_release);
  }

 private:
  std::mutex lock_;
  std::deque<T> values_{T{}};
  std::atomic<const T*> current_{&values_.front()};
};

// Addresses found once are kept, one slot per row.
class AddressCache {
 public:
  AddressCache() = default;
  AddressCache(const AddressCache& other) : kept_(other.Copy()) {}
  AddressCache& operator=(const AddressCache& other) {
    std::vector<void*> copy = other.Copy();
    std::lock_guard<std::mutex> hold(lock_);
    kept_ = std::move(copy);
    return *this;
  }
  void* Get(std::size_t slot) const {
    std::lock_guard<std::mutex> hold(lock_);
    return slot < kept_.size() ? kept_[slot] : nullptr;
  }
  void Set(std::size_t slot, void* address) {
    std::lock_guard<std::mutex> hold(lock_);
    if (slot >= kept_.size()) kept_.resize(slot + 1);
    kept_[slot] = address;
  }

 private:
  std::vector<void*> Copy() const {
    std::lock_guard<std::mutex> hold(lock_);
    return kept_;
  }
  mutable std::mutex lock_;
  std::vector<void*> kept_;
};

// The module a binding calls into: the first one found, held by a
// reference of the binding's own (shared with its copies) for as long as
// the binding keeps addresses in it.
class KeptModule {
 public:
  KeptModule() = default;
  KeptModule(const KeptModule& other) : module_(other.Shared()) {}
  KeptModule& operator=(const KeptModule&) = delete;
  // The module kept, else the one `find` gives (a reference, or null for
  // none), looked for without the lock: a module's start runs code of its
  // own. The first found is kept; a later finder's reference goes, outside
  // the lock.
  template <class Find>
  void* Get(Find&& find) {
    if (void* kept = Shared().get()) return kept;
    std::shared_ptr<void> found = find();
    std::lock_guard<std::mutex> hold(lock_);
    if (!module_) module_ = std::move(found);
    return module_.get();
  }

 private:
  std::shared_ptr<void> Shared() const {
    std::lock_guard<std::mutex> hold(lock_);
    return module_;
  }
  mutable std::mutex lock_;
  std::shared_ptr<void> module_;
};

// The host API DLL `name`, with a reference: the module the host process
// has loaded already, else the DLL of that name in the host executable's
// folder; never one found along the general DLL search path, where a
// planted DLL could win. Null when there is none.
std::shared_ptr<void> ApiModule(const std::string& name);

// An API DLL found at the first call of one of its functions (ApiModule)
// and kept with the binding. Every function address found is kept for the
// rest of the run; a DLL or function that cannot be found is reported once
// and looked for again at the next call.
class LibraryBinding {
 public:
  explicit LibraryBinding(const char* libraryName) : libraryName_(libraryName) {}
  void* Address(std::size_t slot, const char* function);
  bool LeadReady() const { return true; }
  void PushLead(WordList&) const {}
  static constexpr std::string_view kLeadKinds{};

 private:
  const char* libraryName_;
  // Addresses are kept only once the module is: a copy takes the addresses
  // first, then the module they lie in.
  AddressCache cache_;
  KeptModule module_;
  MissingFunctions missing_;
};

// The declarations of one adapter's rows, in rows-file order (rows without
// a host function left out).
using RowDeclarations = std::vector<RowDeclaration>;

// A row with a robot lead declares what each edition of the host has.
template <class Sig, class Binding>
void Declare(RowDeclarations& list, const char* operation, const char* function) {
  if (!function) return;
  using R = Row<Sig>;
  const std::string lead = R::kLead ? std::string(Binding::kLeadKinds) : std::string();
  const std::string kinds = lead + R::kKinds;
  if constexpr (!R::Form::kRobot) {
    list.push_back({operation, function, kinds, R::kResult});
  } else {
    const std::string withoutRobot = lead + (R::kKinds + 1);
    switch (R::Form::rule) {
      case RobotRule::Always: list.push_back({operation, function, kinds, R::kResult}); break;
      case RobotRule::ProOnly: list.push_back({operation, function, kinds, R::kResult, kProEdition}); break;
      case RobotRule::Pair:
        list.push_back({operation, function, kinds, R::kResult, kProEdition});
        list.push_back({operation, function, withoutRobot, R::kResult, kBasicEdition});
        break;
      case RobotRule::Fallback:
        list.push_back({operation, function, kinds, R::kResult, kProEdition});
        list.push_back({operation, WithoutFinalTwo(function), withoutRobot, R::kResult, kBasicEdition});
        break;
    }
  }
}

}  // namespace zoq::hosts
