#include "core/reply/actions.hpp"

#include "core/text.hpp"

namespace zoq {
namespace {

// The function-table host takes numbers: a text that is no number gives 0.
std::int64_t Number(const std::string& s) { return text::ReadWholeNumber(s); }
std::int32_t Low32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

// The record's numbers as the function-table host takes them.
struct TableIds {
  std::int64_t robot, group, sender;  // group: the guild for guild messages
};

// Carries out one action on the active host: `isky` on the ISky adapter,
// `group` or `guild` on the function-table adapter by the record's kind
// (nothing for a private message), `qq` on the adapters whose operations
// take the robot, the group and the rest as texts.
template <class Isky, class Group, class Guild, class Qq>
void Act(const MessageRecord& r, Isky&& isky, Group&& group, Guild&& guild, Qq&& qq) {
  PluginState& p = Plugin();
  const TableIds ids{Number(p.RobotAccount), Number(r.group), Number(r.sender)};
  if (ClassicHostApi* classic = p.ActiveClassicHost()) return qq(*classic);
  switch (p.HostType) {
    case kHostIsky: isky(p.isky); break;
    case kHostTable:
      if (r.kind == MessageKind::Group) group(p.table, ids);
      if (r.kind == MessageKind::Channel || r.kind == MessageKind::ChannelDirect) guild(p.table, ids);
      break;
    // kHostWx: kicks only; wired when the WeChat-style adapter lands.
    case kHostXq: qq(p.xq); break;
    case kHostMyQq: qq(p.myqq); break;
    default: break;
  }
}

}  // namespace

void MuteSender(const MessageRecord& r, std::int64_t seconds) {
  const std::int32_t low = Low32(seconds);
  Act(
      r, [&](IskyHostApi& api) { api.MuteMember(r.group, r.sender, low); },
      [&](TableHostApi& api, const TableIds& id) { api.MuteMember(id.robot, id.group, id.sender, low); },
      [&](TableHostApi& api, const TableIds& id) { api.MuteChannelMember(id.robot, id.group, id.sender, low); },
      [&](auto& api) { api.MuteMember(Plugin().RobotAccount, r.group, r.sender, low); });
}

void RecallSenderMessage(const MessageRecord& r) {
  const std::int32_t idA = Low32(Number(r.idA));
  Act(
      r, [&](IskyHostApi& api) { api.RecallMessage(idA); },
      [&](TableHostApi& api, const TableIds& id) { api.RecallMessage(id.robot, id.group, Number(r.idB), idA); },
      [&](TableHostApi& api, const TableIds& id) { api.RecallChannelMessage(id.robot, id.group, r.subchannel, idA); },
      [&](auto& api) { api.RecallMessage(Plugin().RobotAccount, r.group, r.idB, r.idA); });
}

void KickSender(const MessageRecord& r) {
  Act(
      r, [&](IskyHostApi& api) { api.KickMember(r.group, r.sender, false); },
      [&](TableHostApi& api, const TableIds& id) { api.KickMember(id.robot, id.group, id.sender, false); },
      [&](TableHostApi& api, const TableIds& id) { api.KickChannelMember(id.robot, id.group, id.sender, false); },
      [&](auto& api) { api.KickMember(Plugin().RobotAccount, r.group, r.sender, 0); });
}

}  // namespace zoq
