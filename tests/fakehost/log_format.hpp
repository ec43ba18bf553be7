// The escaping of the fake host DLLs' record lines and answer lines: a
// backslash, tab, CR and LF inside a field are written as \\, \t, \r, \n;
// a field that is "\N" alone stands for a null text.
#pragma once
#include <string>
#include <string_view>

namespace zoq::fakehost {

inline constexpr std::string_view kNullField = "\\N";

inline std::string Escape(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

// Undoes Escape; kNullField comes back unchanged.
inline std::string Unescape(std::string_view field) {
  if (field == kNullField) return std::string(field);
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out += field[i];
      continue;
    }
    const char c = field[++i];
    out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
  }
  return out;
}

}  // namespace zoq::fakehost
