#include "core/random.hpp"

#include <algorithm>

namespace zoq {

void RandomSource::Reseed(std::uint32_t ticks) {
  const std::uint32_t seed = ticks + offset_;
  offset_ += seed % 256u + 100u;
  state_ = seed;
}

std::int32_t RandomSource::Draw() {
  state_ = state_ * 214013u + 2531011u;
  return static_cast<std::int32_t>((state_ >> 16) & 0x7FFFu);
}

std::int32_t RandomSource::Between(std::int32_t a, std::int32_t b) {
  a = std::max(a, 0);
  b = std::max(b, 0);
  const std::int32_t lo = std::min(a, b);
  const std::int32_t hi = std::max(a, b);
  if (lo == hi) return lo;
  const std::uint32_t span = static_cast<std::uint32_t>(hi) - static_cast<std::uint32_t>(lo) + 1u;
  return lo + static_cast<std::int32_t>(static_cast<std::uint32_t>(Draw()) % span);
}

}  // namespace zoq
