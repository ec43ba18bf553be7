#include "text/text.hpp"

#include <algorithm>
#include <bit>
#include <limits>

namespace zoq::text {
namespace {

constexpr unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

// Without case, only single-byte ASCII letters fold: both bytes of a
// double-byte character compare exactly (its second byte may look like a
// letter).
ZOQ_HOT bool MatchAt(std::string_view hay, std::size_t pos, std::string_view needle, Case mode) {
  if (hay.size() - pos < needle.size()) return false;
  if (mode == Case::Sensitive) return hay.compare(pos, needle.size(), needle) == 0;
  for (std::size_t i = 0; i < needle.size();) {
    const unsigned char c = static_cast<unsigned char>(hay[pos + i]);
    if (IsLeadByte(c) && i + 1 < needle.size()) {
      if (hay[pos + i] != needle[i] || hay[pos + i + 1] != needle[i + 1]) return false;
      i += 2;
      continue;
    }
    if (Fold(c) != Fold(static_cast<unsigned char>(needle[i]))) return false;
    ++i;
  }
  return true;
}

// Full-width digit "０".."９" (A3 B0..A3 B9) at pos: its value, else -1.
int FullWidthDigit(std::string_view s, std::size_t pos) {
  if (pos + 1 < s.size() && static_cast<unsigned char>(s[pos]) == 0xA3) {
    const unsigned char t = static_cast<unsigned char>(s[pos + 1]);
    if (t >= 0xB0 && t <= 0xB9) return t - 0xB0;
  }
  return -1;
}

std::string Replace(std::string_view s, std::string_view from, std::string_view to, Case mode, bool all) {
  std::string out;
  if (from.empty()) return std::string(s);
  out.reserve(s.size());
  std::size_t done = 0;
  std::size_t pos = Find(s, from, 0, mode);
  while (pos != npos) {
    out.append(s.substr(done, pos - done));
    out.append(to);
    done = pos + from.size();
    if (!all) break;
    pos = Find(s, from, done, mode);
  }
  out.append(s.substr(done));
  return out;
}

std::uint64_t RotateLeft(std::uint64_t x, int by) { return (x << by) | (x >> (64 - by)); }

}  // namespace

ZOQ_HOT std::size_t Find(std::string_view hay, std::string_view needle, std::size_t from, Case mode) {
  if (needle.empty()) return npos;
  // A match begins with the needle's first byte (folded alike in either
  // mode: a lead byte is never a folded letter); only there is the rest
  // compared.
  const unsigned char first = Fold(static_cast<unsigned char>(needle[0]));
  for (std::size_t pos = from; pos < hay.size() && hay.size() - pos >= needle.size(); pos += CharLength(hay, pos)) {
    const unsigned char c = static_cast<unsigned char>(hay[pos]);
    if ((mode == Case::Sensitive ? c != static_cast<unsigned char>(needle[0]) : Fold(c) != first)) continue;
    if (MatchAt(hay, pos, needle, mode)) return pos;
  }
  return npos;
}

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to, Case mode) {
  return Replace(s, from, to, mode, true);
}

std::string LineBreaksAsN(std::string_view s, LineBreaks which) {
  std::string out;
  out.reserve(s.size());
  bool afterLoneLead = false;
  for (std::size_t i = 0; i < s.size();) {
    const bool crLf = s.substr(i, 2) == "\r\n";
    const bool lineBreak = crLf || (which == LineBreaks::Any && (s[i] == '\r' || s[i] == '\n'));
    const std::size_t length = crLf ? 2 : CharLength(s, i);
    out += lineBreak && !afterLoneLead ? "[N]" : s.substr(i, length);
    afterLoneLead = length == 1 && IsLeadByte(static_cast<unsigned char>(s[i]));
    i += length;
  }
  return out;
}

std::string ReplaceFirst(std::string_view s, std::string_view from, std::string_view to, Case mode) {
  return Replace(s, from, to, mode, false);
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && MatchAt(a, 0, b, Case::IgnoreAscii);
}

ZOQ_HOT bool StartsWith(std::string_view s, std::string_view prefix, Case mode) { return MatchAt(s, 0, prefix, mode); }

std::int64_t ReadWholeNumber(std::string_view s) {
  std::size_t pos = 0;
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t' || s[pos] == '\r' || s[pos] == '\n')) ++pos;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
    negative = s[pos] == '-';
    ++pos;
  }
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;
  bool saturated = false;
  for (;;) {
    int digit;
    std::size_t width;
    if (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
      digit = s[pos] - '0';
      width = 1;
    } else if ((digit = FullWidthDigit(s, pos)) >= 0) {
      width = 2;
    } else {
      break;
    }
    if (value > (kMax - digit) / 10) saturated = true;
    if (!saturated) value = value * 10 + digit;
    pos += width;
  }
  if (saturated) return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
  return negative ? -value : value;
}

