// The message handler: owner switches, library commands, the must-mention
// rule, the exact then the fuzzy lookup, cool-downs and the reply.
#pragma once
#include <cstdint>
#include <string>

#include "core/plugin.hpp"

namespace zoq {

// 1 when the message was consumed (a command, or a reply sent), else 0.
// Rewrites record.text on the way (normalised, command word and the
// robot's mention removed).
std::int32_t HandleMessage(MessageRecord& record);

// The sender is an owner when it stands in the owner numbers as a whole
// number (any separators); an empty sender never is.
bool IsOwner(const Options& o, const std::string& sender);
bool IsOwner(const std::string& sender);

// Replies after this many counted replies delete every cool-down time.
inline constexpr std::int32_t kCooldownPurgeAfter = 150;

}  // namespace zoq
