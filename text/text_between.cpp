#include "text/text_between.hpp"

namespace zoq::text {
namespace {

std::string WorkingMarker(std::string_view marker) { return ReplaceAll(marker, "#引号", "\""); }

// The first character boundary at or after `from`.
std::size_t BoundaryFrom(std::string_view s, std::size_t from) {
  std::size_t at = 0;
  while (at < from && at < s.size()) at += CharLength(s, at);
  return at;
}

}  // namespace

std::string TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                        std::int32_t start, Case mode) {
  const std::string opening = WorkingMarker(startMarker);
  const std::string closing = WorkingMarker(endMarker);
  if (closing.empty()) return {};
  const std::size_t from = BoundaryFrom(text, start <= 1 ? 0 : static_cast<std::size_t>(start - 1));
  const std::size_t found = opening.empty() ? from : Find(text, opening, from, mode);
  if (found == npos) return {};
  const std::size_t p = found + opening.size();
  const std::size_t q = Find(text, closing, p, mode);
  if (q == npos) return {};
  return std::string(text.substr(p, q - p));
}

template <class U>
U LeadingNumberModulo(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  U value = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= '0' && c <= '9') {
      value = value * 10 + (c - '0');
      ++i;
    } else if (c == 0xA3 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0xB0 &&
               static_cast<unsigned char>(text[i + 1]) <= 0xB9) {  // a full-width digit
      value = value * 10 + (static_cast<unsigned char>(text[i + 1]) - 0xB0);
      i += 2;
    } else {
      break;
    }
  }
  return negative ? U(0) - value : value;
}
template std::uint32_t LeadingNumberModulo<std::uint32_t>(std::string_view);
template std::uint64_t LeadingNumberModulo<std::uint64_t>(std::string_view);

std::int32_t LeadingNumber32(std::string_view text) {
  return static_cast<std::int32_t>(LeadingNumberModulo<std::uint32_t>(text));
}

std::int32_t AllTextsBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                             std::vector<std::string>& pieces, const PieceOptions& o) {
  pieces.clear();
  if (startMarker.empty() || endMarker.empty()) return 0;
  std::size_t p = BoundaryFrom(text, o.start <= 1 ? 0 : static_cast<std::size_t>(o.start - 1));
  while (true) {
    const std::size_t found = Find(text, startMarker, p, o.mode);
    if (found == npos) break;
    p = found + startMarker.size();
    const std::size_t q = Find(text, endMarker, p, o.mode);
    if (q == npos) break;
    std::string piece = o.prefix + std::string(text.substr(p, q - p)) + o.suffix;
    if (o.keepStartMarker) piece = std::string(startMarker) + piece;
    if (o.keepEndMarker) piece += endMarker;
    if (o.maxLength == 0 || static_cast<std::int64_t>(piece.size()) < o.maxLength) pieces.push_back(std::move(piece));
  }
  return static_cast<std::int32_t>(pieces.size());
}

}  // namespace zoq::text