std::int32_t ReadWholeNumber32(std::string_view s) {
  const std::int64_t v = ReadWholeNumber(s);
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

ZOQ_HOT bool ListHoldsNumber(std::string_view list, std::string_view number, Case mode) {
  if (number.empty()) return false;
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  for (std::size_t pos = Find(list, number, 0, mode); pos != npos;
       pos = Find(list, number, pos + CharLength(list, pos), mode)) {
    const bool before = pos > 0 && isDigit(list[pos - 1]);
    const std::size_t end = pos + number.size();
    const bool after = end < list.size() && isDigit(list[end]);
    if (!before && !after) return true;
  }
  return false;
}

std::string Decimal(std::int64_t value) { return std::to_string(value); }

int LongestUtf8Character(std::string_view bytes) {
  int longest = 0;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[pos]);
    // The length the lead byte gives, and the range of the byte after it
    // that keeps the character in its shortest form, below the surrogates
    // and within U+10FFFF.
    int length = 1;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else if (c >= 0x80) {
      return 0;
    }
    if (bytes.size() - pos < static_cast<std::size_t>(length)) return 0;
    for (int i = 1; i < length; ++i) {
      const unsigned char next = static_cast<unsigned char>(bytes[pos + i]);
      if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
    }
    longest = std::max(longest, length);
    pos += static_cast<std::size_t>(length);
  }
  return longest;
}

std::uint64_t SipHash24(const std::uint64_t key[2], std::string_view bytes) {
  std::uint64_t v0 = key[0] ^ 0x736f6d6570736575ull, v1 = key[1] ^ 0x646f72616e646f6dull;
  std::uint64_t v2 = key[0] ^ 0x6c7967656e657261ull, v3 = key[1] ^ 0x7465646279746573ull;
  const auto rounds = [&](int n) {
    for (int i = 0; i < n; ++i) {
      v0 += v1, v1 = RotateLeft(v1, 13), v1 ^= v0, v0 = RotateLeft(v0, 32);
      v2 += v3, v3 = RotateLeft(v3, 16), v3 ^= v2;
      v0 += v3, v3 = RotateLeft(v3, 21), v3 ^= v0;
      v2 += v1, v1 = RotateLeft(v1, 17), v1 ^= v2, v2 = RotateLeft(v2, 32);
    }
  };
  const auto take = [&](std::uint64_t m) { v3 ^= m, rounds(2), v0 ^= m; };
  const std::size_t whole = bytes.size() / 8 * 8;
  for (std::size_t at = 0; at < whole; at += 8) {
    std::uint64_t m = 0;
    for (int i = 0; i < 8; ++i) m |= std::uint64_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    take(m);
  }
  std::uint64_t last = std::uint64_t(bytes.size()) << 56;
  for (std::size_t i = whole; i < bytes.size(); ++i) {
    last |= std::uint64_t(static_cast<unsigned char>(bytes[i])) << (8 * (i - whole));
  }
  take(last);
  v2 ^= 0xff;
  rounds(4);
  return v0 ^ v1 ^ v2 ^ v3;
}

std::uint32_t HalfSipHash13(const std::uint32_t key[2], std::string_view bytes) {
  std::uint32_t v0 = key[0], v1 = key[1], v2 = key[0] ^ 0x6c796765u, v3 = key[1] ^ 0x74656462u;
  const auto round = [&] {
    v0 += v1, v1 = std::rotl(v1, 5), v1 ^= v0, v0 = std::rotl(v0, 16);
    v2 += v3, v3 = std::rotl(v3, 8), v3 ^= v2;
    v0 += v3, v3 = std::rotl(v3, 7), v3 ^= v0;
    v2 += v1, v1 = std::rotl(v1, 13), v1 ^= v2, v2 = std::rotl(v2, 16);
  };
  const auto take = [&](std::uint32_t m) { v3 ^= m, round(), v0 ^= m; };
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t whole = bytes.size() / 4 * 4;
  for (std::size_t at = 0; at < whole; at += 4) {
    take(std::uint32_t{p[at]} | std::uint32_t{p[at + 1]} << 8 | std::uint32_t{p[at + 2]} << 16 |
         std::uint32_t{p[at + 3]} << 24);
  }
  std::uint32_t last = static_cast<std::uint32_t>(bytes.size()) << 24;
  for (std::size_t i = whole; i < bytes.size(); ++i) last |= std::uint32_t{p[i]} << (8 * (i - whole));
  take(last);
  v2 ^= 0xff;
  round(), round(), round();
  return v1 ^ v3;
}

}  // namespace zoq::text
