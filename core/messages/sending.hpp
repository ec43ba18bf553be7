// The neutral in-text codes of a message and their conversion: the hosts'
// codes folded into them on the way in, turned into the active host's codes
// on the way out, and the one routine that sends a reply.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/plugin.hpp"
#include "core/reply/reply_text.hpp"

namespace zoq {

// The host's own bracket escapes undone, then host line breaks, escaped
// brackets, the hosts' mention openers and stored brackets folded into
// "[N]", "[", "[@", "[" and "]" (ASCII letters compared without case).
std::string NormalizeIncomingText(std::string_view text, std::int32_t hostType);

// Whether a message, as the host delivered it, mentions `account`: the
// hosts' mention openers are folded, but no escaped or stored bracket is
// undone, so that brackets typed as text never make a mention.
bool MentionsAccount(std::string_view delivered, const std::string& account);

// The text as `hostType` receives it. "[N]" becomes CRLF; the written
// "&uoS8#" and "&uoS9#" (exact case) become "[" and "]", those from outside
// stay as they are. Only written bytes form codes: a written "[" opens a
// code when the code's name after it is written too, and the written
// openers "[P=" and "[V=" become the host's picture and voice codes. The
// brackets of outside text are written as the host's escapes or as
// full-width brackets, except a picture or voice code of the hosts' forms
// that came whole from outside and names nothing but the host's own ids
// (a picture the host delivered), on a host without escapes. A code that
// holds outside bytes and names a file of this machine in any of its keys
// is not opened.
std::string ToHostCodes(const reply::ReplyText& text, std::int32_t hostType);

// Converts `text` for the active host and sends it through that host's
// adapter, to the sender of a private record or the group of a group record;
// guild records go through the function-table host's channel operations.
// An empty text is never handed to a host.
void SendReply(const MessageRecord& record, const reply::ReplyText& text);

}  // namespace zoq
