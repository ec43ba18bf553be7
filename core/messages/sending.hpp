// The neutral in-text codes of a message and their conversion: the hosts'
// codes folded into them on the way in, turned into the active host's codes
// on the way out, and the one routine that sends a reply.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/plugin.hpp"

namespace zoq {

// Host line breaks, escaped brackets and the hosts' mention openers folded
// into "[N]", "[", "]" and "[@" (ASCII letters compared without case).
std::string NormalizeIncomingText(std::string_view text);

// "[N]", "&uoS8#" and "&uoS9#" (exact case) into CRLF, "[" and "]", then the
// openers "[P=" and "[V=" into the picture and voice codes of `hostType`.
std::string ToHostCodes(std::string_view text, std::int32_t hostType);

// Converts `text` for the active host and sends it through that host's
// adapter, to the sender of a private record or the group of a group record;
// guild records go through the function-table host's channel operations.
// An empty text is never handed to a host.
void SendReply(const MessageRecord& record, const std::string& text);

}  // namespace zoq
