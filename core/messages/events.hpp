// The event adapters of the seven hosts that deliver everything through one
// export with a numeric event code (VLQ, OQ, XQ, MingQQ, SP, ER, MyQQ), and
// the group filter that every host's adapter applies.
#pragma once
#include <cstdint>
#include <string>

namespace zoq {

struct Options;

// The arguments of an event that the plug-in reads.
struct NumericEvent {
  std::string robot;  // the account that received the event
  std::int32_t code = 0;
  std::string group;
  std::string sender;
  std::string text;
  std::string idB;
  std::string idA;
};

enum NumericEventCode : std::int32_t {
  kEventPrivateMessage = 1,
  kEventGroupMessage = 2,
  kEventAccount = 1101,
  kEventMyQqAccount = 11001,
  kEventEnabled = 12000,
  kEventDisabled = 12002,
};

// How one host of the family differs from the others.
struct NumericHost {
  std::int32_t hostType;
  std::int32_t accountCode;
  bool ignoresOwnGroupMessages;  // the robot's own group messages are dropped
  std::int32_t passedOver;       // result of an event the plug-in passes over
  std::int32_t lifecycle;        // result of the enable and disable events
  std::int32_t handledOffset;    // added to the handler's result
};

// The hosts of the family that answer like VLQ: 0 for everything they pass
// over and for enable and disable, the handler's result as it is; the
// robot's own group messages are dropped.
constexpr NumericHost PlainNumericHost(std::int32_t hostType) { return {hostType, kEventAccount, true, 0, 0, 0}; }

// Runs one event of `host`: a message for the handler, the account event,
// enable or disable. Returns what the host's export returns.
std::int32_t RunNumericEvent(const NumericHost& host, NumericEvent event);

// Events are answered only for the account the plug-in serves, and only
// once one was taken.
bool ForOurRobot(const std::string& robot);

// With 仅限群号 on, only groups that stand in 群号列表 as a whole number
// (any separators, ASCII letters in either case) are answered; an empty
// group never is. Of the current options, or of those an event took.
bool IsGroupAllowed(const std::string& group);
bool IsGroupAllowed(const Options& o, const std::string& group);

}  // namespace zoq
