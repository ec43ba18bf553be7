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

// The number of the first mention in `text` (a message text as the handler
// holds it) that the host really made: a run of digits whose mention stands
// in `delivered`, the message as the host delivered it, with the hosts'
// mention openers folded but no escaped or stored bracket undone. Empty
// when there is none.
std::string FirstMentionedNumber(std::string_view text, std::string_view delivered);

// The text as `hostType` receives it. "[N]" becomes CRLF where it is wholly
// written or wholly outside text; the written "&uoS8#" and "&uoS9#" (exact
// case) become "[" and "]", those from outside stay as they are. Only
// written bytes form codes: a written "[" opens a code that runs to the next
// written "]", and the written openers "[P=" and "[V=" become the host's
// picture and voice codes. A code that holds outside bytes is opened only
// when they are not in its name, are digits in a mention, give a web
// address (never a file path) as a picture's or voice's file, name no file
// of this machine in any key, and no other written "[" stands in it; the
// ids the plug-in puts in count as written, but make no name of a local
// path that Windows opens as another file (a device, a name with a trailing
// dot, ".."). The brackets of outside text are written as the host's
// escapes or as full-width brackets, and a host's code in braces that
// outside bytes help to make as full-width braces; where a host that reads
// bytes would find a code that begins or ends on the second byte of outside
// text's double-byte character, the fewest such characters go out as "?".
// Every other character goes out as it is. A word of double-byte characters
// in brackets is text to a host whose codes all begin with an ASCII name
// and passes as it is; so does a picture, voice or face code of the host's
// own ids that the message itself brought, as it stood in `delivered`.
std::string ToHostCodes(const reply::ReplyText& text, std::int32_t hostType, std::string_view delivered = {});

// Converts `text` for the active host and sends it through that host's
// adapter, to the sender of a private record or the group of a group record;
// guild records go through the function-table host's channel operations.
// An empty text is never handed to a host.
void SendReply(const MessageRecord& record, const reply::ReplyText& text);

}  // namespace zoq
