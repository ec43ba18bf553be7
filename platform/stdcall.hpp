// Calls a function that follows the stdcall convention with a run-time list
// of argument words, and tells whether the callee removed exactly the words
// it was given. A host function declared by its host with another number of
// arguments leaves the stack unbalanced; the caller restores the stack
// itself, so the process goes on and the mismatch can be reported.
//
// A word is 32 bits in the DLL the hosts load, where a 64-bit number or a
// double takes two words, low word first. The same code built for x86-64
// (the tests' build) passes words of 64 bits, which hold an address whole:
// there a 64-bit number or a double is one word, the first four words go in
// the registers (integer and floating alike) and the caller cleans the
// stack, so no count of removed bytes can be wrong.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace zoq::platform {

// One argument or result word of a host function: an address fits whole.
using HostWord = std::uintptr_t;
// The words a 64-bit number takes (2 with 32-bit words, else 1).
inline constexpr std::size_t kWordsPer64 = 8 / sizeof(HostWord);
// Whether a callee that removed another number of words than it was given
// can be told (the stdcall stack of 32-bit words; never with the x86-64
// convention, where the caller cleans the stack).
inline constexpr bool kStackChecked = sizeof(HostWord) == 4;

struct StdcallOutcome {
  HostWord low = 0;   // eax (rax)
  HostWord high = 0;  // edx with 32-bit words; 0 otherwise
  // Bytes the callee removed from the stack beyond (positive) or short of
  // (negative) the words it was given; 0 when the callee matches the call.
  std::int32_t stackSkew = 0;

  bool balanced() const { return stackSkew == 0; }
  std::uint64_t value64() const {
    if constexpr (kWordsPer64 == 2) return (std::uint64_t(high) << 32) | low;
    else return low;
  }
};

StdcallOutcome CallStdcall(const void* function, std::span<const HostWord> words);

inline StdcallOutcome CallStdcall(const void* function, std::initializer_list<HostWord> words) {
  return CallStdcall(function, std::span<const HostWord>(words.begin(), words.size()));
}

// The address as a word; and back.
inline HostWord WordOf(const void* p) { return reinterpret_cast<HostWord>(p); }
template <class T = void>
T* AtWord(HostWord w) {
  return reinterpret_cast<T*>(w);
}

}  // namespace zoq::platform
