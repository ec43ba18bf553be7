// The three actions a reply template carries out against the sender of the
// triggering message, through the active host's adapter. Nothing comes back:
// a host that refuses an action, or has none, leaves no trace.
#pragma once
#include <cstdint>

#include "core/plugin.hpp"

namespace zoq {

// Mutes the sender; only the low 32 bits of `seconds` reach the host.
void MuteSender(const MessageRecord& record, std::int64_t seconds);
// Recalls the triggering message.
void RecallSenderMessage(const MessageRecord& record);
// Removes the sender from the group.
void KickSender(const MessageRecord& record);

}  // namespace zoq
