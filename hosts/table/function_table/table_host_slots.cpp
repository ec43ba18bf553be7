// The function-table host's operations that do more than forward: voice
// conversion, the profile JSON, ranges and defaults put right before a call,
// codes completed after one, arguments reordered, the parser object.
#include <utility>

#include "hosts/table/function_table/table_host_api.hpp"
#include "hosts/table/function_table/voice_conversion.hpp"
#include "platform/files.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

// A JSON string's content: quote, backslash and control characters escaped,
// double-byte characters (whose second byte may be a backslash) left whole,
// a lead byte that stands alone as "?" (a reader could pair it with the
// escape's backslash or the closing quote after it).
std::string JsonEscaped(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size();) {
    const std::size_t n = text::CharLength(value, i);
    const auto c = static_cast<unsigned char>(value[i]);
    if (n > 1) out.append(value, i, n);
    else if (text::IsLeadByte(c)) out += '?';
    else if (c == '"' || c == '\\') out += {'\\', static_cast<char>(c)};
    else if (c < 0x20) {
      static const char digits[] = "0123456789abcdef";
      out += "\\u00";
      out += digits[c >> 4];
      out += digits[c & 15];
    } else out += static_cast<char>(c);
    i += n;
  }
  return out;
}

constexpr const char* kDefaultCheckInForm =
    "template_data=&gallery_info=%7B%22category_id%22%3A9%2C%22page%22%3A0%2C%22pic_id%22%3A124%7D"
    "&template_id=%7B%7D&client=2&lgt=0&lat=0&poi=&pic_id=&text=%E5%AD%A6%E4%B9%A0%E6%89%93%E5%8D%A1";

}  // namespace

std::string TableHostApi::SilkDecodeToMp3(const std::string& path) {
  return ConvertVoice(VoiceTarget::Mp3, path, {platform::ExecutableFolder(), DrawVoiceWorkNumber,
                                              [this](const std::string& line) { OutputLog(line); }});
}

std::string TableHostApi::EncodeToSilk(const std::string& path) {
  return ConvertVoice(VoiceTarget::Silk, path, {platform::ExecutableFolder(), DrawVoiceWorkNumber,
                                               [this](const std::string& line) { OutputLog(line); }});
}

std::string TableHostApi::EncodeToAmr(const std::string& path) {
  return ConvertVoice(VoiceTarget::Amr, path, {platform::ExecutableFolder(), DrawVoiceWorkNumber,
                                              [this](const std::string& line) { OutputLog(line); }});
}

bool TableHostApi::修改资料(std::int64_t account, const ProfileChange& change) {
  std::string fields;
  const auto add = [&fields](const char* name, const std::string& value) {
    fields += std::string("\"") + name + "\":\"" + JsonEscaped(value) + "\",";
  };
  const auto clamp = [](std::int32_t v, std::int32_t high) { return v < 1 || v > high ? 1 : v; };
  if (change.昵称) add("昵称", *change.昵称);
  if (change.性别) add("性别", std::to_string(clamp(*change.性别, 2)));
  if (change.生日) add("生日", *change.生日);
  if (change.职业) add("职业", std::to_string(clamp(*change.职业, 14)));
  if (change.公司) add("公司", *change.公司);
  if (change.所在地) add("所在地", *change.所在地);
  if (change.家乡) add("家乡", *change.家乡);
  if (change.邮箱) add("邮箱", *change.邮箱);
  if (change.个人说明) add("个人说明", *change.个人说明);
  if (!fields.empty()) fields.pop_back();
  return 修改资料Row(account, "{\"info\":{" + fields + "}}");
}

bool TableHostApi::群权限_设置群发言频率(std::int64_t account, std::int64_t group, std::int32_t frequency) {
  return 群权限_设置群发言频率Row(account, group, frequency < 0 ? 0 : frequency);
}

bool TableHostApi::群权限_设置群查找方式(std::int64_t account, std::int64_t group, std::int32_t way) {
  return 群权限_设置群查找方式Row(account, group, way < 0 || way > 2 ? 1 : way);
}

bool TableHostApi::置群内消息通知(std::int64_t account, std::int64_t group, std::int64_t member, std::int32_t setting) {
  return 置群内消息通知Row(account, group, member, setting < 0 || setting > 2 ? 2 : setting);
}

std::string TableHostApi::发送群公告(std::int64_t account, std::int64_t group, const std::string& title,
                                     const std::string& content, const std::string& picture, const std::string& video,
                                     bool a, bool b, bool c, bool d, bool e) {
  return 发送群公告Row(account, group, title, content, video, a, b, c, d, e, picture);
}

std::string TableHostApi::取收款链接(std::int64_t account, std::int32_t amount, const std::string& text) {
  return 取收款链接Row(account, amount <= 0 ? 5000000 : amount, text);
}

std::string TableHostApi::上传小视频(std::int64_t account, std::int64_t group, const std::string& text,
                                     const std::string& video, std::int32_t width, std::int32_t height,
                                     std::int32_t time) {
  const std::string suffix =
      ",wide=" + std::to_string(width) + ",high=" + std::to_string(height) + ",time=" + std::to_string(time);
  return WithSuffix(上传小视频Row(account, group, text, video), suffix);
}

bool TableHostApi::群聊签到(std::int64_t account, std::int64_t group, const std::string& form) {
  return 群聊签到Row(account, group, form.empty() ? std::string(kDefaultCheckInForm) : form);
}

// The host answers the address of its variable that holds its parser. For
// the moment of one Copy that variable and a holder of the plug-in's
// exchange their objects, so that the copy is made by the host's own Copy;
// afterwards the host's variable holds its very object again.
NullTextCodeParser TableHostApi::创建小栗子文本代码解析类对象() {
  NullTextCodeParser holder;
  NullTextCodeParser result;
  const hosts::Word answer = 创建小栗子文本代码解析类对象Row();
  if (static_cast<std::intptr_t>(answer) > 0) {
    auto* hostVariable = platform::AtWord<hosts::Word>(answer);
    std::swap(*hostVariable, holder.variable());
    result = NullTextCodeParser(holder);
    std::swap(*hostVariable, holder.variable());
  }
  // Never absent: a host variable that held no object, or a Copy that made
  // none, leaves the plug-in's own object.
  NullTextCodeParser copy(result);
  if (!copy.variable()) return NullTextCodeParser();
  return copy;
}

std::string TableHostApi::QQ列表_二维码登录_拉取二维码(std::int64_t account, hosts::HostBytes* code) {
  hosts::HostBytes local;
  local.Hold({});
  std::string answer = QQ列表_二维码登录_拉取二维码Row(account, &local);
  if (code) code->Hold(local.bytes());
  return answer;
}

bool TableHostApi::创建子频道(std::int64_t account, std::int64_t guild, const std::string& name,
                              const std::string& text, std::optional<std::int32_t> fifth,
                              std::optional<std::int32_t> sixth, std::int32_t seventh, std::int32_t eighth,
                              std::int32_t ninth, hosts::HostI64Array* first, hosts::HostI64Array* second,
                              std::int32_t twelfth, std::int32_t thirteenth) {
  return 创建子频道Row(account, guild, name, text, fifth.value_or(2), sixth.value_or(1), seventh, eighth, ninth, first,
                       second, twelfth, thirteenth);
}

std::string TableHostApi::上传频道文件(std::int64_t first, std::int64_t second, std::int64_t third,
                                       const std::string& text, std::int32_t a, std::int32_t b, std::int32_t c) {
  return 上传频道文件Row(first, text, second, third, b, c, a);
}

}  // namespace zoq
