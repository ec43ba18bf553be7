// Calls a function that follows the stdcall convention with a run-time list
// of 32-bit argument words, and tells whether the callee removed exactly the
// words it was given. A host function declared by its host with another
// number of arguments leaves the stack unbalanced; the caller restores the
// stack itself, so the process goes on and the mismatch can be reported.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace zoq::platform {

struct StdcallOutcome {
  std::uint32_t eax = 0;
  std::uint32_t edx = 0;
  // Bytes the callee removed from the stack beyond (positive) or short of
  // (negative) the words it was given; 0 when the callee matches the call.
  std::int32_t stackSkew = 0;

  bool balanced() const { return stackSkew == 0; }
  std::uint64_t value64() const { return (std::uint64_t(edx) << 32) | eax; }
};

StdcallOutcome CallStdcall(const void* function, std::span<const std::uint32_t> words);

inline StdcallOutcome CallStdcall(const void* function, std::initializer_list<std::uint32_t> words) {
  return CallStdcall(function, std::span<const std::uint32_t>(words.begin(), words.size()));
}

}  // namespace zoq::platform
