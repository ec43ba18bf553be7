// The keyword-library commands of the chat: stage a keyword, give it a reply
// in the exact or the fuzzy library, delete a keyword. Each writes the files
// at once and returns what the handler confirms with: the owner's return
// text, with the keyword and the reply from the chat put in as outside text.
#pragma once
#include <string>
#include <string_view>

#include "core/libraries.hpp"
#include "core/plugin.hpp"
#include "core/reply/reply_text.hpp"

namespace zoq {

// Stages `keyword` (stored form) as 待添词汇; returns 添加返回文本 with
// "[词汇]" replaced by the staged keyword (kDefaultStageConfirmation when
// that key is absent, nothing when it is empty).
// A keyword too long to be read back whole, or a failed write, stages
// nothing and gives the empty text (nothing is confirmed).
reply::ReplyText StageKeyword(const std::string& keyword);

// Stores `reply` for the staged keyword in the exact or fuzzy library,
// removes the staging section and returns the confirmation ("[词汇]" the
// keyword, "[回复]" the reply). A reply too long to be read back whole, or a
// failed write, stores nothing and gives the empty text. The caller holds
// the data folder's lock (DataFolderLock) across its check of the staged
// keyword and this call.
reply::ReplyText AddExactReply(const Options& o, const std::string& reply);
reply::ReplyText AddFuzzyReply(const Options& o, const std::string& reply);

// Removes the section named `keyword` (stored form) from each library that
// holds it; true when a section was removed. After a fuzzy removal the fuzzy
// keyword list is read again.
bool DeleteKeyword(const std::string& keyword);

}  // namespace zoq
