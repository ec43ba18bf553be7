#include "platform/stdcall.hpp"

extern "C" std::uint64_t zoq_call_stdcall(const void* fn, const std::uint32_t* words, std::uint32_t count,
                                          std::int32_t* skew);

namespace zoq::platform {

ZOQ_HOT StdcallOutcome CallStdcall(const void* function, std::span<const std::uint32_t> words) {
  StdcallOutcome out;
  std::int32_t skew = 0;
  const std::uint64_t r = zoq_call_stdcall(function, words.data(), static_cast<std::uint32_t>(words.size()), &skew);
  out.eax = static_cast<std::uint32_t>(r);
  out.edx = static_cast<std::uint32_t>(r >> 32);
  out.stackSkew = skew;
  return out;
}

}  // namespace zoq::platform
