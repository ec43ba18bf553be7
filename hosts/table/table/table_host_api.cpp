#include "hosts/table/table/table_host_api.hpp"

#include "hosts/call/text_between.hpp"

namespace zoq {

void* TableHostApi::Binding::Address(const hosts::HostRowBase& row, void*&) {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(api_.LookupApiAddress(row.function())));
}

// The member is found as "name": directly followed by its number, which ends
// at the next comma, or at the closing brace for the last member.
std::uint32_t TableHostApi::LookupApiAddress(const std::string& name) const {
  const std::string key = "\"" + name + "\":";
  std::string value = hosts::TextBetween(apiTable, key, ",");
  if (value.empty()) value = hosts::TextBetween(apiTable, key, "}");
  return static_cast<std::uint32_t>(hosts::LeadingNumber32(value));
}

std::string TableHostApi::SendPrivateMessage(std::int64_t robot, std::int64_t qq, const std::string& message,
                                             std::int64_t* random, std::int32_t* request) {
  std::int64_t noRandom = 0;
  std::int32_t noRequest = 0;
  return sendPrivate_(robot, qq, message, random ? random : &noRandom, request ? request : &noRequest);
}

}  // namespace zoq
