#include "core/messages/events.hpp"

#include "core/messages/handler.hpp"
#include "core/plugin.hpp"
#include "core/settings.hpp"
#include "text/text.hpp"

namespace zoq {

ZOQ_HOT bool ForOurRobot(const std::string& robot) {
  const std::string ours = Plugin().RobotAccount();
  return !ours.empty() && robot == ours;
}

namespace {

// The event's texts go to the record.
ZOQ_HOT std::int32_t Handle(const NumericHost& host, NumericEvent& e, MessageKind kind) {
  MessageRecord record;
  record.kind = kind;
  record.text = std::move(e.text);
  if (kind == MessageKind::Group) record.group = std::move(e.group);
  record.sender = std::move(e.sender);
  record.idA = std::move(e.idA);
  record.idB = std::move(e.idB);
  return HandleMessage(record) + host.handledOffset;
}

}  // namespace

ZOQ_HOT std::int32_t RunNumericEvent(const NumericHost& host, NumericEvent e) {
  PluginState& p = Plugin();
  if (e.code == kEventEnabled) {
    p.HostType = host.hostType;
    LoadSettings();
    return host.lifecycle;
  }
  if (e.code == kEventDisabled) {
    ShutDown();
    return host.lifecycle;
  }
  const std::shared_ptr<const Options> o = p.Current();
  if (o->Settings.好友权限 && e.code == kEventPrivateMessage) {
    if (e.sender == e.robot) return 0;
    return ForOurRobot(e.robot) ? Handle(host, e, MessageKind::Private) : host.passedOver;
  }
  if (o->Settings.群组权限 && e.code == kEventGroupMessage) {
    if (host.ignoresOwnGroupMessages && e.sender == e.robot) return 0;
    return ForOurRobot(e.robot) && IsGroupAllowed(*o, e.group) ? Handle(host, e, MessageKind::Group) : host.passedOver;
  }
  if (e.code == host.accountCode && !e.robot.empty()) p.TakeFirstAccount(e.robot);
  return host.passedOver;
}

bool IsGroupAllowed(const Options& o, const std::string& group) {
  return !o.仅限群号 || text::ListHoldsNumber(o.群号列表, group, text::Case::IgnoreAscii);
}
bool IsGroupAllowed(const std::string& group) { return IsGroupAllowed(*Plugin().Current(), group); }

}  // namespace zoq
