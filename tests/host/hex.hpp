// Texts cross the test host's command line as hex of their bytes, so GBK
// arrives exactly.
#pragma once
#include <string>

namespace zoq::testing {

inline std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

inline std::string Unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

}  // namespace zoq::testing
