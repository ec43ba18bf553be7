#include "hosts/call/text_between.hpp"

namespace zoq::hosts {
namespace {

std::string WorkingMarker(std::string_view marker) {
  static constexpr std::string_view kQuoteWord = "#引号";
  std::string out;
  for (std::size_t i = 0; i < marker.size();) {
    if (marker.substr(i, kQuoteWord.size()) == kQuoteWord) {
      out += '"';
      i += kQuoteWord.size();
    } else {
      out += marker[i++];
    }
  }
  return out;
}

char Fold(char c, bool ignoreCase) { return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool MatchesAt(std::string_view text, std::size_t at, std::string_view marker, bool ignoreCase) {
  if (text.size() - at < marker.size()) return false;
  for (std::size_t i = 0; i < marker.size(); ++i)
    if (Fold(text[at + i], ignoreCase) != Fold(marker[i], ignoreCase)) return false;
  return true;
}

// The 0-based place of the first match at or after `from`, trying only the
// places where a GBK character begins; npos when there is none.
std::size_t Find(std::string_view text, std::string_view marker, std::size_t from, bool ignoreCase) {
  std::size_t at = 0;
  while (at < text.size()) {
    const bool lead = static_cast<unsigned char>(text[at]) & 0x80;
    if (lead && at + 1 == text.size()) return std::string_view::npos;
    if (at >= from && MatchesAt(text, at, marker, ignoreCase)) return at;
    at += lead ? 2 : 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::string TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                        std::int32_t start, bool ignoreCase) {
  const std::string opening = WorkingMarker(startMarker);
  const std::string closing = WorkingMarker(endMarker);
  if (closing.empty()) return {};
  const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
  const std::size_t found = Find(text, opening, from, ignoreCase);
  if (found == std::string_view::npos) return {};
  const std::size_t p = found + opening.size();
  const std::size_t q = Find(text, closing, p, ignoreCase);
  if (q == std::string_view::npos) return {};
  return std::string(text.substr(p, q - p));
}

std::int32_t LeadingNumber32(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
  return static_cast<std::int32_t>(negative ? 0u - value : value);
}

}  // namespace zoq::hosts
