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
// "[N]", "[", "[@", "[" and "]" (ASCII letters compared without case). A
// line break right after a lead byte that stands alone stays as it is.
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

// The text as `hostType` receives it. No byte of outside text goes out as
// one character with a byte the owner wrote: where the two would make one
// (a lead byte of one before a byte of the other), the lead byte goes out as
// "?", and so does a lead byte alone before blanks left out (below). "[N]"
// becomes CRLF where the owner wrote it all or outside text did; the
// written "&uoS8#" and "&uoS9#" (exact case) become "[" and "]", those that
// outside text or an id helps to make stay as they are. Only written bytes
// form codes: a written "[" opens a code that runs to the next written "]",
// and the written openers "[P=" and "[V=" become the host's picture and
// voice codes. A code that holds outside bytes or ids is opened only when
// they are not in its name nor in the blanks before it nor the "=" or ","
// after it, hold no comma where the host splits codes at commas, are digits
// in a mention, give a web address as a picture's or voice's file (the
// whole address the host reads: to the code's "]", or to the next comma
// where the host splits codes at commas; sent without the blanks around
// it), and no other written "[" stands in it; a local path in any key, read
// as the host reads it (from the key's "=", blanks after it included, to the
// code's "]", or to the next comma where the host splits codes at commas)
// and as it is sent (a character that goes out as "?" below is a "?" in it,
// and so is a lead byte that no trail byte follows, as the host reads it;
// an outside bracket is the host's inert one), takes from outside bytes one
// plain file name in the folder the owner wrote and nothing else, and from
// the ids the plug-in puts in only plain names (no device, no name with a
// trailing dot, no ".."). An outside bracket
// that could begin a code of the host ("[" with an ASCII name and "=", ","
// or ":", or "@", after it), or close one, or stands in the owner's code,
// is written as the host's escape or as a full-width bracket; every other
// one goes out as it is. A host's code in braces that outside bytes help to
// make goes out in full-width braces; where a host that reads bytes would
// find a code that begins or ends on the second byte of outside text's
// double-byte character, the fewest such characters go out as "?". Every
// other character goes out as it is; so does a picture, voice or face code
// of the host's own ids that the message itself brought, as it stood in
// `delivered`.
std::string ToHostCodes(const reply::ReplyText& text, std::int32_t hostType, std::string_view delivered = {});

// Converts `text` for the active host and sends it through that host's
// adapter, to the sender of a private record or the group of a group record;
// guild records go through the function-table host's channel operations.
// An empty text is never handed to a host.
void SendReply(const MessageRecord& record, const reply::ReplyText& text);

}  // namespace zoq
