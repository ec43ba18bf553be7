// Shared helpers of the JSON tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

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

}  // namespace zoq::json::test
