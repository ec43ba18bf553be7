// The reply variables' random numbers: a linear congruential generator,
// reseeded from the millisecond tick count before every draw.
#pragma once
#include <cstdint>

namespace zoq {

class RandomSource {
 public:
  // seed := ticks + offset; offset := offset + (seed mod 256) + 100.
  void Reseed(std::uint32_t ticks);
  // state := state * 214013 + 2531011; yields (state >> 16) & 0x7FFF.
  std::int32_t Draw();
  // A negative bound counts as 0; equal bounds give that bound without a
  // draw; otherwise lo + draw mod (hi - lo + 1).
  std::int32_t Between(std::int32_t a, std::int32_t b);

  std::uint32_t state() const { return state_; }
  std::uint32_t offset() const { return offset_; }

 private:
  std::uint32_t state_ = 0;
  std::uint32_t offset_ = 0;
};

}  // namespace zoq
