#include "hosts/table/function_table/table_host_api.hpp"

#include <utility>

#include "text/text.hpp"
#include "text/text_between.hpp"

namespace zoq {

// The member is found as "name": directly followed by its number, which ends
// at the next comma, or at the closing brace for the last member.
hosts::Word TableHostApi::Binding::Lookup(const std::string& name) const {
  const std::string key = "\"" + name + "\":";
  const std::string& table = apiTable.get();
  std::string value = text::TextBetween(table, key, ",");
  if (value.empty()) value = text::TextBetween(table, key, "}");
  return text::LeadingNumberModulo<hosts::Word>(value);
}

ChannelUserProfile::~ChannelUserProfile() {
  for (std::size_t i = 2; i < words_.size(); ++i) hosts::FreeHostBlock(words_[i]);
}

std::string ChannelUserProfile::TextAt(std::size_t word) const {
  return word < words_.size() ? hosts::HostTextAt(words_[word]) : std::string();
}

std::string TableHostApi::WithSuffix(std::string code, const std::string& suffix) {
  if (code.empty() || code.back() != ']') return code;
  code.pop_back();
  return code + suffix + "]";
}

std::string TableHostApi::WithSize(std::string code, std::int32_t width, std::int32_t height, bool cartoon) {
  return WithSuffix(std::move(code), ",wide=" + std::to_string(width) + ",high=" + std::to_string(height) +
                                         ",cartoon=" + (cartoon ? "true" : "false"));
}

std::string TableHostApi::WithTime(std::string code, std::int32_t time) {
  return WithSuffix(std::move(code), ",time=" + std::to_string(time));
}

bool TableHostApi::取私信频道Id(std::int64_t robot, std::int64_t guild, std::int64_t user, std::int64_t* first,
                                std::int64_t* second) {
  hosts::HostText a, b;
  const bool answer = ReadDirectChannelIds(robot, guild, user, &a, &b);
  if (first) *first = text::ReadWholeNumber(a.str());
  if (second) *second = text::ReadWholeNumber(b.str());
  return answer;
}

}  // namespace zoq
