// Reads the fields of one ISky event: a JSON text whose fields stand under
// the top-level member "isky". Each getter reads "isky." followed by the name.
#pragma once

#include <cstdint>
#include <string>

#include "json/document.hpp"

namespace zoq::json {

class IskyEventReader {
 public:
  bool Load(const std::string& eventText);  // true when the text parses
  void Clear();
  std::string GetText(const std::string& name) const;
  int32_t GetInt(const std::string& name) const;
  int64_t GetInt64(const std::string& name) const;
  bool GetBool(const std::string& name) const;

 private:
  static std::string PathOf(const std::string& name) { return "isky." + name; }
  JsonDocument doc_;
};

}  // namespace zoq::json
