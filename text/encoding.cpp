#include "text/encoding.hpp"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace zoq::encoding {
namespace {

// One libiconv converter, opened once and used for as many pieces as a
// conversion has. `skipWidth` 0: any invalid input fails a piece; otherwise
// invalid input is skipped that many bytes at a time. Input ending inside a
// character always fails the piece.
class Converter {
 public:
  Converter(const char* to, const char* from, std::size_t skipWidth)
      : cd_(iconv_open(to, from)), skipWidth_(skipWidth) {}
  ~Converter() {
    if (ready()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // The whole of `in` converted, from the converter's initial state.
  std::string Run(const char* data, std::size_t size) {
    if (size == 0 || !ready()) return {};
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    std::string out(size * 2 + 16, '\0');
    const char* inPtr = data;
    std::size_t inLeft = size;
    std::size_t written = 0;
    for (;;) {
      char* outPtr = out.data() + written;
      std::size_t outLeft = out.size() - written;
      const std::size_t r = inLeft ? iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft)
                                   : iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);  // flush
      const int error = errno;
      written = static_cast<std::size_t>(outPtr - out.data());
      if (r != static_cast<std::size_t>(-1)) {
        if (inLeft == 0) break;
        continue;
      }
      if (error == E2BIG) {
        out.resize(out.size() * 2);
      } else if (error == EILSEQ && skipWidth_ != 0) {
        const std::size_t step = inLeft < skipWidth_ ? inLeft : skipWidth_;
        inPtr += step;
        inLeft -= step;
      } else {
        return {};
      }
    }
    out.resize(written);
    return out;
  }
  std::string Run(const std::string& in) { return Run(in.data(), in.size()); }

 private:
  bool ready() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t cd_;
  std::size_t skipWidth_;
};

using Units = std::vector<std::uint16_t>;

Units ToUnits(const std::string& be) {
  Units units;
  units.reserve(be.size() / 2);
  for (std::size_t i = 0; i + 1 < be.size(); i += 2) {
    units.push_back(static_cast<std::uint16_t>((static_cast<unsigned char>(be[i]) << 8) |
                                               static_cast<unsigned char>(be[i + 1])));
  }
  return units;
}

std::string FromUnits(const std::uint16_t* units, std::size_t count) {
  std::string be;
  be.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    be.push_back(static_cast<char>(units[i] >> 8));
    be.push_back(static_cast<char>(units[i] & 0xFF));
  }
  return be;
}

