#include "core/reply/actions.hpp"

namespace zoq {
namespace {

// Runs `act` on the adapter of the active host when that host's mute,
// recall and kick take (robot, group, member or ids, ...) as texts.
template <class Act>
void OnQqAdapter(Act&& act) {
  PluginState& p = Plugin();
  switch (p.HostType) {
    // kHostIsky: wired when the ISky adapter lands.
    // kHostTable: wired when the function-table adapter lands.
    // kHostWx: kicks only; wired when the WeChat-style adapter lands.
    case kHostVlq: act(p.vlq); break;
    case kHostXq: act(p.xq); break;
    case kHostOq: act(p.oq); break;
    case kHostMingQq: act(p.mingqq); break;
    case kHostSp: act(p.sp); break;
    case kHostEr: act(p.er); break;
    case kHostMyQq: act(p.myqq); break;
    default: break;
  }
}

}  // namespace

void MuteSender(const MessageRecord& record, std::int64_t seconds) {
  const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds)));
  OnQqAdapter([&](auto& api) { api.MuteMember(Plugin().RobotAccount, record.group, record.sender, low); });
}

void RecallSenderMessage(const MessageRecord& record) {
  OnQqAdapter([&](auto& api) { api.RecallMessage(Plugin().RobotAccount, record.group, record.idB, record.idA); });
}

void KickSender(const MessageRecord& record) {
  OnQqAdapter([&](auto& api) { api.KickMember(Plugin().RobotAccount, record.group, record.sender, 0); });
}

}  // namespace zoq
