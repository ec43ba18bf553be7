// Shared helpers of the JSON tests.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

#include "json/document.hpp"

namespace zoq::json::test {

inline ByteSet W(std::u16string_view s) { return ToByteSet(s); }
inline std::u16string U(const ByteSet& b) { return FromByteSet(b); }
inline std::string Gbk(std::u16string_view s) { return seam::Utf16ToGbk(s); }

inline JsonDocument Doc(const std::string& text) {
  JsonDocument d;
  EXPECT_TRUE(d.Load(text)) << text;
  return d;
}

struct ParseOutcome {
  int32_t code;
  int32_t pos;
  std::string text;  // compact text of the root after the parse
};

inline ParseOutcome ParseText(const std::string& text, std::optional<int32_t> flags = std::nullopt) {
  JsonDocument d;
  int32_t code = 99, pos = 99;
  d.Load(text, flags, &code, &pos);
  return {code, pos, d.ToText()};
}

// Random operation sequences on a JsonDocument and a document of another
// class: `step`(plain, other, rng) runs one operation on both and answers
// the two results as texts; results and the texts of the trees must agree
// after every step.
template <class Other, class Step>
void ExpectAgreement(uint32_t seed, Step step) {
  std::mt19937 rng(seed);
  for (int run = 0; run < 20; ++run) {
    JsonDocument plain;
    Other other;
    plain.LoadNew();
    other.LoadNew();
    for (int k = 0; k < 200; ++k) {
      const auto [a, b] = step(plain, other, rng);
      ASSERT_EQ(a, b) << "run " << run << " step " << k;
      ASSERT_EQ(plain.ToText(), other.ToText()) << "run " << run << " step " << k;
    }
  }
}

template <class List>
auto Pick(std::mt19937& rng, const List& list) {
  return list[rng() % std::size(list)];
}

}  // namespace zoq::json::test
