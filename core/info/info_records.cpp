#include "core/info/info_records.hpp"

#include "core/plugin.hpp"
#include "text/text.hpp"
#include "core/web_addresses.hpp"
#include "platform/http.hpp"

namespace zoq {
namespace {

constexpr std::int32_t kVersionNumber = 226;

constexpr const char* kTextDescriptorKey = "4711QZXCVBN8802264POIUYT";
constexpr std::size_t kShortestGroupText = 5;
constexpr std::size_t kLongestGroupText = 12;

// A group number from an answer: its bytes up to the first NUL, blanks
// around them trimmed, taken only when 5 to 12 ASCII digits remain (else
// empty, and the next source is asked).
std::string GroupNumberOf(const std::string& answer) {
  std::string number = answer.substr(0, answer.find('\0'));
  const char* blanks = " \t\r\n";
  number.erase(0, number.find_first_not_of(blanks));
  number.erase(number.find_last_not_of(blanks) + 1);
  const bool digits = number.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || number.size() < kShortestGroupText || number.size() > kLongestGroupText) return {};
  return number;
}

}  // namespace

const char* const kAuthor = "Tolvane";

std::string PluginName() { return "ZOQ·关键词"; }

std::string VersionText() {
  const std::string digits = std::to_string(kVersionNumber);
  return std::string() + digits.front() + "." + digits[1] + "." + digits.back();
}

ContactSources& Contacts() {
  static ContactSources sources{web::kContactFirst, web::kContactSecond, web::kContactBuiltIn};
  return sources;
}

void ResetContacts() { Contacts() = ContactSources{web::kContactFirst, web::kContactSecond, web::kContactBuiltIn}; }

std::string FetchGroupText() {
  const platform::HttpBudget budget;  // both addresses within one deadline
  std::string number = GroupNumberOf(platform::HttpGet(Contacts().first));
  if (number.empty()) number = GroupNumberOf(platform::HttpGet(Contacts().second));
  if (number.empty()) number = Contacts().builtIn;
  Plugin().MakerGroupNumber.set(number);
  return number;
}

std::string DescriptionText() {
  return "ZOQ·关键词 精美自定义 高效稳定 \r\n支持远程控制 绿茶/一言/API对接变量一应俱全.. \r\nZOQ ·官方QQ群: " +
         FetchGroupText();
}

std::string TextInfoRecord() {
  return "插件名称{" + PluginName() + "}\r\n" +
         "插件版本{" + VersionText() + "}\r\n" +
         "插件作者{" + kAuthor + "}\r\n" +
         "插件说明{" + DescriptionText() + "}\r\n" +
         "插件skey{" + kTextDescriptorKey + "}\r\n" +
         "插件sdk{S3}";
}

}  // namespace zoq
