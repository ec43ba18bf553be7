// Reply-template expansion: picks one alternative of the stored template and
// replaces the bracket variables, carrying out the actions among them.
#pragma once
#include <cstdint>
#include <string>

#include "core/plugin.hpp"
#include "core/reply/reply_text.hpp"

namespace zoq {

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
