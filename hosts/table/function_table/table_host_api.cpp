#include "hosts/table/function_table/table_host_api.hpp"

#include "text/text_between.hpp"

namespace zoq {

// The member is found as "name": directly followed by its number, which ends
// at the next comma, or at the closing brace for the last member.
std::uint32_t TableHostApi::Binding::Lookup(const std::string& name) const {
  const std::string key = "\"" + name + "\":";
  std::string value = text::TextBetween(apiTable, key, ",");
  if (value.empty()) value = text::TextBetween(apiTable, key, "}");
  return static_cast<std::uint32_t>(text::LeadingNumber32(value));
}

}  // namespace zoq
