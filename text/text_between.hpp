// Cutting a value out of a text between two markers, without parsing it:
// the lookups in the function-table host's API table, the reply variables
// and the field readers of the WeChat-style host's answers.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

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
// optional sign), taken modulo 2 to the power 32; 0 when there is none.
std::int32_t LeadingNumber32(std::string_view text);

}  // namespace zoq::text
