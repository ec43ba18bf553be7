// Cutting a value out of a text between two markers, without parsing it:
// the lookups in the function-table host's API table, the reply variables
// and the field readers of the WeChat-style host's answers.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.hpp"

namespace zoq::text {

// The bytes between the first occurrence of `startMarker` at or after the
// 1-based byte position `start` (1 or less: the first byte) and the next
// occurrence of `endMarker`; empty when either is not found or the end marker
// is empty. An empty start marker stands at the start position. "#引号" in a
// marker stands for a double quote. Matches begin only where a GBK character
// begins; with Case::IgnoreAscii ASCII letters match in either case.
std::string TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                        std::int32_t start = 1, Case mode = Case::Sensitive);

// The leading decimal number of `text` (white space before it skipped, an
// optional sign; full-width GBK digits count as digits), taken modulo 2 to
// the power 32; 0 when there is none.
std::int32_t LeadingNumber32(std::string_view text);
// The same taken modulo 2 to the power of U's bits (U: std::uint32_t or
// std::uint64_t), as U.
template <class U>
U LeadingNumberModulo(std::string_view text);

// Every piece of `text` between an occurrence of `startMarker` and the next
// `endMarker` after it, in order; the search for the next start goes on right
// after the previous start marker, so pieces may overlap. Each piece becomes
// prefix + piece + suffix, then keeps its markers when asked, and is kept
// when `maxLength` is 0 or its length is below `maxLength`. `pieces` is
// emptied first; returns how many it holds. Markers are taken literally; an
// empty marker finds nothing. `start`: the 1-based byte position to begin at.
struct PieceOptions {
  Case mode = Case::Sensitive;
  std::int32_t maxLength = 0;
  std::string prefix;
  std::string suffix;
  bool keepStartMarker = false;
  bool keepEndMarker = false;
  std::int32_t start = 0;
};
std::int32_t AllTextsBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                             std::vector<std::string>& pieces, const PieceOptions& options = {});

}  // namespace zoq::text
