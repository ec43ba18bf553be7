#include "core/messages/events.hpp"

#include "core/messages/handler.hpp"
#include "core/plugin.hpp"
#include "core/settings.hpp"
#include "text/text.hpp"

namespace zoq {

bool ForOurRobot(const std::string& robot) {
  const std::string ours = Plugin().RobotAccount();
  return !ours.empty() && robot == ours;
}

namespace {

std::int32_t Handle(const NumericHost& host, const NumericEvent& e, MessageKind kind) {
  MessageRecord record;
  record.kind = kind;
  record.text = e.text;
  if (kind == MessageKind::Group) record.group = e.group;
  record.sender = e.sender;
  record.idA = e.idA;
  record.idB = e.idB;
  return HandleMessage(record) + host.handledOffset;
}

}  // namespace

std::int32_t RunNumericEvent(const NumericHost& host, const NumericEvent& e) {
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
    return ForOurRobot(e.robot) && IsGroupAllowed(e.group) ? Handle(host, e, MessageKind::Group) : host.passedOver;
  }
  if (e.code == host.accountCode && !e.robot.empty()) p.TakeFirstAccount(e.robot);
  return host.passedOver;
}

bool IsGroupAllowed(const std::string& group) {
  const std::shared_ptr<const Options> o = Plugin().Current();
  return !o->仅限群号 || text::ListHoldsNumber(o->群号列表, group, text::Case::IgnoreAscii);
}

}  // namespace zoq
