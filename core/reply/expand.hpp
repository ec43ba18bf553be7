// Reply-template expansion: picks one alternative of the stored template and
// replaces the bracket variables, carrying out the actions among them.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/plugin.hpp"
#include "core/reply/reply_text.hpp"

namespace zoq {

// A variable of the reply templates: its whole text ("[星期]"), or for one
// that takes an argument the text before the argument and the "]" after it
// ("[数字" and "]": "[数字]", "[数字520]").
struct TemplateVariable {
  std::string_view opening;
  std::string_view closing = {};
};

// Every variable the expansion knows, in the order of its steps, the
// separator of the alternatives first.
inline constexpr TemplateVariable kTemplateVariables[] = {
    {"[|]"},      {"[星期]"},    {"[目标]"},   {"[消息]"},       {"[号码]"},        {"[群号]"},
    {"[时间]"},   {"[日期]"},    {"[@]"},      {"[ZOQData]"},    {"[ZOQAdmin]"},    {"[数字", "]"},
    {"[头像]"},   {"[大头]"},    {"[二次元]"}, {"[图接口=", "]"}, {"[文接口=", "]"}, {"[禁言", "]"},
    {"[撤回]"},   {"[踢出]"},    {"[绿茶]"},   {"[一言]"},       {"[诗词]"},        {"[舔狗]"},
};

// Whether the expansion knows `text`: a whole variable of the table, or the
// opening of one with an argument, alone or with its closing.
constexpr bool IsTemplateVariable(std::string_view text) {
  for (const TemplateVariable& v : kTemplateVariables) {
    const bool opening = text.starts_with(v.opening);
    if (opening && (text.size() == v.opening.size() || text.substr(v.opening.size()) == v.closing)) return true;
  }
  return false;
}

// Reads key 回复 of section `keyword` in `libraryFile` (full path) and
// expands it for `record` (which "[目标]" may change). The empty text means
// nothing is sent. What the expansion puts in from outside keeps its
// origin: no variable, action or code inside it takes effect, here or when
// the reply is sent. For the exact library the keyword is the message text
// itself (`keywordIsMessageText`): "[消息]", the text without its keyword,
// is then always the empty text, whatever form the section name takes.
reply::ReplyText ExpandReply(MessageRecord& record, const std::string& libraryFile, const std::string& keyword,
                             bool keywordIsMessageText = false);

// The sender's mention code for the active host kind.
std::string SenderMentionCode(const std::string& sender);

// The WeChat-style host's avatar picture of `account` (empty on failure).
std::string DownloadAvatarWx(const std::string& account, bool large);

}  // namespace zoq