constexpr bool IsSurrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDFFF; }
constexpr bool IsHighSurrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool IsLowSurrogate(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

int HexValue(std::uint16_t u) {
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

// The value of four hexadecimal digit units, or -1 when one is no digit.
long HexUnitsValue(const Units& units, std::size_t at) {
  long value = 0;
  for (std::size_t i = at; i < at + 4; ++i) {
    const int digit = HexValue(units[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

std::string EscapeOf(std::uint16_t u) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s = "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) s.push_back(kDigits[(u >> shift) & 0xF]);
  return s;
}

// Appends the UTF-8 of `count` units, each piece converted on its own with
// one converter. A surrogate pair written plainly is converted together, so
// a character beyond U+FFFF keeps its bytes.
class Utf8Writer {
 public:
  explicit Utf8Writer(std::size_t capacity) { out_.reserve(capacity); }
  void Units(const std::uint16_t* units, std::size_t count) { out_ += toUtf8_.Run(FromUnits(units, count)); }
  void Unit(std::uint16_t u) { Units(&u, 1); }
  std::string Take() { return std::move(out_); }

 private:
  Converter toUtf8_{"UTF-8", "UTF-16BE", 0};
  std::string out_;
};

}  // namespace

std::string Gb18030ToUtf16be(const std::string& text) { return Converter("UTF-16BE//IGNORE", "GB18030", 1).Run(text); }
std::string Utf16beToGb18030(const std::string& units) {
  return Converter("GB18030//IGNORE", "UTF-16BE", 2).Run(units);
}
std::string Utf16beToUtf8(const std::string& units) { return Converter("UTF-8", "UTF-16BE", 0).Run(units); }
std::string Utf8ToUtf16be(const std::string& bytes) { return Converter("UTF-16BE", "UTF-8", 0).Run(bytes); }

std::string UnescapeToUtf8(const std::string& text) {
  const Units u = ToUnits(Gb18030ToUtf16be(text));
  const std::size_t n = u.size();
  Utf8Writer out(n * 6);
  const std::uint16_t kBackslash = '\\';
  auto rest = [&](std::size_t from) {  // "\u" and every unit from `from` on, as text
    const std::uint16_t opener[2] = {kBackslash, 'u'};
    out.Units(opener, 2);
    if (from < n) out.Units(&u[from], n - from);
  };
  std::size_t p = 0;
  while (p < n) {
    const std::uint16_t c = u[p++];
    if (IsHighSurrogate(c) && p < n && IsLowSurrogate(u[p])) {  // a plain character beyond U+FFFF
      out.Units(&u[p - 1], 2);
      ++p;
      continue;
    }
    if (c != kBackslash || p == n) {
      out.Unit(c);
      continue;
    }
    const std::uint16_t d = u[p++];
    if (d != 'u' || p == n) {
      const std::uint16_t pair[2] = {c, d};
      out.Units(pair, 2);
      continue;
    }
    if (n - p < 4) {
      rest(p);
      break;
    }
    const long v = HexUnitsValue(u, p);
    if (v <= 0) {
      // No escape ("\u" and four units that are not all digits, or
      // "\u0000"): the six units are kept as text.
      const std::uint16_t opener[2] = {kBackslash, 'u'};
      out.Units(opener, 2);
      continue;
    }
    if (!IsSurrogate(static_cast<std::uint32_t>(v))) {
      out.Unit(static_cast<std::uint16_t>(v));
      p += 4;
      continue;
    }
    if (n - p < 6) {
      rest(p);
      break;
    }
    if (u[p + 4] != kBackslash || u[p + 5] != 'u') {
      p += 4;  // a lone half: nothing for it
      continue;
    }
    if (n - p < 10) {
      rest(p);
      break;
    }
    const long w = HexUnitsValue(u, p + 6);
    if (w < 0 || !IsLowSurrogate(static_cast<std::uint32_t>(w))) {
      p += 4;
      continue;
    }
    if (IsHighSurrogate(static_cast<std::uint32_t>(v))) {
      const std::uint16_t pair[2] = {static_cast<std::uint16_t>(v), static_cast<std::uint16_t>(w)};
      out.Units(pair, 2);
    }
    p += 10;
  }
  return out.Take();
}

std::string DecodeWebText(const std::string& bytes, bool escapeSyntax) {
  const Units u = ToUnits(Utf8ToUtf16be(bytes));
  Converter toGb("GB18030//IGNORE", "UTF-16BE", 2);
  std::string out;
  out.reserve(u.size() * 6);
  for (std::size_t i = 0; i < u.size(); ++i) {
    const std::uint16_t unit = u[i];
    if (IsSurrogate(unit)) {
      out += EscapeOf(unit);
      if (i + 1 < u.size()) out += EscapeOf(u[++i]);
      continue;
    }
    if (unit == 0) break;
    if (unit == 1) {
      out += ' ';
      continue;
    }
    const std::string g = toGb.Run(FromUnits(&unit, 1));
    if (g.empty() || g == "??" || g.size() > 2) {
      out += EscapeOf(unit);
    } else if (escapeSyntax && g == "\\") {
      out += "\\u005c";
    } else if (escapeSyntax && g == "[") {
      out += "\\u005b";
    } else if (escapeSyntax && g == "]") {
      out += "\\u005d";
    } else {
      out += g;
    }
  }
  return out;
}

}  // namespace zoq::encoding
