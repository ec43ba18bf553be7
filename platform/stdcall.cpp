#include "platform/stdcall.hpp"

// In stdcall_<processor>.S: pushes the words, calls, restores the stack.
extern "C" std::uint64_t zoq_call_stdcall(const void* fn, const zoq::platform::HostWord* words, std::uint32_t count,
                                          std::int32_t* skew);

namespace zoq::platform {

ZOQ_HOT StdcallOutcome CallStdcall(const void* function, std::span<const HostWord> words) {
  StdcallOutcome out;
  std::int32_t skew = 0;
  const std::uint64_t r = zoq_call_stdcall(function, words.data(), static_cast<std::uint32_t>(words.size()), &skew);
  out.low = static_cast<HostWord>(r);
  if constexpr (kWordsPer64 == 2) out.high = static_cast<HostWord>(r >> 32);
  out.stackSkew = skew;
  return out;
}

}  // namespace zoq::platform
