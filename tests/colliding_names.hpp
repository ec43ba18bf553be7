// Names built to share a hash: what the keyed hashes of the project are
// tested against (portable: the native runs use it too).
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace zoq::testing {

// 4,096 names of 72 lower-case letters of one FNV-1a-32 hash (of their
// bytes, or of their UTF-16 units, which are the same for these letters):
// at each of 12 places one of two blocks of 6 letters whose hashes, from the
// hash of the letters before them, are one.
inline std::vector<std::string> NamesOfOneFnv1aHash() {
  const auto hash = [](std::uint32_t h, const std::string& letters) {
    for (const unsigned char c : letters) h = (h ^ c) * 16777619u;
    return h;
  };
  std::vector<std::string> names{""};
  std::uint32_t h = 2166136261u;
  for (int place = 0; place < 12; ++place) {
    // Blocks in turn until two meet (about 2^16 of them).
    std::unordered_map<std::uint32_t, std::string> seen;
    std::string pair[2];
    for (std::uint32_t n = 0; pair[0].empty(); ++n) {
      std::string block(6, 'a');
      for (std::uint32_t i = 0, v = n * 2654435761u + place; i < 6; ++i, v /= 26) block[i] = static_cast<char>('a' + v % 26);
      const auto [it, fresh] = seen.emplace(hash(h, block), block);
      if (!fresh && it->second != block) pair[0] = it->second, pair[1] = block;
    }
    h = hash(h, pair[0]);
    std::vector<std::string> longer;
    for (const std::string& name : names) longer.push_back(name + pair[0]), longer.push_back(name + pair[1]);
    names = std::move(longer);
  }
  return names;
}

}  // namespace zoq::testing
