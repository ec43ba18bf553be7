#include "hosts/dll/myqq/myqq_text.hpp"

#include <cctype>
#include <limits>

#include "platform/script_control.hpp"
#include "text/text.hpp"

namespace zoq::myqq {
namespace {

bool HexDigits(const std::string& s, std::size_t at, std::size_t n) {
  if (at + n > s.size()) return false;
  for (std::size_t i = at; i < at + n; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
  return true;
}

unsigned Hex(const std::string& s, std::size_t at, std::size_t n) {
  return static_cast<unsigned>(std::stoul(s.substr(at, n), nullptr, 16));
}

// Characters that must stay escaped for the text to stay JSON.
bool KeepsEscape(unsigned unit) { return unit == '"' || unit == '\\' || unit < 0x20 || unit == 0x2028 || unit == 0x2029; }

// As WideCharToMultiByte gives them: a character GBK cannot hold is "?".
std::string Gbk(const std::wstring& units) { return platform::WideToGbk(units); }

// One escape at `at` ("\uXXXX", "%uXXXX" or "%XX"): its length and the text
// it gives, or 0 when it is no escape to decode there.
std::size_t Escape(const std::string& s, std::size_t at, bool backslash, bool percent, std::string& out) {
  std::size_t digits = 0, skip = 0;
  if (backslash && s.compare(at, 2, "\\u") == 0 && HexDigits(s, at + 2, 4)) {
    digits = 4;
    skip = 2;
  } else if (percent && s.compare(at, 2, "%u") == 0 && HexDigits(s, at + 2, 4)) {
    digits = 4;
    skip = 2;
  } else if (percent && s[at] == '%' && HexDigits(s, at + 1, 2)) {
    digits = 2;
    skip = 1;
  } else {
    return 0;
  }
  const unsigned unit = Hex(s, at + skip, digits);
  std::size_t length = skip + digits;
  if (KeepsEscape(unit)) return 0;
  std::wstring units(1, static_cast<wchar_t>(unit));
  // A high surrogate joined with the low one of the escape that follows.
  if (digits == 4 && unit >= 0xD800 && unit <= 0xDBFF) {
    const std::size_t next = at + length;
    const bool sameForm = s.compare(next, 2, s.substr(at, 2)) == 0 && HexDigits(s, next + 2, 4);
    if (sameForm) {
      const unsigned low = Hex(s, next + 2, 4);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        units += static_cast<wchar_t>(low);
        length += 6;
      }
    }
  }
  out = Gbk(units);
  return length;
}

std::string Decode(const std::string& s, bool backslash, bool percent) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    std::string piece;
    if (const std::size_t n = Escape(s, i, backslash, percent, piece)) {
      out += piece;
      i += n;
      continue;
    }
    // A backslash takes the character after it along, so "\\u0041" stays.
    std::size_t n = text::CharLength(s, i);
    if (backslash && s[i] == '\\' && i + 1 < s.size()) n += text::CharLength(s, i + 1);
    out.append(s, i, n);
    i += n;
  }
  return out;
}

}  // namespace

std::string UnescapeUnicodeText(const std::string& answer) {
  // A CR that begins the answer goes, unless it begins a CR LF.
  const std::string_view s = answer;
  const bool loneCr = s.starts_with('\r') && !s.starts_with("\r\n");
  return Decode(std::string(loneCr ? s.substr(1) : s), true, true);
}

std::string PercentDecodeText(const std::string& text) { return Decode(text, false, true); }

std::int64_t HexTextToInteger(const std::string& digits) {
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  double value = 0;
  for (char c : digits) {
    if (c == ' ') continue;
    const std::size_t at = kDigits.find(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    value = value * 16 + (at == std::string_view::npos ? -2.0 : static_cast<double>(at));
  }
  // Beyond 64 bits the value is the nearest one that fits.
  constexpr double kLimit = 9223372036854775808.0;  // 2 to the power 63
  if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (value < -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

std::string CodeUnitToGbkText(const std::string& units) {
  std::wstring wide;
  for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
    const wchar_t unit = static_cast<wchar_t>(static_cast<unsigned char>(units[i]) |
                                              (static_cast<unsigned char>(units[i + 1]) << 8));
    if (unit == 0) break;
    wide += unit;
  }
  return Gbk(wide);
}

std::string DecodeHtmlEntities(std::string& value) {
  static const char* const kEntities[][2] = {{"&lt;", "<"},     {"&gt;", ">"},      {"\\u003c", "<"},
                                             {"\\u003e", ">"},  {"&#92;", "\\"},    {"&nbsp;", " "},
                                             {"&quot;", "\""},  {"&#39;", "'"},     {"&amp;", "&"},
                                             {"\\u0026", "&"}};
  for (const auto& [entity, character] : kEntities) value = text::ReplaceAll(value, entity, character);
  return value;
}

}  // namespace zoq::myqq
