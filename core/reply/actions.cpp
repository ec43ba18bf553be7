#include "core/reply/actions.hpp"

#include "core/hosts.hpp"

namespace zoq {

void MuteSender(const MessageRecord& r, std::int64_t seconds) {
  ActiveHost().mute(Hosts(), r, static_cast<std::int32_t>(static_cast<std::uint32_t>(seconds)));
}

void RecallSenderMessage(const MessageRecord& r) { ActiveHost().recall(Hosts(), r); }

void KickSender(const MessageRecord& r) { ActiveHost().kick(Hosts(), r); }

}  // namespace zoq
